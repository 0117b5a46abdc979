#include "platform/automation/inproc_server.h"

#include "platform/automation/error.h"
#include "platform/automation/registry.h"

namespace tovan::automation {

Guid IidUnknown() { return Guid::Of("{00000000-0000-0000-C000-000000000046}"); }
Guid IidClassFactory() { return Guid::Of("{00000001-0000-0000-C000-000000000046}"); }

class InprocServer::Factory : public ClassFactory {
 public:
  Factory(const ClassDesc& cls, Maker maker) : cls_(cls), maker_(std::move(maker)) {}
  DispatchPtr CreateInstance() override { return maker_(); }
  const ClassDesc& cls() const { return cls_; }

 private:
  const ClassDesc& cls_;
  Maker maker_;
};

InprocServer::InprocServer(const TypeLibDesc& lib, std::vector<Maker> makers, const void* address_in_library)
    : lib_(lib), address_in_library_(address_in_library) {
  for (size_t i = 0; i < lib.classes.size() && i < makers.size(); ++i)
    factories_.push_back(std::make_unique<Factory>(*lib.classes[i], std::move(makers[i])));
}

InprocServer::~InprocServer() = default;

int32_t InprocServer::RegisterServer() {
  std::string path = LibraryFileOf(address_in_library_);
  if (path.empty()) return hresult::kSelfRegClass;
  try {
    Registry().RegisterTypeLib(lib_, path);
  } catch (const AutomationError&) {
    return hresult::kSelfRegClass;
  }
  return hresult::kOk;
}

int32_t InprocServer::UnregisterServer() {
  try {
    Registry().UnregisterTypeLib(lib_);
  } catch (const AutomationError&) {
    return hresult::kSelfRegClass;
  }
  return hresult::kOk;
}

int32_t InprocServer::GetClassObject(const Guid* clsid, const Guid* iid, void** out) {
  if (out == nullptr) return hresult::kPointer;
  *out = nullptr;
  if (clsid == nullptr || iid == nullptr) return hresult::kPointer;
  if (!(*iid == IidClassFactory() || *iid == IidUnknown())) return hresult::kNoInterface;
  for (auto& factory : factories_) {
    if (factory->cls().clsid == *clsid) {
      *out = static_cast<ClassFactory*>(factory.get());
      return hresult::kOk;
    }
  }
  return hresult::kClassNotAvailable;
}

int32_t InprocServer::CanUnloadNow() const {
  return live_objects_.load(std::memory_order_relaxed) == 0 ? hresult::kOk : hresult::kFalse;
}

}  // namespace tovan::automation
