#include "backoffice/system_options.h"

#include <fmt/format.h>

#include <cmath>

#include "backoffice/audit.h"
#include "backoffice/input_checks.h"
#include "backoffice/operators.h"
#include "backoffice/refusal.h"
#include "host/system_options.h"
#include "platform/host/data_context.h"
#include "platform/automation/text.h"

namespace tovan::backoffice {

const std::vector<KnownOption>& KnownOptions() {
  static const std::vector<KnownOption> options = {
      {"IC", "CurrentYear", 1900, 9999, "year of the current period"},
      {"IC", "CurrentPeriod", 1, 12, "month of the current period; closings date from its first day on"},
      {"IC", "AllowNegativeStock", 0, 1, "1: the stock audit lets stock go below zero"},
      {"IC", "UnderStock", 0, 1, "1: the stock check looks at batch-managed goods only"},
      {"POS", "CountRequired", 0, 1, "1: a closing needs a cash count of every settlement method it books"},
      {"POS", "MaxCountDifference", 0, 1000000,
       "largest count difference a closer accepts alone; beyond it a note and a supervisor's sign-off", 2},
  };
  return options;
}

namespace {
const KnownOption& Find(const std::string& section, const std::string& key) {
  for (const KnownOption& known : KnownOptions())
    if (automation::EqualsNoCase(known.section, section) && automation::EqualsNoCase(known.key, key)) return known;
  std::vector<std::string> names;
  for (const KnownOption& known : KnownOptions()) names.push_back(std::string(known.section) + " " + known.key);
  throw Refusal("key", "no option " + section + " " + key + " (known: " + NameSome(names, names.size()) + ")");
}

// The value as stored: a whole number, or an amount with two decimals.
std::string OptionText(const KnownOption& known, const std::string& value) {
  const std::string range = std::to_string(known.low) + " to " + std::to_string(known.high);
  const std::string name = std::string(known.section) + " " + known.key;
  if (known.decimals > 0) {
    auto amount = automation::ParseNumber(value);
    if (value.empty() || value.find_first_of(" \teEdD&") != std::string::npos || !amount || *amount < known.low ||
        *amount > known.high || std::fabs(*amount * 100 - std::round(*amount * 100)) > 1e-6)
      throw Refusal("value", name + " takes an amount from " + range + " with at most two decimals, not " + value);
    return fmt::format("{:.2f}", std::round(*amount * 100) / 100);
  }
  const bool whole =
      !value.empty() && value.size() <= 9 && value.find_first_not_of("0123456789") == std::string::npos;
  if (!whole || std::stol(value) < known.low || std::stol(value) > known.high)
    throw Refusal("value", name + " takes a whole number from " + range + ", not " + value);
  return std::to_string(std::stol(value));
}
}  // namespace

std::vector<OptionValue> ListOptions(Session& session) {
  std::vector<OptionValue> out;
  for (const KnownOption& known : KnownOptions())
    out.push_back(OptionValue{&known, hostlib::ReadSystemOption(session.db(), known.section, known.key)});
  return out;
}

OptionValue ReadOption(Session& session, const std::string& section, const std::string& key) {
  const KnownOption& known = Find(section, key);
  return OptionValue{&known, hostlib::ReadSystemOption(session.db(), known.section, known.key)};
}

OptionValue SetOption(Session& session, const std::string& section, const std::string& key,
                      const std::string& value) {
  const std::string what = "set " + section + " " + key + " to " + value;
  try {
    RequireAdmin(session, "change options");
    const KnownOption& known = Find(section, key);
    const std::string normal = OptionText(known, value);
    // The option and its audit row commit together.
    host::HostUnitOfWork unit;
    hostlib::WriteSystemOption(session.db(), known.section, known.key, normal);
    Audit(session, AuditEntry{"option", "done", {}, "", 0, "", what});
    unit.Commit();
    return OptionValue{&known, normal};
  } catch (const Refusal& e) {
    AuditApart(session, AuditEntry{"option", "refused", {}, "", 0, "", what + ": " + e.message});
    throw;
  }
}

}  // namespace tovan::backoffice
