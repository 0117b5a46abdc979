#include "web/dialog_service.h"

#include "backoffice/json_forms.h"
#include "backoffice/lookups.h"
#include "platform/automation/error.h"
#include "platform/data/open.h"
#include "platform/host/data_context.h"

namespace tovan::web {

namespace bo = backoffice;

namespace {
// Reads run in a read-only unit: they never wait for a closing and cannot write.
struct ReadOnly {
  host::HostUnitOfWork unit{host::HostUnitOfWork::Access::kReadOnly};
};
}  // namespace

Json Settings(bo::Session& session) {
  ReadOnly read;
  bo::ClosingSettings s = bo::ReadClosingSettings(session);
  bo::CountRules rules = bo::ReadCountRules(session);
  return Json{{"client", s.client},   {"invoiceType", s.invoice_type},
              {"taxRate", s.tax_rate}, {"inCust", s.in_cust},
              {"account", s.account},  {"database", data::RedactedDataSource(session.db())},
              {"user", session.user_name()},
              {"countRequired", rules.required}, {"maxCountDifference", rules.max_difference}};
}

Json Shops(bo::Session& session) {
  ReadOnly read;
  Json shops = Json::array();
  for (const bo::Shop& s : bo::ListShops(session))
    shops.push_back(Json{{"id", s.id}, {"number", s.number}, {"name", s.name}});
  return Json{{"shops", shops}};
}

Json Customers(bo::Session& session) {
  ReadOnly read;
  Json customers = Json::array();
  for (const bo::CustomerNode& c : bo::ListCustomers(session))
    customers.push_back(Json{
        {"id", c.id}, {"number", c.number}, {"name", c.name}, {"level", c.level}, {"isCustomer", c.is_customer}});
  return Json{{"customers", customers}};
}

Json Customer(bo::Session& session, int32_t id) {
  ReadOnly read;
  bo::CustomerDetail c = bo::ReadCustomer(session, "client", id);
  return Json{{"id", c.id},       {"name", c.name}, {"contact", c.contact},
              {"phone", c.phone}, {"fax", c.fax},   {"taxRate", c.tax_rate}};
}

Json Accounts(bo::Session& session) {
  ReadOnly read;
  Json accounts = Json::array();
  for (const bo::Account& a : bo::ListAccounts(session)) accounts.push_back(Json{{"id", a.id}, {"name", a.name}});
  return Json{{"accounts", accounts}};
}

Json RefusalJson(const bo::Refusal& refusal) {
  std::string line = refusal.message.substr(0, refusal.message.find_first_of("\r\n"));
  Json out{{"error", line}, {"field", refusal.field}};
  AddWording(out, refusal.wording);
  if (!refusal.causes.empty()) out["causes"] = refusal.causes;
  return out;
}

void AddWording(Json& answer, const bo::Wording& wording) {
  if (wording.key.empty()) return;
  Json values = Json::object();
  for (const auto& [name, value] : wording.values) values[name] = value;
  answer["key"] = wording.key;
  answer["values"] = values;
}

Json Close(bo::Session& session, const bo::ClosingRequest& request, automation::DispatchPtr events) {
  try {
    Json out = bo::ToJson(bo::RunClosing(session, request, std::move(events)));
    out["ok"] = true;
    return out;
  } catch (const bo::OperationFailed& e) {
    return Json{{"ok", false}, {"message", e.message}, {"causes", e.causes}};
  } catch (const bo::OutcomeUnknown& e) {
    return Json{{"ok", false}, {"unknown", true}, {"message", e.message}, {"causes", e.causes}};
  } catch (const bo::Refusal& e) {
    // The data moved on between the answer and the run (bills closed beside it).
    Json out = RefusalJson(e);
    Json answer{{"ok", false}, {"message", out["error"]}, {"field", e.field}, {"causes", e.causes}};
    AddWording(answer, e.wording);
    return answer;
  } catch (const automation::AutomationError& e) {
    return Json{{"ok", false}, {"message", e.description()}, {"causes", Json::array()}};
  }
}

Json Cancel(bo::Session& session, const std::string& ids, const std::string& reason, automation::DispatchPtr events) {
  try {
    Json out = bo::ToJson(bo::CancelClosings(session, ids, reason, std::move(events)));
    out["ok"] = out["result"];
    return out;
  } catch (const bo::Refusal& e) {
    return Json{{"ok", false}, {"message", e.message}, {"cancelled", Json::array()}, {"failed", Json::array()}};
  } catch (const automation::AutomationError& e) {
    return Json{{"ok", false}, {"message", e.description()}, {"cancelled", Json::array()}, {"failed", Json::array()}};
  }
}

}  // namespace tovan::web
