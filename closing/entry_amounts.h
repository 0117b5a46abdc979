// ReconcileEntryAmounts: makes the stock bill's entries add up to its header
// total.  When the entries' tax-inclusive amounts, summed and rounded to
// cents, differ from the header's FAllAmount, the whole difference goes to
// one entry (the last with a positive amount, else the first), whose amount,
// tax and prices are derived again; that entry then moves to the end.
//
// Failures end it quietly; changes already made stay.
// Thread-safety: works on the caller's records only.
#pragma once

#include "platform/foundation/vector.h"

namespace tovan::closing {

void ReconcileEntryAmounts(foundation::Dictionary* header, foundation::Vector* entries);

}  // namespace tovan::closing
