// The terminal's tables: amounts with two decimals and grouping, rounded
// half away from zero at the cent, and columns padded by display width, so
// that Chinese names line up with the digits under them.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/table.h"

namespace tovan::cli {
namespace {

TEST(Table, MoneyAndAlignment) {
  EXPECT_EQ(Money(0), "0.00");
  EXPECT_EQ(Money(-0.001), "0.00") << "no negative zero";
  EXPECT_EQ(Money(0.125), "0.13");
  EXPECT_EQ(Money(-0.125), "-0.13");
  EXPECT_EQ(Money(999.995), "1,000.00");
  EXPECT_EQ(Money(98185.567), "98,185.57");
  EXPECT_EQ(Money(-1234567.8), "-1,234,567.80");

  EXPECT_EQ(DisplayWidth("RJ001"), 5u);
  EXPECT_EQ(DisplayWidth("中心店"), 6u);
  EXPECT_EQ(DisplayWidth("05.001 纯棉T恤"), 14u);

  Table table({"Shop", ">Amount"});
  table.Add({"中心店", Money(16194.63)});
  table.Add({"A", Money(5)});
  std::ostringstream out;
  table.Print(out);
  EXPECT_EQ(out.str(),
            "Shop       Amount\n"
            "中心店  16,194.63\n"
            "A            5.00\n");
}

}  // namespace
}  // namespace tovan::cli
