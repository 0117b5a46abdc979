// Signing in to the dialog: an operator, named by id or by name, proves
// their password.  Every attempt leaves a row in the audit trail ("sign-in",
// done, failed, or refused when the front end's limits held it back), which
// names the address it came from and never the password.
//
// How often one may try is the front end's business (it knows addresses and
// time); this module only says who is claimed and whether the password is
// theirs.
//
// Errors: AutomationError from the database.
//
// Thread-safety: the calling thread's session.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "backoffice/operator.h"
#include "backoffice/session.h"

namespace tovan::backoffice {

// The id of the operator `user` names (digits: an id; else a name), or 0 when
// it names no one, or a name that several operators share.
int32_t ClaimedOperator(Session& session, const std::string& user);

// The operator, when `password` is the claimed one's and they are active;
// nullopt otherwise.  An unknown operator takes as long to refuse as a
// wrong password, so the answer's timing does not tell which names exist.
std::optional<Operator> SignIn(Session& session, int32_t claimed, const std::string& user,
                               const std::string& password, const std::string& address);

// Records an attempt the front end refused before trying the password.
void AuditSignInRefused(Session& session, int32_t claimed, const std::string& user, const std::string& address,
                        const std::string& why);

}  // namespace tovan::backoffice
