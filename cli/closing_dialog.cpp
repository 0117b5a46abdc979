#include "cli/closing_dialog.h"

#include <algorithm>
#include <cmath>

#include "cli/arguments.h"
#include "cli/closing_obstacles.h"
#include "host/host_database.h"
#include "platform/automation/error.h"
#include "platform/foundation/vector.h"
#include "platform/host/data_context.h"

namespace tovan::cli {

using automation::CStr;
using automation::Variant;

namespace {
// The user's stored dialog setting, or `fallback`.
std::string Setting(const automation::DispatchPtr& data, const char* key, const std::string& fallback) {
  std::vector<Variant> args{Variant("POSDailyBalance"), Variant(key)};
  std::string value = CStr(CallMember(data, "GetSettleInfo", args));
  return value.empty() ? fallback : value;
}

// The host's own reads go beside the component's statements, not through
// them, so the statement trace shows what the component sent.
std::string FirstValue(hostlib::HostDatabase& db, const std::string& sql, const Variant& parameter) {
  Variant value = db.Scalar(sql, {parameter});
  return value.IsEmpty() || value.IsNull() ? std::string() : CStr(value);
}

// A tax rate is a percentage.
constexpr double kMaxTaxRate = 100;
}  // namespace

bool UpdateSelectionBalances(const automation::DispatchPtr& data, hostlib::HostDatabase& db,
                             const std::string& data_source, const std::string& ids) {
  // `ids` is a checked list of numbers, so it can stand in the text.
  auto rows = db.Query("SELECT min(FDate), max(FDate), min(FBranchShop), max(FBranchShop) FROM t_LS_Retail "
                       "WHERE FDailyBillID=0 AND FID IN (" + ids + ")");
  if (rows.RowCount() == 0 || rows.At(0, 0).IsNull() || rows.At(0, 1).IsNull()) return true;
  const Variant first_shop = rows.At(0, 2), last_shop = rows.At(0, 3);
  const bool one_shop = !first_shop.IsNull() && automation::IsEqual(first_shop, last_shop);
  std::vector<Variant> args{Variant(data_source), Variant(automation::CDate(rows.At(0, 0))),
                            Variant(automation::CDate(rows.At(0, 1))),
                            Variant(one_shop ? automation::CLng(first_shop) : int32_t{0})};
  return automation::CBool(CallMember(data, "UpdateBalAmount", args));
}

namespace {
ClosingReport RunClosingOnce(const HostSession& session, const ClosingInput& input, automation::DispatchPtr events,
                             host::HostUnitOfWork& unit) {
  const std::string& db = session.db();
  std::string ids = input.ids;
  auto data = session.Create("clsData");
  auto selection = session.Create("clsXSBalData");
  hostlib::HostDatabase host_db(db);
  auto known_customer = [&](const std::string& option, const std::string& id) {
    if (FirstValue(host_db, "SELECT FItemID FROM t_Item WHERE FItemClassID=4 AND FItemID=?1", Variant(id)).empty())
      throw BadInput{option + ": no customer " + id};
  };
  std::string client = input.client ? *input.client : Setting(data, "Client", "");
  if (client.empty()) throw BadInput{"--client is required (no stored setting)"};
  IdArgument("--client", client);
  known_customer("--client", client);
  std::string in_cust = input.in_cust ? *input.in_cust : Setting(data, "InCustID", "0");
  if (input.check_bill) {
    IdArgument("--in-cust", in_cust);
    known_customer("--in-cust", in_cust);
  }
  std::string invoice_type = input.invoice_type ? *input.invoice_type : Setting(data, "InvoiceType", "2021");
  double tax = NumberArgument("--tax", input.tax ? *input.tax : Setting(data, "TaxRate", "17"), 0, kMaxTaxRate);

  if (ids.empty()) {
    std::vector<Variant> args{Variant(db), Variant("FDate='" + automation::DateToText(input.date) +
                                                   "' And FBillType=" + input.bill_type_filter)};
    ids = CStr(CallMember(data, "GetIDData", args));
    if (ids.empty()) throw ClosingRefusal{"没有可日结的零售单", {}};
  }
  // The selection is the closing's own until its unit ends: a second closing
  // of any of these bills waits here, then finds them closed in its checks.
  if (*host_db.ForUpdate() != '\0')
    host_db.Query("SELECT FID FROM t_LS_Retail WHERE FID IN (" + ids + ") ORDER BY FID" + host_db.ForUpdate());
  // Bills whose balance amounts could not be brought up to date would close
  // with wrong amounts.
  if (!UpdateSelectionBalances(data, host_db, db, ids))
    throw ClosingRefusal{"the balance amounts of the retail bills cannot be updated", {}};

  std::vector<Variant> valid{Variant(ids), Variant(int32_t{0}), Variant(int32_t{-1}), Variant("")};
  if (!automation::CBool(CallMember(selection, "IsValidBill", valid)))
    throw ClosingRefusal{valid[3].string().empty() ? "所选零售单不能日结" : valid[3].string(), {}};
  std::string bill_type = automation::CLng(valid[1]) == 1 ? "1" : "2";
  if (!input.bill_type_filter.empty() && input.bill_type_filter != bill_type)
    throw BadInput{"--type does not match the bills' type"};

  std::vector<Variant> store{Variant(db), Variant(ids), Variant(""), Variant(bill_type)};
  ClosingPlan plan{ids, bill_type, invoice_type, tax, client, input.check_bill, in_cust, -1};
  // The stock check names short items; the host adds what else stands in the way.
  if (!automation::CBool(CallMember(data, "CheckStore", store)))
    throw ClosingRefusal{store[2].string(), FindClosingObstacles(host_db, plan)};

  // A list that cannot be read (null) is a failure, not "none": the closing
  // must not fall back to another account because a read failed.
  std::string account = "0";
  if (input.acct) {
    std::vector<Variant> args{Variant(db), Variant(*input.acct)};
    account = CStr(CallMember(data, "SetSettleAmountID", args));
    if (account.empty()) throw BadInput{"--acct: no settlement account named " + *input.acct};
  } else {
    std::vector<Variant> args{Variant(db)};
    auto accounts = foundation::AsVector(CallMember(data, "GetSettleAcctData", args));
    if (!accounts) throw ClosingRefusal{"the settlement accounts cannot be read", {}};
    if (accounts->UpperBound() > 0) account = CStr(accounts->Record(1)->Value("FItemID"));
  }
  std::vector<Variant> amounts_args{Variant(db), Variant(ids)};
  auto amounts = foundation::AsVector(CallMember(data, "SetSettleAmount", amounts_args));
  if (!amounts) throw ClosingRefusal{"the settlement amounts of the retail bills cannot be read", {}};
  auto vec = foundation::Vector::Create();
  for (int32_t p = 1; p <= amounts->UpperBound(); ++p) {
    auto method = amounts->Record(p);
    auto record = foundation::Dictionary::Create();
    record->SetValue("FSettleItemID", method->Value("FItemID"));
    record->SetValue("FSettleAmount", method->Value("FSettleAmount"));
    record->SetValue("FSettleAcctItemID", Variant(account));
    vec->Add(Variant(record));
  }

  // The closing names only its failed stage; what the host can see in the
  // data that would make it fail is said before anything is written.
  plan.settlement_records = amounts->UpperBound();
  if (auto causes = FindClosingObstacles(host_db, plan); !causes.empty())
    throw ClosingRefusal{"the closing would fail; nothing was written", causes};

  std::vector<Variant> args{Variant(events),     Variant(db),           Variant(bill_type), Variant(ids),
                            Variant(input.date), Variant(invoice_type), Variant(client),    Variant(input.date),
                            Variant(tax),        Variant(vec),          Variant(""),        Variant(""),
                            Variant(input.check_bill), Variant(automation::CLng(Variant(in_cust))),
                            Variant(input.dept ? automation::CLng(Variant(*input.dept)) : int32_t{0})};
  bool closed = automation::CBool(CallMember(data, "ProcessDailyBalance", args));
  std::string message = args[10].string();
  if (!closed || unit.last_vote() != host::Vote::Complete) {
    // The closing removed what it wrote; look again for what the host can name.
    std::vector<std::string> causes;
    try {
      causes = FindClosingObstacles(host_db, plan);
    } catch (const automation::AutomationError& e) {
      causes.push_back("the causes cannot be looked up: " + e.description());
    }
    throw ClosingRefusal{message.empty() ? "日结失败" : message, causes};
  }

  // The report is read inside the unit: once it has committed, nothing can
  // fail any more and turn a closing that stands into a reported failure.
  ClosingReport report;
  std::string first_id = ids.substr(0, ids.find(','));
  std::string daily_id = FirstValue(host_db, "SELECT FDailyBillID FROM t_LS_Retail WHERE FID=?1", Variant(first_id));
  report.message = message;
  report.daily_bill_id = automation::CLng(Variant(daily_id));
  report.daily_bill_no = FirstValue(host_db, "SELECT FBillNo FROM t_LS_DailyBill WHERE FID=?1", Variant(daily_id));
  std::string stock_id = FirstValue(
      host_db, "SELECT FID FROM t_CC_StockBillEntry WHERE FClassID_SRC=1090001 AND FID_SRC=?1", Variant(daily_id));
  report.stock_bill_no = FirstValue(host_db, "SELECT FBillNo FROM t_cc_stockbill WHERE FID=?1", Variant(stock_id));
  std::string check_no = FirstValue(host_db,
                                    "SELECT c.FBillNo FROM t_rp_Checkbill c JOIN t_rp_Checkbillentry1 e ON "
                                    "e.FID=c.FID WHERE e.FSourceClassTypeID=1030002 AND e.FSourceBillID=?1",
                                    Variant(stock_id));
  if (!check_no.empty()) report.check_bill_no = check_no;
  report.retail_bills = static_cast<int>(std::count(ids.begin(), ids.end(), ',') + 1);
  unit.Commit();
  return report;
}
}  // namespace

// One unit of work.  On a server it reads the latest committed rows and
// waits for rows a closing beside it writes (the same stock, say) instead of
// failing on them; it locks what its checks rely on (the selection, the stock
// the audit checks).  It is run again after a deadlock or a clash of
// daily-bill numbers.
ClosingReport RunClosing(const HostSession& session, const ClosingInput& input, automation::DispatchPtr events) {
  ClosingReport report;
  host::RunUnitOfWork(
      [&](host::HostUnitOfWork& unit) {
        report = RunClosingOnce(session, input, events, unit);
        return true;
      },
      4, host::HostUnitOfWork::Access::kReadWriteLocking);
  return report;
}

}  // namespace tovan::cli
