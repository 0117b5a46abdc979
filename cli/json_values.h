// The JSON forms of automation values used by `dailybalance invoke`.
//
// An argument is JSON: a string is a String, an integer a Long (a Double
// beyond 32 bits), another number a Double, true/false a Boolean, null is
// Null; an object is a Dictionary with its keys in order, an array a Vector.
// One-key objects name special values: {"date":"2026-12-04"} is a Date,
// {"nothing":true} is Nothing.  Results print back the same way: a Date as
// its ISO text, Empty, Null and Nothing as null, a Vector as an array, a
// Dictionary as an object.
//
// Thread-safety: stateless functions.
#pragma once

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "platform/automation/variant.h"

namespace tovan::cli {

using Json = nlohmann::ordered_json;

// Raised for an argument the command cannot turn into a value.
struct BadArgument : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Converts a parsed JSON argument.  Special objects that need a database
// ({"sql":...}, {"connection":true}) or a host ({"events":...}) are handed
// to `special`, which returns true when it made the value.
using SpecialValueMaker = bool (*)(const std::string& key, const Json& value, automation::Variant& out, void* context);
automation::Variant VariantFromJson(const Json& json, SpecialValueMaker special = nullptr, void* context = nullptr);

Json JsonFromVariant(const automation::Variant& value);

// Compact JSON with a blank after ":" and "," ({"result": 2, "args": []}),
// UTF-8 kept as is.
std::string ToText(const Json& json);

}  // namespace tovan::cli
