// Dynamic libraries: load one by path, look up an entry point by name.
#pragma once

#include <string>

namespace platform {

// Loads the library at `path`; nullptr when it cannot be loaded. On Linux a
// file that is not owned by the current user, or that others may write, is
// never loaded: someone else could have planted it.
void* loadLibrary(const std::string& path);

// The entry point `name` of a loaded library; nullptr when it has none.
void* findSymbol(void* library, const char* name);

}  // namespace platform
