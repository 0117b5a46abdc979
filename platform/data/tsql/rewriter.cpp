#include "platform/data/tsql/rewriter.h"

#include <algorithm>
#include <array>

#include <fmt/format.h>


namespace tovan::data::tsql {
namespace {

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '#' || c == '$' || c == '@' || static_cast<unsigned char>(c) >= 0x80;
}

}  // namespace

bool OneOf(std::string_view word, std::initializer_list<std::string_view> uppers) {
  for (std::string_view u : uppers) {
    if (WordIs(word, u)) return true;
  }
  return false;
}

namespace {
// T-SQL functions that no backend translates: each engine lacks them or
// would read them differently, so they are refused by name (sorted).
constexpr std::string_view kUntranslated[] = {
    "CHECKSUM",
    "CHOOSE",
    "CONCAT",
    "DATALENGTH",
    "DATEADD",
    "DATEDIFF",
    "DATENAME",
    "DATEPART",
    "DB_NAME",
    "EOMONTH",
    "FORMAT",
    "HOST_NAME",
    "IDENT_CURRENT",
    "ISDATE",
    "ISNUMERIC",
    "LOG",
    "NEWID",
    "PATINDEX",
    "QUOTENAME",
    "RAND",
    "REPLICATE",
    "REVERSE",
    "SCOPE_IDENTITY",
    "SPACE",
    "STR",
    "STRING_AGG",
    "STUFF",
    "SUSER_SNAME",
    "TRY_CAST",
    "TRY_CONVERT",
    "USER_NAME",
};
}  // namespace

bool IsUntranslatedFunction(std::string_view name) {
  const std::string upper = Upper(name);
  return std::binary_search(std::begin(kUntranslated), std::end(kUntranslated), std::string_view(upper));
}

const FunctionEntry* FindFunction(std::span<const FunctionEntry> table, std::string_view name) {
  if (name.empty() || name.size() > 32) return nullptr;
  const std::string upper = Upper(name);
  auto it = std::lower_bound(table.begin(), table.end(), upper,
                             [](const FunctionEntry& e, const std::string& u) { return e.upper < u; });
  return (it != table.end() && it->upper == upper) ? &*it : nullptr;
}

std::string QuoteName(std::string_view name) {
  std::string quoted;
  quoted.reserve(name.size() + 2);
  quoted.push_back('"');
  for (char c : name) {
    if (c == '"') quoted.push_back('"');
    quoted.push_back(c);
  }
  quoted.push_back('"');
  return quoted;
}

std::string Upper(std::string_view word) {
  std::string s(word);
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

namespace {

// A statement with more values than this (a long id list) keeps them in its
// text: such a list is seldom sent twice at the same length, so a cached
// plan would not serve it again, and binding costs what parsing saves.
constexpr std::size_t kMaxParams = 100;

bool IsWordByte(char c) { return IsNameChar(c) || c == '.' || c == '\'' || c == '"' || c == ']'; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
    const char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Statements

bool StatementRewriter::Rewrite(const SplitStatement& st, TranslatedStatement& out) {
  const Token& first = tok_[st.begin];
  const Token& last = tok_[st.end - 1];
  out.original.assign(text_.substr(first.pos, last.pos + last.len - first.pos));
  if (!parameterize_) return RewriteStatement(st, out);

  if (bindable_.size() != tok_.size()) bindable_.assign(tok_.size(), false);
  const bool is_if = st.kind == SplitStatement::Kind::If;
  const std::uint32_t b = is_if ? st.cond_begin : st.begin;
  const std::uint32_t e = is_if ? st.cond_end : st.end;
  // Only statements whose parameters SQLite takes everywhere: no DDL (views refuse them).
  const Keyword lead = KeywordAt(st.begin);
  const bool dml = !is_if && (lead == Keyword::Insert || lead == Keyword::Update || lead == Keyword::Delete);
  if (is_if || dml || lead == Keyword::Select) {
    if (MarkBindable(b, e, /*values_first=*/is_if || dml, dml) > kMaxParams)
      std::fill(bindable_.begin() + b, bindable_.begin() + e, false);
  }
  if (!RewriteStatement(st, out)) return false;
  if (out.params.size() <= kMaxParams) return true;
  // Over the bound after all: a value the rewrite writes twice (RIGHT) counts twice.
  std::fill(bindable_.begin() + b, bindable_.begin() + e, false);
  out.sql.clear();
  out.params.clear();
  out.then.clear();
  return RewriteStatement(st, out);
}

bool StatementRewriter::RewriteStatement(const SplitStatement& st, TranslatedStatement& out) {
  params_ = &out.params;
  if (st.kind == SplitStatement::Kind::If) return RewriteIf(st, out);
  return RewriteSimple(st.begin, st.end, out);
}

// A literal may be a parameter where it stands for a value: in a DML
// statement, in a WHERE / ON / HAVING condition or an IF condition.  It stays
// where SQLite reads it otherwise: a select list names result columns (and
// the columns of SELECT ... INTO tables), ORDER BY 1 means a column, LIKE
// patterns decide the plan, and AS 'x' / TOP n are not values.
std::size_t StatementRewriter::MarkBindable(std::uint32_t b, std::uint32_t e, bool values_first, bool dml) {
  std::vector<bool> levels;  // `values` of each enclosing parenthesis level
  bool values = values_first;
  bool fixed_next = false;
  std::size_t marked = 0;
  for (std::uint32_t j = b; j < e; ++j) {
    const Token& t = tok_[j];
    const bool fixed = fixed_next;
    fixed_next = false;
    switch (t.kind) {
      case TokenKind::LParen:
        levels.push_back(values);
        break;
      case TokenKind::RParen:
        if (!levels.empty()) {
          values = levels.back();
          levels.pop_back();
        }
        break;
      case TokenKind::Word:
        switch (t.keyword) {
          case Keyword::Select: case Keyword::Union: case Keyword::Except: case Keyword::Intersect:
            values = dml;
            break;
          case Keyword::Where:
            values = true;
            break;
          case Keyword::By:
            values = false;
            break;
          case Keyword::Like: case Keyword::As: case Keyword::Top:
            fixed_next = true;
            break;
          case Keyword::None:
            if (j > 0 && tok_[j - 1].kind == TokenKind::Dot) break;
            if (WordIs(Text(j), "ON") || WordIs(Text(j), "HAVING")) values = true;
            if (WordIs(Text(j), "ESCAPE")) fixed_next = true;
            break;
          default:
            break;
        }
        break;
      case TokenKind::Number:
      case TokenKind::String:
      case TokenKind::NString: {
        // Glued to a neighbour ("12abc", "a.5"), a literal is not a value on its own.
        const bool glued = (t.pos > 0 && IsWordByte(text_[t.pos - 1])) ||
                           (t.pos + t.len < text_.size() && IsWordByte(text_[t.pos + t.len]));
        bindable_[j] = values && !fixed && !glued && (t.kind != TokenKind::Number || IsBindableNumber(Text(j)));
        marked += bindable_[j] ? 1 : 0;
        break;
      }
      default:
        break;
    }
  }
  return marked;
}

void StatementRewriter::AppendLiteral(std::uint32_t i, std::string_view as_written) {
  if (parameterize_ && bindable_[i]) {
    AppendPlaceholder();
    params_->push_back(i);
  } else {
    Append(as_written);
  }
}

bool StatementRewriter::RewriteIf(const SplitStatement& st, TranslatedStatement& out) {
  if (TryDropIfExists(st, out)) return true;
  out.kind = TranslatedStatement::Kind::IfThen;
  out_ = &out.sql;
  Append("SELECT CASE WHEN ");
  if (!Emit(st.cond_begin, st.cond_end)) return false;
  Append(" THEN 1 ELSE 0 END");
  out.then.reserve(st.body.size());
  for (const SplitStatement& child : st.body) {
    TranslatedStatement translated;
    if (!Rewrite(child, translated)) return false;
    out.then.push_back(std::move(translated));
  }
  return true;
}

// "if object_id('tempdb..#t') is not null drop table #t" is how T-SQL says
// DROP TABLE IF EXISTS; one statement instead of a probe and a drop.
bool StatementRewriter::TryDropIfExists(const SplitStatement& st, TranslatedStatement& out) {
  const std::uint32_t c = st.cond_begin;
  if (st.cond_end - c != 7 || st.body.size() != 1) return false;
  const SplitStatement& body = st.body[0];
  if (body.kind != SplitStatement::Kind::Simple || body.end - body.begin != 3) return false;
  if (tok_[c].kind != TokenKind::Word || !WordIs(Text(c), "OBJECT_ID") ||
      tok_[c + 1].kind != TokenKind::LParen || !IsString(c + 2) ||
      tok_[c + 3].kind != TokenKind::RParen || KeywordAt(c + 4) != Keyword::Is ||
      KeywordAt(c + 5) != Keyword::Not || KeywordAt(c + 6) != Keyword::Null) {
    return false;
  }
  const std::uint32_t d = body.begin;
  if (KeywordAt(d) != Keyword::Drop || KeywordAt(d + 1) != Keyword::Table ||
      (tok_[d + 2].kind != TokenKind::Word && tok_[d + 2].kind != TokenKind::QuotedName)) {
    return false;
  }
  std::string_view probed = StringBody(c + 2);
  probed = probed.substr(probed.rfind('.') + 1);  // npos + 1 == 0
  const std::string dropped = Unquoted(d + 2);
  if (!EqualsNoCase(probed, dropped)) return false;
  out.kind = TranslatedStatement::Kind::Execute;
  out_ = &out.sql;
  Append(dropped.starts_with('#') ? DropTempTableIfExists() : "DROP TABLE IF EXISTS ");
  AppendName(dropped);
  return true;
}

bool StatementRewriter::RewriteSimple(std::uint32_t b, std::uint32_t e, TranslatedStatement& out) {
  out.kind = TranslatedStatement::Kind::Execute;
  out.sql.reserve(tok_[e - 1].pos + tok_[e - 1].len - tok_[b].pos + 16);
  out_ = &out.sql;
  const Keyword lead = KeywordAt(b);
  switch (lead) {
    case Keyword::Set:
      return RewriteSet(b, e, out);
    case Keyword::Select:
      return RewriteSelect(b, e);
    case Keyword::Insert:
      if (KeywordAt(b + 1) == Keyword::Into) return Emit(b, e);
      Append(Text(b));
      Append(" INTO");  // T-SQL lets INTO out
      CopyGap(b + 1);
      return Emit(b + 1, e);
    case Keyword::Update:
      if (KeywordAt(b + 1) == Keyword::Top) return Fail(b + 1, "UPDATE TOP is not supported");
      for (std::uint32_t j = b + 1; j < e; ++j) {
        if (tok_[j].kind == TokenKind::LParen) j = tok_[j].match;
        if (KeywordAt(j) == Keyword::From) {
          return Fail(j, "UPDATE ... FROM (an update through a join) is not supported");
        }
      }
      return Emit(b, e);
    case Keyword::Delete: {
      if (KeywordAt(b + 1) == Keyword::Top) return Fail(b + 1, "DELETE TOP is not supported");
      const bool has_from = KeywordAt(b + 1) == Keyword::From;
      for (std::uint32_t j = has_from ? b + 2 : b + 1; j < e; ++j) {
        if (tok_[j].kind == TokenKind::LParen) j = tok_[j].match;
        if (KeywordAt(j) == Keyword::From) {
          return Fail(j, "DELETE ... FROM (a delete through a join) is not supported");
        }
      }
      if (has_from) return Emit(b, e);
      Append(Text(b));
      Append(" FROM");  // T-SQL lets FROM out
      CopyGap(b + 1);
      return Emit(b + 1, e);
    }
    case Keyword::Drop:
      if (KeywordAt(b + 1) != Keyword::Table && KeywordAt(b + 1) != Keyword::View) {
        return Fail(b, fmt::format("DROP {} is not supported", Upper(Text(b + 1))));
      }
      for (std::uint32_t j = b + 2; j < e; ++j) {
        if (tok_[j].kind == TokenKind::Comma) return Fail(j, "DROP of several objects is not supported");
      }
      return Emit(b, e);
    case Keyword::Create:
      return RewriteCreate(b, e);
    case Keyword::Truncate:
      if (KeywordAt(b + 1) != Keyword::Table) return Fail(b, "TRUNCATE without TABLE");
      Append("DELETE FROM");
      CopyGap(b + 2);
      return Emit(b + 2, e);
    case Keyword::With:
      return Emit(b, e);
    case Keyword::Begin: case Keyword::Commit: case Keyword::Rollback: case Keyword::Save:
      return Fail(b, fmt::format("transaction control ({}) is not supported: the data layer owns "
                                 "transactions", Upper(Text(b))));
    case Keyword::None:
      if (tok_[b].kind == TokenKind::LParen) return Emit(b, e);  // (SELECT ...) UNION ...
      return Fail(b, fmt::format("unrecognised statement starting with '{}'", Text(b)));
    default:
      return Fail(b, fmt::format("{} is not supported", Upper(Text(b))));
  }
}

// Session options that change nothing SQLite does become Skip; an option that
// would change results (ROWCOUNT n, LANGUAGE, ...) is refused.
bool StatementRewriter::RewriteSet(std::uint32_t b, std::uint32_t e, TranslatedStatement& out) {
  out.kind = TranslatedStatement::Kind::Skip;
  std::uint32_t i = b + 1;
  if (tok_[i].kind == TokenKind::Variable) return Fail(i, "variable assignment (SET @...) is not supported");
  const std::string_view option = tok_[i].kind == TokenKind::Word ? Text(i) : std::string_view();
  const auto rest = e - i;
  if (WordIs(option, "ROWCOUNT") && rest == 2 && Text(i + 1) == "0") return true;
  if (WordIs(option, "DATEFORMAT") && rest == 2 && WordIs(Text(i + 1), "YMD")) return true;
  if (OneOf(option, {"LOCK_TIMEOUT", "DEADLOCK_PRIORITY"}) && rest == 2) return true;
  if (KeywordAt(i) == Keyword::Transaction && rest >= 3 && WordIs(Text(i + 1), "ISOLATION")) return true;
  // SET opt[, opt ...] ON|OFF
  while (i < e && tok_[i].kind == TokenKind::Word &&
         OneOf(Text(i), {"NOCOUNT", "ANSI_NULLS", "ANSI_PADDING", "ANSI_WARNINGS", "ANSI_NULL_DFLT_ON",
                         "ARITHABORT", "CONCAT_NULL_YIELDS_NULL", "QUOTED_IDENTIFIER", "XACT_ABORT",
                         "NUMERIC_ROUNDABORT"})) {
    ++i;
    if (i < e && tok_[i].kind == TokenKind::Comma) {
      ++i;
      continue;
    }
    if (i + 1 == e && OneOf(Text(i), {"ON", "OFF"})) return true;
    break;
  }
  return Fail(b, fmt::format("SET {} is not supported", Upper(option.empty() ? Text(b + 1) : option)));
}

// SELECT <list> INTO t FROM ... becomes CREATE [TEMP] TABLE t AS SELECT <list> FROM ...
bool StatementRewriter::RewriteSelect(std::uint32_t b, std::uint32_t e) {
  std::uint32_t into = 0;
  for (std::uint32_t j = b + 1; j < e; ++j) {
    if (tok_[j].kind == TokenKind::LParen) j = tok_[j].match;
    const Keyword k = KeywordAt(j);
    if (k == Keyword::From || k == Keyword::Union) break;
    if (k == Keyword::Into) {
      into = j;
      break;
    }
  }
  if (into == 0) return Emit(b, e);

  // The target: name, or schema.name where the schema adds nothing here.
  std::uint32_t j = into + 1;
  std::uint32_t name = j;
  for (;;) {
    if (tok_[j].kind != TokenKind::Word && tok_[j].kind != TokenKind::QuotedName) {
      return Fail(j, "SELECT ... INTO without a table name");
    }
    name = j++;
    if (tok_[j].kind != TokenKind::Dot) break;
    if (!OneOf(Text(name), {"DBO", "TEMPDB"})) {
      return Fail(name, "SELECT ... INTO another database or schema is not supported");
    }
    while (tok_[j].kind == TokenKind::Dot) ++j;
  }
  const std::string target = Unquoted(name);
  Append(target.starts_with('#') ? "CREATE TEMP TABLE " : "CREATE TABLE ");
  AppendName(target);
  Append(" AS ");
  skip_begin_ = into;
  skip_end_ = j;
  const bool ok = Emit(b, e);
  skip_begin_ = skip_end_ = 0;
  return ok;
}

bool StatementRewriter::RewriteCreate(std::uint32_t b, std::uint32_t e) {
  const Keyword what = KeywordAt(b + 1);
  if (what == Keyword::Table) {
    if (Unquoted(b + 2).starts_with('#')) {
      Append("CREATE TEMP TABLE");
      CopyGap(b + 2);
      return Emit(b + 2, e);
    }
    return Emit(b, e);
  }
  if (what == Keyword::Index || what == Keyword::View ||
      (WordIs(Text(b + 1), "UNIQUE") && KeywordAt(b + 2) == Keyword::Index)) {
    return Emit(b, e);
  }
  return Fail(b, fmt::format("CREATE {} is not supported", Upper(Text(b + 1))));
}

// ---------------------------------------------------------------------------
// Tokens

bool StatementRewriter::Emit(std::uint32_t b, std::uint32_t e) {
  if (++nesting_ > 200) return Fail(b, "expression nested too deeply");
  std::vector<LimitFrame> frames;  // allocates only when a TOP is seen
  int depth = 0;
  for (std::uint32_t i = b; i < e;) {
    if (i >= skip_begin_ && i < skip_end_) {
      i = skip_end_;
      continue;
    }
    if (i != b) CopyGap(i);
    bool ok = true;
    switch (tok_[i].kind) {
      case TokenKind::LParen:
        ++depth;
        Append("(");
        ++i;
        break;
      case TokenKind::RParen:
        // TOP's LIMIT closes the query level it belongs to.
        if (!frames.empty() && frames.back().depth == depth) {
          Append(" LIMIT ");
          Append(Text(frames.back().count));
          frames.pop_back();
        }
        --depth;
        Append(")");
        ++i;
        break;
      case TokenKind::Word:
        ok = EmitWord(i, depth, frames);
        break;
      case TokenKind::QuotedName:
        AppendName(Unquoted(i));
        ++i;
        break;
      case TokenKind::String:
      case TokenKind::NString:
        ok = EmitString(i);
        break;
      case TokenKind::Variable:
        ok = Fail(i, fmt::format("variable {} is not supported", Text(i)));
        break;
      case TokenKind::Operator:
        ok = EmitOperator(i);
        break;
      case TokenKind::Number:
        AppendLiteral(i, Text(i));
        ++i;
        break;
      default:
        Append(Text(i));
        ++i;
        break;
    }
    if (!ok) return false;
  }
  for (auto it = frames.rbegin(); it != frames.rend(); ++it) {
    Append(" LIMIT ");
    Append(Text(it->count));
  }
  --nesting_;
  return true;
}

bool StatementRewriter::EmitWord(std::uint32_t& i, int depth, std::vector<LimitFrame>& frames) {
  const std::string_view word = Text(i);
  if (tok_[i + 1].kind == TokenKind::LParen) {
    bool handled = false;
    const bool ok = EmitFunction(i, handled);
    if (handled || !ok) return ok;
    if (IsUntranslatedFunction(word)) return Fail(i, fmt::format("function {}() is not supported", Upper(word)));
  }
  switch (tok_[i].keyword) {
    case Keyword::Select:
      return EmitSelect(i, depth, frames);
    case Keyword::Union: case Keyword::Except: case Keyword::Intersect:
      if (!frames.empty() && frames.back().depth == depth) {
        return Fail(i, "TOP in a query combined by UNION/EXCEPT/INTERSECT is not supported");
      }
      break;
    case Keyword::Top:
      return Fail(i, "TOP is supported only right after SELECT [DISTINCT]");
    case Keyword::In:
      // SQLite takes IN () as false; SQL Server refuses it, and callers rely on that.
      if (tok_[i + 1].kind == TokenKind::LParen && tok_[i + 1].match == i + 2) {
        return Fail(i, "syntax error: IN () with an empty list");
      }
      break;
    case Keyword::Like: {
      const Token& pattern = tok_[i + 1];
      if ((pattern.kind == TokenKind::String || pattern.kind == TokenKind::NString) &&
          Text(i + 1).find('[') != std::string_view::npos) {
        return Fail(i + 1, "LIKE patterns with [ ] character classes are not supported");
      }
      break;
    }
    case Keyword::With:
      if (tok_[i + 1].kind == TokenKind::LParen) return SkipTableHint(i);
      break;
    case Keyword::CurrentTimestamp:
      Append(CurrentTimestamp());
      ++i;
      return true;
    case Keyword::Exec: case Keyword::Execute: case Keyword::Output: case Keyword::Apply:
    case Keyword::Pivot: case Keyword::Unpivot: case Keyword::Identity:
      return Fail(i, fmt::format("{} is not supported", Upper(word)));
    default:
      break;
  }
  if (word.front() == '#') {
    AppendName(word);
  } else if (WordIs(word, "DBO") && tok_[i + 1].kind == TokenKind::Dot &&
             (i == 0 || tok_[i - 1].kind != TokenKind::Dot)) {
    ++i;  // dbo.t is t: SQLite would read dbo as a database name
  } else {
    EmitPlainName(i);
  }
  ++i;
  return true;
}

// SELECT [ALL|DISTINCT] [TOP n | TOP (n)]: TOP leaves, LIMIT n goes to the end
// of the same query level.
bool StatementRewriter::EmitSelect(std::uint32_t& i, int depth, std::vector<LimitFrame>& frames) {
  Append(Text(i));
  ++i;
  const Keyword k = KeywordAt(i);
  if (k == Keyword::Distinct || k == Keyword::All) {
    CopyGap(i);
    Append(Text(i));
    ++i;
  }
  if (KeywordAt(i) != Keyword::Top) return true;
  const std::uint32_t top = i;
  std::uint32_t count = i + 1;
  std::uint32_t after = i + 2;
  if (tok_[count].kind == TokenKind::LParen && tok_[count].match == count + 2) {
    ++count;
    after = count + 2;
  }
  const std::string_view n = Text(count);
  if (tok_[count].kind != TokenKind::Number ||
      n.find_first_not_of("0123456789") != std::string_view::npos) {
    return Fail(top, "TOP with anything but a whole number is not supported");
  }
  if (KeywordAt(after) == Keyword::Percent) return Fail(after, "TOP ... PERCENT is not supported");
  if (KeywordAt(after) == Keyword::With && KeywordAt(after + 1) == Keyword::Ties) {
    return Fail(after, "TOP ... WITH TIES is not supported");
  }
  frames.push_back({depth, count});
  i = after;
  return true;
}

bool StatementRewriter::SplitArguments(std::uint32_t& i, Args& args) {
  const std::uint32_t name = i;
  const std::uint32_t lp = i + 1;
  const std::uint32_t rp = tok_[lp].match;
  if (rp > lp + 1) {
    std::uint32_t start = lp + 1;
    for (std::uint32_t j = lp + 1; j <= rp; ++j) {
      if (tok_[j].kind == TokenKind::LParen) {
        j = tok_[j].match;
      } else if (tok_[j].kind == TokenKind::Comma || j == rp) {
        if (j == start) return Fail(j, "empty function argument");
        if (args.count == args.range.size()) {
          return Fail(name, fmt::format("too many arguments for {}()", Upper(Text(name))));
        }
        args.range[args.count++] = {start, j};
        start = j + 1;
      }
    }
  }
  i = rp + 1;
  return true;
}

bool StatementRewriter::EmitConvert(std::uint32_t name, const Args& args) {
  if (args.count != 2 && args.count != 3) return NeedArguments(name, args, 2);
  return ReadConversion(name, args.range[0], args.range[1], args.count == 3 ? args.range[2] : Range{0, 0});
}

bool StatementRewriter::EmitCast(std::uint32_t name) {
  // CAST(value AS type): the last AS at the call's own level splits them.
  const std::uint32_t lp = name + 1;
  const std::uint32_t rp = tok_[lp].match;
  std::uint32_t as = 0;
  for (std::uint32_t j = lp + 1; j < rp; ++j) {
    if (tok_[j].kind == TokenKind::LParen) j = tok_[j].match;
    else if (KeywordAt(j) == Keyword::As) as = j;
  }
  if (as == 0 || as == lp + 1 || as + 1 == rp) return Fail(name, "CAST without AS type");
  return ReadConversion(name, {as + 1, rp}, {lp + 1, as}, {0, 0});
}

bool StatementRewriter::ReadConversion(std::uint32_t at, Range type, Range value, Range style) {
  if (tok_[type.begin].kind != TokenKind::Word) return Fail(at, "conversion without a type name");
  ConversionTarget target;
  target.type_at = type.begin;
  target.type = Text(type.begin);
  if (type.end > type.begin + 1) {
    const std::uint32_t lp = type.begin + 1;
    if (tok_[lp].kind != TokenKind::LParen || tok_[lp].match + 1 != type.end) {
      return Fail(type.begin, fmt::format("conversion to '{}' is not supported", target.type));
    }
    for (std::uint32_t j = lp; j < type.end; ++j) target.parameters.append(Text(j));
    if (tok_[lp].match == lp + 4 && tok_[lp + 2].kind == TokenKind::Comma) target.scale = Text(lp + 3);
  }
  if (style.end > style.begin) {
    if (style.end != style.begin + 1 || tok_[style.begin].kind != TokenKind::Number) {
      return Fail(style.begin, "CONVERT style must be a number");
    }
    const std::string_view s = Text(style.begin);
    // Date styles both engines write; 0 is the default (no style).
    for (std::string_view known : {"23", "120", "20", "121", "21", "112", "111", "102", "108"})
      if (s == known) target.style = s;
    if (target.style.empty() && s != "0") return Fail(style.begin, fmt::format("CONVERT style {} is not supported", s));
  }
  return EmitConversion(target, value);
}

bool StatementRewriter::ReadObjectId(std::uint32_t at, const Args& args, std::string_view& name, char& type) {
  if (args.count == 0 || args.count > 2 || args.range[0].end != args.range[0].begin + 1 ||
      !IsString(args.range[0].begin)) {
    return Fail(at, "OBJECT_ID() is supported with a quoted name only");
  }
  type = 0;
  if (args.count == 2) {
    const std::string_view t = Text(args.range[1].begin);
    if (t == "'U'" || t == "'u'") type = 'U';
    else if (t == "'V'" || t == "'v'") type = 'V';
    else return Fail(args.range[1].begin, fmt::format("OBJECT_ID() with type {} is not supported", t));
  }
  name = StringBody(args.range[0].begin);
  name = name.substr(name.rfind('.') + 1);
  if (name.size() > 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
  if (name.find('\'') != std::string_view::npos) return Fail(at, "OBJECT_ID() of a quoted name");
  return true;
}

bool StatementRewriter::NeedArguments(std::uint32_t name, const Args& args, std::size_t count) {
  if (args.count == count) return true;
  return Fail(name, fmt::format("{}() takes {} argument(s) here", Upper(Text(name)), count));
}

bool StatementRewriter::EmitString(std::uint32_t& i) {
  if (tok_[i + 1].kind == TokenKind::Operator && Text(i + 1) == "+") {
    return Fail(i + 1, "string concatenation with '+' is not supported");
  }
  // SQLite text is Unicode already: N'...' is '...'.
  const std::string_view body = StringBody(i);
  const std::string_view quoted(body.data() - 1, body.size() + 2);
  if (parameterize_ && bindable_[i]) {
    AppendLiteral(i, quoted);  // the value, dates made canonical, is bound (ParameterValue)
  } else if (CanonicalLiteral(body, date_) && date_ != body) {
    date_.insert(date_.begin(), '\'');
    date_.push_back('\'');
    Append(date_);
  } else {
    Append(quoted);
  }
  ++i;
  return true;
}

bool StatementRewriter::EmitOperator(std::uint32_t& i) {
  const std::string_view op = Text(i);
  if (op == "+" && i > 0 && (tok_[i - 1].kind == TokenKind::String || tok_[i - 1].kind == TokenKind::NString)) {
    return Fail(i, "string concatenation with '+' is not supported");
  }
  if (op == "!<") {
    Append(">=");
  } else if (op == "!>") {
    Append("<=");
  } else if (op.size() == 2 && (op[1] == '=' || op[1] == '*') && op != "<=" && op != ">=" &&
             op != "!=" && op != "<>") {
    return Fail(i, fmt::format("operator {} is not supported", op));
  } else {
    Append(op);
  }
  ++i;
  return true;
}

// Locking hints mean nothing to SQLite; anything else in WITH (...) is refused.
bool StatementRewriter::SkipTableHint(std::uint32_t& i) {
  const std::uint32_t lp = i + 1;
  const std::uint32_t rp = tok_[lp].match;
  for (std::uint32_t j = lp + 1; j < rp; ++j) {
    if (tok_[j].kind == TokenKind::Comma) continue;
    if (tok_[j].kind != TokenKind::Word ||
        !OneOf(Text(j), {"NOLOCK", "READUNCOMMITTED", "READCOMMITTED", "ROWLOCK", "PAGLOCK",
                         "TABLOCK", "TABLOCKX", "UPDLOCK", "XLOCK", "HOLDLOCK", "NOWAIT",
                         "READPAST", "REPEATABLEREAD", "SERIALIZABLE"})) {
      return Fail(j, fmt::format("table hint '{}' is not supported", Text(j)));
    }
  }
  i = rp + 1;
  return true;
}

// ---------------------------------------------------------------------------
// Output helpers

void StatementRewriter::Append(std::string_view s) {
  // Dropped tokens (TOP n, dbo.) must not glue two words together.
  if (!s.empty() && !out_->empty() && IsNameChar(out_->back()) && IsNameChar(s.front())) {
    out_->push_back(' ');
  }
  out_->append(s);
}

// The text between token i-1 and token i, comments turned into a blank.
void StatementRewriter::CopyGap(std::uint32_t i) {
  const Token& prev = tok_[i - 1];
  const std::size_t from = prev.pos + prev.len;
  const std::size_t size = tok_[i].pos - from;
  if (!tok_[i].comment_before) {
    // Most gaps are empty or one blank.
    if (size == 1) out_->push_back(text_[from]);
    else if (size > 1) out_->append(text_.substr(from, size));
    return;
  }
  const std::string_view gap = text_.substr(from, size);
  for (std::size_t k = 0; k < gap.size();) {
    if (gap.compare(k, 2, "--") == 0) {
      while (k < gap.size() && gap[k] != '\n') ++k;
      out_->push_back(' ');
    } else if (gap.compare(k, 2, "/*") == 0) {
      int depth = 0;
      do {
        if (gap.compare(k, 2, "/*") == 0) {
          ++depth;
          k += 2;
        } else if (gap.compare(k, 2, "*/") == 0) {
          --depth;
          k += 2;
        } else {
          ++k;
        }
      } while (depth > 0 && k < gap.size());
      out_->push_back(' ');
    } else {
      out_->push_back(gap[k++]);
    }
  }
}

std::string_view StatementRewriter::StringBody(std::uint32_t i) const {
  const Token& t = tok_[i];
  const std::uint32_t skip = t.kind == TokenKind::NString ? 2 : 1;
  return text_.substr(t.pos + skip, t.len - skip - 1);
}

std::string StatementRewriter::Unquoted(std::uint32_t i) const {
  const std::string_view t = Text(i);
  if (tok_[i].kind != TokenKind::QuotedName) return std::string(t);
  const char close = t.front() == '[' ? ']' : '"';
  std::string name;
  name.reserve(t.size());
  for (std::size_t k = 1; k + 1 < t.size(); ++k) {
    name.push_back(t[k]);
    if (t[k] == close) ++k;  // doubled closer
  }
  return name;
}

bool StatementRewriter::Fail(std::uint32_t i, std::string_view message) {
  // Quoted names in the message may hold line breaks; the message is one line.
  error_ = fmt::format("{} at {}", message, DescribePosition(text_, tok_[i].pos));
  for (char& c : error_) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  }
  return false;
}

}  // namespace tovan::data::tsql
