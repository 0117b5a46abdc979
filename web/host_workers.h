// Threads that act as the component's host: the component is
// apartment-threaded and each thread has its own host context and
// connection, so the dialog's work runs on a few threads of its own, each
// with its host session started once, instead of on the HTTP server's
// threads.  Two closings run on two workers, each in its own unit of work,
// so the database decides between them as it does between two hosts.
//
// Thread-safety: Run and Post may be called from any thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "backoffice/session.h"

namespace tovan::web {

class HostWorkers {
 public:
  // The worker's session, or null when it could not start (then `error`
  // says why).
  using Task = std::function<void(backoffice::Session* session, const std::string& error)>;
  HostWorkers(const backoffice::SessionOptions& options, int count);
  ~HostWorkers();  // finishes the queued tasks, then joins
  HostWorkers(const HostWorkers&) = delete;
  HostWorkers& operator=(const HostWorkers&) = delete;

  // Runs `task` on a worker's session and waits for it; its exception (or
  // an AutomationError when the worker has no session) comes back here.
  void Run(const std::function<void(backoffice::Session&)>& task);
  // Queues `task`; it must not throw.
  void Post(Task task);

 private:
  void Work();
  backoffice::SessionOptions options_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Task> queue_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace tovan::web
