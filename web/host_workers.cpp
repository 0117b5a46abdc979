#include "web/host_workers.h"

#include <exception>

#include "backoffice/refusal.h"
#include "platform/automation/error.h"

namespace tovan::web {

HostWorkers::HostWorkers(const backoffice::SessionOptions& options, int count) : options_(options) {
  for (int i = 0; i < count; ++i) threads_.emplace_back([this] { Work(); });
}

HostWorkers::~HostWorkers() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  ready_.notify_all();
  for (auto& t : threads_) t.join();
}

void HostWorkers::Run(const std::function<void(backoffice::Session&)>& task) {
  std::promise<void> done;
  auto finished = done.get_future();
  Post([&](backoffice::Session* session, const std::string& error) {
    try {
      if (!session) throw automation::AutomationError(automation::vberr::kCannotCreateObject, "dailybalance", error);
      task(*session);
      done.set_value();
    } catch (...) {
      done.set_exception(std::current_exception());
    }
  });
  finished.get();
}

void HostWorkers::Post(Task task) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(task));
  }
  ready_.notify_one();
}

void HostWorkers::Work() {
  // The session is made on this thread: it starts this thread's host context.
  std::unique_ptr<backoffice::Session> session;
  std::string error;
  try {
    session = std::make_unique<backoffice::Session>(options_);
  } catch (const backoffice::Refusal& e) {
    error = e.message;
  } catch (const automation::AutomationError& e) {
    error = e.description();
  }
  for (;;) {
    Task task;
    {
      std::unique_lock lock(mutex_);
      ready_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task(session.get(), error);
  }
}

}  // namespace tovan::web
