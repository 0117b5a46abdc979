// Database errors as the data layer raises them.
//
// A statement the database refuses, a batch the dialect layer cannot
// translate, a connection that cannot be opened: all are AutomationErrors
// with the OLE DB "errors in command" number, the data layer as source and
// the database's own message as description, the way an ADO provider
// reports them to a VB caller.
#pragma once

#include <string>

#include "platform/automation/error.h"

namespace tovan::data {

// DB_E_ERRORSINCOMMAND, what a provider answers for a failed command.
inline constexpr int32_t kDatabaseError = static_cast<int32_t>(0x80040E14u);
// The source text of the errors this layer raises.
inline constexpr const char* kErrorSource = "TovanData";

[[noreturn]] void RaiseDatabaseError(const std::string& message);

}  // namespace tovan::data
