// Checks of command-line input, before anything reaches the component: the
// component trusts its host, so the command is where hostile or mistyped
// input stops (exit 2 with a one-line message naming the option).
//
// Thread-safety: pure functions.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/automation/variant.h"

namespace tovan::cli {

// Raised for input the command refuses; `what` is the one-line message.
struct BadInput {
  std::string message;
};

// A list of interior IDs "12,15,20": positive whole numbers of at most nine
// digits, no blanks, no empty parts.  Answers it unchanged.
std::string IdListArgument(const std::string& option, const std::string& text);
// An id list given on the command line as above, or as "@FILE" (read from
// FILE) or "-" (read from standard input), for lists longer than an argument
// list holds.  In a file, ids are separated by commas or line ends.  Answers
// the list in the command-line form.
std::string IdListInput(const std::string& option, const std::string& text);
// The content of FILE for an "@FILE" argument ("@-": standard input).
std::string ArgumentFile(const std::string& option, const std::string& text);
// One positive interior ID.
int32_t IdArgument(const std::string& option, const std::string& text);
// A whole-day date yyyy-mm-dd.
automation::Date DateArgument(const std::string& option, const std::string& text);
// A decimal number (no exponent tricks, no blanks).
double NumberArgument(const std::string& option, const std::string& text);
// A decimal number from `low` to `high`.
double NumberArgument(const std::string& option, const std::string& text, double low, double high);
// A name the component writes between quotes (a settlement account): no
// quote and no control character; at most `max_bytes` bytes.
std::string NameArgument(const std::string& option, const std::string& text, size_t max_bytes = 80);
// A word of letters, digits and underscores (an option section or key).
std::string WordArgument(const std::string& option, const std::string& text);
// "sales" -> "1", "returns" -> "2".
std::string BillTypeArgument(const std::string& option, const std::string& text);
// The database file of --db must exist and be a database (commands other
// than init never create one).
void ExistingDatabase(const std::string& data_source);
// Where init may create a database: a file path (not another scheme) in a
// directory that exists.
void NewDatabasePath(const std::string& data_source);

}  // namespace tovan::cli
