// What the back office's tests share: a demo host with a session on it,
// the retail bills of a day and shop as an id list, and a recording
// progress display.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "backoffice/refusal.h"
#include "backoffice/session.h"
#include "host/events_switch.h"
#include "tests/support/host_fixture.h"

namespace tovan::testing {

class BackOfficeHost {
 public:
  BackOfficeHost() : host_(SmallDemo(60, 6, 11)), session_(backoffice::SessionOptions{host_.db()}) {}

  HostFixture& host() { return host_; }
  backoffice::Session& session() { return session_; }

  // The open bills of `day`, of `type` (1 sales, 2 returns) and, unless 0, of `shop`, as "12,15".
  std::string Bills(const std::string& day, int type, int shop = 0) const {
    auto rows = host_.Query("SELECT FID FROM t_LS_Retail WHERE FDailyBillID=0 AND FBillType=" + std::to_string(type) +
                            " AND FDate>='" + day + "' AND FDate<'" + day + " 23:59:59'" +
                            (shop ? " AND FBranchShop=" + std::to_string(shop) : std::string()) + " ORDER BY FID");
    std::string ids;
    for (size_t r = 0; r < rows.RowCount(); ++r) ids += (ids.empty() ? "" : ",") + automation::CStr(rows.At(r, 0));
    return ids;
  }

  static automation::DispatchPtr Progress() {
    return std::make_shared<hostlib::EventsSwitch>(std::make_unique<hostlib::RecordingDisplay>());
  }

 private:
  HostFixture host_;
  backoffice::Session session_;
};

// The refusal `body` raises; a failed expectation when it raises none.
inline std::optional<backoffice::Refusal> RefusalOf(const std::function<void()>& body) {
  try {
    body();
  } catch (const backoffice::Refusal& e) {
    return e;
  }
  ADD_FAILURE() << "no refusal";
  return std::nullopt;
}

}  // namespace tovan::testing
