// UpdateBalAmount: spreads each open retail bill's discount over its goods
// lines, writing every line's balance amount (FBalAmount = FAmount less its
// share FAmount × discount ÷ total), unrounded, as 15-digit text.
//
// With the public member's defaults every open bill of the database is
// processed.  A host may narrow the work to the bills it is about to close:
// a date range other than 1900-01-02 to 9999-12-30, or a branch shop other
// than 0, adds the matching filter to the select of the open bills (closings
// of different shops then write disjoint lines).  The bill type selects
// nothing: its default "1" cannot be told from a given "1".
//
// Thread-safety: the calling thread's host context.
#pragma once

#include <string>

#include "component/context_binding.h"

namespace tovan::closing {

struct OpenBillRange {
  automation::Date from = automation::Date::FromParts(1900, 1, 2);
  automation::Date to = automation::Date::FromParts(9999, 12, 30);
  int32_t branch_shop = 0;
};

// The select of the open bills for `range`: exactly the statement of the
// unnarrowed call when `range` holds the defaults.
std::string OpenBillsStatement(const OpenBillRange& range);

// False (with SetAbort) on any failure, and False without a further vote
// when no bill is open.
bool UpdateBalAmount(component::ContextBinding& binding, const std::string& data_source,
                     const OpenBillRange& range = {});

}  // namespace tovan::closing
