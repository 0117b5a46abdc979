#include "platform/data/postgresql/tsql_rewriter.h"

#include <fmt/format.h>

#include "platform/automation/text.h"

namespace tovan::data::postgresql {

using namespace tovan::data::tsql;

namespace {

// The host keeps local time, to the second, as datetime does.
constexpr std::string_view kNow = "LOCALTIMESTAMP(0)";

enum Function : int {
  kRename,
  kLen, kCharIndex, kGetDate, kGetUtcDate, kYear, kMonth, kDay, kObjectId, kConvert, kCast,
};

// Functions not listed (left, right, replace, substring, abs, sum, upper,
// round, coalesce, ...) mean the same in both dialects and pass unchanged.
constexpr FunctionEntry kFunctions[] = {
    {"CAST", kCast, {}},
    {"CHARINDEX", kCharIndex, {}},
    {"CONVERT", kConvert, {}},
    {"COUNT_BIG", kRename, "count"},
    {"DAY", kDay, {}},
    {"GETDATE", kGetDate, {}},
    {"GETUTCDATE", kGetUtcDate, {}},
    {"ISNULL", kRename, "coalesce"},
    {"LEN", kLen, {}},
    {"MONTH", kMonth, {}},
    {"OBJECT_ID", kObjectId, {}},
    {"SYSDATETIME", kGetDate, {}},
    {"YEAR", kYear, {}},
};
static_assert(IsSortedTable(kFunctions));

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = automation::AsciiLower(c);
  return out;
}

}  // namespace

bool PostgresRewriter::EmitFunction(std::uint32_t& i, bool& handled) {
  const FunctionEntry* f = FindFunction(kFunctions, Text(i));
  handled = f != nullptr;
  if (f == nullptr) return true;
  if (f->function == kRename) {
    Append(f->rename);
    ++i;
    return true;
  }
  return EmitCall(i, f->function);
}

void PostgresRewriter::EmitPlainName(std::uint32_t i) {
  const std::string_view word = Text(i);
  if (const std::string* known = catalog_.Find(word)) {
    Append(QuoteIdentifier(*known));
  } else {
    Append(word);
  }
}

void PostgresRewriter::AppendName(std::string_view name) {
  if (name.starts_with('#')) {
    // Temp names are case-insensitive too; one spelling for all of them.
    Append(QuoteIdentifier(Lower(name)));
  } else if (const std::string* known = catalog_.Find(name)) {
    Append(QuoteIdentifier(*known));
  } else {
    Append(QuoteIdentifier(name));
  }
}

std::string_view PostgresRewriter::CurrentTimestamp() const { return kNow; }

void PostgresRewriter::AppendPlaceholder() {
  // Numbered in the order they appear: each placeholder binds one literal.
  Append("$" + std::to_string(BoundSoFar() + 1));
}

bool PostgresRewriter::EmitCall(std::uint32_t& i, int function) {
  const std::uint32_t name = i;
  Args args;
  if (!SplitArguments(i, args)) return false;
  auto need = [&](std::size_t count) { return NeedArguments(name, args, count); };
  auto arg = [&](std::size_t k) { return Emit(args.range[k].begin, args.range[k].end); };
  auto put = [&](std::string_view s) {
    Append(s);
    return true;
  };

  switch (function) {
    case kLen:  // LEN leaves trailing blanks out
      return need(1) && put("length(rtrim(") && arg(0) && put("))");
    case kCharIndex:
      if (args.count == 3) return Fail(name, "CHARINDEX with a start position is not supported");
      return need(2) && put("strpos(") && arg(1) && put(",") && arg(0) && put(")");
    case kGetDate:
      return need(0) && put(kNow);
    case kGetUtcDate:
      return need(0) && put("CAST(now() AT TIME ZONE 'UTC' AS timestamp(0))");
    case kYear:
    case kMonth:
    case kDay:
      return need(1) &&
             put(function == kYear    ? "CAST(extract(year FROM CAST("
                 : function == kMonth ? "CAST(extract(month FROM CAST("
                                      : "CAST(extract(day FROM CAST(") &&
             arg(0) && put(" AS timestamp)) AS integer)");
    case kObjectId:
      return EmitObjectId(name, args);
    case kConvert:
      return EmitConvert(name, args);
    case kCast:
      return EmitCast(name);
    default:
      return Fail(name, fmt::format("function {}() is not supported", Upper(Text(name))));
  }
}

bool PostgresRewriter::EmitConversion(std::uint32_t at, Range type, Range value, Range style) {
  if (tok_[type.begin].kind != TokenKind::Word) return Fail(at, "conversion without a type name");
  const std::string_view t = Text(type.begin);
  // The type's parameters as written: varchar(20), decimal(18,2).
  std::string parameters;
  if (type.end > type.begin + 1) {
    const std::uint32_t lp = type.begin + 1;
    if (tok_[lp].kind != TokenKind::LParen || tok_[lp].match + 1 != type.end) {
      return Fail(type.begin, fmt::format("conversion to '{}' is not supported", t));
    }
    for (std::uint32_t j = lp; j < type.end; ++j) parameters.append(Text(j));
  }
  std::string_view pattern;  // to_char pattern of a text conversion with a date style
  if (style.end > style.begin) {
    if (style.end != style.begin + 1 || tok_[style.begin].kind != TokenKind::Number) {
      return Fail(style.begin, "CONVERT style must be a number");
    }
    const std::string_view s = Text(style.begin);
    if (s == "23") pattern = "YYYY-MM-DD";
    else if (s == "120" || s == "20") pattern = "YYYY-MM-DD HH24:MI:SS";
    else if (s == "121" || s == "21") pattern = "YYYY-MM-DD HH24:MI:SS.MS";
    else if (s == "112") pattern = "YYYYMMDD";
    else if (s == "111") pattern = "YYYY/MM/DD";
    else if (s == "102") pattern = "YYYY.MM.DD";
    else if (s == "108") pattern = "HH24:MI:SS";
    else if (s != "0") return Fail(style.begin, fmt::format("CONVERT style {} is not supported", s));
  }
  auto value_then = [&](std::string_view before, std::string_view after) {
    Append(before);
    if (!Emit(value.begin, value.end)) return false;
    Append(after);
    return true;
  };
  auto cast_to = [&](std::string_view pg_type) {
    Append("CAST(");
    if (!Emit(value.begin, value.end)) return false;
    Append(" AS ");
    Append(pg_type);
    Append(")");
    return true;
  };

  if (OneOf(t, {"VARCHAR", "NVARCHAR", "CHAR", "NCHAR", "TEXT", "NTEXT", "SYSNAME"})) {
    if (!pattern.empty()) {
      // A style formats a date; the value may be a date text as well as a datetime.
      if (!value_then("to_char(CAST(", " AS timestamp),'")) return false;
      Append(pattern);
      Append("')");
      return true;
    }
    return cast_to(parameters.empty() ? "text" : "varchar" + parameters);
  }
  // SQL Server cuts the fraction off where PostgreSQL rounds: convert(int, 12.9) is 12.
  auto whole_number = [&](std::string_view pg_type) {
    if (!value_then("CAST(trunc(CAST(", " AS numeric)) AS ")) return false;
    Append(pg_type);
    Append(")");
    return true;
  };
  if (OneOf(t, {"INT", "INTEGER"})) return whole_number("integer");
  if (WordIs(t, "BIGINT")) return whole_number("bigint");
  if (OneOf(t, {"SMALLINT", "TINYINT"})) return whole_number("smallint");
  if (WordIs(t, "BIT")) return cast_to("smallint");
  if (OneOf(t, {"DATETIME", "SMALLDATETIME", "DATETIME2"})) return cast_to("timestamp(0)");
  if (WordIs(t, "DATE")) return cast_to("date");
  if (OneOf(t, {"DECIMAL", "NUMERIC"})) return cast_to("numeric" + parameters);
  if (OneOf(t, {"MONEY", "SMALLMONEY"})) return cast_to("numeric(19,4)");
  if (OneOf(t, {"FLOAT", "REAL"})) return cast_to("double precision");
  return Fail(type.begin, fmt::format("conversion to '{}' is not supported", t));
}

// object_id('name') is only ever tested for NULL: give 1 or NULL.
bool PostgresRewriter::EmitObjectId(std::uint32_t at, const Args& args) {
  if (args.count == 0 || args.count > 2 || args.range[0].end != args.range[0].begin + 1 ||
      !IsString(args.range[0].begin)) {
    return Fail(at, "OBJECT_ID() is supported with a quoted name only");
  }
  std::string_view kinds = "'r','p','v'";
  if (args.count == 2) {
    const std::string_view t = Text(args.range[1].begin);
    if (t == "'U'" || t == "'u'") kinds = "'r','p'";
    else if (t == "'V'" || t == "'v'") kinds = "'v'";
    else return Fail(args.range[1].begin, fmt::format("OBJECT_ID() with type {} is not supported", t));
  }
  std::string_view name = StringBody(args.range[0].begin);
  name = name.substr(name.rfind('.') + 1);
  if (name.size() > 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
  if (name.find('\'') != std::string_view::npos) return Fail(at, "OBJECT_ID() of a quoted name");
  // Visible tables only: a #temp table of this session, never another's.
  Append("(SELECT 1 FROM pg_catalog.pg_class c WHERE lower(c.relname)='");
  Append(Lower(name));
  Append(name.starts_with('#') ? "' AND c.relpersistence='t' AND c.relkind IN (" : "' AND c.relkind IN (");
  Append(kinds);
  Append(") AND pg_catalog.pg_table_is_visible(c.oid) LIMIT 1)");
  return true;
}

}  // namespace tovan::data::postgresql
