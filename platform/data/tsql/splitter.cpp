#include "platform/data/tsql/splitter.h"

#include <fmt/format.h>

namespace tovan::data::tsql {
namespace {

// Keywords that can only begin a statement (T-SQL reserves them all, so they
// never appear as bare column names).
bool IsStarter(Keyword k) {
  switch (k) {
    case Keyword::Select: case Keyword::Insert: case Keyword::Update: case Keyword::Delete:
    case Keyword::If: case Keyword::Else: case Keyword::Set: case Keyword::Drop:
    case Keyword::Create: case Keyword::Alter: case Keyword::Declare: case Keyword::Exec:
    case Keyword::Execute: case Keyword::Truncate: case Keyword::Begin: case Keyword::End:
    case Keyword::Commit: case Keyword::Rollback: case Keyword::Save: case Keyword::Print:
    case Keyword::While: case Keyword::Return: case Keyword::Use: case Keyword::Raiserror:
    case Keyword::Goto: case Keyword::Merge: case Keyword::Grant: case Keyword::Revoke:
    case Keyword::Deny: case Keyword::Waitfor: case Keyword::Open: case Keyword::Close:
    case Keyword::Fetch: case Keyword::Deallocate:
      return true;
    default:
      return false;
  }
}

class Splitter {
 public:
  Splitter(std::string_view text, const std::vector<Token>& tokens) : text_(text), tok_(tokens) {}

  bool ParseList(std::uint32_t& i, bool in_block, std::vector<SplitStatement>& out) {
    const std::uint32_t block_start = i;
    for (;;) {
      const Token& t = tok_[i];
      if (t.kind == TokenKind::End) {
        if (in_block) return Fail(block_start, "BEGIN without END");
        return true;
      }
      if (t.kind == TokenKind::Semicolon) {
        ++i;
        continue;
      }
      if (KeywordAt(i) == Keyword::End) {
        if (in_block) return true;
        return Fail(i, "END without BEGIN");
      }
      if (!ParseOne(i, out)) return false;
    }
  }

  const std::string& error() const { return error_; }

 private:
  Keyword KeywordAt(std::uint32_t i) const {
    return tok_[i].kind == TokenKind::Word ? tok_[i].keyword : Keyword::None;
  }

  bool Fail(std::uint32_t i, std::string_view message) {
    error_ = fmt::format("{} at {}", message, DescribePosition(text_, tok_[i].pos));
    return false;
  }

  bool IsBlockBegin(std::uint32_t i) const {
    if (KeywordAt(i) != Keyword::Begin) return false;
    const Keyword next = KeywordAt(i + 1);
    return next != Keyword::Tran && next != Keyword::Transaction && next != Keyword::Distributed;
  }

  bool ParseOne(std::uint32_t& i, std::vector<SplitStatement>& out) {
    switch (KeywordAt(i)) {
      case Keyword::If:
        return ParseIf(i, out);
      case Keyword::Else:
        return Fail(i, "ELSE without IF");
      default:
        break;
    }
    if (IsBlockBegin(i)) return ParseBlock(i, out);
    SplitStatement st;
    st.begin = i;
    st.end = Scan(i + 1, KeywordAt(i));
    i = st.end;
    out.push_back(std::move(st));
    return true;
  }

  // BEGIN ... END outside IF only groups statements: its statements join `out`.
  bool ParseBlock(std::uint32_t& i, std::vector<SplitStatement>& out) {
    const Token& next = tok_[i + 1];
    if (next.kind == TokenKind::Word) {
      const std::string_view word = TokenText(text_, next);
      if (WordIs(word, "TRY") || WordIs(word, "CATCH")) {
        return Fail(i, "BEGIN TRY/CATCH is not supported");
      }
    }
    ++i;
    if (!ParseList(i, true, out)) return false;
    ++i;  // the END
    return true;
  }

  bool ParseIf(std::uint32_t& i, std::vector<SplitStatement>& out) {
    SplitStatement st;
    st.kind = SplitStatement::Kind::If;
    st.begin = i;
    st.cond_begin = i + 1;
    st.cond_end = Scan(i + 1, Keyword::If);
    if (st.cond_end == st.cond_begin) return Fail(i, "IF without a condition");
    std::uint32_t j = st.cond_end;
    const Token& t = tok_[j];
    if (t.kind == TokenKind::End || t.kind == TokenKind::Semicolon ||
        KeywordAt(j) == Keyword::End || KeywordAt(j) == Keyword::Else) {
      return Fail(i, "IF without a statement to run");
    }
    if (IsBlockBegin(j)) {
      if (!ParseBlock(j, st.body)) return false;
    } else if (!ParseOne(j, st.body)) {
      return false;
    }
    st.end = j;
    std::uint32_t k = j;
    while (tok_[k].kind == TokenKind::Semicolon) ++k;
    if (KeywordAt(k) == Keyword::Else) return Fail(k, "IF ... ELSE is not supported");
    i = j;
    out.push_back(std::move(st));
    return true;
  }

  // The end of the statement led by `lead` whose remaining tokens start at `j`.
  std::uint32_t Scan(std::uint32_t j, Keyword lead) const {
    bool set_seen = false;     // UPDATE: its own SET
    bool insert_body = false;  // INSERT: VALUES, SELECT or EXEC seen
    bool cte_main = false;     // WITH: the statement the CTEs serve seen
    int case_depth = 0;
    Keyword prev = lead;
    for (;;) {
      const Token& t = tok_[j];
      if (t.kind == TokenKind::End || t.kind == TokenKind::Semicolon) return j;
      if (t.kind == TokenKind::LParen) {
        j = t.match + 1;
        prev = Keyword::None;
        continue;
      }
      const Keyword k = KeywordAt(j);
      switch (k) {
        case Keyword::Case:
          ++case_depth;
          break;
        case Keyword::End:
          if (case_depth == 0) return j;
          --case_depth;
          break;
        case Keyword::Else:
          if (case_depth == 0) return j;
          break;
        case Keyword::Values:
          insert_body = true;
          break;
        case Keyword::Select:
          if (prev == Keyword::Union || prev == Keyword::All || prev == Keyword::Except ||
              prev == Keyword::Intersect || prev == Keyword::As) {
            break;
          }
          if (lead == Keyword::Insert && !insert_body) {
            insert_body = true;
            break;
          }
          if (lead == Keyword::With && !cte_main) {
            cte_main = true;
            break;
          }
          return j;
        case Keyword::Insert: case Keyword::Update: case Keyword::Delete:
          if (lead == Keyword::With && !cte_main) {
            cte_main = true;
            break;
          }
          return j;
        case Keyword::Set:
          if (lead == Keyword::Update && !set_seen) {
            set_seen = true;
            break;
          }
          return j;
        case Keyword::Exec: case Keyword::Execute:
          if (lead == Keyword::Insert && !insert_body) {
            insert_body = true;
            break;
          }
          return j;
        case Keyword::If:
          // DROP TABLE IF EXISTS ...
          if (prev == Keyword::Table || prev == Keyword::View || prev == Keyword::Index ||
              prev == Keyword::Proc || prev == Keyword::Procedure ||
              prev == Keyword::Function || prev == Keyword::Trigger) {
            break;
          }
          return j;
        default:
          if (IsStarter(k)) return j;
          break;
      }
      prev = k;
      ++j;
    }
  }

  std::string_view text_;
  const std::vector<Token>& tok_;
  std::string error_;
};

}  // namespace

SplitResult SplitBatch(std::string_view text, const std::vector<Token>& tokens) {
  SplitResult result;
  Splitter splitter(text, tokens);
  std::uint32_t i = 0;
  if (!splitter.ParseList(i, false, result.statements)) {
    result.ok = false;
    result.error = splitter.error();
    result.statements.clear();
  }
  return result;
}

}  // namespace tovan::data::tsql
