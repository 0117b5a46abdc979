// Vector: a list of records of the host's record model.
//
// Positions run from 1 to UpperBound() (== Count()); an element is any
// Variant, in practice a Dictionary record.  Positions outside the list
// raise 9 (Subscript out of range).
//
// Thread-safety: apartment-threaded, like every Dispatch.
#pragma once

#include <memory>
#include <vector>

#include "platform/automation/typelib.h"
#include "platform/foundation/dictionary.h"

namespace tovan::foundation {

class Vector final : public automation::DescribedObject {
 public:
  static std::shared_ptr<Vector> Create() { return std::make_shared<Vector>(); }
  Vector();

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  int32_t UpperBound() const { return Count(); }
  void Add(Variant item) { items_.push_back(std::move(item)); }
  // Removes `count` elements starting at `position`; raises 9 when they do
  // not all exist and 5 for a count below 1.
  void Remove(int32_t position, int32_t count = 1);
  const Variant& Item(int32_t position) const;
  // Item(position) as a record; raises 13 when the element is not one and
  // 91 when it is Nothing.
  std::shared_ptr<Dictionary> Record(int32_t position) const;

  static const automation::InterfaceDesc& Describe();

 private:
  std::vector<Variant> items_;
};

// The record held by `v`, or null when `v` holds anything else.
std::shared_ptr<Dictionary> AsDictionary(const Variant& v);
// The list held by `v`, or null when `v` holds anything else.
std::shared_ptr<Vector> AsVector(const Variant& v);

// The foundation's null replacement: `default_value` when `value` is Null,
// otherwise `value`.
inline Variant NullToDefault(const Variant& value, const Variant& default_value) {
  return value.IsNull() ? default_value : value;
}

}  // namespace tovan::foundation
