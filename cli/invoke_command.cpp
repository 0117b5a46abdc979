#include <iostream>

#include "cli/commands.h"
#include "cli/json_values.h"
#include "platform/automation/error.h"
#include "platform/automation/registry.h"

namespace tovan::cli {

using automation::AutomationError;
using automation::Variant;
namespace vberr = automation::vberr;

int RunInvoke(const InvokeOptions& options) {
  std::vector<Variant> args;
  for (size_t i = 0; i < options.args.size(); ++i) {
    Json parsed = Json::parse(options.args[i], nullptr, /*allow_exceptions=*/false);
    if (parsed.is_discarded()) {
      PrintError("argument " + std::to_string(i + 1) + " is not JSON: " + options.args[i]);
      return kExitBadInput;
    }
    try {
      args.push_back(VariantFromJson(parsed));
    } catch (const BadArgument& e) {
      PrintError("argument " + std::to_string(i + 1) + ": " + e.what());
      return kExitBadInput;
    }
  }

  automation::DispatchPtr object;
  try {
    object = automation::CreateObject(options.prog_id);
  } catch (const AutomationError& e) {
    PrintError(e.description() + (e.number() == vberr::kCannotCreateObject ? " (run: dailybalance register)" : ""));
    return kExitBadInput;
  }

  Variant result;
  try {
    result = object->Invoke(options.member, automation::InvokeKind::Get, args);
  } catch (const AutomationError& e) {
    PrintError(e.source() + ": " + e.description() + " (error " + std::to_string(e.number()) + ")");
    // Calls the command could not make as asked are bad input; errors raised
    // by the member itself are failures of the operation.
    bool bad_call = e.number() == vberr::kMemberNotFound || e.number() == vberr::kWrongArgumentCount ||
                    e.number() == vberr::kArgumentNotOptional || e.number() == vberr::kTypeMismatch;
    return bad_call ? kExitBadInput : kExitFailed;
  }

  Json out = Json::object();
  out["result"] = JsonFromVariant(result);
  Json written = Json::array();
  for (const Variant& a : args) written.push_back(JsonFromVariant(a));
  out["args"] = written;
  out["events"] = Json::array();
  std::cout << ToText(out) << "\n";
  return kExitOk;
}

}  // namespace tovan::cli
