#include "component/context_binding.h"

#include <cstdio>
#include <cstdlib>

#include "platform/host/global_context.h"

namespace tovan::component {

ContextBinding::ContextBinding()
    : data_context_(host::GlobalContext::ForThread().GetDataContext()), user_(data_context_->GetUserSession()) {}

void ContextBinding::OpenDataContext(const std::string& data_source) {
  data_context_ = host::GlobalContext::ForThread().GetDataContext();
  data_context_->OpenDsn(data_source);
  user_ = data_context_->GetUserSession();
}

host::CallScope ContextBinding::Scope(const automation::InterfaceDesc& iface, std::string_view member) const {
  const int index = iface.Find(member, automation::InvokeKind::Get);
  if (index < 0) {
    std::fprintf(stderr, "%s has no member %.*s\n", iface.name.c_str(), static_cast<int>(member.size()), member.data());
    std::abort();
  }
  return host::CallScope(data_context_, iface.members[index].reads_only ? host::CallScope::Access::kReadOnly
                                                                        : host::CallScope::Access::kReadWrite);
}

}  // namespace tovan::component
