// ShapeCache: translations of batches kept by their shape, so that batches
// that differ only in the values they carry share one translation (and, on
// the backend's side, one prepared statement per translated statement).
//
// A batch longer than kMaxCachedBatch (an id list in its text) is a one-off:
// translated as it stands, unparameterized, and not kept.
//
// Thread-safety: one per connection, used by one thread at a time.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/data/tsql/tokenizer.h"
#include "platform/data/tsql/translation.h"

namespace tovan::data::tsql {

class ShapeCache {
 public:
  static constexpr std::size_t kMaxCachedBatch = 16384;
  static constexpr std::size_t kMaxTranslations = 2048;

  // Translates a batch from its tokens, parameterized or not.
  using Translator = std::function<Translation(const std::vector<Token>& tokens, bool parameterize)>;

  // The translation of `text`: a kept one of its shape, or a new one made
  // by `translate` (and kept when the batch may be).  `literals` receives
  // the batch's literals, which the parameters of the translation bind
  // from.  A text that does not tokenize answers a translation that is not
  // ok, with the tokenizer's message.
  std::shared_ptr<const Translation> Translate(std::string_view text, std::vector<Literal>& literals,
                                               const Translator& translate);
  // Forgets every kept translation (names they spell may have changed).
  void Clear();

 private:
  std::shared_ptr<const Translation> Find(std::string_view text, const std::vector<Literal>& literals);
  void Keep(std::shared_ptr<const Translation> translation);

  // Translations by shape; a shape holds a few when literals that stay in
  // the text differ (TOP 1 and TOP 2 are one shape, two translations).
  std::unordered_map<std::string, std::vector<std::shared_ptr<const Translation>>> translations_;
  std::size_t count_ = 0;
  std::string shape_;  // the shape Find computed last, which Keep files under
};

}  // namespace tovan::data::tsql
