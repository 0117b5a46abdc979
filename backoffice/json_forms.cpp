#include "backoffice/json_forms.h"

namespace tovan::backoffice {

namespace {
Json TextOrNull(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }
}  // namespace

Json ToJson(const OpenBillList& list) {
  Json bills = Json::array();
  for (const OpenBill& b : list.bills)
    bills.push_back(Json{{"id", b.id},       {"billNo", b.bill_no}, {"date", b.date},       {"type", b.type},
                         {"shopId", b.shop_id}, {"shop", b.shop},   {"cashier", b.cashier}, {"amount", b.amount}});
  return Json{{"count", list.bills.size()}, {"total", list.total}, {"bills", bills}};
}

Json ToJson(const ClosedDay& d) {
  return Json{{"id", d.id},
              {"dailyBillNo", d.bill_no},
              {"date", d.date},
              {"shops", d.shops},
              {"bills", d.bills},
              {"amount", d.amount},
              {"stockBillNo", TextOrNull(d.stock_bill_no)},
              {"checkBillNo", TextOrNull(d.check_bill_no)},
              {"operatorId", d.operator_id},
              {"operator", d.operator_name},
              {"closedAt", TextOrNull(d.closed_at)}};
}

Json ToJson(const ClosedDayList& list) {
  Json days = Json::array();
  for (const ClosedDay& d : list.days) days.push_back(ToJson(d));
  return Json{{"count", list.days.size()}, {"bills", list.bills}, {"amount", list.amount}, {"days", days}};
}

Json ToJson(const DayDetails& details) {
  Json bills = Json::array();
  for (const DayBill& b : details.bills)
    bills.push_back(Json{{"id", b.id},     {"billNo", b.bill_no},   {"date", b.date},    {"type", b.type},
                         {"shop", b.shop}, {"cashier", b.cashier}, {"amount", b.amount}});
  Json stock = nullptr;
  if (details.stock_bill) {
    Json lines = Json::array();
    for (const StockLine& l : details.stock_bill->lines)
      lines.push_back(Json{{"index", l.index}, {"itemNumber", l.item_number}, {"item", l.item_name},
                           {"unit", l.unit},   {"stock", l.stock},              {"batch", l.batch},
                           {"qty", l.qty},     {"price", l.price},              {"amount", l.amount}});
    stock = Json{{"billNo", details.stock_bill->bill_no},
                 {"date", details.stock_bill->date},
                 {"lines", lines},
                 {"total", details.stock_bill->total}};
  }
  Json check = nullptr;
  if (details.check_bill)
    check = Json{{"billNo", details.check_bill->bill_no},
                 {"customerId", details.check_bill->customer_id},
                 {"customer", details.check_bill->customer},
                 {"amount", details.check_bill->amount},
                 {"writtenOff", details.check_bill->written_off}};
  return Json{{"day", ToJson(details.day)},
              {"bills", bills},
              {"billsTotal", details.bills_total},
              {"stockBill", stock},
              {"checkBill", check}};
}

Json ToJson(const std::optional<CashCount>& count) {
  if (!count) return nullptr;
  Json lines = Json::array();
  for (const auto& l : count->lines) {
    Json pieces = Json::array();
    for (const CountPieces& p : l.pieces) pieces.push_back(Json{{"denomination", p.denomination}, {"pieces", p.pieces}});
    lines.push_back(Json{{"methodId", l.method_id},
                         {"method", l.method},
                         {"expected", l.expected},
                         {"counted", l.counted},
                         {"difference", l.difference},
                         {"pieces", pieces}});
  }
  return Json{{"lines", lines},
              {"note", count->note},
              {"countedBy", count->counted_by},
              {"countedByName", count->counted_by_name},
              {"signedOffBy", count->signed_off_by == 0 ? Json(nullptr) : Json(count->signed_off_by)},
              {"signedOffByName", count->signed_off_by == 0 ? Json(nullptr) : Json(count->signed_off_by_name)},
              {"maxDifference", count->max_difference}};
}

Json ToJson(const ClosingResult& r) {
  return Json{{"result", true},
              {"message", r.message},
              {"dailyBillId", r.daily_bill_id},
              {"dailyBillNo", r.daily_bill_no},
              {"date", automation::DateToText(r.plan.date)},
              {"retailBills", r.plan.bills},
              {"shops", r.plan.shops},
              {"client", r.plan.client},
              {"stockBillNo", r.stock_bill_no},
              {"checkBillNo", r.check_bill_no ? Json(*r.check_bill_no) : Json(nullptr)},
              {"inCust", r.plan.in_cust ? Json(*r.plan.in_cust) : Json(nullptr)},
              {"inCustStored", r.plan.in_cust_stored},
              {"count", ToJson(r.count)}};
}

Json ToJson(const ClosingCheck& c) {
  return Json{{"ok", c.ok()},
              {"valid", Json{{"ok", c.valid}, {"message", c.valid_message}, {"type", c.bill_type}}},
              {"stock", Json{{"ok", c.stock}, {"message", c.stock_message}}},
              {"tracked", Json{{"ok", c.tracked}}},
              {"causes", c.causes}};
}

Json ToJson(const CancelResult& r) {
  Json cancelled = Json::array(), failed = Json::array(), unknown = Json::array();
  for (const CancelledDay& d : r.cancelled) cancelled.push_back(Json{{"id", d.id}, {"dailyBillNo", d.bill_no}});
  for (const CancelFailure& f : r.failed)
    failed.push_back(Json{{"id", f.id}, {"dailyBillNo", f.bill_no}, {"lines", f.lines}});
  for (const CancelFailure& f : r.unknown)
    unknown.push_back(Json{{"id", f.id}, {"dailyBillNo", f.bill_no}, {"lines", f.lines}});
  return Json{{"result", r.ok()}, {"cancelled", cancelled}, {"failed", failed}, {"unknown", unknown}};
}

Json ToJson(const OptionValue& o) {
  return Json{{"section", o.option->section},
              {"key", o.option->key},
              {"value", o.value ? Json(*o.value) : Json(nullptr)},
              {"low", o.option->low},
              {"high", o.option->high},
              {"decimals", o.option->decimals},
              {"meaning", o.option->meaning}};
}

Json ToJson(const SelectionTotals& t) {
  Json methods = Json::array(), days = Json::array();
  for (const auto& m : t.methods) methods.push_back(Json{{"id", m.id}, {"name", m.name}, {"amount", m.amount}});
  for (const auto& d : t.days) days.push_back(Json{{"date", d.date}, {"bills", d.bills}, {"amount", d.amount}});
  return Json{{"methods", methods}, {"deductible", t.deductible}, {"days", days}, {"total", t.total}};
}

Json ToJson(const std::vector<AuditRow>& trail) {
  Json events = Json::array();
  for (const AuditRow& r : trail)
    events.push_back(Json{{"id", r.id},
                          {"time", r.time},
                          {"userId", r.user_id},
                          {"user", r.user},
                          {"event", r.event},
                          {"result", r.result},
                          {"shops", r.shops},
                          {"bills", r.bills},
                          {"dailyBillId", r.daily_bill_id == 0 ? Json(nullptr) : Json(r.daily_bill_id)},
                          {"dailyBillNo", r.daily_bill_no.empty() ? Json(nullptr) : Json(r.daily_bill_no)},
                          {"message", r.message}});
  return Json{{"count", trail.size()}, {"events", events}};
}

Json ToJson(const ClosingReport& r) {
  Json methods = Json::array(), shops = Json::array(), cashiers = Json::array();
  for (const auto& m : r.methods)
    methods.push_back(Json{{"id", m.id}, {"name", m.name}, {"bills", m.bills}, {"amount", m.amount}, {"role", m.role}});
  for (const auto& s : r.shops) shops.push_back(Json{{"id", s.id}, {"name", s.name}, {"bills", s.bills}, {"amount", s.amount}});
  for (const auto& c : r.cashiers)
    cashiers.push_back(Json{{"id", c.id}, {"name", c.name}, {"bills", c.bills}, {"amount", c.amount}});
  auto lines = [](const std::vector<ClosingReport::Line>& chain) {
    Json out = Json::array();
    for (const auto& l : chain) out.push_back(Json{{"label", l.label}, {"amount", l.amount}, {"total", l.total}});
    return out;
  };
  Json details = ToJson(r.day);
  return Json{{"day", details["day"]},
              {"salesBills", r.sales_bills},
              {"returnBills", r.return_bills},
              {"total", details["billsTotal"]},
              {"methods", methods},
              {"settled", r.settled},
              {"shops", shops},
              {"cashiers", cashiers},
              {"invoiceType", r.invoice_type},
              {"taxRate", r.tax_rate},
              {"stockInTax", r.stock_in_tax},
              {"stockNet", r.stock_net},
              {"stockTax", r.stock_tax},
              {"billsToSettlement", lines(r.bills_to_settlement)},
              {"goodsToStockBill", lines(r.goods_to_stock_bill)},
              {"bills", details["bills"]},
              {"stockBill", details["stockBill"]},
              {"checkBill", details["checkBill"]},
              {"count", ToJson(r.count)}};
}

}  // namespace tovan::backoffice
