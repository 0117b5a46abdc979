// The dialog's signed-in sessions, kept in memory: each is known by a
// random cookie value and carries the operator it acts as and a CSRF token
// that every change must send back in a header.  A session not used for
// `idle` is forgotten, as is every session when the server stops.
//
// Cookie values are looked up by a hash of them, so the lookup's timing
// says nothing about a stored value.
//
// Thread-safety: every member may be called from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace tovan::web {

struct SignedIn {
  int32_t user = 0;
  std::string name;
  std::string role;  // closer, supervisor, admin
  std::string csrf;  // filled by Open
};

class SignedInSessions {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  // At most `capacity` sessions; opening one more forgets the least recently used.
  SignedInSessions(std::chrono::seconds idle, size_t capacity, Clock clock = std::chrono::steady_clock::now);

  // A new session for `who`; answers its cookie value, and sets who.csrf.
  std::string Open(SignedIn& who);
  // The session behind `cookie`, which counts as used now; nullopt when
  // there is none or it has been idle too long (then it is gone).
  std::optional<SignedIn> Find(const std::string& cookie);
  void Close(const std::string& cookie);
  // Forgets every session of `user` (disabled, or gone from the table).
  void CloseUser(int32_t user);

 private:
  struct Entry {
    SignedIn who;
    std::chrono::steady_clock::time_point last_used;
  };
  std::chrono::seconds idle_;
  size_t capacity_;
  Clock clock_;
  std::mutex mutex_;
  std::map<std::string, Entry> sessions_;  // by the hash of the cookie value
};

// 32 random bytes as hex (libsodium's generator).
std::string RandomToken();

// Compares without stopping at the first difference.
bool SameSecret(const std::string& given, const std::string& expected);

}  // namespace tovan::web
