#include "platform/host/data_context.h"

#include "platform/automation/error.h"
#include "platform/data/data_error.h"
#include "platform/data/open.h"
#include "platform/host/global_context.h"

namespace tovan::host {

DataContext::~DataContext() { CloseAll(); }

std::shared_ptr<data::Connection> DataContext::Open(const std::string& data_source) {
  auto connection = data::OpenConnection(data_source);
  for (const auto& init : global_.connection_initializers()) init(*connection);
  return connection;
}

std::shared_ptr<data::Connection> DataContext::ConnectionFor(const std::string& data_source) {
  auto it = connections_.find(data_source);
  if (it != connections_.end()) return it->second;
  auto connection = Open(data_source);
  connection->SetObserver(this);
  connections_.emplace(data_source, connection);
  return connection;
}

std::shared_ptr<data::Connection> DataContext::ConnectionBesideUnitsFor(const std::string& data_source) {
  auto it = beside_units_.find(data_source);
  if (it != beside_units_.end()) return it->second;
  return beside_units_.emplace(data_source, Open(data_source)).first->second;
}

automation::Variant DataContext::OpenDsn(const std::string& data_source) {
  ConnectionFor(data_source);
  bound_ = data_source;
  return automation::Variant();
}

std::shared_ptr<data::Connection> DataContext::GetConnection() {
  auto it = connections_.find(bound_);
  if (it == connections_.end()) {
    throw automation::AutomationError(automation::vberr::kObjectNotSet, "DataContext",
                                      "the data context is not bound to a data source");
  }
  return it->second;
}

std::shared_ptr<UserSession> DataContext::GetUserSession() { return std::make_shared<UserSession>(global_.UserId()); }

std::optional<std::string> DataContext::TakeUnitError() {
  auto error = std::move(unit_error_);
  unit_error_.reset();
  return error;
}

void DataContext::BeforeStatement(data::Connection& connection) {
  if (depth_ == 0 || connection.backend().InTransaction()) return;
  connection.backend().BeginTransaction(access_);
  enlisted_.push_back(std::static_pointer_cast<data::Connection>(connection.shared_from_this()));
}

void DataContext::Enter(data::TransactionAccess access) {
  if (depth_++ == 0) {
    last_vote_ = Vote::None;
    access_ = access;
  }
}

void DataContext::Leave() {
  if (--depth_ == 0) {
    try {
      EndUnit(last_vote_ != Vote::Abort);
    } catch (const automation::AutomationError& e) {
      unit_error_ = e.description();
    }
    access_ = data::TransactionAccess::kReadWrite;
  }
}

void DataContext::LeaveHostUnit(bool commit) {
  if (depth_ > 0 && --depth_ == 0) {
    access_ = data::TransactionAccess::kReadWrite;
    EndUnit(commit);
  }
}

void DataContext::EndUnit(bool commit) {
  auto enlisted = std::move(enlisted_);
  enlisted_.clear();
  std::optional<automation::AutomationError> failure;
  for (auto& connection : enlisted) {
    auto& backend = connection->backend();
    if (!backend.InTransaction()) continue;
    try {
      if (commit) {
        backend.CommitTransaction();
      } else {
        backend.RollbackTransaction();
      }
    } catch (const automation::AutomationError& e) {
      // A commit that fails leaves nothing half-written behind.
      try {
        backend.RollbackTransaction();
      } catch (const automation::AutomationError&) {
      }
      if (!failure) failure = e;
    }
  }
  if (failure) throw *failure;
}

void DataContext::CloseAll() {
  enlisted_.clear();
  for (auto& [dsn, connection] : connections_) connection->SetObserver(nullptr);
  connections_.clear();
  beside_units_.clear();
  bound_.clear();
  depth_ = 0;
}

CallScope::CallScope(Access access) : CallScope(GlobalContext::ForThread().GetDataContext(), access) {}

CallScope::CallScope(std::shared_ptr<DataContext> context, Access access) : context_(std::move(context)) {
  context_->Enter(access);
}

CallScope::~CallScope() { context_->Leave(); }

HostUnitOfWork::HostUnitOfWork(Access access) : context_(GlobalContext::ForThread().GetDataContext()) {
  context_->Enter(access);
}

HostUnitOfWork::~HostUnitOfWork() {
  if (!ended_) Rollback();
}

void HostUnitOfWork::Commit() {
  ended_ = true;
  context_->LeaveHostUnit(true);
  committed_ = true;
}

std::int64_t DataContext::ConflictCount() const {
  std::int64_t count = 0;
  for (const auto& [source, connection] : connections_) count += connection->backend().ConflictCount();
  for (const auto& [source, connection] : beside_units_) count += connection->backend().ConflictCount();
  return count;
}

bool RunUnitOfWork(const std::function<bool(HostUnitOfWork&)>& body, int attempts, data::TransactionAccess access) {
  const auto context = GlobalContext::ForThread().GetDataContext();
  for (int attempt = 1;; ++attempt) {
    const std::int64_t before = context->ConflictCount();
    HostUnitOfWork unit(access);
    try {
      const bool result = body(unit);
      if (unit.committed() || context->ConflictCount() == before || attempt >= attempts) return result;
    } catch (const automation::AutomationError& e) {
      // A unit whose commit is in doubt may stand: never run it again.
      if (data::IsCommitInDoubt(e) || unit.committed() || context->ConflictCount() == before || attempt >= attempts)
        throw;
    } catch (...) {
      if (unit.committed() || context->ConflictCount() == before || attempt >= attempts) throw;
    }
    unit.Rollback();
  }
}

void HostUnitOfWork::Rollback() {
  ended_ = true;
  try {
    context_->LeaveHostUnit(false);
  } catch (const automation::AutomationError&) {
  }
}

}  // namespace tovan::host
