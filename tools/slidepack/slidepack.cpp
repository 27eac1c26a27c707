// slidepack: writes and checks the slide archive the program carries.
//
//   slidepack build OUT CODEC JPEG...   pack CODEC as "ijl10.dll" into slot 1
//                                       and the JPEGs, in the order given and
//                                       under their base names, after it
//   slidepack list ARCHIVE              print the directory and check the
//                                       layout
//
// Exit status: 0 on success, 1 on bad input or a damaged archive (with the
// reason on stderr), 2 on a usage error.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "tools/slidepack/archive.h"

namespace {

namespace fs = std::filesystem;
using velmora::slidepack::ArchiveError;

constexpr int kFailure = 1;
constexpr int kUsage = 2;

int usage() {
  std::cerr << "usage: slidepack build OUT CODEC JPEG...\n"
               "       slidepack list ARCHIVE\n";
  return kUsage;
}

std::uint64_t sizeOf(const fs::path& path) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) throw ArchiveError(path.string() + ": no such file");
  const std::uintmax_t size = fs::file_size(path, error);
  if (error) throw ArchiveError(path.string() + ": " + error.message());
  return size;
}

std::vector<std::uint8_t> readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ArchiveError(path.string() + ": cannot open");
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw ArchiveError(path.string() + ": read error");
  return bytes;
}

// Writes beside `path` first and renames, so that a failed run never leaves
// a half-written archive that looks up to date.
void writeFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  const fs::path partial = path.string() + ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      fs::remove(partial, ignored);
      throw ArchiveError(path.string() + ": cannot write");
    }
  }
  std::error_code error;
  fs::rename(partial, path, error);
  if (error) {
    fs::remove(partial, error);
    throw ArchiveError(path.string() + ": cannot write");
  }
}

int build(const fs::path& out, const fs::path& codecPath, const std::vector<fs::path>& slidePaths) {
  using namespace velmora::slidepack;
  // Sizes first: the plan refuses oversized input before anything is read.
  const Member codec{std::string(kCodecName), sizeOf(codecPath)};
  std::vector<Member> slides;
  for (const fs::path& path : slidePaths) slides.push_back({path.filename().string(), sizeOf(path)});
  const std::vector<Entry> entries = planArchive(codec, slides);

  std::vector<std::vector<std::uint8_t>> contents;
  contents.push_back(readFile(codecPath));
  for (const fs::path& path : slidePaths) contents.push_back(readFile(path));
  const std::vector<std::span<const std::uint8_t>> bodies(contents.begin(), contents.end());
  const std::vector<std::uint8_t> archive = writeArchive(entries, bodies);
  if (const std::string damage = findDamage(archive); !damage.empty()) {
    throw ArchiveError("the archive written would be damaged: " + damage);
  }
  writeFile(out, archive);
  std::cout << "slidepack: " << out.string() << ": " << archive.size() << " bytes, codec " << entries[0].size
            << " bytes, " << slides.size() << " slides\n";
  return 0;
}

int list(const fs::path& path) {
  using namespace velmora::slidepack;
  const std::vector<std::uint8_t> archive = readFile(path);
  std::cout << path.string() << ": " << archive.size() << " bytes\n";
  for (const Entry& entry : readDirectory(archive)) {
    std::printf("%2zu  %-39s  offset %10u  size %10u\n", entry.slot, printableName(entry.name).c_str(),
                static_cast<unsigned>(entry.offset), static_cast<unsigned>(entry.size));
  }
  if (const std::string damage = findDamage(archive); !damage.empty()) {
    std::cerr << "slidepack: damaged archive: " << damage << "\n";
    return kFailure;
  }
  std::cout << "archive layout good\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() >= 3 && args[0] == "build") {
      return build(args[1], args[2], std::vector<fs::path>(args.begin() + 3, args.end()));
    }
    if (args.size() == 2 && args[0] == "list") return list(args[1]);
    return usage();
  } catch (const std::exception& error) {
    std::cerr << "slidepack: " << error.what() << "\n";
    return kFailure;
  }
}
