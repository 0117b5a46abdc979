// clsXSBalData: the checks of a selection of retail bills before closing.
//
// Reached late-bound as TovanMDailyBalance.clsXSBalData or directly from
// C++.  Members raise nothing: each traps its failures and answers neutrally.
//
// Thread-safety: apartment-threaded; one caller at a time.
#pragma once

#include <memory>
#include <string>

#include "component/context_binding.h"
#include "component/module.h"
#include "platform/automation/typelib.h"
#include "platform/foundation/vector.h"

namespace tovan::component {

class clsXSBalData final : public automation::DescribedObject {
 public:
  clsXSBalData();

  // The quoted id list ('12','15','12') of the records' "FID" values, runs of
  // equal consecutive ids collapsed; the empty text on any failure.
  std::string GetXSIDData(const std::shared_ptr<foundation::Vector>& vec);
  // True when the bills of `sID` may be closed together (then DailyType is
  // 0); otherwise False with the refusal in `sRtnMsg`.  `lTypeID` receives
  // the selection's bill type once it is known to be one.
  bool IsValidBill(const std::string& sID, int32_t& lTypeID, int32_t& DailyType, std::string& sRtnMsg);

 private:
  ModuleObject module_object_;
  ContextBinding binding_;
};

}  // namespace tovan::component
