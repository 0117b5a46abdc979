#include "platform/automation/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <tuple>

#include "platform/automation/dispatch.h"
#include "platform/automation/error.h"

namespace tovan::automation {
namespace {

// The VB error number a call raises, or 0 when it returns normally.
template <class F>
int32_t ErrorOf(F&& f) {
  try {
    f();
  } catch (const AutomationError& e) {
    return e.number();
  }
  return 0;
}

// A recordset-field-like object: its default value is whatever it holds.
class Field : public Dispatch {
 public:
  explicit Field(Variant value, bool has_default = true) : value_(std::move(value)), has_default_(has_default) {}
  Variant Invoke(std::string_view, InvokeKind, std::span<Variant>) override { Raise(vberr::kMemberNotFound); }
  std::string_view TypeName() const override { return "Field"; }
  bool GetDefaultValue(Variant& out) override {
    if (!has_default_) return false;
    out = value_;
    return true;
  }

 private:
  Variant value_;
  bool has_default_;
};

TEST(VariantText, DoublesUseFifteenSignificantDigitsAndSwitchToExponentAtTheBounds) {
  EXPECT_EQ(CStr(0.5), "0.5");
  EXPECT_EQ(CStr(17.0), "17");
  EXPECT_EQ(CStr(-0.0), "0");
  EXPECT_EQ(CStr(-2.25), "-2.25");
  EXPECT_EQ(CStr(0.1 + 0.2), "0.3");  // the 16th digit is noise and must not show
  EXPECT_EQ(CStr(6.666666666666667), "6.66666666666667");
  EXPECT_EQ(CStr(123456789012345.0), "123456789012345");
  EXPECT_EQ(CStr(1234567890123456.0), "1.23456789012346E+15");
  EXPECT_EQ(CStr(1e15), "1E+15");
  EXPECT_EQ(CStr(-1e15), "-1E+15");
  // Rounding to 15 digits carries into the next power of ten, which decides the form.
  EXPECT_EQ(CStr(999999999999999.9), "1E+15");
  EXPECT_EQ(CStr(100000000000000.0), "100000000000000");
  EXPECT_EQ(CStr(0.0001), "0.0001");
  EXPECT_EQ(CStr(0.00012345), "0.00012345");
  EXPECT_EQ(CStr(0.00001), "1E-05");
  EXPECT_EQ(CStr(-0.000015), "-1.5E-05");
  EXPECT_EQ(CStr(1.5e-7), "1.5E-07");
  EXPECT_EQ(CStr(1e100), "1E+100");
  EXPECT_EQ(CStr(2.5e-300), "2.5E-300");

  EXPECT_EQ(ErrorOf([] { CStr(std::numeric_limits<double>::infinity()); }), vberr::kOverflow);
  EXPECT_EQ(ErrorOf([] { CStr(std::nan("")); }), vberr::kOverflow);

  EXPECT_EQ(CStr(Variant(int16_t{-32768})), "-32768");
  EXPECT_EQ(CStr(Variant(int32_t{-2147483647 - 1})), "-2147483648");
  EXPECT_EQ(CStr(true), "True");
  EXPECT_EQ(CStr(false), "False");
  EXPECT_EQ(CStr(Variant()), "");
  EXPECT_EQ(ErrorOf([] { CStr(Variant::Null()); }), vberr::kInvalidUseOfNull);
  EXPECT_EQ(ErrorOf([] { CStr(Variant::Missing()); }), vberr::kArgumentNotOptional);
}

// The text of a double takes shortcuts (amounts in cents, shortest forms);
// over many values of every kind it must still be printf's %.15g in the plain
// range, and reading it back must give what strtod gives.
TEST(VariantText, ShortcutsAgreeWithFifteenDigitFormatting) {
  std::mt19937_64 random(20261204);
  for (int i = 0; i < 200000; ++i) {
    double value;
    switch (i % 4) {
      case 0: value = static_cast<double>(random() % 100000000000000000ull) / 100; break;  // amounts in cents
      case 1: value = std::nextafter(static_cast<double>(random() % 10000000) / 100, (i & 8) ? 0.0 : 1e300); break;
      case 2: value = std::ldexp(static_cast<double>(random() >> 11), -static_cast<int>(random() % 70)); break;
      default: {
        uint64_t bits = random();
        std::memcpy(&value, &bits, sizeof value);
      }
    }
    if (!std::isfinite(value)) continue;
    if (i & 1) value = -value;
    const std::string text = CStr(value);
    char expected[40];
    std::snprintf(expected, sizeof expected, "%.15g", value);
    const double magnitude = std::fabs(std::strtod(expected, nullptr));
    if (value != 0 && magnitude >= 1e-4 && magnitude < 1e15) {
      ASSERT_EQ(text, expected);
    }
    ASSERT_EQ(CDbl(Variant(text)), std::strtod(text.c_str(), nullptr)) << text;
  }
}

TEST(VariantConversion, IntegersRoundHalvesToEvenAndOverflowOnTheRoundedValue) {
  EXPECT_EQ(CLng(0.5), 0);
  EXPECT_EQ(CLng(1.5), 2);
  EXPECT_EQ(CLng(2.5), 2);
  EXPECT_EQ(CLng(2.5000001), 3);
  EXPECT_EQ(CLng(-0.5), 0);
  EXPECT_EQ(CLng(-1.5), -2);
  EXPECT_EQ(CLng(-2.5), -2);
  EXPECT_EQ(CLng(-2.4999999), -2);
  EXPECT_EQ(CLng("  3.5 "), 4);
  EXPECT_EQ(CLng(true), -1);
  EXPECT_EQ(CLng(Variant()), 0);

  EXPECT_EQ(CLng(2147483646.5), 2147483646);
  EXPECT_EQ(ErrorOf([] { CLng(2147483647.5); }), vberr::kOverflow);
  EXPECT_EQ(CLng(-2147483648.5), -2147483647 - 1);
  EXPECT_EQ(ErrorOf([] { CLng(-2147483649.0); }), vberr::kOverflow);
  EXPECT_EQ(ErrorOf([] { CLng(std::nan("")); }), vberr::kOverflow);

  EXPECT_EQ(CInt(32766.5), 32766);
  EXPECT_EQ(ErrorOf([] { CInt(32767.5); }), vberr::kOverflow);
  EXPECT_EQ(CInt(-32768.5), -32768);
  EXPECT_EQ(ErrorOf([] { CInt(-32768.6); }), vberr::kOverflow);
  EXPECT_EQ(ErrorOf([] { CInt(Variant(int32_t{40000})); }), vberr::kOverflow);
  EXPECT_EQ(ErrorOf([] { CInt("abc"); }), vberr::kTypeMismatch);

  EXPECT_EQ(RoundHalfEven(4503599627370497.0), 4503599627370497.0);  // already whole, beyond 2^52
  EXPECT_EQ(RoundHalfEven(-3.5), -4.0);
}

TEST(VariantConversion, TextParsesAsNumberOnlyWhenWhollyNumeric) {
  EXPECT_EQ(CDbl(" \t-12.5e1 "), -125.0);
  EXPECT_EQ(CDbl("+.5"), 0.5);
  EXPECT_EQ(CDbl("5."), 5.0);
  EXPECT_EQ(CDbl("1E-2"), 0.01);
  EXPECT_EQ(CDbl("&HFF"), 255.0);
  EXPECT_EQ(CDbl("&hffff"), -1.0);  // fits 16 bits: read as a signed Integer
  EXPECT_EQ(CDbl("&H10000"), 65536.0);
  EXPECT_EQ(CDbl("&HFFFFFFFF"), -1.0);
  EXPECT_EQ(CDbl("&O17"), 15.0);

  for (const char* bad : {"", "   ", "-", "+", ".", "1.2.3", "1e", "1e+", "12abc", "1 2", "1,000", "&H", "&HG1",
                          "&O8", "&17", "0x10", "inf", "nan", "- 1"}) {
    EXPECT_FALSE(ParseNumber(bad).has_value()) << bad;
    EXPECT_FALSE(IsNumeric(bad)) << bad;
    EXPECT_EQ(ErrorOf([&] { CDbl(bad); }), vberr::kTypeMismatch) << bad;
  }

  // Well-formed but too large: not numeric for IsNumeric, Overflow for conversions.
  EXPECT_FALSE(IsNumeric("1e400"));
  EXPECT_EQ(ErrorOf([] { CDbl("1e400"); }), vberr::kOverflow);
  EXPECT_EQ(ErrorOf([] { CDbl("&H100000000"); }), vberr::kOverflow);
  EXPECT_EQ(CDbl("1e-400"), 0.0);

  EXPECT_TRUE(IsNumeric(Variant()));
  EXPECT_TRUE(IsNumeric(true));
  EXPECT_FALSE(IsNumeric(Date{1.0}));
  EXPECT_FALSE(IsNumeric(Variant::Null()));

  EXPECT_TRUE(CBool(" tRuE "));
  EXPECT_FALSE(CBool("FALSE"));
  EXPECT_TRUE(CBool("-0.1"));
  EXPECT_FALSE(CBool("0"));
  EXPECT_TRUE(CBool(Date{-1.0}));
  EXPECT_EQ(ErrorOf([] { CBool("yes"); }), vberr::kTypeMismatch);
  EXPECT_EQ(CDbl(true), -1.0);
  EXPECT_EQ(CDbl(Date{2.75}), 2.75);
}

TEST(VariantDate, SerialsCountFromTheEpochAndNegativeFractionsRunForward) {
  EXPECT_EQ(Date::FromParts(1899, 12, 30).serial, 0.0);
  EXPECT_EQ(Date::FromParts(1900, 1, 1).serial, 2.0);
  EXPECT_EQ(Date::FromParts(2000, 2, 29, 12).serial, 36585.5);
  EXPECT_EQ(Date::FromParts(1899, 12, 29, 6).serial, -1.25);
  EXPECT_EQ(Date::FromParts(1899, 12, 28, 18).serial, -2.75);

  const Date::Parts p = Date{-1.25}.ToParts();
  EXPECT_EQ(std::tie(p.year, p.month, p.day, p.hour, p.minute, p.second), std::make_tuple(1899, 12, 29, 6, 0, 0));
  // A fraction a hair short of a day rounds to the next midnight, on both sides of the epoch.
  EXPECT_EQ(DateToText(Date{0.99999999}), "1899-12-31");
  EXPECT_EQ(DateToText(Date{-1.99999999}), "1899-12-30");
  EXPECT_EQ(DateToText(Date{-0.5}), "1899-12-30 12:00:00");

  for (const Date d : {Date::FromParts(100, 1, 1), Date::FromParts(9999, 12, 31, 23, 59, 59),
                       Date::FromParts(1600, 2, 29, 1, 2, 3), Date::FromParts(1899, 12, 29, 23, 59, 59),
                       Date::FromParts(2024, 3, 1, 0, 0, 1)}) {
    const std::string text = DateToText(d);
    EXPECT_EQ(ParseDate(text), d) << text;
    EXPECT_EQ(CStr(d), text);
  }
  EXPECT_EQ(DateToText(Date::FromParts(100, 1, 1)), "0100-01-01");

  EXPECT_EQ(ErrorOf([] { Date::FromParts(99, 12, 31); }), vberr::kOverflow);
  EXPECT_EQ(ErrorOf([] { Date::FromParts(10000, 1, 1); }), vberr::kOverflow);
  EXPECT_EQ(ErrorOf([] { Date::FromParts(1900, 2, 29); }), vberr::kTypeMismatch);
  EXPECT_EQ(ErrorOf([] { Date::FromParts(2023, 13, 1); }), vberr::kTypeMismatch);

  EXPECT_EQ(ParseDate(" 2024-3-1 "), Date::FromParts(2024, 3, 1));
  EXPECT_EQ(ParseDate("2024/03/01 9:05"), Date::FromParts(2024, 3, 1, 9, 5));
  EXPECT_EQ(ParseDate("2024-03-01T23:59:58"), Date::FromParts(2024, 3, 1, 23, 59, 58));
  for (const char* bad : {"", "2023-02-29", "2024-04-31", "2024-03-01 24:00", "2024-03-01 10:60", "2024-03/01",
                          "24-03-01", "0099-12-31", "2024-03-01 10", "2024-03-01x", "2024-003-01", "45000"}) {
    EXPECT_FALSE(ParseDate(bad).has_value()) << bad;
    EXPECT_FALSE(IsDate(bad)) << bad;
  }

  EXPECT_EQ(CDate(2.5).serial, 2.5);
  EXPECT_EQ(CDate(true).serial, -1.0);
  EXPECT_EQ(CDate("1900-01-01").serial, 2.0);
  EXPECT_EQ(ErrorOf([] { CDate("tomorrow"); }), vberr::kTypeMismatch);
  EXPECT_EQ(ErrorOf([] { CDate(3e6); }), vberr::kOverflow);
  EXPECT_EQ(ErrorOf([] { CDate(-657435.0); }), vberr::kOverflow);
  EXPECT_EQ(CDate(-657434.5).serial, -657434.5);  // noon of year 100's first day
  EXPECT_FALSE(IsDate(2.0));

  const Date::Parts now = Date::Now().ToParts();
  EXPECT_GE(now.year, 2020);
}

TEST(VariantCompare, NumbersTextNullAndEmpty) {
  EXPECT_EQ(Compare(Variant(int16_t{2}), 2.0), 0);
  EXPECT_EQ(Compare(Variant(int32_t{3}), 2.5), 1);
  EXPECT_EQ(Compare(true, -1.0), 0);
  EXPECT_EQ(Compare(Date{2.0}, Variant(int32_t{3})), -1);

  EXPECT_EQ(Compare(10.0, "9"), 1);  // as numbers, not as text
  EXPECT_EQ(Compare(" 10 ", Variant(int32_t{10})), 0);
  EXPECT_EQ(Compare(10.0, "abc"), -1);  // a number is less than non-numeric text
  EXPECT_EQ(Compare("abc", 10.0), 1);
  EXPECT_EQ(Compare("10", "9"), -1);  // text with text is byte-wise
  EXPECT_EQ(Compare("B", "a"), -1);
  EXPECT_EQ(Compare("\xC3\xA9", "z"), 1);  // UTF-8 bytes compare unsigned

  EXPECT_EQ(Compare(Date::FromParts(2024, 3, 1), "2024-03-01"), 0);
  EXPECT_EQ(Compare("2024-03-02", Date::FromParts(2024, 3, 1)), 1);
  EXPECT_EQ(Compare(1.0, "2024-03-01"), -1);  // only a Date reads date text

  EXPECT_EQ(Compare(Variant(), 0.0), 0);
  EXPECT_EQ(Compare(Variant(), -1.0), 1);
  EXPECT_EQ(Compare(Variant(), ""), 0);
  EXPECT_EQ(Compare(Variant(), "0"), -1);  // Empty against text is "", not 0
  EXPECT_EQ(Compare(Variant::Missing(), Variant()), 0);

  EXPECT_EQ(Compare(Variant::Null(), Variant::Null()), std::nullopt);
  EXPECT_EQ(Compare(1.0, Variant::Null()), std::nullopt);
  EXPECT_FALSE(IsEqual(Variant::Null(), Variant::Null()));
  EXPECT_TRUE(IsEqual("1e3", 1000.0));
  EXPECT_FALSE(IsEqual("x", "X"));
}

TEST(VariantObject, ObjectsActThroughTheirDefaultValue) {
  const auto amount = std::make_shared<Field>(Variant(12.5));
  const auto nested = std::make_shared<Field>(Variant(amount));
  const auto empty_field = std::make_shared<Field>(Variant::Null());
  const auto opaque = std::make_shared<Field>(Variant(1.0), false);

  EXPECT_EQ(CStr(amount), "12.5");
  EXPECT_EQ(CLng(nested), 12);
  EXPECT_TRUE(IsNumeric(nested));
  EXPECT_TRUE(IsEqual(amount, "12.5"));
  EXPECT_EQ(Compare(amount, nested), 0);
  EXPECT_EQ(Compare(empty_field, 1.0), std::nullopt);
  EXPECT_EQ(ErrorOf([&] { CDbl(empty_field); }), vberr::kInvalidUseOfNull);
  EXPECT_EQ(ErrorOf([&] { CStr(opaque); }), vberr::kMemberNotFound);
  EXPECT_EQ(ErrorOf([&] { Compare(opaque, 1.0); }), vberr::kMemberNotFound);
  EXPECT_FALSE(IsNumeric(opaque));

  const Variant nothing = Variant::Nothing();
  EXPECT_TRUE(nothing.IsNothing());
  EXPECT_FALSE(Variant(amount).IsNothing());
  EXPECT_EQ(ErrorOf([&] { CStr(nothing); }), vberr::kObjectNotSet);
  EXPECT_EQ(Compare(nothing, Variant::Nothing()), 0);
  EXPECT_EQ(ErrorOf([&] { Compare(nothing, amount); }), vberr::kObjectNotSet);
  EXPECT_EQ(ErrorOf([&] { Compare(Variant(), nothing); }), vberr::kObjectNotSet);
  EXPECT_FALSE(IsNumeric(nothing));
  EXPECT_EQ(VarTypeName(nothing.type()), "Object");
  EXPECT_EQ(VarTypeName(Variant::Missing().type()), "Error");
}

TEST(AutomationError, CarriesStandardDescriptions) {
  const AutomationError e(vberr::kObjectNotSet, "Src");
  EXPECT_EQ(e.description(), "Object variable or With block variable not set");
  EXPECT_STREQ(e.what(), "Object variable or With block variable not set");
  EXPECT_EQ(StandardDescription(vberr::kNotImplemented), "Not implemented");
  EXPECT_EQ(StandardDescription(31999), "Application-defined or object-defined error");
}

}  // namespace
}  // namespace tovan::automation
