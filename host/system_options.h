// The host's system options (t_SystemProfile), read and set by the host's
// administration (the `option` command), not by the component.
//
// Errors: AutomationError (kDatabaseError) from the database.
// Thread-safety: uses the calling thread's host context.
#pragma once

#include <optional>
#include <string>

namespace tovan::hostlib {

std::optional<std::string> ReadSystemOption(const std::string& data_source, const std::string& section,
                                            const std::string& key);
// Sets (or adds) the option, committed at once.
void WriteSystemOption(const std::string& data_source, const std::string& section, const std::string& key,
                       const std::string& value);

}  // namespace tovan::hostlib
