#include "bench/raw_baseline.h"

#include "numbering/round_to.h"
#include "platform/data/sqlite/backend.h"

#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

namespace tovan::bench::raw {

namespace {

constexpr int kDailyBillClass = 1090001;
constexpr int kStockBillClass = 1030002;
constexpr int kCheckBillClass = 1050003;
constexpr int kUserId = 1;
const char* const kExplanation = "POS零售单日结生成";
const char* const kBalDate = "2026-12-04";

// ---- The SQLite C API, thinly wrapped ----

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &st_, nullptr) != SQLITE_OK) Fail();
  }
  ~Statement() { sqlite3_finalize(st_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int i, int64_t v) { return Check(sqlite3_bind_int64(st_, i, v)); }
  Statement& Bind(int i, double v) { return Check(sqlite3_bind_double(st_, i, v)); }
  Statement& Bind(int i, std::string_view v) {
    return Check(sqlite3_bind_text(st_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT));
  }
  // True while there is a row; resets itself at the end.
  bool Step() {
    int rc = sqlite3_step(st_);
    if (rc == SQLITE_ROW) return true;
    sqlite3_reset(st_);
    if (rc != SQLITE_DONE) Fail();
    return false;
  }
  void Run() {
    while (Step()) {
    }
  }
  void Reset() { sqlite3_reset(st_); }
  bool Null(int c) const { return sqlite3_column_type(st_, c) == SQLITE_NULL; }
  int Columns() const { return sqlite3_column_count(st_); }
  int64_t Int(int c) const { return sqlite3_column_int64(st_, c); }
  double Real(int c) const { return sqlite3_column_double(st_, c); }
  std::string Text(int c) const {
    const unsigned char* t = sqlite3_column_text(st_, c);
    return t ? std::string(reinterpret_cast<const char*>(t), static_cast<size_t>(sqlite3_column_bytes(st_, c))) : "";
  }
  // The value as the component's records hold it: integers and reals in
  // their plain text, NULL as the empty text.
  std::string Packaged(int c) const;

 private:
  Statement& Check(int rc) {
    if (rc != SQLITE_OK) Fail();
    return *this;
  }
  [[noreturn]] void Fail() const { throw std::runtime_error(sqlite3_errmsg(db_)); }
  sqlite3* db_;
  sqlite3_stmt* st_ = nullptr;
};

// One connection, set up as the data layer sets up its own, in one
// transaction that commits when Commit() is called and rolls back otherwise.
class Database final : public Connection {
 public:
  explicit Database(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
      throw std::runtime_error("cannot open " + path);
    sqlite3_busy_timeout(db_, 60000);
    Exec((std::string(data::sqlite::kConnectionSettings) + " BEGIN IMMEDIATE").c_str());
  }
  ~Database() override {
    if (sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db_);
  }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  void Exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
      std::string message = error ? error : "exec failed";
      sqlite3_free(error);
      throw std::runtime_error(message);
    }
  }
  void Commit() { Exec("COMMIT"); }
  sqlite3* handle() { return db_; }
  int64_t LastRowId() { return sqlite3_last_insert_rowid(db_); }

  // The selection, in its order, as temp.sel(pos, FID).
  void LoadSelection(const std::string& ids) {
    Exec("CREATE TEMP TABLE IF NOT EXISTS sel (pos INTEGER PRIMARY KEY, FID INTEGER NOT NULL)");
    Exec("DELETE FROM temp.sel");
    Statement insert(db_, "INSERT INTO temp.sel (pos, FID) VALUES (?1, ?2)");
    int64_t pos = 0;
    for (size_t at = 0; at <= ids.size();) {
      size_t comma = ids.find(',', at);
      if (comma == std::string::npos) comma = ids.size();
      int64_t id = 0;
      std::from_chars(ids.data() + at, ids.data() + comma, id);
      insert.Bind(1, pos++).Bind(2, id).Run();
      at = comma + 1;
    }
  }

 private:
  sqlite3* db_ = nullptr;
};

// ---- Numbers as the component writes them ----

// At most 15 significant digits, no trailing zeros; plain decimals from 1E-4
// to below 1E15, mantissa and exponent ("1.5E-07") outside.
std::string VbText(double value) {
  if (value == 0) return "0";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", value);
  char* e = std::strchr(buf, 'e');
  if (e == nullptr) return buf;
  int exponent = std::atoi(e + 1);
  char tail[16];
  std::snprintf(tail, sizeof tail, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
  return std::string(buf, e) + tail;
}

double Parse(const std::string& text) { return text.empty() ? 0 : std::strtod(text.c_str(), nullptr); }
int64_t Id(const char* text) { return std::strtoll(text, nullptr, 10); }

std::string Statement::Packaged(int c) const {
  switch (sqlite3_column_type(st_, c)) {
    case SQLITE_NULL: return "";
    case SQLITE_INTEGER: return std::to_string(Int(c));
    case SQLITE_FLOAT: return VbText(Real(c));
    default: return Text(c);
  }
}

// The component's own rounding: the baseline must write the same amounts.
double RoundTo(double value, int decimals) { return numbering::RoundTo(value, static_cast<int16_t>(decimals)); }

std::string Today(const char* format) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buf[16];
  std::strftime(buf, sizeof buf, format, &local);
  return buf;
}

// ---- Host bookkeeping, as the host's procedures do it ----

std::string NextBillNo(Database& db, const char* bill_type) {
  Statement rule(db.handle(),
                 "UPDATE t_BillCodeRule SET FCurNo = FCurNo + 1 WHERE FBillType = ?1 RETURNING FPrefix, FDigits, FCurNo");
  rule.Bind(1, std::string_view(bill_type));
  if (!rule.Step()) throw std::runtime_error(std::string("no bill code rule ") + bill_type);
  std::string number = std::to_string(rule.Int(2));
  size_t digits = static_cast<size_t>(rule.Int(1));
  std::string prefix = rule.Text(0);
  rule.Reset();
  if (number.size() < digits) number.insert(0, digits - number.size(), '0');
  return prefix + number;
}

int64_t NextInteriorId(Database& db, const char* table) {
  Statement start(db.handle(), (std::string("SELECT ifnull(max(FID), 0) + 1 FROM \"") + table + "\"").c_str());
  start.Step();
  int64_t first = start.Int(0);
  start.Reset();
  Statement next(db.handle(),
                 "INSERT INTO t_ICMaxNum (FTableName, FMaxNum) VALUES (?1, ?2) "
                 "ON CONFLICT (FTableName) DO UPDATE SET FMaxNum = FMaxNum + 1 RETURNING FMaxNum");
  next.Bind(1, std::string_view(table)).Bind(2, first);
  next.Step();
  int64_t id = next.Int(0);
  next.Reset();
  return id;
}

std::string SystemOption(Database& db, const char* key) {
  Statement option(db.handle(), "SELECT FValue FROM t_SystemProfile WHERE FCategory='IC' AND FKey=?1");
  option.Bind(1, std::string_view(key));
  std::string value = option.Step() ? option.Text(0) : "";
  option.Reset();
  return value;
}

// ---- The operations, inside the caller's transaction ----

void UpdateBalAmountIn(Database& db) {
  Statement bills(db.handle(), "SELECT FID, FTotalAmount, FDiscountAmount FROM T_LS_Retail WHERE FDailyBillID=0");
  Statement lines(db.handle(), "SELECT FEntryID, FAmount FROM T_LS_RetailEntry WHERE FID=?1");
  Statement update(db.handle(), "UPDATE T_LS_RetailEntry SET FBalAmount=?2 WHERE FEntryID=?1");
  while (bills.Step()) {
    double total = bills.Real(1), discount = bills.Real(2);
    lines.Bind(1, bills.Int(0));
    while (lines.Step()) {
      double amount = lines.Real(1);
      update.Bind(1, lines.Int(0)).Bind(2, VbText(amount - amount * discount / total)).Run();
    }
  }
}

// The selection (temp.sel) may be closed: one bill type, none closed, none
// before the period; and stock covers the sales.
void CheckSelectionIn(Database& db) {
  std::string period_start = SystemOption(db, "CurrentYear") + "-" +
                             (SystemOption(db, "CurrentPeriod").size() == 1 ? "0" : "") +
                             SystemOption(db, "CurrentPeriod") + "-01";
  Statement bills(db.handle(),
                  "SELECT count(DISTINCT r.FBillType), max(r.FDailyBillID<>0), sum(r.FDate<?1) "
                  "FROM temp.sel s JOIN t_LS_Retail r ON r.FID=s.FID");
  bills.Bind(1, std::string_view(period_start));
  bills.Step();
  bool valid = bills.Int(0) == 1 && bills.Int(1) == 0 && bills.Int(2) == 0;
  bills.Reset();
  if (!valid) throw std::runtime_error("the selection cannot be closed");

  bool batch_only = SystemOption(db, "UnderStock") == "1";
  Statement short_items(db.handle(),
                        "SELECT i.FNumber, i.FName, i.FIsBatchManager FROM "
                        "(SELECT e.FItemID, e.FStock, e.FAuxPropID, sum(ifnull(e.FShowQty,0)) AS FQty "
                        " FROM temp.sel s JOIN T_LS_RetailEntry e ON e.FID=s.FID GROUP BY e.FItemID, e.FStock, e.FAuxPropID) t "
                        "JOIN t_ICItem i ON i.FItemID=t.FItemID "
                        "LEFT JOIN (SELECT FItemID, FStockID, FAuxPropID, sum(ifnull(FQty,0)) AS FQty FROM t_CC_Inventory "
                        " GROUP BY FItemID, FStockID, FAuxPropID) v "
                        "ON v.FItemID=t.FItemID AND v.FStockID=t.FStock AND v.FAuxPropID=t.FAuxPropID "
                        "WHERE ifnull(v.FQty,0) < t.FQty");
  while (short_items.Step()) {
    if (!batch_only || short_items.Int(2) == 1) {
      short_items.Reset();
      throw std::runtime_error("stock does not cover the selection");
    }
  }
}

struct Settle {
  std::string item, amount, account;
};

std::vector<Settle> SettlementsIn(Database& db) {
  std::string account = "0";
  {
    Statement accounts(db.handle(), "SELECT FItemID FROM t_SettleAcct WHERE FFixed=0 AND FDeleted=0");
    if (accounts.Step()) account = accounts.Packaged(0);
    accounts.Reset();
  }
  Statement sums(db.handle(),
                 "SELECT b.FItemID, sum(a.FSettleAmount) FROM t_LS_RetailEntry2 a JOIN t_LS_Settle b ON a.FSettleID=b.FItemID "
                 "WHERE a.FID IN (SELECT FID FROM temp.sel) AND b.FItemID IN (1,2,5) GROUP BY b.FItemID, b.FName");
  std::vector<Settle> out;
  while (sums.Step()) out.push_back({sums.Packaged(0), sums.Packaged(1), account});
  return out;
}

// One aggregated line of the closing, its values as the component's records hold them.
struct Line {
  std::string item, show_unit, coefficient, stock, aux, amount, show_qty, qty, unit, sec_unit, sec_coefficient,
      cost_price;
  bool batch = false;
};

struct Row {
  std::string qty;  // as its text
  double qty_value = 0;  // a batch's share is not read back from its text
  bool qty_is_line_text = false;
  std::string batch, kf_date = "1900-01-01", period_date = "1900-01-01", kf_period = "0";
};

// A stock-bill entry: every value as the text the component writes.
struct Entry {
  std::string item, unit, show_unit, coefficient, aux, stock, qty, show_qty, batch, kf_period, kf_date, period_date,
      cost_price, cost_amount, in_tax_amount, amount, tax_amount, tax_price, price_discount, price, sec_unit,
      sec_coefficient, sec_qty, sec_price, tax_rate;
  double in_tax = 0, amount_value = 0, qty_value = 0;
};

Entry MakeEntry(const Line& line, const Row& row, double factor, double deductible, double total_amount) {
  Entry e;
  e.item = line.item;
  e.unit = line.unit;
  e.show_unit = line.show_unit;
  e.coefficient = line.coefficient;
  e.aux = line.aux;
  e.stock = line.stock;
  e.qty = row.qty;
  e.qty_value = row.qty_value;
  double show_qty = e.qty_value / Parse(line.coefficient);
  e.show_qty = VbText(show_qty);
  e.batch = row.batch;
  e.kf_period = row.kf_period;
  e.kf_date = row.kf_date;
  e.period_date = row.period_date;
  e.cost_price = line.cost_price;
  e.cost_amount = VbText(Parse(line.cost_price) * show_qty);
  double line_amount = Parse(line.amount);
  double in_tax = RoundTo(line_amount - line_amount * deductible / total_amount, 2);
  double amount = RoundTo(in_tax / factor, 2);
  double tax = RoundTo(in_tax - amount, 2);
  double q = Parse(line.show_qty);
  double tax_price, price_discount, price;
  if (Parse(line.qty) == 0) {
    tax_price = in_tax;
    price_discount = amount;
    price = amount;
  } else {
    tax_price = in_tax / q;
    price_discount = amount / q;
    price = amount / q;
  }
  if (!row.qty_is_line_text && e.qty_value != Parse(line.qty)) {
    // A line over several batches: each entry's amounts from the unit prices.
    in_tax = RoundTo(tax_price * show_qty, 2);
    amount = RoundTo(price * show_qty, 2);
    tax = in_tax - amount;
  }
  e.in_tax = in_tax;
  e.amount_value = amount;
  e.in_tax_amount = VbText(in_tax);
  e.amount = VbText(amount);
  e.tax_amount = VbText(tax);
  e.tax_price = VbText(tax_price);
  e.price_discount = VbText(price_discount);
  e.price = VbText(price);
  e.sec_unit = line.sec_unit;
  e.sec_coefficient = line.sec_coefficient;
  double secondary = Parse(line.sec_coefficient);
  e.sec_qty = secondary == 0 ? "0" : VbText(e.qty_value / secondary);
  e.sec_price = VbText(price * secondary);
  e.tax_rate = VbText((factor - 1) * 100);
  return e;
}

// The last positive entry takes the difference between the entries' total and
// the bill's, and moves to the end.
void Reconcile(std::vector<Entry>& entries, double all_amount) {
  if (entries.empty()) return;
  double sum = 0;
  for (const Entry& e : entries) sum += e.in_tax;
  double rounded = RoundTo(sum, 2);
  if (all_amount == rounded) return;
  size_t position = entries.size() - 1;
  if (entries.back().in_tax == 0) {
    position = 0;
    for (size_t p = entries.size() - 1; p-- > 0;) {
      if (entries[p].in_tax > 0) {
        position = p;
        break;
      }
    }
  }
  Entry e = entries[position];
  double in_tax = RoundTo(e.in_tax + all_amount - rounded, 2);
  double tax_rate = Parse(e.tax_rate);
  double amount = tax_rate != 0 ? RoundTo(in_tax / (1 + tax_rate / 100), 2) : in_tax;
  double price = e.qty_value != 0 ? amount / e.qty_value : amount;
  e.in_tax = in_tax;
  e.in_tax_amount = VbText(in_tax);
  e.amount = VbText(amount);
  e.tax_amount = VbText(RoundTo(in_tax - amount, 2));
  e.price = VbText(price);
  e.tax_price = VbText(e.qty_value != 0 ? in_tax / e.qty_value : in_tax);
  e.price_discount = VbText(price * 100 / 100);
  e.sec_price = VbText(price * Parse(e.sec_coefficient));
  entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(position));
  entries.push_back(std::move(e));
}

// Names the search text shows, looked up once each.
class Names {
 public:
  Names(Database& db, const char* sql) : st_(db.handle(), sql) {}
  std::optional<std::vector<std::string>> Get(const std::string& id) {
    if (auto it = cache_.find(id); it != cache_.end()) return it->second;
    st_.Bind(1, std::string_view(id));
    std::optional<std::vector<std::string>> found;
    if (st_.Step()) {
      found.emplace();
      for (int c = 0; c < st_.Columns(); ++c) found->push_back(st_.Text(c));
      st_.Reset();
    }
    return cache_[id] = found;
  }

 private:
  Statement st_;
  std::map<std::string, std::optional<std::vector<std::string>>> cache_;
};

std::string Segment(const std::string& caption, const std::optional<std::vector<std::string>>& found, size_t column) {
  return found ? caption + "*:" + (*found)[column] + " " : caption + "*: ";
}

// The visible captions of a page of the stock bill, in tab order.
std::vector<std::pair<std::string, std::string>> Captions(Database& db, int page) {
  Statement captions(db.handle(),
                     "SELECT FKey, FCaption_CHS FROM icclasstableinfo WHERE FClassTypeID=?1 AND FVisible=-1 AND FPage=?2 "
                     "ORDER BY FTabIndex");
  captions.Bind(1, int64_t{kStockBillClass}).Bind(2, int64_t{page});
  std::vector<std::pair<std::string, std::string>> out;
  while (captions.Step()) out.emplace_back(captions.Text(0), captions.Text(1));
  return out;
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

void InsertSearchRow(Database& db, const std::string& text, const std::string& key) {
  Statement row(db.handle(), "INSERT INTO t_searchinfo_temp (FSearchText, FKey, FObjectId) VALUES (?1, ?2, 1)");
  row.Bind(1, std::string_view(text)).Bind(2, std::string_view(key)).Run();
}

std::string IndexKey(int64_t id, int class_type, const std::string& bill_type) {
  return "System=yw|BillID=" + std::to_string(id) + "|ClassTypeID=" + std::to_string(class_type) +
         "|BillTypeID=" + bill_type + "|";
}

// The stock bill's header amounts (written as absolute values) and account;
// `paid` says whether the pay and check amounts are there at all.
struct Header {
  double all = 0, cur_pay = 0, check = 0, uncheck = 0;
  bool paid = false;  // a settlement of item 1 or 5
  std::string account;
};

Header AssembleHeader(const std::vector<Settle>& settlements) {
  Header h;
  auto no_account = [](const std::string& a) { return a.empty() || Parse(a) == 0; };
  for (const Settle& s : settlements) {
    double amount = std::fabs(Parse(s.amount));
    h.all += amount;
    if (Parse(s.item) == 1 || Parse(s.item) == 5) {
      h.cur_pay += amount;
      h.paid = true;
      if (!no_account(s.account)) h.account = s.account;
      h.check = h.cur_pay;
    }
    if (no_account(h.account)) h.account = s.account;
  }
  h.uncheck = h.all - h.check;
  return h;
}

std::string StockBillSearchText(Database& db, const Header& h, const std::vector<Entry>& entries,
                                const std::string& bill_no, const std::string& bill_no_src) {
  Names customers(db, "SELECT FName FROM t_Organization WHERE FItemID=?1");
  Names invoice_types(db, "SELECT FName FROM t_BaseBillTypeData WHERE FID=?1");
  Names accounts(db, "SELECT FName FROM t_SettleAcct WHERE FItemID=?1");
  Names items(db, "SELECT FNumber, FName, FModel FROM t_ICItem WHERE FItemID=?1");
  Names units(db, "SELECT FName FROM t_MeasureUnit WHERE FMeasureUnitID=?1");
  Names stocks(db, "SELECT FName FROM t_Stock WHERE FItemID=?1");
  Names properties(db, "SELECT FName FROM t_AuxItem WHERE FItemID=?1");

  std::string text = "[销售单-销售发货] 单据编号*:" + bill_no + " ";
  auto money = [](double v) { return v == 0 ? std::string() : VbText(std::fabs(v)); };
  for (const auto& [field, caption] : Captions(db, 1)) {
    std::string f = Upper(field);
    if (f == "FDATE" || f == "FSETTLELIMITDATE" || f == "FCHECKDATE") text += caption + "*:" + kBalDate + " ";
    else if (f == "FCUSTID") text += Segment(caption, customers.Get(kClient), 0);
    else if (f == "FDEPTID") text += caption + "*: ";
    else if (f == "FINVOICETYPE") text += Segment(caption, invoice_types.Get(kInvoiceType), 0);
    else if (f == "FACCTNO") text += Segment(caption, accounts.Get(h.account), 0);
    else if (f == "FEXPLANATION") text += caption + "*:" + kExplanation + " ";
    else if (f == "FALLAMOUNT") text += caption + "*:" + money(h.all) + " ";
    else if (f == "FUNCHECKAMOUNT") text += caption + "*:" + money(h.uncheck) + " ";
    else if (h.paid && f == "FCURPAYAMOUNT") text += caption + "*:" + money(h.cur_pay) + " ";
    else if (h.paid && f == "FCHECKAMOUNT") text += caption + "*:" + money(h.check) + " ";
  }
  std::vector<std::pair<std::string, std::string>> captions = Captions(db, 2);
  auto caption_of = [&](const char* field) {
    for (const auto& [key, caption] : captions)
      if (Upper(key) == field) return caption;
    return std::string();
  };
  const std::string name_caption = caption_of("FBASEPROPERTY3"), model_caption = caption_of("FBASEPROPERTY4");
  for (const Entry& e : entries) {
    for (const auto& [field, caption] : captions) {
      std::string f = Upper(field);
      const std::string* value = nullptr;
      if (f == "FITEMID") {
        auto item = items.Get(e.item);
        text += Segment(caption, item, 0) + Segment(name_caption, item, 1) + Segment(model_caption, item, 2);
        continue;
      }
      if (f == "FUNITID" || f == "FSECUNITID") {
        text += Segment(caption, units.Get(f == "FUNITID" ? e.unit : e.sec_unit), 0);
        continue;
      }
      if (f == "FSCSTOCKID") {
        text += Segment(caption, stocks.Get(e.stock), 0);
        continue;
      }
      if (f == "FAUXPROPID") {
        text += Segment(caption, properties.Get(e.aux), 0);
        continue;
      }
      if (f == "FBATCHNO") value = &e.batch;
      else if (f == "FQTY") value = &e.qty;
      else if (f == "FSECQTY") value = &e.sec_qty;
      else if (f == "FKFDATE") value = &e.kf_date;
      else if (f == "FKFPERIOD") value = &e.kf_period;
      else if (f == "FPERIODDATE") value = &e.period_date;
      else if (f == "FPRICE") value = &e.price;
      else if (f == "FTAXPRICE") value = &e.tax_price;
      else if (f == "FPRICEDISCOUNT") value = &e.price_discount;
      else if (f == "FAMOUNT") value = &e.amount;
      else if (f == "FTAXRATE") value = &e.tax_rate;
      else if (f == "FTAXAMOUNT") value = &e.tax_amount;
      else if (f == "FINTAXAMOUNT") value = &e.in_tax_amount;
      else if (f == "FCOSTPRICE") value = &e.cost_price;
      else if (f == "FCOSTAMOUNT") value = &e.cost_amount;
      else if (f == "FBILLNO_SRC") value = &bill_no_src;
      if (value != nullptr) text += caption + "*:" + *value + " ";
      else if (f == "FDISCOUNTRATE") text += caption + "*:100 ";
    }
  }
  return text;
}

struct Closing {
  std::string bill_no;
  int64_t daily_id = 0;
};

// The closing the benchmarks make: one day's sales, invoice type 2021 (no
// tax factor), with a check bill turning the unpaid part over.
Closing ProcessDailyBalanceIn(Database& db, const std::vector<Settle>& settlements) {
  Closing c;
  // The daily bill: today's next number.
  std::string today = Today("%Y%m%d");
  int64_t sequence = 1;
  {
    Statement last(db.handle(),
                   "SELECT max(CAST(substr(FBillNo, 11) AS INTEGER)) + 1 FROM t_LS_DailyBill WHERE FBillNo LIKE ?1");
    last.Bind(1, "RJ" + today + "%");
    if (last.Step() && !last.Null(0)) sequence = last.Int(0);
    last.Reset();
  }
  char seq[16];
  std::snprintf(seq, sizeof seq, "%06lld", static_cast<long long>(sequence));
  c.bill_no = "RJ" + today + seq;
  {
    Statement header(db.handle(),
                     "INSERT INTO t_LS_DailyBill (FClassTypeID, FBillNo, FDate, FEmpID, FInvoiceType, FClient, FTaxRate) "
                     "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    header.Bind(1, int64_t{kDailyBillClass}).Bind(2, std::string_view(c.bill_no)).Bind(3, std::string_view(kBalDate));
    header.Bind(4, int64_t{kUserId}).Bind(5, std::string_view(kInvoiceType)).Bind(6, std::string_view(kClient));
    header.Bind(7, VbText(kTaxRate)).Run();
    c.daily_id = db.LastRowId();
  }

  // The goods lines per item, unit, stock, property and stock type, in base units.
  std::vector<Line> lines;
  {
    Statement aggregate(
        db.handle(),
        "WITH g AS ("
        " SELECT b.FItemID, b.FShowUnitID, b.FCoefficient, b.FStock, b.FAuxPropID, abs(sum(b.FBalAmount)) AS FAmount,"
        "  abs(sum(b.FQty)) AS FShowQty, abs(sum(b.FShowQty)) AS FQty, c.FTypeID"
        " FROM temp.sel s JOIN T_LS_RetailEntry b ON b.FID=s.FID JOIN t_Stock c ON c.FItemID=b.FStock"
        " GROUP BY b.FItemID, b.FShowUnitID, b.FCoefficient, b.FStock, b.FAuxPropID, c.FTypeID),"
        " u AS ("
        " SELECT g.FItemID, CASE WHEN g.FCoefficient<>1 THEN h.FUnitID ELSE g.FShowUnitID END AS FShowUnitID,"
        "  CASE WHEN g.FCoefficient<>1 THEN 1 ELSE g.FCoefficient END AS FCoefficient, g.FStock, g.FAuxPropID,"
        "  g.FAmount, CASE WHEN g.FCoefficient<>1 THEN g.FShowQty*g.FCoefficient ELSE g.FShowQty END AS FShowQty,"
        "  g.FQty, g.FTypeID FROM g JOIN t_ICItem h ON h.FItemID=g.FItemID) "
        "SELECT u.FItemID, u.FShowUnitID, u.FCoefficient, u.FStock, u.FAuxPropID, abs(sum(u.FAmount)),"
        " abs(sum(u.FShowQty)), abs(sum(u.FQty)), h.FIsBatchManager, h.FUnitID, h.FSecUnitID, h.FSecCoefficient,"
        " CASE WHEN u.FTypeID=502 THEN 0 ELSE h.FCostPrice END "
        "FROM u JOIN t_ICItem h ON h.FItemID=u.FItemID JOIN t_Item i ON i.FItemID=u.FItemID "
        "GROUP BY u.FItemID, u.FShowUnitID, u.FCoefficient, u.FStock, u.FAuxPropID, u.FTypeID "
        "ORDER BY u.FItemID, u.FShowUnitID, u.FCoefficient, u.FStock, u.FAuxPropID, u.FTypeID");
    while (aggregate.Step()) {
      Line l;
      l.item = aggregate.Packaged(0);
      l.show_unit = aggregate.Packaged(1);
      l.coefficient = aggregate.Packaged(2);
      l.stock = aggregate.Packaged(3);
      l.aux = aggregate.Packaged(4);
      l.amount = aggregate.Packaged(5);
      l.show_qty = aggregate.Packaged(6);
      l.qty = aggregate.Packaged(7);
      l.batch = aggregate.Int(8) != 0;
      l.unit = aggregate.Packaged(9);
      l.sec_unit = aggregate.Packaged(10);
      l.sec_coefficient = aggregate.Packaged(11);
      l.cost_price = aggregate.Packaged(12);
      lines.push_back(std::move(l));
    }
  }
  double total_amount = 0, deductible = 0;
  {
    Statement total(db.handle(),
                    "SELECT abs(sum(b.FBalAmount)) FROM temp.sel s JOIN T_LS_RetailEntry b ON b.FID=s.FID");
    total.Step();
    total_amount = total.Real(0);
    total.Reset();
    Statement deducted(db.handle(),
                       "SELECT sum(FSettleAmount) FROM t_LS_RetailEntry2 "
                       "WHERE FID IN (SELECT FID FROM temp.sel) AND FSettleID IN (0,3,4)");
    deducted.Step();
    deductible = std::fabs(deducted.Real(0));
    deducted.Reset();
  }
  if (lines.empty() || total_amount == 0) throw std::runtime_error("nothing to close");

  // Entries: one per batch a line takes its quantity from.
  Header h = AssembleHeader(settlements);
  std::vector<Entry> entries;
  {
    Statement batches(db.handle(),
                      "SELECT FQty, FBatchNo, FKFDate, FPeriodDate, FKFPeriod FROM t_CC_Inventory "
                      "WHERE FItemID=?1 AND FAuxPropID=?2 AND FStockID=?3 AND FQty>0 ORDER BY FBatchNo");
    for (const Line& line : lines) {
      std::vector<Row> rows;
      if (line.batch) {
        batches.Bind(1, std::string_view(line.item)).Bind(2, std::string_view(line.aux)).Bind(3, std::string_view(line.stock));
        double remaining = Parse(line.qty);
        while (batches.Step()) {
          Row r;
          double on_hand = batches.Real(0);
          r.batch = batches.Text(1);
          r.kf_date = batches.Text(2);
          r.period_date = batches.Text(3);
          r.kf_period = batches.Packaged(4);
          if (on_hand >= remaining) {
            r.qty = VbText(remaining);
            r.qty_value = remaining;
            rows.push_back(std::move(r));
            batches.Reset();
            break;
          }
          r.qty = VbText(on_hand);
          r.qty_value = on_hand;
          rows.push_back(std::move(r));
          remaining -= on_hand;
        }
        if (rows.empty()) throw std::runtime_error("no batch for item " + line.item);
      } else {
        Row r;
        r.qty = line.qty;
        r.qty_value = Parse(line.qty);
        r.qty_is_line_text = true;
        rows.push_back(std::move(r));
      }
      for (const Row& r : rows) entries.push_back(MakeEntry(line, r, 1.0, deductible, total_amount));
    }
  }
  Reconcile(entries, h.all);

  // The stock bill, its index row and its audit.
  std::string stock_no = NextBillNo(db, "1030002");
  int64_t stock_id = NextInteriorId(db, "t_CC_StockBill");
  {
    Statement bill(db.handle(),
                   "INSERT INTO t_cc_stockbill (FID, FBillNo, FCustID, FCurPayID, FClassTypeID, FDate, FCheckDate,"
                   " FSettleLimitDate, FBillTypeID, FBillerID, FCheckerID, FExplanation, FDeptID, FAllAmount,"
                   " FCurPayAmount, FCurCheckAmount, FBalanceStyle, FAcctNo, FCheckAmount, FUnCheckAmount, FInvoiceType,"
                   " FStatus) VALUES (?1, ?2, ?3, ?3, ?4, ?5, ?5, ?5, 3001, ?6, ?6, ?7, 0, ?8, ?9, ?9, 0, ?10, ?11,"
                   " ?12, ?13, 0)");
    bill.Bind(1, stock_id).Bind(2, std::string_view(stock_no)).Bind(3, std::string_view(kClient));
    bill.Bind(4, int64_t{kStockBillClass}).Bind(5, std::string_view(kBalDate)).Bind(6, int64_t{kUserId});
    bill.Bind(7, std::string_view(kExplanation)).Bind(8, VbText(h.all)).Bind(9, VbText(h.cur_pay));
    bill.Bind(10, std::string_view(h.account)).Bind(11, VbText(h.check)).Bind(12, VbText(h.uncheck));
    bill.Bind(13, std::string_view(kInvoiceType)).Run();
  }
  {
    Statement entry(db.handle(),
                    "INSERT INTO t_CC_StockBillEntry (FID, FIndex, FItemID, FUnitID, FShowUnitID, FCoefficient, FAuxPropID,"
                    " FSCStockID, FQty, FShowQty, FUnRejectQty, FBatchNo, FKFPeriod, FKFDate, FPeriodDate, FCostPrice,"
                    " FCostAmount, FDiscountAmount, FDiscountRate, FInTaxAmount, FAmount, FTaxAmount, FTaxPrice,"
                    " FPriceDiscount, FPrice, FSecUnitID, FSecCoefficient, FSecQty, FUnRejectAuxQty, FSecPrice, FTaxRate,"
                    " FClassID_SRC, FBillNo_SRC, FID_SRC) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?10, ?11, ?12,"
                    " ?13, ?14, ?15, ?16, 0, 100, ?17, ?18, ?19, ?20, ?21, ?22, ?23, ?24, ?25, ?25, ?26, ?27, ?28, ?29, ?30)");
    int64_t index = 0;
    for (const Entry& e : entries) {
      entry.Bind(1, stock_id).Bind(2, ++index).Bind(3, std::string_view(e.item)).Bind(4, std::string_view(e.unit));
      entry.Bind(5, std::string_view(e.show_unit)).Bind(6, std::string_view(e.coefficient));
      entry.Bind(7, std::string_view(e.aux)).Bind(8, std::string_view(e.stock)).Bind(9, std::string_view(e.qty));
      entry.Bind(10, std::string_view(e.show_qty)).Bind(11, std::string_view(e.batch));
      entry.Bind(12, std::string_view(e.kf_period)).Bind(13, std::string_view(e.kf_date));
      entry.Bind(14, std::string_view(e.period_date)).Bind(15, std::string_view(e.cost_price));
      entry.Bind(16, std::string_view(e.cost_amount)).Bind(17, std::string_view(e.in_tax_amount));
      entry.Bind(18, std::string_view(e.amount)).Bind(19, std::string_view(e.tax_amount));
      entry.Bind(20, std::string_view(e.tax_price)).Bind(21, std::string_view(e.price_discount));
      entry.Bind(22, std::string_view(e.price)).Bind(23, std::string_view(e.sec_unit));
      entry.Bind(24, std::string_view(e.sec_coefficient)).Bind(25, std::string_view(e.sec_qty));
      entry.Bind(26, std::string_view(e.sec_price)).Bind(27, std::string_view(e.tax_rate));
      entry.Bind(28, int64_t{kDailyBillClass}).Bind(29, std::string_view(c.bill_no)).Bind(30, c.daily_id).Run();
    }
  }
  InsertSearchRow(db, StockBillSearchText(db, h, entries, stock_no, c.bill_no), IndexKey(stock_id, kStockBillClass, "3001"));

  {
    // Sales leave the stock, per item, stock, property and batch.
    using Key = std::tuple<int64_t, int64_t, int64_t, std::string>;
    std::map<Key, double> change;
    for (const Entry& e : entries)
      change[{Id(e.item.c_str()), Id(e.stock.c_str()), Id(e.aux.c_str()), e.batch}] -= Parse(e.qty);
    bool allow_negative = SystemOption(db, "AllowNegativeStock") == "1";
    Statement on_hand(db.handle(),
                      "SELECT FQty FROM t_CC_Inventory WHERE FItemID=?1 AND FStockID=?2 AND FAuxPropID=?3 AND FBatchNo=?4");
    Statement post(db.handle(),
                   "INSERT INTO t_CC_Inventory (FItemID, FStockID, FAuxPropID, FBatchNo, FQty) VALUES (?1, ?2, ?3, ?4, ?5) "
                   "ON CONFLICT (FItemID, FStockID, FAuxPropID, FBatchNo) DO UPDATE SET FQty = FQty + excluded.FQty");
    for (const auto& [key, delta] : change) {
      const auto& [item, stock, aux, batch] = key;
      if (!allow_negative) {
        on_hand.Bind(1, item).Bind(2, stock).Bind(3, aux).Bind(4, std::string_view(batch));
        double qty = on_hand.Step() ? on_hand.Real(0) : 0;
        on_hand.Reset();
        if (qty + delta < -1e-9) throw std::runtime_error("stock would go negative");
      }
      post.Bind(1, item).Bind(2, stock).Bind(3, aux).Bind(4, std::string_view(batch)).Bind(5, delta).Run();
    }
    Statement posting(db.handle(),
                      "INSERT INTO t_CC_StockPosting (FInterID, FEntryID, FItemID, FStockID, FAuxPropID, FBatchNo, FQty) "
                      "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    int64_t index = 0;
    for (const Entry& e : entries) {
      posting.Bind(1, stock_id).Bind(2, ++index).Bind(3, Id(e.item.c_str())).Bind(4, Id(e.stock.c_str()));
      posting.Bind(5, Id(e.aux.c_str())).Bind(6, std::string_view(e.batch)).Bind(7, -Parse(e.qty)).Run();
    }
    Statement audited(db.handle(), "UPDATE t_cc_stockbill SET FStatus=1, FCheckerID=?2, FCheckDate=?3 WHERE FID=?1");
    audited.Bind(1, stock_id).Bind(2, int64_t{kUserId}).Bind(3, Today("%Y-%m-%d")).Run();
  }

  // The check bill turning the unpaid part over to the receiving customer, written off.
  {
    std::string check_no = NextBillNo(db, "1050003");
    int64_t check_id = NextInteriorId(db, "t_rp_Checkbill");
    Statement bill(db.handle(),
                   "INSERT INTO t_rp_Checkbill (FID, FClassTypeID, FBillNo, FBillTypeID, FDate, FExplanation, FBillerID,"
                   " FCheckerID, FCheckDate, FAmount, FOutCustID, FInCustID, FHint1, FStatus, FDeptID)"
                   " VALUES (?1, ?2, ?3, 5024, ?4, ?5, ?6, ?6, ?4, ?7, ?8, ?9, '应收', 0, 0)");
    bill.Bind(1, check_id).Bind(2, int64_t{kCheckBillClass}).Bind(3, std::string_view(check_no));
    bill.Bind(4, std::string_view(kBalDate)).Bind(5, std::string_view(kExplanation)).Bind(6, int64_t{kUserId});
    bill.Bind(7, VbText(h.uncheck)).Bind(8, std::string_view(kClient)).Bind(9, int64_t{kInCustomer}).Run();
    Statement entry(db.handle(),
                    "INSERT INTO t_rp_Checkbillentry1 (FID, FIndex, FIsSelected, FSourceBillNo, FBillDate,"
                    " FSourceClassTypeDesc, FBillAmount, FBillCheckAmount, FBillUnCheckAmount, FBillSettleAmount,"
                    " FSourceBillID, FSourceClassTypeID, FInitItemID) VALUES (?1, 1, 1, ?2, ?3, '销售发货', ?4, ?5, ?6, ?6,"
                    " ?7, ?8, ?9)");
    entry.Bind(1, check_id).Bind(2, std::string_view(stock_no)).Bind(3, std::string_view(kBalDate));
    entry.Bind(4, VbText(h.all)).Bind(5, VbText(h.check)).Bind(6, VbText(h.uncheck)).Bind(7, stock_id);
    entry.Bind(8, int64_t{kStockBillClass}).Bind(9, std::string_view(kClient)).Run();

    Names customers(db, "SELECT FName FROM t_Organization WHERE FItemID=?1");
    std::string text = "[核销单-应收转应收] 单据编号*:" + check_no + " 日期*:" + kBalDate + " ";
    text += Segment("转出客户", customers.Get(kClient), 0);
    text += Segment("转入客户", customers.Get(std::to_string(kInCustomer)), 0);
    text += std::string("摘要*:") + kExplanation + " 源单编号*:" + stock_no + " 单据日期*:" + kBalDate +
            " 源单类型*:销售发货 单据金额*:" + VbText(h.all) + " 已核销金额*:" + VbText(h.check) +
            " 未核销金额*:" + VbText(h.uncheck) + " 本次核销金额*:" + VbText(h.uncheck) + " 备注*: ";
    InsertSearchRow(db, text, IndexKey(check_id, kCheckBillClass, "5024"));

    Statement customer(db.handle(), "SELECT 1 FROM t_Item WHERE FItemID=?1 AND FItemClassID=4");
    customer.Bind(1, int64_t{kInCustomer});
    if (!customer.Step()) throw std::runtime_error("no receiving customer");
    customer.Reset();
    Statement written_off(db.handle(), "UPDATE t_rp_Checkbill SET FStatus=1 WHERE FID=?1");
    written_off.Bind(1, check_id).Run();
  }

  // The daily bill's entries and the retail bills stamped with it.
  {
    Statement entries_of(db.handle(),
                         "INSERT INTO t_LS_DailyBillEntry (FID, FIndex, FID_SRC, FBillNo_SRC) "
                         "SELECT ?1, s.pos, r.FID, r.FBillNo FROM temp.sel s JOIN t_LS_Retail r ON r.FID=s.FID");
    entries_of.Bind(1, c.daily_id).Run();
    Statement stamp(db.handle(),
                    "UPDATE t_LS_Retail SET FDailyBillID=?1, FDailyBillNo=?2 WHERE FID IN (SELECT FID FROM temp.sel)");
    stamp.Bind(1, c.daily_id).Bind(2, std::string_view(c.bill_no)).Run();
  }
  return c;
}

bool Exists(Database& db, const char* sql, int64_t id) {
  Statement probe(db.handle(), sql);
  probe.Bind(1, id);
  bool found = probe.Step();
  probe.Reset();
  return found;
}

void ReplaceSearchRow(Database& db, const std::string& key) {
  Statement remove(db.handle(), "DELETE FROM t_searchinfo_temp WHERE FKey=?1");
  remove.Bind(1, std::string_view(key)).Run();
  Statement insert(db.handle(), "INSERT INTO t_searchinfo_temp (FKey, FSearchText, FObjectID, FAction) VALUES (?1, '', 1, 2)");
  insert.Bind(1, std::string_view(key)).Run();
}

void UnBalDataIn(Database& db, int64_t daily_id) {
  Statement stock_bills(db.handle(),
                        "SELECT DISTINCT FID FROM t_CC_StockBillEntry WHERE FClassID_SRC=1090001 AND FID_SRC=?1");
  stock_bills.Bind(1, daily_id);
  std::vector<int64_t> ids;
  while (stock_bills.Step()) ids.push_back(stock_bills.Int(0));
  for (int64_t stock_id : ids) {
    // Refused when a voucher or a later bill refers to what the closing made.
    if (Exists(db, "SELECT 1 FROM t_cc_stockbill WHERE FID=?1 AND ifnull(FVoucherID,0)<>0", stock_id) ||
        Exists(db,
               "SELECT 1 FROM t_rp_Checkbill a JOIN t_rp_Checkbillentry1 b ON a.FID=b.FID WHERE ifnull(a.FVoucherID,0)<>0 "
               "AND b.FSourceClassTypeID=1030002 AND b.FSourceBillID=?1",
               stock_id) ||
        Exists(db, "SELECT 1 FROM t_CC_StockBillEntry WHERE FClassID_SRC=1030002 AND FID_SRC=?1 LIMIT 1", stock_id) ||
        Exists(db, "SELECT 1 FROM t_RP_RBillEntry WHERE FSourceClassTypeID=1030002 AND FSourceBillID=?1 LIMIT 1", stock_id) ||
        Exists(db, "SELECT 1 FROM t_RP_CheckBillentry2 WHERE FSourceClassTypeID=1030002 AND FSourceBillID=?1 LIMIT 1",
               stock_id))
      throw std::runtime_error("the closing is referred to");

    Statement checks(db.handle(),
                     "SELECT DISTINCT FID FROM t_rp_Checkbillentry1 WHERE FSourceClassTypeID=1030002 AND FSourceBillID=?1");
    checks.Bind(1, stock_id);
    std::vector<int64_t> check_ids;
    while (checks.Step()) check_ids.push_back(checks.Int(0));
    for (int64_t check_id : check_ids) {
      if (Exists(db, "SELECT 1 FROM t_RP_RBillEntry WHERE FSourceClassTypeID=1050003 AND FSourceBillID=?1 LIMIT 1",
                 check_id) ||
          !Exists(db, "SELECT 1 FROM t_rp_Checkbill WHERE FID=?1 AND FStatus=1", check_id))
        throw std::runtime_error("the check bill cannot be undone");
      Statement bill(db.handle(), "DELETE FROM t_RP_CheckBill WHERE FID=?1");
      bill.Bind(1, check_id).Run();
      Statement entries(db.handle(), "DELETE FROM t_RP_CheckBillEntry1 WHERE FID=?1");
      entries.Bind(1, check_id).Run();
      ReplaceSearchRow(db, IndexKey(check_id, kCheckBillClass, "5024"));
    }

    // Un-audit: give back what the audit posted.
    std::string bill_type = "3001";
    {
      Statement type(db.handle(), "SELECT FBillTypeID FROM t_cc_stockbill WHERE FID=?1 AND FStatus=1");
      type.Bind(1, stock_id);
      if (!type.Step()) throw std::runtime_error("the stock bill is not audited");
      bill_type = std::to_string(type.Int(0));
      type.Reset();
      Statement posted(db.handle(),
                       "SELECT FItemID, FStockID, FAuxPropID, FBatchNo, sum(FQty) FROM t_CC_StockPosting WHERE FInterID=?1 "
                       "GROUP BY FItemID, FStockID, FAuxPropID, FBatchNo");
      Statement back(db.handle(),
                     "UPDATE t_CC_Inventory SET FQty = FQty - ?5 WHERE FItemID=?1 AND FStockID=?2 AND FAuxPropID=?3 "
                     "AND FBatchNo=?4");
      posted.Bind(1, stock_id);
      while (posted.Step()) {
        back.Bind(1, posted.Int(0)).Bind(2, posted.Int(1)).Bind(3, posted.Int(2)).Bind(4, posted.Text(3));
        back.Bind(5, posted.Real(4)).Run();
      }
      Statement forget(db.handle(), "DELETE FROM t_CC_StockPosting WHERE FInterID=?1");
      forget.Bind(1, stock_id).Run();
    }
    Statement bill(db.handle(), "DELETE FROM t_cc_stockbill WHERE FID=?1");
    bill.Bind(1, stock_id).Run();
    Statement entries(db.handle(), "DELETE FROM t_CC_StockBillEntry WHERE FID=?1");
    entries.Bind(1, stock_id).Run();
    ReplaceSearchRow(db, IndexKey(stock_id, kStockBillClass, bill_type));
  }
  Statement reopen(db.handle(), "UPDATE t_LS_Retail SET FDailyBillID=0, FDailyBillNo='' WHERE FDailyBillID=?1");
  reopen.Bind(1, daily_id).Run();
  Statement bill(db.handle(), "DELETE FROM t_LS_DailyBill WHERE FID=?1");
  bill.Bind(1, daily_id).Run();
  Statement entries(db.handle(), "DELETE FROM t_LS_DailyBillEntry WHERE FID=?1");
  entries.Bind(1, daily_id).Run();
}

template <class Body>
std::string Guarded(Body body) {
  try {
    body();
    return {};
  } catch (const std::exception& e) {
    return e.what();
  }
}

std::vector<Settle> FromRecords(const std::vector<Settlement>& settlements) {
  std::vector<Settle> out;
  for (const Settlement& s : settlements) out.push_back({s.item_id, s.amount, s.account});
  return out;
}

}  // namespace

std::string UpdateBalAmount(const std::string& path, Kept& kept) {
  return Guarded([&] {
    auto db = std::make_unique<Database>(path);
    UpdateBalAmountIn(*db);
    db->Commit();
    kept = std::move(db);
  });
}

std::string CheckSelection(const std::string& path, const std::string& ids, Kept& kept) {
  return Guarded([&] {
    auto db = std::make_unique<Database>(path);
    db->LoadSelection(ids);
    CheckSelectionIn(*db);
    db->Commit();
    kept = std::move(db);
  });
}

std::string ProcessDailyBalance(const std::string& path, const std::string& ids,
                                const std::vector<Settlement>& settlements, Kept& kept) {
  return Guarded([&] {
    auto db = std::make_unique<Database>(path);
    db->LoadSelection(ids);
    ProcessDailyBalanceIn(*db, FromRecords(settlements));
    db->Commit();
    kept = std::move(db);
  });
}

std::string Close(const std::string& path, const std::string& ids, Kept& kept) {
  return Guarded([&] {
    auto db = std::make_unique<Database>(path);
    UpdateBalAmountIn(*db);
    db->LoadSelection(ids);
    CheckSelectionIn(*db);
    ProcessDailyBalanceIn(*db, SettlementsIn(*db));
    db->Commit();
    kept = std::move(db);
  });
}

std::string UnBalData(const std::string& path, const std::string& daily_bill_id, Kept& kept) {
  return Guarded([&] {
    auto db = std::make_unique<Database>(path);
    UnBalDataIn(*db, std::strtoll(daily_bill_id.c_str(), nullptr, 10));
    db->Commit();
    kept = std::move(db);
  });
}

}  // namespace tovan::bench::raw
