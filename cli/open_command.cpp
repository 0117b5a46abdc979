#include <fmt/format.h>
#include <iostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/json_values.h"
#include "closing/eligibility_checks.h"
#include "host/host_process.h"
#include "platform/automation/error.h"
#include "platform/data/open.h"
#include "platform/data/recordset.h"
#include "platform/host/data_context.h"
#include "platform/host/global_context.h"

namespace tovan::cli {

using automation::Variant;

namespace {
// Whole days only: the filter's bounds are days.
automation::Date DateOption(const std::string& name, const std::optional<std::string>& text,
                            automation::Date unlimited) {
  return text ? DateArgument(name, *text) : unlimited;
}

const char* BillTypeName(const Variant& type) {
  if (automation::IsEqual(type, Variant(int32_t{1}))) return "sales";
  if (automation::IsEqual(type, Variant(int32_t{2}))) return "returns";
  return "other";
}

std::string Text(const Variant& value) { return value.IsNull() ? std::string() : automation::CStr(value); }
}  // namespace

int RunOpen(const OpenBillsOptions& options) {
  std::string filter;
  try {
    ExistingDatabase(options.db);
    automation::Date from = DateOption("--from", options.from, automation::Date::FromParts(1900, 1, 2));
    automation::Date to = DateOption("--to", options.to, automation::Date::FromParts(9999, 12, 30));
    if (from.serial > to.serial) throw BadInput{"--from " + *options.from + " is after --to " + *options.to};
    // The closing dialog's own filter, so the list shows what CheckBalData finds.
    filter = closing::OpenBillFilter("", from, to, options.type ? BillTypeArgument("--type", *options.type) : "",
                                     options.shop ? IdArgument("--shop", *options.shop) : 0);
  } catch (const BadInput& e) {
    PrintError(e.message);
    return kExitBadInput;
  }

  hostlib::HostProcessOptions host;
  host.data_source = options.db;
  hostlib::StartHostProcess(host);
  Json bills = Json::array();
  try {
    // A listing: a read-only unit, which never waits for a closing.
    host::CallScope scope(host::CallScope::Access::kReadOnly);
    auto context = host::GlobalContext::ForThread().GetDataContext();
    context->OpenDsn(options.db);
    auto rs = context->GetConnection()->Execute(
        "Select a.FID,a.FBillNo,a.FDate,a.FBillType,a.FBranchShop,b.FName as FShopName,a.FTotalAmount "
        "from t_LS_Retail a left Join t_ls_BranchShop b on a.FBranchshop=b.FItemID where a.FDailyBillID=0 " +
        filter + " Order by a.FDate,a.FID");
    for (; !rs->EOF_(); rs->MoveNext()) {
      const Variant& date = rs->Value("FDate");
      bills.push_back(Json{{"id", automation::CLng(rs->Value("FID"))},
                           {"billNo", Text(rs->Value("FBillNo"))},
                           {"date", date.IsNull() ? Json(nullptr) : Json(automation::CStr(date))},
                           {"type", BillTypeName(rs->Value("FBillType"))},
                           {"shop", automation::CLng(foundation::NullToDefault(rs->Value("FBranchShop"), Variant(0)))},
                           {"shopName", Text(rs->Value("FShopName"))},
                           {"amount", automation::CDbl(foundation::NullToDefault(rs->Value("FTotalAmount"), Variant(0)))}});
    }
  } catch (const automation::AutomationError& e) {
    PrintError(e.description());
    return kExitFailed;
  }

  if (options.json) {
    std::cout << ToText(Json{{"count", bills.size()}, {"bills", bills}}) << "\n";
    return kExitOk;
  }
  if (bills.empty()) {
    std::cout << "No open retail bills.\n";
    return kExitOk;
  }
  std::cout << fmt::format("{:>8}  {:<20} {:<10} {:<7} {:>4}  {:>12}\n", "ID", "Bill", "Date", "Type", "Shop", "Amount");
  for (const Json& b : bills) {
    std::cout << fmt::format("{:>8}  {:<20} {:<10} {:<7} {:>4}  {:>12.2f}\n", b["id"].get<int32_t>(),
                             b["billNo"].get<std::string>(), b["date"].is_null() ? "" : b["date"].get<std::string>(),
                             b["type"].get<std::string>(), b["shop"].get<int32_t>(), b["amount"].get<double>());
  }
  std::cout << bills.size() << (bills.size() == 1 ? " open retail bill\n" : " open retail bills\n");
  return kExitOk;
}

}  // namespace tovan::cli
