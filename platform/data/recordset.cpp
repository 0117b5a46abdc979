#include "platform/data/recordset.h"

#include "platform/automation/error.h"
#include "platform/data/connection.h"

namespace tovan::data {

using automation::AutomationError;
using automation::Dispatch;
using automation::MemberKind;
using automation::ParamType;
using automation::Self;

namespace {
constexpr const char* kSource = "TovanData.Recordset";

[[noreturn]] void RaiseAdo(int32_t number, const char* description) {
  throw AutomationError(number, kSource, description);
}

const automation::DispatchTable& RecordsetTable() {
  static const automation::DispatchTable table = [] {
    automation::DispatchTable t(Recordset::Describe(), "Recordset", kSource);
    t.Bind("Open", [](Dispatch& d, std::span<Variant> a) {
      auto connection = a[1].IsObject() ? std::dynamic_pointer_cast<Connection>(a[1].object()) : nullptr;
      if (!connection) automation::Raise(automation::vberr::kTypeMismatch, kSource);
      Self<Recordset>(d).Open(automation::CStr(a[0]), connection, a[2].long_value(), a[3].long_value(),
                              a[4].long_value());
      return Variant();
    });
    t.Bind("Close", [](Dispatch& d, std::span<Variant>) {
      Self<Recordset>(d).Close();
      return Variant();
    });
    t.Bind("MoveNext", [](Dispatch& d, std::span<Variant>) {
      Self<Recordset>(d).MoveNext();
      return Variant();
    });
    t.Bind("MoveFirst", [](Dispatch& d, std::span<Variant>) {
      Self<Recordset>(d).MoveFirst();
      return Variant();
    });
    t.Bind("EOF", MemberKind::PropertyGet, [](Dispatch& d, std::span<Variant>) { return Variant(Self<Recordset>(d).EOF_()); });
    t.Bind("BOF", MemberKind::PropertyGet, [](Dispatch& d, std::span<Variant>) { return Variant(Self<Recordset>(d).BOF()); });
    t.Bind("RecordCount", MemberKind::PropertyGet,
           [](Dispatch& d, std::span<Variant>) { return Variant(Self<Recordset>(d).RecordCount()); });
    t.Bind("State", MemberKind::PropertyGet, [](Dispatch& d, std::span<Variant>) {
      return Variant(Self<Recordset>(d).IsOpen() ? ado::kStateOpen : ado::kStateClosed);
    });
    t.Bind("Fields", MemberKind::PropertyGet,
           [](Dispatch& d, std::span<Variant>) { return Variant(Self<Recordset>(d).GetFields()); });
    t.Bind("Collect", MemberKind::PropertyGet,
           [](Dispatch& d, std::span<Variant> a) { return Self<Recordset>(d).Value(a[0]); });
    t.Bind("ActiveConnection", MemberKind::PropertyGet, [](Dispatch& d, std::span<Variant>) {
      auto c = Self<Recordset>(d).ActiveConnection();
      return c ? Variant(c) : Variant::Nothing();
    });
    t.Bind("ActiveConnection", MemberKind::PropertyPut, [](Dispatch& d, std::span<Variant> a) {
      auto connection = a[0].IsNothing() ? nullptr : std::dynamic_pointer_cast<Connection>(a[0].object());
      if (!a[0].IsNothing() && !connection) automation::Raise(automation::vberr::kTypeMismatch, kSource);
      Self<Recordset>(d).SetActiveConnection(connection);
      return Variant();
    });
    return t;
  }();
  return table;
}

const automation::DispatchTable& FieldsTable() {
  static const automation::DispatchTable table = [] {
    automation::DispatchTable t(Fields::Describe(), "Fields", kSource);
    t.Bind("Count", MemberKind::PropertyGet, [](Dispatch& d, std::span<Variant>) { return Variant(Self<Fields>(d).Count()); });
    t.Bind("Item", MemberKind::PropertyGet,
           [](Dispatch& d, std::span<Variant> a) { return Variant(Self<Fields>(d).Item(a[0])); });
    return t;
  }();
  return table;
}

const automation::DispatchTable& FieldTable() {
  static const automation::DispatchTable table = [] {
    automation::DispatchTable t(Field::Describe(), "Field", kSource);
    t.Bind("Name", MemberKind::PropertyGet, [](Dispatch& d, std::span<Variant>) { return Variant(Self<Field>(d).Name()); });
    t.Bind("Value", MemberKind::PropertyGet, [](Dispatch& d, std::span<Variant>) { return Self<Field>(d).Value(); });
    t.Bind("Type", MemberKind::PropertyGet, [](Dispatch& d, std::span<Variant>) { return Variant(Self<Field>(d).Type()); });
    return t;
  }();
  return table;
}
}  // namespace

const automation::InterfaceDesc& Recordset::Describe() {
  using namespace automation::describe;
  static const automation::InterfaceDesc iface{
      "_Recordset",
      automation::Guid::Of("{8C79F03D-DF26-4420-B0A4-851DDE4A56A4}"),
      {
          Method("Open",
                 {In("Source", ParamType::Variant), In("ActiveConnection", ParamType::Variant),
                  Opt(In("CursorType", ParamType::Long), Variant(ado::kOpenForwardOnly)),
                  Opt(In("LockType", ParamType::Long), Variant(ado::kLockReadOnly)),
                  Opt(In("Options", ParamType::Long), Variant(ado::kOptionUnspecified))}),
          Method("Close", {}),
          Method("MoveNext", {}),
          Method("MoveFirst", {}),
          Get("EOF", {}, ParamType::Boolean),
          Get("BOF", {}, ParamType::Boolean),
          Get("RecordCount", {}, ParamType::Long),
          Get("State", {}, ParamType::Long),
          Get("Fields", {}, ParamType::Object),
          Get("Collect", {In("Index", ParamType::Variant)}, ParamType::Variant, /*is_default=*/true),
          Get("ActiveConnection", {}, ParamType::Variant),
          Put("ActiveConnection", {In("Connection", ParamType::Variant)}),
      }};
  return iface;
}

const automation::InterfaceDesc& Fields::Describe() {
  using namespace automation::describe;
  static const automation::InterfaceDesc iface{
      "Fields",
      automation::Guid::Of("{D2955602-997E-4594-A3F1-EA7E8CB785A7}"),
      {
          Get("Count", {}, ParamType::Long),
          Get("Item", {In("Index", ParamType::Variant)}, ParamType::Object, /*is_default=*/true),
      }};
  return iface;
}

const automation::InterfaceDesc& Field::Describe() {
  using namespace automation::describe;
  static const automation::InterfaceDesc iface{
      "Field",
      automation::Guid::Of("{69574555-5EE5-4308-89FD-31E17DCD996B}"),
      {
          Get("Value", {}, ParamType::Variant, /*is_default=*/true),
          Get("Name", {}, ParamType::String),
          Get("Type", {}, ParamType::Long),
      }};
  return iface;
}

Recordset::Recordset() : DescribedObject(RecordsetTable()) {}

void Recordset::Open(std::string_view source, const std::shared_ptr<Connection>& connection, int32_t, int32_t,
                     int32_t) {
  if (!connection) automation::Raise(automation::vberr::kObjectNotSet, kSource);
  BatchResult result = connection->ExecuteBatch(source);
  if (!result.has_rows) {
    // ADO opens a recordset only on a statement that returns rows.
    RaiseAdo(adoerr::kObjectClosed, "Operation is not allowed when the object is closed.");
  }
  OpenRows(std::move(result.rows), connection);
}

void Recordset::OpenRows(ResultSet rows, std::shared_ptr<Connection> connection) {
  rows_ = std::move(rows);
  position_ = 0;
  open_ = true;
  connection_ = std::move(connection);
}

void Recordset::Close() {
  RequireOpen();
  open_ = false;
  rows_ = ResultSet{};
  connection_.reset();
}

void Recordset::RequireOpen() const {
  if (!open_) RaiseAdo(adoerr::kObjectClosed, "Operation is not allowed when the object is closed.");
}

void Recordset::RequireCurrent() const {
  RequireOpen();
  if (position_ >= rows_.RowCount()) {
    RaiseAdo(adoerr::kNoCurrentRecord,
             "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a "
             "current record.");
  }
}

bool Recordset::EOF_() const {
  RequireOpen();
  return position_ >= rows_.RowCount();
}

bool Recordset::BOF() const {
  RequireOpen();
  return rows_.RowCount() == 0;
}

void Recordset::MoveNext() {
  RequireCurrent();
  ++position_;
}

void Recordset::MoveFirst() {
  RequireOpen();
  position_ = 0;
}

int32_t Recordset::RecordCount() const {
  RequireOpen();
  return static_cast<int32_t>(rows_.RowCount());
}

int32_t Recordset::FieldCount() const {
  RequireOpen();
  return static_cast<int32_t>(rows_.columns.size());
}

const std::string& Recordset::FieldName(int32_t index) const {
  RequireOpen();
  if (index < 0 || index >= FieldCount())
    RaiseAdo(adoerr::kItemNotFound, "Item cannot be found in the collection corresponding to the requested name or ordinal.");
  return rows_.columns[static_cast<size_t>(index)].name;
}

int32_t Recordset::FieldType(int32_t index) const {
  FieldName(index);  // validates
  return rows_.columns[static_cast<size_t>(index)].ado_type;
}

int32_t Recordset::FieldIndex(std::string_view name) const {
  RequireOpen();
  for (size_t i = 0; i < rows_.columns.size(); ++i)
    if (automation::EqualsNoCase(rows_.columns[i].name, name)) return static_cast<int32_t>(i);
  return -1;
}

int32_t Recordset::Resolve(const Variant& name_or_index) const {
  int32_t index = name_or_index.type() == automation::VarType::String ? FieldIndex(name_or_index.string())
                                                                      : automation::CLng(name_or_index);
  if (index < 0 || index >= FieldCount())
    RaiseAdo(adoerr::kItemNotFound, "Item cannot be found in the collection corresponding to the requested name or ordinal.");
  return index;
}

const Variant& Recordset::Value(int32_t index) const {
  FieldName(index);
  RequireCurrent();
  return rows_.At(position_, static_cast<size_t>(index));
}

const Variant& Recordset::Value(std::string_view name) const {
  int32_t index = FieldIndex(name);
  if (index < 0)
    RaiseAdo(adoerr::kItemNotFound, "Item cannot be found in the collection corresponding to the requested name or ordinal.");
  return Value(index);
}

const Variant& Recordset::Value(const Variant& name_or_index) const { return Value(Resolve(name_or_index)); }

std::shared_ptr<Fields> Recordset::GetFields() {
  RequireOpen();
  return std::make_shared<Fields>(std::static_pointer_cast<Recordset>(shared_from_this()));
}

Fields::Fields(std::shared_ptr<Recordset> recordset) : DescribedObject(FieldsTable()), recordset_(std::move(recordset)) {}

std::shared_ptr<automation::Dispatch> Fields::Item(const Variant& name_or_index) {
  return std::make_shared<Field>(recordset_, recordset_->Resolve(name_or_index));
}

Field::Field(std::shared_ptr<Recordset> recordset, int32_t index)
    : DescribedObject(FieldTable()), recordset_(std::move(recordset)), index_(index) {}

bool Field::GetDefaultValue(Variant& out) {
  out = Value();
  return true;
}

std::shared_ptr<Recordset> AsRecordset(const Variant& v) {
  return v.IsObject() ? std::dynamic_pointer_cast<Recordset>(v.object()) : nullptr;
}

}  // namespace tovan::data
