#include "backoffice/session.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "host/host_database.h"
#include "host/host_process.h"
#include "backoffice/database_fault.h"
#include "backoffice/operators.h"
#include "backoffice/refusal.h"
#include "platform/automation/error.h"
#include "platform/automation/registry.h"
#include "platform/data/backend.h"
#include "platform/data/connection.h"
#include "platform/data/open.h"
#include "platform/host/global_context.h"
#include "platform/host/host_objects.h"

namespace tovan::backoffice {

namespace {
constexpr const char* kComponentLibrary = "libTovanMDailyBalance.so";
constexpr const char* kHostLibrary = "libTovanHost.so";

bool HoldsHostSchema(const std::string& data_source) {
  auto connection = data::OpenConnection(data_source);
  return connection->backend()
      .ExecuteNative("SELECT to_regclass('\"t_LS_Retail\"') IS NOT NULL", {})
      .At(0, 0)
      .boolean();
}

// A server database must answer and hold the host's schema; what it says
// when it does not (unreachable, wrong password) is the one line shown.
void ExistingServerDatabase(const std::string& data_source) {
  bool holds = false;
  data::ClearDatabaseFault();
  try {
    holds = HoldsHostSchema(data_source);
  } catch (const automation::AutomationError& e) {
    // The server's words, and what they amount to (refused, shutting down) as the cause.
    Refusal refusal("db", e.description());
    if (std::string cause = DatabaseCause(); !cause.empty()) refusal.causes.push_back(std::move(cause));
    throw refusal;
  }
  if (!holds)
    throw Refusal("db", data::RedactedDataSource(data_source) +
                            " holds no host database (create one with: dailybalance init --db DSN)");
}
}  // namespace

std::string RegisterLibraries(bool unregister) {
  for (const char* library : {kComponentLibrary, kHostLibrary}) {
    std::string path = automation::LoadedServerFile(library);
    if (path.empty()) return std::string(library) + " is not loaded by this program";
    int32_t hr = automation::RegisterServer(path, unregister);
    if (hr != 0)
      return std::string(unregister ? "unregistering " : "registering ") + library + " (" + path + ") in " +
             automation::Registry::DefaultPath() + " failed (HRESULT " + std::to_string(hr) + ")";
  }
  return {};
}

void ExistingDatabase(const std::string& data_source) {
  if (data::IsServerDataSource(data_source)) return ExistingServerDatabase(data_source);
  std::string file = data::EmbeddedPath(data_source);
  std::error_code ec;
  if (file.empty() || !std::filesystem::is_regular_file(file, ec))
    throw Refusal("db", "no database at " + data_source + " (create one with: dailybalance init --db " +
                            data_source + ")");
  // An embedded database file starts with its format's signature.
  static constexpr char kSignature[] = "SQLite format 3";
  char head[sizeof kSignature] = {};
  std::ifstream in(file, std::ios::binary);
  if (!in.read(head, sizeof head) || std::memcmp(head, kSignature, sizeof kSignature) != 0)
    throw Refusal("db", data_source + " is not a host database");
}

void NewDatabasePath(const std::string& data_source) {
  if (data::IsServerDataSource(data_source)) {
    // A server database must hold no host schema yet; one that does not exist is made.
    bool has_schema = false;
    try {
      has_schema = HoldsHostSchema(data_source);
    } catch (const automation::AutomationError& e) {
      if (e.description().find("does not exist") == std::string::npos) throw Refusal("db", e.description());
    }
    if (has_schema) throw Refusal("db", data::RedactedDataSource(data_source) + " holds a host database already");
    return;
  }
  std::string file = data::EmbeddedPath(data_source);
  std::error_code ec;
  std::filesystem::path parent = std::filesystem::path(file).parent_path();
  if (file.empty() || std::filesystem::is_directory(file, ec) ||
      !(parent.empty() || std::filesystem::is_directory(parent, ec)))
    throw Refusal("db", "cannot create a database at " + data_source + " (a file path in an existing directory)");
}

Session::Session(const SessionOptions& options) : db_(options.db), user_id_(options.user_id) {
  ExistingDatabase(options.db);
  automation::Registry registry;
  if (!registry.FindByProgId("TovanMDailyBalance.clsData") || !registry.FindByProgId("TovanEBCGL.SystemProfile")) {
    if (std::string error = RegisterLibraries(false); !error.empty())
      throw automation::AutomationError(automation::vberr::kCannotCreateObject, "dailybalance", error);
    std::cerr << "dailybalance: registered the component in " << registry.path() << "\n";
  }
  if (options.user_id < 1 || options.user_id > 32767)
    throw Refusal("user", "not a user id (1 to 32767): " + std::to_string(options.user_id));
  hostlib::HostProcessOptions host;
  host.data_source = options.db;
  host.user_id = static_cast<int16_t>(options.user_id);
  host.app_type = options.app_type;
  hostlib::StartHostProcess(host);
  if (options.check_user) RefreshOperator();
}

void Session::RefreshOperator() {
  acting_.reset();
  std::optional<Operator> found = FindOperator(*this, user_id_);
  if (!found) throw Refusal("user", "no operator " + std::to_string(user_id_) + " among the host's users");
  if (!found->active) throw Refusal("user", "operator " + std::to_string(user_id_) + " " + found->name + " is disabled");
  acting_ = std::move(found);
}

automation::DispatchPtr Session::Create(const std::string& class_name) const {
  // Sessions of several operators may take turns on one thread: the objects
  // made now work as this session's user, on its data source.
  auto& global = host::GlobalContext::ForThread();
  global.SetUserId(static_cast<int16_t>(user_id_));
  global.SetSharedProperty(host::CurrentProcessId(), "PropsString", automation::Variant(db_));
  return automation::CreateObject("TovanMDailyBalance." + class_name);
}

automation::Variant CallMember(const automation::DispatchPtr& object, const char* member,
                               std::vector<automation::Variant>& args) {
  return object->Invoke(member, automation::InvokeKind::Get, args);
}

}  // namespace tovan::backoffice
