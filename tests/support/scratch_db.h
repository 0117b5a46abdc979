// A scratch embedded database for one test, made with plain SQLite DDL.
#pragma once

#include <memory>
#include <string>

#include "platform/data/open.h"
#include "platform/data/sqlite/backend.h"
#include "tests/support/temp_dir.h"

namespace tovan::testing {

class ScratchDb {
 public:
  explicit ScratchDb(const std::string& ddl) : path_(dir_.File("test.db")) {
    data::OpenOptions options;
    options.create = true;
    auto connection = data::OpenConnection(path_, options);
    static_cast<data::sqlite::SqliteBackend&>(connection->backend()).ExecuteScript(ddl);
  }
  const std::string& path() const { return path_; }
  const TempDir& dir() const { return dir_; }
  std::shared_ptr<data::Connection> Open() const { return data::OpenConnection(path_); }

 private:
  TempDir dir_;
  std::string path_;
};

}  // namespace tovan::testing
