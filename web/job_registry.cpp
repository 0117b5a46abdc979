#include "web/job_registry.h"

#include <chrono>
#include <iterator>

namespace tovan::web {

namespace {
constexpr size_t kKeptJobs = 256;
}  // namespace

Json JobSnapshot::ToJson() const {
  return Json{{"id", id},       {"kind", kind},     {"state", state}, {"version", version},
              {"min", min},     {"max", max},       {"value", value}, {"text", text},
              {"result", result}};
}

int64_t JobRegistry::Start(const std::string& kind, int32_t owner) {
  std::lock_guard lock(mutex_);
  // A long-running server keeps the last jobs only; running ones are never dropped.
  for (auto it = jobs_.begin(); jobs_.size() >= kKeptJobs && it != jobs_.end();)
    it = it->second.state == "done" ? jobs_.erase(it) : std::next(it);
  int64_t id = next_id_++;
  JobSnapshot job;
  job.id = id;
  job.kind = kind;
  job.owner = owner;
  job.state = "running";
  job.version = 1;
  jobs_[id] = job;
  return id;
}

void JobRegistry::Progress(int64_t id, const std::string& event, const automation::Variant& value) {
  {
    std::lock_guard lock(mutex_);
    auto it = jobs_.find(id);
    if (it == jobs_.end()) return;
    JobSnapshot& job = it->second;
    if (event == "ShowProgressText") job.text = automation::CStr(value);
    else if (event == "SetProgressMax") job.max = automation::CLng(value);
    else if (event == "SetProgressMin") job.min = automation::CLng(value);
    else if (event == "SetProgressValue") job.value = automation::CLng(value);
    ++job.version;
  }
  changed_.notify_all();
}

void JobRegistry::Finish(int64_t id, Json result) {
  {
    std::lock_guard lock(mutex_);
    auto it = jobs_.find(id);
    if (it == jobs_.end()) return;
    it->second.state = "done";
    it->second.result = std::move(result);
    ++it->second.version;
  }
  changed_.notify_all();
}

std::optional<JobSnapshot> JobRegistry::Find(int64_t id) const {
  std::lock_guard lock(mutex_);
  auto it = jobs_.find(id);
  if (it == jobs_.end()) return std::nullopt;
  return it->second;
}

std::optional<JobSnapshot> JobRegistry::WaitForChange(int64_t id, int64_t seen_version, int timeout_ms) const {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] {
    auto it = jobs_.find(id);
    return it == jobs_.end() || it->second.version > seen_version;
  });
  auto it = jobs_.find(id);
  if (it == jobs_.end()) return std::nullopt;
  return it->second;
}

namespace {
class JobDisplay final : public hostlib::ProgressDisplay {
 public:
  JobDisplay(JobRegistry& jobs, int64_t id) : jobs_(jobs), id_(id) {}
  void Show(const std::string& event, const automation::Variant& value) override { jobs_.Progress(id_, event, value); }

 private:
  JobRegistry& jobs_;
  int64_t id_;
};
}  // namespace

std::unique_ptr<hostlib::ProgressDisplay> JobRegistry::DisplayFor(int64_t id) {
  return std::make_unique<JobDisplay>(*this, id);
}

}  // namespace tovan::web
