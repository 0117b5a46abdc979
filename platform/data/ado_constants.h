// The ADO enumeration values the component and its host pass around.
#pragma once

#include <cstdint>

namespace tovan::data::ado {

// CursorTypeEnum / LockTypeEnum
inline constexpr int32_t kOpenForwardOnly = 0;
inline constexpr int32_t kOpenStatic = 3;
inline constexpr int32_t kLockReadOnly = 1;
inline constexpr int32_t kLockOptimistic = 3;
// CommandTypeEnum and ExecuteOptionEnum
inline constexpr int32_t kOptionUnspecified = -1;
inline constexpr int32_t kCmdText = 1;
inline constexpr int32_t kCmdStoredProc = 4;
inline constexpr int32_t kExecuteNoRecords = 0x80;
// ParameterDirectionEnum
inline constexpr int32_t kParamInput = 1;
inline constexpr int32_t kParamOutput = 2;
inline constexpr int32_t kParamInputOutput = 3;
inline constexpr int32_t kParamReturnValue = 4;
// DataTypeEnum (the ones this system uses)
inline constexpr int32_t kInteger = 3;
inline constexpr int32_t kDouble = 5;
inline constexpr int32_t kDate = 7;
inline constexpr int32_t kBoolean = 11;
inline constexpr int32_t kVarChar = 200;
inline constexpr int32_t kVariant = 12;
// ObjectStateEnum
inline constexpr int32_t kStateClosed = 0;
inline constexpr int32_t kStateOpen = 1;

}  // namespace tovan::data::ado
