#include <iostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/json_values.h"
#include "platform/automation/error.h"
#include "host/events_switch.h"
#include "host/host_process.h"
#include "platform/automation/registry.h"
#include "platform/data/recordset.h"
#include "platform/host/data_context.h"
#include "platform/host/global_context.h"

namespace tovan::cli {

using automation::AutomationError;
using automation::Variant;
namespace vberr = automation::vberr;

namespace {
struct InvokeContext {
  std::string db;
  std::vector<std::shared_ptr<hostlib::EventsSwitch>> recorders;
};

// {"sql": "..."} and {"connection": true}: objects on the host's bound
// connection; {"events": "record"}: a recording progress display.
bool MakeHostValue(const std::string& key, const Json& value, Variant& out, void* context) {
  auto& invoke = *static_cast<InvokeContext*>(context);
  const std::string& db = invoke.db;
  if (key == "events") {
    if (value != "record") throw BadArgument("{\"events\": ...} takes \"record\"");
    invoke.recorders.push_back(hostlib::MakeRecordingSwitch());
    out = Variant(invoke.recorders.back());
    return true;
  }
  if (key != "sql" && key != "connection") return false;
  if (key == "sql" && !value.is_string()) throw BadArgument("{\"sql\": ...} takes the statement as text");
  try {
    auto data_context = host::GlobalContext::ForThread().GetDataContext();
    data_context->OpenDsn(db);
    auto connection = data_context->GetConnection();
    if (key == "connection") {
      out = Variant(connection);
      return true;
    }
    // The recordset is read in a read-only unit: a statement that writes
    // instead of reading is refused and changes nothing.
    host::HostUnitOfWork read_only(host::HostUnitOfWork::Access::kReadOnly);
    auto rs = data::Recordset::Create();
    rs->Open(value.get<std::string>(), connection, data::ado::kOpenStatic, data::ado::kLockOptimistic);
    out = Variant(rs);
    return true;
  } catch (const AutomationError& e) {
    throw BadArgument(e.description());
  }
}
}  // namespace

int RunInvoke(const InvokeOptions& options) {
  hostlib::HostProcessOptions host;
  host.data_source = options.db;
  host.user_id = static_cast<int16_t>(options.user_id);
  host.app_type = options.app_type;
  hostlib::StartHostProcess(host);

  InvokeContext context{options.db, {}};
  std::vector<Variant> args;
  for (size_t i = 0; i < options.args.size(); ++i) {
    // No JSON text starts with "@": an argument too long for the command line comes from a file.
    const std::string& arg = options.args[i];
    bool from_file = !arg.empty() && arg[0] == '@';
    std::string name = "argument " + std::to_string(i + 1);
    Json parsed;
    try {
      parsed = Json::parse(from_file ? ArgumentFile(name, arg) : arg, nullptr, /*allow_exceptions=*/false);
    } catch (const backoffice::Refusal& e) {
      PrintError(e.field + ": " + e.message);
      return kExitBadInput;
    }
    if (parsed.is_discarded()) {
      PrintError(name + " is not JSON: " + (from_file ? "the content of " + arg.substr(1) : arg));
      return kExitBadInput;
    }
    try {
      args.push_back(VariantFromJson(parsed, MakeHostValue, &context));
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

  if (auto error = host::GlobalContext::ForThread().GetDataContext()->TakeUnitError()) {
    PrintError("the unit of work could not be committed: " + *error);
    return kExitFailed;
  }

  Json out = Json::object();
  out["result"] = JsonFromVariant(result);
  Json written = Json::array();
  for (const Variant& a : args) written.push_back(JsonFromVariant(a));
  out["args"] = written;
  Json events = Json::array();
  for (const auto& recorder : context.recorders) {
    for (const auto& [event, value] : static_cast<hostlib::RecordingDisplay&>(recorder->display()).calls())
      events.push_back(Json::array({event, JsonFromVariant(value)}));
  }
  out["events"] = events;
  std::cout << ToText(out) << "\n";
  return kExitOk;
}

}  // namespace tovan::cli
