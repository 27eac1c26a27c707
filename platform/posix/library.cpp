// Loading shared objects on Linux, refusing files another account could
// have planted.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/library.h"

namespace platform {

void* loadLibrary(const std::string& path) {
  // Check the file we then load, not a name that could be swapped in
  // between: open it once, check the open file, and load it through its
  // descriptor.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return nullptr;
  struct stat info{};
  void* handle = nullptr;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid() &&
      (info.st_mode & (S_IWGRP | S_IWOTH)) == 0) {
    const std::string byDescriptor = "/proc/self/fd/" + std::to_string(fd);
    handle = dlopen(byDescriptor.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  // The loader knows a loaded library by the name it was opened under. Were
  // the descriptor closed, its number would come back for the next file, and
  // that file, under the same name, would be taken for the library already
  // loaded. A loaded library keeps its descriptor, so its name stays its own.
  if (!handle) close(fd);
  return handle;
}

void* findSymbol(void* library, const char* name) {
  if (!library) return nullptr;
  return dlsym(library, name);
}

}  // namespace platform
