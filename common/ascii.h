// ASCII-only case folding: 'A'-'Z' become 'a'-'z'; every other byte stays.
#pragma once

#include <string>

namespace velmora {

inline void foldAsciiToLower(std::string& text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

}  // namespace velmora
