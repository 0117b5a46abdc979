// DataContext: connections and units of work of one thread.
//
// OpenDsn binds the context to a data source; the thread's connection for
// that data source is opened once and reused, so a component and the host
// components it calls all work on one connection.  GetConnection answers
// the bound connection.
//
// Units of work are real transactions.  A public operation (of the
// component or of a host component) enters a CallScope; the outermost scope
// of the thread makes a unit of work.  The unit's transaction begins at its
// first statement (on each connection it touches) and ends with the
// outermost scope: rolled back when the last vote was SetAbort, committed
// otherwise (SetComplete last, or no vote at all).  A host that wants to
// decide itself opens a HostUnitOfWork around several calls: the calls join
// it, their votes are recorded, and the host commits or rolls back.
//
// The outermost scope also decides the unit's access.  A read-only unit
// (a member that only reads, called outermost; a listing of the host's)
// never waits for a writer and refuses every write as a database error; a
// read-only scope inside a unit that writes joins it as it is.
//
// Errors: OpenDsn and GetConnection raise AutomationError (database errors
// from opening; 91 when nothing is bound).  A commit that fails at the end
// of a scope rolls back and is kept for TakeUnitError().
//
// Thread-safety: thread-confined (one per GlobalContext).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/automation/variant.h"
#include "platform/data/connection.h"

namespace tovan::host {

class GlobalContext;

class UserSession {
 public:
  explicit UserSession(int16_t user_id) : user_id_(user_id) {}
  int16_t UserID() const { return user_id_; }

 private:
  int16_t user_id_;
};

enum class Vote { None, Abort, Complete };

class DataContext final : public data::StatementObserver {
 public:
  explicit DataContext(GlobalContext& global) : global_(global) {}
  ~DataContext() override;

  // Binds the context to `data_source`, opening the thread's connection for
  // it when this is its first use.  The result carries nothing.
  automation::Variant OpenDsn(const std::string& data_source);
  std::shared_ptr<data::Connection> GetConnection();
  // The thread's connection for `data_source`, opened when needed, without
  // changing what the context is bound to (host components use this).
  std::shared_ptr<data::Connection> ConnectionFor(const std::string& data_source);
  // A second connection of the thread to `data_source` that never joins a
  // unit: each of its statements commits by itself and reads what other
  // sessions have committed, also while this thread's unit is open.  Opened
  // once, with the same initializers (trace, faults) as ConnectionFor.
  std::shared_ptr<data::Connection> ConnectionBesideUnitsFor(const std::string& data_source);
  // Statements of this thread's connections that met a concurrent unit's
  // conflicting write, since they were opened (see ConnectionBackend).
  std::int64_t ConflictCount() const;
  std::shared_ptr<UserSession> GetUserSession();
  void SetAbort() { last_vote_ = Vote::Abort; }
  void SetComplete() { last_vote_ = Vote::Complete; }

  Vote last_vote() const { return last_vote_; }
  bool InUnit() const { return depth_ > 0; }
  // The access of the open unit (read-write when none is open).
  data::TransactionAccess unit_access() const { return access_; }
  const std::string& bound_data_source() const { return bound_; }
  // The error of the last commit that failed at the end of a scope, cleared.
  std::optional<std::string> TakeUnitError();

  void BeforeStatement(data::Connection& connection) override;

  // Closes every connection (rolling back open work).
  void CloseAll();

 private:
  friend class CallScope;
  friend class HostUnitOfWork;
  void Enter(data::TransactionAccess access);
  void Leave();
  void LeaveHostUnit(bool commit);
  void EndUnit(bool commit);
  std::shared_ptr<data::Connection> Open(const std::string& data_source);

  GlobalContext& global_;
  std::map<std::string, std::shared_ptr<data::Connection>> connections_;
  std::map<std::string, std::shared_ptr<data::Connection>> beside_units_;
  std::string bound_;
  int depth_ = 0;
  Vote last_vote_ = Vote::None;
  data::TransactionAccess access_ = data::TransactionAccess::kReadWrite;
  std::vector<std::shared_ptr<data::Connection>> enlisted_;
  std::optional<std::string> unit_error_;
};

// One public operation's part of the thread's unit of work.
class CallScope {
 public:
  using Access = data::TransactionAccess;
  explicit CallScope(Access access = Access::kReadWrite);  // on the thread's DataContext
  explicit CallScope(std::shared_ptr<DataContext> context, Access access = Access::kReadWrite);
  ~CallScope();
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

 private:
  std::shared_ptr<DataContext> context_;
};

// A unit of work the host decides: nothing commits until Commit().
class HostUnitOfWork {
 public:
  using Access = data::TransactionAccess;
  explicit HostUnitOfWork(Access access = Access::kReadWrite);
  ~HostUnitOfWork();  // rolls back unless committed
  HostUnitOfWork(const HostUnitOfWork&) = delete;
  HostUnitOfWork& operator=(const HostUnitOfWork&) = delete;

  Vote last_vote() const { return context_->last_vote(); }
  bool committed() const { return committed_; }
  // Raises kDatabaseError when the commit fails (the work is rolled back),
  // or data::kCommitInDoubt when nobody can say whether it committed.
  void Commit();
  void Rollback();

 private:
  std::shared_ptr<DataContext> context_;
  bool ended_ = false;
  bool committed_ = false;
};

// Runs `body` in a host unit of work of its own and answers what it
// answers.  A server gives up a unit that met a concurrent unit's write (a
// conflict or a deadlock) at the statement that met it; when the attempt
// was not committed and a conflict was met, the unit is rolled back and run
// again, up to `attempts` times in all, so that the second of two closings
// of the same bills sees the first's work and refuses on its own terms.
// `body` commits the unit itself when it succeeds; an exception it raises
// counts as a failed attempt and passes on from the last one, and at once
// when it is a commit in doubt (data::kCommitInDoubt).
bool RunUnitOfWork(const std::function<bool(HostUnitOfWork&)>& body, int attempts = 4,
                   data::TransactionAccess access = data::TransactionAccess::kReadWrite);

}  // namespace tovan::host
