// Units of work on the thread's data context: votes decide, host units wrap
// several calls, crashes leave nothing, a second writer waits.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/data/backend_wrappers.h"
#include "platform/host/data_context.h"
#include "platform/host/global_context.h"
#include "platform/data/recordset.h"
#include "tests/support/scratch_db.h"

namespace tovan::host {
namespace {

const char* kSchema = "CREATE TABLE t_Counter (FID int PRIMARY KEY, FValue int);"
                      "INSERT INTO t_Counter VALUES (1, 0);";

int32_t CounterValue(const std::string& path) {
  auto conn = data::OpenConnection(path);
  return automation::CLng(conn->Execute("select FValue from t_Counter where FID=1")->Value("FValue"));
}

// One public operation: binds, writes, votes as told.
void Operation(const std::string& path, int32_t value, Vote vote) {
  CallScope scope;
  auto context = GlobalContext::ForThread().GetDataContext();
  context->OpenDsn(path);
  context->SetAbort();
  context->GetConnection()->Execute("update t_Counter set FValue=" + std::to_string(value) + " where FID=1");
  if (vote == Vote::Complete) context->SetComplete();
}

class UnitOfWork : public ::testing::Test {
 protected:
  void TearDown() override { GlobalContext::ForThread().Reset(); }
  testing::ScratchDb db_{kSchema};
};

TEST_F(UnitOfWork, TheLastVoteDecides) {
  Operation(db_.path(), 5, Vote::Abort);
  EXPECT_EQ(CounterValue(db_.path()), 0) << "SetAbort last rolls back";
  Operation(db_.path(), 6, Vote::Complete);
  EXPECT_EQ(CounterValue(db_.path()), 6) << "SetComplete last commits";
  {
    CallScope scope;  // no vote at all: committed, as a transaction server does
    auto context = GlobalContext::ForThread().GetDataContext();
    context->OpenDsn(db_.path());
    context->GetConnection()->Execute("update t_Counter set FValue=7 where FID=1");
  }
  EXPECT_EQ(CounterValue(db_.path()), 7);

  // Nested calls join the outer unit; the vote that counts is the last one cast.
  {
    CallScope outer;
    Operation(db_.path(), 8, Vote::Complete);
    GlobalContext::ForThread().GetDataContext()->SetAbort();
  }
  EXPECT_EQ(CounterValue(db_.path()), 7);
  {
    CallScope outer;
    GlobalContext::ForThread().GetDataContext()->SetAbort();
    Operation(db_.path(), 9, Vote::Complete);
  }
  EXPECT_EQ(CounterValue(db_.path()), 9);
}

TEST_F(UnitOfWork, HostUnitDecidesOverTheCallsInside) {
  {
    HostUnitOfWork unit;
    Operation(db_.path(), 11, Vote::Complete);
    Operation(db_.path(), 12, Vote::Complete);
    EXPECT_EQ(unit.last_vote(), Vote::Complete);
    // Not committed yet: another connection still sees the old value.
    EXPECT_EQ(CounterValue(db_.path()), 0);
  }  // ends without Commit: rolled back
  EXPECT_EQ(CounterValue(db_.path()), 0);
  {
    HostUnitOfWork unit;
    Operation(db_.path(), 13, Vote::Complete);
    unit.Commit();
  }
  EXPECT_EQ(CounterValue(db_.path()), 13);
}

TEST_F(UnitOfWork, AProcessKilledInsideAUnitLeavesNothing) {
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto context = GlobalContext::ForThread().GetDataContext();
    CallScope scope;
    context->OpenDsn(db_.path());
    data::InjectFaults(*context->GetConnection(), data::FaultInjector::AtStatement(2, data::FaultInjector::Action::Exit));
    context->GetConnection()->Execute("update t_Counter set FValue=21 where FID=1");
    context->GetConnection()->Execute("update t_Counter set FValue=22 where FID=1");  // the process ends here
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 75);
  EXPECT_EQ(CounterValue(db_.path()), 0);
}

TEST_F(UnitOfWork, ASecondConnectionWaitsForTheFirstUnit) {
  std::atomic<bool> first_wrote{false}, second_done{false};
  std::atomic<int32_t> seen_by_second{-1};
  std::thread first([&] {
    {
      CallScope scope;
      auto context = GlobalContext::ForThread().GetDataContext();
      context->OpenDsn(db_.path());
      context->GetConnection()->Execute("update t_Counter set FValue=31 where FID=1");
      first_wrote = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      EXPECT_FALSE(second_done) << "the second unit must wait for this one";
      context->SetComplete();
    }
    GlobalContext::ForThread().Reset();
  });
  std::thread second([&] {
    while (!first_wrote) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    {
      CallScope scope;
      auto context = GlobalContext::ForThread().GetDataContext();
      context->OpenDsn(db_.path());
      auto rs = context->GetConnection()->Execute("select FValue from t_Counter where FID=1");
      seen_by_second = automation::CLng(rs->Value("FValue"));
      context->GetConnection()->Execute("update t_Counter set FValue=FValue+1 where FID=1");
      context->SetComplete();
    }
    second_done = true;
    GlobalContext::ForThread().Reset();
  });
  first.join();
  second.join();
  EXPECT_EQ(seen_by_second, 31) << "the second unit began after the first committed";
  EXPECT_EQ(CounterValue(db_.path()), 32);
}

}  // namespace
}  // namespace tovan::host
