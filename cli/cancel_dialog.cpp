#include "cli/cancel_dialog.h"

#include "platform/host/data_context.h"

namespace tovan::cli {

using automation::Variant;

CancelOutcome CancelDailyBills(const HostSession& session, const std::string& ids, automation::DispatchPtr events) {
  auto cancel = session.Create("clsUnBalData");
  CancelOutcome outcome;
  std::string failures;
  for (size_t start = 0; start <= ids.size();) {
    size_t comma = ids.find(',', start);
    std::string id = ids.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    start = comma == std::string::npos ? ids.size() + 1 : comma + 1;
    // Each daily bill in a unit of its own, run again after a conflict with
    // a concurrent cancellation (which then refuses a bill already reopened).
    std::string line;
    const bool cancelled = host::RunUnitOfWork([&](host::HostUnitOfWork& unit) {
      std::vector<Variant> args{Variant(events), Variant(session.db()), Variant(id), Variant("")};
      const bool done = automation::CBool(CallMember(cancel, "UnBalData", args)) &&
                        unit.last_vote() == host::Vote::Complete;
      if (done) unit.Commit();
      line = args[3].string();
      return done;
    });
    if (!cancelled) {
      outcome.ok = false;
      failures += line.empty() ? "反日结失败！\r\n" : line;
      if (failures.back() != '\n') failures += "\r\n";
    }
  }
  outcome.message = outcome.ok ? "反日结完成！" : failures;
  return outcome;
}

}  // namespace tovan::cli
