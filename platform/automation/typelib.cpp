#include "platform/automation/typelib.h"

#include <cstdio>
#include <cstdlib>

#include "platform/automation/error.h"

namespace tovan::automation {

namespace {
bool KindMatches(MemberKind member, InvokeKind call) {
  // VB sends a property read and a method call alike; only assignments differ.
  return call == InvokeKind::Put ? member == MemberKind::PropertyPut : member != MemberKind::PropertyPut;
}
}  // namespace

int InterfaceDesc::Find(std::string_view name, InvokeKind kind) const {
  for (size_t i = 0; i < members.size(); ++i) {
    const MemberDesc& m = members[i];
    bool named = name.empty() ? m.is_default : EqualsNoCase(m.name, name);
    if (named && KindMatches(m.kind, kind)) return static_cast<int>(i);
  }
  return -1;
}

const ClassDesc* TypeLibDesc::FindClass(std::string_view class_name) const {
  for (const ClassDesc* c : classes)
    if (EqualsNoCase(c->name, class_name)) return c;
  return nullptr;
}

std::string_view ParamTypeName(ParamType type) {
  switch (type) {
    case ParamType::Void: return "Void";
    case ParamType::Variant: return "Variant";
    case ParamType::String: return "String";
    case ParamType::Long: return "Long";
    case ParamType::Integer: return "Integer";
    case ParamType::Double: return "Double";
    case ParamType::Date: return "Date";
    case ParamType::Boolean: return "Boolean";
    case ParamType::Object: return "Object";
  }
  return "?";
}

Variant CoerceArgument(const Variant& value, const ParamDesc& param) {
  switch (param.type) {
    case ParamType::Void:
    case ParamType::Variant: return value;
    case ParamType::String: return Variant(CStr(value));
    case ParamType::Long: return Variant(CLng(value));
    case ParamType::Integer: return Variant(CInt(value));
    case ParamType::Double: return Variant(CDbl(value));
    case ParamType::Date: return Variant(CDate(value));
    case ParamType::Boolean: return Variant(CBool(value));
    case ParamType::Object:
      if (!value.IsObject()) Raise(vberr::kTypeMismatch);
      if (!value.IsNothing() && !param.object_type.empty() &&
          !EqualsNoCase(value.object()->TypeName(), param.object_type))
        Raise(vberr::kTypeMismatch);
      return value;
  }
  return value;
}

DispatchTable::DispatchTable(const InterfaceDesc& iface, std::string type_name, std::string error_source)
    : iface_(iface),
      type_name_(std::move(type_name)),
      error_source_(std::move(error_source)),
      handlers_(iface.members.size(), nullptr) {}

DispatchTable& DispatchTable::Bind(std::string_view name, MemberKind kind, Handler handler) {
  for (size_t i = 0; i < iface_.members.size(); ++i) {
    if (iface_.members[i].kind == kind && EqualsNoCase(iface_.members[i].name, name)) {
      handlers_[i] = handler;
      return *this;
    }
  }
  std::fprintf(stderr, "%s has no member %.*s\n", iface_.name.c_str(), static_cast<int>(name.size()), name.data());
  std::abort();
}

Variant DescribedObject::Invoke(std::string_view member, InvokeKind kind, std::span<Variant> args) {
  const InterfaceDesc& iface = table_.iface();
  int index = iface.Find(member, kind);
  if (index < 0) {
    throw AutomationError(vberr::kMemberNotFound, table_.error_source(),
                          StandardDescription(vberr::kMemberNotFound) + ": " + table_.type_name() + "." +
                              std::string(member.empty() ? "(default)" : member));
  }
  const MemberDesc& desc = iface.members[static_cast<size_t>(index)];
  DispatchTable::Handler handler = table_.handler(static_cast<size_t>(index));
  if (handler == nullptr) {
    throw AutomationError(vberr::kNotImplemented, table_.error_source(),
                          table_.type_name() + "." + desc.name + " is not implemented");
  }
  if (args.size() > desc.params.size()) Raise(vberr::kWrongArgumentCount, table_.error_source());

  // Complete and coerce into slots of our own, so a failing coercion leaves
  // the caller's arguments untouched.
  std::vector<Variant> slots(desc.params.size());
  for (size_t i = 0; i < desc.params.size(); ++i) {
    const ParamDesc& p = desc.params[i];
    bool given = i < args.size() && !args[i].IsMissing();
    if (given) {
      try {
        slots[i] = CoerceArgument(args[i], p);
      } catch (const AutomationError& e) {
        throw AutomationError(e.number(), table_.error_source(),
                              e.description() + " (argument " + p.name + " of " + desc.name + ")");
      }
    } else if (p.optional) {
      slots[i] = p.default_value;
    } else {
      Raise(vberr::kArgumentNotOptional, table_.error_source());
    }
  }

  struct WriteBack {
    const MemberDesc& desc;
    std::span<Variant> args;
    std::vector<Variant>& slots;
    ~WriteBack() {
      for (size_t i = 0; i < args.size(); ++i)
        if (desc.params[i].by_ref && !args[i].IsMissing()) args[i] = slots[i];
    }
  } write_back{desc, args, slots};

  Variant result = handler(*this, slots);
  if (desc.result == ParamType::Void) return Variant();
  ParamDesc result_desc;
  result_desc.type = desc.result;
  return CoerceArgument(result, result_desc);
}

}  // namespace tovan::automation
