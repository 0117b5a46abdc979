// The values the component reads from its host process: the host's shared
// data-source text ("PropsString") and the per-process value "AppType".
//
// None of these catch anything: a missing service or property object fails
// in the caller, which treats it as its own failure.
//
// Thread-safety: read the calling thread's host context.
#pragma once

#include <string>

#include "platform/automation/variant.h"

namespace tovan::component {

// A property of the host's shared-property service for this process; an
// object value is returned as the object.
automation::Variant GetSharedProperty(const std::string& name);
// The host's data-source text.
std::string GetPropsString();
// A value of the host's per-process property object, `default_value` when
// the object does not hold it (Empty when no default was given).
automation::Variant GetProcessProperty(const std::string& name,
                                       const automation::Variant& default_value = automation::Variant::Missing());
// The host value "AppType" as a 32-bit integer, 2 by default.
int32_t GetAppType();

}  // namespace tovan::component
