// The class types and bill types of the bills a closing reads and writes,
// as the host numbers them.
#pragma once

#include <cstdint>

namespace tovan::component {

inline constexpr int32_t kDailyBillClass = 1090001;  // t_LS_DailyBill
inline constexpr int32_t kStockBillClass = 1030002;  // sales-out stock bill, t_cc_stockbill
inline constexpr int32_t kCheckBillClass = 1050003;  // receivables check bill, t_rp_Checkbill

inline constexpr int32_t kSalesBillType = 3001;   // stock bill of a closing of retail sales
inline constexpr int32_t kReturnBillType = 3002;  // stock bill of a closing of retail returns
inline constexpr int32_t kCheckBillType = 5024;

// The explanation written into the bills a closing generates.
inline constexpr const char* kClosingExplanation = "POS零售单日结生成";

}  // namespace tovan::component
