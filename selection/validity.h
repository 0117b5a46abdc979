// Whether a selection of retail bills may be closed together.
//
//   IsValidBill         True when the bills are all of one bill type (then
//                       `lTypeID`), none is closed and none is dated before
//                       the current period; otherwise False with the
//                       refusal in `sRtnMsg`
//   GetPeriodStartDate  "yyyy-mm-dd" of the current period's first day from
//                       the host's IC/CurrentYear and IC/CurrentPeriod; the
//                       empty text when they cannot be read or make no date
//
// IsValidBill binds to the host's own data source (it is given none).  A
// run-time error answers False with no message and no vote; outputs set
// before it stay set.
//
// Thread-safety: the calling thread's host context; the caller holds the
// unit of work (host::CallScope).
#pragma once

#include <cstdint>
#include <string>

#include "component/context_binding.h"

namespace tovan::selection {

inline constexpr const char* kMixedBillTypes = "不能同时日结 零售发货 和 零售退货 两种单据";
inline constexpr const char* kPartlyClosed = "部分单据已日结";
inline constexpr const char* kEarlierPeriod = "不能日结以前期间零售单据";

bool IsValidBill(component::ContextBinding& binding, const std::string& sID, int32_t& lTypeID, int32_t& DailyType,
                 std::string& sRtnMsg);
std::string GetPeriodStartDate();

}  // namespace tovan::selection
