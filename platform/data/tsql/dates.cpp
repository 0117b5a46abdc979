#include "platform/data/tsql/dates.h"

namespace tovan::data::tsql {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads 1..max_digits digits at `i`.
bool ReadNumber(std::string_view s, std::size_t& i, std::size_t min_digits, std::size_t max_digits,
                int& value) {
  std::size_t n = 0;
  value = 0;
  while (i < s.size() && IsDigit(s[i]) && n < max_digits) {
    value = value * 10 + (s[i] - '0');
    ++i;
    ++n;
  }
  return n >= min_digits && !(i < s.size() && IsDigit(s[i]));
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

void Put2(std::string& out, int v) {
  out.push_back(static_cast<char>('0' + v / 10));
  out.push_back(static_cast<char>('0' + v % 10));
}

}  // namespace

bool CanonicalDateText(std::string_view s, std::string& out) {
  // Cheap rejection first: most literals are not dates.
  if (s.size() < 8 || s.size() > 30 || !IsDigit(s[0]) || !IsDigit(s[3])) return false;
  const char sep = s[4];
  if (sep != '-' && sep != '/' && sep != '.') return false;

  std::size_t i = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!ReadNumber(s, i, 4, 4, year) || s[i] != sep) return false;
  ++i;
  if (!ReadNumber(s, i, 1, 2, month) || i >= s.size() || s[i] != sep) return false;
  ++i;
  if (!ReadNumber(s, i, 1, 2, day)) return false;
  if (year < 1753 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
    return false;
  }
  if (i < s.size()) {
    if (s[i] != ' ' && s[i] != 'T') return false;
    ++i;
    if (!ReadNumber(s, i, 1, 2, hour) || i >= s.size() || s[i] != ':') return false;
    ++i;
    if (!ReadNumber(s, i, 2, 2, minute)) return false;
    if (i < s.size() && s[i] == ':') {
      ++i;
      if (!ReadNumber(s, i, 2, 2, second)) return false;
      if (i < s.size() && s[i] == '.') {
        ++i;
        if (i == s.size()) return false;
        for (; i < s.size(); ++i) {
          if (s[i] != '0') return false;
        }
      }
    }
    if (i != s.size() || hour > 23 || minute > 59 || second > 59) return false;
  }

  out.clear();
  out.push_back(static_cast<char>('0' + year / 1000));
  out.push_back(static_cast<char>('0' + year / 100 % 10));
  Put2(out, year % 100);
  out.push_back('-');
  Put2(out, month);
  out.push_back('-');
  Put2(out, day);
  if (hour != 0 || minute != 0 || second != 0) {
    out.push_back(' ');
    Put2(out, hour);
    out.push_back(':');
    Put2(out, minute);
    out.push_back(':');
    Put2(out, second);
  }
  return true;
}

}  // namespace tovan::data::tsql
