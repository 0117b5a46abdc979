// `dailybalance close`: what the host's closing dialog does, in one host
// unit of work, so that two closings of the same bills cannot both pass the
// selection checks: balance amounts, selection validity, stock check,
// settlement records, the closing; committed only when the closing answered
// True and its last vote was SetComplete.
#include <algorithm>
#include <cmath>
#include <iostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/host_session.h"
#include "cli/json_values.h"
#include "host/host_database.h"
#include "platform/automation/error.h"
#include "platform/data/recordset.h"
#include "platform/foundation/vector.h"
#include "platform/host/data_context.h"
#include "platform/host/global_context.h"

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

struct Refusal {
  std::string message;
};

// A tax rate is a percentage.
constexpr double kMaxTaxRate = 100;
}  // namespace

int RunClose(const CloseOptions& options) {
  std::unique_ptr<HostSession> session;
  std::string ids, bill_type_filter;
  automation::Date date = automation::Date{std::floor(automation::Date::Now().serial)};
  try {
    // --bills names the bills (with --date as the closing date); without it,
    // --date and --type select the day's open bills.
    if (options.bills.empty() && (options.date.empty() || options.type.empty()))
      throw BadInput{"give --bills ID,ID,... or --date D --type sales|returns"};
    if (!options.bills.empty()) ids = IdListArgument("--bills", options.bills);
    if (!options.date.empty()) date = DateArgument("--date", options.date);
    if (!options.type.empty()) bill_type_filter = BillTypeArgument("--type", options.type);
    if (options.client) IdArgument("--client", *options.client);
    if (options.in_cust) IdArgument("--in-cust", *options.in_cust);
    if (options.invoice_type) IdArgument("--invoice-type", *options.invoice_type);
    if (options.tax) NumberArgument("--tax", *options.tax, 0, kMaxTaxRate);
    if (options.acct) NameArgument("--acct", *options.acct);
    if (options.dept) IdArgument("--dept", *options.dept);
    session = std::make_unique<HostSession>(HostSessionOptions{options.db, static_cast<int16_t>(options.user_id), options.app_type});
  } catch (const BadInput& e) {
    PrintError(e.message);
    return kExitBadInput;
  } catch (const automation::AutomationError& e) {
    PrintError(e.description());
    return kExitFailed;
  }

  Json out = Json::object();
  try {
    host::HostUnitOfWork unit;
    auto data = session->Create("clsData");
    auto selection = session->Create("clsXSBalData");
    hostlib::HostDatabase host_db(options.db);
    auto known_customer = [&](const std::string& option, const std::string& id) {
      if (FirstValue(host_db, "SELECT FItemID FROM t_Item WHERE FItemClassID=4 AND FItemID=?1", Variant(id)).empty())
        throw BadInput{option + ": no customer " + id};
    };
    std::string client = options.client ? *options.client : Setting(data, "Client", "");
    if (client.empty()) throw BadInput{"--client is required (no stored setting)"};
    IdArgument("--client", client);
    known_customer("--client", client);
    bool check_bill = options.check_bill;
    std::string in_cust = options.in_cust ? *options.in_cust : Setting(data, "InCustID", "0");
    if (check_bill) {
      IdArgument("--in-cust", in_cust);
      known_customer("--in-cust", in_cust);
    }
    std::string invoice_type = options.invoice_type ? *options.invoice_type : Setting(data, "InvoiceType", "2021");
    double tax = NumberArgument("--tax", options.tax ? *options.tax : Setting(data, "TaxRate", "17"), 0, kMaxTaxRate);

    std::vector<Variant> balance{Variant(options.db)};
    // Bills whose balance amounts could not be brought up to date would close with wrong amounts.
    if (!automation::CBool(CallMember(data, "UpdateBalAmount", balance)))
      throw Refusal{"the balance amounts of the retail bills cannot be updated"};
    if (ids.empty()) {
      std::vector<Variant> args{Variant(options.db), Variant("FDate='" + automation::DateToText(date) +
                                                             "' And FBillType=" + bill_type_filter)};
      ids = CStr(CallMember(data, "GetIDData", args));
      if (ids.empty()) throw Refusal{"没有可日结的零售单"};
    }

    std::vector<Variant> valid{Variant(ids), Variant(int32_t{0}), Variant(int32_t{-1}), Variant("")};
    if (!automation::CBool(CallMember(selection, "IsValidBill", valid)))
      throw Refusal{valid[3].string().empty() ? "所选零售单不能日结" : valid[3].string()};
    std::string bill_type = automation::CLng(valid[1]) == 1 ? "1" : "2";
    if (!bill_type_filter.empty() && bill_type_filter != bill_type)
      throw BadInput{"--type " + options.type + " does not match the bills' type"};

    std::vector<Variant> store{Variant(options.db), Variant(ids), Variant(""), Variant(bill_type)};
    if (!automation::CBool(CallMember(data, "CheckStore", store))) throw Refusal{store[2].string()};

    // A list that cannot be read (null) is a failure, not "none": the closing
    // must not fall back to another account because a read failed.
    std::string account = "0";
    if (options.acct) {
      std::vector<Variant> args{Variant(options.db), Variant(*options.acct)};
      account = CStr(CallMember(data, "SetSettleAmountID", args));
      if (account.empty()) throw BadInput{"--acct: no settlement account named " + *options.acct};
    } else {
      std::vector<Variant> args{Variant(options.db)};
      auto accounts = foundation::AsVector(CallMember(data, "GetSettleAcctData", args));
      if (!accounts) throw Refusal{"the settlement accounts cannot be read"};
      if (accounts->UpperBound() > 0) account = CStr(accounts->Record(1)->Value("FItemID"));
    }
    std::vector<Variant> amounts_args{Variant(options.db), Variant(ids)};
    auto amounts = foundation::AsVector(CallMember(data, "SetSettleAmount", amounts_args));
    if (!amounts) throw Refusal{"the settlement amounts of the retail bills cannot be read"};
    auto vec = foundation::Vector::Create();
    for (int32_t p = 1; p <= amounts->UpperBound(); ++p) {
      auto method = amounts->Record(p);
      auto record = foundation::Dictionary::Create();
      record->SetValue("FSettleItemID", method->Value("FItemID"));
      record->SetValue("FSettleAmount", method->Value("FSettleAmount"));
      record->SetValue("FSettleAcctItemID", Variant(account));
      vec->Add(Variant(record));
    }

    automation::DispatchPtr events = options.events ? options.events : session->ProgressDisplay(options.json);
    std::vector<Variant> args{Variant(events),      Variant(options.db), Variant(bill_type),   Variant(ids),
                              Variant(date),        Variant(invoice_type), Variant(client),    Variant(date),
                              Variant(tax),         Variant(vec),        Variant(""),          Variant(""),
                              Variant(check_bill),  Variant(automation::CLng(Variant(in_cust))),
                              Variant(options.dept ? automation::CLng(Variant(*options.dept)) : int32_t{0})};
    bool closed = automation::CBool(CallMember(data, "ProcessDailyBalance", args));
    std::string message = args[10].string();
    if (!closed || unit.last_vote() != host::Vote::Complete) throw Refusal{message};

    // The report is read inside the unit: once it has committed, nothing can
    // fail any more and turn a closing that stands into a reported failure.
    std::string first_id = ids.substr(0, ids.find(','));
    std::string daily_id = FirstValue(host_db, "SELECT FDailyBillID FROM t_LS_Retail WHERE FID=?1", Variant(first_id));
    out["message"] = message;
    out["dailyBillId"] = automation::CLng(Variant(daily_id));
    out["dailyBillNo"] = FirstValue(host_db, "SELECT FBillNo FROM t_LS_DailyBill WHERE FID=?1", Variant(daily_id));
    std::string stock_id = FirstValue(
        host_db, "SELECT FID FROM t_CC_StockBillEntry WHERE FClassID_SRC=1090001 AND FID_SRC=?1", Variant(daily_id));
    out["stockBillNo"] = FirstValue(host_db, "SELECT FBillNo FROM t_cc_stockbill WHERE FID=?1", Variant(stock_id));
    std::string check_no = FirstValue(host_db,
                                      "SELECT c.FBillNo FROM t_rp_Checkbill c JOIN t_rp_Checkbillentry1 e ON "
                                      "e.FID=c.FID WHERE e.FSourceClassTypeID=1030002 AND e.FSourceBillID=?1",
                                      Variant(stock_id));
    out["checkBillNo"] = check_no.empty() ? Json(nullptr) : Json(check_no);
    out["retailBills"] = static_cast<int>(std::count(ids.begin(), ids.end(), ',') + 1);
    unit.Commit();
  } catch (const BadInput& e) {
    PrintError(e.message);
    return kExitBadInput;
  } catch (const Refusal& e) {
    if (options.json) {
      std::cout << ToText(Json{{"result", false}, {"message", e.message}}) << "\n";
    } else {
      std::cout << e.message << "\n";
    }
    return kExitFailed;
  } catch (const automation::AutomationError& e) {
    PrintError(e.source() + ": " + e.description());
    return kExitFailed;
  }
  if (options.json) {
    out["result"] = true;
    std::cout << ToText(out) << "\n";
  } else {
    std::cout << CStr(Variant(out["message"].get<std::string>())) << "\n"
              << "daily bill  " << out["dailyBillNo"].get<std::string>() << " (" << out["retailBills"].get<int>()
              << " retail bills)\n"
              << "stock bill  " << out["stockBillNo"].get<std::string>() << "\n";
    if (!out["checkBillNo"].is_null()) std::cout << "check bill  " << out["checkBillNo"].get<std::string>() << "\n";
  }
  return kExitOk;
}

}  // namespace tovan::cli
