#include "web/dialog_service.h"

#include <algorithm>

#include "cli/arguments.h"
#include "cli/cancel_dialog.h"
#include "cli/closing_obstacles.h"
#include "cli/json_values.h"
#include "host/host_database.h"
#include "platform/automation/error.h"
#include "platform/data/open.h"
#include "platform/foundation/vector.h"
#include "platform/host/data_context.h"
#include "platform/host/global_context.h"

namespace tovan::web {

using automation::CStr;
using automation::Variant;
using cli::CallMember;

namespace {
std::string Text(const Variant& v) { return v.IsEmpty() || v.IsNull() ? std::string() : CStr(v); }
double Number(const Variant& v) { return v.IsEmpty() || v.IsNull() ? 0.0 : automation::CDbl(v); }
std::string Day(automation::Date d) { return automation::DateToText(d); }

Json Records(const Variant& list) {
  auto vector = foundation::AsVector(list);
  if (!vector) throw automation::AutomationError(automation::vberr::kObjectNotSet, "dailybalance", "the list cannot be read");
  return cli::JsonFromVariant(list);
}

std::string Setting(const automation::DispatchPtr& data, const char* key) {
  std::vector<Variant> args{Variant("POSDailyBalance"), Variant(key)};
  return CStr(CallMember(data, "GetSettleInfo", args));
}
}  // namespace

Json Settings(cli::HostSession& session) {
  host::HostUnitOfWork read_only(host::HostUnitOfWork::Access::kReadOnly);
  auto data = session.Create("clsData");
  return Json{{"client", Setting(data, "Client")},
              {"invoiceType", Setting(data, "InvoiceType")},
              {"taxRate", Setting(data, "TaxRate")},
              {"inCust", Setting(data, "InCustID")},
              {"database", data::RedactedDataSource(session.db())}};
}

Json Shops(cli::HostSession& session) {
  host::HostUnitOfWork read_only(host::HostUnitOfWork::Access::kReadOnly);
  hostlib::HostDatabase db(session.db());
  auto rows = db.Query("SELECT FItemID, FNumber, FName FROM t_LS_BranchShop ORDER BY FNumber");
  Json shops = Json::array();
  for (size_t r = 0; r < rows.RowCount(); ++r)
    shops.push_back(Json{{"id", automation::CLng(rows.At(r, 0))}, {"number", Text(rows.At(r, 1))}, {"name", Text(rows.At(r, 2))}});
  return Json{{"shops", shops}};
}

Json OpenBills(cli::HostSession& session, const BillFilter& filter) {
  host::HostUnitOfWork read_only(host::HostUnitOfWork::Access::kReadOnly);
  auto data = session.Create("clsData");
  std::vector<Variant> any{Variant(session.db()), Variant(""), Variant(filter.from), Variant(filter.to),
                           Variant(filter.type), Variant(filter.shop)};
  Json bills = Json::array();
  if (!automation::CBool(CallMember(data, "CheckBalData", any))) return Json{{"count", 0}, {"bills", bills}};
  // The same bounds CheckBalData uses: a day before `from`, a day after `to`, both exclusive.
  std::string condition = "FDate>'" + Day(automation::Date{filter.from.serial - 1}) + "' And FDate<'" +
                          Day(automation::Date{filter.to.serial + 1}) + "'";
  if (!filter.type.empty()) condition += " And FBillType='" + filter.type + "'";
  if (filter.shop != 0) condition += " And FBranchShop=" + std::to_string(filter.shop);
  std::vector<Variant> args{Variant(session.db()), Variant(condition)};
  std::string ids = CStr(CallMember(data, "GetIDData", args));
  if (ids.empty()) return Json{{"count", 0}, {"bills", bills}};
  hostlib::HostDatabase db(session.db());
  // GetIDData answers digits and commas only, so the list can stand in the text.
  auto rows = db.Query(
      "SELECT r.FID, r.FBillNo, r.FDate, r.FBillType, r.FBranchShop, s.FName, c.FName, r.FTotalAmount "
      "FROM t_LS_Retail r LEFT JOIN t_LS_BranchShop s ON s.FItemID=r.FBranchShop "
      "LEFT JOIN t_LS_Cashier c ON c.FItemID=r.FCashier WHERE r.FID IN (" + cli::IdListArgument("ids", ids) +
      ") ORDER BY r.FDate, r.FID");
  for (size_t r = 0; r < rows.RowCount(); ++r) {
    bills.push_back(Json{{"id", automation::CLng(rows.At(r, 0))},
                         {"billNo", Text(rows.At(r, 1))},
                         {"date", Text(rows.At(r, 2)).substr(0, 10)},
                         {"type", automation::CLng(rows.At(r, 3)) == 1 ? "sales" : "returns"},
                         {"shop", Text(rows.At(r, 5))},
                         {"cashier", Text(rows.At(r, 6))},
                         {"amount", Number(rows.At(r, 7))}});
  }
  return Json{{"count", bills.size()}, {"bills", bills}};
}

Json SelectionTotals(cli::HostSession& session, const std::string& ids) {
  host::HostUnitOfWork read_only(host::HostUnitOfWork::Access::kReadOnly);
  auto data = session.Create("clsData");
  std::vector<Variant> args{Variant(session.db()), Variant(ids)};
  Json methods = Records(CallMember(data, "SetSettleAmount", args));
  hostlib::HostDatabase db(session.db());
  const std::string in = "(" + ids + ")";
  // The part the closing deducts from the goods lines: methods 0, 3 and 4.
  double deductible = std::abs(Number(
      db.Scalar("SELECT sum(FSettleAmount) FROM t_LS_RetailEntry2 WHERE FID IN " + in + " AND FSettleID IN (0,3,4)")));
  auto days = db.Query(
      "SELECT r.FDate, count(*), sum(r.FTotalAmount) FROM t_LS_Retail r WHERE r.FID IN " + in +
      " GROUP BY r.FDate ORDER BY r.FDate");
  Json per_day = Json::array();
  double total = 0;
  for (size_t r = 0; r < days.RowCount(); ++r) {
    total += Number(days.At(r, 2));
    per_day.push_back(Json{{"date", Text(days.At(r, 0)).substr(0, 10)},
                           {"bills", automation::CLng(days.At(r, 1))},
                           {"amount", Number(days.At(r, 2))}});
  }
  return Json{{"methods", methods}, {"deductible", deductible}, {"days", per_day}, {"total", total}};
}

Json CheckSelection(cli::HostSession& session, const CheckRequest& request) {
  host::HostUnitOfWork rolled_back;  // UpdateBalAmount writes; never committed
  auto data = session.Create("clsData");
  auto selection = session.Create("clsXSBalData");
  const std::string& db_text = session.db();
  Json out;
  // The closing brings the balance amounts up to date first; so does the
  // check, inside its unit that is never committed, so it sees what the
  // closing will see.
  hostlib::HostDatabase db(db_text);
  cli::UpdateSelectionBalances(data, db, db_text, request.ids);
  std::vector<Variant> valid{Variant(request.ids), Variant(int32_t{0}), Variant(int32_t{-1}), Variant("")};
  bool is_valid = automation::CBool(CallMember(selection, "IsValidBill", valid));
  std::string bill_type = automation::CLng(valid[1]) == 2 ? "2" : "1";
  out["valid"] = Json{{"ok", is_valid}, {"message", valid[3].string()},
                      {"type", automation::CLng(valid[1]) == 2 ? "returns" : "sales"}};
  std::vector<Variant> store{Variant(db_text), Variant(request.ids), Variant(""), Variant(bill_type)};
  bool stock_ok = automation::CBool(CallMember(data, "CheckStore", store));
  out["stock"] = Json{{"ok", stock_ok}, {"message", store[2].string()}};
  std::vector<Variant> tracked{Variant(db_text), Variant(request.ids)};
  out["tracked"] = Json{{"ok", automation::CBool(CallMember(data, "JudgeData", tracked))}};
  std::vector<Variant> amounts{Variant(db_text), Variant(request.ids)};
  auto methods = foundation::AsVector(CallMember(data, "SetSettleAmount", amounts));
  cli::ClosingPlan plan{request.ids,       bill_type,       request.invoice_type, request.tax, request.client,
                        request.check_bill, request.in_cust, methods ? methods->UpperBound() : -1};
  Json causes = cli::FindClosingObstacles(db, plan);
  out["causes"] = causes;
  out["ok"] = is_valid && stock_ok && causes.empty();
  return out;
}

Json Customers(cli::HostSession& session) {
  host::HostUnitOfWork read_only(host::HostUnitOfWork::Access::kReadOnly);
  auto data = session.Create("clsData");
  std::vector<Variant> args{Variant(session.db())};
  return Json{{"customers", Records(CallMember(data, "GetData", args))}};
}

Json Customer(cli::HostSession& session, int32_t id) {
  host::HostUnitOfWork read_only(host::HostUnitOfWork::Access::kReadOnly);
  auto data = session.Create("clsData");
  std::string text = std::to_string(id);
  std::vector<Variant> args{Variant(session.db()), Variant(text), Variant(""), Variant(""), Variant(""), Variant("")};
  CallMember(data, "GetCustDetail", args);
  if (args[2].string().empty() && args[3].string().empty() && args[4].string().empty()) {
    hostlib::HostDatabase db(session.db());
    if (db.Scalar("SELECT FItemID FROM t_Item WHERE FItemClassID=4 AND FItemID=?1", {Variant(id)}).IsEmpty())
      throw cli::BadInput{"customer: no customer " + text};
  }
  auto context = host::GlobalContext::ForThread().GetDataContext();
  context->OpenDsn(session.db());
  std::vector<Variant> tax{Variant(context->GetConnection()), Variant(text)};
  return Json{{"id", id},
              {"name", args[2].string()},
              {"contact", args[3].string()},
              {"phone", args[4].string()},
              {"fax", args[5].string()},
              {"taxRate", CStr(CallMember(data, "GetInvoiceData", tax))}};
}

Json Accounts(cli::HostSession& session) {
  host::HostUnitOfWork read_only(host::HostUnitOfWork::Access::kReadOnly);
  auto data = session.Create("clsData");
  std::vector<Variant> args{Variant(session.db())};
  return Json{{"accounts", Records(CallMember(data, "GetSettleAcctData", args))}};
}

Json ClosedDays(cli::HostSession& session, const ClosedFilter& filter) {
  host::HostUnitOfWork read_only(host::HostUnitOfWork::Access::kReadOnly);
  auto cancel = session.Create("clsUnBalData");
  // Built from validated values only: dates and a number made of letters and digits.
  std::vector<std::string> parts;
  if (filter.from) parts.push_back("b.FDate>='" + Day(*filter.from) + "'");
  if (filter.to) parts.push_back("b.FDate<'" + Day(automation::Date{filter.to->serial + 1}) + "'");
  if (!filter.number.empty()) parts.push_back("b.FBillNo like '%" + filter.number + "%'");
  std::string condition;
  for (const auto& p : parts) condition += (condition.empty() ? "" : " And ") + p;
  std::vector<Variant> args{Variant(session.db()), Variant(condition)};
  Json days = Records(CallMember(cancel, "SetTotalData", args));
  for (Json& d : days) d["FDate"] = d["FDate"].get<std::string>().substr(0, 10);
  std::sort(days.begin(), days.end(), [](const Json& a, const Json& b) {
    return std::stol(a["FID"].get<std::string>()) > std::stol(b["FID"].get<std::string>());
  });
  return Json{{"days", days}};
}

Json DayDetails(cli::HostSession& session, int32_t id) {
  host::HostUnitOfWork read_only(host::HostUnitOfWork::Access::kReadOnly);
  auto cancel = session.Create("clsUnBalData");
  std::vector<Variant> args{Variant(session.db()), Variant(std::to_string(id))};
  return Json{{"id", id}, {"bills", Records(CallMember(cancel, "SetDetailData", args))}};
}

Json Close(cli::HostSession& session, const cli::ClosingInput& input, automation::DispatchPtr events) {
  try {
    cli::ClosingReport r = cli::RunClosing(session, input, std::move(events));
    return Json{{"ok", true},
                {"message", r.message},
                {"dailyBillId", r.daily_bill_id},
                {"dailyBillNo", r.daily_bill_no},
                {"stockBillNo", r.stock_bill_no},
                {"checkBillNo", r.check_bill_no ? Json(*r.check_bill_no) : Json(nullptr)},
                {"retailBills", r.retail_bills}};
  } catch (const cli::ClosingRefusal& e) {
    return Json{{"ok", false}, {"message", e.message}, {"causes", e.causes}};
  } catch (const cli::BadInput& e) {
    return Json{{"ok", false}, {"message", e.message}, {"causes", Json::array()}};
  } catch (const automation::AutomationError& e) {
    return Json{{"ok", false}, {"message", e.description()}, {"causes", Json::array()}};
  }
}

Json Cancel(cli::HostSession& session, const std::string& ids, automation::DispatchPtr events) {
  try {
    cli::CancelOutcome outcome = cli::CancelDailyBills(session, ids, std::move(events));
    Json lines = Json::array();
    for (size_t start = 0; start < outcome.message.size();) {
      size_t end = outcome.message.find('\n', start);
      std::string line = outcome.message.substr(start, end == std::string::npos ? std::string::npos : end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) lines.push_back(line);
      start = end == std::string::npos ? outcome.message.size() : end + 1;
    }
    return Json{{"ok", outcome.ok}, {"lines", lines}};
  } catch (const automation::AutomationError& e) {
    return Json{{"ok", false}, {"lines", Json::array({e.description()})}};
  }
}

}  // namespace tovan::web
