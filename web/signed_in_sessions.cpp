#include "web/signed_in_sessions.h"

#include <sodium.h>

#include <algorithm>
#include <stdexcept>

namespace tovan::web {

namespace {
std::string Hex(const unsigned char* bytes, size_t n) {
  std::string out(n * 2 + 1, '\0');
  sodium_bin2hex(out.data(), out.size(), bytes, n);
  out.pop_back();
  return out;
}

std::string HashOf(const std::string& cookie) {
  unsigned char digest[crypto_generichash_BYTES];
  crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(cookie.data()), cookie.size(),
                     nullptr, 0);
  return Hex(digest, sizeof digest);
}
}  // namespace

std::string RandomToken() {
  if (sodium_init() < 0) throw std::runtime_error("the random generator cannot start");
  unsigned char bytes[32];
  randombytes_buf(bytes, sizeof bytes);
  return Hex(bytes, sizeof bytes);
}

bool SameSecret(const std::string& given, const std::string& expected) {
  return given.size() == expected.size() && !expected.empty() &&
         sodium_memcmp(given.data(), expected.data(), given.size()) == 0;
}

SignedInSessions::SignedInSessions(std::chrono::seconds idle, size_t capacity, Clock clock)
    : idle_(idle), capacity_(std::max<size_t>(capacity, 1)), clock_(std::move(clock)) {}

std::string SignedInSessions::Open(SignedIn& who) {
  who.csrf = RandomToken();
  std::string cookie = RandomToken();
  const auto now = clock_();
  std::lock_guard lock(mutex_);
  std::erase_if(sessions_, [&](const auto& s) { return now - s.second.last_used > idle_; });
  if (sessions_.size() >= capacity_) {
    auto oldest = std::min_element(sessions_.begin(), sessions_.end(), [](const auto& a, const auto& b) {
      return a.second.last_used < b.second.last_used;
    });
    sessions_.erase(oldest);
  }
  sessions_[HashOf(cookie)] = Entry{who, now};
  return cookie;
}

std::optional<SignedIn> SignedInSessions::Find(const std::string& cookie) {
  if (cookie.empty()) return std::nullopt;
  const std::string key = HashOf(cookie);
  const auto now = clock_();
  std::lock_guard lock(mutex_);
  auto it = sessions_.find(key);
  if (it == sessions_.end()) return std::nullopt;
  if (now - it->second.last_used > idle_) {
    sessions_.erase(it);
    return std::nullopt;
  }
  it->second.last_used = now;
  return it->second.who;
}

void SignedInSessions::Close(const std::string& cookie) {
  std::lock_guard lock(mutex_);
  sessions_.erase(HashOf(cookie));
}

void SignedInSessions::CloseUser(int32_t user) {
  std::lock_guard lock(mutex_);
  std::erase_if(sessions_, [&](const auto& s) { return s.second.who.user == user; });
}

}  // namespace tovan::web
