#include "backoffice/lookups.h"

#include <cmath>

#include "backoffice/field_values.h"
#include "backoffice/input_checks.h"
#include "backoffice/refusal.h"
#include "backoffice/settlement_roles.h"
#include "platform/automation/text.h"
#include "host/host_database.h"
#include "platform/automation/error.h"
#include "platform/foundation/vector.h"
#include "platform/host/data_context.h"
#include "platform/host/global_context.h"

namespace tovan::backoffice {

using automation::CStr;
using automation::Variant;

namespace {
// A record list a member answered; a list that cannot be read is a failure, never "none".
std::shared_ptr<foundation::Vector> Records(const Variant& list, const char* what) {
  auto vector = foundation::AsVector(list);
  if (!vector)
    throw automation::AutomationError(automation::vberr::kObjectNotSet, "dailybalance",
                                      std::string("the ") + what + " cannot be read");
  return vector;
}

std::string Setting(const automation::DispatchPtr& data, const char* key) {
  std::vector<Variant> args{Variant("POSDailyBalance"), Variant(key)};
  return CStr(CallMember(data, "GetSettleInfo", args));
}
}  // namespace

std::vector<Shop> ListShops(Session& session) {
  hostlib::HostDatabase db(session.db());
  auto rows = db.Query("SELECT FItemID, FNumber, FName FROM t_LS_BranchShop ORDER BY FNumber, FItemID");
  std::vector<Shop> shops;
  for (size_t r = 0; r < rows.RowCount(); ++r)
    shops.push_back(Shop{FieldLong(rows.At(r, 0)), FieldText(rows.At(r, 1)), FieldText(rows.At(r, 2))});
  return shops;
}

Shop ResolveShop(Session& session, const std::string& field, const std::string& text) {
  std::vector<Shop> shops = ListShops(session);
  const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  for (const Shop& s : shops)
    if (digits && text.size() <= 9 && s.id == std::stol(text)) return s;
  for (const Shop& s : shops)
    if (automation::EqualsNoCase(s.number, text) || s.name == text) return s;
  std::vector<std::string> known;
  for (const Shop& s : shops) known.push_back(std::to_string(s.id) + " " + s.name);
  throw Refusal(field, "no shop " + text + " (shops: " + NameSome(known, 8) + ")").Worded("noShop", {{"shop", text}});
}

std::vector<CustomerNode> ListCustomers(Session& session) {
  auto data = session.Create("clsData");
  std::vector<Variant> args{Variant(session.db())};
  auto list = Records(CallMember(data, "GetData", args), "customers");
  std::vector<CustomerNode> out;
  for (int32_t p = 1; p <= list->UpperBound(); ++p) {
    auto r = list->Record(p);
    out.push_back(CustomerNode{FieldLong(r->Value("FItemID")), FieldText(r->Value("FNumber")),
                               FieldText(r->Value("FName")), FieldLong(r->Value("FLevel")),
                               automation::CBool(r->Value("FDetail"))});
  }
  return out;
}

void CheckCustomer(Session& session, const std::string& field, int32_t id) {
  hostlib::HostDatabase db(session.db());
  auto rows = db.Query("SELECT FItemClassID, FDetail, FDeleted, FName FROM t_Item WHERE FItemID=?1", {Variant(id)});
  const std::string named = std::to_string(id);
  if (rows.RowCount() == 0 || FieldLong(rows.At(0, 0)) != 4)
    throw Refusal(field, "no customer " + named).Worded("noCustomer", {{"id", named}});
  const std::string label = named + " " + FieldText(rows.At(0, 3));
  if (!automation::CBool(foundation::NullToDefault(rows.At(0, 1), Variant(true))))
    throw Refusal(field, label + " is a group heading, not a customer").Worded("customerHeading", {{"customer", label}});
  if (automation::CBool(foundation::NullToDefault(rows.At(0, 2), Variant(false))))
    throw Refusal(field, "customer " + label + " is deleted").Worded("customerDeleted", {{"customer", label}});
}

CustomerDetail ReadCustomer(Session& session, const std::string& field, int32_t id) {
  CheckCustomer(session, field, id);
  auto data = session.Create("clsData");
  const std::string text = std::to_string(id);
  std::vector<Variant> args{Variant(session.db()), Variant(text), Variant(""), Variant(""), Variant(""), Variant("")};
  CallMember(data, "GetCustDetail", args);
  auto context = host::GlobalContext::ForThread().GetDataContext();
  context->OpenDsn(session.db());
  std::vector<Variant> tax{Variant(context->GetConnection()), Variant(text)};
  return CustomerDetail{id, args[2].string(), args[3].string(), args[4].string(), args[5].string(),
                        CStr(CallMember(data, "GetInvoiceData", tax))};
}

std::vector<Account> ListAccounts(Session& session) {
  auto data = session.Create("clsData");
  std::vector<Variant> args{Variant(session.db())};
  auto list = Records(CallMember(data, "GetSettleAcctData", args), "settlement accounts");
  std::vector<Account> out;
  for (int32_t p = 1; p <= list->UpperBound(); ++p) {
    auto r = list->Record(p);
    out.push_back(Account{FieldLong(r->Value("FItemID")), std::string(), FieldText(r->Value("FName"))});
  }
  return out;
}

ClosingSettings ReadClosingSettings(Session& session) {
  auto data = session.Create("clsData");
  return ClosingSettings{Setting(data, "Client"), Setting(data, "InvoiceType"), Setting(data, "TaxRate"),
                         Setting(data, "InCustID"), Setting(data, "SettleAcct")};
}

SelectionTotals TotalSelection(Session& session, const std::string& ids) {
  auto data = session.Create("clsData");
  std::vector<Variant> args{Variant(session.db()), Variant(ids)};
  auto methods = Records(CallMember(data, "SetSettleAmount", args), "settlement amounts");
  SelectionTotals totals;
  for (int32_t p = 1; p <= methods->UpperBound(); ++p) {
    auto r = methods->Record(p);
    totals.methods.push_back(
        SelectionTotals::Method{FieldLong(r->Value("FItemID")), FieldText(r->Value("FName")),
                                FieldNumber(r->Value("FSettleAmount"))});
  }
  hostlib::HostDatabase db(session.db());
  // `ids` is a checked list of numbers, so it can stand in the text.
  const std::string in = "(" + ids + ")";
  // The part the closing deducts from the goods lines.
  totals.deductible = std::abs(FieldNumber(db.Scalar("SELECT sum(FSettleAmount) FROM t_LS_RetailEntry2 WHERE FID IN " +
                                                     in + " AND FSettleID IN " + kDeductedMethods)));
  auto days = db.Query("SELECT FDate, count(*), sum(FTotalAmount) FROM t_LS_Retail WHERE FID IN " + in +
                       " GROUP BY FDate ORDER BY FDate");
  for (size_t r = 0; r < days.RowCount(); ++r) {
    totals.total += FieldNumber(days.At(r, 2));
    totals.days.push_back(SelectionTotals::Day{FieldText(days.At(r, 0)).substr(0, 10), FieldLong(days.At(r, 1)),
                                               FieldNumber(days.At(r, 2))});
  }
  return totals;
}

}  // namespace tovan::backoffice
