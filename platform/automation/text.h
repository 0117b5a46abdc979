// ASCII text helpers shared by the automation layer: names, keys and
// keywords compare without regard to case, as VB compares them.
//
// Thread-safety: pure functions.
#pragma once

#include <string>
#include <string_view>

namespace tovan::automation {

constexpr char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

// VB's Left(s, Len(s) - 1) on UTF-8 text: drops the last character (all
// bytes of it); nothing happens to an empty text.
inline void DropLastCharacter(std::string& s) {
  if (s.empty()) return;
  size_t i = s.size() - 1;
  while (i > 0 && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) --i;
  s.resize(i);
}

}  // namespace tovan::automation
