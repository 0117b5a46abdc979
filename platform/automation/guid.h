// Guid: the 128-bit identities of libraries, classes and interfaces.
//
// Text form is the registry's: "{8-4-4-4-12}" upper-case hex in braces.
// Thread-safety: values only.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tovan::automation {

struct Guid {
  std::array<uint8_t, 16> bytes{};  // in text order

  // Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (braces optional, any case).
  static std::optional<Guid> Parse(std::string_view text);
  // For identities fixed in code: aborts the build of the table when malformed.
  static Guid Of(std::string_view text);

  std::string ToString() const;  // braced, upper case

  friend bool operator==(const Guid&, const Guid&) = default;
};

}  // namespace tovan::automation
