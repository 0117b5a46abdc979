#include "backoffice/closing_obstacles.h"

#include <fmt/format.h>

#include "backoffice/field_values.h"
#include "platform/automation/variant.h"

namespace tovan::backoffice {

using automation::Variant;

namespace {
// "1.001 Apple (id 12)": how an operator finds the item in the master data.
std::string ItemName(const data::ResultSet& rows, size_t r, size_t number, size_t name, size_t id) {
  return fmt::format("{} {} (id {})", FieldText(rows.At(r, number)), FieldText(rows.At(r, name)),
                     FieldText(rows.At(r, id)));
}

}  // namespace

std::vector<std::string> FindClosingObstacles(hostlib::HostDatabase& db, const ObstaclePlan& plan) {
  std::vector<std::string> causes;
  // The id list is validated digits and commas, so it can stand in the text.
  const std::string in = "(" + plan.ids + ")";

  // The header stage refuses a closing whose lines add up to nothing.
  Variant total = db.Scalar("SELECT sum(FBalAmount) FROM T_LS_RetailEntry WHERE FID IN " + in);
  if (total.IsEmpty() || total.IsNull())
    causes.push_back("the selected bills have no goods lines");
  else if (FieldNumber(total) == 0)
    causes.push_back("the balance amounts of the selected bills add up to 0");
  if (plan.settlement_records == 0)
    causes.push_back("the selected bills have no settlement amounts of methods 1, 2 or 5: the stock bill takes its "
                     "amounts from them");

  // Invoice type 2020 with tax 0 takes each item's own rate; a missing one stops the closing.
  if (plan.invoice_type == "2020" && plan.tax == 0) {
    auto rows = db.Query("SELECT DISTINCT i.FItemID, c.FNumber, c.FName FROM T_LS_RetailEntry e "
                         "JOIN t_Item i ON i.FItemID=e.FItemID JOIN t_ICItem c ON c.FItemID=e.FItemID "
                         "WHERE e.FID IN " + in + " AND i.FTaxRate IS NULL ORDER BY c.FNumber");
    for (size_t r = 0; r < rows.RowCount(); ++r)
      causes.push_back(fmt::format("item {} has no tax rate (invoice type 2020 with tax 0 takes the item's own)",
                                   ItemName(rows, r, 1, 2, 0)));
  }

  // A batch-managed line needs a batch: sales take positive batches, returns any batch row.
  std::string batch_condition = plan.bill_type == "1" ? "v.FQty>0" : "1=1";
  auto batches = db.Query(
      "SELECT e.FItemID, c.FNumber, c.FName, e.FStock, coalesce(s.FName,''), e.FAuxPropID FROM T_LS_RetailEntry e "
      "JOIN t_ICItem c ON c.FItemID=e.FItemID LEFT JOIN t_Stock s ON s.FItemID=e.FStock "
      "WHERE e.FID IN " + in + " AND c.FIsBatchManager=1 AND NOT EXISTS (SELECT 1 FROM t_CC_Inventory v "
      "WHERE v.FItemID=e.FItemID AND v.FStockID=e.FStock AND v.FAuxPropID=e.FAuxPropID AND " + batch_condition + ") "
      "GROUP BY e.FItemID, c.FNumber, c.FName, e.FStock, s.FName, e.FAuxPropID ORDER BY c.FNumber, e.FStock");
  for (size_t r = 0; r < batches.RowCount(); ++r)
    causes.push_back(fmt::format("item {} has no batch {}in stock {} {} (property {}) to take from",
                                 ItemName(batches, r, 1, 2, 0), plan.bill_type == "1" ? "with stock on hand " : "",
                                 FieldText(batches.At(r, 3)), FieldText(batches.At(r, 4)),
                                 FieldText(batches.At(r, 5))));

  // The stock audit refuses to go below zero unless negative stock is allowed.
  bool allow_negative =
      FieldText(db.Scalar("SELECT FValue FROM t_SystemProfile WHERE FCategory='IC' AND FKey='AllowNegativeStock'")) ==
      "1";
  if (plan.bill_type == "1" && !allow_negative) {
    auto short_rows = db.Query(
        "SELECT t.FItemID, c.FNumber, c.FName, t.FStock, coalesce(s.FName,''), t.FQty, coalesce(v.FQty,0) FROM "
        "(SELECT FItemID, FStock, FAuxPropID, abs(sum(FShowQty)) AS FQty FROM T_LS_RetailEntry WHERE FID IN " + in +
        " GROUP BY FItemID, FStock, FAuxPropID) t JOIN t_ICItem c ON c.FItemID=t.FItemID "
        "LEFT JOIN t_Stock s ON s.FItemID=t.FStock LEFT JOIN t_CC_Inventory v ON v.FItemID=t.FItemID "
        "AND v.FStockID=t.FStock AND v.FAuxPropID=t.FAuxPropID AND v.FBatchNo='' "
        "WHERE c.FIsBatchManager=0 AND coalesce(v.FQty,0) < t.FQty - 0.000001 ORDER BY c.FNumber, t.FStock");
    for (size_t r = 0; r < short_rows.RowCount(); ++r)
      causes.push_back(fmt::format("item {} is short in stock {} {}: {} on hand, the bills take {}",
                                   ItemName(short_rows, r, 1, 2, 0), FieldText(short_rows.At(r, 3)),
                                   FieldText(short_rows.At(r, 4)),
                                   automation::NumberToText(FieldNumber(short_rows.At(r, 6))),
                                   automation::NumberToText(FieldNumber(short_rows.At(r, 5)))));
  }
  return causes;
}

}  // namespace tovan::backoffice
