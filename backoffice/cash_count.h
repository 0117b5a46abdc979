// The cash count (点钞) of a closing: what the closer counted for the
// settlement methods the closing books, against what the selected bills
// expect (the component's settlement sums), the differences, a note, and a
// supervisor's sign-off where a difference is beyond the tolerance.
//
// The count is written in the closing's unit of work, so a closing that
// fails stores none; a cancellation removes it with its day, and the audit
// trail keeps what it said.
//
// System options (section POS):
//  - CountRequired (0/1): a closing needs a count of every method it books;
//  - MaxCountDifference (an amount, default 0): the largest difference a
//    closer accepts alone.  Beyond it the count needs a note and the sign-off
//    of a supervisor (or admin): the closer's own when they are one, else the
//    one whose name and password come with the count.
//
// Errors: Refusal ("count" for a count that does not fit the closing,
// "countNote", "signOff"; all kBadInput); AutomationError from the database.
//
// Thread-safety: pure functions, or the calling thread's session and unit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "backoffice/session.h"

namespace tovan::hostlib {
class HostDatabase;
}

namespace tovan::backoffice {

// Cash by note and coin: so many pieces of one denomination (元).
struct CountPieces {
  double denomination = 0;  // 100, 50, 20, 10, 5, 1, 0.5 or 0.1
  int32_t pieces = 0;
};

// One method as the operator counted it.
struct CountEntry {
  std::string method;  // a settlement method's name, number or id
  double amount = 0;
  std::vector<CountPieces> pieces;  // empty: counted as one amount
};

// A supervisor's sign-off: who, and their password.
struct CountSignOff {
  std::string user;  // id or name
  std::string password;
};

struct CashCountInput {
  std::vector<CountEntry> entries;
  std::string note;
  std::optional<CountSignOff> sign_off;
};

// "NAME=AMOUNT" ("现金=1234.50") or "NAME=100x12+50x3+0.5x4" (notes and
// coins, whose sum is the amount).  Raises Refusal (`field`) for anything else.
CountEntry CountEntryArgument(const std::string& field, const std::string& text);
// A note of at most 500 bytes without control characters.
std::string CountNoteArgument(const std::string& field, const std::string& text);

// The count as stored with a daily bill.
struct CashCount {
  struct Line {
    int32_t method_id = 0;
    std::string method;  // its name
    double expected = 0, counted = 0, difference = 0;  // difference = counted - expected
    std::vector<CountPieces> pieces;
  };
  std::vector<Line> lines;  // by method id
  std::string note;
  int32_t counted_by = 0, signed_off_by = 0;  // signed_off_by 0: no sign-off was needed
  std::string counted_by_name, signed_off_by_name;
  double max_difference = 0;  // the tolerance it was accepted under
};

// The count options, read in the calling unit.
struct CountRules {
  bool required = false;
  double max_difference = 0;
};
CountRules ReadCountRules(Session& session);

// A settlement sum of the selection: what a method expects.
struct ExpectedAmount {
  int32_t method_id = 0;
  std::string method;
  double amount = 0;
};

// The supervisor who signs off, checked before the closing's unit begins
// (a password check is slow, and must not hold the closing's locks): their
// id, or Refusal ("signOff") for a wrong password, or someone who is not a
// supervisor or admin.
int32_t VerifySignOff(Session& session, const CountSignOff& sign_off);
// The refusal's message for a wrong name or password, one for both.
inline constexpr const char* kWrongSignOff = "the sign-off's operator or password is wrong";

// The count of a closing, settled against the rules and the expected sums:
// every entry names a method the closing books, once; with CountRequired
// every such method is counted; beyond the tolerance the note and a sign-off
// (`signed_off_by` from VerifySignOff, or the closer's own role) are there.
// nullopt when no count was given and none is required.
std::optional<CashCount> SettleCount(Session& session, const CashCountInput* input,
                                     const std::vector<ExpectedAmount>& expected, int32_t signed_off_by);

// Storage with the daily bill, in the calling unit.
void StoreCount(hostlib::HostDatabase& db, int32_t daily_bill_id, const CashCount& count);
std::optional<CashCount> ReadCount(hostlib::HostDatabase& db, int32_t daily_bill_id);
void RemoveCount(hostlib::HostDatabase& db, int32_t daily_bill_id);

// One line for the audit trail: "count 现金 1,200.00/1,234.50 (-34.50); ...".
std::string DescribeCount(const CashCount& count);

}  // namespace tovan::backoffice
