// What would make a daily closing fail, found by the host before it starts:
// the closing itself answers only a stage message ("生成日结单表头出错，日结
// 失败"), so the host looks at the data the stages depend on and names each
// cause, one line per item or stock, so the operator can fix it (customers
// are checked with the closing's plan).
//
// Errors: AutomationError (kDatabaseError) when the database cannot be read.
//
// Thread-safety: the calling thread's connection (HostDatabase).
#pragma once

#include <string>
#include <vector>

#include "host/host_database.h"

namespace tovan::backoffice {

struct ObstaclePlan {
  std::string ids;        // validated retail-bill id list "12,15"
  std::string bill_type;  // "1" sales, "2" returns
  std::string invoice_type;
  double tax = 0;
  int settlement_records = -1;  // records of methods 1, 2, 5; -1: not counted
};

// One line per cause; empty when nothing the host can see stands in the way.
std::vector<std::string> FindClosingObstacles(hostlib::HostDatabase& db, const ObstaclePlan& plan);

}  // namespace tovan::backoffice
