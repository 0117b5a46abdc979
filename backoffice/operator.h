// An operator of the back office, as the host's user table holds them.
//
// Thread-safety: a value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tovan::backoffice {

// A closer closes the bills of the shops they are given; a supervisor closes
// and cancels every shop's; an admin also manages operators and options.
enum class Role { kCloser, kSupervisor, kAdmin };

// "closer", "supervisor" or "admin".
const char* RoleName(Role role);

struct Operator {
  int32_t id = 0;
  std::string name;
  Role role = Role::kCloser;
  bool active = true;
  bool has_password = false;
  std::vector<int32_t> shops;  // a closer's shops
};

}  // namespace tovan::backoffice
