// Loading DLLs on Windows.
#include <windows.h>

#include "platform/library.h"

namespace platform {

void* loadLibrary(const std::string& path) {
  return reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
}

void* findSymbol(void* library, const char* name) {
  if (!library) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

}  // namespace platform
