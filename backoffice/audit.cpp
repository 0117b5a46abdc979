#include "backoffice/audit.h"

#include "backoffice/field_values.h"
#include "backoffice/input_checks.h"
#include "backoffice/operators.h"
#include "host/host_database.h"
#include "platform/automation/error.h"
#include "platform/foundation/vector.h"
#include "platform/host/data_context.h"

namespace tovan::backoffice {

using automation::Variant;

namespace {
// ",1,2,": every shop between commas, so that one shop is found by LIKE.
std::string ShopsText(const std::vector<int32_t>& shops) {
  if (shops.empty()) return {};
  std::string text = ",";
  for (int32_t shop : shops) text += std::to_string(shop) + ",";
  return text;
}

}  // namespace

void Audit(Session& session, const AuditEntry& e) {
  hostlib::HostDatabase db(session.db());
  db.Execute("INSERT INTO t_AuditLog (FUserID, FEvent, FResult, FShops, FBills, FDailyBillID, FDailyBillNo, FMessage) "
             "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)",
             {Variant(e.user_id != 0 ? e.user_id : session.user_id()), Variant(e.event), Variant(e.result), Variant(ShopsText(e.shops)),
              Variant(e.bills), Variant(e.daily_bill_id), Variant(e.daily_bill_no),
              Variant(e.message.substr(0, 2000))});
}

void AuditApart(Session& session, const AuditEntry& entry) {
  try {
    host::HostUnitOfWork unit;
    Audit(session, entry);
    unit.Commit();
  } catch (const automation::AutomationError&) {
    // The refusal or failure being recorded is what the operator must hear;
    // a database that cannot take its row has said so to the work before.
  }
}

std::vector<AuditRow> ReadAuditTrail(Session& session, const AuditFilter& filter) {
  if (session.acting()) RequireSupervisor(session, "read the audit trail");
  host::HostUnitOfWork read_only(host::HostUnitOfWork::Access::kReadOnly);
  hostlib::HostDatabase db(session.db());
  std::string sql =
      "SELECT a.FID, a.FTime, a.FUserID, u.FName, a.FEvent, a.FResult, a.FShops, a.FBills, a.FDailyBillID, "
      "a.FDailyBillNo, a.FMessage FROM t_AuditLog a LEFT JOIN t_Users u ON u.FUserID=a.FUserID WHERE 1=1";
  std::vector<Variant> values;
  auto bind = [&](const std::string& condition, Variant value) {
    values.push_back(std::move(value));
    sql += " AND " + condition + "?" + std::to_string(values.size());
  };
  if (filter.from) bind("a.FTime>=", Variant(automation::DateToText(*filter.from)));
  if (filter.to) bind("a.FTime<", Variant(automation::DateToText(automation::Date{filter.to->serial + 1})));
  if (filter.user != 0) bind("a.FUserID=", Variant(filter.user));
  if (filter.shop != 0) bind("a.FShops LIKE ", Variant("%," + std::to_string(filter.shop) + ",%"));
  auto rows = db.Query(sql + " ORDER BY a.FID", values);
  std::vector<AuditRow> out;
  for (size_t r = 0; r < rows.RowCount(); ++r) {
    AuditRow row;
    row.id = automation::CLng(rows.At(r, 0));
    row.time = rows.At(r, 1).IsNull() ? std::string() : automation::DateToText(automation::CDate(rows.At(r, 1)));
    row.user_id = automation::CLng(rows.At(r, 2));
    row.user = FieldText(rows.At(r, 3));
    row.event = FieldText(rows.At(r, 4));
    row.result = FieldText(rows.At(r, 5));
    for (const std::string& shop : SplitIds(FieldText(rows.At(r, 6)))) {
      if (!shop.empty()) row.shops.push_back(static_cast<int32_t>(std::stol(shop)));
    }
    row.bills = IdCount(FieldText(rows.At(r, 7)));
    row.daily_bill_id = automation::CLng(foundation::NullToDefault(rows.At(r, 8), Variant(int32_t{0})));
    row.daily_bill_no = FieldText(rows.At(r, 9));
    row.message = FieldText(rows.At(r, 10));
    out.push_back(std::move(row));
  }
  return out;
}

}  // namespace tovan::backoffice
