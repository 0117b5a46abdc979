// dailybalance: the command-line host of the TovanMDailyBalance component.
#include <CLI/CLI.hpp>
#include <cstdlib>
#include <iostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "web/server.h"

#ifndef DAILYBALANCE_VERSION
#define DAILYBALANCE_VERSION "0.0.0"
#endif

namespace {
// The operator a command acts as when --user is not given: $DAILYBALANCE_USER,
// or else the admin that init creates.
int DefaultUser() {
  const char* text = std::getenv("DAILYBALANCE_USER");
  if (text == nullptr || *text == '\0') return 1;
  std::string value(text);
  if (value.size() > 5 || value.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::stoi(value);
}
}  // namespace

int main(int argc, char** argv) {
  using namespace tovan::cli;
  const int default_user = DefaultUser();
  if (default_user < 0) {
    PrintError("DAILYBALANCE_USER: not a user id");
    return kExitBadInput;
  }
  CLI::App app{"dailybalance: POS daily closing of retail bills, and its cancellation"};
  app.set_version_flag("--version", std::string("dailybalance ") + DAILYBALANCE_VERSION);
  app.require_subcommand(1);
  bool json = false;

  auto* reg = app.add_subcommand("register", "Register the component's classes in the registry");
  reg->add_flag("--json", json, "Print machine-readable output");
  auto* unreg = app.add_subcommand("unregister", "Remove the component's classes from the registry");
  unreg->add_flag("--json", json, "Print machine-readable output");

  InvokeOptions invoke;
  auto* inv = app.add_subcommand("invoke", "Call a member of a component class late-bound, with JSON arguments");
  inv->add_option("--db", invoke.db, "Data source of the host: a database file, sqlite:PATH, or a server (postgresql://..., pg:conninfo)")
      ->capture_default_str();
  inv->add_option("--user", invoke.user_id, "ID of the logged-on user")->check(CLI::Range(1, 32767))->capture_default_str();
  inv->add_option("--app-type", invoke.app_type, "The host's AppType value")->capture_default_str();
  inv->add_option("PROGID", invoke.prog_id, "Class, e.g. TovanMDailyBalance.clsData")->required();
  inv->add_option("MEMBER", invoke.member, "Member name, e.g. TransMode")->required();
  // The JSON arguments are taken raw from what CLI11 leaves over: its own
  // parsing would split "[...]" lists at their commas.
  inv->allow_extras();
  inv->footer(
      "ARG...: the member's arguments as JSON: \"text\", 12 (Long), 1.5 (Double), true, null (Null), "
      "{\"date\":\"2026-12-04\"}, {\"nothing\":true}, {...} (record), [{...}, ...] (record list); "
      "@FILE: the JSON held in FILE (@- standard input)");
  inv->add_flag("--json", json, "Accepted for symmetry: invoke always prints JSON");

  InitOptions init;
  auto* ini = app.add_subcommand("init", "Create a host database: schema, master data and demo retail bills");
  ini->add_option("--db", init.db, "Database to create: a file, or a server database (postgresql://...)")->capture_default_str();
  ini->add_flag("--empty", init.empty, "Schema and master data only");
  auto* bills_option = ini->add_option("--bills", init.bills, "Retail bills to generate")->capture_default_str();
  ini->add_option("--lines", init.lines, "Average goods lines per bill")->capture_default_str();
  ini->add_option("--seed", init.seed, "Seed of the generator")->capture_default_str();
  ini->add_option("--days", init.days, "Days the bills are spread over")->capture_default_str();
  ini->add_option("--last-day", init.last_day, "Last day with bills (yyyy-mm-dd; default today)");
  ini->add_flag("--force", init.force, "Replace an existing file");
  ini->add_flag("--json", init.json, "Print machine-readable output");

  CloseOptions close;
  close.user_id = default_user;
  auto* cls = app.add_subcommand("close", "Close retail bills: the daily closing, as the closing dialog runs it");
  cls->add_option("--db", close.db, "Data source of the host")->capture_default_str();
  cls->add_option("--user", close.user_id, "ID of the logged-on user")->check(CLI::Range(1, 32767));
  cls->add_option("--app-type", close.app_type, "The host's AppType value");
  cls->add_option("--bills", close.bills, "Retail bills to close: ID,ID,..., or @FILE (- for standard input) holding them");
  cls->add_option("--date", close.date,
                  "Closing date (yyyy-mm-dd; default: the bills' business day); without --bills, close the open "
                  "bills of this day of --type");
  cls->add_option("--type", close.type, "sales or returns");
  cls->add_option("--shop", close.shop, "Shop of the bills, by id, number or name (needed when the day has several)");
  cls->add_option("--client", close.client, "Customer of the daily bill and the stock bill");
  cls->add_option("--invoice-type", close.invoice_type, "Invoice type (2020 makes amounts tax-inclusive)");
  cls->add_option("--tax", close.tax, "Tax rate in percent");
  cls->add_option("--acct", close.acct, "Settlement account, by name");
  cls->add_flag("--check-bill", close.check_bill, "Also write a receivables check bill and write it off");
  cls->add_option("--in-cust", close.in_cust,
                  "Customer the receivable goes to (with --check-bill; default: the stored setting)");
  cls->add_option("--dept", close.dept, "Department of the stock bill");
  cls->add_option("--count", close.count,
                  "Cash count of a settlement method (name or number): NAME=AMOUNT, or NAME=100x3+50x1+0.5x4 by "
                  "note and coin; repeat for each method")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  cls->add_option("--count-note", close.count_note, "Why the count differs from the bills");
  cls->add_option("--sign-off", close.sign_off,
                  "Supervisor (id or name) who signs off a count beyond the tolerance; their password is read "
                  "from standard input");
  cls->add_flag("--json", close.json, "JSON-lines progress and a JSON result");

  CancelOptions cancel;
  cancel.user_id = default_user;
  auto* can = app.add_subcommand("cancel", "Cancel daily closings");
  can->add_option("--db", cancel.db, "Data source of the host")->capture_default_str();
  can->add_option("--user", cancel.user_id, "ID of the logged-on user")->check(CLI::Range(1, 32767));
  can->add_option("--app-type", cancel.app_type, "The host's AppType value");
  can->add_option("DAILY_ID", cancel.ids, "Daily bills to cancel: ID[,ID...], or @FILE (- for standard input)")->required();
  can->add_option("--reason", cancel.reason, "Why the closings are cancelled (recorded in the audit trail)")->required();
  can->add_flag("--json", cancel.json, "JSON-lines progress and a JSON result");

  ClosedOptions closed;
  auto* cld = app.add_subcommand("closed", "List the closed daily bills");
  cld->add_option("--db", closed.db, "Data source of the host")->capture_default_str();
  cld->add_option("--from", closed.from, "First business day (yyyy-mm-dd)");
  cld->add_option("--to", closed.to, "Last business day (yyyy-mm-dd)");
  cld->add_option("--shop", closed.shop, "Shop, by id, number or name");
  cld->add_option("--number", closed.number, "Part of the daily bill's number");
  cld->add_option("--filter", closed.filter, "The host's own SQL condition on b (daily bill) and be (its entries)");
  cld->add_flag("--json", closed.json, "Print machine-readable output");

  ShowOptions show;
  auto* shw = app.add_subcommand("show", "A closed day: its retail bills, stock bill and check bill");
  shw->add_option("--db", show.db, "Data source of the host")->capture_default_str();
  shw->add_option("DAILY_ID", show.id, "The daily bill")->required();
  shw->add_flag("--report", show.report, "The closing report: totals by settlement method, shop and cashier, tax, and how they reconcile");
  shw->add_flag("--json", show.json, "Print machine-readable output");

  OptionOptions option;
  option.user_id = default_user;
  std::vector<std::string> option_args;
  auto* opt = app.add_subcommand("option", "List, read or set a host system option (e.g. IC CurrentPeriod 12)");
  opt->add_option("--db", option.db, "Data source of the host")->capture_default_str();
  opt->add_flag("--list", option.list, "List the known options with their values");
  opt->add_option("--user", option.user_id, "ID of the operator (setting needs an admin)")->check(CLI::Range(1, 32767));
  opt->add_option("SECTION", option.section, "Option section, e.g. IC");
  opt->add_option("KEY", option.key, "Option key, e.g. AllowNegativeStock");
  opt->add_option("VALUE", option_args, "New value (omit to read)")->expected(0, 1);
  opt->add_flag("--json", option.json, "Print machine-readable output");

  OpenBillsOptions open_bills;
  auto* open = app.add_subcommand("open", "List the open retail bills, optionally by date range, type and shop");
  open->add_option("--db", open_bills.db, "Data source of the host")->capture_default_str();
  open->add_option("--from", open_bills.from, "First bill date (yyyy-mm-dd)");
  open->add_option("--to", open_bills.to, "Last bill date (yyyy-mm-dd)");
  open->add_option("--type", open_bills.type, "sales or returns");
  open->add_option("--shop", open_bills.shop, "Shop, by id, number or name");
  open->add_flag("--json", open_bills.json, "Print machine-readable output");

  UserOptions user;
  user.user_id = default_user;
  auto* usr = app.add_subcommand("user", "Manage the operators: add, passwd, disable, list (an admin's work)");
  usr->add_option("ACTION", user.action, "add, passwd, disable or list")
      ->required()
      ->check(CLI::IsMember({"add", "passwd", "disable", "list"}));
  usr->add_option("ID", user.id, "The operator's id");
  usr->add_option("NAME", user.name, "The new operator's name (add)");
  usr->add_option("--db", user.db, "Data source of the host")->capture_default_str();
  usr->add_option("--role", user.role, "closer, supervisor or admin (add)");
  usr->add_option("--shops", user.shops, "A closer's shops, by id, number or name: A,B,... (add)");
  usr->add_option("--user", user.user_id, "ID of the admin who acts")->check(CLI::Range(1, 32767));
  usr->add_flag("--json", user.json, "Print machine-readable output (list)");
  usr->footer("The password of passwd is read from standard input, or asked for on a terminal.");

  LogOptions log;
  auto* lg = app.add_subcommand("log", "The audit trail: closings, cancellations, option and operator changes");
  lg->add_option("--db", log.db, "Data source of the host")->capture_default_str();
  lg->add_option("--from", log.from, "First day (yyyy-mm-dd)");
  lg->add_option("--to", log.to, "Last day (yyyy-mm-dd)");
  lg->add_option("--user", log.user, "Only this operator's events");
  lg->add_option("--shop", log.shop, "Only events of this shop, by id, number or name");
  lg->add_flag("--json", log.json, "Print machine-readable output");

  DemoOptions demo_options;
  auto* demo = app.add_subcommand("demo", "Build a demo database, close a day of it and cancel the closing");
  demo->add_option("--db", demo_options.db, "Demo database to (re)build")->capture_default_str();

  tovan::web::ServeOptions serve;
  auto* srv = app.add_subcommand("serve", "The closing dialog in a browser, for operators who sign in (prints the address to open)");
  srv->add_option("--db", serve.db, "Data source of the host")->required();
  srv->add_option("--port", serve.port, "Port to listen on (0: any free port)")->capture_default_str();
  srv->add_option("--bind", serve.bind, "Address to listen on (not loopback: needs --tls-cert and --tls-key)")
      ->capture_default_str();
  srv->add_option("--tls-cert", serve.tls_cert, "Server certificate (PEM, with its chain) for HTTPS");
  srv->add_option("--tls-key", serve.tls_key, "The certificate's private key (PEM)");
  srv->add_flag("--insecure-http", serve.insecure_http, "Plain HTTP on an address that is not loopback (warned about)");
  srv->add_option("--public-url", serve.public_urls, "A further address the dialog is opened under (http(s)://name[:port])");
  srv->add_option("--idle-minutes", serve.idle_minutes, "Minutes a signed-in session lasts unused")->capture_default_str();
  srv->add_option("--app-type", serve.app_type, "The host's AppType value");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    PrintError(e.what());
    return kExitBadInput;
  }

  if (reg->parsed()) return RunRegister(false, json);
  if (unreg->parsed()) return RunRegister(true, json);
  if (inv->parsed()) {
    invoke.args = inv->remaining();
    return RunInvoke(invoke);
  }
  if (demo->parsed()) return RunDemo(demo_options);
  if (srv->parsed()) return tovan::web::Serve(serve);
  if (open->parsed()) return RunOpen(open_bills);
  if (cls->parsed()) return RunClose(close);
  if (can->parsed()) return RunCancel(cancel);
  if (cld->parsed()) return RunClosed(closed);
  if (shw->parsed()) return RunShow(show);
  if (ini->parsed()) {
    init.bills_given = bills_option->count() > 0;
    return RunInit(init);
  }
  if (usr->parsed()) return RunUser(user);
  if (lg->parsed()) return RunLog(log);
  if (opt->parsed()) {
    if (!option_args.empty()) option.value = option_args.front();
    return RunOption(option);
  }
  return kExitBadInput;
}
