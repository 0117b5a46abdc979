#include "backoffice/system_options.h"

#include "backoffice/audit.h"
#include "backoffice/input_checks.h"
#include "backoffice/operators.h"
#include "backoffice/refusal.h"
#include "host/system_options.h"
#include "platform/host/data_context.h"
#include "platform/automation/text.h"

namespace tovan::backoffice {

const std::vector<OptionSpec>& KnownOptions() {
  static const std::vector<OptionSpec> options = {
      {"IC", "CurrentYear", 1900, 9999, "year of the current period"},
      {"IC", "CurrentPeriod", 1, 12, "month of the current period; closings date from its first day on"},
      {"IC", "AllowNegativeStock", 0, 1, "1: the stock audit lets stock go below zero"},
      {"IC", "UnderStock", 0, 1, "1: the stock check looks at batch-managed goods only"},
  };
  return options;
}

namespace {
const OptionSpec& Find(const std::string& section, const std::string& key) {
  for (const OptionSpec& spec : KnownOptions())
    if (automation::EqualsNoCase(spec.section, section) && automation::EqualsNoCase(spec.key, key)) return spec;
  std::vector<std::string> known;
  for (const OptionSpec& spec : KnownOptions()) known.push_back(std::string(spec.section) + " " + spec.key);
  throw Refusal("key", "no option " + section + " " + key + " (known: " + NameSome(known, known.size()) + ")");
}
}  // namespace

std::vector<OptionValue> ListOptions(Session& session) {
  std::vector<OptionValue> out;
  for (const OptionSpec& spec : KnownOptions())
    out.push_back(OptionValue{&spec, hostlib::ReadSystemOption(session.db(), spec.section, spec.key)});
  return out;
}

OptionValue ReadOption(Session& session, const std::string& section, const std::string& key) {
  const OptionSpec& spec = Find(section, key);
  return OptionValue{&spec, hostlib::ReadSystemOption(session.db(), spec.section, spec.key)};
}

OptionValue SetOption(Session& session, const std::string& section, const std::string& key,
                      const std::string& value) {
  const std::string what = "set " + section + " " + key + " to " + value;
  try {
    RequireAdmin(session, "change options");
    const OptionSpec& spec = Find(section, key);
    const bool whole =
        !value.empty() && value.size() <= 9 && value.find_first_not_of("0123456789") == std::string::npos;
    if (!whole || std::stol(value) < spec.low || std::stol(value) > spec.high)
      throw Refusal("value", std::string(spec.section) + " " + spec.key + " takes a whole number from " +
                                 std::to_string(spec.low) + " to " + std::to_string(spec.high) + ", not " + value);
    const std::string normal = std::to_string(std::stol(value));
    // The option and its audit row commit together.
    host::HostUnitOfWork unit;
    hostlib::WriteSystemOption(session.db(), spec.section, spec.key, normal);
    Audit(session, AuditEntry{"option", "done", {}, "", 0, "", what});
    unit.Commit();
    return OptionValue{&spec, normal};
  } catch (const Refusal& e) {
    AuditApart(session, AuditEntry{"option", "refused", {}, "", 0, "", what + ": " + e.message});
    throw;
  }
}

}  // namespace tovan::backoffice
