// Dictionary: one record of the host's record model ("Praxa.Dictionary").
//
// Keys are texts compared without regard to ASCII letter case; a key keeps
// the case with which it was first stored, and positions 1..Count() walk the
// keys in the order they were first stored.  Values are Variants.  Storing
// an object that has a parameterless default value (a recordset field)
// stores that value, as VB's Let assignment does; other objects (records,
// lists) are stored as references.
//
// Thread-safety: apartment-threaded, like every Dispatch.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/automation/typelib.h"

namespace tovan::foundation {

using automation::Variant;

class Dictionary final : public automation::DescribedObject {
 public:
  static std::shared_ptr<Dictionary> Create() { return std::make_shared<Dictionary>(); }
  Dictionary();

  int32_t Count() const { return static_cast<int32_t>(entries_.size()); }
  // The key at 1-based `position`; raises 9 (Subscript out of range) outside 1..Count().
  const std::string& Key(int32_t position) const;
  // The value under `key`; Empty when the key has not been stored.
  const Variant& Value(std::string_view key) const;
  // Stores `value` under `key`, adding the key at the end when absent.
  void SetValue(std::string_view key, Variant value);
  bool Exists(std::string_view key) const { return Find(key) >= 0; }
  // The value under `key`, or `default_value` when the key has not been stored.
  Variant GetValue(std::string_view key, const Variant& default_value) const;
  void Clear() { entries_.clear(); }

  // For C++ callers that walk a record: (key, value) in key order.
  const std::vector<std::pair<std::string, Variant>>& entries() const { return entries_; }

  static const automation::InterfaceDesc& Describe();

 private:
  int Find(std::string_view key) const;
  std::vector<std::pair<std::string, Variant>> entries_;
};

}  // namespace tovan::foundation
