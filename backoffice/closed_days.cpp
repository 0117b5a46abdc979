#include "backoffice/closed_days.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "backoffice/database_fault.h"
#include "backoffice/field_values.h"
#include "backoffice/input_checks.h"
#include "backoffice/refusal.h"
#include "host/host_database.h"
#include "platform/foundation/vector.h"
#include "platform/host/data_context.h"

namespace tovan::backoffice {

using automation::Variant;

namespace {
std::string Day(const Variant& v) { return FieldText(v).substr(0, 10); }
std::string Join(const std::vector<int32_t>& ids) {
  std::string out;
  for (int32_t id : ids) out += (out.empty() ? "" : ",") + std::to_string(id);
  return out;
}

constexpr const char* kStockBillOfDay =
    "SELECT DISTINCT e.FID_SRC, s.FID, s.FBillNo, s.FDate FROM t_CC_StockBillEntry e JOIN t_cc_stockbill s "
    "ON s.FID=e.FID WHERE e.FClassID_SRC=1090001 AND e.FID_SRC IN ";
constexpr const char* kCheckBillOfStockBill =
    "SELECT DISTINCT e.FSourceBillID, c.FBillNo, c.FInCustID, t.FName, c.FAmount, c.FStatus FROM t_rp_Checkbill c "
    "JOIN t_rp_Checkbillentry1 e ON e.FID=c.FID LEFT JOIN t_Item t ON t.FItemID=c.FInCustID "
    "WHERE e.FSourceClassTypeID=1030002 AND e.FSourceBillID IN ";

// The ids of the daily bills the filter selects.
std::vector<int32_t> SelectDays(Session& session, hostlib::HostDatabase& db, const ClosedDayFilter& filter) {
  std::vector<int32_t> ids;
  if (!filter.sql.empty()) {
    // The host's own filter is SQL by design; the component's query runs it.
    auto cancel = session.Create("clsUnBalData");
    std::vector<Variant> args{Variant(session.db()), Variant(filter.sql)};
    data::ClearDatabaseFault();
    auto list = foundation::AsVector(CallMember(cancel, "SetTotalData", args));
    if (!list && data::LastDatabaseFault())
      throw OperationFailed{"the closed days cannot be read", {DatabaseCause()}};
    if (!list)
      throw Refusal("filter", "not a condition on b (daily bill) and be (entry) that the database accepts: " +
                                  filter.sql);
    for (int32_t p = 1; p <= list->UpperBound(); ++p) ids.push_back(FieldLong(list->Record(p)->Value("FID")));
    return ids;
  }
  std::string sql = "SELECT b.FID FROM t_LS_DailyBill b WHERE 1=1";
  std::vector<Variant> values;
  auto bind = [&](const std::string& condition, Variant value) {
    values.push_back(std::move(value));
    sql += " AND " + condition + "?" + std::to_string(values.size());
  };
  if (filter.from) bind("b.FDate>=", Variant(automation::DateToText(*filter.from)));
  if (filter.to) bind("b.FDate<", Variant(automation::DateToText(automation::Date{filter.to->serial + 1})));
  if (!filter.number.empty()) bind("b.FBillNo LIKE ", Variant("%" + filter.number + "%"));
  if (filter.shop != 0) {
    values.emplace_back(filter.shop);
    sql += " AND EXISTS (SELECT 1 FROM t_LS_Retail r WHERE r.FDailyBillID=b.FID AND r.FBranchShop=?" +
           std::to_string(values.size()) + ")";
  }
  auto rows = db.Query(sql, values);
  if (rows.RowCount() == 0) db.CheckSound("t_LS_DailyBill");  // never "none" from a damaged file
  for (size_t r = 0; r < rows.RowCount(); ++r) ids.push_back(FieldLong(rows.At(r, 0)));
  return ids;
}

// Headers, shops, bills, amounts and generated bills of `ids`, by id.
std::map<int32_t, ClosedDay> Describe(hostlib::HostDatabase& db, const std::vector<int32_t>& ids) {
  std::map<int32_t, ClosedDay> days;
  if (ids.empty()) return days;
  const std::string in = "(" + Join(ids) + ")";
  auto headers = db.Query("SELECT b.FID, b.FBillNo, b.FDate, b.FEmpID, u.FName, b.FCloseTime FROM t_LS_DailyBill b "
                          "LEFT JOIN t_Users u ON u.FUserID=b.FEmpID WHERE b.FID IN " + in);
  for (size_t r = 0; r < headers.RowCount(); ++r) {
    ClosedDay d;
    d.id = FieldLong(headers.At(r, 0));
    d.bill_no = FieldText(headers.At(r, 1));
    d.date = Day(headers.At(r, 2));
    d.operator_id = FieldLong(headers.At(r, 3));
    d.operator_name = FieldText(headers.At(r, 4));
    d.closed_at = headers.At(r, 5).IsNull() ? std::string() : automation::DateToText(automation::CDate(headers.At(r, 5)));
    days[d.id] = std::move(d);
  }
  auto shops = db.Query(
      "SELECT r.FDailyBillID, r.FBranchShop, s.FName, count(*), sum(r.FTotalAmount) FROM t_LS_Retail r "
      "LEFT JOIN t_LS_BranchShop s ON s.FItemID=r.FBranchShop WHERE r.FDailyBillID IN " + in +
      " GROUP BY r.FDailyBillID, r.FBranchShop, s.FName ORDER BY r.FDailyBillID, r.FBranchShop");
  for (size_t r = 0; r < shops.RowCount(); ++r) {
    auto it = days.find(FieldLong(shops.At(r, 0)));
    if (it == days.end()) continue;
    std::string name = FieldText(shops.At(r, 2));
    it->second.shops.push_back(name.empty() ? std::to_string(FieldLong(shops.At(r, 1))) : name);
    it->second.bills += FieldLong(shops.At(r, 3));
    it->second.amount += FieldNumber(shops.At(r, 4));
  }
  auto stock = db.Query(kStockBillOfDay + in);
  std::map<int32_t, int32_t> day_of_stock_bill;
  for (size_t r = 0; r < stock.RowCount(); ++r) {
    auto it = days.find(FieldLong(stock.At(r, 0)));
    if (it == days.end()) continue;
    it->second.stock_bill_no = FieldText(stock.At(r, 2));
    day_of_stock_bill[FieldLong(stock.At(r, 1))] = it->first;
  }
  if (!day_of_stock_bill.empty()) {
    std::vector<int32_t> stock_ids;
    for (const auto& [stock_id, day] : day_of_stock_bill) stock_ids.push_back(stock_id);
    auto checks = db.Query(kCheckBillOfStockBill + ("(" + Join(stock_ids) + ")"));
    for (size_t r = 0; r < checks.RowCount(); ++r)
      days[day_of_stock_bill[FieldLong(checks.At(r, 0))]].check_bill_no = FieldText(checks.At(r, 1));
  }
  return days;
}

std::string TypeName(const Variant& type) { return FieldText(type) == "2" ? "returns" : "sales"; }
}  // namespace

std::string NumberPart(const std::string& text) {
  bool word = text.size() <= 40 && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c));
  });
  if (!word) throw Refusal("number", "letters and digits only, at most 40: " + text);
  return text;
}

ClosedDayList ListClosedDays(Session& session, const ClosedDayFilter& filter) {
  if (filter.from && filter.to && filter.from->serial > filter.to->serial)
    throw Refusal("from", automation::DateToText(*filter.from) + " is after " + automation::DateToText(*filter.to));
  // A listing only reads, so it runs in a read-only unit: it never waits for
  // a closing, a write a filter smuggles in is refused, and the data layer
  // refuses the transaction control that could end the unit early.
  host::HostUnitOfWork read_only(host::HostUnitOfWork::Access::kReadOnly);
  hostlib::HostDatabase db(session.db());
  std::map<int32_t, ClosedDay> days = Describe(db, SelectDays(session, db, filter));
  ClosedDayList list;
  for (auto& [id, day] : days) {
    list.bills += day.bills;
    list.amount += day.amount;
    list.days.push_back(std::move(day));
  }
  // Newest first: by business day, then by id.
  std::sort(list.days.begin(), list.days.end(), [](const ClosedDay& a, const ClosedDay& b) {
    return a.date != b.date ? a.date > b.date : a.id > b.id;
  });
  return list;
}

DayDetails ShowDay(Session& session, int32_t id) {
  host::HostUnitOfWork read_only(host::HostUnitOfWork::Access::kReadOnly);
  hostlib::HostDatabase db(session.db());
  auto days = Describe(db, {id});
  if (days.empty())
    throw Refusal("id", "no closed day " + std::to_string(id) + " (never closed, or cancelled already)");
  DayDetails details;
  details.day = std::move(days.begin()->second);
  auto bills = db.Query(
      "SELECT r.FID, r.FBillNo, r.FDate, r.FBillType, s.FName, c.FName, r.FTotalAmount FROM t_LS_Retail r "
      "LEFT JOIN t_LS_BranchShop s ON s.FItemID=r.FBranchShop LEFT JOIN t_LS_Cashier c ON c.FItemID=r.FCashier "
      "WHERE r.FDailyBillID=?1 ORDER BY r.FDate, r.FID",
      {Variant(id)});
  for (size_t r = 0; r < bills.RowCount(); ++r) {
    DayBill b{FieldLong(bills.At(r, 0)), FieldText(bills.At(r, 1)), Day(bills.At(r, 2)), TypeName(bills.At(r, 3)),
              FieldText(bills.At(r, 4)), FieldText(bills.At(r, 5)), FieldNumber(bills.At(r, 6))};
    details.bills_total += b.amount;
    details.bills.push_back(std::move(b));
  }
  auto stock = db.Query(std::string(kStockBillOfDay) + "(" + std::to_string(id) + ")");
  if (stock.RowCount() > 0) {
    DayDetails::StockBill bill;
    const int32_t stock_id = FieldLong(stock.At(0, 1));
    bill.bill_no = FieldText(stock.At(0, 2));
    bill.date = Day(stock.At(0, 3));
    auto lines = db.Query(
        "SELECT e.FIndex, i.FNumber, i.FName, u.FName, st.FName, e.FBatchNo, e.FQty, e.FPrice, e.FAmount "
        "FROM t_CC_StockBillEntry e LEFT JOIN t_ICItem i ON i.FItemID=e.FItemID "
        "LEFT JOIN t_MeasureUnit u ON u.FMeasureUnitID=e.FUnitID LEFT JOIN t_Stock st ON st.FItemID=e.FSCStockID "
        "WHERE e.FID=?1 ORDER BY e.FIndex",
        {Variant(stock_id)});
    for (size_t r = 0; r < lines.RowCount(); ++r) {
      StockLine line{static_cast<int>(FieldLong(lines.At(r, 0))), FieldText(lines.At(r, 1)), FieldText(lines.At(r, 2)),
                     FieldText(lines.At(r, 3)), FieldText(lines.At(r, 4)), FieldText(lines.At(r, 5)),
                     FieldNumber(lines.At(r, 6)), FieldNumber(lines.At(r, 7)), FieldNumber(lines.At(r, 8))};
      bill.total += line.amount;
      bill.lines.push_back(std::move(line));
    }
    details.stock_bill = std::move(bill);
    auto check = db.Query(std::string(kCheckBillOfStockBill) + "(" + std::to_string(stock_id) + ")");
    if (check.RowCount() > 0)
      details.check_bill = DayDetails::CheckBill{FieldText(check.At(0, 1)), FieldText(check.At(0, 3)),
                                                 FieldLong(check.At(0, 2)),
                                                 FieldNumber(check.At(0, 4)), FieldLong(check.At(0, 5)) == 1};
  }
  return details;
}

}  // namespace tovan::backoffice
