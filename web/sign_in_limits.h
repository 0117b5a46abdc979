// How often the dialog lets anyone try a password: an account locks for a
// while after a run of failures, and an address may try only so often in a
// window, whoever it claims to be.  Kept in memory: a restart forgets the
// counts (the audit trail keeps every attempt).
//
// Thread-safety: every member may be called from any thread.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace tovan::web {

struct SignInRules {
  int failures_to_lock = 5;
  std::chrono::seconds lock_for{15 * 60};
  int attempts_per_address = 20;
  std::chrono::seconds address_window{5 * 60};
};

class SignInLimits {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  SignInLimits() : SignInLimits(SignInRules{}) {}
  explicit SignInLimits(SignInRules rules, Clock clock = std::chrono::steady_clock::now);

  // How long `address` must wait before it may try again; nullopt: it may
  // now (and the attempt is counted).
  std::optional<std::chrono::seconds> AddressAttempt(const std::string& address);
  // How long the account `account` stays locked; nullopt: it is not.
  std::optional<std::chrono::seconds> AccountLocked(const std::string& account);
  // A wrong password for `account`: the run of failures grows.
  void Failed(const std::string& account);
  // The right password: the run ends.
  void Succeeded(const std::string& account);

 private:
  struct Account {
    int failures = 0;  // in a row, each within lock_for of the one before
    std::chrono::steady_clock::time_point last_failure{}, locked_until{};
  };
  void Forget(std::chrono::steady_clock::time_point now);

  SignInRules rules_;
  Clock clock_;
  std::mutex mutex_;
  std::map<std::string, std::deque<std::chrono::steady_clock::time_point>> attempts_;  // by address
  std::map<std::string, Account> accounts_;
};

}  // namespace tovan::web
