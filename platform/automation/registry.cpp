#include "platform/automation/registry.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <climits>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/automation/error.h"
#include "platform/automation/inproc_server.h"

namespace tovan::automation {

namespace {
using Json = nlohmann::ordered_json;
constexpr const char* kSource = "Registry";

[[noreturn]] void Fail(const std::string& what) { throw AutomationError(vberr::kCannotCreateObject, kSource, what); }

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  if (!in) return {};
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

Json Parse(const std::string& text, const std::string& path) {
  if (text.empty()) return Json::object();
  Json doc = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (doc.is_discarded() || !doc.is_object()) Fail("the registry file " + path + " is not valid JSON");
  return doc;
}

Json Load(const std::string& path) { return Parse(ReadText(path), path); }

// The registry as this thread last parsed it, kept while the file holds the
// same text: every CreateObject looks a class up twice, and reading the file
// costs far less than parsing it.
std::shared_ptr<const Json> LoadShared(const std::string& path) {
  thread_local std::map<std::string, std::pair<std::string, std::shared_ptr<const Json>>> parsed;
  std::string text = ReadText(path);
  auto& [cached_text, doc] = parsed[path];
  if (doc && cached_text == text) return doc;
  doc = std::make_shared<const Json>(Parse(text, path));
  cached_text = std::move(text);
  return doc;
}

// Holds an exclusive lock beside the registry file for one read-modify-write.
class FileLock {
 public:
  explicit FileLock(const std::string& path) {
    fd_ = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) Fail("cannot lock the registry " + path + ": " + std::strerror(errno));
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~FileLock() { ::close(fd_); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_;
};

void Save(const std::string& path, const Json& doc) {
  std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::trunc);
    out << doc.dump(2) << "\n";
    out.flush();
    if (!out) Fail("cannot write the registry file " + temp);
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) Fail("cannot replace the registry file " + path);
}

template <class Edit>
void Modify(const std::string& path, Edit edit) {
  std::error_code ec;
  auto dir = std::filesystem::path(path).parent_path();
  if (!dir.empty()) std::filesystem::create_directories(dir, ec);
  FileLock lock(path);
  Json doc = Load(path);
  for (const char* section : {"ProgID", "CLSID", "TypeLib", "Interface"})
    if (!doc.contains(section)) doc[section] = Json::object();
  edit(doc);
  Save(path, doc);
}

std::optional<ClassRegistration> FromEntry(const std::string& clsid_text, const Json& entry) {
  auto clsid = Guid::Parse(clsid_text);
  auto libid = Guid::Parse(entry.value("TypeLib", ""));
  if (!clsid || !entry.is_object()) return std::nullopt;
  ClassRegistration reg;
  reg.clsid = *clsid;
  reg.prog_id = entry.value("ProgID", "");
  reg.class_name = entry.value("Class", "");
  reg.library_path = entry.value("InprocServer32", "");
  reg.threading_model = entry.value("ThreadingModel", "");
  if (libid) reg.libid = *libid;
  return reg;
}
}  // namespace

Registry::Registry() : path_(DefaultPath()) {}
Registry::Registry(std::string path) : path_(std::move(path)) {}

std::string Registry::DefaultPath() {
  if (const char* p = std::getenv("DAILYBALANCE_REGISTRY"); p && *p) return p;
  std::string base;
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) {
    base = x;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : ".") + "/.local/share";
  }
  return base + "/dailybalance/registry.json";
}

void Registry::RegisterTypeLib(const TypeLibDesc& lib, const std::string& library_path) {
  Modify(path_, [&](Json& doc) {
    std::string libid = lib.libid.ToString();
    doc["TypeLib"][libid] = {{"Name", lib.name},
                             {"Version", std::to_string(lib.major_version) + "." + std::to_string(lib.minor_version)},
                             {"Path", library_path}};
    for (const InterfaceDesc* iface : lib.interfaces)
      doc["Interface"][iface->iid.ToString()] = {{"Name", iface->name}, {"TypeLib", libid}};
    for (const ClassDesc* cls : lib.classes) {
      std::string clsid = cls->clsid.ToString();
      std::string prog_id = lib.ProgId(*cls);
      doc["CLSID"][clsid] = {{"ProgID", prog_id},
                             {"Class", cls->name},
                             {"InprocServer32", library_path},
                             {"ThreadingModel", "Apartment"},
                             {"TypeLib", libid}};
      doc["ProgID"][prog_id] = clsid;
    }
  });
}

void Registry::UnregisterTypeLib(const TypeLibDesc& lib) {
  Modify(path_, [&](Json& doc) {
    doc["TypeLib"].erase(lib.libid.ToString());
    for (const InterfaceDesc* iface : lib.interfaces) doc["Interface"].erase(iface->iid.ToString());
    for (const ClassDesc* cls : lib.classes) {
      doc["CLSID"].erase(cls->clsid.ToString());
      doc["ProgID"].erase(lib.ProgId(*cls));
    }
  });
}

std::optional<ClassRegistration> Registry::FindByProgId(std::string_view prog_id) const {
  std::shared_ptr<const Json> shared = LoadShared(path_);
  const Json& doc = *shared;
  if (!doc.contains("ProgID") || !doc["ProgID"].is_object()) return std::nullopt;
  // ProgIDs are case-insensitive, as the system registry's keys are.
  for (auto& [key, value] : doc["ProgID"].items()) {
    if (!EqualsNoCase(key, prog_id) || !value.is_string()) continue;
    std::string clsid = value.get<std::string>();
    if (!doc.contains("CLSID") || !doc["CLSID"].contains(clsid)) return std::nullopt;
    return FromEntry(clsid, doc["CLSID"][clsid]);
  }
  return std::nullopt;
}

std::optional<ClassRegistration> Registry::FindByClsid(const Guid& clsid) const {
  std::shared_ptr<const Json> shared = LoadShared(path_);
  const Json& doc = *shared;
  std::string key = clsid.ToString();
  if (!doc.contains("CLSID") || !doc["CLSID"].contains(key)) return std::nullopt;
  return FromEntry(key, doc["CLSID"][key]);
}

DispatchPtr CreateObjectByClsid(const Registry& registry, const Guid& clsid) {
  auto reg = registry.FindByClsid(clsid);
  if (!reg) Fail("class " + clsid.ToString() + " is not registered");
  // A library already loaded (linked in, or loaded earlier) is found again;
  // it stays loaded for the life of the process, as COM keeps it until
  // CoFreeUnusedLibraries, which this host never calls.
  void* handle = ::dlopen(reg->library_path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) Fail("cannot load " + reg->library_path + ": " + ::dlerror());
  auto get_class_object = reinterpret_cast<DllGetClassObjectFn>(::dlsym(handle, "DllGetClassObject"));
  if (get_class_object == nullptr) Fail(reg->library_path + " has no DllGetClassObject");
  void* factory = nullptr;
  Guid iid = IidClassFactory();
  int32_t hr = get_class_object(&clsid, &iid, &factory);
  if (hr != hresult::kOk || factory == nullptr)
    Fail("the class object of " + clsid.ToString() + " is not available (" + std::to_string(hr) + ")");
  return static_cast<ClassFactory*>(factory)->CreateInstance();
}

DispatchPtr CreateObject(const Registry& registry, std::string_view prog_id) {
  auto reg = registry.FindByProgId(prog_id);
  if (!reg) {
    throw AutomationError(vberr::kCannotCreateObject, kSource,
                          StandardDescription(vberr::kCannotCreateObject) + ": " + std::string(prog_id) +
                              " is not registered in " + registry.path());
  }
  return CreateObjectByClsid(registry, reg->clsid);
}

DispatchPtr CreateObject(std::string_view prog_id) { return CreateObject(Registry(), prog_id); }

int32_t RegisterServer(const std::string& library_path, bool unregister) {
  void* handle = ::dlopen(library_path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return hresult::kFail;
  using EntryPoint = int32_t (*)();
  // dlsym on the library's own handle finds its entry point first, even when
  // several loaded libraries export the same name.
  auto entry = reinterpret_cast<EntryPoint>(::dlsym(handle, unregister ? "DllUnregisterServer" : "DllRegisterServer"));
  int32_t hr = entry != nullptr ? entry() : hresult::kFail;
  ::dlclose(handle);
  return hr;
}

std::string LibraryFileOf(const void* address) {
  Dl_info info{};
  if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
  char resolved[PATH_MAX];
  if (::realpath(info.dli_fname, resolved) == nullptr) return info.dli_fname;
  return resolved;
}

std::string LoadedServerFile(const std::string& file_name) {
  void* handle = ::dlopen(file_name.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) return {};
  void* entry = ::dlsym(handle, "DllRegisterServer");
  std::string file = entry == nullptr ? std::string() : LibraryFileOf(entry);
  ::dlclose(handle);
  return file;
}

}  // namespace tovan::automation
