// The dialog's page, script and style sheet, compiled into the binary so the
// server needs no files beside it.
//
// Thread-safety: immutable data.
#pragma once

#include <optional>
#include <string_view>

namespace tovan::web {

struct Asset {
  std::string_view content;
  std::string_view content_type;
};

// "/", "/dialog.js", "/dialog.css"; nullopt for anything else.
std::optional<Asset> FindAsset(std::string_view path);

}  // namespace tovan::web
