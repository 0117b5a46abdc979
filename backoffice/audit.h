// The audit trail: one row per thing an operator did or tried (a closing, a
// cancellation, an option or operator change, a sign-in), with who, when, the shops and
// bills, the daily bill, the result and the message.  The table refuses
// every change but an appended row (triggers in the host schema).
//
// Errors: AutomationError from the database, except AuditApart, which must
// never hide the refusal it records.
//
// Thread-safety: the calling thread's session.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "backoffice/session.h"
#include "platform/automation/variant.h"

namespace tovan::backoffice {

struct AuditEntry {
  std::string event;   // close, cancel, option, user, sign-in
  std::string result;  // done, refused, failed
  std::vector<int32_t> shops;
  std::string bills;   // retail bill ids "12,15"
  int32_t daily_bill_id = 0;
  std::string daily_bill_no;
  std::string message;
  int32_t user_id = 0;  // who; 0: the session's operator
};

// Appends in the unit of work open on the thread, so that a row of work done
// commits, or goes, with the work itself.
void Audit(Session& session, const AuditEntry& entry);
// Appends in a unit of its own, committed at once: a refusal or a failure
// whose own unit has rolled back.
void AuditApart(Session& session, const AuditEntry& entry);

struct AuditFilter {
  std::optional<automation::Date> from, to;  // days, inclusive
  int32_t user = 0;                          // 0: every operator
  int32_t shop = 0;                          // 0: every shop
};

struct AuditRow {
  int64_t id = 0;
  std::string time;  // yyyy-mm-dd hh:mm:ss
  int32_t user_id = 0;
  std::string user, event, result;
  std::vector<int32_t> shops;
  size_t bills = 0;  // how many retail bills the event concerned
  int32_t daily_bill_id = 0;
  std::string daily_bill_no, message;
};
// Oldest first.  An operator reading it must be a supervisor or an admin
// (Refusal kForbidden); a session without an operator (the command line's
// trusted reader) may.
std::vector<AuditRow> ReadAuditTrail(Session& session, const AuditFilter& filter);

}  // namespace tovan::backoffice
