// The host's context objects that the component reaches late-bound: the
// shared-property service ("TovanPropsMgr.ShareProps") and the per-process
// property object the host registers on the desktop window.
//
// Both read the calling thread's GlobalContext, where the host process
// published its values.
//
// Thread-safety: apartment-threaded.
#pragma once

#include <map>
#include <string>

#include "platform/automation/typelib.h"

namespace tovan::host {

// GetProperty(ByRef ProcessID As Long, ByRef Name As String) As Variant:
// the value the host published for that process, Empty when none.
class SharedPropertyService final : public automation::DescribedObject {
 public:
  SharedPropertyService();
  automation::Variant GetProperty(int32_t process_id, const std::string& name) const;

  static const automation::InterfaceDesc& Describe();
  static const automation::ClassDesc& Class();
};

// Lookup(ByRef Name) As Boolean and the default member Item(Name): the
// values of one host process ("AppType" among them).
class ProcessProperties final : public automation::DescribedObject {
 public:
  ProcessProperties();
  void Set(const std::string& name, automation::Variant value);
  bool Lookup(const std::string& name) const;
  // Raises 5 (invalid procedure call) for a name never set.
  const automation::Variant& Item(const std::string& name) const;

  static const automation::InterfaceDesc& Describe();

 private:
  std::map<std::string, automation::Variant> values_;  // keys lower-case
};

// Publishes `properties` as the calling process's property object.
void RegisterProcessProperties(std::shared_ptr<ProcessProperties> properties);

}  // namespace tovan::host
