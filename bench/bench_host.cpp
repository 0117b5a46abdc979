#include "bench/bench_host.h"

#include <cstdlib>
#include <stdexcept>

#include "component/cls_data.h"
#include "component/cls_un_bal_data.h"
#include "component/cls_xs_bal_data.h"
#include "component/type_library.h"
#include "host/database_builder.h"
#include "host/events_switch.h"
#include "host/host_library.h"
#include "host/host_process.h"
#include "platform/automation/error.h"
#include "platform/automation/registry.h"
#include "platform/host/data_context.h"
#include "platform/host/global_context.h"

namespace tovan::bench {

using automation::CStr;
using automation::Variant;

namespace {
const automation::Date kDay = automation::Date::FromParts(2026, 12, 4);

// The progress display of a run nobody watches.
class NoDisplay final : public hostlib::ProgressDisplay {
 public:
  void Show(const std::string&, const Variant&) override {}
};

std::shared_ptr<hostlib::EventsSwitch> Events() {
  return std::make_shared<hostlib::EventsSwitch>(std::make_unique<NoDisplay>());
}

void RemoveDatabase(const std::string& file) {
  std::error_code ignored;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) std::filesystem::remove(file + suffix, ignored);
}

void StartHost(const std::string& db) {
  host::GlobalContext::ForThread().Reset();
  hostlib::HostProcessOptions options;
  options.data_source = db;
  hostlib::StartHostProcess(options);
}

void Require(const std::string& error, const char* what) {
  if (!error.empty()) throw std::runtime_error(std::string(what) + ": " + error);
}

std::shared_ptr<foundation::Vector> SettlementVector(const std::vector<Settlement>& settlements) {
  auto vec = foundation::Vector::Create();
  for (const Settlement& s : settlements) {
    auto record = foundation::Dictionary::Create();
    record->SetValue("FSettleItemID", Variant(s.item_id));
    record->SetValue("FSettleAmount", Variant(s.amount));
    record->SetValue("FSettleAcctItemID", Variant(s.account));
    vec->Add(Variant(record));
  }
  return vec;
}

// The closing call itself, inside the caller's unit of work.
std::string CallProcessDailyBalance(component::clsData& data, const std::string& db, const std::string& ids,
                                    std::shared_ptr<foundation::Vector> vec) {
  std::string message;
  bool closed = data.ProcessDailyBalance(Events(), db, "1", ids, kDay, kInvoiceType, kClient, kTaxRate,
                                         std::move(vec), message, /*bCreateCheckBill=*/true, kInCustomer, 0);
  if (!closed) return "the closing failed: " + message;
  return {};
}

std::string DailyBillOfFirstBill(const std::string& db) {
  auto connection = host::GlobalContext::ForThread().GetDataContext()->ConnectionFor(db);
  return CStr(connection->Execute("select FDailyBillID from t_LS_Retail where FID=1")->Value(0));
}

std::string Finish(host::HostUnitOfWork& unit, std::string error) {
  if (!error.empty()) return error;
  if (unit.last_vote() != host::Vote::Complete) return "the last vote was not SetComplete";
  unit.Commit();
  return {};
}
}  // namespace

BenchHost::BenchHost(std::filesystem::path scratch, bool keep) : scratch_(std::move(scratch)), keep_(keep) {
  std::filesystem::create_directories(scratch_);
  ::setenv("DAILYBALANCE_REGISTRY", (scratch_ / "registry.json").c_str(), 1);
  if (automation::RegisterServer(automation::LoadedServerFile("libTovanMDailyBalance.so")) != 0 ||
      automation::RegisterServer(hostlib::LibraryFile()) != 0)
    throw std::runtime_error("cannot register the libraries in " + scratch_.string());
}

BenchHost::~BenchHost() {
  host::GlobalContext::ForThread().Reset();
  if (keep_) return;
  std::error_code ignored;
  std::filesystem::remove_all(scratch_, ignored);
}

const Workload& BenchHost::Get(int bills) {
  if (auto it = workloads_.find(bills); it != workloads_.end()) return it->second;
  Workload w;
  w.bills = bills;
  std::string stem = (scratch_ / ("bills" + std::to_string(bills))).string();
  w.open_db = stem + "-open.db";
  w.balanced_db = stem + "-balanced.db";
  w.closed_db = stem + "-closed.db";
  for (int id = 1; id <= bills; ++id) w.ids.append(id > 1 ? "," : "").append(std::to_string(id));
  bool built = keep_ && std::filesystem::exists(w.open_db) && std::filesystem::exists(w.balanced_db) &&
               std::filesystem::exists(w.closed_db);
  if (built) {
    StartHost(w.balanced_db);
    w.settlements = SettlementRecords(w.balanced_db, w.ids);
    StartHost(w.closed_db);
    w.daily_bill_id = DailyBillOfFirstBill(w.closed_db);
    host::GlobalContext::ForThread().Reset();
    return workloads_.emplace(bills, std::move(w)).first->second;
  }

  // One day of sales only, so that every bill goes into one closing.
  hostlib::DemoOptions options;
  options.bills = bills;
  options.lines = 10;
  options.seed = 11;
  options.days = 1;
  options.return_share = 0;
  options.last_day = kDay;
  RemoveDatabase(w.open_db);
  hostlib::BuildDatabase(w.open_db, options);

  std::filesystem::copy_file(w.open_db, w.balanced_db, std::filesystem::copy_options::overwrite_existing);
  StartHost(w.balanced_db);
  Require(UpdateBalAmount(w.balanced_db), "balance amounts");
  w.settlements = SettlementRecords(w.balanced_db, w.ids);
  host::GlobalContext::ForThread().Reset();

  std::filesystem::copy_file(w.balanced_db, w.closed_db, std::filesystem::copy_options::overwrite_existing);
  StartHost(w.closed_db);
  Require(ProcessDailyBalance(w.closed_db, w.ids, w.settlements), "closing");
  w.daily_bill_id = DailyBillOfFirstBill(w.closed_db);
  host::GlobalContext::ForThread().Reset();
  return workloads_.emplace(bills, std::move(w)).first->second;
}

std::string BenchHost::FreshFile(const std::string& prebuilt) {
  host::GlobalContext::ForThread().Reset();
  std::string work = (scratch_ / "work.db").string();
  RemoveDatabase(work);
  std::filesystem::copy_file(prebuilt, work);
  return work;
}

std::string BenchHost::Fresh(const std::string& prebuilt) {
  std::string work = FreshFile(prebuilt);
  StartHost(work);
  return work;
}

std::string UpdateBalAmount(const std::string& db) {
  host::HostUnitOfWork unit;
  component::clsData data;
  return Finish(unit, data.UpdateBalAmount(db) ? std::string() : "UpdateBalAmount answered False");
}

std::string CheckSelection(const std::string& db, const std::string& ids) {
  host::HostUnitOfWork unit;
  component::clsData data;
  component::clsXSBalData selection;
  int32_t type = 0, daily_type = -1;
  std::string message;
  if (!selection.IsValidBill(ids, type, daily_type, message)) return "IsValidBill refused: " + message;
  if (!data.CheckStore(db, ids, message, type == 1 ? "1" : "2")) return "CheckStore refused: " + message;
  // A selection that passes leaves CheckStore's SetAbort standing; `close` goes on regardless.
  unit.Commit();
  return {};
}

std::string ProcessDailyBalance(const std::string& db, const std::string& ids,
                                const std::vector<Settlement>& settlements) {
  host::HostUnitOfWork unit;
  component::clsData data;
  return Finish(unit, CallProcessDailyBalance(data, db, ids, SettlementVector(settlements)));
}

std::vector<Settlement> SettlementRecords(const std::string& db, const std::string& ids) {
  host::HostUnitOfWork unit;
  component::clsData data;
  std::string account = "0";
  if (auto accounts = data.GetSettleAcctData(db); accounts && accounts->UpperBound() > 0)
    account = CStr(accounts->Record(1)->Value("FItemID"));
  std::vector<Settlement> out;
  auto amounts = data.SetSettleAmount(db, ids);
  for (int32_t p = 1; amounts && p <= amounts->UpperBound(); ++p) {
    auto method = amounts->Record(p);
    out.push_back({CStr(method->Value("FItemID")), CStr(method->Value("FSettleAmount")), account});
  }
  unit.Rollback();
  return out;
}

std::string Close(const std::string& db, const std::string& ids) {
  host::HostUnitOfWork unit;
  component::clsData data;
  component::clsXSBalData selection;
  if (!data.UpdateBalAmount(db)) return "UpdateBalAmount answered False";
  int32_t type = 0, daily_type = -1;
  std::string message;
  if (!selection.IsValidBill(ids, type, daily_type, message)) return "IsValidBill refused: " + message;
  std::string bill_type = type == 1 ? "1" : "2";
  if (!data.CheckStore(db, ids, message, bill_type)) return "CheckStore refused: " + message;

  std::string account = "0";
  if (auto accounts = data.GetSettleAcctData(db); accounts && accounts->UpperBound() > 0)
    account = CStr(accounts->Record(1)->Value("FItemID"));
  auto amounts = data.SetSettleAmount(db, ids);
  auto vec = foundation::Vector::Create();
  for (int32_t p = 1; amounts && p <= amounts->UpperBound(); ++p) {
    auto method = amounts->Record(p);
    auto record = foundation::Dictionary::Create();
    record->SetValue("FSettleItemID", method->Value("FItemID"));
    record->SetValue("FSettleAmount", method->Value("FSettleAmount"));
    record->SetValue("FSettleAcctItemID", Variant(account));
    vec->Add(Variant(record));
  }
  return Finish(unit, CallProcessDailyBalance(data, db, ids, vec));
}

std::string UnBalData(const std::string& db, const std::string& daily_bill_id) {
  host::HostUnitOfWork unit;
  component::clsUnBalData cancel;
  std::string message;
  bool ok = cancel.UnBalData(Events(), db, daily_bill_id, message);
  if (!ok) return "UnBalData failed: " + message;
  return Finish(unit, {});
}

}  // namespace tovan::bench
