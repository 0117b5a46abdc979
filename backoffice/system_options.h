// The host's system options that this back office knows, each with its
// type and allowed values: read, listed and set for both front ends.  A key
// that is not known is refused with the known ones named, so a typo never
// makes a new option.
//
// Errors: Refusal ("key" for an unknown option, "value" for a value out of
// its type); AutomationError from the database.
//
// Thread-safety: KnownOptions is immutable; the rest use the calling
// thread's session.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "backoffice/session.h"

namespace tovan::backoffice {

struct KnownOption {
  const char* section;
  const char* key;
  long low, high;  // from low to high; whole numbers from 0 to 1 are a switch
  const char* meaning;
  int decimals = 0;  // 2: an amount in 元 and fen
};
const std::vector<KnownOption>& KnownOptions();

struct OptionValue {
  const KnownOption* option;
  std::optional<std::string> value;  // nullopt: not set
};

std::vector<OptionValue> ListOptions(Session& session);
OptionValue ReadOption(Session& session, const std::string& section, const std::string& key);
// Checks the operator's right (an admin's) and the value against the
// option's type, and sets it, committed at once with its audit row.
OptionValue SetOption(Session& session, const std::string& section, const std::string& key, const std::string& value);

}  // namespace tovan::backoffice
