#include "closing/batch_allocation.h"

#include "platform/automation/error.h"
#include "platform/data/recordset.h"

namespace tovan::closing {

using automation::Variant;

namespace {
std::shared_ptr<foundation::Dictionary> BatchRow(const data::Recordset& batch, const Variant& quantity) {
  auto row = foundation::Dictionary::Create();
  row->SetValue("FQty", quantity);
  row->SetValue("FBatchNo", batch.Value("FBatchNo"));
  row->SetValue("FKFDate", batch.Value("FKFDate"));
  row->SetValue("FPeriodDate", batch.Value("FPeriodDate"));
  row->SetValue("FKFPeriod", batch.Value("FKFPeriod"));
  return row;
}
}  // namespace

std::shared_ptr<foundation::Vector> AllocateBatches(component::ContextBinding& binding,
                                                    const std::shared_ptr<data::Connection>& connection,
                                                    int32_t item_id, int32_t aux_prop_id, int32_t stock_id,
                                                    double quantity, const std::string& mode) {
  binding.SetAbort();
  if (!connection) return nullptr;
  try {
    std::string sql = "Set NoCount On \r\nselect * from t_CC_Inventory where FItemID=" + std::to_string(item_id) +
                      " and FAuxPropID=" + std::to_string(aux_prop_id) + " and FStockID=" + std::to_string(stock_id);
    if (mode == "1") sql += " and FQty>0 ";
    if (mode == "2") sql += " ";
    sql += "order by FBatchNo \r\nSet NoCount Off";
    auto batches = data::Recordset::Create();
    batches->Open(sql, connection, data::ado::kOpenStatic, data::ado::kLockOptimistic);
    batches->SetActiveConnection(nullptr);

    auto rows = foundation::Vector::Create();
    double remaining = quantity;
    for (; !batches->EOF_(); batches->MoveNext()) {
      const Variant& on_hand = batches->Value("FQty");
      if ((mode == "1" && automation::CDbl(on_hand) >= remaining) || mode == "2") {
        rows->Add(Variant(BatchRow(*batches, Variant(remaining))));
        break;
      }
      rows->Add(Variant(BatchRow(*batches, on_hand)));
      remaining = automation::Checked(remaining - automation::CDbl(on_hand));
    }
    binding.SetComplete();
    return rows;
  } catch (const automation::AutomationError&) {
    return nullptr;
  }
}

}  // namespace tovan::closing
