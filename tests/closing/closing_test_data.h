// Rows a closing or cancellation test needs on a host with master data only,
// and the statement trace of what the component sends.
#pragma once

#include <fmt/format.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "component/cls_data.h"
#include "host/events_switch.h"
#include "tests/support/host_fixture.h"

namespace tovan::testing {

// Items of the demo master data: 1101 not batch-managed (units 1 and 3 of
// coefficient 24), 1107 batch-managed (base unit 4).  Stock 202 is ordinary,
// 205 custody (type 502).
class ClosingData {
 public:
  explicit ClosingData(const HostFixture& host) : host_(host) {}

  void Exec(const std::string& sql) const { host_.Query(sql); }
  void Bill(int id, double total, double discount = 0, int type = 1, const char* date = "2026-12-04") const {
    Exec(fmt::format("INSERT INTO t_LS_Retail (FID, FBillNo, FDate, FBillType, FBranchShop, FCashier, FTotalAmount, "
                     "FDiscountAmount) VALUES ({0}, 'LS{0:06}', '{1}', {2}, 1, 1, {3}, {4})",
                     id, date, type, total, discount));
  }
  // A goods line of `qty` in `unit`; its base quantity is qty × coefficient and
  // its balance amount its amount.
  void Line(int bill, int item, double qty, double amount, int unit = 1, double coefficient = 1, int stock = 202,
            int aux = 0) const {
    Exec(fmt::format("INSERT INTO T_LS_RetailEntry (FID, FItemID, FShowUnitID, FCoefficient, FStock, FAuxPropID, FQty, "
                     "FShowQty, FAmount, FBalAmount) VALUES ({}, {}, {}, {}, {}, {}, {}, {}, {}, {})",
                     bill, item, unit, coefficient, stock, aux, qty, qty * coefficient, amount, amount));
  }
  void Settle(int bill, int settle_id, double amount) const {
    Exec(fmt::format("INSERT INTO t_LS_RetailEntry2 (FID, FSettleID, FSettleAmount) VALUES ({}, {}, {})", bill,
                     settle_id, amount));
  }
  void Stock(int item, double qty, const char* batch = "", int stock = 202) const {
    Exec(fmt::format("INSERT INTO t_CC_Inventory (FItemID, FStockID, FBatchNo, FQty) VALUES ({}, {}, '{}', {})", item,
                     stock, batch, qty));
  }
  std::string Text(const std::string& sql) const {
    automation::Variant v = host_.Scalar(sql);
    return v.IsNull() ? "NULL" : automation::CStr(v);
  }
  // Every row as its values joined by "|", the rows joined by ",".
  std::string Rows(const std::string& sql) const {
    auto rows = host_.Query(sql);
    std::string out;
    for (size_t r = 0; r < rows.RowCount(); ++r) {
      if (r) out += ",";
      for (size_t c = 0; c < rows.columns.size(); ++c) {
        const automation::Variant& v = rows.At(r, c);
        out += (c ? "|" : "") + (v.IsNull() ? std::string("NULL") : automation::CStr(v));
      }
    }
    return out;
  }

 private:
  const HostFixture& host_;
};

inline std::shared_ptr<foundation::Dictionary> Record(
    std::initializer_list<std::pair<const char*, automation::Variant>> values) {
  auto record = foundation::Dictionary::Create();
  for (const auto& [key, value] : values) record->SetValue(key, value);
  return record;
}

inline std::shared_ptr<foundation::Vector> List(
    std::initializer_list<std::shared_ptr<foundation::Dictionary>> records) {
  auto list = foundation::Vector::Create();
  for (const auto& r : records) list->Add(automation::Variant(r));
  return list;
}

// The events a recording switch received, as "Member:value" texts.
inline std::vector<std::string> Events(const automation::DispatchPtr& events) {
  auto& display = static_cast<hostlib::RecordingDisplay&>(static_cast<hostlib::EventsSwitch&>(*events).display());
  std::vector<std::string> out;
  for (const auto& [member, value] : display.calls()) out.push_back(member + ":" + automation::CStr(value));
  return out;
}

// Three retail bills of 180 in all: 20 of it paid by a deductible method (3).
inline void SalesDay(const ClosingData& data, int type = 1) {
  data.Bill(20, 30, 0, type);
  data.Line(20, 1102, 3, 30);
  data.Bill(21, 100, 0, type);
  data.Line(21, 1101, 10, 60);
  data.Line(21, 1107, 4, 40, 4);  // batch-managed
  data.Bill(22, 50, 0, type);
  data.Line(22, 1101, 1, 50, 3, 24);  // one carton of 24
  data.Settle(20, 5, 30);
  data.Settle(21, 1, 80);
  data.Settle(21, 3, 20);
  data.Settle(22, 1, 50);
  data.Stock(1101, 100);
  data.Stock(1102, 10);
  data.Stock(1107, 3, "B1");
  data.Stock(1107, 5, "B2");
}

inline std::shared_ptr<foundation::Vector> Settlements() {
  return List(
      {Record({{"FSettleAmount", automation::Variant(160.0)}, {"FSettleItemID", automation::Variant("1")},
               {"FSettleAcctItemID", automation::Variant("1")}}),
       Record({{"FSettleAmount", automation::Variant(-20.0)}, {"FSettleItemID", automation::Variant("3")},
               {"FSettleAcctItemID", automation::Variant("0")}})});
}

// One closing of the sales day through the class, as the host dialog calls it.
struct Closing {
  automation::DispatchPtr events = hostlib::MakeRecordingSwitch();
  std::string bill_type = "1";
  std::string ids = "22,20,21";
  std::shared_ptr<foundation::Vector> vec = Settlements();
  bool check_bill = true;
  int32_t in_customer = 301;
  std::string message;

  bool Run(const HostFixture& host) {
    component::clsData cls;
    return cls.ProcessDailyBalance(events, host.db(), bill_type, ids, automation::Date::FromParts(2026, 12, 4), "2021",
                                   "314", 13.5, vec, message, check_bill, in_customer, 101);
  }
};

// $DAILYBALANCE_TRACE for the life of the object.  Connections read it when
// they open, so make this before the host fixture opens any.
class TraceFile {
 public:
  TraceFile() : path_(dir_.File("trace.sql")) { ::setenv("DAILYBALANCE_TRACE", path_.c_str(), 1); }
  ~TraceFile() { ::unsetenv("DAILYBALANCE_TRACE"); }
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;

  void Clear() const { std::ofstream(path_, std::ios::trunc); }
  // The statement texts sent since the last Clear, in order.
  std::vector<std::string> Records() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string text = buffer.str();
    std::vector<std::string> records;
    const std::string end = "\n-- end --\n";
    for (size_t at = 0, next; (next = text.find(end, at)) != std::string::npos; at = next + end.size())
      records.push_back(text.substr(at, next - at));
    return records;
  }

 private:
  TempDir dir_;
  std::string path_;
};

}  // namespace tovan::testing
