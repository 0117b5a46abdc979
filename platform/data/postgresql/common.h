// Small helpers the postgresql backend's files share.
#pragma once

#include <string>
#include <string_view>

#include "platform/automation/text.h"

namespace tovan::data::postgresql {

inline std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = automation::AsciiLower(c);
  return out;
}

}  // namespace tovan::data::postgresql
