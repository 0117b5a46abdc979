// clsData: the daily closing and the services of the host's closing dialog.
//
// Reached late-bound as TovanMDailyBalance.clsData or directly from C++.
// Public members trap their own failures and answer neutrally.
//
// Thread-safety: apartment-threaded; one caller at a time.
#pragma once

#include <memory>

#include "component/context_binding.h"
#include "component/module.h"
#include "component/progress.h"
#include "platform/automation/typelib.h"
#include "platform/data/recordset.h"
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

  // One row to one record; null at the end of the recordset or on any failure.
  std::shared_ptr<foundation::Dictionary> PackageRecord(data::Recordset* rs);
  // The rows from the current one to the end; null on any failure.
  std::shared_ptr<foundation::Vector> PackageRecordset(data::Recordset* rs);
  // Writes the records' tax rates to `stbl` by FItemID (RtnCode 0, 1 or -1).
  void InsertVectDataToTbl(data::Connection* oConn, const std::string& stbl, const std::string& sPKField,
                           foundation::Vector* oVect, int32_t& RtnCode);
  // The tax rates of `oVect` to t_Item on the data source; True unless the
  // data source cannot be bound (then RtnCode is -1).
  bool SaveData(const std::string& sDsn, foundation::Vector* oVect, int32_t& RtnCode);
  // A host bill number for the bill type text; the empty text on failure.
  std::string GetNewBillNo(const std::string& sFBillType);

 private:
  ModuleObject module_object_;
  ContextBinding binding_;
  ProgressCounters progress_;
};

}  // namespace tovan::component
