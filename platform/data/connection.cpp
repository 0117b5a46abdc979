#include "platform/data/connection.h"

#include "platform/data/recordset.h"

namespace tovan::data {

using automation::Dispatch;
using automation::ParamType;
using automation::Variant;

namespace {
const automation::DispatchTable& Table() {
  static const automation::DispatchTable table = [] {
    automation::DispatchTable t(Connection::Describe(), "Connection", "TovanData.Connection");
    t.Bind("Execute", [](Dispatch& d, std::span<Variant> a) {
      int32_t affected = 0;
      auto rs = automation::Self<Connection>(d).Execute(a[0].string(), &affected, automation::CLng(a[2]));
      a[1] = Variant(affected);
      return Variant(rs);
    });
    t.Bind("ConnectionString", automation::MemberKind::PropertyGet, [](Dispatch& d, std::span<Variant>) {
      return Variant(automation::Self<Connection>(d).ConnectionString());
    });
    t.Bind("State", automation::MemberKind::PropertyGet,
           [](Dispatch&, std::span<Variant>) { return Variant(ado::kStateOpen); });
    return t;
  }();
  return table;
}
}  // namespace

const automation::InterfaceDesc& Connection::Describe() {
  using namespace automation::describe;
  static const automation::InterfaceDesc iface{
      "_Connection",
      automation::Guid::Of("{E13FD354-2FB3-4277-9FEA-5836754F0203}"),
      {
          Method("Execute",
                 {In("CommandText", ParamType::String), Opt(Ref("RecordsAffected", ParamType::Variant)),
                  Opt(In("Options", ParamType::Long), Variant(ado::kOptionUnspecified))},
                 ParamType::Object, "Recordset"),
          Get("ConnectionString", {}, ParamType::String),
          Get("State", {}, ParamType::Long),
      }};
  return iface;
}

Connection::Connection(std::unique_ptr<ConnectionBackend> backend)
    : DescribedObject(Table()), statements_(std::move(backend)), engine_(statements_.get()) {}

Connection::~Connection() = default;

BatchResult Connection::ExecuteBatch(std::string_view text) {
  if (observer_ != nullptr) observer_->BeforeStatement(*this);
  return statements_->Execute(text);
}

std::shared_ptr<Recordset> Connection::Execute(std::string_view text, int32_t* records_affected, int32_t options) {
  BatchResult result = ExecuteBatch(text);
  if (records_affected != nullptr) *records_affected = static_cast<int32_t>(result.records_affected);
  auto rs = Recordset::Create();
  if (result.has_rows && (options == ado::kOptionUnspecified || (options & ado::kExecuteNoRecords) == 0))
    rs->OpenRows(std::move(result.rows), std::static_pointer_cast<Connection>(shared_from_this()));
  return rs;
}

int32_t Connection::CallProcedure(std::string_view name, std::vector<ProcedureArgument>& args) {
  if (observer_ != nullptr) observer_->BeforeStatement(*this);
  return statements_->CallProcedure(name, args);
}

}  // namespace tovan::data
