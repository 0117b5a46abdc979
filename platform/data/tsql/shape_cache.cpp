#include "platform/data/tsql/shape_cache.h"

namespace tovan::data::tsql {

namespace {
bool SameFixedLiterals(const Translation& t, std::string_view text, const std::vector<Literal>& literals) {
  for (const auto& [place, literal] : t.fixed)
    if (text.substr(literals[place].pos, literals[place].len) != literal) return false;
  return true;
}
}  // namespace

std::shared_ptr<const Translation> ShapeCache::Translate(std::string_view text, std::vector<Literal>& literals,
                                                         const Translator& translate) {
  literals.clear();
  const bool cacheable = text.size() <= kMaxCachedBatch;
  const bool scanned = cacheable && ScanLiterals(text, literals);
  if (scanned) {
    if (auto kept = Find(text, literals)) return kept;
  }
  std::vector<Token> tokens;
  const TokenizeResult tokenized = Tokenize(text, tokens);
  if (!tokenized.ok) {
    auto failed = std::make_shared<Translation>();
    failed->ok = false;
    failed->error = tokenized.error;
    return failed;
  }
  auto translation = std::make_shared<const Translation>(translate(tokens, /*parameterize=*/cacheable));
  if (!translation->ok) return translation;
  // The tokenizer has the last word on where the literals are; a batch the
  // scan read otherwise is run but not kept.
  std::vector<Literal> tokenized_literals;
  if (cacheable) LiteralsOf(tokens, tokenized_literals);
  if (scanned && tokenized_literals == literals) {
    Keep(translation);
  } else {
    literals = std::move(tokenized_literals);
  }
  return translation;
}

std::shared_ptr<const Translation> ShapeCache::Find(std::string_view text, const std::vector<Literal>& literals) {
  BatchShape(text, literals, shape_);
  auto it = translations_.find(shape_);
  if (it == translations_.end()) return nullptr;
  for (const auto& translation : it->second)
    if (SameFixedLiterals(*translation, text, literals)) return translation;
  return nullptr;
}

void ShapeCache::Keep(std::shared_ptr<const Translation> translation) {
  if (count_ >= kMaxTranslations) Clear();
  auto& same_shape = translations_[shape_];
  constexpr std::size_t kPerShape = 8;
  if (same_shape.size() == kPerShape) {
    same_shape.erase(same_shape.begin());
  } else {
    ++count_;
  }
  same_shape.push_back(std::move(translation));
}

void ShapeCache::Clear() {
  translations_.clear();
  count_ = 0;
}

}  // namespace tovan::data::tsql
