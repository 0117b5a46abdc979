// What the closing does with each settlement method of a retail bill: the
// methods paid at once (cash, on account, bank card) go into the stock bill;
// the deductible ones (gift vouchers, stored-value cards, points) are taken
// off the goods lines; any other is left out.  The component fixes these
// method ids, so the back office's lookups and report read them from here.
//
// Thread-safety: constants.
#pragma once

#include <cstdint>

namespace tovan::backoffice {

inline bool TakenIntoStockBill(int32_t method) { return method == 1 || method == 2 || method == 5; }
inline bool Deducted(int32_t method) { return method == 0 || method == 3 || method == 4; }
// The deductible methods as an SQL list.
inline constexpr const char* kDeductedMethods = "(0,3,4)";

}  // namespace tovan::backoffice
