// The class registry: where libraries record their classes, and how a
// caller creates an object from a ProgID or CLSID.
//
// Registrations persist in one JSON file, the machine's registry.  Its path
// is $DAILYBALANCE_REGISTRY when set (tests use a temporary file), otherwise
// $XDG_DATA_HOME/dailybalance/registry.json, falling back to
// ~/.local/share/dailybalance/registry.json.  A library adds or removes its
// own keys (ProgIDs, CLSIDs, its type library and interfaces) and leaves the
// others'.  Writers hold an exclusive lock on the file and replace it
// atomically, so readers never see half a file.
//
// Thread-safety: every call reads or writes the file afresh; safe from any
// thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/automation/dispatch.h"
#include "platform/automation/guid.h"
#include "platform/automation/typelib.h"

namespace tovan::automation {

struct ClassRegistration {
  Guid clsid;
  std::string prog_id;
  std::string class_name;
  std::string library_path;  // the in-process server (shared library)
  std::string threading_model;
  Guid libid;
};

class Registry {
 public:
  // The registry at DefaultPath().
  Registry();
  explicit Registry(std::string path);

  static std::string DefaultPath();
  const std::string& path() const { return path_; }

  // Records the library, its interfaces and its classes, served by the
  // shared library at `library_path`.  Raises AutomationError when the file
  // cannot be written.
  void RegisterTypeLib(const TypeLibDesc& lib, const std::string& library_path);
  // Removes what RegisterTypeLib recorded for `lib`; a library that is not
  // registered is not an error.
  void UnregisterTypeLib(const TypeLibDesc& lib);

  // nullopt when not registered (or the file is missing).  Raises
  // AutomationError when the file exists but cannot be read.
  std::optional<ClassRegistration> FindByProgId(std::string_view prog_id) const;
  std::optional<ClassRegistration> FindByClsid(const Guid& clsid) const;

 private:
  std::string path_;
};

// Creates an object the way CreateObject does: looks the ProgID up in the
// registry, loads its library and asks its class object for an instance.
// Raises 429 (cannot create object) with the reason in the description.
DispatchPtr CreateObject(std::string_view prog_id);
DispatchPtr CreateObject(const Registry& registry, std::string_view prog_id);
DispatchPtr CreateObjectByClsid(const Registry& registry, const Guid& clsid);

// What regsvr32 does: loads the shared library at `library_path` and calls
// its DllRegisterServer (or DllUnregisterServer); returns the HRESULT, or
// kFail when the library cannot be loaded or has no such entry point.
int32_t RegisterServer(const std::string& library_path, bool unregister = false);

// The file of the shared library that holds `address` (resolved path);
// empty when it cannot be found.
std::string LibraryFileOf(const void* address);
// The file of the in-process server `file_name` ("libX.so") that this
// process has loaded already (linked in), found by its DllRegisterServer;
// empty when it is not loaded.  A host registers its libraries this way
// without reaching into them.
std::string LoadedServerFile(const std::string& file_name);

}  // namespace tovan::automation
