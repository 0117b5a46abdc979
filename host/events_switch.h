// EventsSwitch: the host's progress display, handed to the closing and the
// cancellation.  One class, three kinds of display behind it:
//   - a progress bar on a terminal (stderr), redrawn in place;
//   - JSON lines, one object per call ({"event":"SetProgressValue","value":3});
//   - a recorder that keeps every call for `invoke` and tests.
//
// Thread-safety: apartment-threaded.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/automation/typelib.h"

namespace tovan::hostlib {

class ProgressDisplay {
 public:
  virtual ~ProgressDisplay() = default;
  // `event` is the member name; `value` its one argument (Long or String).
  virtual void Show(const std::string& event, const automation::Variant& value) = 0;
};

class EventsSwitch final : public automation::DescribedObject {
 public:
  explicit EventsSwitch(std::unique_ptr<ProgressDisplay> display);

  void SetProgressMax(int32_t value) { Emit("SetProgressMax", automation::Variant(value)); }
  void SetProgressMin(int32_t value) { Emit("SetProgressMin", automation::Variant(value)); }
  void SetProgressValue(int32_t value) { Emit("SetProgressValue", automation::Variant(value)); }
  void ShowProgressText(const std::string& text) { Emit("ShowProgressText", automation::Variant(text)); }

  ProgressDisplay& display() { return *display_; }
  static const automation::InterfaceDesc& Describe();

 private:
  void Emit(const std::string& event, const automation::Variant& value) { display_->Show(event, value); }
  std::unique_ptr<ProgressDisplay> display_;
};

// Keeps every call, in order.
class RecordingDisplay final : public ProgressDisplay {
 public:
  void Show(const std::string& event, const automation::Variant& value) override { calls_.emplace_back(event, value); }
  const std::vector<std::pair<std::string, automation::Variant>>& calls() const { return calls_; }

 private:
  std::vector<std::pair<std::string, automation::Variant>> calls_;
};

// One JSON object per call on `out`.
class JsonLinesDisplay final : public ProgressDisplay {
 public:
  explicit JsonLinesDisplay(std::FILE* out) : out_(out) {}
  void Show(const std::string& event, const automation::Variant& value) override;

 private:
  std::FILE* out_;
};

// A bar drawn in place on a terminal, with the stage (the last caption), the
// count and the time taken; nothing when `out` is not a terminal.  A large
// closing spends seconds in stages that report nothing (the balance amounts,
// the aggregation, the saving), so a ticker redraws the time meanwhile.
class TerminalProgressBar final : public ProgressDisplay {
 public:
  explicit TerminalProgressBar(std::FILE* out);
  ~TerminalProgressBar() override;
  void Show(const std::string& event, const automation::Variant& value) override;

 private:
  void Draw(bool always);  // with mutex_ held
  std::FILE* out_;
  bool enabled_;
  bool drawn_ = false;
  int32_t min_ = 0, max_ = 0, value_ = 0;
  std::string caption_;
  int last_width_ = -1;
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
  std::mutex mutex_;
  std::condition_variable stop_;
  bool stopping_ = false;
  std::thread ticker_;
};

std::shared_ptr<EventsSwitch> MakeRecordingSwitch();

}  // namespace tovan::hostlib
