// A failure of the database itself is named in one line beside the
// operation's message, and a damaged file never reads as "nothing there".
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "backoffice/closed_days.h"
#include "backoffice/closing.h"
#include "backoffice/open_bills.h"
#include "platform/data/backend.h"
#include "platform/data/open.h"
#include "platform/host/data_context.h"
#include "tests/backoffice/backoffice_test_support.h"

namespace tovan::testing {
namespace {

namespace bo = backoffice;

bo::ClosingRequest DayClosing() {
  bo::ClosingRequest request;
  request.date = automation::Date::FromParts(2026, 12, 4);
  request.bill_type = "1";
  request.shop = "1";
  request.client = 314;
  return request;
}

// The message and causes of the failure `body` raises, one line each.
std::string FailureOf(const std::function<void()>& body) {
  try {
    body();
  } catch (const bo::OperationFailed& e) {
    std::string out = e.message;
    for (const std::string& cause : e.causes) out += "\n" + cause;
    return out;
  } catch (const automation::AutomationError& e) {
    return e.description();
  } catch (const bo::Refusal& e) {
    return "refused: " + e.message;
  }
  ADD_FAILURE() << "no failure";
  return {};
}

data::ConnectionBackend& ThreadBackend(const HostFixture& host) {
  return host::GlobalContext::ForThread().GetDataContext()->ConnectionFor(host.db())->backend();
}

TEST(DatabaseFaults, AClosingSaysWhatTheEmbeddedDatabaseDid) {
  if (OnServer()) GTEST_SKIP() << "faults of the embedded file";
  struct Case {
    const char* name;
    std::function<void(BackOfficeHost&, std::shared_ptr<data::Connection>&)> arrange;
    const char* cause;
  };
  const Case cases[] = {
      {"full disk",
       [](BackOfficeHost& office, auto&) {
         // The file may not grow past what it holds now.
         auto pages = automation::CStr(office.host().Scalar("PRAGMA page_count"));
         ThreadBackend(office.host()).ExecuteScript("PRAGMA max_page_count=" + pages);
       },
       "cause: the disk is full"},
      {"read-only",
       [](BackOfficeHost& office, auto&) { ThreadBackend(office.host()).ExecuteScript("PRAGMA query_only=1"); },
       "cause: the database file or its folder is read-only"},
      {"locked",
       [](BackOfficeHost& office, std::shared_ptr<data::Connection>& other) {
         ThreadBackend(office.host()).ExecuteScript("PRAGMA busy_timeout=50");
         other = data::OpenConnection(office.host().db());
         other->backend().ExecuteScript("BEGIN IMMEDIATE");
       },
       "cause: the database is locked by another program"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BackOfficeHost office;
    std::shared_ptr<data::Connection> other;
    c.arrange(office, other);
    std::string failure = FailureOf([&] { bo::RunClosing(office.session(), DayClosing(), BackOfficeHost::Progress()); });
    EXPECT_NE(failure.find(c.cause), std::string::npos) << failure;
    EXPECT_NE(failure.find('\n'), 0u) << "the stage's own message comes first: " << failure;
  }
}

// Overwrites `size` bytes of the database file at `offset` with `byte`.
void Overwrite(const std::string& file, int64_t offset, int64_t size, char byte) {
  std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(offset);
  std::string garbage(static_cast<size_t>(size), byte);
  f.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
}

// A listing and a closing run on a thread of their own, so that they read
// the file as it is now and not through the pages this thread has cached.
template <class Body>
void OnFreshThread(Body body) {
  std::thread worker([&] {
    body();
    host::GlobalContext::ForThread().Reset();
  });
  worker.join();
}

TEST(DatabaseFaults, ADamagedFileIsNeverAnEmptyAnswer) {
  if (OnServer()) GTEST_SKIP() << "damage to the embedded file";
  BackOfficeHost office;
  const std::string db = office.host().db();
  int64_t root = automation::CLng(office.host().Scalar("SELECT rootpage FROM sqlite_master WHERE name='t_LS_Retail'"));
  int64_t page_size = automation::CLng(office.host().Scalar("PRAGMA page_size"));
  ThreadBackend(office.host()).ExecuteScript("PRAGMA wal_checkpoint(TRUNCATE)");
  Overwrite(db, (root - 1) * page_size, page_size, '\x7f');

  OnFreshThread([&] {
    std::string listing = FailureOf([&] {
      bo::Session session(bo::SessionOptions{db});
      bo::ListOpenBills(session, {});
    });
    EXPECT_NE(listing.find("malformed"), std::string::npos) << listing;
    std::string closing = FailureOf([&] {
      bo::Session session(bo::SessionOptions{db});
      bo::RunClosing(session, DayClosing(), BackOfficeHost::Progress());
    });
    EXPECT_EQ(closing.find("没有可日结的零售单"), std::string::npos) << closing;
    EXPECT_NE(closing.find("cause: the database file is damaged"), std::string::npos) << closing;
  });

  // A header damaged past its signature: SQLite's "not a database".
  Overwrite(db, 16, 84, 'x');
  OnFreshThread([&] {
    std::string opened = FailureOf([&] {
      bo::Session session(bo::SessionOptions{db});
      bo::ListOpenBills(session, {});
    });
    EXPECT_NE(opened.find("not a database"), std::string::npos) << opened;
  });
}

}  // namespace
}  // namespace tovan::testing
