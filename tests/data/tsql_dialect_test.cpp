// Edges of the T-SQL tokenizer, splitter and date literals that the record
// files do not reach well.
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/data/tsql/dates.h"
#include "platform/data/sqlite/tsql_dialect.h"
#include "platform/data/tsql/splitter.h"
#include "platform/data/tsql/tokenizer.h"

namespace tovan::data::sqlite {
namespace {

std::vector<std::string> Texts(std::string_view sql, const std::vector<Token>& tokens) {
  std::vector<std::string> out;
  for (const Token& t : tokens) {
    if (t.kind != TokenKind::End) out.emplace_back(TokenText(sql, t));
  }
  return out;
}

TEST(TsqlTokenizer, QuotesCommentsAndNames) {
  const std::string_view sql =
      "select N'it''s', [a]]b], \"q\"\"x\", #0408.FItemID, t.[select], @@rowcount -- select\r\n"
      "/* outer /* nested */ still comment */ 1.5e3, .5, a<>b, c!<d, 名称";
  std::vector<Token> tokens;
  ASSERT_TRUE(Tokenize(sql, tokens).ok);
  EXPECT_EQ(Texts(sql, tokens),
            (std::vector<std::string>{"select", "N'it''s'", ",", "[a]]b]", ",", "\"q\"\"x\"", ",",
                                      "#0408", ".", "FItemID", ",", "t", ".", "[select]", ",",
                                      "@@rowcount", "1.5e3", ",", ".5", ",", "a", "<>", "b", ",",
                                      "c", "!<", "d", ",", "名称"}));
  EXPECT_EQ(tokens[0].keyword, Keyword::Select);
  EXPECT_EQ(tokens[1].kind, TokenKind::NString);
  EXPECT_EQ(tokens[3].kind, TokenKind::QuotedName);
  EXPECT_EQ(tokens[15].kind, TokenKind::Variable);
  // The comments are gone from the stream and flagged on the next token.
  EXPECT_TRUE(tokens[16].comment_before);
  EXPECT_FALSE(tokens[17].comment_before);
}

// The backend finds a batch's literals with the light scan and binds them to
// a translation made from the tokens: the two must always agree.
TEST(TsqlTokenizer, TheLiteralScanFindsWhatTheTokenizerFinds) {
  for (std::string_view sql : {
           "select N'it''s', n'x', xN'y', [a'1]]b], \"q'\"\"2\", #t1.F2, @v3, @@rowcount -- it's 4\r\n"
           "/* '5 /* nested '6 */ 7' */ 1.5e3, .5, a.5, 8., 9e, 1e+, 12abc, 'a''''b', '', x-1, 0x1F",
           "update T_LS_RetailEntry set FBalAmount='91.1735345327916' where FEntryID='1'",
           "select 1 from t where a='--' and b='/*' and c=\"--\"",
       }) {
    std::vector<Token> tokens;
    ASSERT_TRUE(Tokenize(sql, tokens).ok) << sql;
    std::vector<Literal> tokenized, scanned;
    LiteralsOf(tokens, tokenized);
    ASSERT_TRUE(ScanLiterals(sql, scanned)) << sql;
    EXPECT_EQ(scanned, tokenized) << sql;
  }
  std::vector<Literal> scanned;
  for (std::string_view unterminated : {"select 'abc", "select [abc", "select 1 /* /* */", "select N'"})
    EXPECT_FALSE(ScanLiterals(unterminated, scanned)) << unterminated;
}

TEST(TsqlTokenizer, KeywordsOnlyWhereTheyCanBeKeywords) {
  const std::string_view sql = "select a.[from], b.update, FROMX from t";
  std::vector<Token> tokens;
  ASSERT_TRUE(Tokenize(sql, tokens).ok);
  EXPECT_EQ(tokens[3].keyword, Keyword::None);   // [from]
  EXPECT_EQ(tokens[7].keyword, Keyword::None);   // b.update: a column
  EXPECT_EQ(tokens[9].keyword, Keyword::None);   // FROMX
  EXPECT_EQ(tokens[10].keyword, Keyword::From);
}

TEST(TsqlTokenizer, ParenthesesAreMatchedAndErrorsLocated) {
  const std::string_view sql = "f((a), (b))";
  std::vector<Token> tokens;
  ASSERT_TRUE(Tokenize(sql, tokens).ok);
  EXPECT_EQ(tokens[1].match, 9u);
  EXPECT_EQ(tokens[9].match, 1u);
  EXPECT_EQ(tokens[2].match, 4u);

  auto error = [&](std::string_view text) {
    const TokenizeResult r = Tokenize(text, tokens);
    EXPECT_FALSE(r.ok) << text;
    return r.error;
  };
  EXPECT_EQ(error("select 1\r\nwhere x='abc"), "unterminated string literal at line 2, column 9");
  EXPECT_EQ(error("select (1"), "unbalanced '(' at line 1, column 8");
  EXPECT_EQ(error("select [a"), "unterminated quoted name at line 1, column 8");
  EXPECT_EQ(error("select 1 /* a /* b */"), "unterminated comment at line 1, column 10");
  EXPECT_EQ(error("select $5"), "unexpected character '$' at line 1, column 8");
}

TEST(TsqlSplitter, IfBodiesAndBlocks) {
  const std::string_view sql =
      "if 1=1 if 2=2 begin select 1 select 2 end select 3 "
      "begin delete from t update t set a=1 end";
  std::vector<Token> tokens;
  ASSERT_TRUE(Tokenize(sql, tokens).ok);
  const SplitResult split = SplitBatch(sql, tokens);
  ASSERT_TRUE(split.ok) << split.error;
  // IF (IF [select 1, select 2]), select 3, then the block's two statements.
  ASSERT_EQ(split.statements.size(), 4u);
  const SplitStatement& outer = split.statements[0];
  ASSERT_EQ(outer.kind, SplitStatement::Kind::If);
  ASSERT_EQ(outer.body.size(), 1u);
  EXPECT_EQ(outer.body[0].kind, SplitStatement::Kind::If);
  EXPECT_EQ(outer.body[0].body.size(), 2u);
  EXPECT_EQ(TokenText(sql, tokens[split.statements[1].begin]), "select");
  EXPECT_EQ(split.statements[1].end - split.statements[1].begin, 2u);
  EXPECT_EQ(TokenText(sql, tokens[split.statements[2].begin]), "delete");
  EXPECT_EQ(TokenText(sql, tokens[split.statements[3].begin]), "update");
}

TEST(TsqlDates, CanonicalForms) {
  std::string out;
  auto canonical = [&](std::string_view s) { return CanonicalDateText(s, out) ? out : "-"; };
  EXPECT_EQ(canonical("2024/3/1"), "2024-03-01");
  EXPECT_EQ(canonical("2024-03-01 00:00:00.000"), "2024-03-01");
  EXPECT_EQ(canonical("2024-3-5T7:05"), "2024-03-05 07:05:00");
  EXPECT_EQ(canonical("2024-02-29"), "2024-02-29");
  EXPECT_EQ(canonical("2023-02-29"), "-");
  EXPECT_EQ(canonical("1900-02-29"), "-");
  EXPECT_EQ(canonical("2000-02-29"), "2000-02-29");
  EXPECT_EQ(canonical("2024-03/01"), "-");        // mixed separators
  EXPECT_EQ(canonical("2024-03-01 10:00:00.5"), "-");
  EXPECT_EQ(canonical("2024-03-01x"), "-");
  EXPECT_EQ(canonical("12024-03-01"), "-");
}

TEST(TsqlDialect, OriginalTextCommentsAndLineEnds) {
  // LF-only line ends split the same as CR LF; comments never swallow LIMIT.
  const Translation t = TranslateBatch(
      "  select top 3 FID -- the ids\nfrom t_LS_Retail /* all */\nset nocount off  ");
  ASSERT_TRUE(t.ok) << t.error;
  ASSERT_EQ(t.statements.size(), 2u);
  EXPECT_EQ(t.statements[0].original, "select top 3 FID -- the ids\nfrom t_LS_Retail");
  EXPECT_EQ(t.statements[0].sql, "select FID  \nfrom t_LS_Retail LIMIT 3");
  EXPECT_EQ(t.statements[1].kind, TranslatedStatement::Kind::Skip);
  EXPECT_EQ(t.statements[1].original, "set nocount off");

  const Translation empty = TranslateBatch("-- nothing to do\r\n");
  EXPECT_TRUE(empty.ok);
  EXPECT_TRUE(empty.statements.empty());
}

TEST(TsqlDialect, ConcurrentTranslationsAgree) {
  const std::string batch =
      "if object_id('tempdb..#0408') is not null drop table #0408\r\n"
      "SELECT * INTO #0408 FROM (select top 5 FItemID from T_LS_RetailEntry) tmp\r\n"
      "update #0408 set FItemID=isnull(FItemID,0)";
  const Translation expected = TranslateBatch(batch);
  ASSERT_TRUE(expected.ok);
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (int n = 0; n < 4; ++n) {
    threads.emplace_back([&, n] {
      for (int k = 0; k < 500; ++k) {
        const Translation t = TranslateBatch(batch);
        for (std::size_t s = 0; s < t.statements.size(); ++s) {
          if (t.statements[s].sql != expected.statements[s].sql) ++mismatches[n];
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace tovan::data::sqlite
