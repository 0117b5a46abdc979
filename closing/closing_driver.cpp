#include "closing/closing_driver.h"

#include <cmath>

#include "closing/aggregation.h"
#include "closing/entry_amounts.h"
#include "closing/rollback.h"
#include "closing/stock_bill_saving.h"
#include "component/bill_types.h"
#include "numbering/bill_numbers.h"
#include "platform/data/connection.h"
#include "platform/automation/error.h"
#include "platform/data/recordset.h"

namespace tovan::closing {

using automation::CStr;
using automation::Variant;

namespace {

std::vector<std::string> SplitIds(const std::string& ids) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t comma = ids.find(',', start);
    parts.push_back(ids.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) return parts;
    start = comma + 1;
  }
}

void CallEvents(const automation::DispatchPtr& events, const char* member, const Variant& value) {
  if (!events) automation::Raise(automation::vberr::kObjectNotSet, "TovanMDailyBalance");
  events->Call(member, value);
}
}  // namespace

std::string UnallocatedMessage(const std::string& item_id) {
  return "商品(内码" + item_id + ")没有可分配的批次库存，日结失败";
}

bool ProcessDailyBalance(component::ContextBinding& binding, const ClosingRequest& request, std::string& message) {
  const ClosingParameters& p = request.parameters;
  const std::string& ids = request.retail_bill_ids;
  int stage = 0;
  std::string bill_no;
  int32_t stock_bill_id = 0, check_bill_id = 0;
  try {
    binding.OpenDataContext(request.data_source);
    binding.SetAbort();
    auto connection = binding.GetConnection();
    bill_no = numbering::NewDailyBillNo();

    connection->Execute(
        "Insert into t_LS_DailyBill(FClassTypeID,FBillNo,FDate,FEmpID,FInvoiceType,FClient,FTaxRate) \r\n Values(" +
        std::to_string(component::kDailyBillClass) + ",'" + bill_no + "','" + automation::DateToText(p.bal_date) + "','" +
        CStr(Variant(binding.data_context().GetUserSession()->UserID())) + "',\r\n" + p.invoice_type + "," +
        p.client + "," + automation::NumberToText(p.tax) + ")");
    auto read_back = connection->Execute("select FID from t_ls_DailyBill where FBillNo='" + bill_no + "'");
    if (!read_back->IsOpen() || read_back->EOF_()) automation::Raise(automation::vberr::kObjectNotSet);
    std::string daily_bill_id = CStr(read_back->Value("FID"));

    auto aggregated = AggregateRetailLines(binding, connection, ids);
    if (!aggregated) automation::Raise(automation::vberr::kObjectNotSet);

    CallEvents(request.events, "ShowProgressText", Variant(""));
    CallEvents(request.events, "ShowProgressText", Variant("正在进行处理..."));
    CallEvents(request.events, "SetProgressMax", Variant(aggregated->Count()));
    CallEvents(request.events, "SetProgressMin", Variant(int32_t{0}));
    CallEvents(request.events, "SetProgressValue", Variant(int32_t{0}));

    // A settlement sum that cannot be read counts as 0, as the sum's own contract says.
    double deductible = std::fabs(SumSettleAmount(binding, connection, "FID in (" + ids + ")", "0,3,4"));
    double total_amount =
        automation::CDbl(aggregated->Record(aggregated->UpperBound())->Value("FTotalAmount"));
    if (total_amount == 0) automation::Raise(automation::vberr::kInvalidProcedureCall);

    auto header = AssembleHeader(binding, p);
    AssembledEntries assembled = AssembleEntries(binding, connection, p, *aggregated, deductible, total_amount,
                                                 bill_no, daily_bill_id, request.events);
    if (assembled.unallocated) {
      // Leave nothing behind: the header goes as in any early failure.
      RollbackClosing(binding, 0, message, bill_no, 0, 0, ids);
      message = UnallocatedMessage(assembled.unallocated->item_id);
      return false;
    }
    ReconcileEntryAmounts(header.get(), assembled.entries.get());
    if (!SaveStockAndCheckBill(binding, connection, header.get(), assembled.entries.get(), request.create_check_bill,
                               request.in_customer_id, p.bal_date, stock_bill_id, check_bill_id)) {
      stage = 1;
      automation::Raise(automation::vberr::kInvalidProcedureCall);
    }

    // From here failures are recorded and tested, not raised.
    bool failed = false;
    auto send = [&](const std::string& text) {
      try {
        connection->Execute(text);
      } catch (const automation::AutomationError&) {
        failed = true;
      }
    };
    std::vector<std::string> parts = SplitIds(ids);
    data::StatementRun entry_batches(*connection);
    std::string batch;
    size_t batch_length = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
      std::string statement = "Insert into t_LS_DailyBillEntry (FID,FIndex,FID_SRC,FBillNo_SRC) \r\nselect " +
                              daily_bill_id + "," + std::to_string(i) + ",FID,FBillNo from t_LS_Retail where FID=" +
                              parts[i];
      if (batch_length + statement.size() >= 4000) {
        send(batch);
        batch = statement;
        batch_length = statement.size();
      } else {
        batch += "\r\n" + statement;
        batch_length += statement.size();
      }
      if (failed) {
        stage = 2;
        automation::Raise(automation::vberr::kInvalidProcedureCall);
      }
    }
    // The batches held so far failed in the loop's stage; the last one is
    // sent at once, its failure found with the stamping's.
    try {
      entry_batches.Finish();
    } catch (const automation::AutomationError&) {
      stage = 2;
      automation::Raise(automation::vberr::kInvalidProcedureCall);
    }
    if (batch_length > 0) send(batch);
    send("Update t_LS_Retail set FDailyBillID=" + daily_bill_id + ",FDailyBillNo='" + bill_no + "'\r\n Where FID in (" +
         ids + ")");
    if (failed) {
      stage = 3;
      automation::Raise(automation::vberr::kInvalidProcedureCall);
    }
    binding.SetComplete();
    message = "日结成功";
    return true;
  } catch (const automation::AutomationError&) {
    RollbackClosing(binding, stage, message, bill_no, stock_bill_id, check_bill_id, ids);
    return false;
  }
}

}  // namespace tovan::closing
