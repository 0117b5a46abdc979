#include "component/type_library.h"

#include "platform/automation/registry.h"

namespace tovan::component {

using automation::ClassDesc;
using automation::Date;
using automation::Guid;
using automation::InterfaceDesc;
using automation::MemberDesc;
using automation::ParamDesc;
using automation::TypeLibDesc;
using automation::Variant;
using T = automation::ParamType;
using namespace automation::describe;

namespace {
// The defaults the host's dialogs rely on for "no date limit".
Variant DateFloor() { return Variant(Date::FromParts(1900, 1, 2)); }
Variant DateCeiling() { return Variant(Date::FromParts(9999, 12, 30)); }
Variant Text(const char* s) { return Variant(s); }
Variant Long(int32_t v) { return Variant(v); }

ParamDesc OptText(ParamDesc p, const char* def = "") { return Opt(std::move(p), Text(def)); }
MemberDesc TransModeProperty() { return Get("TransMode", {}, T::Long); }
}  // namespace

const InterfaceDesc& ClsXSBalDataInterface() {
  static const InterfaceDesc iface{
      "_clsXSBalData",
      Guid::Of("{233E0A7E-CFA9-4673-9A03-89DB3D0AFC76}"),
      {
          Method("GetXSIDData", {In("vec", T::Object, "Vector")}, T::String),
          ReadsOnly(Method("IsValidBill",
                 {In("sID", T::String), Ref("lTypeID", T::Long), Ref("DailyType", T::Long), Ref("sRtnMsg", T::String)},
                 T::Boolean)),
      }};
  return iface;
}

const InterfaceDesc& ClsUnBalDataInterface() {
  static const InterfaceDesc iface{
      "_clsUnBalData",
      Guid::Of("{908954EE-DA4A-4CBA-98D5-B1A97EAA0B8E}"),
      {
          Method("GetUnBalProgressValue", {}, T::Long),
          ReadsOnly(Method("PackageRecord", {Ref("rs", T::Object, "Recordset")}, T::Object)),
          ReadsOnly(Method("PackageRecordset", {Ref("rs", T::Object, "Recordset")}, T::Object, "Vector")),
          ReadsOnly(Method("SetDetailData",
                           {In("sDsn", T::String), In("sID", T::String), OptText(In("sFilter", T::String))}, T::Object,
                           "Vector")),
          ReadsOnly(
              Method("SetTotalData", {In("sDsn", T::String), OptText(Ref("sFilter", T::String))}, T::Object, "Vector")),
          ReadsOnly(Method("GenerateVch",
                           {In("sDsn", T::String), In("sDailyBillID", T::String), Ref("sMsg", T::String)}, T::Boolean)),
          Method("UnBalData",
                 {In("objEventsSwitch", T::Object, "EventsSwitch"), In("sDsn", T::String), In("sID", T::String),
                  Ref("strReturnMsg", T::String)},
                 T::Boolean),
          ReadsOnly(Method("GetUnBalDataID", {In("sDsn", T::String), OptText(Ref("sFilter", T::String))}, T::String)),
          TransModeProperty(),
      }};
  return iface;
}

const InterfaceDesc& ClsDataInterface() {
  static const InterfaceDesc iface{
      "_clsData",
      Guid::Of("{BFA93D70-3637-4FB5-89EF-F98C42052209}"),
      {
          ReadsOnly(Method("CheckBalData",
                           {In("sDsn", T::String), OptText(In("sIDDetail", T::String)),
                            Opt(Ref("sDateFrom", T::Date), DateFloor()), Opt(In("sDateTo", T::Date), DateCeiling()),
                            OptText(In("sBillType", T::String)), Opt(In("lBranchShop", T::Long), Long(0))},
                           T::Boolean)),
          ReadsOnly(Method("CheckData", {In("sDsn", T::String), In("vec", T::Object, "Vector")}, T::Boolean)),
          ReadsOnly(
              Method("GetCustDetail", {In("sDsn", T::String), In("ItemID", T::String), Ref("name", T::String),
                                       Ref("contact", T::String), Ref("phone", T::String), Ref("fax", T::String)})),
          ReadsOnly(Method("GetData", {Ref("sDsn", T::String)}, T::Object, "Vector")),
          ReadsOnly(Method("GetIDData", {In("sDsn", T::String), OptText(Ref("sFilter", T::String))}, T::String)),
          ReadsOnly(
              Method("GetInvoiceData", {Ref("oConn", T::Object, "Connection"), In("sItemID", T::String)}, T::String)),
          ReadsOnly(Method("GetItemData",
                           {In("sItemID", T::String), In("sDsn", T::String), OptText(Ref("sFilter", T::String))})),
          ReadsOnly(Method("GetMaxLevel", {In("sDsn", T::String)}, T::Integer)),
          Method("GetNewBillNo", {Ref("oConn", T::Object, "Connection"), In("sFBillType", T::String)}, T::String),
          Method("GetProgressValue", {}, T::Long),
          ReadsOnly(Method("GetSettleAcctData", {In("sDsn", T::String)}, T::Object, "Vector")),
          Method("GetSettleInfo", {In("sSection", T::String), In("SKey", T::String)}, T::String),
          Method("ProcessDailyBalance",
                 {In("objEventsSwitch", T::Object, "EventsSwitch"), In("sDsn", T::String), In("sBillType", T::String),
                  In("sID", T::String), In("BalDate", T::Date), In("sInvoiceType", T::String), In("sClient", T::String),
                  Ref("dDate", T::Date), In("dTax", T::Double), In("vec", T::Object, "Vector"),
                  Ref("strReturnMsg", T::String), In("sFilter", T::String),
                  Opt(In("bCreateCheckBill", T::Boolean), Variant(false)), Opt(In("lInCustID", T::Long), Long(0)),
                  Opt(In("lDeptID", T::Long), Long(0))},
                 T::Boolean),
          Method("InsertVectDataToTbl",
                 {Ref("oConn", T::Object, "Connection"), Ref("stbl", T::String), Ref("sPKField", T::String),
                  Ref("oVect", T::Object, "Vector"), Ref("RtnCode", T::Long)}),
          ReadsOnly(Method("CheckStore",
                           {In("sDsn", T::String), In("sIDDetail", T::String), Ref("strRtnMsg", T::String),
                            OptText(Ref("sBillType", T::String), "1")},
                           T::Boolean)),
          ReadsOnly(Method("JudgeData", {In("sDsn", T::String), In("sIDDetail", T::String)}, T::Boolean)),
          Method("JudgeSettleType", {In("vec", T::Object, "Vector")}, T::Boolean),
          ReadsOnly(Method("PackageRecord", {Ref("rs", T::Object, "Recordset")}, T::Object)),
          ReadsOnly(Method("PackageRecordset", {In("rs", T::Object, "Recordset")}, T::Object, "Vector")),
          Method("SaveData", {Ref("sDsn", T::String), Ref("oVect", T::Object, "Vector"), Ref("RtnCode", T::Long)},
                 T::Boolean),
          ReadsOnly(
              Method("SetSettleAmount", {In("sDsn", T::String), In("sIDDetail", T::String)}, T::Object, "Vector")),
          ReadsOnly(Method("SetSettleAmountID", {In("sDsn", T::String), In("SettleAccText", T::String)}, T::String)),
          Method("UpdateBalAmount",
                 {In("sDsn", T::String), Opt(Ref("DateFrom", T::Date), DateFloor()),
                  Opt(Ref("DateTo", T::Date), DateCeiling()), Opt(Ref("lBranchShop", T::Long), Long(0)),
                  OptText(Ref("sBillType", T::String), "1")},
                 T::Boolean),
          TransModeProperty(),
      }};
  return iface;
}

const ClassDesc& ClsXSBalDataClass() {
  static const ClassDesc cls{"clsXSBalData", Guid::Of("{86FA1B58-B11F-4323-96F5-36DF50801188}"),
                             &ClsXSBalDataInterface()};
  return cls;
}

const ClassDesc& ClsUnBalDataClass() {
  static const ClassDesc cls{"clsUnBalData", Guid::Of("{1CC280A3-CD62-4F19-A691-D7B4A531EE58}"),
                             &ClsUnBalDataInterface()};
  return cls;
}

const ClassDesc& ClsDataClass() {
  static const ClassDesc cls{"clsData", Guid::Of("{E8B328C2-E081-4DAB-BD9E-183A6924BE0E}"), &ClsDataInterface()};
  return cls;
}

const TypeLibDesc& DailyBalanceLibrary() {
  static const TypeLibDesc lib{
      "TovanMDailyBalance",
      Guid::Of("{B14CE29C-85AC-422F-A0B2-4711D0E275B7}"),
      1,
      0,
      {&ClsXSBalDataInterface(), &ClsUnBalDataInterface(), &ClsDataInterface()},
      {&ClsXSBalDataClass(), &ClsUnBalDataClass(), &ClsDataClass()},
  };
  return lib;
}

std::string LibraryFile() { return automation::LibraryFileOf(reinterpret_cast<const void*>(&DailyBalanceLibrary)); }

}  // namespace tovan::component
