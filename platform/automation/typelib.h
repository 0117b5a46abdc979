// Type-library descriptions and the dispatch that follows them.
//
// A TypeLibDesc describes a library the way a type library does: every
// class with its identity and default interface, every interface with its
// members in interface order, every parameter with its type, ByRef, optional
// and default.  DescribedObject implements Dispatch from such a description:
// it finds the member by name, fills omitted optional arguments with their
// declared defaults, coerces each argument to its declared type (VB rules),
// calls the bound C++ handler and writes ByRef arguments back.
//
// Descriptions are immutable tables built once; objects are
// apartment-threaded like every Dispatch.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/automation/guid.h"
#include "platform/automation/text.h"

namespace tovan::automation {

enum class ParamType { Void, Variant, String, Long, Integer, Double, Date, Boolean, Object };

struct ParamDesc {
  std::string name;
  ParamType type = ParamType::Variant;
  bool by_ref = false;
  bool optional = false;
  // The declared default of an optional parameter; Missing when it has none
  // (an optional Variant without default arrives as Missing).
  Variant default_value = Variant::Missing();
  // For Object parameters: the TypeName the object must have ("Vector");
  // empty accepts any object.  Nothing is always accepted.
  std::string object_type;
};

enum class MemberKind { Method, PropertyGet, PropertyPut };

struct MemberDesc {
  std::string name;
  MemberKind kind = MemberKind::Method;
  std::vector<ParamDesc> params;
  ParamType result = ParamType::Void;
  std::string result_object_type;
  bool is_default = false;  // the member called for the empty name
  // The member only reads: called outermost, it runs in a read-only unit of
  // work that never waits for a writer and refuses any write.
  bool reads_only = false;
};

struct InterfaceDesc {
  std::string name;  // "_clsData"
  Guid iid;
  std::vector<MemberDesc> members;  // interface order

  // The index of the member called `name` (any case) for an invocation of
  // `kind`; -1 when none.  The empty name finds the default member.
  int Find(std::string_view name, InvokeKind kind) const;
};

struct ClassDesc {
  std::string name;  // "clsData"
  Guid clsid;
  const InterfaceDesc* default_interface = nullptr;
  // Registered under "<library>.<class>" unless set here (one shared
  // library may serve classes of several ProgID prefixes).
  std::string prog_id = {};
};

struct TypeLibDesc {
  std::string name;  // "TovanMDailyBalance"
  Guid libid;
  int major_version = 1;
  int minor_version = 0;
  std::vector<const InterfaceDesc*> interfaces;
  std::vector<const ClassDesc*> classes;

  // "<library>.<class>"
  std::string ProgId(const ClassDesc& cls) const { return cls.prog_id.empty() ? name + "." + cls.name : cls.prog_id; }
  const ClassDesc* FindClass(std::string_view class_name) const;
};

// Shorthands for writing descriptions as tables.
namespace describe {
inline ParamDesc In(std::string name, ParamType type, std::string object_type = {}) {
  ParamDesc p;
  p.name = std::move(name);
  p.type = type;
  p.object_type = std::move(object_type);
  return p;
}
inline ParamDesc Ref(std::string name, ParamType type, std::string object_type = {}) {
  ParamDesc p = In(std::move(name), type, std::move(object_type));
  p.by_ref = true;
  return p;
}
// Marks `p` optional with the declared default `def` (Missing: none).
inline ParamDesc Opt(ParamDesc p, Variant def = Variant::Missing()) {
  p.optional = true;
  p.default_value = std::move(def);
  return p;
}
inline MemberDesc Method(std::string name, std::vector<ParamDesc> params, ParamType result = ParamType::Void,
                         std::string result_object_type = {}) {
  MemberDesc m;
  m.name = std::move(name);
  m.params = std::move(params);
  m.result = result;
  m.result_object_type = std::move(result_object_type);
  return m;
}
inline MemberDesc Get(std::string name, std::vector<ParamDesc> params, ParamType result,
                      bool is_default = false) {
  MemberDesc m = Method(std::move(name), std::move(params), result);
  m.kind = MemberKind::PropertyGet;
  m.is_default = is_default;
  return m;
}
inline MemberDesc Put(std::string name, std::vector<ParamDesc> params, bool is_default = false) {
  MemberDesc m = Method(std::move(name), std::move(params));
  m.kind = MemberKind::PropertyPut;
  m.is_default = is_default;
  return m;
}
// Marks `m` as a member that only reads.
inline MemberDesc ReadsOnly(MemberDesc m) {
  m.reads_only = true;
  return m;
}
}  // namespace describe

// Text of a parameter type as VB declares it ("String", "Long", ...).
std::string_view ParamTypeName(ParamType type);

// Coerces `value` to the declared type of `param`.  Raises 13 (Type
// mismatch) or 6 (Overflow) as VB does; Null into a typed parameter raises 94.
Variant CoerceArgument(const Variant& value, const ParamDesc& param);

// The handlers of one class: a member of the interface bound to a plain
// function.  Built once per class (a function-local static) and shared by
// all its instances, so creating an object costs no table.
class DispatchTable {
 public:
  // Receives the object and the arguments already completed and coerced,
  // one slot per declared parameter; may write the ByRef slots.
  using Handler = Variant (*)(Dispatch& self, std::span<Variant> args);

  // `type_name` is the objects' TypeName, `error_source` the source of the
  // errors dispatch raises (the ProgID, for a component class).
  DispatchTable(const InterfaceDesc& iface, std::string type_name, std::string error_source);

  // Binds the member `name` of `kind`; aborts on a name the interface does
  // not have (a programming error that every test run catches).
  DispatchTable& Bind(std::string_view name, MemberKind kind, Handler handler);
  DispatchTable& Bind(std::string_view name, Handler handler) { return Bind(name, MemberKind::Method, handler); }

  const InterfaceDesc& iface() const { return iface_; }
  const std::string& type_name() const { return type_name_; }
  const std::string& error_source() const { return error_source_; }
  Handler handler(size_t member_index) const { return handlers_[member_index]; }

 private:
  const InterfaceDesc& iface_;
  std::string type_name_;
  std::string error_source_;
  std::vector<Handler> handlers_;  // parallel to iface_.members; null = not built
};

// The object a handler was called on, as its own class.
template <class T>
T& Self(Dispatch& d) {
  return static_cast<T&>(d);
}

// A Dispatch driven by a DispatchTable: members unbound in the table are
// described but raise kNotImplemented.
class DescribedObject : public Dispatch {
 public:
  Variant Invoke(std::string_view member, InvokeKind kind, std::span<Variant> args) override;
  std::string_view TypeName() const override { return table_.type_name(); }
  const InterfaceDesc& Interface() const { return table_.iface(); }

 protected:
  explicit DescribedObject(const DispatchTable& table) : table_(table) {}

 private:
  const DispatchTable& table_;
};

}  // namespace tovan::automation
