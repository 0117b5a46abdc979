// Dispatch: late-bound calls by member name, the automation object model.
//
// Every object that crosses an automation boundary (component classes, host
// components, records, recordsets) implements Dispatch.  A caller names the
// member (case-insensitively, as VB does), passes its arguments in declared
// order as Variants and gets the result as a Variant.  Arguments the member
// declares ByRef are written back into the caller's array; an omitted
// optional argument is passed as Variant::Missing().
//
// Objects are shared: a DispatchPtr is a counted reference, released when the
// last holder lets go.
//
// Thread-safety: objects are apartment-threaded: one caller thread at a time.
#pragma once

#include <span>
#include <string_view>

#include "platform/automation/variant.h"

namespace tovan::automation {

enum class InvokeKind {
  Get,  // a method call or a property read (VB sends both for obj.Member(args))
  Put,  // a property assignment; the value is the last argument
};

class Dispatch : public std::enable_shared_from_this<Dispatch> {
 public:
  virtual ~Dispatch() = default;

  // Calls `member` with `args`.  The empty name is the default member.
  // Raises AutomationError: 438 for an unknown member, 450 for a wrong number
  // of arguments, 449 for a required argument that is missing, 13 for an
  // argument that does not convert to its declared type, or whatever the
  // member raises.  On failure, ByRef arguments hold what the member had
  // written before it failed.
  virtual Variant Invoke(std::string_view member, InvokeKind kind, std::span<Variant> args) = 0;

  // VB's TypeName of the object ("clsData", "Dictionary", "Field", ...).
  virtual std::string_view TypeName() const = 0;

  // The parameterless default value VB reads when the object is used as a
  // value (a recordset field's Value).  Returns false when there is none.
  virtual bool GetDefaultValue(Variant& out) {
    (void)out;
    return false;
  }

  // Convenience for C++ callers: Invoke with a list of arguments passed by
  // value (no write-back).
  template <class... Args>
  Variant Call(std::string_view member, Args&&... args) {
    Variant list[] = {Variant(std::forward<Args>(args))..., Variant()};
    return Invoke(member, InvokeKind::Get, std::span<Variant>(list, sizeof...(Args)));
  }
};

}  // namespace tovan::automation
