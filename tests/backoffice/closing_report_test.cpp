// The closing report against the database, on both engines: its counts and
// totals are the database's, every subtotal adds up to the bills' total, and
// each reconciliation adds up to its total with every difference named (a
// method the closing leaves out, the bills' discounts, rounding, what no
// method settled, the deducted methods), for a day of sales and one of returns.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "backoffice/closing.h"
#include "backoffice/closing_report.h"
#include "backoffice/json_forms.h"
#include "tests/backoffice/backoffice_test_support.h"

namespace tovan::testing {
namespace {

namespace bo = backoffice;

double Sum(HostFixture& host, const std::string& sql) {
  auto v = host.Scalar(sql);
  return v.IsNull() || v.IsEmpty() ? 0.0 : automation::CDbl(v);
}

// The lines of a reconciliation add up to its total, its last line.
void ExpectReconciles(const std::vector<bo::ClosingReport::Line>& chain, double total, const std::string& what) {
  ASSERT_FALSE(chain.empty()) << what;
  ASSERT_TRUE(chain.back().total) << what;
  double sum = 0;
  for (size_t i = 0; i + 1 < chain.size(); ++i) sum += chain[i].amount;
  EXPECT_NEAR(sum, chain.back().amount, 0.005) << what;
  EXPECT_NEAR(chain.back().amount, total, 0.005) << what;
}

const bo::ClosingReport::Line* Labelled(const std::vector<bo::ClosingReport::Line>& chain, const std::string& start) {
  for (const auto& line : chain)
    if (line.label.rfind(start, 0) == 0) return &line;
  return nullptr;
}

TEST(ClosingReport, EveryFigureIsTheDatabasesAndEveryDifferenceIsNamed) {
  DAILYBALANCE_REQUIRE_BACKEND();
  BackOfficeHost office;
  HostFixture& host = office.host();
  const std::string sales = office.Bills("2026-12-04", 1, 1);
  ASSERT_NE(sales.find(','), std::string::npos);
  const std::string first = sales.substr(0, sales.find(','));
  const std::string second = sales.substr(sales.find(',') + 1, sales.find(',', sales.find(',') + 1) - sales.find(',') - 1);
  // A method the closing leaves out, a bill settled two fen short, and one ten short.
  host.Query("INSERT INTO t_LS_Settle (FItemID, FNumber, FName) VALUES (9, '09', '购物卡')");
  host.Query("INSERT INTO t_LS_RetailEntry2 (FID, FIndex, FSettleID, FSettleAmount) VALUES (" + first + ", 9, 9, 33)");
  host.Query("UPDATE t_LS_Retail SET FTotalAmount = FTotalAmount + 33 WHERE FID=" + first);
  host.Query("UPDATE t_LS_RetailEntry2 SET FSettleAmount = FSettleAmount - 0.02 WHERE FID=" + first + " AND FSettleID<>9");
  host.Query("UPDATE t_LS_RetailEntry2 SET FSettleAmount = FSettleAmount - 10 WHERE FID=" + second +
             " AND FSettleID IN (1,2,5) AND FSettleAmount > 10");

  for (const std::string type : {"1", "2"}) {
    SCOPED_TRACE("bill type " + type);
    bo::ClosingRequest request;
    request.date = automation::Date::FromParts(2026, 12, 4);
    request.bill_type = type;
    request.shop = type == "1" ? "1" : "all";  // the first shop has no returns that day
    request.client = 314;
    bo::ClosingResult closed;
    try {
      closed = bo::RunClosing(office.session(), request, BackOfficeHost::Progress());
    } catch (const bo::Refusal& e) {
      FAIL() << "refused: " << e.message;
    } catch (const bo::OperationFailed& e) {
      FAIL() << "failed: " << e.message << (e.causes.empty() ? "" : " / " + e.causes[0]);
    }
    ASSERT_GT(closed.daily_bill_id, 0);
    const std::string day = std::to_string(closed.daily_bill_id);
    const std::string of_day = " FROM t_LS_Retail WHERE FDailyBillID=" + day;
    const std::string settled_of_day =
        " FROM t_LS_RetailEntry2 e JOIN t_LS_Retail r ON r.FID=e.FID WHERE r.FDailyBillID=" + day;

    bo::ClosingReport report = bo::ReportClosing(office.session(), closed.daily_bill_id);
    const double total = Sum(host, "SELECT sum(FTotalAmount)" + of_day);
    EXPECT_EQ(report.sales_bills + report.return_bills, Sum(host, "SELECT count(*)" + of_day));
    EXPECT_EQ(type == "1" ? report.return_bills : report.sales_bills, 0);
    EXPECT_NEAR(report.day.bills_total, total, 0.005);
    EXPECT_NEAR(report.settled, Sum(host, "SELECT sum(e.FSettleAmount)" + settled_of_day), 0.005);
    double methods = 0;
    for (const auto& m : report.methods) {
      methods += m.amount;
      EXPECT_NEAR(m.amount, Sum(host, "SELECT sum(e.FSettleAmount)" + settled_of_day + " AND e.FSettleID=" + std::to_string(m.id)), 0.005);
      EXPECT_FALSE(m.name.empty());
      EXPECT_EQ(m.role, m.id == 1 || m.id == 2 || m.id == 5 ? "stock" : m.id <= 4 ? "deducted" : "left out") << m.id;
    }
    EXPECT_NEAR(methods, report.settled, 0.005);
    for (const auto* group : {&report.shops, &report.cashiers}) {
      double sum = 0;
      int bills = 0;
      for (const auto& s : *group) {
        sum += s.amount;
        bills += s.bills;
        EXPECT_FALSE(s.name.empty());
      }
      EXPECT_NEAR(sum, total, 0.005);
      EXPECT_EQ(bills, report.sales_bills + report.return_bills);
    }
    ExpectReconciles(report.bills_to_settlement, total, "the bills' total");
    const double discounts = Sum(host, "SELECT sum(FDiscountAmount)" + of_day);
    if (discounts != 0) {
      const auto* line = Labelled(report.bills_to_settlement, "discounts given on ");
      ASSERT_TRUE(line);
      EXPECT_NEAR(line->amount, discounts, 0.005);
    }
    // The stock bill takes what the stock methods settled; the goods lines get there named step by step.
    const double stock = Sum(host, "SELECT sum(e.FInTaxAmount) FROM t_CC_StockBillEntry e JOIN t_cc_stockbill s ON "
                                   "s.FID=e.FID WHERE s.FBillNo='" + closed.stock_bill_no + "'");
    EXPECT_NEAR(report.stock_in_tax, stock, 0.005);
    EXPECT_NEAR(stock, std::fabs(Sum(host, "SELECT sum(e.FSettleAmount)" + settled_of_day + " AND e.FSettleID IN (1,2,5)")),
                0.005);
    ExpectReconciles(report.goods_to_stock_bill, stock, "the goods lines");
    EXPECT_NEAR(report.goods_to_stock_bill.front().amount,
                std::fabs(Sum(host, "SELECT sum(e.FAmount) FROM T_LS_RetailEntry e JOIN t_LS_Retail r ON r.FID=e.FID "
                                    "WHERE r.FDailyBillID=" + day)),
                0.005);
    if (type == "1") {
      const auto* left_out = Labelled(report.bills_to_settlement, "购物卡 (left out");
      ASSERT_TRUE(left_out);
      EXPECT_NEAR(left_out->amount, 33, 0.005);
      const auto* rounding = Labelled(report.bills_to_settlement, "rounding on 1 bills");
      ASSERT_TRUE(rounding);
      EXPECT_NEAR(rounding->amount, 0.02, 0.005);
      const auto* open = Labelled(report.bills_to_settlement, "not settled on 1 bills: ");
      ASSERT_TRUE(open);
      EXPECT_NEAR(open->amount, 10, 0.005);
      // What the stock methods did not settle is put on one entry, and said so.
      EXPECT_TRUE(Labelled(report.goods_to_stock_bill, "difference to what ")) << "the entry that takes the gap";
      // The JSON form carries the same figures.
      bo::Json json = bo::ToJson(report);
      EXPECT_EQ(json["billsToSettlement"].size(), report.bills_to_settlement.size());
      EXPECT_EQ(json["methods"][0]["role"], report.methods[0].role);
      EXPECT_DOUBLE_EQ(json["stockInTax"].get<double>(), report.stock_in_tax);
    }
  }
  auto gone = RefusalOf([&] { bo::ReportClosing(office.session(), 999); });
  ASSERT_TRUE(gone);
  EXPECT_EQ(gone->field, "id");
}

}  // namespace
}  // namespace tovan::testing
