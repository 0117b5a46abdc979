#include "numbering/round_to.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/automation/error.h"

namespace tovan::numbering {

double RoundTo(double value, int16_t decimals) {
  if (!std::isfinite(value)) automation::Raise(automation::vberr::kOverflow);
  if (value == 0) return 0;
  // 15 significant digits: d.dddddddddddddde±XX
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
  std::string digits;
  digits += buf[0];
  digits.append(buf + 2, 14);
  int exponent = std::atoi(std::strchr(buf, 'e') + 1);
  // digits[i] has the decimal weight 10^(exponent - i); keep those down to 10^-decimals.
  int keep = exponent + 1 + decimals;
  if (keep >= static_cast<int>(digits.size())) return value;
  if (keep < 0) return 0;
  bool round_up = digits[static_cast<size_t>(keep)] >= '5';
  digits.resize(static_cast<size_t>(keep));
  if (round_up) {
    int i = keep - 1;
    for (; i >= 0 && digits[static_cast<size_t>(i)] == '9'; --i) digits[static_cast<size_t>(i)] = '0';
    if (i >= 0) {
      ++digits[static_cast<size_t>(i)];
    } else {
      digits.insert(digits.begin(), '1');
      ++exponent;
    }
  }
  if (digits.empty()) return 0;
  std::string text = "0." + digits + "e" + std::to_string(exponent + 1);
  double rounded = std::strtod(text.c_str(), nullptr);
  return value < 0 ? -rounded : rounded;
}

}  // namespace tovan::numbering
