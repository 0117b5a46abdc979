#include "backoffice/sign_in.h"

#include <sodium.h>

#include "backoffice/audit.h"
#include "backoffice/operators.h"
#include "host/host_database.h"
#include "platform/automation/error.h"

namespace tovan::backoffice {

using automation::Variant;

namespace {
// A hash no password is tried against but to spend the time a real check takes.
const std::string& DecoyHash() {
  static const std::string hash = [] {
    char out[crypto_pwhash_STRBYTES] = {};
    unsigned char salt_source[16];
    randombytes_buf(salt_source, sizeof salt_source);
    std::string decoy(reinterpret_cast<const char*>(salt_source), sizeof salt_source);
    if (crypto_pwhash_str_alg(out, decoy.data(), decoy.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                              crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13) != 0)
      return std::string();
    return std::string(out);
  }();
  return hash;
}

std::string Who(int32_t claimed, const std::string& user) {
  // A name that matched no one is kept short: it may be a mistyped password.
  return claimed != 0 ? std::string() : "unknown operator \"" + user.substr(0, 40) + "\" ";
}

void Record(Session& session, int32_t claimed, const std::string& result, const std::string& message) {
  AuditEntry entry{"sign-in", result, {}, "", 0, "", message};
  entry.user_id = claimed;
  AuditApart(session, entry);
}
}  // namespace

int32_t ClaimedOperator(Session& session, const std::string& user) {
  if (user.empty() || user.size() > 80) return 0;
  hostlib::HostDatabase db(session.db());
  if (user.find_first_not_of("0123456789") == std::string::npos) {
    if (user.size() > 9) return 0;
    int32_t id = std::stoi(user);
    return db.Scalar("SELECT FUserID FROM t_Users WHERE FUserID=?1", {Variant(id)}).IsEmpty() ? 0 : id;
  }
  auto rows = db.Query("SELECT FUserID FROM t_Users WHERE FName=?1", {Variant(user)});
  return rows.RowCount() == 1 ? automation::CLng(rows.At(0, 0)) : 0;
}

std::optional<Operator> SignIn(Session& session, int32_t claimed, const std::string& user,
                               const std::string& password, const std::string& address) {
  if (sodium_init() < 0)
    throw automation::AutomationError(automation::vberr::kInvalidProcedureCall, "dailybalance",
                                      "the password library cannot start");
  std::optional<Operator> op;
  if (claimed != 0 && VerifyPassword(session, claimed, password)) {
    op = FindOperator(session, claimed);
  } else if (claimed == 0 && !DecoyHash().empty()) {
    [[maybe_unused]] int spent = crypto_pwhash_str_verify(DecoyHash().c_str(), password.data(), password.size());
  }
  if (op) {
    Record(session, claimed, "done", "from " + address);
  } else {
    Record(session, claimed, "failed", Who(claimed, user) + "from " + address);
  }
  return op;
}

void AuditSignInRefused(Session& session, int32_t claimed, const std::string& user, const std::string& address,
                        const std::string& why) {
  Record(session, claimed, "refused", Who(claimed, user) + "from " + address + ": " + why);
}

}  // namespace tovan::backoffice
