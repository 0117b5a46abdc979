#include "platform/automation/guid.h"

#include <cstdio>
#include <cstdlib>

namespace tovan::automation {

namespace {
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

std::optional<Guid> Guid::Parse(std::string_view text) {
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
  if (text.size() != 36) return std::nullopt;
  Guid g;
  size_t byte = 0;
  for (size_t i = 0; i < text.size();) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return std::nullopt;
      ++i;
      continue;
    }
    int hi = HexValue(text[i]), lo = HexValue(text[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    g.bytes[byte++] = static_cast<uint8_t>(hi * 16 + lo);
    i += 2;
  }
  return g;
}

Guid Guid::Of(std::string_view text) {
  auto g = Parse(text);
  if (!g) {
    std::fprintf(stderr, "malformed fixed GUID: %.*s\n", static_cast<int>(text.size()), text.data());
    std::abort();
  }
  return *g;
}

std::string Guid::ToString() const {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "{";
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
    out += kHex[bytes[i] >> 4];
    out += kHex[bytes[i] & 15];
  }
  out += '}';
  return out;
}

}  // namespace tovan::automation
