// Run-time errors of the automation platform.
//
// Every failure that crosses an automation boundary is an AutomationError: a
// Visual Basic style error number, the source that raised it and a
// description.  Component code traps them the way VB's error handlers do;
// nothing else is thrown across a Dispatch::Invoke.
//
// Thread-safety: values only; safe to copy between threads.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace tovan::automation {

// The VB run-time error numbers this platform raises.
namespace vberr {
inline constexpr int32_t kInvalidProcedureCall = 5;
inline constexpr int32_t kOverflow = 6;
inline constexpr int32_t kSubscriptOutOfRange = 9;
inline constexpr int32_t kDivisionByZero = 11;
inline constexpr int32_t kTypeMismatch = 13;
inline constexpr int32_t kObjectNotSet = 91;
inline constexpr int32_t kInvalidUseOfNull = 94;
inline constexpr int32_t kObjectRequired = 424;
inline constexpr int32_t kCannotCreateObject = 429;
inline constexpr int32_t kMemberNotFound = 438;
inline constexpr int32_t kArgumentNotOptional = 449;
inline constexpr int32_t kWrongArgumentCount = 450;
// HRESULT E_NOTIMPL: a member that is described but not built.
inline constexpr int32_t kNotImplemented = static_cast<int32_t>(0x80004001u);
// HRESULT REGDB_E_CLASSNOTREG: no registration for a ProgID or CLSID.
inline constexpr int32_t kClassNotRegistered = static_cast<int32_t>(0x80040154u);
}  // namespace vberr

// The standard description VB gives an error number ("Overflow" for 6).
// Unknown numbers give "Application-defined or object-defined error".
std::string StandardDescription(int32_t number);

class AutomationError : public std::runtime_error {
 public:
  AutomationError(int32_t number, std::string source, std::string description);
  // An error with the standard description of `number`.
  AutomationError(int32_t number, std::string source);

  int32_t number() const noexcept { return number_; }
  const std::string& source() const noexcept { return source_; }
  const std::string& description() const noexcept { return description_; }

 private:
  int32_t number_;
  std::string source_;
  std::string description_;
};

// Raises the standard error `number` with source `source`.
[[noreturn]] void Raise(int32_t number, std::string source = "TovanMDailyBalance");

}  // namespace tovan::automation
