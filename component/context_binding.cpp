#include "component/context_binding.h"

#include "platform/host/global_context.h"

namespace tovan::component {

ContextBinding::ContextBinding()
    : data_context_(host::GlobalContext::ForThread().GetDataContext()), user_(data_context_->GetUserSession()) {}

void ContextBinding::OpenDataContext(const std::string& data_source) {
  data_context_ = host::GlobalContext::ForThread().GetDataContext();
  data_context_->OpenDsn(data_source);
  user_ = data_context_->GetUserSession();
}

}  // namespace tovan::component
