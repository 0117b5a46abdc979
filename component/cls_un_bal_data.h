// clsUnBalData: cancelling daily closings and listing closed bills.
//
// Reached late-bound as TovanMDailyBalance.clsUnBalData or directly from C++.
//
// Thread-safety: apartment-threaded; one caller at a time.
#pragma once

#include <string>

#include "component/context_binding.h"
#include "component/module.h"
#include "component/progress.h"
#include "platform/automation/typelib.h"
#include "platform/data/recordset.h"
#include "platform/foundation/vector.h"

namespace tovan::component {

class clsUnBalData final : public automation::DescribedObject {
 public:
  clsUnBalData();

  int32_t TransMode() const;
  // The cancellation's percentage: 0 while the total is 0, otherwise
  // position / total × 100 rounded through a 16-bit integer (halves to even).
  int32_t GetUnBalProgressValue() const;

  // The closed daily bills ({FDate, FBillNo, FID}); null on failure.
  std::shared_ptr<foundation::Vector> SetTotalData(const std::string& sDsn, std::string& sFilter);
  // The retail bills of one daily bill; null on failure.
  std::shared_ptr<foundation::Vector> SetDetailData(const std::string& sDsn, const std::string& sID);
  // Whether the daily bills' generated bills carry vouchers (named in sMsg).
  bool GenerateVch(const std::string& sDsn, const std::string& sDailyBillID, std::string& sMsg);
  // Cancels the daily closings `sID`; the message says what happened.
  bool UnBalData(automation::DispatchPtr objEventsSwitch, const std::string& sDsn, const std::string& sID,
                 std::string& strReturnMsg);
  // The retail bills in closed daily bills matching sFilter, "12,15,20".
  std::string GetUnBalDataID(const std::string& sDsn, std::string& sFilter);

  // One row to one record (null at the end); failures pass to the caller.
  std::shared_ptr<foundation::Dictionary> PackageRecord(data::Recordset* rs);
  // The rows from the current one to the end; failures pass to the caller.
  std::shared_ptr<foundation::Vector> PackageRecordset(data::Recordset* rs);

 private:
  ModuleObject module_object_;
  ContextBinding binding_;
  ProgressCounters progress_;
  automation::DispatchPtr events_switch_;  // the last one handed in, kept as the host expects
};

}  // namespace tovan::component
