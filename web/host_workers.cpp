#include "web/host_workers.h"

#include <future>
#include <map>
#include <memory>

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

void HostWorkers::Run(int32_t user, const std::function<void(backoffice::Session&)>& task) {
  std::promise<void> done;
  auto finished = done.get_future();
  Post(user, [&](backoffice::Session* session, std::exception_ptr failure) {
    try {
      if (!session) std::rethrow_exception(failure);
      task(*session);
      done.set_value();
    } catch (...) {
      done.set_exception(std::current_exception());
    }
  });
  finished.get();
}

void HostWorkers::Post(int32_t user, Task task) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(Queued{user, std::move(task)});
  }
  ready_.notify_one();
}

void HostWorkers::Work() {
  // Sessions are made on this thread: each binds this thread's host context.
  std::map<int32_t, std::unique_ptr<backoffice::Session>> sessions;
  for (;;) {
    Queued next;
    {
      std::unique_lock lock(mutex_);
      ready_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      next = std::move(queue_.front());
      queue_.pop_front();
    }
    backoffice::Session* session = nullptr;
    std::exception_ptr failure;
    try {
      auto& slot = sessions[next.user];
      if (!slot) {
        backoffice::SessionOptions options = options_;
        options.user_id = next.user == 0 ? 1 : next.user;
        options.check_user = next.user != 0;
        slot = std::make_unique<backoffice::Session>(options);
      } else if (next.user != 0) {
        slot->RefreshOperator();
      }
      session = slot.get();
    } catch (const backoffice::Refusal& e) {
      failure = e.field == "user" ? std::make_exception_ptr(OperatorUnavailable{e.message}) : std::current_exception();
      sessions.erase(next.user);
    } catch (...) {
      failure = std::current_exception();
      sessions.erase(next.user);
    }
    next.task(session, failure);
  }
}

}  // namespace tovan::web
