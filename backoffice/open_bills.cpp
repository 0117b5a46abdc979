#include "backoffice/open_bills.h"

#include "backoffice/field_values.h"
#include "backoffice/refusal.h"
#include "host/host_database.h"
#include "platform/host/data_context.h"

namespace tovan::backoffice {

using automation::Variant;

namespace {
}  // namespace

void CheckRange(const std::optional<automation::Date>& from, const std::optional<automation::Date>& to) {
  if (from && to && from->serial > to->serial)
    throw Refusal("from", automation::DateToText(*from) + " is after " + automation::DateToText(*to));
}

OpenBillList ListOpenBills(Session& session, const OpenBillFilter& filter) {
  CheckRange(filter.from, filter.to);
  // A listing: a read-only unit, which never waits for a closing.
  host::HostUnitOfWork read_only(host::HostUnitOfWork::Access::kReadOnly);
  hostlib::HostDatabase db(session.db());
  // Days are stored at midnight, so a day's bills lie from the day up to the next one.
  std::string sql =
      "SELECT r.FID, r.FBillNo, r.FDate, r.FBillType, r.FBranchShop, s.FName, c.FName, r.FTotalAmount "
      "FROM t_LS_Retail r LEFT JOIN t_LS_BranchShop s ON s.FItemID=r.FBranchShop "
      "LEFT JOIN t_LS_Cashier c ON c.FItemID=r.FCashier WHERE r.FDailyBillID=0";
  std::vector<Variant> values;
  if (filter.from) {
    values.emplace_back(automation::DateToText(*filter.from));
    sql += " AND r.FDate>=?" + std::to_string(values.size());
  }
  if (filter.to) {
    values.emplace_back(automation::DateToText(automation::Date{filter.to->serial + 1}));
    sql += " AND r.FDate<?" + std::to_string(values.size());
  }
  if (!filter.type.empty()) {
    values.emplace_back(static_cast<int32_t>(std::stol(filter.type)));
    sql += " AND r.FBillType=?" + std::to_string(values.size());
  }
  if (filter.shop != 0) {
    values.emplace_back(filter.shop);
    sql += " AND r.FBranchShop=?" + std::to_string(values.size());
  }
  sql += " ORDER BY r.FDate, r.FID";
  data::ResultSet rows = db.Query(sql, values);
  if (rows.RowCount() == 0) db.CheckSound("t_LS_Retail");  // never "no bills" from a damaged file
  OpenBillList list;
  for (size_t r = 0; r < rows.RowCount(); ++r) {
    OpenBill bill;
    bill.id = automation::CLng(rows.At(r, 0));
    bill.bill_no = FieldText(rows.At(r, 1));
    bill.date = FieldText(rows.At(r, 2)).substr(0, 10);
    bill.type = FieldText(rows.At(r, 3)) == "2" ? "returns" : "sales";
    bill.shop_id = rows.At(r, 4).IsNull() ? 0 : automation::CLng(rows.At(r, 4));
    bill.shop = FieldText(rows.At(r, 5));
    bill.cashier = FieldText(rows.At(r, 6));
    bill.amount = rows.At(r, 7).IsNull() ? 0 : automation::CDbl(rows.At(r, 7));
    list.total += bill.amount;
    list.bills.push_back(std::move(bill));
  }
  return list;
}

}  // namespace tovan::backoffice
