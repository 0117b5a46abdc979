#include "backoffice/cash_count.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "backoffice/field_values.h"
#include "backoffice/input_checks.h"
#include "backoffice/operators.h"
#include "backoffice/sign_in.h"
#include "host/host_database.h"
#include "host/system_options.h"
#include "platform/automation/text.h"

namespace tovan::backoffice {

using automation::Variant;

namespace {
// Amounts are compared in whole fen, so that 0.1 + 0.2 counts as 0.30.
int64_t Fen(double amount) { return static_cast<int64_t>(std::llround(amount * 100.0)); }
double Yuan(int64_t fen) { return static_cast<double>(fen) / 100.0; }

constexpr int64_t kDenominationsFen[] = {10000, 5000, 2000, 1000, 500, 100, 50, 10};
constexpr int32_t kMostPieces = 1000000;

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// "100x12": twelve notes of 100 元.
CountPieces PiecesArgument(const std::string& field, const std::string& text) {
  const size_t x = text.find_first_of("xX*");
  if (x == std::string::npos) throw Refusal(field, "not DENOMINATIONxPIECES: " + text);
  const double denomination = NumberArgument(field, Trimmed(text.substr(0, x)));
  if (std::find(std::begin(kDenominationsFen), std::end(kDenominationsFen), Fen(denomination)) ==
          std::end(kDenominationsFen) ||
      std::fabs(denomination * 100 - static_cast<double>(Fen(denomination))) > 1e-6)
    throw Refusal(field, "no note or coin of " + Trimmed(text.substr(0, x)) + " 元 (100, 50, 20, 10, 5, 1, 0.5, 0.1)");
  const std::string count = Trimmed(text.substr(x + 1));
  if (count.empty() || count.size() > 7 || count.find_first_not_of("0123456789") != std::string::npos ||
      std::stol(count) > kMostPieces)
    throw Refusal(field, "not a number of pieces: " + count);
  return CountPieces{Yuan(Fen(denomination)), static_cast<int32_t>(std::stol(count))};
}

std::string Money(double amount) { return fmt::format("{:.2f}", Yuan(Fen(amount))); }

std::string PiecesText(const std::vector<CountPieces>& pieces) {
  std::string out;
  for (const CountPieces& p : pieces)
    out += (out.empty() ? "" : "+") + automation::NumberToText(p.denomination) + "x" + std::to_string(p.pieces);
  return out;
}

// The method an entry names: its id, number or name among the expected ones
// first, then any settlement method (which the closing does not book).
const ExpectedAmount* FindExpected(const std::vector<ExpectedAmount>& expected, const std::string& method,
                                   hostlib::HostDatabase& db) {
  for (const ExpectedAmount& e : expected)
    if (automation::EqualsNoCase(e.method, method) || std::to_string(e.method_id) == method) return &e;
  auto rows = db.Query("SELECT FItemID FROM t_LS_Settle WHERE FNumber=?1 OR FName=?1", {Variant(method)});
  for (size_t r = 0; r < rows.RowCount(); ++r)
    for (const ExpectedAmount& e : expected)
      if (e.method_id == FieldLong(rows.At(r, 0))) return &e;
  return nullptr;
}

std::string MethodNames(const std::vector<ExpectedAmount>& methods) {
  std::vector<std::string> names;
  for (const ExpectedAmount& e : methods) names.push_back(e.method);
  return names.empty() ? "none" : NameSome(names, names.size());
}

std::string OperatorName(hostlib::HostDatabase& db, int32_t id) {
  return id == 0 ? "" : FieldText(db.Scalar("SELECT FName FROM t_Users WHERE FUserID=?1", {Variant(id)}));
}
}  // namespace

CountEntry CountEntryArgument(const std::string& field, const std::string& text) {
  const size_t equals = text.rfind('=');
  if (equals == std::string::npos) throw Refusal(field, "not METHOD=AMOUNT: " + text);
  CountEntry entry;
  entry.method = NameArgument(field, Trimmed(text.substr(0, equals)));
  const std::string amount = Trimmed(text.substr(equals + 1));
  if (amount.find_first_of("xX*") != std::string::npos) {
    int64_t fen = 0;
    for (size_t start = 0;;) {
      const size_t plus = amount.find('+', start);
      CountPieces pieces = PiecesArgument(field, amount.substr(start, plus - start));
      fen += Fen(pieces.denomination) * pieces.pieces;
      entry.pieces.push_back(pieces);
      if (plus == std::string::npos) break;
      start = plus + 1;
    }
    entry.amount = Yuan(fen);
    return entry;
  }
  const double value = NumberArgument(field, amount, -1e12, 1e12);
  if (std::fabs(value * 100 - static_cast<double>(Fen(value))) > 1e-6)
    throw Refusal(field, "an amount has at most two decimals: " + amount);
  entry.amount = Yuan(Fen(value));
  return entry;
}

std::string CountNoteArgument(const std::string& field, const std::string& text) {
  const bool control =
      std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
  if (text.size() > 500 || control) throw Refusal(field, "a note of at most 500 bytes on one line");
  return Trimmed(text);
}

CountRules ReadCountRules(Session& session) {
  CountRules rules;
  if (auto required = hostlib::ReadSystemOption(session.db(), "POS", "CountRequired"))
    rules.required = Trimmed(*required) == "1";
  if (auto most = hostlib::ReadSystemOption(session.db(), "POS", "MaxCountDifference")) {
    auto value = automation::ParseNumber(Trimmed(*most));
    // An option that does not read as an amount tolerates nothing, rather than anything.
    rules.max_difference = value && *value > 0 ? Yuan(Fen(*value)) : 0;
  }
  return rules;
}

int32_t VerifySignOff(Session& session, const CountSignOff& sign_off) {
  const int32_t id = ClaimedOperator(session, sign_off.user);
  std::optional<Operator> supervisor = id == 0 ? std::nullopt : FindOperator(session, id);
  // One answer for an unknown name and a wrong password: the sign-off must
  // not tell a closer which supervisors exist.
  if (!supervisor || !VerifyPassword(session, id, sign_off.password))
    throw Refusal("signOff", kWrongSignOff).Worded("wrongSignOff");
  if (supervisor->role == Role::kCloser)
    throw Refusal("signOff", supervisor->name + " is a closer: a count beyond the tolerance needs a supervisor's sign-off")
        .Worded("signOffByCloser", {{"name", supervisor->name}});
  return id;
}

std::optional<CashCount> SettleCount(Session& session, const CashCountInput* input,
                                     const std::vector<ExpectedAmount>& expected, int32_t signed_off_by) {
  const CountRules rules = ReadCountRules(session);
  if (input == nullptr || input->entries.empty()) {
    if (rules.required)
      throw Refusal("count", "a cash count is required before closing: count " + MethodNames(expected))
          .Worded("countRequired", {{"methods", MethodNames(expected)}});
    if (input != nullptr && input->sign_off)
      throw Refusal("signOff", "a sign-off goes with a count, and none was given");
    return std::nullopt;
  }
  hostlib::HostDatabase db(session.db());
  CashCount count;
  count.note = input->note;
  count.max_difference = rules.max_difference;
  std::map<int32_t, const CountEntry*> counted;
  for (const CountEntry& entry : input->entries) {
    const ExpectedAmount* method = FindExpected(expected, entry.method, db);
    if (method == nullptr)
      throw Refusal("count", entry.method + " is not a settlement method of this closing (it books " +
                                 MethodNames(expected) + ")")
          .Worded("countNotBooked", {{"method", entry.method}, {"methods", MethodNames(expected)}});
    if (!counted.emplace(method->method_id, &entry).second)
      throw Refusal("count", method->method + " is counted twice").Worded("countedTwice", {{"method", method->method}});
  }
  std::vector<ExpectedAmount> missing;
  int64_t largest = 0;
  for (const ExpectedAmount& e : expected) {
    auto it = counted.find(e.method_id);
    if (it == counted.end()) {
      missing.push_back(e);
      continue;
    }
    CashCount::Line line{e.method_id, e.method, Yuan(Fen(e.amount)), it->second->amount, 0, it->second->pieces};
    const int64_t difference = Fen(line.counted) - Fen(line.expected);
    line.difference = Yuan(difference);
    largest = std::max<int64_t>(largest, difference < 0 ? -difference : difference);
    count.lines.push_back(std::move(line));
  }
  if (rules.required && !missing.empty())
    throw Refusal("count", "a cash count is required of every method: " + MethodNames(missing) + " not counted")
        .Worded("countMissing", {{"methods", MethodNames(missing)}});
  std::sort(count.lines.begin(), count.lines.end(), [](const auto& a, const auto& b) { return a.method_id < b.method_id; });

  const Operator* closer = session.acting();
  count.counted_by = session.user_id();
  count.counted_by_name = session.user_name();
  if (largest > Fen(rules.max_difference)) {
    const std::string beyond = "the count differs by up to " + Money(Yuan(largest)) + ", beyond the tolerance of " +
                               Money(rules.max_difference);
    const std::vector<std::pair<std::string, std::string>> values{{"largest", Money(Yuan(largest))},
                                                                  {"max", Money(rules.max_difference)}};
    if (count.note.empty()) throw Refusal("countNote", beyond + ": say why in the count's note").Worded("countNeedsNote", values);
    if (signed_off_by != 0) {
      count.signed_off_by = signed_off_by;
    } else if (closer != nullptr && closer->role != Role::kCloser) {
      count.signed_off_by = closer->id;  // a supervisor's own count is signed by its counting
    } else {
      throw Refusal("signOff", beyond + ": a supervisor must sign it off").Worded("countNeedsSignOff", values);
    }
    count.signed_off_by_name = OperatorName(db, count.signed_off_by);
  }
  return count;
}

void StoreCount(hostlib::HostDatabase& db, int32_t daily_bill_id, const CashCount& count) {
  db.Execute("INSERT INTO t_LS_CashCount (FDailyBillID, FUserID, FSupervisorID, FMaxDifference, FNote) "
             "VALUES (?1, ?2, ?3, ?4, ?5)",
             {Variant(daily_bill_id), Variant(count.counted_by), Variant(count.signed_off_by),
              Variant(count.max_difference), Variant(count.note)});
  for (const CashCount::Line& line : count.lines)
    db.Execute("INSERT INTO t_LS_CashCountEntry (FDailyBillID, FSettleID, FExpected, FCounted, FPieces) "
               "VALUES (?1, ?2, ?3, ?4, ?5)",
               {Variant(daily_bill_id), Variant(line.method_id), Variant(line.expected), Variant(line.counted),
                Variant(PiecesText(line.pieces))});
}

std::optional<CashCount> ReadCount(hostlib::HostDatabase& db, int32_t daily_bill_id) {
  auto head = db.Query(
      "SELECT c.FUserID, u.FName, c.FSupervisorID, s.FName, c.FMaxDifference, c.FNote FROM t_LS_CashCount c "
      "LEFT JOIN t_Users u ON u.FUserID=c.FUserID LEFT JOIN t_Users s ON s.FUserID=c.FSupervisorID "
      "WHERE c.FDailyBillID=?1",
      {Variant(daily_bill_id)});
  if (head.RowCount() == 0) return std::nullopt;
  CashCount count;
  count.counted_by = FieldLong(head.At(0, 0));
  count.counted_by_name = FieldText(head.At(0, 1));
  count.signed_off_by = FieldLong(head.At(0, 2));
  count.signed_off_by_name = FieldText(head.At(0, 3));
  count.max_difference = FieldNumber(head.At(0, 4));
  count.note = FieldText(head.At(0, 5));
  auto lines = db.Query(
      "SELECT e.FSettleID, m.FName, e.FExpected, e.FCounted, e.FPieces FROM t_LS_CashCountEntry e "
      "LEFT JOIN t_LS_Settle m ON m.FItemID=e.FSettleID WHERE e.FDailyBillID=?1 ORDER BY e.FSettleID",
      {Variant(daily_bill_id)});
  for (size_t r = 0; r < lines.RowCount(); ++r) {
    CashCount::Line line;
    line.method_id = FieldLong(lines.At(r, 0));
    line.method = FieldText(lines.At(r, 1));
    line.expected = Yuan(Fen(FieldNumber(lines.At(r, 2))));
    line.counted = Yuan(Fen(FieldNumber(lines.At(r, 3))));
    line.difference = Yuan(Fen(line.counted) - Fen(line.expected));
    const std::string pieces = FieldText(lines.At(r, 4));
    if (!pieces.empty()) line.pieces = CountEntryArgument("pieces", "x=" + pieces).pieces;
    count.lines.push_back(std::move(line));
  }
  return count;
}

void RemoveCount(hostlib::HostDatabase& db, int32_t daily_bill_id) {
  db.Execute("DELETE FROM t_LS_CashCountEntry WHERE FDailyBillID=?1", {Variant(daily_bill_id)});
  db.Execute("DELETE FROM t_LS_CashCount WHERE FDailyBillID=?1", {Variant(daily_bill_id)});
}

std::string DescribeCount(const CashCount& count) {
  std::string out = "count";
  for (const CashCount::Line& line : count.lines)
    out += (out == "count" ? " " : "; ") + line.method + " " + Money(line.counted) + " of " + Money(line.expected) +
           " (" + (line.difference > 0 ? "+" : "") + Money(line.difference) + ")";
  if (count.signed_off_by != 0) out += "; signed off by " + count.signed_off_by_name;
  if (!count.note.empty()) out += "; note: " + count.note;
  return out;
}

}  // namespace tovan::backoffice
