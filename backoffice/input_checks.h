// Checks of the operator's input that need no database: id lists, dates,
// numbers, names, words, bill types.  Both front ends run their raw text
// through these before anything reaches the database or the component,
// which trusts its host.
//
// Each check raises Refusal (kBadInput) naming `field` and the bad text,
// and answers the value otherwise.
//
// Thread-safety: pure functions.
#pragma once

#include <string>
#include <vector>

#include "backoffice/refusal.h"
#include "platform/automation/variant.h"

namespace tovan::backoffice {

// A list of interior IDs "12,15,20": positive whole numbers of at most nine
// digits, no blanks, no empty parts.  Answers it unchanged.
std::string IdListArgument(const std::string& field, const std::string& text);
// The ids of a checked list, in its order.
std::vector<std::string> SplitIds(const std::string& ids);
size_t IdCount(const std::string& ids);
// One positive interior ID.
int32_t IdArgument(const std::string& field, const std::string& text);
// A whole-day date yyyy-mm-dd of a real day.
automation::Date DateArgument(const std::string& field, const std::string& text);
// A decimal number (no exponent, no blanks); the second form also checks it
// lies from `low` to `high`.
double NumberArgument(const std::string& field, const std::string& text);
double NumberArgument(const std::string& field, const std::string& text, double low, double high);
// A name the component writes between quotes (a settlement account): no
// quote and no control character; at most `max_bytes` bytes.
std::string NameArgument(const std::string& field, const std::string& text, size_t max_bytes = 80);
// A word of letters, digits and underscores (an option section or key).
std::string WordArgument(const std::string& field, const std::string& text);
// "sales" -> "1", "returns" -> "2".
std::string BillTypeArgument(const std::string& field, const std::string& text);

// "a, b, c, d, e and 7 more": the first few of `values`, then a count, so
// that a message about a day's ids stays one readable line.
std::string NameSome(const std::vector<std::string>& values, size_t shown = 5);

}  // namespace tovan::backoffice
