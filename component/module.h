// The library's in-process server: the object behind its four entry points,
// and the count of live objects that DllCanUnloadNow reports.
//
// Thread-safety: the server is created once on first use; the count is atomic.
#pragma once

#include "platform/automation/inproc_server.h"

namespace tovan::component {

automation::InprocServer& Module();

// Held by every object of the library for its lifetime.
class ModuleObject {
 public:
  ModuleObject() { Module().AddObject(); }
  ModuleObject(const ModuleObject&) : ModuleObject() {}
  ModuleObject& operator=(const ModuleObject&) = default;
  ~ModuleObject() { Module().ReleaseObject(); }
};

}  // namespace tovan::component
