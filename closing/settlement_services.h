// The settlement side of the closing dialog: the accounts the user may
// choose, the amounts of a selection per settlement method, and an
// account's id by name.
//
//   GetSettleAcctData  records {FItemID, FName} of every account that is
//                      neither fixed nor deleted
//   SetSettleAmount    records {FItemID, FName, FSettleAmount} of methods
//                      1, 2 and 5 used by the bills (the closing sums the
//                      others itself)
//   SetSettleAmountID  FItemID of the account named exactly so
//
// Each binds `binding` to `sDsn`, votes SetAbort, runs one statement and
// votes SetComplete.  Failures are trapped: SetAbort and a null list or the
// empty text.
//
// Thread-safety: the calling thread's host context; the caller holds the
// unit of work (host::CallScope).
#pragma once

#include <memory>
#include <string>

#include "component/context_binding.h"
#include "platform/foundation/vector.h"

namespace tovan::closing {

std::shared_ptr<foundation::Vector> GetSettleAcctData(component::ContextBinding& binding, const std::string& sDsn);
std::shared_ptr<foundation::Vector> SetSettleAmount(component::ContextBinding& binding, const std::string& sDsn,
                                                    const std::string& sIDDetail);
std::string SetSettleAmountID(component::ContextBinding& binding, const std::string& sDsn,
                              const std::string& SettleAccText);

}  // namespace tovan::closing
