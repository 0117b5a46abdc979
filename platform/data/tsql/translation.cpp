#include "platform/data/tsql/translation.h"

#include "platform/data/tsql/dates.h"
#include "platform/data/tsql/rewriter.h"
#include "platform/data/tsql/splitter.h"

namespace tovan::data::tsql {

namespace {
bool IsLiteral(const Token& t) {
  return t.kind == TokenKind::Number || t.kind == TokenKind::String || t.kind == TokenKind::NString;
}

// Turns the statements' parameters from token indices into places among the
// batch's literals, marking the tokens bound.
void NumberParams(std::vector<TranslatedStatement>& statements, const std::vector<std::uint32_t>& place,
                  std::vector<bool>& bound) {
  for (TranslatedStatement& s : statements) {
    for (std::uint32_t& token : s.params) {
      bound[token] = true;
      token = place[token];
    }
    NumberParams(s.then, place, bound);
  }
}
}  // namespace

Translation TranslateWith(std::string_view tsql, const std::vector<Token>& tokens, StatementRewriter& rewriter) {
  const bool parameterize = rewriter.parameterized();
  Translation result;
  auto fail = [&result](std::string message) {
    result.ok = false;
    result.error = std::move(message);
    result.statements.clear();
    return result;
  };
  if (tsql.find_first_not_of(" \t\r\n\v\f") == std::string_view::npos) {
    // ADO refuses an empty command text too.
    return fail("empty command text");
  }

  const SplitResult split = SplitBatch(tsql, tokens);
  if (!split.ok) return fail(split.error);

  result.statements.reserve(split.statements.size());
  for (const SplitStatement& statement : split.statements) {
    TranslatedStatement translated;
    if (!rewriter.Rewrite(statement, translated)) return fail(rewriter.error());
    result.statements.push_back(std::move(translated));
  }
  if (parameterize) {
    std::vector<std::uint32_t> place(tokens.size(), 0);
    std::uint32_t literals = 0;
    for (std::uint32_t i = 0; i < tokens.size(); ++i)
      if (IsLiteral(tokens[i])) place[i] = literals++;
    std::vector<bool> bound(tokens.size(), false);
    NumberParams(result.statements, place, bound);
    for (std::uint32_t i = 0; i < tokens.size(); ++i) {
      if (IsLiteral(tokens[i]) && !bound[i]) result.fixed.emplace_back(place[i], std::string(TokenText(tsql, tokens[i])));
    }
  }
  return result;
}

bool IsBindableNumber(std::string_view text) {
  return !text.empty() && text.size() <= 18 && text.find_first_not_of("0123456789") == std::string_view::npos;
}

void BatchShape(std::string_view tsql, const std::vector<Literal>& literals, std::string& shape) {
  // None of these bytes can stand in T-SQL text outside a literal.
  shape.clear();
  std::size_t at = 0;
  for (const Literal& t : literals) {
    char marker;
    switch (t.kind) {
      case TokenKind::Number: marker = IsBindableNumber(tsql.substr(t.pos, t.len)) ? '\x01' : '\x02'; break;
      case TokenKind::String: marker = '\x03'; break;
      default: marker = '\x04'; break;
    }
    shape.append(tsql.substr(at, t.pos - at));
    shape.push_back(marker);
    at = t.pos + t.len;
  }
  shape.append(tsql.substr(at));
}

LiteralValue ParameterValue(std::string_view tsql, const Literal& literal, std::string& scratch) {
  LiteralValue value;
  const std::string_view text = tsql.substr(literal.pos, literal.len);
  if (literal.kind == TokenKind::Number) {
    // The rewrite binds plain whole numbers only (at most 18 digits).
    value.is_integer = true;
    for (char c : text) value.integer = value.integer * 10 + (c - '0');
    return value;
  }
  const std::size_t skip = literal.kind == TokenKind::NString ? 2 : 1;
  const std::string_view body = text.substr(skip, text.size() - skip - 1);
  if (CanonicalDateText(body, scratch)) {
    value.text = scratch;
    return value;
  }
  if (body.find('\'') == std::string_view::npos) {
    value.text = body;
    return value;
  }
  scratch.clear();
  for (std::size_t k = 0; k < body.size(); ++k) {
    scratch.push_back(body[k]);
    if (body[k] == '\'') ++k;  // '' stands for one quote
  }
  value.text = scratch;
  return value;
}

}  // namespace tovan::data::tsql
