// Replacing a file atomically on Windows.
#include <windows.h>

#include <string>

#include "platform/files.h"

namespace platform {

bool replaceFile(const std::string& path, std::span<const std::uint8_t> bytes) {
  const std::string temporary = path + ".new";
  HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
  ok = FlushFileBuffers(file) && ok;
  ok = CloseHandle(file) && ok;
  ok = ok && MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) DeleteFileA(temporary.c_str());
  return ok;
}

}  // namespace platform
