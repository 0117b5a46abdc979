// clsUnBalData: cancelling daily closings and listing closed bills.
//
// Reached late-bound as TovanMDailyBalance.clsUnBalData or directly from C++.
//
// Thread-safety: apartment-threaded; one caller at a time.
#pragma once

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

  // One row to one record (null at the end); failures pass to the caller.
  std::shared_ptr<foundation::Dictionary> PackageRecord(data::Recordset* rs);
  // The rows from the current one to the end; failures pass to the caller.
  std::shared_ptr<foundation::Vector> PackageRecordset(data::Recordset* rs);

 private:
  ModuleObject module_object_;
  ContextBinding binding_;
  ProgressCounters progress_;
};

}  // namespace tovan::component
