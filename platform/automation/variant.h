// Variant: the value type of automation calls, with Visual Basic semantics.
//
// A Variant holds one of: Empty, Null, Integer (16-bit), Long (32-bit),
// Double, Date, String (UTF-8), Boolean, Object (a Dispatch reference, null
// for Nothing) or Missing (an omitted optional argument).  The conversions
// below follow VB's CStr/CDbl/CLng/CInt/CBool/CDate; the platform's regional
// forms are fixed: dates are "yyyy-mm-dd" (plus " hh:mm:ss" when the time of
// day is not midnight), the decimal separator is "." and nothing is grouped.
//
// Conversions that cannot be made raise AutomationError with the VB number:
// 13 Type mismatch, 6 Overflow, 94 Invalid use of Null, 91 Object not set.
//
// Thread-safety: a Variant is a value; distinct Variants may be used from
// distinct threads.  Object references are shared, not copied.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace tovan::automation {

class Dispatch;
using DispatchPtr = std::shared_ptr<Dispatch>;

enum class VarType { Empty, Null, Integer, Long, Double, Date, String, Boolean, Object, Missing };

// VB's name of a type ("Empty", "Null", "Integer", "Long", "Double", "Date",
// "String", "Boolean", "Object", "Error" for Missing).
std::string_view VarTypeName(VarType type);

// A date as VB keeps it: days since 1899-12-30, the time of day as the
// fraction.  Before 1899-12-30 the serial is negative and the fraction still
// counts forward from midnight (-1.25 is 1899-12-29 06:00).
struct Date {
  double serial = 0;

  // Valid for years 100..9999; raises Overflow (6) outside that range and
  // Type mismatch (13) for a day or month that does not exist.
  static Date FromParts(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
  // The current local date and time of the computer, to the second.
  static Date Now();

  struct Parts {
    int year, month, day, hour, minute, second;
  };
  Parts ToParts() const;

  friend bool operator==(Date a, Date b) { return a.serial == b.serial; }
};

class Variant {
 public:
  Variant() = default;  // Empty
  Variant(int16_t v) : value_(v) {}
  Variant(int32_t v) : value_(v) {}
  Variant(double v) : value_(v) {}
  Variant(Date v) : value_(v) {}
  Variant(std::string v) : value_(std::move(v)) {}
  Variant(std::string_view v) : value_(std::string(v)) {}
  Variant(const char* v) : value_(std::string(v)) {}
  Variant(bool v) : value_(v) {}
  Variant(DispatchPtr v) : value_(std::move(v)) {}
  template <class T, class = std::enable_if_t<std::is_base_of_v<Dispatch, T>>>
  Variant(std::shared_ptr<T> v) : value_(DispatchPtr(std::move(v))) {}

  static Variant Null() { return Variant(NullTag{}); }
  static Variant Missing() { return Variant(MissingTag{}); }
  static Variant Nothing() { return Variant(DispatchPtr()); }

  VarType type() const noexcept { return static_cast<VarType>(value_.index()); }
  bool IsEmpty() const noexcept { return type() == VarType::Empty; }
  bool IsNull() const noexcept { return type() == VarType::Null; }
  bool IsMissing() const noexcept { return type() == VarType::Missing; }
  bool IsObject() const noexcept { return type() == VarType::Object; }
  // Integer, Long, Double (the types VB's IsNumeric accepts without parsing).
  bool IsNumber() const noexcept;
  // True for Object holding Nothing.
  bool IsNothing() const noexcept;

  // Direct access to the held value; the caller must check type() first.
  int16_t integer() const { return std::get<int16_t>(value_); }
  int32_t long_value() const { return std::get<int32_t>(value_); }
  double double_value() const { return std::get<double>(value_); }
  Date date() const { return std::get<Date>(value_); }
  const std::string& string() const { return std::get<std::string>(value_); }
  bool boolean() const { return std::get<bool>(value_); }
  const DispatchPtr& object() const { return std::get<DispatchPtr>(value_); }

 private:
  struct NullTag {};
  struct MissingTag {};
  explicit Variant(NullTag t) : value_(t) {}
  explicit Variant(MissingTag t) : value_(t) {}

  // Index order must match VarType.
  std::variant<std::monostate, NullTag, int16_t, int32_t, double, Date, std::string, bool, DispatchPtr,
               MissingTag>
      value_;
};

// ---- Central conversions (VB's CStr, CDbl, CLng, CInt, CBool, CDate) ----
//
// Common rules: Null raises 94; Missing raises 449 (argument not optional);
// an Object is replaced by its parameterless default value (raising 91 for
// Nothing and 438 when it has none) before converting; Empty is 0, "" or
// False.  Text converts to a number when, after leading and trailing blanks,
// it is a decimal number (sign, digits, ".", exponent) or &H/&O literal.

std::string CStr(const Variant& v);
double CDbl(const Variant& v);
int32_t CLng(const Variant& v);  // halves to even; Overflow outside 32 bits
int16_t CInt(const Variant& v);  // halves to even; Overflow outside 16 bits
bool CBool(const Variant& v);    // numbers: non-zero; text: "True"/"False" or numeric
Date CDate(const Variant& v);    // numbers: serial; text: "yyyy-mm-dd[ hh:mm[:ss]]" or "yyyy/mm/dd..."

// VB's IsNumeric: numbers, Booleans, Empty, and text that CDbl accepts.
bool IsNumeric(const Variant& v);
// VB's IsDate: Dates and text that CDate accepts.
bool IsDate(const Variant& v);

// ---- The helpers the conversions share ----

// VB's "/" on doubles: raises 11 (Division by zero) for x / 0 and 6
// (Overflow) for 0 / 0 or a quotient out of range.
double Divide(double numerator, double denominator);
// Raises 6 (Overflow) when an arithmetic result is not finite, as VB's
// Double arithmetic does; answers the value otherwise.
double Checked(double result);

// Rounds to the nearest whole number, halves to the even neighbour (VB's CLng).
double RoundHalfEven(double value);

// VB's text of a double: at most 15 significant digits, no trailing zeros,
// plain decimal form for magnitudes 1E-5 < |x| < 1E15, otherwise mantissa
// and exponent ("1E+15", "1.5E-07").  -0 is "0".
std::string NumberToText(double value);

// Parses a number as CDbl does; nullopt when the text is not numeric.
std::optional<double> ParseNumber(std::string_view text);

// "yyyy-mm-dd", with " hh:mm:ss" when the time of day is not midnight.
std::string DateToText(Date d);
// Parses a date text as CDate does; nullopt when the text is not a date.
std::optional<Date> ParseDate(std::string_view text);

// ---- Comparison (VB's = and < on Variants, Option Compare Binary) ----
//
// Numbers (and Booleans, Dates, Empty) compare as numbers; text with text
// byte-wise; a number with numeric text as numbers; a number with other
// text: the number is less; Empty is 0 against a number and "" against text.
// Null on either side gives nullopt (VB's Null result).  Objects compare by
// their default values.
std::optional<int> Compare(const Variant& a, const Variant& b);
// a = b as an If statement sees it: Null counts as False.
bool IsEqual(const Variant& a, const Variant& b);

}  // namespace tovan::automation
