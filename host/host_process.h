// What the reference host does when it starts on a thread: publishes its
// data-source text ("PropsString") and its per-process values ("AppType"),
// logs the user on, and prepares the connections it will open (native
// stored procedures).
//
// Thread-safety: sets up the calling thread's GlobalContext only.
#pragma once

#include <cstdint>
#include <string>

namespace tovan::hostlib {

struct HostProcessOptions {
  std::string data_source = "./dailybalance.db";
  int16_t user_id = 1;
  int32_t app_type = 2;
};

void StartHostProcess(const HostProcessOptions& options);

}  // namespace tovan::hostlib
