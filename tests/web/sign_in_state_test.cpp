// The dialog's sign-in state on a clock of the test's own: sessions that
// lapse when unused, the oldest going when full, an operator's sessions
// ended together; accounts that lock after a run of failures and unlock
// after a while, and addresses held to a number of attempts in a window.
#include <gtest/gtest.h>

#include <chrono>

#include "web/sign_in_limits.h"
#include "web/signed_in_sessions.h"

namespace tovan::web {
namespace {

using namespace std::chrono_literals;

struct TestClock {
  std::chrono::steady_clock::time_point now = std::chrono::steady_clock::time_point{} + 1000h;
  auto Get() {
    return [this] { return now; };
  }
};

TEST(SignedInSessions, LapseWhenUnusedAndGoWithTheirOperator) {
  TestClock clock;
  SignedInSessions sessions(30min, 3, clock.Get());
  SignedIn anna{7, "Anna", "closer", ""};
  const std::string first = sessions.Open(anna);
  EXPECT_EQ(anna.csrf.size(), 64u);
  EXPECT_NE(anna.csrf, first) << "the token is not the cookie";
  ASSERT_TRUE(sessions.Find(first));
  EXPECT_EQ(sessions.Find(first)->csrf, anna.csrf);
  EXPECT_FALSE(sessions.Find(first.substr(1)));
  EXPECT_FALSE(sessions.Find(""));
  // Use keeps a session open; 30 minutes without it end it.
  clock.now += 29min;
  EXPECT_TRUE(sessions.Find(first));
  clock.now += 29min;
  EXPECT_TRUE(sessions.Find(first));
  clock.now += 31min;
  EXPECT_FALSE(sessions.Find(first));
  // Full: the least recently used goes first.
  SignedIn ben{8, "Ben", "supervisor", ""};
  const std::string a = sessions.Open(anna), b = sessions.Open(ben);
  clock.now += 1min;
  const std::string c = sessions.Open(ben);
  clock.now += 1min;
  EXPECT_TRUE(sessions.Find(a));
  const std::string d = sessions.Open(anna);
  EXPECT_TRUE(sessions.Find(a));
  EXPECT_FALSE(sessions.Find(b));
  // Disabling an operator ends all of theirs, and no one else's.
  sessions.CloseUser(7);
  EXPECT_FALSE(sessions.Find(a));
  EXPECT_FALSE(sessions.Find(d));
  EXPECT_TRUE(sessions.Find(c));
  sessions.Close(c);
  EXPECT_FALSE(sessions.Find(c));
}

TEST(SignedInSessions, SecretsCompareWhole) {
  EXPECT_TRUE(SameSecret("abc", "abc"));
  EXPECT_FALSE(SameSecret("abd", "abc"));
  EXPECT_FALSE(SameSecret("ab", "abc"));
  EXPECT_FALSE(SameSecret("", "")) << "no session has an empty token";
  EXPECT_NE(RandomToken(), RandomToken());
}

TEST(SignInLimits, LockAfterFiveFailuresAndHoldEachAddressToItsAttempts) {
  TestClock clock;
  SignInLimits limits(SignInRules{}, clock.Get());
  // Four failures, a pause longer than the lock, four more: the run started again.
  for (int i = 0; i < 4; ++i) limits.Failed("#2");
  clock.now += 16min;
  for (int i = 0; i < 4; ++i) limits.Failed("#2");
  EXPECT_FALSE(limits.AccountLocked("#2"));
  limits.Failed("#2");
  ASSERT_TRUE(limits.AccountLocked("#2"));
  EXPECT_EQ(*limits.AccountLocked("#2"), 15min);
  EXPECT_FALSE(limits.AccountLocked("#3")) << "only that account";
  clock.now += 14min + 30s;
  EXPECT_EQ(*limits.AccountLocked("#2"), 30s);
  clock.now += 30s;
  EXPECT_FALSE(limits.AccountLocked("#2"));
  // A success ends the run.
  for (int i = 0; i < 4; ++i) limits.Failed("#2");
  limits.Succeeded("#2");
  limits.Failed("#2");
  EXPECT_FALSE(limits.AccountLocked("#2"));

  // Twenty attempts in five minutes from one address, then a wait until the oldest leaves the window.
  for (int i = 0; i < 20; ++i) {
    EXPECT_FALSE(limits.AddressAttempt("10.0.0.9")) << i;
    clock.now += 10s;
  }
  ASSERT_TRUE(limits.AddressAttempt("10.0.0.9"));
  EXPECT_EQ(*limits.AddressAttempt("10.0.0.9"), 100s);
  EXPECT_FALSE(limits.AddressAttempt("10.0.0.8")) << "another address is not held back";
  clock.now += 100s;
  EXPECT_FALSE(limits.AddressAttempt("10.0.0.9"));
  EXPECT_TRUE(limits.AddressAttempt("10.0.0.9"));
}

}  // namespace
}  // namespace tovan::web
