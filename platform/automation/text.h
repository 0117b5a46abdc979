// Text helpers shared by the automation layer: names, keys and keywords
// compare without regard to case, as VB compares them; lengths count as VB's.
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

// VB's Len on UTF-8 text: its length in UTF-16 units, as VB counts a
// string (a character beyond the basic plane counts two).
constexpr size_t TextLength(std::string_view s) {
  size_t length = 0;
  for (char c : s) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) != 0x80) length += byte >= 0xF0 ? 2 : 1;
  }
  return length;
}

// VB's Replace: every occurrence of `what` (exact, case-sensitive) replaced
// by `with`, left to right, never re-reading replaced text.
inline std::string ReplaceAll(std::string text, std::string_view what, std::string_view with) {
  if (what.empty()) return text;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
  return text;
}

}  // namespace tovan::automation
