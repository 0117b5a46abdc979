// The names a PostgreSQL database knows, in the spelling it keeps them.
//
// The host's tables and columns are created with their names quoted, in
// the case the host writes them (t_LS_Retail, FBillNo), so that result
// columns come back named as on the original server.  T-SQL names are not
// case-sensitive, so every name the component writes, in whatever case, is
// sent quoted in the catalog's own spelling; names the catalog does not
// know (aliases) go as written.
//
// Thread-safety: a value; const methods may be called from several threads.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tovan::data::postgresql {

class NameCatalog {
 public:
  // Adds a name; a second spelling of a known name is kept as a conflict.
  void Add(std::string_view name);
  void Clear() { names_.clear(); conflicts_.clear(); }

  // The catalog's spelling of `name` (compared without regard to ASCII
  // case), or null when it knows no such name.
  const std::string* Find(std::string_view name) const;
  // Names the catalog holds in two spellings ("FID" and "fid"): a schema
  // that does this cannot be addressed case-insensitively.
  const std::vector<std::string>& conflicts() const { return conflicts_; }
  std::size_t size() const { return names_.size(); }

 private:
  struct NoCaseHash {
    std::size_t operator()(std::string_view s) const;
  };
  struct NoCaseEqual {
    bool operator()(std::string_view a, std::string_view b) const;
  };
  std::unordered_map<std::string, std::string, NoCaseHash, NoCaseEqual> names_;
  std::vector<std::string> conflicts_;
};

// `name` as a quoted PostgreSQL identifier ("a""b").
std::string QuoteIdentifier(std::string_view name);

// The host's own SQL made ready for PostgreSQL: ?N parameters become $N and
// every name the catalog knows is quoted in its spelling; string literals,
// quoted names and comments stay as they are.
std::string PrepareNativeSql(std::string_view sql, const NameCatalog& catalog);

}  // namespace tovan::data::postgresql
