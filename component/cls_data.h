// clsData: the daily closing and the services of the host's closing dialog.
//
// Reached late-bound as TovanMDailyBalance.clsData or directly from C++.
// Public members trap their own failures and answer neutrally.
//
// Thread-safety: apartment-threaded; one caller at a time.
#pragma once

#include <memory>
#include <string>

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

  // ---- Checks before a closing (False on any failure) ----

  // True when an open retail bill matches; the dates bound the range
  // inclusively, an empty text or 0 leaves a condition out.
  bool CheckBalData(const std::string& sDsn, const std::string& sIDDetail = {},
                    automation::Date sDateFrom = automation::Date::FromParts(1900, 1, 2),
                    automation::Date sDateTo = automation::Date::FromParts(9999, 12, 30),
                    const std::string& sBillType = {}, int32_t lBranchShop = 0);
  // True when every record's "FID" names an open bill; False for an empty list.
  bool CheckData(const std::string& sDsn, const std::shared_ptr<foundation::Vector>& vec);
  // True when stock covers the bills of `sIDDetail` ("1" sales, "2" returns);
  // otherwise False with the short items and a message added to `strRtnMsg`.
  bool CheckStore(const std::string& sDsn, const std::string& sIDDetail, std::string& strRtnMsg,
                  const std::string& sBillType = "1");
  // True when stock covers the tracked goods of the bills.
  bool JudgeData(const std::string& sDsn, const std::string& sIDDetail);

  // ---- Settlement services (null list or empty text on failure) ----

  std::shared_ptr<foundation::Vector> GetSettleAcctData(const std::string& sDsn);
  std::shared_ptr<foundation::Vector> SetSettleAmount(const std::string& sDsn, const std::string& sIDDetail);
  std::string SetSettleAmountID(const std::string& sDsn, const std::string& SettleAccText);

  // ---- Lookups ----

  // The whole customer tree, depth first; it replaces the object's list.
  std::shared_ptr<foundation::Vector> GetData(const std::string& sDsn);
  // Adds customers and their subtrees to the object's list (made here when
  // GetData never ran).
  void GetItemData(const std::string& sItemID, const std::string& sDsn, const std::string& sFilter = {});
  int16_t GetMaxLevel(const std::string& sDsn);
  void GetCustDetail(const std::string& sDsn, const std::string& ItemID, std::string& name, std::string& contact,
                     std::string& phone, std::string& fax);
  std::string GetInvoiceData(data::Connection* oConn, const std::string& sItemID);
  std::string GetIDData(const std::string& sDsn, const std::string& sFilter = {});
  std::string GetSettleInfo(const std::string& sSection, const std::string& SKey);

  // Writes every open retail line's balance amount (its amount less its
  // share of the bill's discount); a date range or branch shop other than
  // the defaults narrows the bills, sBillType selects nothing.
  bool UpdateBalAmount(const std::string& sDsn, automation::Date DateFrom = automation::Date::FromParts(1900, 1, 2),
                       automation::Date DateTo = automation::Date::FromParts(9999, 12, 30), int32_t lBranchShop = 0);
  // The daily closing of the retail bills `sID`; "日结成功" or the failed
  // stage's message in strReturnMsg.
  bool ProcessDailyBalance(automation::DispatchPtr objEventsSwitch, const std::string& sDsn,
                           const std::string& sBillType, const std::string& sID, automation::Date BalDate,
                           const std::string& sInvoiceType, const std::string& sClient, double dTax,
                           std::shared_ptr<foundation::Vector> vec, std::string& strReturnMsg, bool bCreateCheckBill,
                           int32_t lInCustID, int32_t lDeptID);

 private:
  ModuleObject module_object_;
  ContextBinding binding_;
  ProgressCounters progress_;
  automation::DispatchPtr events_switch_;  // the last closing's, kept as the host expects
  std::shared_ptr<foundation::Vector> customer_tree_;
};

}  // namespace tovan::component
