#include "host/host_process.h"

#include "host/stored_procedures.h"
#include "platform/host/global_context.h"
#include "platform/host/host_objects.h"

namespace tovan::hostlib {

void StartHostProcess(const HostProcessOptions& options) {
  auto& global = host::GlobalContext::ForThread();
  global.SetSharedProperty(host::CurrentProcessId(), "PropsString", automation::Variant(options.data_source));
  auto properties = std::make_shared<host::ProcessProperties>();
  properties->Set("AppType", automation::Variant(options.app_type));
  host::RegisterProcessProperties(properties);
  global.SetUserId(options.user_id);
  global.AddConnectionInitializer(RegisterStoredProcedures);
}

}  // namespace tovan::hostlib
