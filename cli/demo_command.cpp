// `dailybalance demo`: the main job end to end on a fresh demo database:
// build it, close one day's sales with a check bill, show what was written,
// cancel the closing again.
#include <cmath>
#include <filesystem>
#include <iostream>

#include "cli/commands.h"
#include "cli/json_values.h"
#include "platform/automation/variant.h"
#include "platform/data/open.h"
#include "platform/data/recordset.h"

namespace tovan::cli {

namespace {
void Heading(const std::string& text) { std::cout << "\n== " << text << "\n"; }

void Summary(const std::string& db) {
  auto connection = data::OpenConnection(db);
  auto show = [&](const char* label, const std::string& sql) {
    auto rs = connection->Execute(sql);
    std::cout << "  " << label << ": " << (rs->EOF_() || rs->Value(0).IsNull() ? "-" : automation::CStr(rs->Value(0)))
              << "\n";
  };
  show("open retail bills", "select count(*) from t_LS_Retail where FDailyBillID=0");
  show("daily bills", "select count(*) from t_LS_DailyBill");
  show("stock bills (audited)", "select count(*) from t_cc_stockbill where FStatus=1");
  show("stock bill entries", "select count(*) from t_CC_StockBillEntry");
  show("stock bill total", "select sum(FAllAmount) from t_cc_stockbill");
  show("check bills (written off)", "select count(*) from t_rp_Checkbill where FStatus=1");
  show("stock on hand", "select round(sum(FQty), 4) from t_CC_Inventory");
  show("search-index rows", "select count(*) from t_searchinfo_temp");
}
}  // namespace

int RunDemo(const DemoOptions& options) {
  std::error_code ec;
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(options.db + suffix, ec);
  auto today = automation::Date::Now().ToParts();
  char day[16];
  std::snprintf(day, sizeof day, "%04d-%02d-%02d", today.year, today.month, today.day);

  Heading("A demo database with 300 retail bills over three days up to " + std::string(day));
  InitOptions init;
  init.db = options.db;
  init.bills = 300;
  init.lines = 8;
  init.days = 3;
  init.last_day = day;
  if (int rc = RunInit(init); rc != kExitOk) return rc;
  Summary(options.db);

  Heading("Close today's retail sales of shop 001, with a check bill to customer 305");
  CloseOptions close;
  close.db = options.db;
  close.date = day;
  close.type = "sales";
  close.shop = "001";
  close.client = "314";
  close.check_bill = true;
  close.in_cust = "305";
  if (int rc = RunClose(close); rc != kExitOk) return rc;
  Summary(options.db);

  Heading("The closed daily bills");
  ClosedOptions closed;
  closed.db = options.db;
  if (int rc = RunClosed(closed); rc != kExitOk) return rc;

  Heading("Cancel the closing");
  CancelOptions cancel;
  cancel.db = options.db;
  cancel.reason = "the demo gives its day back";
  auto connection = data::OpenConnection(options.db);
  cancel.ids = automation::CStr(connection->Execute("select max(FID) from t_LS_DailyBill")->Value(0));
  if (int rc = RunCancel(cancel); rc != kExitOk) return rc;
  Summary(options.db);
  std::cout << "\nThe demo database stays at " << options.db << " (try: dailybalance open --db " << options.db
            << ")\n";
  return kExitOk;
}

}  // namespace tovan::cli
