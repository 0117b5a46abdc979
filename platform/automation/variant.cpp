#include "platform/automation/variant.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <locale.h>

#include "platform/automation/dispatch.h"
#include "platform/automation/error.h"
#include "platform/automation/text.h"

namespace tovan::automation {

namespace {

// An object whose default value is again an object is followed this far;
// beyond that the chain is treated as having no value.
constexpr int kMaxDefaultDepth = 8;

// Day counts use the proleptic Gregorian calendar for every year, as VB does.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

const int64_t kEpochDays = DaysFromCivil(1899, 12, 30);

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

bool ValidCalendar(int year, int month, int day, int hour, int minute, int second) {
  return month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month) && hour >= 0 &&
         hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Lower(char c) { return AsciiLower(c); }

enum class ParseStatus { kOk, kNotNumeric, kOverflow };

struct ParsedNumber {
  ParseStatus status;
  double value;
};

// strtod follows the process locale; the platform's decimal separator is
// always ".", so parse under a private "C" locale.
locale_t ClassicLocale() {
  static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

// &H and &O literals: values that fit 16 bits are Integers and those that fit
// 32 bits are Longs, both read as signed (so "&HFFFF" is -1), as VB does.
ParsedNumber ParseRadixLiteral(std::string_view s) {
  if (s.empty()) return {ParseStatus::kNotNumeric, 0};
  const char marker = Lower(s.front());
  const int base = marker == 'h' ? 16 : marker == 'o' ? 8 : 0;
  if (base == 0) return {ParseStatus::kNotNumeric, 0};
  s.remove_prefix(1);
  if (s.empty()) return {ParseStatus::kNotNumeric, 0};
  uint64_t value = 0;
  bool too_big = false;
  for (char c : s) {
    int digit;
    if (IsDigit(c)) {
      digit = c - '0';
    } else if (base == 16 && Lower(c) >= 'a' && Lower(c) <= 'f') {
      digit = Lower(c) - 'a' + 10;
    } else {
      return {ParseStatus::kNotNumeric, 0};
    }
    if (digit >= base) return {ParseStatus::kNotNumeric, 0};
    value = value * base + digit;
    if (value > 0xFFFFFFFFu) {
      too_big = true;
      value = 0;  // keep scanning so trailing garbage still reads as not numeric
    }
  }
  if (too_big) return {ParseStatus::kOverflow, 0};
  if (value <= 0xFFFFu) return {ParseStatus::kOk, static_cast<double>(static_cast<int16_t>(value))};
  return {ParseStatus::kOk, static_cast<double>(static_cast<int32_t>(value))};
}

ParsedNumber ParseNumeric(std::string_view text) {
  const std::string_view s = TrimBlanks(text);
  if (s.empty()) return {ParseStatus::kNotNumeric, 0};
  if (s.front() == '&') return ParseRadixLiteral(s.substr(1));

  size_t i = 0;
  if (s[i] == '+' || s[i] == '-') ++i;
  size_t digits = 0;
  bool seen_point = false;
  for (; i < s.size(); ++i) {
    if (IsDigit(s[i])) {
      ++digits;
    } else if (s[i] == '.' && !seen_point) {
      seen_point = true;
    } else {
      break;
    }
  }
  if (digits == 0) return {ParseStatus::kNotNumeric, 0};
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t exponent_digits = 0;
    while (i < s.size() && IsDigit(s[i])) ++i, ++exponent_digits;
    if (exponent_digits == 0) return {ParseStatus::kNotNumeric, 0};
  }
  if (i != s.size()) return {ParseStatus::kNotNumeric, 0};

  // from_chars reads the validated text locale-free and correctly rounded, as
  // strtod does, without a copy; out of range (a huge exponent, or one so
  // small it rounds to zero) is left to strtod.
  const std::string_view unsigned_text = s.front() == '+' ? s.substr(1) : s;
  double parsed = 0;
  const auto [end, ec] = std::from_chars(unsigned_text.data(), unsigned_text.data() + unsigned_text.size(), parsed);
  if (ec == std::errc() && end == unsigned_text.data() + unsigned_text.size()) return {ParseStatus::kOk, parsed};

  const std::string copy(s);
  const locale_t loc = ClassicLocale();
  const double value = loc ? strtod_l(copy.c_str(), nullptr, loc) : std::strtod(copy.c_str(), nullptr);
  if (std::isinf(value)) return {ParseStatus::kOverflow, 0};
  return {ParseStatus::kOk, value};
}

double ParseOrRaise(std::string_view text) {
  const ParsedNumber parsed = ParseNumeric(text);
  if (parsed.status == ParseStatus::kOverflow) Raise(vberr::kOverflow);
  if (parsed.status == ParseStatus::kNotNumeric) Raise(vberr::kTypeMismatch);
  return parsed.value;
}

// Replaces an object by its default value, as VB does when an object is used
// where a value is expected.  `storage` keeps the value alive for the caller.
const Variant& Resolve(const Variant& v, Variant& storage) {
  const Variant* current = &v;
  for (int depth = 0; current->IsObject(); ++depth) {
    const DispatchPtr object = current->object();
    if (!object) Raise(vberr::kObjectNotSet);
    Variant value;
    if (depth == kMaxDefaultDepth || !object->GetDefaultValue(value)) Raise(vberr::kMemberNotFound);
    storage = std::move(value);
    current = &storage;
  }
  return *current;
}

// Resolve plus the checks every conversion shares.
const Variant& Scalar(const Variant& v, Variant& storage) {
  const Variant& r = Resolve(v, storage);
  if (r.IsNull()) Raise(vberr::kInvalidUseOfNull);
  if (r.IsMissing()) Raise(vberr::kArgumentNotOptional);
  return r;
}

// The numeric value of a resolved, non-Null value.
double NumericValue(const Variant& r) {
  switch (r.type()) {
    case VarType::Integer: return r.integer();
    case VarType::Long: return r.long_value();
    case VarType::Double: return r.double_value();
    case VarType::Date: return r.date().serial;
    case VarType::Boolean: return r.boolean() ? -1.0 : 0.0;
    case VarType::String: return ParseOrRaise(r.string());
    default: return 0.0;  // Empty, Missing
  }
}

int Sign(double a, double b) { return a < b ? -1 : (a > b ? 1 : 0); }

Date CheckedDate(double serial) {
  if (!std::isfinite(serial) || std::fabs(serial) > 1e7) Raise(vberr::kOverflow);
  const Date d{serial};
  const int year = d.ToParts().year;
  if (year < 100 || year > 9999) Raise(vberr::kOverflow);
  return d;
}

bool IsNumericAt(const Variant& v, int depth) {
  switch (v.type()) {
    case VarType::Empty:
    case VarType::Integer:
    case VarType::Long:
    case VarType::Double:
    case VarType::Boolean: return true;
    case VarType::String: return ParseNumber(v.string()).has_value();
    case VarType::Object: {
      Variant value;
      return v.object() && depth < kMaxDefaultDepth && v.object()->GetDefaultValue(value) &&
             IsNumericAt(value, depth + 1);
    }
    default: return false;
  }
}

bool IsDateAt(const Variant& v, int depth) {
  switch (v.type()) {
    case VarType::Date: return true;
    case VarType::String: return ParseDate(v.string()).has_value();
    case VarType::Object: {
      Variant value;
      return v.object() && depth < kMaxDefaultDepth && v.object()->GetDefaultValue(value) &&
             IsDateAt(value, depth + 1);
    }
    default: return false;
  }
}

// Reads 1..max_len decimal digits at `pos`.
bool ReadDigits(std::string_view s, size_t& pos, size_t min_len, size_t max_len, int& out) {
  size_t len = 0;
  int value = 0;
  while (pos + len < s.size() && len < max_len && IsDigit(s[pos + len])) {
    value = value * 10 + (s[pos + len] - '0');
    ++len;
  }
  if (len < min_len) return false;
  pos += len;
  out = value;
  return true;
}

}  // namespace

// ---- Variant ----

std::string_view VarTypeName(VarType type) {
  switch (type) {
    case VarType::Empty: return "Empty";
    case VarType::Null: return "Null";
    case VarType::Integer: return "Integer";
    case VarType::Long: return "Long";
    case VarType::Double: return "Double";
    case VarType::Date: return "Date";
    case VarType::String: return "String";
    case VarType::Boolean: return "Boolean";
    case VarType::Object: return "Object";
    case VarType::Missing: return "Error";
  }
  return "Unknown";
}

bool Variant::IsNumber() const noexcept {
  const VarType t = type();
  return t == VarType::Integer || t == VarType::Long || t == VarType::Double;
}

bool Variant::IsNothing() const noexcept { return IsObject() && !object(); }

// ---- Date ----

Date Date::FromParts(int year, int month, int day, int hour, int minute, int second) {
  if (year < 100 || year > 9999) Raise(vberr::kOverflow);
  if (!ValidCalendar(year, month, day, hour, minute, second)) Raise(vberr::kTypeMismatch);
  const double days = static_cast<double>(DaysFromCivil(year, month, day) - kEpochDays);
  const double time = (hour * 3600 + minute * 60 + second) / 86400.0;
  // Before the epoch the whole part counts back but the time still runs forward.
  return Date{days >= 0 ? days + time : days - time};
}

Date Date::Now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return FromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                   local.tm_sec > 59 ? 59 : local.tm_sec);
}

Date::Parts Date::ToParts() const {
  if (!std::isfinite(serial) || std::fabs(serial) > 1e9) Raise(vberr::kOverflow);
  const double whole = std::trunc(serial);
  int64_t days = static_cast<int64_t>(whole);
  int64_t seconds = std::llround(std::fabs(serial - whole) * 86400.0);
  if (seconds >= 86400) {
    // The time rounded up to the next midnight.
    ++days;
    seconds -= 86400;
  }
  Parts p{};
  CivilFromDays(days + kEpochDays, p.year, p.month, p.day);
  p.hour = static_cast<int>(seconds / 3600);
  p.minute = static_cast<int>(seconds / 60 % 60);
  p.second = static_cast<int>(seconds % 60);
  return p;
}

// ---- Helpers ----

double Divide(double numerator, double denominator) {
  if (denominator == 0) Raise(numerator == 0 || std::isnan(numerator) ? vberr::kOverflow : vberr::kDivisionByZero);
  return Checked(numerator / denominator);
}

double Checked(double result) {
  if (!std::isfinite(result)) Raise(vberr::kOverflow);
  return result;
}

double RoundHalfEven(double value) {
  if (!std::isfinite(value)) return value;
  const double below = std::floor(value);
  const double fraction = value - below;  // exact for doubles
  if (fraction < 0.5) return below;
  if (fraction > 0.5) return below + 1;
  return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

std::string NumberToText(double value) {
  if (!std::isfinite(value)) Raise(vberr::kOverflow);
  if (value == 0) return "0";

  // Amounts in cents: when value × 100 is a whole number n of at most 15
  // digits, value lies within a few units in the last place of n / 100, much
  // closer than half a step of the 15-digit grid, so n / 100 is its text.
  if (const double cents = value * 100; std::fabs(cents) >= 1 && std::fabs(cents) < 1e15 && cents == std::trunc(cents)) {
    const int64_t n = static_cast<int64_t>(std::fabs(cents));
    char text[32];
    char* end = std::to_chars(text, text + sizeof text, n / 100).ptr;
    if (const int64_t fraction = n % 100; fraction != 0) {
      *end++ = '.';
      *end++ = static_cast<char>('0' + fraction / 10);
      if (fraction % 10 != 0) *end++ = static_cast<char>('0' + fraction % 10);
    }
    std::string out = value < 0 ? "-" : "";
    out.append(text, end);
    return out;
  }

  // In the plain range, a value whose shortest exact form has at most 15
  // significant digits rounds to that form: it is the answer, and the
  // shortest form is much cheaper to find than a rounding to 15 digits.
  if (const double magnitude = std::fabs(value); magnitude >= 1e-4 && magnitude < 1e15) {
    char plain[48];
    const auto shortest = std::to_chars(plain, plain + sizeof plain, value, std::chars_format::fixed);
    int significant = 0, pending_zeros = 0;
    bool started = false;
    for (const char* p = plain; p != shortest.ptr; ++p) {
      if (*p < '0' || *p > '9') continue;
      if (*p != '0') {
        significant += pending_zeros + 1;
        pending_zeros = 0;
        started = true;
      } else if (started) {
        ++pending_zeros;
      }
    }
    if (significant <= 15) return std::string(plain, static_cast<size_t>(shortest.ptr - plain));
  }

  // d.dddddddddddddde±x: fifteen significant digits, correctly rounded.
  char buf[40];
  const auto result = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
  const std::string_view sci(buf, static_cast<size_t>(result.ptr - buf));
  const size_t e_pos = sci.find('e');
  std::string digits;
  digits += sci[0];
  digits.append(sci.substr(2, e_pos - 2));
  int exponent = 0;
  std::string_view exp_text = sci.substr(e_pos + 1);
  if (!exp_text.empty() && exp_text.front() == '+') exp_text.remove_prefix(1);
  std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exponent);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = value < 0 ? "-" : "";
  if (exponent > -5 && exponent < 15) {
    if (exponent >= 0) {
      const size_t int_len = static_cast<size_t>(exponent) + 1;
      if (digits.size() <= int_len) {
        out += digits;
        out.append(int_len - digits.size(), '0');
      } else {
        out += digits.substr(0, int_len);
        out += '.';
        out += digits.substr(int_len);
      }
    } else {
      out += "0.";
      out.append(static_cast<size_t>(-exponent - 1), '0');
      out += digits;
    }
    return out;
  }
  out += digits[0];
  if (digits.size() > 1) {
    out += '.';
    out.append(digits, 1);
  }
  char exp_buf[16];
  std::snprintf(exp_buf, sizeof exp_buf, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
  out += exp_buf;
  return out;
}

std::optional<double> ParseNumber(std::string_view text) {
  const ParsedNumber parsed = ParseNumeric(text);
  if (parsed.status != ParseStatus::kOk) return std::nullopt;
  return parsed.value;
}

std::string DateToText(Date d) {
  const Date::Parts p = d.ToParts();
  char buf[48];
  if (p.hour == 0 && p.minute == 0 && p.second == 0) {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.year, p.month, p.day);
  } else {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                  p.minute, p.second);
  }
  return buf;
}

std::optional<Date> ParseDate(std::string_view text) {
  const std::string_view s = TrimBlanks(text);
  size_t pos = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!ReadDigits(s, pos, 4, 4, year)) return std::nullopt;
  if (pos >= s.size() || (s[pos] != '-' && s[pos] != '/')) return std::nullopt;
  const char separator = s[pos++];
  if (!ReadDigits(s, pos, 1, 2, month)) return std::nullopt;
  if (pos >= s.size() || s[pos++] != separator) return std::nullopt;
  if (!ReadDigits(s, pos, 1, 2, day)) return std::nullopt;
  if (pos < s.size()) {
    if (s[pos] == 'T') {
      ++pos;
    } else if (IsBlank(s[pos])) {
      while (pos < s.size() && IsBlank(s[pos])) ++pos;
    } else {
      return std::nullopt;
    }
    if (!ReadDigits(s, pos, 1, 2, hour)) return std::nullopt;
    if (pos >= s.size() || s[pos++] != ':') return std::nullopt;
    if (!ReadDigits(s, pos, 2, 2, minute)) return std::nullopt;
    if (pos < s.size()) {
      if (s[pos++] != ':') return std::nullopt;
      if (!ReadDigits(s, pos, 2, 2, second)) return std::nullopt;
    }
    if (pos != s.size()) return std::nullopt;
  }
  if (year < 100 || !ValidCalendar(year, month, day, hour, minute, second)) return std::nullopt;
  return Date::FromParts(year, month, day, hour, minute, second);
}

// ---- Conversions ----

std::string CStr(const Variant& v) {
  Variant storage;
  const Variant& r = Scalar(v, storage);
  switch (r.type()) {
    case VarType::Integer: return std::to_string(r.integer());
    case VarType::Long: return std::to_string(r.long_value());
    case VarType::Double: return NumberToText(r.double_value());
    case VarType::Date: return DateToText(r.date());
    case VarType::String: return r.string();
    case VarType::Boolean: return r.boolean() ? "True" : "False";
    default: return "";  // Empty
  }
}

double CDbl(const Variant& v) {
  Variant storage;
  return NumericValue(Scalar(v, storage));
}

int32_t CLng(const Variant& v) {
  Variant storage;
  const Variant& r = Scalar(v, storage);
  if (r.type() == VarType::Integer) return r.integer();
  if (r.type() == VarType::Long) return r.long_value();
  const double rounded = RoundHalfEven(NumericValue(r));
  if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) Raise(vberr::kOverflow);
  return static_cast<int32_t>(rounded);
}

int16_t CInt(const Variant& v) {
  Variant storage;
  const Variant& r = Scalar(v, storage);
  if (r.type() == VarType::Integer) return r.integer();
  const double rounded = RoundHalfEven(NumericValue(r));
  if (!(rounded >= -32768.0 && rounded <= 32767.0)) Raise(vberr::kOverflow);
  return static_cast<int16_t>(rounded);
}

bool CBool(const Variant& v) {
  Variant storage;
  const Variant& r = Scalar(v, storage);
  if (r.type() == VarType::Boolean) return r.boolean();
  if (r.type() == VarType::String) {
    const std::string_view s = TrimBlanks(r.string());
    if (EqualsNoCase(s, "True")) return true;
    if (EqualsNoCase(s, "False")) return false;
  }
  return NumericValue(r) != 0;
}

Date CDate(const Variant& v) {
  Variant storage;
  const Variant& r = Scalar(v, storage);
  if (r.type() == VarType::Date) return r.date();
  if (r.type() == VarType::String) {
    const std::optional<Date> d = ParseDate(r.string());
    if (!d) Raise(vberr::kTypeMismatch);
    return *d;
  }
  return CheckedDate(NumericValue(r));
}

bool IsNumeric(const Variant& v) { return IsNumericAt(v, 0); }

bool IsDate(const Variant& v) { return IsDateAt(v, 0); }

// ---- Comparison ----

namespace {

enum class Kind { kBlank, kText, kNumber };

Kind KindOf(const Variant& r) {
  switch (r.type()) {
    case VarType::Empty:
    case VarType::Missing: return Kind::kBlank;
    case VarType::String: return Kind::kText;
    default: return Kind::kNumber;
  }
}

int CompareText(const std::string& a, const std::string& b) {
  const int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// A number (or Boolean or Date) against text.
int CompareNumberWithText(const Variant& number, const std::string& text) {
  if (const std::optional<double> parsed = ParseNumber(text)) return Sign(NumericValue(number), *parsed);
  if (number.type() == VarType::Date) {
    if (const std::optional<Date> d = ParseDate(text)) return Sign(number.date().serial, d->serial);
  }
  return -1;
}

}  // namespace

std::optional<int> Compare(const Variant& a, const Variant& b) {
  if (a.IsNothing() && b.IsNothing()) return 0;
  Variant storage_a, storage_b;
  const Variant& x = Resolve(a, storage_a);
  const Variant& y = Resolve(b, storage_b);
  if (x.IsNull() || y.IsNull()) return std::nullopt;

  const Kind kx = KindOf(x), ky = KindOf(y);
  if (kx == Kind::kText && ky == Kind::kText) return CompareText(x.string(), y.string());
  if (kx == Kind::kText && ky == Kind::kBlank) return x.string().empty() ? 0 : 1;
  if (kx == Kind::kBlank && ky == Kind::kText) return y.string().empty() ? 0 : -1;
  if (kx == Kind::kText) return -CompareNumberWithText(y, x.string());
  if (ky == Kind::kText) return CompareNumberWithText(x, y.string());
  return Sign(NumericValue(x), NumericValue(y));
}

bool IsEqual(const Variant& a, const Variant& b) { return Compare(a, b) == 0; }

}  // namespace tovan::automation
