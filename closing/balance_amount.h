// UpdateBalAmount: spreads each open retail bill's discount over its goods
// lines, writing every line's balance amount (FBalAmount = FAmount less its
// share FAmount × discount ÷ total), unrounded, as 15-digit text.
//
// Every open bill of the database is processed; the date, branch-shop and
// bill-type arguments of the public member select nothing.
//
// Thread-safety: the calling thread's host context.
#pragma once

#include <string>

#include "component/context_binding.h"

namespace tovan::closing {

// False (with SetAbort) on any failure, and False without a further vote
// when no bill is open.
bool UpdateBalAmount(component::ContextBinding& binding, const std::string& data_source);

}  // namespace tovan::closing
