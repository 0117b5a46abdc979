// The host's operators (its users): who may do what, and their passwords.
//
// A closer closes the bills of the shops they are given; a supervisor closes
// and cancels every shop's; an admin also manages operators and options.
// Passwords are kept as argon2id hashes in libsodium's string form (which
// carries its salt and cost), never as text, and are read by the front ends
// from standard input or a prompt, never from an argument.
//
// Errors: Refusal ("user" for an unknown or disabled operator, "role",
// "shops", "password"; kForbidden when the acting operator may not);
// AutomationError from the database.
//
// Thread-safety: the calling thread's session.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "backoffice/operator.h"
#include "backoffice/session.h"

namespace tovan::backoffice {

// "closer", "supervisor", "admin"; raises Refusal ("role") otherwise.
Role RoleArgument(const std::string& text);

// The operator `id`, or nullopt when there is none.
std::optional<Operator> FindOperator(Session& session, int32_t id);
std::vector<Operator> ListOperators(Session& session);

// What an admin does to operators; each change is committed at once and
// recorded in the audit trail.
void AddOperator(Session& session, int32_t id, const std::string& name, Role role, const std::vector<int32_t>& shops);
void SetPassword(Session& session, int32_t id, const std::string& password);
void DisableOperator(Session& session, int32_t id);

// True when `password` is the operator's; false for a wrong one, an
// operator without a password, or a disabled one.
bool VerifyPassword(Session& session, int32_t id, const std::string& password);

// Rights, checked against the session's operator.  Each raises Refusal
// (kForbidden) naming what the operator may not do.
void RequireClose(const Session& session, const std::vector<int32_t>& shops);
void RequireCancel(const Session& session, const std::string& reason);
void RequireAdmin(const Session& session, const std::string& what);
void RequireSupervisor(const Session& session, const std::string& what);  // a supervisor or an admin

}  // namespace tovan::backoffice
