#include "platform/data/backend_wrappers.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/data/connection.h"
#include "platform/data/data_error.h"

namespace tovan::data {

void TracingBackend::Append(std::string_view text) const {
  std::string record(text);
  record += "\n-- end --\n";
  int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  // O_APPEND with a single write keeps records of concurrent processes whole.
  ssize_t written = ::write(fd, record.data(), record.size());
  (void)written;
  ::close(fd);
}

std::shared_ptr<FaultInjector> FaultInjector::AtStatement(int64_t n, Action action) {
  return std::shared_ptr<FaultInjector>(new FaultInjector(n, {}, action));
}

std::shared_ptr<FaultInjector> FaultInjector::OnText(std::string needle, Action action) {
  return std::shared_ptr<FaultInjector>(new FaultInjector(0, std::move(needle), action));
}

std::shared_ptr<FaultInjector> FaultInjector::FromEnvironment() {
  const char* plan = std::getenv("DAILYBALANCE_FAULT");
  if (plan == nullptr || *plan == '\0') return nullptr;
  std::string_view text(plan);
  size_t colon = text.find(':');
  if (colon == std::string_view::npos) return nullptr;
  std::string_view verb = text.substr(0, colon), what = text.substr(colon + 1);
  Action action;
  if (verb == "fail") {
    action = Action::Fail;
  } else if (verb == "exit") {
    action = Action::Exit;
  } else if (verb == "pause") {
    action = Action::Pause;
  } else {
    return nullptr;
  }
  char* end = nullptr;
  std::string number(what);
  long long n = std::strtoll(number.c_str(), &end, 10);
  if (!number.empty() && end != nullptr && *end == '\0' && n > 0) return AtStatement(n, action);
  return OnText(std::string(what), action);
}

void FaultInjector::BeforeStatement(std::string_view text) {
  ++seen_;
  bool fire = needle_.empty() ? seen_ == n_ : text.find(needle_) != std::string_view::npos;
  if (!fire) return;
  ++fired_;
  last_failed_ = std::string(text);
  if (action_ == Action::Exit) ::_exit(75);
  if (action_ == Action::Pause) {
    // Said on stderr, so that whoever waits for the pause knows it has begun.
    std::fprintf(stderr, "injected pause at statement %lld\n", static_cast<long long>(seen_));
    std::fflush(stderr);
    std::this_thread::sleep_for(std::chrono::milliseconds(kPauseMilliseconds));
    return;
  }
  RaiseDatabaseError("injected fault at statement " + std::to_string(seen_));
}

std::unique_ptr<ConnectionBackend> WrapFromEnvironment(std::unique_ptr<ConnectionBackend> backend) {
  if (auto plan = FaultInjector::FromEnvironment())
    backend = std::make_unique<FaultInjectingBackend>(std::move(backend), std::move(plan));
  const char* trace = std::getenv("DAILYBALANCE_TRACE");
  if (trace != nullptr && *trace != '\0') backend = std::make_unique<TracingBackend>(std::move(backend), trace);
  return backend;
}

void InjectFaults(Connection& connection, std::shared_ptr<FaultInjector> plan) {
  for (ConnectionBackend* layer = &connection.statements(); auto* wrapper = dynamic_cast<BackendWrapper*>(layer);
       layer = &wrapper->target()) {
    if (auto* faults = dynamic_cast<FaultInjectingBackend*>(wrapper)) {
      faults->set_plan(std::move(plan));
      return;
    }
  }
  if (!plan) return;
  connection.Wrap([&](std::unique_ptr<ConnectionBackend> inner) -> std::unique_ptr<ConnectionBackend> {
    return std::make_unique<FaultInjectingBackend>(std::move(inner), std::move(plan));
  });
}

}  // namespace tovan::data
