// ASCII text helpers shared by the automation layer: names, keys and
// keywords compare without regard to case, as VB compares them.
//
// Thread-safety: pure functions.
#pragma once

#include <string_view>

namespace tovan::automation {

constexpr char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

}  // namespace tovan::automation
