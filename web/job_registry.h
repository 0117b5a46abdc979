// The dialog's long operations (a closing, a cancellation) as jobs: each has
// an id, the progress the component reports through its EventsSwitch, and a
// result once it ends.  Pages follow a job by polling or by a stream of
// server-sent events.
//
// Thread-safety: every member may be called from any thread; a job is
// written by the worker running it and read by request threads.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "host/events_switch.h"

namespace tovan::web {

using Json = nlohmann::ordered_json;

struct JobSnapshot {
  int64_t id = 0;
  std::string kind;       // "close" | "cancel"
  int32_t owner = 0;      // the operator who started it; only they follow it
  std::string state;      // "running" | "done"
  int64_t version = 0;    // grows with every change
  int32_t min = 0, max = 0, value = 0;
  std::string text;
  Json result;            // set when done
  Json ToJson() const;
};

class JobRegistry {
 public:
  int64_t Start(const std::string& kind, int32_t owner);
  void Progress(int64_t id, const std::string& event, const automation::Variant& value);
  void Finish(int64_t id, Json result);
  std::optional<JobSnapshot> Find(int64_t id) const;
  // Waits up to `timeout_ms` for the job to change past `seen_version`.
  std::optional<JobSnapshot> WaitForChange(int64_t id, int64_t seen_version, int timeout_ms) const;
  // A progress display that reports into job `id`.
  std::unique_ptr<hostlib::ProgressDisplay> DisplayFor(int64_t id);

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::map<int64_t, JobSnapshot> jobs_;
  int64_t next_id_ = 1;
};

}  // namespace tovan::web
