// Threads that act as the component's host: the component is
// apartment-threaded and each thread has its own host context and
// connection, so the dialog's work runs on a few threads of its own instead
// of on the HTTP server's threads.  Two closings run on two workers, each in
// its own unit of work, so the database decides between them as it does
// between two hosts.
//
// Each piece of work runs as a signed-in operator: a worker keeps a session
// per operator it has worked for (started once), and reads the operator
// again before each piece, so that a role changed or an operator disabled
// counts at once.  Operator 0 is the server's own session, which acts as
// no one (sign-in checks run there).
//
// Thread-safety: Run and Post may be called from any thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "backoffice/session.h"

namespace tovan::web {

// Why a piece of work found no session for its operator: they are gone
// from the user table or disabled (the back office's refusal, as a type of
// its own so that it is not taken for the work's own refusals).
struct OperatorUnavailable {
  std::string message;
};

class HostWorkers {
 public:
  // The operator's session, or null with `failure` saying why there is
  // none (OperatorUnavailable, or the data source's Refusal or
  // AutomationError).
  using Task = std::function<void(backoffice::Session* session, std::exception_ptr failure)>;
  // `options`: the data source and AppType; the user is each task's.
  HostWorkers(const backoffice::SessionOptions& options, int count);
  ~HostWorkers();  // finishes the queued tasks, then joins
  HostWorkers(const HostWorkers&) = delete;
  HostWorkers& operator=(const HostWorkers&) = delete;

  // Runs `task` as operator `user` and waits for it; its exception (or the
  // session's failure) comes back here.
  void Run(int32_t user, const std::function<void(backoffice::Session&)>& task);
  // Queues `task` to run as operator `user`; it must not throw.
  void Post(int32_t user, Task task);

 private:
  struct Queued {
    int32_t user;
    Task task;
  };
  void Work();
  backoffice::SessionOptions options_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Queued> queue_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace tovan::web
