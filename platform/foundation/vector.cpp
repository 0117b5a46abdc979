#include "platform/foundation/vector.h"

#include "platform/automation/error.h"

namespace tovan::foundation {

using automation::Dispatch;
using automation::ParamType;
namespace vberr = automation::vberr;

namespace {
constexpr const char* kSource = "Praxa.Vector";

const automation::DispatchTable& Table() {
  static const automation::DispatchTable table = [] {
    automation::DispatchTable t(Vector::Describe(), "Vector", kSource);
    t.Bind("Count", automation::MemberKind::PropertyGet,
           [](Dispatch& d, std::span<Variant>) { return Variant(automation::Self<Vector>(d).Count()); });
    t.Bind("UpperBound", automation::MemberKind::PropertyGet,
           [](Dispatch& d, std::span<Variant>) { return Variant(automation::Self<Vector>(d).UpperBound()); });
    t.Bind("Add", [](Dispatch& d, std::span<Variant> a) {
      automation::Self<Vector>(d).Add(a[0]);
      return Variant();
    });
    t.Bind("Remove", [](Dispatch& d, std::span<Variant> a) {
      automation::Self<Vector>(d).Remove(a[0].long_value(), a[1].long_value());
      return Variant();
    });
    t.Bind("Item", automation::MemberKind::PropertyGet,
           [](Dispatch& d, std::span<Variant> a) { return automation::Self<Vector>(d).Item(a[0].long_value()); });
    return t;
  }();
  return table;
}
}  // namespace

const automation::InterfaceDesc& Vector::Describe() {
  using namespace automation::describe;
  static const automation::InterfaceDesc iface{
      "IVector",
      automation::Guid::Of("{B3EE2CCE-AA0D-4762-95D4-2A0E2A8CCE5A}"),
      {
          Get("Count", {}, ParamType::Long),
          Get("UpperBound", {}, ParamType::Long),
          Method("Add", {In("Item", ParamType::Variant)}),
          Method("Remove", {In("Index", ParamType::Long), Opt(In("Count", ParamType::Long), Variant(int32_t{1}))}),
          Get("Item", {In("Index", ParamType::Long)}, ParamType::Variant, /*is_default=*/true),
      }};
  return iface;
}

Vector::Vector() : DescribedObject(Table()) {}

void Vector::Remove(int32_t position, int32_t count) {
  if (count < 1) automation::Raise(vberr::kInvalidProcedureCall, kSource);
  if (position < 1 || static_cast<int64_t>(position) + count - 1 > Count())
    automation::Raise(vberr::kSubscriptOutOfRange, kSource);
  auto first = items_.begin() + (position - 1);
  items_.erase(first, first + count);
}

const Variant& Vector::Item(int32_t position) const {
  if (position < 1 || position > Count()) automation::Raise(vberr::kSubscriptOutOfRange, kSource);
  return items_[static_cast<size_t>(position - 1)];
}

std::shared_ptr<Dictionary> Vector::Record(int32_t position) const {
  const Variant& item = Item(position);
  if (item.IsObject() && item.IsNothing()) automation::Raise(vberr::kObjectNotSet, kSource);
  auto record = AsDictionary(item);
  if (!record) automation::Raise(vberr::kTypeMismatch, kSource);
  return record;
}

std::shared_ptr<Dictionary> AsDictionary(const Variant& v) {
  return v.IsObject() ? std::dynamic_pointer_cast<Dictionary>(v.object()) : nullptr;
}

std::shared_ptr<Vector> AsVector(const Variant& v) {
  return v.IsObject() ? std::dynamic_pointer_cast<Vector>(v.object()) : nullptr;
}

}  // namespace tovan::foundation
