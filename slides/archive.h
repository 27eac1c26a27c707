// The slide archive's inner pieces, open to the tests: the scan on any
// bytes, the temporary directory rule and the damaged-archive path.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace velmora {

// The codec's fixed file name: every .dll entry is loaded from this name.
inline constexpr const char* kCodecFileName = "ijl10.dll";
inline constexpr const char* kBadArchiveMessage = "bad archive link";

// The directory the codec file goes to, always ending in `separator`.
// With '\' (Windows): "TMP", or "" when unset, with a "\" appended unless it
// ends in one already; an unset "TMP" gives "\", the current drive's root.
// With '/' (Linux): "TMP", else "TMPDIR", else "/tmp" (an empty value counts
// as unset), with a "/" appended unless it ends in one already.
std::string temporaryDirectory(char separator);

// openSlideArchive on the given bytes: checks them, lists the slides and
// binds the codec, or reports a damaged archive and ends the process. On
// success `slideArchive` is `archive`, whose bytes must stay valid.
void openSlideArchiveFrom(std::span<const std::uint8_t> archive);

// "bad archive link" on the open surface, a wait for a key, exit code 0;
// without a surface (the preview) the line goes to the developer output and
// the process ends at once.
[[noreturn]] void reportBadArchive();

}  // namespace velmora
