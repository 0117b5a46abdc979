// `dailybalance user` and `dailybalance log`: the operators and what they did.
#include <iostream>

#include "backoffice/audit.h"
#include "backoffice/input_checks.h"
#include "backoffice/json_forms.h"
#include "backoffice/lookups.h"
#include "backoffice/operators.h"
#include "cli/arguments.h"
#include "cli/command_support.h"
#include "cli/commands.h"
#include "cli/json_values.h"
#include "cli/table.h"

namespace tovan::cli {

namespace bo = backoffice;

namespace {
std::vector<int32_t> ShopIds(bo::Session& session, const std::string& list) {
  std::vector<int32_t> shops;
  if (list.empty()) return shops;
  for (const std::string& part : bo::SplitIds(list + ",")) {
    if (!part.empty()) shops.push_back(bo::ResolveShop(session, "shops", part).id);
  }
  return shops;
}

std::string Joined(const std::vector<int32_t>& ids) {
  std::string out;
  for (int32_t id : ids) out += (out.empty() ? "" : ",") + std::to_string(id);
  return out;
}
}  // namespace

int RunUser(const UserOptions& options) {
  return RunCommand([&] {
    bo::Session session({options.db, options.user_id});
    if (options.action == "list") {
      std::vector<bo::Operator> all = bo::ListOperators(session);
      if (options.json) {
        Json out = Json::array();
        for (const bo::Operator& op : all)
          out.push_back(Json{{"id", op.id}, {"name", op.name}, {"role", bo::RoleName(op.role)},
                             {"active", op.active}, {"hasPassword", op.has_password}, {"shops", op.shops}});
        std::cout << ToText(Json{{"users", out}}) << "\n";
        return kExitOk;
      }
      Table table({">ID", "Name", "Role", "Active", "Password", "Shops"});
      for (const bo::Operator& op : all)
        table.Add({std::to_string(op.id), op.name, bo::RoleName(op.role), op.active ? "yes" : "no",
                   op.has_password ? "set" : "-", Joined(op.shops)});
      table.Print(std::cout);
      return kExitOk;
    }
    const int32_t id = bo::IdArgument("id", options.id);
    if (options.action == "add") {
      bo::AddOperator(session, id, options.name, bo::RoleArgument(options.role), ShopIds(session, options.shops));
      std::cout << "Added operator " << id << " " << options.name << " (" << options.role
                << "); set a password with: dailybalance user passwd --db " << options.db << " " << id << "\n";
    } else if (options.action == "passwd") {
      bo::SetPassword(session, id, ReadPassword("password", true));
      std::cout << "Set the password of operator " << id << "\n";
    } else if (options.action == "disable") {
      bo::DisableOperator(session, id);
      std::cout << "Disabled operator " << id << "\n";
    } else {
      throw bo::Refusal("", "expected user add, passwd, disable or list");
    }
    return kExitOk;
  });
}

int RunLog(const LogOptions& options) {
  return RunCommand([&] {
    bo::AuditFilter filter;
    if (options.from) filter.from = bo::DateArgument("from", *options.from);
    if (options.to) filter.to = bo::DateArgument("to", *options.to);
    if (options.user) filter.user = bo::IdArgument("user", *options.user);
    bo::Session session({options.db, 1, 2, false});
    if (options.shop) filter.shop = bo::ResolveShop(session, "shop", *options.shop).id;
    std::vector<bo::AuditRow> rows = bo::ReadAuditTrail(session, filter);
    if (options.json) {
      std::cout << ToText(bo::ToJson(rows)) << "\n";
      return kExitOk;
    }
    if (rows.empty()) {
      std::cout << "No events.\n";
      return kExitOk;
    }
    Table table({"Time", "User", "Event", "Result", "Shops", ">Bills", "Daily bill", "Message"});
    for (const bo::AuditRow& r : rows)
      table.Add({r.time, r.user.empty() ? std::to_string(r.user_id) : r.user, r.event, r.result, Joined(r.shops),
                 std::to_string(r.bills), r.daily_bill_no, Clip(r.message, 120)});
    table.Print(std::cout);
    return kExitOk;
  });
}

}  // namespace tovan::cli
