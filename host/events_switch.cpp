#include "host/events_switch.h"

#include <unistd.h>

#include <algorithm>
#include <nlohmann/json.hpp>

namespace tovan::hostlib {

using automation::Dispatch;
using automation::ParamType;
using automation::Variant;

namespace {
const automation::DispatchTable& Table() {
  static const automation::DispatchTable table = [] {
    automation::DispatchTable t(EventsSwitch::Describe(), "EventsSwitch", "TovanCClient.EventsSwitch");
    t.Bind("SetProgressMax", [](Dispatch& d, std::span<Variant> a) {
      automation::Self<EventsSwitch>(d).SetProgressMax(a[0].long_value());
      return Variant();
    });
    t.Bind("SetProgressMin", [](Dispatch& d, std::span<Variant> a) {
      automation::Self<EventsSwitch>(d).SetProgressMin(a[0].long_value());
      return Variant();
    });
    t.Bind("SetProgressValue", [](Dispatch& d, std::span<Variant> a) {
      automation::Self<EventsSwitch>(d).SetProgressValue(a[0].long_value());
      return Variant();
    });
    t.Bind("ShowProgressText", [](Dispatch& d, std::span<Variant> a) {
      automation::Self<EventsSwitch>(d).ShowProgressText(a[0].string());
      return Variant();
    });
    return t;
  }();
  return table;
}
}  // namespace

const automation::InterfaceDesc& EventsSwitch::Describe() {
  using namespace automation::describe;
  static const automation::InterfaceDesc iface{
      "_EventsSwitch",
      automation::Guid::Of("{21D81017-F77D-48D5-A856-281B1D40CD20}"),
      {
          Method("SetProgressMax", {In("lValue", ParamType::Long)}),
          Method("SetProgressMin", {In("lValue", ParamType::Long)}),
          Method("SetProgressValue", {In("lValue", ParamType::Long)}),
          Method("ShowProgressText", {In("sText", ParamType::String)}),
      }};
  return iface;
}

EventsSwitch::EventsSwitch(std::unique_ptr<ProgressDisplay> display)
    : DescribedObject(Table()), display_(std::move(display)) {}

void JsonLinesDisplay::Show(const std::string& event, const Variant& value) {
  nlohmann::ordered_json line{{"event", event}};
  if (value.type() == automation::VarType::Long) {
    line["value"] = value.long_value();
  } else {
    line["value"] = automation::CStr(value);
  }
  std::fprintf(out_, "%s\n", line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
  std::fflush(out_);
}

TerminalProgressBar::TerminalProgressBar(std::FILE* out) : out_(out), enabled_(::isatty(::fileno(out)) != 0) {
  if (!enabled_) return;
  ticker_ = std::thread([this] {
    std::unique_lock lock(mutex_);
    while (!stop_.wait_for(lock, std::chrono::milliseconds(200), [this] { return stopping_; })) Draw(true);
  });
}

TerminalProgressBar::~TerminalProgressBar() {
  if (ticker_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    stop_.notify_all();
    ticker_.join();
  }
  if (drawn_) std::fprintf(out_, "\n");
}

void TerminalProgressBar::Show(const std::string& event, const Variant& value) {
  std::lock_guard lock(mutex_);
  if (event == "SetProgressMax") {
    max_ = value.long_value();
  } else if (event == "SetProgressMin") {
    min_ = value.long_value();
  } else if (event == "SetProgressValue") {
    value_ = value.long_value();
  } else {
    caption_ = automation::CStr(value);
    last_width_ = -1;
  }
  Draw(false);
}

void TerminalProgressBar::Draw(bool always) {
  if (!enabled_) return;
  constexpr int kWidth = 40;
  int span = max_ - min_;
  int filled = span > 0 ? static_cast<int>(static_cast<int64_t>(value_ - min_) * kWidth / span) : 0;
  filled = std::max(0, std::min(kWidth, filled));
  // Redraw only when the bar visibly changes (a closing reports every line)
  // or when the ticker comes by.
  if (!always && filled == last_width_ && drawn_) return;
  last_width_ = filled;
  std::string bar(static_cast<size_t>(filled), '#');
  bar.resize(kWidth, '.');
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  // Clear to the end of the line: a shorter caption leaves nothing behind.
  std::fprintf(out_, "\r%s [%s] %d/%d  %.1f s\x1b[K", caption_.c_str(), bar.c_str(), value_, max_, seconds);
  std::fflush(out_);
  drawn_ = true;
}

std::shared_ptr<EventsSwitch> MakeRecordingSwitch() {
  return std::make_shared<EventsSwitch>(std::make_unique<RecordingDisplay>());
}

}  // namespace tovan::hostlib
