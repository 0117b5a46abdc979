// A scratch directory for one test, removed with everything in it at the end.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace tovan::testing {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "dailybalance-test-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Points the registry at a file of its own for the life of the object.
class ScopedRegistry {
 public:
  ScopedRegistry() : path_(dir_.File("registry.json")) { ::setenv("DAILYBALANCE_REGISTRY", path_.c_str(), 1); }
  ~ScopedRegistry() { ::unsetenv("DAILYBALANCE_REGISTRY"); }
  const std::string& path() const { return path_; }

 private:
  TempDir dir_;
  std::string path_;
};

}  // namespace tovan::testing
