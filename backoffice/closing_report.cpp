#include "backoffice/closing_report.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "backoffice/cash_count.h"
#include "backoffice/field_values.h"
#include "backoffice/input_checks.h"
#include "backoffice/settlement_roles.h"
#include "host/host_database.h"
#include "platform/host/data_context.h"

namespace tovan::backoffice {

using automation::Variant;

namespace {
double Cents(double amount) { return std::round(amount * 100.0) / 100.0; }

std::string Names(const std::vector<ClosingReport::Method>& methods, const std::string& role) {
  std::string out;
  for (const auto& m : methods)
    if (m.role == role) out += (out.empty() ? "" : "、") + m.name;
  return out;
}

// Where the bills' settlement lines fall short of their totals: the
// discounts the bills gave, rounding (under five fen a bill), and what no
// method settled.
void BillGaps(hostlib::HostDatabase& db, int32_t id, std::vector<ClosingReport::Line>& lines) {
  auto bills = db.Query(
      "SELECT r.FID, r.FBillNo, r.FTotalAmount, p.FPaid, r.FDiscountAmount FROM t_LS_Retail r LEFT JOIN "
      "(SELECT e.FID, sum(e.FSettleAmount) AS FPaid FROM t_LS_RetailEntry2 e JOIN t_LS_Retail x ON x.FID=e.FID "
      "WHERE x.FDailyBillID=?1 GROUP BY e.FID) p ON p.FID=r.FID WHERE r.FDailyBillID=?1 ORDER BY r.FID",
      {Variant(id)});
  double discounts = 0, rounding = 0, open = 0;
  int discounted_bills = 0, rounded_bills = 0;
  std::vector<std::string> open_bills;
  for (size_t r = 0; r < bills.RowCount(); ++r) {
    const double total = FieldNumber(bills.At(r, 2));
    // A return's discount is given back with it: it takes the bill's sign.
    const double discount = Cents(std::copysign(std::fabs(FieldNumber(bills.At(r, 4))), total));
    if (discount != 0) {
      discounts += discount;
      ++discounted_bills;
    }
    const double gap = Cents(total - FieldNumber(bills.At(r, 3)) - discount);
    if (gap == 0) continue;
    if (std::fabs(gap) < 0.05) {
      rounding += gap;
      ++rounded_bills;
    } else {
      open += gap;
      open_bills.push_back(FieldText(bills.At(r, 1)));
    }
  }
  if (discounted_bills > 0)
    lines.push_back({"discounts given on " + std::to_string(discounted_bills) + " bills", Cents(discounts)});
  if (rounded_bills > 0)
    lines.push_back({"rounding on " + std::to_string(rounded_bills) + " bills, under 0.05 each", Cents(rounding)});
  if (!open_bills.empty())
    lines.push_back({"not settled on " + std::to_string(open_bills.size()) + " bills: " + NameSome(open_bills),
                     Cents(open)});
}
}  // namespace

ClosingReport ReportClosing(Session& session, int32_t id) {
  // One snapshot for the day's details and the figures, so that they agree.
  host::HostUnitOfWork read_only(host::HostUnitOfWork::Access::kReadOnly);
  ClosingReport report;
  report.day = ShowDay(session, id);
  hostlib::HostDatabase db(session.db());
  const std::vector<Variant> day{Variant(id)};

  for (const DayBill& b : report.day.bills) (b.type == "returns" ? report.return_bills : report.sales_bills)++;

  auto methods = db.Query(
      "SELECT e.FSettleID, s.FName, sum(e.FSettleAmount), count(DISTINCT e.FID) FROM t_LS_RetailEntry2 e "
      "JOIN t_LS_Retail r ON r.FID=e.FID LEFT JOIN t_LS_Settle s ON s.FItemID=e.FSettleID "
      "WHERE r.FDailyBillID=?1 GROUP BY e.FSettleID, s.FName ORDER BY e.FSettleID",
      day);
  for (size_t r = 0; r < methods.RowCount(); ++r) {
    ClosingReport::Method m;
    m.id = FieldLong(methods.At(r, 0));
    m.name = FieldText(methods.At(r, 1));
    if (m.name.empty()) m.name = "method " + std::to_string(m.id);
    m.amount = Cents(FieldNumber(methods.At(r, 2)));
    m.bills = FieldLong(methods.At(r, 3));
    m.role = TakenIntoStockBill(m.id) ? "stock" : Deducted(m.id) ? "deducted" : "left out";
    report.settled += m.amount;
    report.methods.push_back(std::move(m));
  }
  report.settled = Cents(report.settled);

  auto subtotals = [&](const char* column, const char* table, std::vector<ClosingReport::Subtotal>& out) {
    auto rows = db.Query(std::string("SELECT r.") + column + ", t.FName, count(*), sum(r.FTotalAmount) FROM t_LS_Retail r "
                         "LEFT JOIN " + table + " t ON t.FItemID=r." + column +
                         " WHERE r.FDailyBillID=?1 GROUP BY r." + column + ", t.FName ORDER BY r." + column,
                         day);
    for (size_t r = 0; r < rows.RowCount(); ++r)
      out.push_back({FieldLong(rows.At(r, 0)), FieldText(rows.At(r, 1)), FieldLong(rows.At(r, 2)),
                     Cents(FieldNumber(rows.At(r, 3)))});
  };
  subtotals("FBranchShop", "t_LS_BranchShop", report.shops);
  subtotals("FCashier", "t_LS_Cashier", report.cashiers);

  report.count = ReadCount(db, id);
  auto header = db.Query("SELECT FInvoiceType, FTaxRate FROM t_LS_DailyBill WHERE FID=?1", day);
  if (header.RowCount() > 0) {
    report.invoice_type = FieldText(header.At(0, 0));
    report.tax_rate = FieldNumber(header.At(0, 1));
  }

  // The bills' total, made up of what each method settled and what no method did.
  const double bills_total = Cents(report.day.bills_total);
  auto& settlement = report.bills_to_settlement;
  for (const auto& m : report.methods) {
    const std::string how = m.role == "stock"      ? "taken into the stock bill"
                            : m.role == "deducted" ? "deducted from the goods lines"
                                                   : "left out of the stock bill by the closing";
    settlement.push_back({m.name + " (" + how + ")", m.amount});
  }
  BillGaps(db, id, settlement);
  settlement.push_back({"bills total", bills_total, true});

  // The goods lines, less discounts and the deducted methods, and the entry
  // that takes the rounding, make the stock bill's total.
  auto goods = db.Query(
      "SELECT sum(e.FAmount), sum(e.FBalAmount) FROM T_LS_RetailEntry e JOIN t_LS_Retail r ON r.FID=e.FID "
      "WHERE r.FDailyBillID=?1",
      day);
  const double sign = bills_total < 0 ? -1.0 : 1.0;  // a returns day's amounts are negative; its bills are not
  const double goods_amount = Cents(sign * FieldNumber(goods.At(0, 0)));
  const double balance = Cents(sign * FieldNumber(goods.At(0, 1)));
  double deducted = 0;
  for (const auto& m : report.methods)
    if (m.role == "deducted") deducted += std::fabs(m.amount);
  if (report.day.stock_bill) {
    auto stock = db.Query(
        "SELECT sum(e.FInTaxAmount), sum(e.FAmount), sum(e.FTaxAmount) FROM t_CC_StockBillEntry e JOIN t_cc_stockbill s "
        "ON s.FID=e.FID WHERE s.FBillNo=?1",
        {Variant(report.day.stock_bill->bill_no)});
    report.stock_in_tax = Cents(FieldNumber(stock.At(0, 0)));
    report.stock_net = Cents(FieldNumber(stock.At(0, 1)));
    report.stock_tax = Cents(FieldNumber(stock.At(0, 2)));
  }
  if (!report.day.stock_bill) return report;
  auto& chain = report.goods_to_stock_bill;
  chain.push_back({"goods lines", goods_amount});
  if (Cents(goods_amount - balance) != 0) chain.push_back({"discounts on the bills", Cents(balance - goods_amount)});
  if (deducted != 0) chain.push_back({"deducted methods: " + Names(report.methods, "deducted"), Cents(-deducted)});
  const double start = Cents(balance - deducted);
  if (Cents(report.stock_in_tax - start) != 0)
    chain.push_back({"difference to what " + Names(report.methods, "stock") + " settled, put on one entry",
                     Cents(report.stock_in_tax - start)});
  chain.push_back({"stock bill total, tax included", report.stock_in_tax, true});
  return report;
}

}  // namespace tovan::backoffice
