// ObjectFactory: the host's component factory, one per thread.
//
// CreateInstance(ProgID, [context]) creates a host component the way the
// host wants it created; this host creates it from the registry, exactly as
// CreateObject does.
//
// Thread-safety: apartment-threaded; one per thread.
#pragma once

#include <memory>
#include <string>

#include "platform/automation/typelib.h"

namespace tovan::host {

class ObjectFactory final : public automation::DescribedObject {
 public:
  // The calling thread's factory, created on first use.
  static std::shared_ptr<ObjectFactory> ForThread();
  ObjectFactory();

  // Raises 429 when the component cannot be created.
  automation::DispatchPtr CreateInstance(const std::string& prog_id);

  static const automation::InterfaceDesc& Describe();
};

}  // namespace tovan::host
