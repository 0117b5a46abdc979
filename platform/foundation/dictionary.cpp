#include "platform/foundation/dictionary.h"

#include "platform/automation/error.h"

namespace tovan::foundation {

using automation::AutomationError;
using automation::Dispatch;
using automation::ParamType;
namespace vberr = automation::vberr;

namespace {
const automation::DispatchTable& Table() {
  static const automation::DispatchTable table = [] {
    automation::DispatchTable t(Dictionary::Describe(), "Dictionary", "Praxa.Dictionary");
    t.Bind("Count", automation::MemberKind::PropertyGet,
           [](Dispatch& d, std::span<Variant>) { return Variant(automation::Self<Dictionary>(d).Count()); });
    t.Bind("Key", automation::MemberKind::PropertyGet,
           [](Dispatch& d, std::span<Variant> a) { return Variant(automation::Self<Dictionary>(d).Key(a[0].long_value())); });
    t.Bind("Value", automation::MemberKind::PropertyGet,
           [](Dispatch& d, std::span<Variant> a) { return automation::Self<Dictionary>(d).Value(a[0].string()); });
    t.Bind("Value", automation::MemberKind::PropertyPut, [](Dispatch& d, std::span<Variant> a) {
      automation::Self<Dictionary>(d).SetValue(a[0].string(), a[1]);
      return Variant();
    });
    t.Bind("Exists", [](Dispatch& d, std::span<Variant> a) { return Variant(automation::Self<Dictionary>(d).Exists(a[0].string())); });
    t.Bind("GetValue", [](Dispatch& d, std::span<Variant> a) { return automation::Self<Dictionary>(d).GetValue(a[0].string(), a[1]); });
    t.Bind("Clear", [](Dispatch& d, std::span<Variant>) {
      automation::Self<Dictionary>(d).Clear();
      return Variant();
    });
    return t;
  }();
  return table;
}
}  // namespace

const automation::InterfaceDesc& Dictionary::Describe() {
  using namespace automation::describe;
  static const automation::InterfaceDesc iface{
      "IDictionary",
      automation::Guid::Of("{3371056F-6F06-48D8-A0D1-266FC7077527}"),
      {
          Get("Count", {}, ParamType::Long),
          Get("Key", {In("Index", ParamType::Long)}, ParamType::String),
          Get("Value", {In("Key", ParamType::String)}, ParamType::Variant, /*is_default=*/true),
          Put("Value", {In("Key", ParamType::String), In("NewValue", ParamType::Variant)}, /*is_default=*/true),
          Method("Exists", {In("Key", ParamType::String), Opt(In("Compare", ParamType::Variant))}, ParamType::Boolean),
          Method("GetValue", {In("Key", ParamType::String), Opt(In("Default", ParamType::Variant), Variant())},
                 ParamType::Variant),
          Method("Clear", {}),
      }};
  return iface;
}

Dictionary::Dictionary() : DescribedObject(Table()) {}

int Dictionary::Find(std::string_view key) const {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (automation::EqualsNoCase(entries_[i].first, key)) return static_cast<int>(i);
  return -1;
}

const std::string& Dictionary::Key(int32_t position) const {
  if (position < 1 || position > Count()) automation::Raise(vberr::kSubscriptOutOfRange, "Praxa.Dictionary");
  return entries_[static_cast<size_t>(position - 1)].first;
}

const Variant& Dictionary::Value(std::string_view key) const {
  static const Variant kEmpty;
  int i = Find(key);
  return i < 0 ? kEmpty : entries_[static_cast<size_t>(i)].second;
}

void Dictionary::SetValue(std::string_view key, Variant value) {
  if (value.IsObject() && !value.IsNothing()) {
    Variant plain;
    if (value.object()->GetDefaultValue(plain)) value = std::move(plain);
  }
  int i = Find(key);
  if (i < 0) {
    entries_.emplace_back(std::string(key), std::move(value));
  } else {
    entries_[static_cast<size_t>(i)].second = std::move(value);
  }
}

Variant Dictionary::GetValue(std::string_view key, const Variant& default_value) const {
  int i = Find(key);
  return i < 0 ? default_value : entries_[static_cast<size_t>(i)].second;
}

}  // namespace tovan::foundation
