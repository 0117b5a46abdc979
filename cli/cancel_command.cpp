// `dailybalance cancel | closed | show`: the cancellation side of the host.
#include <iostream>

#include "cli/arguments.h"
#include "cli/cancel_dialog.h"
#include "cli/commands.h"
#include "cli/host_session.h"
#include "cli/json_values.h"
#include "platform/automation/error.h"
#include "platform/foundation/vector.h"
#include "platform/host/data_context.h"

namespace tovan::cli {

using automation::CStr;
using automation::Variant;

namespace {
// Prints a record list as a table (or JSON): one line per record, the
// columns in the records' key order.
void PrintRecords(const std::shared_ptr<foundation::Vector>& list, bool json, const char* empty_text) {
  if (json) {
    std::cout << ToText(Json{{"records", JsonFromVariant(Variant(list))}}) << "\n";
    return;
  }
  if (list->UpperBound() == 0) {
    std::cout << empty_text << "\n";
    return;
  }
  auto first = list->Record(1);
  for (int32_t k = 1; k <= first->Count(); ++k) std::cout << (k > 1 ? "\t" : "") << first->Key(k);
  std::cout << "\n";
  for (int32_t p = 1; p <= list->UpperBound(); ++p) {
    auto record = list->Record(p);
    for (int32_t k = 1; k <= record->Count(); ++k) std::cout << (k > 1 ? "\t" : "") << CStr(record->Value(record->Key(k)));
    std::cout << "\n";
  }
}

template <class Body>
int WithSession(const std::string& db, int user_id, int app_type, Body body) {
  try {
    HostSession session(HostSessionOptions{db, static_cast<int16_t>(user_id), app_type});
    return body(session);
  } catch (const BadInput& e) {
    PrintError(e.message);
    return kExitBadInput;
  } catch (const automation::AutomationError& e) {
    PrintError(e.source() + ": " + e.description());
    return kExitFailed;
  }
}
}  // namespace

int RunCancel(const CancelOptions& options) {
  std::string ids;
  try {
    ids = IdListInput("DAILY_ID", options.ids);
  } catch (const BadInput& e) {
    PrintError(e.message);
    return kExitBadInput;
  }
  return WithSession(options.db, options.user_id, options.app_type, [&](HostSession& session) {
    automation::DispatchPtr events = options.events ? options.events : session.ProgressDisplay(options.json);
    CancelOutcome outcome = CancelDailyBills(session, ids, events);
    bool ok = outcome.ok;
    const std::string& message = outcome.message;
    if (options.json) {
      std::cout << ToText(Json{{"result", ok}, {"message", message}}) << "\n";
    } else {
      std::cout << message << (message.empty() || message.back() == '\n' ? "" : "\n");
    }
    return ok ? kExitOk : kExitFailed;
  });
}

int RunClosed(const ClosedOptions& options) {
  return WithSession(options.db, 1, 2, [&](HostSession& session) {
    // --filter is an SQL condition by design (the host's own filter).  The
    // listing only reads, so it runs in a read-only unit: it never waits for
    // a closing, a write a filter smuggles in is refused, and the data layer
    // refuses the transaction control that could end the unit early.
    host::HostUnitOfWork read_only(host::HostUnitOfWork::Access::kReadOnly);
    auto cancel = session.Create("clsUnBalData");
    std::vector<Variant> args{Variant(options.db), Variant(options.filter)};
    auto list = foundation::AsVector(CallMember(cancel, "SetTotalData", args));
    if (!list && !options.filter.empty()) {
      PrintError("--filter: not a condition on b (daily bill) and be (entry) that the database accepts: " +
                 options.filter);
      return kExitBadInput;
    }
    if (!list) {
      PrintError("the closed daily bills cannot be read");
      return kExitFailed;
    }
    PrintRecords(list, options.json, "no closed daily bills");
    return kExitOk;
  });
}

int RunShow(const ShowOptions& options) {
  try {
    IdArgument("DAILY_ID", options.id);
  } catch (const BadInput& e) {
    PrintError(e.message);
    return kExitBadInput;
  }
  return WithSession(options.db, 1, 2, [&](HostSession& session) {
    host::HostUnitOfWork read_only(host::HostUnitOfWork::Access::kReadOnly);
    auto cancel = session.Create("clsUnBalData");
    std::vector<Variant> args{Variant(options.db), Variant(options.id)};
    auto list = foundation::AsVector(CallMember(cancel, "SetDetailData", args));
    if (!list) {
      PrintError("the daily bill " + options.id + " cannot be read");
      return kExitFailed;
    }
    PrintRecords(list, options.json, "no retail bills in this daily bill");
    return kExitOk;
  });
}

}  // namespace tovan::cli
