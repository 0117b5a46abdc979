#include "platform/data/sqlite/tsql_rewriter.h"

#include <fmt/format.h>

#include "platform/data/tsql/dates.h"

namespace tovan::data::sqlite {

using namespace tovan::data::tsql;

namespace {

// The host keeps local time; dates are text in the canonical form.
constexpr std::string_view kNow = "strftime('%Y-%m-%d %H:%M:%S','now','localtime')";
constexpr std::string_view kUtcNow = "strftime('%Y-%m-%d %H:%M:%S','now')";

enum Function : int {
  kRename,       // same meaning under another SQLite name
  kLen, kLeft, kRight, kCharIndex, kGetDate, kGetUtcDate, kYear, kMonth, kDay,
  kObjectId, kConvert, kCast,
};

// Functions not listed (abs, sum, replace, upper, round, coalesce, ...)
// mean the same in both dialects and pass unchanged, but for those no
// backend translates (tsql::IsUntranslatedFunction).
constexpr tsql::FunctionEntry kFunctions[] = {
    {"ASCII", kRename, "unicode"},
    {"CAST", kCast, {}},
    {"CHARINDEX", kCharIndex, {}},
    {"CONVERT", kConvert, {}},
    {"COUNT_BIG", kRename, "count"},
    {"DAY", kDay, {}},
    {"GETDATE", kGetDate, {}},
    {"GETUTCDATE", kGetUtcDate, {}},
    {"ISNULL", kRename, "ifnull"},
    {"LEFT", kLeft, {}},
    {"LEN", kLen, {}},
    {"MONTH", kMonth, {}},
    {"OBJECT_ID", kObjectId, {}},
    {"RIGHT", kRight, {}},
    {"SUBSTRING", kRename, "substr"},
    {"SYSDATETIME", kGetDate, {}},
    {"YEAR", kYear, {}},
};

static_assert(tsql::IsSortedTable(kFunctions));

}  // namespace

bool SqliteRewriter::EmitFunction(std::uint32_t& i, bool& handled) {
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

std::string_view SqliteRewriter::CurrentTimestamp() const { return kNow; }

bool SqliteRewriter::CanonicalLiteral(std::string_view body, std::string& out) const {
  return CanonicalDateText(body, out);
}

bool SqliteRewriter::EmitCall(std::uint32_t& i, int function) {
  const std::uint32_t name = i;
  // The functions rewritten here take at most three arguments.
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
    case kLeft:
      return need(2) && put("substr(") && arg(0) && put(",1,") && arg(1) && put(")");
    case kRight:  // substr(s,-n) would give all of s for n = 0
      return need(2) && put("substr(") && arg(0) && put(",max(length(") && arg(0) && put(")-(") &&
             arg(1) && put(")+1,1))");
    case kCharIndex:
      if (args.count == 3) return Fail(name, "CHARINDEX with a start position is not supported");
      return need(2) && put("instr(") && arg(1) && put(",") && arg(0) && put(")");
    case kGetDate:
      return need(0) && put(kNow);
    case kGetUtcDate:
      return need(0) && put(kUtcNow);
    case kYear:
    case kMonth:
    case kDay:
      return need(1) &&
             put(function == kYear    ? "CAST(strftime('%Y',"
                 : function == kMonth ? "CAST(strftime('%m',"
                                      : "CAST(strftime('%d',") &&
             arg(0) && put(") AS INTEGER)");
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

// Dates are canonical text, so conversions to and from dates are text work.
bool SqliteRewriter::EmitConversion(const ConversionTarget& target, Range value) {
  const std::string_view t = target.type;
  const std::string_view scale = target.scale;
  const std::string_view s = target.style;
  // The strftime pattern of a text conversion with a date style; style 23 is the date's first ten characters.
  const bool substr10 = s == "23";
  const std::string_view pattern = s == "120" || s == "20" ? "%Y-%m-%d %H:%M:%S"
                                   : s == "121" || s == "21" ? "%Y-%m-%d %H:%M:%f"
                                   : s == "112"              ? "%Y%m%d"
                                   : s == "111"              ? "%Y/%m/%d"
                                   : s == "102"              ? "%Y.%m.%d"
                                   : s == "108"              ? "%H:%M:%S"
                                                             : "";
  auto value_then = [&](std::string_view before, std::string_view after) {
    Append(before);
    if (!Emit(value.begin, value.end)) return false;
    Append(after);
    return true;
  };

  if (OneOf(t, {"VARCHAR", "NVARCHAR", "CHAR", "NCHAR", "TEXT", "NTEXT", "SYSNAME"})) {
    if (substr10) return value_then("substr(", ",1,10)");
    if (!pattern.empty()) {
      Append("strftime('");
      Append(pattern);
      return value_then("',", ")");
    }
    return value_then("CAST(", " AS TEXT)");
  }
  if (OneOf(t, {"INT", "BIGINT", "SMALLINT", "TINYINT", "BIT"})) {
    return value_then("CAST(", " AS INTEGER)");
  }
  if (OneOf(t, {"DATETIME", "SMALLDATETIME", "DATETIME2"})) return value_then("(", ")");
  if (WordIs(t, "DATE")) return value_then("substr(", ",1,10)");
  if (OneOf(t, {"DECIMAL", "NUMERIC", "MONEY", "SMALLMONEY", "FLOAT", "REAL"})) {
    if (!scale.empty()) {
      if (!value_then("round(CAST(", " AS REAL),")) return false;
      Append(scale);
      Append(")");
      return true;
    }
    return value_then("CAST(", " AS REAL)");
  }
  return Fail(target.type_at, fmt::format("conversion to '{}' is not supported", t));
}

// object_id('name') is only ever tested for NULL: give 1 or NULL.
bool SqliteRewriter::EmitObjectId(std::uint32_t at, const Args& args) {
  std::string_view name;
  char kind = 0;
  if (!ReadObjectId(at, args, name, kind)) return false;
  const std::string_view type = kind == 'V' ? "view" : "table";
  Append(name.starts_with('#') ? "(SELECT 1 FROM temp.sqlite_master WHERE type='"
                               : "(SELECT 1 FROM main.sqlite_master WHERE type='");
  Append(type);
  Append("' AND name='");
  Append(name);
  Append("' COLLATE NOCASE)");
  return true;
}

void SqliteRewriter::AppendName(std::string_view name) { Append(QuoteName(name)); }

}  // namespace tovan::data::sqlite
