#include "platform/host/global_context.h"

#include <unistd.h>

#include "platform/host/data_context.h"

namespace tovan::host {

GlobalContext& GlobalContext::ForThread() {
  // Module state the component needs, one per thread and never shared.
  thread_local GlobalContext context;
  return context;
}

GlobalContext::GlobalContext() = default;

std::shared_ptr<DataContext> GlobalContext::GetDataContext() {
  if (!data_context_) data_context_ = std::make_shared<DataContext>(*this);
  return data_context_;
}

void GlobalContext::SetSharedProperty(int32_t process_id, const std::string& name, automation::Variant value) {
  shared_properties_[{process_id, name}] = std::move(value);
}

automation::Variant GlobalContext::SharedProperty(int32_t process_id, const std::string& name) const {
  auto it = shared_properties_.find({process_id, name});
  return it == shared_properties_.end() ? automation::Variant() : it->second;
}

void GlobalContext::SetWindowProperty(const std::string& key, automation::DispatchPtr object) {
  if (object) {
    window_properties_[key] = std::move(object);
  } else {
    window_properties_.erase(key);
  }
}

automation::DispatchPtr GlobalContext::WindowProperty(const std::string& key) const {
  auto it = window_properties_.find(key);
  return it == window_properties_.end() ? nullptr : it->second;
}

void GlobalContext::AddConnectionInitializer(std::function<void(data::Connection&)> initializer) {
  initializers_.push_back(std::move(initializer));
}

void GlobalContext::Reset() {
  if (data_context_) data_context_->CloseAll();
  data_context_.reset();
  shared_properties_.clear();
  window_properties_.clear();
  user_id_ = 1;
  pending_events_ = nullptr;
  initializers_.clear();
}

int32_t CurrentProcessId() { return static_cast<int32_t>(::getpid()); }

}  // namespace tovan::host
