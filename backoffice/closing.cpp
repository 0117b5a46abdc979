#include "backoffice/closing.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "backoffice/audit.h"
#include "backoffice/closing_obstacles.h"
#include "backoffice/database_fault.h"
#include "backoffice/field_values.h"
#include "backoffice/input_checks.h"
#include "backoffice/lookups.h"
#include "backoffice/operators.h"
#include "backoffice/refusal.h"
#include "platform/automation/text.h"
#include "host/host_database.h"
#include "platform/automation/error.h"
#include "platform/foundation/vector.h"
#include "platform/host/data_context.h"

namespace tovan::backoffice {

using automation::CStr;
using automation::Date;
using automation::Variant;

namespace {
std::string Day(Date d) { return automation::DateToText(d); }

std::string Setting(const automation::DispatchPtr& data, const char* key) {
  std::vector<Variant> args{Variant("POSDailyBalance"), Variant(key)};
  return CStr(CallMember(data, "GetSettleInfo", args));
}

// A stored setting that should hold an id; one that does not is "not stored".
std::optional<int32_t> StoredId(const std::string& text) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return {};
  int32_t id = static_cast<int32_t>(std::stol(text));
  return id > 0 ? std::optional<int32_t>(id) : std::nullopt;
}

// The first day of the host's current period (IC CurrentYear, CurrentPeriod).
std::optional<Date> PeriodStart(hostlib::HostDatabase& db) {
  auto rows = db.Query("SELECT FKey, FValue FROM t_SystemProfile WHERE FCategory='IC' AND FKey IN "
                       "('CurrentYear','CurrentPeriod')");
  int year = 0, period = 0;
  for (size_t r = 0; r < rows.RowCount(); ++r) {
    std::string value = FieldText(rows.At(r, 1));
    if (value.empty() || value.size() > 4 || value.find_first_not_of("0123456789") != std::string::npos) continue;
    (automation::EqualsNoCase(FieldText(rows.At(r, 0)), "CurrentYear") ? year : period) = std::stoi(value);
  }
  if (year < 1900 || period < 1 || period > 12) return {};
  return Date::FromParts(year, period, 1);
}

// The open bills of one day, of a type and optionally a shop.
std::string DayBills(hostlib::HostDatabase& db, Date day, const std::string& bill_type, int32_t shop) {
  std::vector<Variant> values{Variant(Day(day)), Variant(Day(Date{day.serial + 1})),
                              Variant(static_cast<int32_t>(std::stol(bill_type)))};
  std::string sql = "SELECT FID FROM t_LS_Retail WHERE FDailyBillID=0 AND FDate>=?1 AND FDate<?2 AND FBillType=?3";
  if (shop != 0) {
    values.emplace_back(shop);
    sql += " AND FBranchShop=?4";
  }
  auto rows = db.Query(sql + " ORDER BY FID", values);
  std::string ids;
  for (size_t r = 0; r < rows.RowCount(); ++r) ids += (ids.empty() ? "" : ",") + FieldText(rows.At(r, 0));
  return ids;
}

// Checks the request against the database and settles every value the
// closing takes.  Runs inside the closing's unit, after the selection is
// locked, so what it finds still holds when the closing runs.
ClosingPlan Plan(Session& session, hostlib::HostDatabase& db, const automation::DispatchPtr& data,
                 const ClosingRequest& request) {
  ClosingPlan plan;
  // "all" closes every shop's bills of the day together, as a chain's head office may.
  const bool all_shops = request.shop && automation::EqualsNoCase(*request.shop, "all");
  std::optional<Shop> shop;
  if (request.shop && !all_shops) shop = ResolveShop(session, "shop", *request.shop);
  const Date today{std::floor(Date::Now().serial)};

  // An explicit date is checked first: a day that cannot be closed is said
  // as such, not as a day without bills.
  std::optional<Date> period_start = PeriodStart(db);
  if (request.date) {
    if (request.date->serial > today.serial)
      throw Refusal("date", Day(*request.date) + " is after today " + Day(today))
          .Worded("dateAfterToday", {{"date", Day(*request.date)}, {"today", Day(today)}});
    if (period_start && request.date->serial < period_start->serial)
      throw Refusal("date", Day(*request.date) + " lies before the current period, which starts " + Day(*period_start))
          .Worded("dateBeforePeriod", {{"date", Day(*request.date)}, {"start", Day(*period_start)}});
  }
  plan.ids = request.ids;
  if (plan.ids.empty()) {
    if (!request.date || request.bill_type.empty())
      throw Refusal("bills", "give the bills, or the day and the type of bills to close").Worded("billsOrDay");
    plan.ids = DayBills(db, *request.date, request.bill_type, shop ? shop->id : 0);
    if (plan.ids.empty()) db.CheckSound("t_LS_Retail");  // a damaged table is not a day without bills
    if (plan.ids.empty())
      throw OperationFailed{"没有可日结的零售单",
                            {"no open " + std::string(request.bill_type == "1" ? "sales" : "returns") +
                             " bills on " + Day(*request.date) + (shop ? " at " + shop->name : std::string())}};
  }
  // The selection is the closing's own until its unit ends: a second closing
  // of any of these bills waits here, then finds them closed.
  // Ids compare as numbers: "01601" is bill 1601.
  std::vector<std::string> ids = SplitIds(plan.ids);
  for (std::string& id : ids) id = std::to_string(std::stol(id));
  auto rows = db.Query("SELECT FID, FDailyBillID, FDailyBillNo, FDate, FBranchShop, FBillType, FBillNo FROM "
                       "t_LS_Retail WHERE FID IN (" + plan.ids + ") ORDER BY FID" + db.ForUpdate());
  std::map<std::string, size_t> found;
  for (size_t r = 0; r < rows.RowCount(); ++r) found.emplace(FieldText(rows.At(r, 0)), r);
  std::vector<std::string> unknown, closed, repeated, other_shop;
  std::set<std::string> seen;
  std::set<double> days;
  std::set<int32_t> shops;
  double latest = 0;
  for (const std::string& id : ids) {
    if (!seen.insert(id).second) {
      repeated.push_back(id);
      continue;
    }
    auto it = found.find(id);
    if (it == found.end()) {
      unknown.push_back(id);
      continue;
    }
    size_t r = it->second;
    if (automation::CLng(rows.At(r, 1)) != 0) {
      closed.push_back(id + " (" + FieldText(rows.At(r, 2)) + ")");
      continue;
    }
    const Date stored = automation::CDate(rows.At(r, 3));
    const Date day{std::floor(stored.serial)};
    if (days.empty() || stored.serial < plan.first_day.serial) plan.first_day = stored;
    if (days.empty() || stored.serial > plan.last_day.serial) plan.last_day = stored;
    days.insert(day.serial);
    latest = std::max(latest, day.serial);
    int32_t bill_shop = rows.At(r, 4).IsNull() ? 0 : automation::CLng(rows.At(r, 4));
    shops.insert(bill_shop);
    if (shop && bill_shop != shop->id) other_shop.push_back(id);
  }
  if (!unknown.empty())
    throw Refusal("bills", (unknown.size() == 1 ? "no retail bill " : "no retail bills ") + NameSome(unknown))
        .Worded("noSuchBills", {{"ids", NameSome(unknown)}});
  if (!repeated.empty())
    throw Refusal("bills", "listed more than once: " + NameSome(repeated)).Worded("listedTwice", {{"ids", NameSome(repeated)}});
  if (!closed.empty())
    throw Conflict("bills", "already closed: " + NameSome(closed)).Worded("alreadyClosed", {{"ids", NameSome(closed)}});
  if (!other_shop.empty())
    throw Refusal("shop", "not bills of " + shop->name + ": " + NameSome(other_shop))
        .Worded("otherShopsBills", {{"shop", shop->name}, {"ids", NameSome(other_shop)}});
  plan.bills = ids.size();
  plan.ids.clear();
  for (const std::string& id : ids) plan.ids += (plan.ids.empty() ? "" : ",") + id;
  plan.shops.assign(shops.begin(), shops.end());
  if (request.ids.empty() && !shop && !all_shops && shops.size() > 1) {
    std::vector<std::string> names;
    for (const Shop& known : ListShops(session))
      if (shops.count(known.id)) names.push_back(known.name);
    throw Refusal("shop", "the day's bills are of " + std::to_string(shops.size()) + " shops (" + NameSome(names) +
                              "): give the shop, or all to close them together")
        .Worded("severalShops", {{"n", std::to_string(shops.size())}, {"shops", NameSome(names)}});
  }

  RequireClose(session, plan.shops);

  // The closing date: the bills' business day unless given, never the clock.
  if (request.date) {
    plan.date = *request.date;
  } else if (days.size() == 1) {
    plan.date = Date{*days.begin()};
  } else {
    throw Refusal("date", "the bills span " + std::to_string(days.size()) + " days (" + Day(Date{*days.begin()}) +
                              " to " + Day(Date{*days.rbegin()}) + "): give the closing date")
        .Worded("severalDays", {{"n", std::to_string(days.size())},
                                {"first", Day(Date{*days.begin()})},
                                {"last", Day(Date{*days.rbegin()})}});
  }
  if (plan.date.serial < latest)
    throw Refusal("date", Day(plan.date) + " is before the latest bill's day " + Day(Date{latest}))
        .Worded("dateBeforeBills", {{"date", Day(plan.date)}, {"latest", Day(Date{latest})}});
  if (period_start && plan.date.serial < period_start->serial)
    throw Refusal("date", "the bills' day " + Day(plan.date) + " lies before the current period, which starts " +
                              Day(*period_start))
        .Worded("dateBeforePeriod", {{"date", Day(plan.date)}, {"start", Day(*period_start)}});

  // Customers: given or stored, and customers rather than group headings.
  if (request.client) {
    plan.client = *request.client;
  } else if (auto stored = StoredId(Setting(data, "Client"))) {
    plan.client = *stored;
  } else {
    throw Refusal("client", "no customer given and none stored in the operator's settings").Worded("noClient");
  }
  CheckCustomer(session, "client", plan.client);
  if (request.in_cust && !request.check_bill)
    throw Refusal("inCust", "a receiving customer goes with a check bill, and none was asked for")
        .Worded("inCustWithoutCheckBill");
  if (request.check_bill) {
    if (request.in_cust) {
      plan.in_cust = *request.in_cust;
    } else if (auto stored = StoredId(Setting(data, "InCustID"))) {
      plan.in_cust = *stored;
      plan.in_cust_stored = true;
    } else {
      throw Refusal("inCust", "a check bill needs the receiving customer, and none is stored").Worded("noInCust");
    }
    CheckCustomer(session, "inCust", *plan.in_cust);
  }
  plan.invoice_type = request.invoice_type ? *request.invoice_type : Setting(data, "InvoiceType");
  if (plan.invoice_type.empty()) plan.invoice_type = "2021";
  if (request.tax) {
    plan.tax = *request.tax;
  } else {
    std::string stored = Setting(data, "TaxRate");
    auto value = automation::ParseNumber(stored.empty() ? "17" : stored);
    plan.tax = value && *value >= 0 && *value <= 100 ? *value : 17;
  }
  return plan;
}

// Brings the balance amounts of the plan's bills up to date: UpdateBalAmount
// narrowed to their days and, when they are of one shop, to that shop, so
// that closings of different shops write different lines.
bool UpdateSelectionBalances(const automation::DispatchPtr& data, const std::string& data_source,
                             const ClosingPlan& plan) {
  const int32_t shop = plan.shops.size() == 1 ? plan.shops.front() : 0;
  std::vector<Variant> args{Variant(data_source), Variant(plan.first_day), Variant(plan.last_day), Variant(shop)};
  return automation::CBool(CallMember(data, "UpdateBalAmount", args));
}

std::string FirstValue(hostlib::HostDatabase& db, const std::string& sql, const Variant& parameter) {
  return FieldText(db.Scalar(sql, {parameter}));
}

// The validity check; answers the bills' type, "1" or "2".
std::string CheckValidity(const automation::DispatchPtr& selection, const ClosingPlan& plan,
                          const ClosingRequest& request) {
  std::vector<Variant> valid{Variant(plan.ids), Variant(int32_t{0}), Variant(int32_t{-1}), Variant("")};
  if (!automation::CBool(CallMember(selection, "IsValidBill", valid)))
    throw OperationFailed{valid[3].string().empty() ? "所选零售单不能日结" : valid[3].string(), {}};
  std::string bill_type = automation::CLng(valid[1]) == 1 ? "1" : "2";
  if (!request.bill_type.empty() && request.bill_type != bill_type) {
    if (bill_type == "1") throw Refusal("type", "the bills are sales").Worded("billsAreSales");
    throw Refusal("type", "the bills are returns").Worded("billsAreReturns");
  }
  return bill_type;
}

ObstaclePlan ObstaclesOf(const ClosingPlan& plan, int settlement_records) {
  return ObstaclePlan{plan.ids, plan.bill_type, plan.invoice_type, plan.tax, settlement_records};
}

ClosingResult RunClosingOnce(Session& session, const ClosingRequest& request, int32_t signed_off_by,
                             automation::DispatchPtr events, host::HostUnitOfWork& unit) {
  const std::string& db = session.db();
  auto data = session.Create("clsData");
  auto selection = session.Create("clsXSBalData");
  hostlib::HostDatabase host_db(db);
  ClosingPlan plan = Plan(session, host_db, data, request);

  // Bills whose balance amounts could not be brought up to date would close with wrong amounts.
  if (!UpdateSelectionBalances(data, db, plan))
    throw OperationFailed{"the balance amounts of the retail bills cannot be updated", {}};
  plan.bill_type = CheckValidity(selection, plan, request);

  std::vector<Variant> store{Variant(db), Variant(plan.ids), Variant(""), Variant(plan.bill_type)};
  // The stock check names short items; the host adds what else stands in the way.
  if (!automation::CBool(CallMember(data, "CheckStore", store)))
    throw OperationFailed{store[2].string(), FindClosingObstacles(host_db, ObstaclesOf(plan, -1))};

  // A list that cannot be read (null) is a failure, not "none": the closing
  // must not fall back to another account because a read failed.
  std::string account = "0";
  if (request.acct) {
    std::vector<Variant> args{Variant(db), Variant(*request.acct)};
    account = CStr(CallMember(data, "SetSettleAmountID", args));
    if (account.empty())
      throw Refusal("acct", "no settlement account named " + *request.acct).Worded("noAccount", {{"name", *request.acct}});
  } else {
    std::vector<Variant> args{Variant(db)};
    auto accounts = foundation::AsVector(CallMember(data, "GetSettleAcctData", args));
    if (!accounts) throw OperationFailed{"the settlement accounts cannot be read", {}};
    if (accounts->UpperBound() > 0) account = CStr(accounts->Record(1)->Value("FItemID"));
  }
  std::vector<Variant> amounts_args{Variant(db), Variant(plan.ids)};
  auto amounts = foundation::AsVector(CallMember(data, "SetSettleAmount", amounts_args));
  if (!amounts) throw OperationFailed{"the settlement amounts of the retail bills cannot be read", {}};
  // The settlement records the closing books, and the sums a count is settled against.
  auto vec = foundation::Vector::Create();
  std::vector<ExpectedAmount> expected;
  for (int32_t p = 1; p <= amounts->UpperBound(); ++p) {
    auto method = amounts->Record(p);
    auto record = foundation::Dictionary::Create();
    record->SetValue("FSettleItemID", method->Value("FItemID"));
    record->SetValue("FSettleAmount", method->Value("FSettleAmount"));
    record->SetValue("FSettleAcctItemID", Variant(account));
    vec->Add(Variant(record));
    expected.push_back(ExpectedAmount{FieldLong(method->Value("FItemID")), FieldText(method->Value("FName")),
                                      FieldNumber(method->Value("FSettleAmount"))});
  }

  // The count is settled before anything is written.
  std::optional<CashCount> count =
      SettleCount(session, request.count ? &*request.count : nullptr, expected, signed_off_by);

  // The closing names only its failed stage; what the host can see in the
  // data that made it fail is looked up when it fails (below).  Looked up
  // first, it scanned a day's lines three times for every closing, as long as
  // the closing's own aggregation, and the unit leaves nothing written either
  // way.  Bills paid with none of the methods the stock bill takes its amounts
  // from are refused here: that is the host's rule, not one of the closing's stages.
  const ObstaclePlan obstacles = ObstaclesOf(plan, amounts->UpperBound());
  if (obstacles.settlement_records == 0)
    throw OperationFailed{"the closing would fail; nothing was written", FindClosingObstacles(host_db, obstacles)};

  std::vector<Variant> args{Variant(events),     Variant(db),          Variant(plan.bill_type),
                            Variant(plan.ids),   Variant(plan.date),   Variant(plan.invoice_type),
                            Variant(std::to_string(plan.client)),      Variant(plan.date),
                            Variant(plan.tax),   Variant(vec),         Variant(""),
                            Variant(""),         Variant(plan.in_cust.has_value()),
                            Variant(plan.in_cust.value_or(0)),         Variant(request.dept.value_or(0))};
  bool closed = automation::CBool(CallMember(data, "ProcessDailyBalance", args));
  std::string message = args[10].string();
  if (!closed || unit.last_vote() != host::Vote::Complete) {
    // The closing removed what it wrote; look again for what the host can name.
    std::vector<std::string> causes;
    try {
      causes = FindClosingObstacles(host_db, obstacles);
    } catch (const automation::AutomationError& e) {
      causes.push_back("the causes cannot be looked up: " + e.description());
    }
    throw OperationFailed{message.empty() ? "日结失败" : message, causes};
  }

  // What the closing produced is read inside the unit: once it has
  // committed, nothing can fail any more and turn a closing that stands into
  // a reported failure.
  ClosingResult result;
  std::string first_id = plan.ids.substr(0, plan.ids.find(','));
  std::string daily_id = FirstValue(host_db, "SELECT FDailyBillID FROM t_LS_Retail WHERE FID=?1", Variant(first_id));
  result.message = message;
  result.daily_bill_id = automation::CLng(Variant(daily_id));
  result.daily_bill_no = FirstValue(host_db, "SELECT FBillNo FROM t_LS_DailyBill WHERE FID=?1", Variant(daily_id));
  std::string stock_id = FirstValue(
      host_db, "SELECT FID FROM t_CC_StockBillEntry WHERE FClassID_SRC=1090001 AND FID_SRC=?1", Variant(daily_id));
  result.stock_bill_no = FirstValue(host_db, "SELECT FBillNo FROM t_cc_stockbill WHERE FID=?1", Variant(stock_id));
  std::string check_no = FirstValue(host_db,
                                    "SELECT c.FBillNo FROM t_rp_Checkbill c JOIN t_rp_Checkbillentry1 e ON "
                                    "e.FID=c.FID WHERE e.FSourceClassTypeID=1030002 AND e.FSourceBillID=?1",
                                    Variant(stock_id));
  if (!check_no.empty()) result.check_bill_no = check_no;
  if (count) StoreCount(host_db, result.daily_bill_id, *count);
  Audit(session, AuditEntry{"close", "done", plan.shops, plan.ids, result.daily_bill_id, result.daily_bill_no,
                            count ? message + "; " + DescribeCount(*count) : message});
  result.count = std::move(count);
  result.plan = std::move(plan);
  unit.Commit();
  return result;
}
}  // namespace

// One unit of work.  On a server it reads the latest committed rows and
// waits for rows a closing beside it writes (the same stock, say) instead of
// failing on them; it locks what its checks rely on (the selection, the stock
// the audit checks).  It is run again after a deadlock or a clash of
// daily-bill numbers.
// A refused or failed closing is recorded apart, once its unit has rolled back.
ClosingResult RunClosing(Session& session, const ClosingRequest& request, automation::DispatchPtr events) {
  ClosingResult result;
  auto record = [&](const char* outcome, const std::string& message) {
    AuditApart(session, AuditEntry{"close", outcome, {}, request.ids, 0, "", message});
  };
  data::ClearDatabaseFault();
  try {
    const int32_t signed_off_by =
        request.count && request.count->sign_off ? VerifySignOff(session, *request.count->sign_off) : 0;
    host::RunUnitOfWork(
        [&](host::HostUnitOfWork& unit) {
          result = RunClosingOnce(session, request, signed_off_by, events, unit);
          return true;
        },
        4, host::HostUnitOfWork::Access::kReadWriteLocking);
  } catch (const Refusal& e) {
    record("refused", e.message);
    throw;
  } catch (const OperationFailed& e) {
    OperationFailed failed = WithDatabaseCause(e);
    std::string message = failed.message;
    for (const std::string& cause : failed.causes) message += "; " + cause;
    record("failed", message);
    throw failed;
  } catch (const automation::AutomationError& e) {
    if (data::IsCommitInDoubt(e)) {
      OutcomeUnknown unknown = InDoubt(e);
      record("unknown", unknown.causes.front());
      throw unknown;
    }
    std::string cause = DatabaseCause();
    record("failed", e.description() + (cause.empty() ? "" : "; " + cause));
    RethrowWithDatabaseCause(e);
  }
  return result;
}

ClosingPlan PlanClosing(Session& session, const ClosingRequest& request) {
  try {
    // Never committed; run again when it meets a concurrent closing of the
    // same bills, so that it answers that they are closed, not the conflict.
    ClosingPlan plan;
    host::RunUnitOfWork([&](host::HostUnitOfWork&) {
      hostlib::HostDatabase db(session.db());
      plan = Plan(session, db, session.Create("clsData"), request);
      return true;
    });
    return plan;
  } catch (const Refusal& e) {
    AuditApart(session, AuditEntry{"close", "refused", {}, request.ids, 0, "", e.message});
    throw;
  }
}

namespace {
// The checks, in the unit open on the thread.
ClosingCheck CheckInUnit(Session& session, const ClosingRequest& request) {
  auto data = session.Create("clsData");
  auto selection = session.Create("clsXSBalData");
  const std::string& db_text = session.db();
  hostlib::HostDatabase db(db_text);
  ClosingPlan plan = Plan(session, db, data, request);
  // The closing brings the balance amounts up to date first; so does the
  // check, inside its unit that is never committed, so it sees what the
  // closing will see.
  UpdateSelectionBalances(data, db_text, plan);
  ClosingCheck check;
  std::vector<Variant> valid{Variant(plan.ids), Variant(int32_t{0}), Variant(int32_t{-1}), Variant("")};
  check.valid = automation::CBool(CallMember(selection, "IsValidBill", valid));
  check.valid_message = valid[3].string();
  plan.bill_type = automation::CLng(valid[1]) == 2 ? "2" : "1";
  check.bill_type = plan.bill_type == "2" ? "returns" : "sales";
  std::vector<Variant> store{Variant(db_text), Variant(plan.ids), Variant(""), Variant(plan.bill_type)};
  check.stock = automation::CBool(CallMember(data, "CheckStore", store));
  check.stock_message = store[2].string();
  std::vector<Variant> tracked{Variant(db_text), Variant(plan.ids)};
  check.tracked = automation::CBool(CallMember(data, "JudgeData", tracked));
  std::vector<Variant> amounts{Variant(db_text), Variant(plan.ids)};
  auto methods = foundation::AsVector(CallMember(data, "SetSettleAmount", amounts));
  check.causes = FindClosingObstacles(db, ObstaclesOf(plan, methods ? methods->UpperBound() : -1));
  return check;
}
}  // namespace

ClosingCheck CheckClosing(Session& session, const ClosingRequest& request) {
  // UpdateBalAmount writes, in a unit never committed, run again as the plan's is.
  ClosingCheck check;
  host::RunUnitOfWork([&](host::HostUnitOfWork&) {
    check = CheckInUnit(session, request);
    return true;
  });
  return check;
}

}  // namespace tovan::backoffice
