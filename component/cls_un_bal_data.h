// clsUnBalData: cancelling daily closings and listing closed bills.
//
// Reached late-bound as TovanMDailyBalance.clsUnBalData or directly from C++.
//
// Thread-safety: apartment-threaded; one caller at a time.
#pragma once

#include "component/module.h"
#include "component/progress.h"
#include "platform/automation/typelib.h"

namespace tovan::component {

class clsUnBalData final : public automation::DescribedObject {
 public:
  clsUnBalData();

  int32_t TransMode() const;
  // The cancellation's percentage: 0 while the total is 0, otherwise
  // position / total × 100 rounded through a 16-bit integer (halves to even).
  int32_t GetUnBalProgressValue() const;

 private:
  ModuleObject module_object_;
  ProgressCounters progress_;
};

}  // namespace tovan::component
