// `dailybalance option`: the host's known system options, listed, read or set.
#include <iostream>

#include "backoffice/input_checks.h"
#include "backoffice/json_forms.h"
#include "backoffice/system_options.h"
#include "cli/command_support.h"
#include "cli/commands.h"
#include "cli/json_values.h"
#include "cli/table.h"

namespace tovan::cli {

namespace bo = backoffice;

int RunOption(const OptionOptions& options) {
  return RunCommand([&] {
    if (options.list != options.key.empty())
      throw bo::Refusal("", "give --list, or SECTION KEY [VALUE]");
    if (!options.list) {
      bo::WordArgument("section", options.section);
      bo::WordArgument("key", options.key);
    }
    bo::Session session({options.db, options.user_id});
    if (options.list) {
      std::vector<bo::OptionValue> all = bo::ListOptions(session);
      if (options.json) {
        Json out = Json::array();
        for (const bo::OptionValue& o : all) out.push_back(bo::ToJson(o));
        std::cout << ToText(Json{{"options", out}}) << "\n";
        return kExitOk;
      }
      Table table({"Option", "Value", "Allowed", "Meaning"});
      for (const bo::OptionValue& o : all)
        table.Add({std::string(o.option->section) + " " + o.option->key, o.value.value_or("(not set)"),
                   std::to_string(o.option->low) + ".." + std::to_string(o.option->high) +
                       (o.option->decimals > 0 ? " (amount)" : ""),
                   o.option->meaning});
      table.Print(std::cout);
      return kExitOk;
    }
    bo::OptionValue value = options.value ? bo::SetOption(session, options.section, options.key, *options.value)
                                          : bo::ReadOption(session, options.section, options.key);
    if (options.json) {
      std::cout << ToText(bo::ToJson(value)) << "\n";
    } else {
      std::cout << value.option->section << "/" << value.option->key << " = " << value.value.value_or("(not set)") << "\n";
    }
    return kExitOk;
  });
}

}  // namespace tovan::cli
