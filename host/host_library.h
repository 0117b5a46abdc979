// libTovanHost.so: the reference host's in-process server.  It serves the
// host objects and components the component creates by ProgID (the
// shared-property service now; the business components of the host later).
//
// Thread-safety: immutable descriptions.
#pragma once

#include <string>

#include "platform/automation/typelib.h"

namespace tovan::hostlib {

const automation::TypeLibDesc& HostLibrary();
// The path of libTovanHost.so, for registration.
std::string LibraryFile();

}  // namespace tovan::hostlib
