#include "closing/stock_bill_saving.h"

#include <cmath>

#include "closing/search_index.h"
#include "component/argument_checks.h"
#include "component/bill_types.h"
#include "component/host_values.h"
#include "numbering/bill_numbers.h"
#include "platform/automation/error.h"
#include "platform/automation/text.h"
#include "platform/data/connection.h"
#include "platform/host/object_factory.h"

namespace tovan::closing {

using automation::CDbl;
using automation::CStr;
using automation::Variant;
using automation::VarType;

namespace {

bool IsQuoted(const Variant& v) { return v.type() == VarType::Date || v.type() == VarType::String; }

// The insert of one record: FID and the leading columns first, then one
// column per key in key order.
std::string InsertStatement(const std::string& head_columns, const std::string& head_values,
                            const foundation::Dictionary& record, bool absolute_doubles) {
  std::string columns = head_columns, values = head_values;
  for (const auto& [key, value] : record.entries()) {
    columns += key + ",";
    if (IsQuoted(value)) {
      values += "'" + CStr(value) + "',";
    } else if (value.type() == VarType::Double && absolute_doubles) {
      values += automation::NumberToText(std::fabs(value.double_value())) + ",";
    } else {
      values += CStr(value) + ",";
    }
  }
  columns.pop_back();
  values.pop_back();
  return columns + ") " + values + ")";
}

double HeaderAmount(const foundation::Dictionary& header, const char* key) {
  return CDbl(header.GetValue(key, Variant(int32_t{0})));
}

bool Audit(const std::string& props, int32_t stock_id, const std::string& bill_no, const foundation::Dictionary& header) {
  auto request_record = foundation::Dictionary::Create();
  request_record->SetValue("ClassTypeID", Variant(component::kStockBillClass));
  request_record->SetValue("BillInterID", Variant(std::to_string(stock_id)));
  request_record->SetValue("BillType", header.GetValue("FBillTypeID", Variant(component::kSalesBillType)));
  request_record->SetValue("HeadTableName", Variant("t_CC_StockBill"));
  request_record->SetValue("BillNo", Variant(bill_no));
  request_record->SetValue("CustOrSupplyID", header.GetValue("FCustID", Variant(int32_t{0})));
  request_record->SetValue("AllAmount", header.GetValue("FUnCheckAmount", Variant(int32_t{0})));
  request_record->SetValue("NeedVerifyChecker", Variant(false));
  auto request = foundation::Vector::Create();
  request->Add(Variant(request_record));
  auto result = foundation::Dictionary::Create();
  for (const char* key : {"BillInfo", "ErrorMsg", "FailCount", "SuccessCount"}) result->SetValue(key, Variant(""));

  auto plugin = host::ObjectFactory::ForThread()->CreateInstance("TovanM_CC_PlugIns.PublicSysInfo");
  std::vector<Variant> args{Variant(request), Variant(int16_t{1}), Variant(props), Variant(true),
                            Variant(result),  Variant(true),       Variant(false)};
  return automation::IsEqual(plugin->Invoke("AuditBill", automation::InvokeKind::Get, args), Variant(int32_t{1}));
}

bool WriteOff(const std::string& props, int32_t check_id) {
  auto plugin = host::ObjectFactory::ForThread()->CreateInstance("TovanM_ArAp_PlugIns.clsCheck");
  std::vector<Variant> args{Variant(props),
                            Variant(std::to_string(check_id)),
                            Variant(int16_t{1}),
                            Variant(""),
                            Variant(foundation::Dictionary::Create()),
                            Variant(foundation::Dictionary::Create()),
                            Variant(false)};
  return automation::CBool(plugin->Invoke("CheckBill", automation::InvokeKind::Get, args));
}
}  // namespace

std::vector<std::string> BatchStatements(const std::vector<std::string>& statements, size_t limit) {
  std::vector<std::string> batches;
  std::string pending;
  size_t length = 0;
  for (const std::string& statement : statements) {
    // The limit counts characters, not the bytes of a Chinese note.
    const size_t statement_length = automation::TextLength(statement);
    if (!pending.empty() && length + statement_length >= limit) {
      batches.push_back(std::move(pending));
      pending = statement;
      length = statement_length;
    } else {
      pending += "\r\n" + statement;
      length += statement_length;
    }
  }
  if (length > 0) batches.push_back(std::move(pending));
  return batches;
}

bool SaveStockAndCheckBill(component::ContextBinding& binding, const std::shared_ptr<data::Connection>& connection,
                           foundation::Dictionary* header, foundation::Vector* entries, bool create_check_bill,
                           int32_t in_customer_id, automation::Date bal_date, int32_t& stock_bill_id,
                           int32_t& check_bill_id) {
  if (header == nullptr || header->Count() == 0 || entries == nullptr || entries->UpperBound() == 0) return false;
  binding.SetAbort();
  if (!connection) return false;
  try {
    std::string bill_no = numbering::NewBillNo(component::kStockBillClass);
    int32_t stock_id = automation::CLng(numbering::GetMaxBillInterID(connection, "t_CC_StockBill"));
    stock_bill_id = stock_id;
    Variant dept_id = header->GetValue("fdeptid", Variant(int32_t{0}));

    // The account is the host's settlement text, quoted here and bare in the
    // search index: one that is no id is refused, as the database refuses it
    // for the account's int column, before it is sent.
    const Variant& account = header->GetValue("FAcctNo", Variant(int32_t{0}));
    if (account.type() == VarType::String && !account.string().empty() && !component::IsIdText(account.string()))
      automation::Raise(automation::vberr::kTypeMismatch, "TovanMDailyBalance");

    connection->Execute(InsertStatement("Insert into t_cc_stockbill (FID,FBillNo,",
                                        " Values(" + std::to_string(stock_id) + ",'" + bill_no + "',", *header,
                                        /*absolute_doubles=*/true));
    std::vector<std::string> entry_statements;
    for (int32_t i = 1; i <= entries->UpperBound(); ++i) {
      entry_statements.push_back(InsertStatement(
          "Insert into t_CC_StockBillEntry (FID,FIndex,",
          " Values(" + std::to_string(stock_id) + "," + std::to_string(i) + ",", *entries->Record(i), false));
    }
    data::StatementRun batches(*connection);
    for (const std::string& batch : BatchStatements(entry_statements)) connection->Execute(batch);
    batches.Finish();

    AddBillSearchIndex(binding, connection, entries, header, std::to_string(stock_id), bill_no);
    std::string props = component::GetPropsString();
    if (!Audit(props, stock_id, bill_no, *header)) return false;

    if (create_check_bill) {
      double sign = automation::IsEqual(header->GetValue("FBillTypeID", Variant(component::kSalesBillType)), Variant(component::kReturnBillType))
                        ? -1.0
                        : 1.0;
      std::string check_no = numbering::NewBillNo(component::kCheckBillClass);
      int32_t check_id = automation::CLng(numbering::GetMaxBillInterID(connection, "t_rp_Checkbill"));
      check_bill_id = check_id;
      std::string date = automation::DateToText(bal_date);
      std::string user = CStr(Variant(binding.data_context().GetUserSession()->UserID()));
      double all = HeaderAmount(*header, "FAllAmount"), checked = HeaderAmount(*header, "FCurCheckAmount");
      double unchecked = automation::Checked(all - checked);
      Variant customer = header->GetValue("FCustID", Variant(int32_t{0}));
      auto text = [](double v) { return automation::NumberToText(v); };
      connection->Execute(
          "insert into t_rp_Checkbill "
          "(FID,FClassTypeID,FBillNo,FBillTypeID,FDate,FExplanation,FBillerID,FCheckerID,FCheckDate,FAmount,FOutCustID,"
          "FInCustID,FHint1,FStatus,fdeptid)\r\n Values( " +
          std::to_string(check_id) + "," + std::to_string(component::kCheckBillClass) + ",'" + check_no + "'," +
          std::to_string(component::kCheckBillType) + ",'" + date + "','" + component::kClosingExplanation + "'," + user + ",\r\n" + user + ",'" +
          date + "'," + text(unchecked) + "," + CStr(customer) + "," + std::to_string(in_customer_id) + ",'应收',0," +
          CStr(dept_id) + ")");
      bool sales = automation::IsEqual(header->GetValue("FBillTypeID", Variant(int32_t{0})), Variant(component::kSalesBillType));
      std::string source_desc = sales ? "销售发货" : "销售退货";
      connection->Execute(
          std::string("insert into "
                      "t_rp_Checkbillentry1(FID,FIndex,FIsSelected,FSourceBillNo,FBillDate,FSourceClassTypeDesc,"
                      "FBillAmount,") +
          "FBillCheckAmount,FBillUnCheckAmount,FBillSettleAmount,FSourceBillID,FSourceClassTypeID,FInitItemID) " +
          "\r\n Values(" + std::to_string(check_id) + ",1,1,'" + bill_no + "','" + date + "','" + source_desc + "'," +
          text(sign * all) + "," + text(sign * checked) + "," + text(sign * unchecked) + "," + text(sign * unchecked) +
          "," + std::to_string(stock_id) + "," + std::to_string(component::kStockBillClass) + "," + CStr(customer) + ")");

      auto search = foundation::Dictionary::Create();
      search->SetValue("FDate", Variant(bal_date));
      search->SetValue("FOutCustId", customer);
      search->SetValue("FInCustID", Variant(in_customer_id));
      search->SetValue("FExplanation", Variant(component::kClosingExplanation));
      search->SetValue("FSouceBillNo", Variant(bill_no));
      search->SetValue("FBillDate", Variant(bal_date));
      search->SetValue("FSourceClassTypeDesc", Variant(source_desc));
      search->SetValue("FBillAmount", Variant(all));
      search->SetValue("FBillCheckAmount", Variant(checked));
      search->SetValue("FBillUnCheckAmount", Variant(unchecked));
      search->SetValue("FBillSettleAmount", Variant(unchecked));
      AddCheckBillSearchIndex(connection, search.get(), std::to_string(check_id), check_no);
      if (!WriteOff(props, check_id)) return false;
    }
    binding.SetComplete();
    return true;
  } catch (const automation::AutomationError&) {
    return false;
  }
}

}  // namespace tovan::closing
