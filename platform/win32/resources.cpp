// The executable's own resources on Windows.
#include <windows.h>

#include <string>

#include "platform/resources.h"

namespace platform {

std::span<const std::uint8_t> findResource(std::string_view name, std::string_view type) {
  const std::string n(name);
  const std::string t(type);
  HMODULE self = GetModuleHandleA(nullptr);
  HRSRC info = FindResourceA(self, n.c_str(), t.c_str());
  if (!info) return {};
  HGLOBAL loaded = LoadResource(self, info);
  if (!loaded) return {};
  const auto* bytes = static_cast<const std::uint8_t*>(LockResource(loaded));
  if (!bytes) return {};
  return {bytes, static_cast<std::size_t>(SizeofResource(self, info))};
}

}  // namespace platform
