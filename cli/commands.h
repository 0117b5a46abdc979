// The subcommands of `dailybalance`, each a function from parsed options to
// an exit code: 0 success, 1 the operation answered a failure, 2 bad usage
// or bad input (a one-line message on stderr names what is wrong), 3 the
// answer to a commit was lost and the server could not say whether it stands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/automation/dispatch.h"

namespace tovan::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitBadInput = 2;
inline constexpr int kExitUnknown = 3;

int RunRegister(bool unregister, bool json);

struct InvokeOptions {
  std::string db = "./dailybalance.db";
  int user_id = 1;
  int app_type = 2;
  std::string prog_id;
  std::string member;
  std::vector<std::string> args;  // JSON texts
};
int RunInvoke(const InvokeOptions& options);

struct DemoOptions {
  std::string db = "./dailybalance-demo.db";
};
// Builds a fresh demo database at `db` (replacing one there), closes a day
// of it and cancels the closing, showing each step.
int RunDemo(const DemoOptions& options);

struct OptionOptions {
  std::string db = "./dailybalance.db";
  int user_id = 1;
  bool list = false;
  std::string section;
  std::string key;
  std::optional<std::string> value;  // set when given
  bool json = false;
};
int RunOption(const OptionOptions& options);

struct InitOptions {
  std::string db = "./dailybalance.db";
  bool empty = false;
  bool bills_given = false;
  int bills = 1000;
  int lines = 10;
  uint32_t seed = 1;
  int days = 5;
  std::string last_day;  // yyyy-mm-dd; today when empty
  bool force = false;
  bool json = false;
};
int RunInit(const InitOptions& options);

struct CloseOptions {
  std::string db = "./dailybalance.db";
  int user_id = 1;
  int app_type = 2;
  std::string bills;  // ID,ID,... or @FILE or -
  std::string date;   // yyyy-mm-dd
  std::string type;   // sales | returns
  std::optional<std::string> shop, client, invoice_type, tax, acct, in_cust, dept;
  bool check_bill = false;
  // The cash count: METHOD=AMOUNT or METHOD=100x3+0.5x2 each, a note, and
  // the supervisor who signs off (their password from standard input).
  std::vector<std::string> count;
  std::optional<std::string> count_note, sign_off;
  bool json = false;
  // The progress display handed to the component; null: the one the output asks for.
  automation::DispatchPtr events;
};
int RunClose(const CloseOptions& options);

struct CancelOptions {
  std::string db = "./dailybalance.db";
  int user_id = 1;
  int app_type = 2;
  std::string ids;  // DAILY_ID[,DAILY_ID...]
  std::string reason;
  bool json = false;
  // The progress display handed to the component; null: the one the output asks for.
  automation::DispatchPtr events;
};
int RunCancel(const CancelOptions& options);

struct ClosedOptions {
  std::string db = "./dailybalance.db";
  std::optional<std::string> from, to, shop, number;
  std::string filter;
  bool json = false;
};
int RunClosed(const ClosedOptions& options);

struct ShowOptions {
  std::string db = "./dailybalance.db";
  std::string id;
  bool report = false;  // the closing report: figures per method, shop and cashier, reconciled
  bool json = false;
};
int RunShow(const ShowOptions& options);

// `open`: the open retail bills matching the filter; unset options leave
// their condition out.
struct OpenBillsOptions {
  std::string db = "./dailybalance.db";
  std::optional<std::string> from, to;  // yyyy-mm-dd, inclusive
  std::optional<std::string> type;      // sales | returns
  std::optional<std::string> shop;      // id, number or name
  bool json = false;
};
int RunOpen(const OpenBillsOptions& options);

// `user add|passwd|disable|list`: the operators, managed by an admin.
// Passwords come from standard input (one line) or, on a terminal, a prompt
// that does not echo; never from an argument.
struct UserOptions {
  std::string db = "./dailybalance.db";
  int user_id = 1;  // the admin who acts
  std::string action;  // add, passwd, disable, list
  std::string id, name, role, shops;
  bool json = false;
};
int RunUser(const UserOptions& options);

// `log`: the audit trail, oldest first.
struct LogOptions {
  std::string db = "./dailybalance.db";
  std::optional<std::string> from, to, user, shop;
  bool json = false;
};
int RunLog(const LogOptions& options);

}  // namespace tovan::cli
