// The checks the host runs before a daily closing: open bills matching a
// filter, whether a selection is still open, and whether stock covers it.
//
//   CheckBalData  True when an open retail bill (FDailyBillID=0) matches
//   CheckData     True when every record's bill is still open
//   CheckStore    True when stock covers the selected bills; otherwise False
//                 with the short items and a message in `strRtnMsg`
//   JudgeData     True when stock covers the tracked goods (FTrack 80)
//
// Each binds `binding` to `sDsn`, votes SetAbort, works on the bound
// connection and votes SetComplete on its normal end; none writes data.
// Failures are trapped: the answer is False (CheckStore also sets its
// failure message when `strRtnMsg` is still empty).
//
// Thread-safety: the calling thread's host context; the caller holds the
// unit of work (host::CallScope).
#pragma once

#include <memory>
#include <string>

#include "component/context_binding.h"
#include "platform/automation/variant.h"
#include "platform/foundation/vector.h"

namespace tovan::closing {

inline constexpr const char* kStockCheckFailed = "库存检测失败，无法日结";
inline constexpr const char* kSalesShortForShop = "商品库存不足，请先对商品做入库处理，然后再执行POS日结操作!";
inline constexpr const char* kSalesShortEstimate = "商品库存不足，请先对商品的入库做暂估处理，然后再执行POS日结操作!";
inline constexpr const char* kReturnsNoBatch = "无法分配批号，请先对商品做入库处理，然后再执行POS日结操作!";

// The filter CheckBalData appends to its base statement, each condition
// starting " And ": the id list when given, always the two exclusive date
// bounds (a day before `from`, a day after `to`), then the bill type and
// branch shop when given.  Raises Overflow (6) when a bound leaves the date
// range.
std::string OpenBillFilter(const std::string& sIDDetail, automation::Date sDateFrom, automation::Date sDateTo,
                           const std::string& sBillType, int32_t lBranchShop);

bool CheckBalData(component::ContextBinding& binding, const std::string& sDsn, const std::string& sIDDetail,
                  automation::Date sDateFrom, automation::Date sDateTo, const std::string& sBillType,
                  int32_t lBranchShop);
bool CheckData(component::ContextBinding& binding, const std::string& sDsn,
               const std::shared_ptr<foundation::Vector>& vec);
bool CheckStore(component::ContextBinding& binding, const std::string& sDsn, const std::string& sIDDetail,
                std::string& strRtnMsg, const std::string& sBillType);
bool JudgeData(component::ContextBinding& binding, const std::string& sDsn, const std::string& sIDDetail);

}  // namespace tovan::closing
