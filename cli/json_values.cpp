#include "cli/json_values.h"

#include <cmath>
#include <limits>

#include "platform/foundation/vector.h"

namespace tovan::cli {

using automation::Variant;
using automation::VarType;

namespace {
Variant DateFromJson(const Json& value) {
  if (!value.is_string()) throw BadArgument("a date must be given as text, e.g. {\"date\":\"2026-12-04\"}");
  auto date = automation::ParseDate(value.get<std::string>());
  if (!date) throw BadArgument("not a date: " + value.get<std::string>());
  return Variant(*date);
}
}  // namespace

Variant VariantFromJson(const Json& json, SpecialValueMaker special, void* context) {
  switch (json.type()) {
    case Json::value_t::null: return Variant::Null();
    case Json::value_t::boolean: return Variant(json.get<bool>());
    case Json::value_t::string: return Variant(json.get<std::string>());
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned: {
      if (json.is_number_unsigned() && json.get<uint64_t>() > static_cast<uint64_t>(INT32_MAX))
        return Variant(json.get<double>());
      int64_t v = json.get<int64_t>();
      if (v < INT32_MIN || v > INT32_MAX) return Variant(static_cast<double>(v));
      return Variant(static_cast<int32_t>(v));
    }
    case Json::value_t::number_float: return Variant(json.get<double>());
    case Json::value_t::array: {
      auto list = foundation::Vector::Create();
      for (const Json& item : json) list->Add(VariantFromJson(item, special, context));
      return Variant(list);
    }
    case Json::value_t::object: {
      if (json.size() == 1) {
        auto only = json.begin();
        const std::string& key = only.key();
        const Json& value = only.value();
        if (key == "date") return DateFromJson(value);
        if (key == "nothing") return Variant::Nothing();
        Variant made;
        if (special != nullptr && special(key, value, made, context)) return made;
      }
      auto record = foundation::Dictionary::Create();
      for (const auto& [key, value] : json.items()) record->SetValue(key, VariantFromJson(value, special, context));
      return Variant(record);
    }
    default: throw BadArgument("unsupported JSON value: " + json.dump());
  }
}

Json JsonFromVariant(const Variant& value) {
  switch (value.type()) {
    case VarType::Empty:
    case VarType::Null:
    case VarType::Missing: return nullptr;
    case VarType::Integer: return value.integer();
    case VarType::Long: return value.long_value();
    case VarType::Double:
      if (!std::isfinite(value.double_value())) return nullptr;
      return value.double_value();
    case VarType::Date: return automation::DateToText(value.date());
    case VarType::String: return value.string();
    case VarType::Boolean: return value.boolean();
    case VarType::Object: {
      if (value.IsNothing()) return nullptr;
      if (auto list = foundation::AsVector(value)) {
        Json out = Json::array();
        for (int32_t p = 1; p <= list->UpperBound(); ++p) out.push_back(JsonFromVariant(list->Item(p)));
        return out;
      }
      if (auto record = foundation::AsDictionary(value)) {
        Json out = Json::object();
        for (const auto& [key, item] : record->entries()) out[key] = JsonFromVariant(item);
        return out;
      }
      return Json{{"object", std::string(value.object()->TypeName())}};
    }
  }
  return nullptr;
}

std::string ToText(const Json& json) {
  switch (json.type()) {
    case Json::value_t::array: {
      std::string out = "[";
      for (size_t i = 0; i < json.size(); ++i) out += (i ? ", " : "") + ToText(json[i]);
      return out + "]";
    }
    case Json::value_t::object: {
      std::string out = "{";
      bool first = true;
      for (const auto& [key, value] : json.items()) {
        out += (first ? "" : ", ") + Json(key).dump() + ": " + ToText(value);
        first = false;
      }
      return out + "}";
    }
    default: return json.dump(-1, ' ', false, Json::error_handler_t::replace);
  }
}

}  // namespace tovan::cli
