#include "numbering/bill_numbers.h"

#include <cmath>

#include "component/host_values.h"
#include "platform/automation/error.h"
#include "platform/automation/registry.h"
#include "platform/data/command.h"
#include "platform/data/recordset.h"
#include "platform/foundation/dictionary.h"
#include "platform/host/object_factory.h"

namespace tovan::numbering {

using automation::Variant;

namespace {
std::string TodayDigits() {
  auto today = automation::Date::Now().ToParts();
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", today.year, today.month, today.day);
  return buf;
}

std::string RequestNumber(const automation::DispatchPtr& rule, const Variant& bill_type) {
  auto request = foundation::Dictionary::Create();
  try {
    request->SetValue("FBillType", bill_type);
    request->SetValue("FDate", Variant(automation::Date::Now()));
    std::vector<Variant> args{Variant(component::GetPropsString()), Variant(request), Variant(true)};
    return automation::CStr(rule->Invoke("GetNewBillID", automation::InvokeKind::Get, args));
  } catch (const automation::AutomationError&) {
    request->Clear();
    return {};
  }
}
}  // namespace

std::string ZeroFilledSequence(const Variant& number) {
  double value = std::round(automation::CDbl(number));
  char buf[32];
  std::snprintf(buf, sizeof buf, "%06.0f", value);
  return buf;
}

std::string NewDailyBillNo() {
  std::string sequence = "000001";
  try {
    std::string sql =
        " select max( convert(bigint,replace(FBillNo,left(FBillNo,10),'')) )+1 as FBillNo from t_LS_DailyBill where "
        "FBillNo like '" +
        std::string("RJ") + TodayDigits() + "%' ";
    automation::DispatchPtr class_info = automation::CreateObject("TovanMClass.ClassInfo");
    std::vector<Variant> args{Variant(component::GetPropsString()), Variant(sql)};
    Variant result = class_info->Invoke("GetData", automation::InvokeKind::Get, args);
    auto rs = result.IsObject() ? std::dynamic_pointer_cast<data::Recordset>(result.object()) : nullptr;
    if (rs && !rs->EOF_()) sequence = ZeroFilledSequence(Variant(automation::CStr(rs->Value("FBillNo"))));
  } catch (const automation::AutomationError&) {
    // Today's first number, also when no daily bill of today exists (a NULL maximum).
    sequence = "000001";
  }
  return "RJ" + TodayDigits() + sequence;
}

std::string NewBillNo(int32_t bill_type) {
  try {
    return RequestNumber(automation::CreateObject("TovanMBillCodeRule.clsBillCodeRule"),
                         Variant(std::to_string(bill_type)));
  } catch (const automation::AutomationError&) {
    return {};
  }
}

std::string GetNewBillNo(const std::string& bill_type) {
  try {
    return RequestNumber(host::ObjectFactory::ForThread()->CreateInstance("TovanMBillCodeRule.clsBillCodeRule"),
                         Variant(bill_type));
  } catch (const automation::AutomationError&) {
    return {};
  }
}

Variant GetMaxBillInterID(const std::shared_ptr<data::Connection>& connection, const std::string& table) {
  try {
    auto command = data::Command::Create();
    command->SetActiveConnection(connection);
    command->SetCommandText("GetICMaxNum");
    command->SetCommandType(data::ado::kCmdStoredProc);
    auto params = command->GetParameters();
    params->Append(command->CreateParameter("RETURN_VALUE", data::ado::kInteger, data::ado::kParamReturnValue, 0));
    auto name = command->CreateParameter("@TableName", data::ado::kVarChar, data::ado::kParamInput, 50);
    params->Append(name);
    auto id = command->CreateParameter("@FInterID", data::ado::kInteger, data::ado::kParamInputOutput, 0, Variant::Null());
    params->Append(id);
    name->SetValue(Variant(table));
    command->Execute(data::ado::kExecuteNoRecords);
    return id->Value();
  } catch (const automation::AutomationError& e) {
    throw automation::AutomationError(e.number(), "TovanMClass.ModClass.GetMaxBillInterID", e.description());
  }
}

}  // namespace tovan::numbering
