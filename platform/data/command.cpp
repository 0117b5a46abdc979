#include "platform/data/command.h"

#include "platform/automation/error.h"
#include "platform/data/connection.h"
#include "platform/data/recordset.h"

namespace tovan::data {

using automation::Dispatch;
using automation::MemberKind;
using automation::ParamType;
using automation::Self;

namespace {
constexpr const char* kSource = "TovanData.Command";
constexpr int32_t kNoConnection = 3709;

std::shared_ptr<Connection> AsConnection(const Variant& v) {
  if (v.IsNothing()) return nullptr;
  auto c = v.IsObject() ? std::dynamic_pointer_cast<Connection>(v.object()) : nullptr;
  if (!c) automation::Raise(automation::vberr::kTypeMismatch, kSource);
  return c;
}

const automation::DispatchTable& ParameterTable() {
  static const automation::DispatchTable table = [] {
    automation::DispatchTable t(Parameter::Describe(), "Parameter", kSource);
    t.Bind("Value", MemberKind::PropertyGet, [](Dispatch& d, std::span<Variant>) { return Self<Parameter>(d).Value(); });
    t.Bind("Value", MemberKind::PropertyPut, [](Dispatch& d, std::span<Variant> a) {
      Self<Parameter>(d).SetValue(a[0]);
      return Variant();
    });
    t.Bind("Name", MemberKind::PropertyGet, [](Dispatch& d, std::span<Variant>) { return Variant(Self<Parameter>(d).Name()); });
    t.Bind("Direction", MemberKind::PropertyGet,
           [](Dispatch& d, std::span<Variant>) { return Variant(Self<Parameter>(d).Direction()); });
    return t;
  }();
  return table;
}

const automation::DispatchTable& ParametersTable() {
  static const automation::DispatchTable table = [] {
    automation::DispatchTable t(Parameters::Describe(), "Parameters", kSource);
    t.Bind("Append", [](Dispatch& d, std::span<Variant> a) {
      auto p = a[0].IsObject() ? std::dynamic_pointer_cast<Parameter>(a[0].object()) : nullptr;
      if (!p) automation::Raise(automation::vberr::kTypeMismatch, kSource);
      Self<Parameters>(d).Append(p);
      return Variant();
    });
    t.Bind("Count", MemberKind::PropertyGet, [](Dispatch& d, std::span<Variant>) { return Variant(Self<Parameters>(d).Count()); });
    t.Bind("Item", MemberKind::PropertyGet,
           [](Dispatch& d, std::span<Variant> a) { return Variant(Self<Parameters>(d).Item(a[0])); });
    return t;
  }();
  return table;
}

const automation::DispatchTable& CommandTable() {
  static const automation::DispatchTable table = [] {
    automation::DispatchTable t(Command::Describe(), "Command", kSource);
    t.Bind("ActiveConnection", MemberKind::PropertyPut, [](Dispatch& d, std::span<Variant> a) {
      Self<Command>(d).SetActiveConnection(AsConnection(a[0]));
      return Variant();
    });
    t.Bind("CommandText", MemberKind::PropertyPut, [](Dispatch& d, std::span<Variant> a) {
      Self<Command>(d).SetCommandText(a[0].string());
      return Variant();
    });
    t.Bind("CommandType", MemberKind::PropertyPut, [](Dispatch& d, std::span<Variant> a) {
      Self<Command>(d).SetCommandType(a[0].long_value());
      return Variant();
    });
    t.Bind("Parameters", MemberKind::PropertyGet,
           [](Dispatch& d, std::span<Variant>) { return Variant(Self<Command>(d).GetParameters()); });
    t.Bind("CreateParameter", [](Dispatch& d, std::span<Variant> a) {
      return Variant(Self<Command>(d).CreateParameter(a[0].string(), a[1].long_value(), a[2].long_value(),
                                                      a[3].long_value(), a[4].IsMissing() ? Variant() : a[4]));
    });
    t.Bind("Execute", [](Dispatch& d, std::span<Variant> a) {
      return Variant(Self<Command>(d).Execute(a[2].long_value()));
    });
    return t;
  }();
  return table;
}
}  // namespace

const automation::InterfaceDesc& Parameter::Describe() {
  using namespace automation::describe;
  static const automation::InterfaceDesc iface{
      "_Parameter",
      automation::Guid::Of("{B53D59B5-FF6A-463D-918F-6EC5956B9CD3}"),
      {
          Get("Value", {}, ParamType::Variant, /*is_default=*/true),
          Put("Value", {In("NewValue", ParamType::Variant)}, /*is_default=*/true),
          Get("Name", {}, ParamType::String),
          Get("Direction", {}, ParamType::Long),
      }};
  return iface;
}

const automation::InterfaceDesc& Parameters::Describe() {
  using namespace automation::describe;
  static const automation::InterfaceDesc iface{
      "Parameters",
      automation::Guid::Of("{DA709184-031A-4E13-BC44-67329255CCE7}"),
      {
          Method("Append", {In("Object", ParamType::Object, "Parameter")}),
          Get("Count", {}, ParamType::Long),
          Get("Item", {In("Index", ParamType::Variant)}, ParamType::Object, /*is_default=*/true),
      }};
  return iface;
}

const automation::InterfaceDesc& Command::Describe() {
  using namespace automation::describe;
  static const automation::InterfaceDesc iface{
      "_Command",
      automation::Guid::Of("{F7529A6B-B93B-487D-971E-DB3361C39AA9}"),
      {
          Put("ActiveConnection", {In("Connection", ParamType::Variant)}),
          Put("CommandText", {In("Text", ParamType::String)}),
          Put("CommandType", {In("Type", ParamType::Long)}),
          Get("Parameters", {}, ParamType::Object),
          Method("CreateParameter",
                 {Opt(In("Name", ParamType::String), Variant("")), Opt(In("Type", ParamType::Long), Variant(int32_t{0})),
                  Opt(In("Direction", ParamType::Long), Variant(ado::kParamInput)),
                  Opt(In("Size", ParamType::Long), Variant(int32_t{0})), Opt(In("Value", ParamType::Variant))},
                 ParamType::Object),
          Method("Execute",
                 {Opt(Ref("RecordsAffected", ParamType::Variant)), Opt(In("Parameters", ParamType::Variant)),
                  Opt(In("Options", ParamType::Long), Variant(ado::kOptionUnspecified))},
                 ParamType::Object),
      }};
  return iface;
}

Parameter::Parameter(std::string name, int32_t type, int32_t direction, int32_t size, Variant value)
    : DescribedObject(ParameterTable()),
      name_(std::move(name)),
      type_(type),
      direction_(direction),
      size_(size),
      value_(std::move(value)) {}

Parameters::Parameters() : DescribedObject(ParametersTable()) {}

std::shared_ptr<Parameter> Parameters::Item(const Variant& name_or_index) const {
  if (name_or_index.type() == automation::VarType::String) {
    for (const auto& p : items_)
      if (automation::EqualsNoCase(p->Name(), name_or_index.string())) return p;
  } else {
    int32_t index = automation::CLng(name_or_index);
    if (index >= 0 && index < Count()) return items_[static_cast<size_t>(index)];
  }
  throw automation::AutomationError(3265, kSource,
                                    "Item cannot be found in the collection corresponding to the requested name or "
                                    "ordinal.");
}

Command::Command() : DescribedObject(CommandTable()), parameters_(std::make_shared<Parameters>()) {}

std::shared_ptr<Parameter> Command::CreateParameter(std::string name, int32_t type, int32_t direction, int32_t size,
                                                    Variant value) {
  return std::make_shared<Parameter>(std::move(name), type, direction, size, std::move(value));
}

std::shared_ptr<Recordset> Command::Execute(int32_t options) {
  if (!connection_) {
    throw automation::AutomationError(kNoConnection, kSource,
                                      "The connection cannot be used to perform this operation. It is either closed "
                                      "or invalid in this context.");
  }
  if (type_ != ado::kCmdStoredProc) return connection_->Execute(text_, nullptr, options);

  std::vector<ProcedureArgument> args;
  std::shared_ptr<Parameter> return_value;
  for (const auto& p : parameters_->items()) {
    if (p->Direction() == ado::kParamReturnValue) {
      return_value = p;
      continue;
    }
    args.push_back({p->Name(), p->Direction(), p->Value()});
  }
  int32_t result = connection_->CallProcedure(text_, args);
  size_t next = 0;
  for (const auto& p : parameters_->items()) {
    if (p->Direction() == ado::kParamReturnValue) continue;
    const ProcedureArgument& arg = args[next++];
    if (p->Direction() == ado::kParamOutput || p->Direction() == ado::kParamInputOutput) p->SetValue(arg.value);
  }
  if (return_value) return_value->SetValue(Variant(result));
  return Recordset::Create();
}

}  // namespace tovan::data
