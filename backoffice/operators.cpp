#include "backoffice/operators.h"

#include <sodium.h>

#include <algorithm>
#include <map>

#include "backoffice/audit.h"
#include "backoffice/field_values.h"
#include "backoffice/input_checks.h"
#include "host/host_database.h"
#include "platform/automation/error.h"
#include "platform/host/data_context.h"

namespace tovan::backoffice {

using automation::Variant;

namespace {
// The shortest password accepted, and the longest: argon2id takes any length,
// but a password is typed, not pasted from a file.
constexpr size_t kMinPassword = 8, kMaxPassword = 256;


std::vector<Operator> Load(Session& session, std::optional<int32_t> id) {
  hostlib::HostDatabase db(session.db());
  std::string where = id ? " WHERE FUserID=?1" : "";
  std::vector<Variant> values;
  if (id) values.emplace_back(*id);
  auto rows = db.Query("SELECT FUserID, FName, FRole, FActive, FPasswordHash FROM t_Users" + where + " ORDER BY FUserID",
                       values);
  auto shops = db.Query("SELECT FUserID, FShopID FROM t_UserShops" + where + " ORDER BY FUserID, FShopID", values);
  std::map<int32_t, std::vector<int32_t>> shops_of;
  for (size_t r = 0; r < shops.RowCount(); ++r)
    shops_of[automation::CLng(shops.At(r, 0))].push_back(automation::CLng(shops.At(r, 1)));
  std::vector<Operator> out;
  for (size_t r = 0; r < rows.RowCount(); ++r) {
    Operator op;
    op.id = automation::CLng(rows.At(r, 0));
    op.name = FieldText(rows.At(r, 1));
    const std::string role = FieldText(rows.At(r, 2));
    op.role = role == "admin" ? Role::kAdmin : role == "supervisor" ? Role::kSupervisor : Role::kCloser;
    op.active = rows.At(r, 3).IsNull() || automation::CBool(rows.At(r, 3));
    op.has_password = !FieldText(rows.At(r, 4)).empty();
    op.shops = shops_of[op.id];
    out.push_back(std::move(op));
  }
  return out;
}

std::string Hash(const std::string& password) {
  if (sodium_init() < 0)
    throw automation::AutomationError(automation::vberr::kInvalidProcedureCall, "dailybalance",
                                      "the password library cannot start");
  char hash[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str_alg(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                            crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13) != 0)
    throw automation::AutomationError(automation::vberr::kInvalidProcedureCall, "dailybalance",
                                      "out of memory while hashing the password");
  return hash;
}

// An admin's change to the operators, committed at once with its audit row;
// a refusal is recorded apart.
template <class Change>
void ChangeOperators(Session& session, const std::string& what, Change change) {
  try {
    RequireAdmin(session, what);
    host::HostUnitOfWork unit;
    hostlib::HostDatabase db(session.db());
    change(db);
    Audit(session, AuditEntry{"user", "done", {}, "", 0, "", what});
    unit.Commit();
  } catch (const Refusal& e) {
    AuditApart(session, AuditEntry{"user", "refused", {}, "", 0, "", what + ": " + e.message});
    throw;
  }
}
}  // namespace

const char* RoleName(Role role) {
  switch (role) {
    case Role::kAdmin: return "admin";
    case Role::kSupervisor: return "supervisor";
    case Role::kCloser: break;
  }
  return "closer";
}

Role RoleArgument(const std::string& text) {
  for (Role role : {Role::kCloser, Role::kSupervisor, Role::kAdmin})
    if (text == RoleName(role)) return role;
  throw Refusal("role", "expected closer, supervisor or admin, not " + text);
}

std::optional<Operator> FindOperator(Session& session, int32_t id) {
  auto found = Load(session, id);
  if (found.empty()) return std::nullopt;
  return found.front();
}

std::vector<Operator> ListOperators(Session& session) { return Load(session, std::nullopt); }

void AddOperator(Session& session, int32_t id, const std::string& name, Role role, const std::vector<int32_t>& shops) {
  const std::string what = "add operator " + std::to_string(id) + " " + name + " (" + RoleName(role) + ")";
  ChangeOperators(session, what, [&](hostlib::HostDatabase& db) {
    NameArgument("name", name);
    if (role == Role::kCloser && shops.empty()) throw Refusal("shops", "a closer needs the shops they close");
    if (role != Role::kCloser && !shops.empty()) throw Refusal("shops", "only a closer is given shops");
    if (!db.Scalar("SELECT FUserID FROM t_Users WHERE FUserID=?1", {Variant(id)}).IsEmpty())
      throw Conflict("id", "operator " + std::to_string(id) + " exists already");
    std::vector<std::string> unknown;
    for (int32_t shop : shops)
      if (db.Scalar("SELECT FItemID FROM t_LS_BranchShop WHERE FItemID=?1", {Variant(shop)}).IsEmpty())
        unknown.push_back(std::to_string(shop));
    if (!unknown.empty()) throw Refusal("shops", "no shop " + NameSome(unknown));
    db.Execute("INSERT INTO t_Users (FUserID, FName, FRole, FActive, FPasswordHash) VALUES (?1, ?2, ?3, 1, '')",
               {Variant(id), Variant(name), Variant(RoleName(role))});
    for (int32_t shop : shops)
      db.Execute("INSERT INTO t_UserShops (FUserID, FShopID) VALUES (?1, ?2)", {Variant(id), Variant(shop)});
  });
}

void SetPassword(Session& session, int32_t id, const std::string& password) {
  ChangeOperators(session, "set the password of operator " + std::to_string(id), [&](hostlib::HostDatabase& db) {
    if (password.size() < kMinPassword || password.size() > kMaxPassword)
      throw Refusal("password", "a password has " + std::to_string(kMinPassword) + " to " +
                                    std::to_string(kMaxPassword) + " characters");
    if (db.Scalar("SELECT FUserID FROM t_Users WHERE FUserID=?1", {Variant(id)}).IsEmpty())
      throw Refusal("id", "no operator " + std::to_string(id));
    db.Execute("UPDATE t_Users SET FPasswordHash=?1 WHERE FUserID=?2", {Variant(Hash(password)), Variant(id)});
  });
}

void DisableOperator(Session& session, int32_t id) {
  ChangeOperators(session, "disable operator " + std::to_string(id), [&](hostlib::HostDatabase& db) {
    if (db.Scalar("SELECT FUserID FROM t_Users WHERE FUserID=?1", {Variant(id)}).IsEmpty())
      throw Refusal("id", "no operator " + std::to_string(id));
    if (id == session.user_id()) throw Refusal("id", "an admin does not disable themselves");
    db.Execute("UPDATE t_Users SET FActive=0 WHERE FUserID=?1", {Variant(id)});
  });
}

bool VerifyPassword(Session& session, int32_t id, const std::string& password) {
  if (sodium_init() < 0) return false;
  hostlib::HostDatabase db(session.db());
  auto rows = db.Query("SELECT FPasswordHash, FActive FROM t_Users WHERE FUserID=?1", {Variant(id)});
  if (rows.RowCount() == 0 || !automation::CBool(rows.At(0, 1))) return false;
  const std::string hash = FieldText(rows.At(0, 0));
  return !hash.empty() && crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

void RequireClose(const Session& session, const std::vector<int32_t>& shops) {
  const Operator* op = session.acting();
  if (op == nullptr) throw Forbidden("no operator acts in this session");
  if (op->role != Role::kCloser) return;
  std::vector<std::string> others;
  for (int32_t shop : shops)
    if (std::find(op->shops.begin(), op->shops.end(), shop) == op->shops.end()) others.push_back(std::to_string(shop));
  if (!others.empty())
    throw Forbidden(op->name + " closes only their own shops' bills, not those of shop " + NameSome(others))
        .Worded("notOwnShops", {{"name", op->name}, {"shops", NameSome(others)}});
}

void RequireCancel(const Session& session, const std::string& reason) {
  const Operator* op = session.acting();
  if (op == nullptr) throw Forbidden("no operator acts in this session");
  if (op->role == Role::kCloser)
    throw Forbidden(op->name + " is a closer: cancelling needs a supervisor").Worded("closerCannotCancel", {{"name", op->name}});
  if (reason.find_first_not_of(" \t") == std::string::npos)
    throw Refusal("reason", "a cancellation needs its reason").Worded("noReason");
}

void RequireSupervisor(const Session& session, const std::string& what) {
  const Operator* op = session.acting();
  if (op == nullptr) throw Forbidden("no operator acts in this session");
  if (op->role == Role::kCloser)
    throw Forbidden(op->name + " may not " + what + ": that needs a supervisor").Worded("needsSupervisor", {{"name", op->name}});
}

void RequireAdmin(const Session& session, const std::string& what) {
  const Operator* op = session.acting();
  if (op == nullptr) throw Forbidden("no operator acts in this session");
  if (op->role != Role::kAdmin)
    throw Forbidden(op->name + " may not " + what + ": that needs an admin").Worded("needsAdmin", {{"name", op->name}});
}

}  // namespace tovan::backoffice
