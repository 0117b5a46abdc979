// clsData: the daily closing and the services of the host's closing dialog.
//
// Reached late-bound as TovanMDailyBalance.clsData or directly from C++.
// Public members trap their own failures and answer neutrally.
//
// Thread-safety: apartment-threaded; one caller at a time.
#pragma once

#include <memory>

#include "component/module.h"
#include "component/progress.h"
#include "platform/automation/typelib.h"
#include "platform/foundation/vector.h"

namespace tovan::component {

class clsData final : public automation::DescribedObject {
 public:
  clsData();

  int32_t TransMode() const;
  // The closing's percentage: 0 while the total is 0, otherwise
  // position / total × 100 rounded as CLng rounds (halves to even).
  int32_t GetProgressValue() const;
  // True when every record's "FSettleItemID" is "1" (an empty list too);
  // False at the first other value and on any failure (no list, no record).
  bool JudgeSettleType(const std::shared_ptr<foundation::Vector>& vec);

 private:
  ModuleObject module_object_;
  ProgressCounters progress_;
};

}  // namespace tovan::component
