#include "web/sign_in_limits.h"

namespace tovan::web {

using std::chrono::seconds;

namespace {
seconds Until(std::chrono::steady_clock::time_point now, std::chrono::steady_clock::time_point then) {
  return std::max(seconds(1), std::chrono::ceil<seconds>(then - now));
}
}  // namespace

SignInLimits::SignInLimits(SignInRules rules, Clock clock) : rules_(rules), clock_(std::move(clock)) {}

void SignInLimits::Forget(std::chrono::steady_clock::time_point now) {
  // Keeps the maps as small as the attempts of the last window.
  for (auto it = attempts_.begin(); it != attempts_.end();) {
    auto& times = it->second;
    while (!times.empty() && now - times.front() >= rules_.address_window) times.pop_front();
    it = times.empty() ? attempts_.erase(it) : std::next(it);
  }
  std::erase_if(accounts_, [&](const auto& a) {
    return a.second.locked_until <= now && now - a.second.last_failure >= rules_.lock_for;
  });
}

std::optional<seconds> SignInLimits::AddressAttempt(const std::string& address) {
  const auto now = clock_();
  std::lock_guard lock(mutex_);
  Forget(now);
  auto& times = attempts_[address];
  if (static_cast<int>(times.size()) >= rules_.attempts_per_address)
    return Until(now, times.front() + rules_.address_window);
  times.push_back(now);
  return std::nullopt;
}

std::optional<seconds> SignInLimits::AccountLocked(const std::string& account) {
  const auto now = clock_();
  std::lock_guard lock(mutex_);
  auto it = accounts_.find(account);
  if (it == accounts_.end() || it->second.locked_until <= now) return std::nullopt;
  return Until(now, it->second.locked_until);
}

void SignInLimits::Failed(const std::string& account) {
  const auto now = clock_();
  std::lock_guard lock(mutex_);
  Account& a = accounts_[account];
  if (now - a.last_failure >= rules_.lock_for) a.failures = 0;
  a.last_failure = now;
  if (++a.failures >= rules_.failures_to_lock) {
    a.failures = 0;
    a.locked_until = now + rules_.lock_for;
  }
}

void SignInLimits::Succeeded(const std::string& account) {
  std::lock_guard lock(mutex_);
  accounts_.erase(account);
}

}  // namespace tovan::web
