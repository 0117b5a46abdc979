// The command line's side of input: ids given in a file or on standard
// input, and refusals printed as the one line a command answers with.
//
// Thread-safety: ArgumentFile and IdListInput read standard input when asked.
#pragma once

#include <string>

#include "backoffice/refusal.h"

namespace tovan::cli {

// The content of FILE for an "@FILE" argument ("@-": standard input);
// raises backoffice::Refusal (`field`) when it cannot be read or holds
// more than 64 MiB.
std::string ArgumentFile(const std::string& field, const std::string& text);
// An id list given on the command line ("12,15"), or as "@FILE" or "-"
// (standard input) for lists longer than an argument list holds; in a file,
// ids are separated by commas or line ends.  Answers the checked list.
std::string IdListInput(const std::string& field, const std::string& text);

// The command-line name of a refused field: "inCust" is "--in-cust"; the
// positional ones keep their upper-case names.
std::string OptionName(const std::string& field);
// Prints "dailybalance: <message>" on stderr as one line.
void PrintError(const std::string& message);
// Prints the refusal as one line naming the option; answers exit code 2.
int Refused(const backoffice::Refusal& refusal);

}  // namespace tovan::cli
