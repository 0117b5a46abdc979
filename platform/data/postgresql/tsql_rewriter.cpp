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

bool PostgresRewriter::EmitConversion(const ConversionTarget& target, Range value) {
  const std::string_view t = target.type;
  const std::string& parameters = target.parameters;
  const std::string_view s = target.style;
  // The to_char pattern of a text conversion with a date style.
  const std::string_view pattern = s == "23"                 ? "YYYY-MM-DD"
                                   : s == "120" || s == "20" ? "YYYY-MM-DD HH24:MI:SS"
                                   : s == "121" || s == "21" ? "YYYY-MM-DD HH24:MI:SS.MS"
                                   : s == "112"              ? "YYYYMMDD"
                                   : s == "111"              ? "YYYY/MM/DD"
                                   : s == "102"              ? "YYYY.MM.DD"
                                   : s == "108"              ? "HH24:MI:SS"
                                                             : "";
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
  return Fail(target.type_at, fmt::format("conversion to '{}' is not supported", t));
}

// object_id('name') is only ever tested for NULL: give 1 or NULL.
bool PostgresRewriter::EmitObjectId(std::uint32_t at, const Args& args) {
  std::string_view name;
  char type = 0;
  if (!ReadObjectId(at, args, name, type)) return false;
  const std::string_view kinds = type == 'U' ? "'r','p'" : type == 'V' ? "'v'" : "'r','p','v'";
  // Visible tables only: a #temp table of this session, never another's.
  Append("(SELECT 1 FROM pg_catalog.pg_class c WHERE lower(c.relname)='");
  Append(Lower(name));
  Append(name.starts_with('#') ? "' AND c.relpersistence='t' AND c.relkind IN (" : "' AND c.relkind IN (");
  Append(kinds);
  Append(") AND pg_catalog.pg_table_is_visible(c.oid) LIMIT 1)");
  return true;
}

}  // namespace tovan::data::postgresql
