#include "backoffice/cancellation.h"

#include <map>
#include <set>

#include "backoffice/audit.h"
#include "backoffice/cash_count.h"
#include "backoffice/database_fault.h"
#include "backoffice/input_checks.h"
#include "backoffice/operators.h"
#include "backoffice/refusal.h"
#include "host/host_database.h"
#include "platform/host/data_context.h"

namespace tovan::backoffice {

using automation::Variant;

namespace {
std::vector<CancelledDay> StandingDailyBills(Session& session, const std::string& field, const std::string& ids) {
  std::map<int32_t, std::string> standing;
  {
    host::HostUnitOfWork read_only(host::HostUnitOfWork::Access::kReadOnly);
    hostlib::HostDatabase db(session.db());
    // `ids` is a checked list of numbers, so it can stand in the text.
    auto rows = db.Query("SELECT FID, FBillNo FROM t_LS_DailyBill WHERE FID IN (" + ids + ")");
    for (size_t r = 0; r < rows.RowCount(); ++r)
      standing[automation::CLng(rows.At(r, 0))] = rows.At(r, 1).IsNull() ? "" : automation::CStr(rows.At(r, 1));
  }
  std::vector<CancelledDay> days;
  std::vector<std::string> missing, repeated;
  std::set<int32_t> seen;
  for (const std::string& text : SplitIds(ids)) {
    int32_t id = static_cast<int32_t>(std::stol(text));
    if (!seen.insert(id).second) {
      repeated.push_back(text);
    } else if (auto it = standing.find(id); it == standing.end()) {
      missing.push_back(text);
    } else {
      days.push_back(CancelledDay{id, it->second});
    }
  }
  if (!missing.empty())
    throw Conflict(field, "no closed day " + NameSome(missing) + " (never closed, or cancelled already)")
        .Worded("noClosedDay", {{"ids", NameSome(missing)}});
  if (!repeated.empty())
    throw Refusal(field, "listed more than once: " + NameSome(repeated)).Worded("listedTwice", {{"ids", NameSome(repeated)}});
  return days;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
    start = end == std::string::npos ? text.size() : end + 1;
  }
  return lines;
}

// The retail bills a daily bill holds and their shops, as the audit row names them.
AuditEntry DayEntry(Session& session, const CancelledDay& day, const std::string& result, const std::string& message) {
  hostlib::HostDatabase db(session.db());
  auto rows = db.Query("SELECT FID, FBranchShop FROM t_LS_Retail WHERE FDailyBillID=?1 ORDER BY FID", {Variant(day.id)});
  AuditEntry entry{"cancel", result, {}, "", day.id, day.bill_no, message};
  std::set<int32_t> shops;
  for (size_t r = 0; r < rows.RowCount(); ++r) {
    entry.bills += (entry.bills.empty() ? "" : ",") + automation::CStr(rows.At(r, 0));
    if (!rows.At(r, 1).IsNull()) shops.insert(automation::CLng(rows.At(r, 1)));
  }
  entry.shops.assign(shops.begin(), shops.end());
  return entry;
}
}  // namespace

std::vector<CancelledDay> CheckCancel(Session& session, const std::string& ids, const std::string& reason) {
  try {
    RequireCancel(session, reason);
    return StandingDailyBills(session, "ids", ids);
  } catch (const Refusal& e) {
    AuditApart(session, AuditEntry{"cancel", "refused", {}, "", 0, "", "daily bills " + ids + ": " + e.message});
    throw;
  }
}

CancelResult CancelClosings(Session& session, const std::string& ids, const std::string& reason,
                            automation::DispatchPtr events) {
  std::vector<CancelledDay> days = CheckCancel(session, ids, reason);
  auto cancel = session.Create("clsUnBalData");
  CancelResult result;
  for (const CancelledDay& day : days) {
    // Each daily bill in a unit of its own, run again after a conflict with
    // a concurrent cancellation (which then refuses a bill already reopened).
    // Its row names the bills it held, read before the cancellation frees them.
    std::string message;
    AuditEntry entry;
    data::ClearDatabaseFault();
    bool cancelled = false;
    try {
      cancelled = host::RunUnitOfWork([&](host::HostUnitOfWork& unit) {
        entry = DayEntry(session, day, "done", "reason: " + reason);
        std::vector<Variant> args{Variant(events), Variant(session.db()), Variant(std::to_string(day.id)),
                                  Variant("")};
        const bool ok =
            automation::CBool(CallMember(cancel, "UnBalData", args)) && unit.last_vote() == host::Vote::Complete;
        message = args[3].string();
        if (!ok) return false;
        // The day's cash count goes with it; its audit row keeps what the count said.
        hostlib::HostDatabase db(session.db());
        if (auto count = ReadCount(db, day.id)) {
          RemoveCount(db, day.id);
          entry.message += "; removed " + DescribeCount(*count);
        }
        Audit(session, entry);
        try {
          unit.Commit();
        } catch (const automation::AutomationError& e) {
          if (data::IsCommitInDoubt(e)) throw;
          message = e.description();  // not committed: this bill's failure
          return false;
        }
        return true;
      });
    } catch (const automation::AutomationError& e) {
      if (!data::IsCommitInDoubt(e)) throw;
      OutcomeUnknown unknown = InDoubt(e);
      entry.result = "unknown";
      entry.message += "; " + unknown.causes.front();
      AuditApart(session, entry);
      std::vector<std::string> lines{unknown.message};
      lines.insert(lines.end(), unknown.causes.begin(), unknown.causes.end());
      result.unknown.push_back(CancelFailure{day.id, day.bill_no, std::move(lines)});
      continue;
    }
    if (cancelled) {
      result.cancelled.push_back(day);
    } else {
      std::vector<std::string> lines = Lines(message);
      if (lines.empty()) lines.push_back("反日结失败！");
      if (std::string cause = DatabaseCause(); !cause.empty()) lines.push_back(std::move(cause));
      entry.result = "failed";
      for (const std::string& line : lines) entry.message += "; " + line;
      AuditApart(session, entry);
      result.failed.push_back(CancelFailure{day.id, day.bill_no, std::move(lines)});
    }
  }
  return result;
}

}  // namespace tovan::backoffice
