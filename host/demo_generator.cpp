// Demo retail bills over the loaded master data: sales and some returns on a
// run of days, goods lines in several units, bill discounts, settlement lines
// that pay each bill's total less its discount, and enough stock, by batch
// where the goods are batch-managed, to cover every sale.
//
// Everything follows from the options: the random numbers come from a
// generator of our own (the standard distributions differ between libraries),
// and amounts are counted in whole cents so that sums are exact.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>
#include <vector>

#include "host/database_builder.h"
#include "platform/data/data_error.h"
#include "platform/data/backend.h"

namespace tovan::hostlib {

using automation::Date;
using automation::Variant;

namespace {

// splitmix64: small, fast and the same everywhere.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(0x9E3779B97F4A7C15ull * (uint64_t{seed} + 1)) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A whole number from lo to hi, both included.
  int Between(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<uint64_t>(hi - lo + 1)); }
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  bool Chance(double p) { return Unit() < p; }
  template <class T>
  const T& Pick(const std::vector<T>& from) {
    return from[static_cast<size_t>(Between(0, static_cast<int>(from.size()) - 1))];
  }

 private:
  uint64_t state_;
};

struct ItemInfo {
  int32_t id, unit_group;
  bool batch;
  double price;  // per base unit
  int32_t shelf_life, aux_class, default_stock;
};
struct UnitInfo {
  int32_t id;
  double coefficient;
};
struct ShopInfo {
  int32_t id, stock;
  std::vector<int32_t> cashiers;
};

// The master data the bills are made of, read once.
struct Catalogue {
  std::vector<ItemInfo> items;
  std::map<int32_t, std::vector<UnitInfo>> units;  // by unit group, base unit first
  std::map<int32_t, std::vector<int32_t>> aux;     // property IDs by property class
  std::vector<ShopInfo> shops;
  std::map<int32_t, bool> weighed;                 // unit groups with units below the base unit
};

Catalogue ReadCatalogue(data::ConnectionBackend& db) {
  using automation::CBool;
  using automation::CDbl;
  using automation::CLng;
  Catalogue c;
  data::ResultSet rows = db.ExecuteNative(
      "SELECT FItemID, FUnitGroupID, FIsBatchManager, FSalePrice, FKFPeriod, FAuxClassID, FDefaultLoc "
      "FROM t_ICItem ORDER BY FItemID",
      {});
  for (size_t r = 0; r < rows.RowCount(); ++r)
    c.items.push_back({CLng(rows.At(r, 0)), CLng(rows.At(r, 1)), CBool(rows.At(r, 2)), CDbl(rows.At(r, 3)),
                       CLng(rows.At(r, 4)), CLng(rows.At(r, 5)), CLng(rows.At(r, 6))});
  rows = db.ExecuteNative(
      "SELECT FMeasureUnitID, FUnitGroupID, FCoefficient FROM t_MeasureUnit "
      "ORDER BY FUnitGroupID, FCoefficient <> 1, FMeasureUnitID",
      {});
  for (size_t r = 0; r < rows.RowCount(); ++r) {
    double coefficient = CDbl(rows.At(r, 2));
    c.units[CLng(rows.At(r, 1))].push_back({CLng(rows.At(r, 0)), coefficient});
    if (coefficient < 1) c.weighed[CLng(rows.At(r, 1))] = true;
  }
  rows = db.ExecuteNative("SELECT FItemID, FAuxClassID FROM t_AuxItem WHERE FItemID <> 0 ORDER BY FItemID", {});
  for (size_t r = 0; r < rows.RowCount(); ++r) c.aux[CLng(rows.At(r, 1))].push_back(CLng(rows.At(r, 0)));
  rows = db.ExecuteNative("SELECT FItemID, FStockID FROM t_LS_BranchShop ORDER BY FItemID", {});
  for (size_t r = 0; r < rows.RowCount(); ++r) c.shops.push_back({CLng(rows.At(r, 0)), CLng(rows.At(r, 1)), {}});
  rows = db.ExecuteNative("SELECT FItemID, FBranchShopID FROM t_LS_Cashier ORDER BY FItemID", {});
  for (size_t r = 0; r < rows.RowCount(); ++r)
    for (ShopInfo& shop : c.shops)
      if (shop.id == CLng(rows.At(r, 1))) shop.cashiers.push_back(CLng(rows.At(r, 0)));

  std::erase_if(c.items, [&](const ItemInfo& item) { return c.units[item.unit_group].empty(); });
  if (c.items.empty() || c.shops.empty())
    data::RaiseDatabaseError("demo bills need goods with units and branch shops: load the master data first");
  return c;
}

double Money(int64_t cents) { return static_cast<double>(cents) / 100; }

// Per item, stock and auxiliary property: what the sales take, in base units.
using StockKey = std::tuple<int32_t, int32_t, int32_t>;

// Rows of one table loaded in bulk: on a server each statement costs a
// round trip and a parse, and a day of 100,000 bills is over a million rows.
// The engine's own bulk load where it has one (COPY), else multi-row
// INSERTs.  The rows go in in the order added.
class RowBuffer {
 public:
  RowBuffer(data::ConnectionBackend& db, std::string table, std::vector<std::string> columns)
      : db_(db),
        table_(std::move(table)),
        columns_(std::move(columns)),
        rows_(db.Engine() == "postgresql" ? kServerRows : kTextSize / (columns_.size() * 8)) {
    values_.reserve(rows_ * columns_.size());
  }
  void Add(std::initializer_list<automation::Variant> row) {
    values_.insert(values_.end(), row.begin(), row.end());
    if (values_.size() >= rows_ * columns_.size()) Flush();
  }
  void Flush() {
    const std::size_t rows = values_.size() / columns_.size();
    if (rows == 0) return;
    if (!db_.AppendRows(table_, columns_, values_)) db_.ExecuteNative(Insert(rows), values_);
    values_.clear();
  }

 private:
  // An INSERT's text stays short enough for the embedded engine to keep it prepared.
  static constexpr std::size_t kTextSize = 15000;
  static constexpr std::size_t kServerRows = 20000;

  const std::string& Insert(std::size_t rows) {
    std::string& sql = statements_[rows];
    if (!sql.empty()) return sql;
    sql = "INSERT INTO " + table_ + " (";
    for (std::size_t c = 0; c < columns_.size(); ++c) sql += (c > 0 ? ", " : "") + columns_[c];
    sql += ") VALUES ";
    for (std::size_t r = 0, n = 0; r < rows; ++r) {
      sql += r > 0 ? ",(" : "(";
      for (std::size_t c = 0; c < columns_.size(); ++c) sql += fmt::format("{}?{}", c > 0 ? "," : "", ++n);
      sql += ")";
    }
    return sql;
  }

  data::ConnectionBackend& db_;
  std::string table_;
  std::vector<std::string> columns_;
  std::size_t rows_;  // per statement or load
  std::vector<automation::Variant> values_;
  std::map<std::size_t, std::string> statements_;  // by row count
};

class BillWriter {
 public:
  BillWriter(data::ConnectionBackend& db, const Catalogue& catalogue, const DemoOptions& options)
      : db_(db), c_(catalogue), options_(options), random_(options.seed) {}

  void Write();
  int32_t bills() const { return bill_id_; }
  int32_t sales() const { return sales_; }
  int32_t returns() const { return returns_; }
  const std::map<StockKey, double>& demand() const { return demand_; }

 private:
  void WriteBill(Date when);
  int64_t WriteLine(int32_t bill, int32_t index, int32_t stock, int sign);
  void WriteSettlement(int32_t bill, int64_t net, int sign);
  double LineQuantity(const ItemInfo& item, double coefficient);

  data::ConnectionBackend& db_;
  const Catalogue& c_;
  const DemoOptions& options_;
  Random random_;
  RowBuffer bills_{db_, "t_LS_Retail",
                   {"FID", "FBillNo", "FDate", "FSaleTime", "FBillType", "FBranchShop", "FStock", "FCashier",
                    "FTotalAmount", "FDiscountAmount", "FDailyBillID", "FDailyBillNo", "FCustID"}};
  RowBuffer lines_{db_, "T_LS_RetailEntry",
                   {"FEntryID", "FID", "FIndex", "FItemID", "FShowUnitID", "FCoefficient", "FStock", "FAuxPropID",
                    "FQty", "FShowQty", "FPrice", "FAmount", "FBalAmount"}};
  RowBuffer settlements_{db_, "t_LS_RetailEntry2", {"FEntryID", "FID", "FIndex", "FSettleID", "FSettleAmount"}};
  int32_t bill_id_ = 0, entry_id_ = 0, settle_id_ = 0, sales_ = 0, returns_ = 0;
  std::map<StockKey, double> demand_;
};

void BillWriter::Write() {
  Date first{DemoLastDay(options_).serial - (options_.days - 1)};
  for (int64_t day = 0; day < options_.days; ++day) {
    // Bills spread evenly over the days, in time order over the opening hours.
    int64_t begin = day * options_.bills / options_.days, end = (day + 1) * options_.bills / options_.days;
    Date::Parts date = Date{first.serial + static_cast<double>(day)}.ToParts();
    for (int64_t k = begin; k < end; ++k) {
      int seconds = 8 * 3600 + static_cast<int>((k - begin) * 13 * 3600 / (end - begin)) + random_.Between(0, 59);
      WriteBill(Date::FromParts(date.year, date.month, date.day, seconds / 3600, seconds / 60 % 60, seconds % 60));
    }
  }
  bills_.Flush();
  lines_.Flush();
  settlements_.Flush();
}

void BillWriter::WriteBill(Date when) {
  Date day{std::floor(when.serial)};
  int32_t bill = ++bill_id_;
  bool is_return = random_.Chance(options_.return_share);
  int sign = is_return ? -1 : 1;
  const ShopInfo& shop = random_.Pick(c_.shops);
  int32_t cashier = shop.cashiers.empty() ? 0 : random_.Pick(shop.cashiers);
  std::string number = is_return ? fmt::format("LT{:06}", ++returns_) : fmt::format("LS{:06}", ++sales_);

  int lines = options_.lines + random_.Between(-options_.lines / 2, options_.lines / 2);
  int64_t total = 0;
  for (int32_t i = 1; i <= lines; ++i) total += WriteLine(bill, i, shop.stock, sign);

  // Discounts: the cents dropped at the till, or a few percent off.
  int64_t discount = 0;
  double kind = random_.Unit();
  if (kind < 0.25 && total >= 100) discount = total % 100;
  else if (kind < 0.40) discount = std::min<int64_t>(total - 1, std::llround(total * random_.Between(2, 10) / 100.0));
  WriteSettlement(bill, total - discount, sign);

  bills_.Add({bill, number, day, when, is_return ? demo::kRetailReturnType : demo::kRetailSaleType, shop.id, shop.stock,
              cashier, Money(sign * total), Money(sign * discount), 0, std::string(), demo::kWalkInCustomer});
}

double BillWriter::LineQuantity(const ItemInfo& item, double coefficient) {
  if (coefficient < 0.01) return 50.0 * random_.Between(1, 20);   // grams
  if (coefficient < 1) return random_.Between(1, 6);               // half kilos
  if (coefficient > 1) return random_.Between(1, 2);               // packs and cartons
  if (c_.weighed.contains(item.unit_group)) return 0.25 * random_.Between(2, 12);
  return random_.Between(1, 4);
}

// Writes one goods line; answers its amount in cents, unsigned.
int64_t BillWriter::WriteLine(int32_t bill, int32_t index, int32_t bill_stock, int sign) {
  const ItemInfo& item = random_.Pick(c_.items);
  const std::vector<UnitInfo>& units = c_.units.at(item.unit_group);
  // Mostly the base unit; now and then one of the others of its group.
  const UnitInfo* chosen = &units.front();
  if (units.size() > 1 && random_.Chance(0.35))
    chosen = &units[static_cast<size_t>(random_.Between(1, static_cast<int>(units.size()) - 1))];
  const UnitInfo& unit = *chosen;
  int32_t aux = 0;
  if (auto it = c_.aux.find(item.aux_class); item.aux_class != 0 && it != c_.aux.end()) aux = random_.Pick(it->second);
  int32_t stock = item.default_stock != 0 ? item.default_stock : bill_stock;

  double qty = LineQuantity(item, unit.coefficient);
  double base_qty = qty * unit.coefficient;
  // Whole packs and cartons sell a little cheaper than their pieces.
  double price = item.price * unit.coefficient * (unit.coefficient > 1 ? 0.95 : 1.0);
  int64_t amount = std::max<int64_t>(1, std::llround(qty * price * 100));
  if (sign > 0) demand_[{item.id, stock, aux}] += base_qty;
  else demand_.try_emplace({item.id, stock, aux}, 0.0);

  lines_.Add({++entry_id_, bill, index, item.id, unit.id, unit.coefficient, stock, aux, sign * qty, sign * base_qty,
              price, Money(sign * amount), 0});
  return amount;
}

// Pays `net` cents: one method, or a coupon or points and the rest in cash or by card.
void BillWriter::WriteSettlement(int32_t bill, int64_t net, int sign) {
  std::vector<std::pair<int32_t, int64_t>> parts;
  double kind = random_.Unit();
  if (kind < 0.40) parts = {{1, net}};
  else if (kind < 0.60) parts = {{5, net}};
  else if (kind < 0.68) parts = {{2, net}};
  else if (kind < 0.76) parts = {{3, net}};
  else {
    bool coupon = kind < 0.90;
    int64_t part = std::min<int64_t>(net, coupon ? random_.Between(1, 5) * 1000 : random_.Between(1, 20) * 50);
    parts = {{coupon ? 0 : 4, part}};
    if (net > part) parts.push_back({random_.Chance(0.7) ? 1 : 5, net - part});
  }
  int32_t index = 0;
  for (const auto& [method, cents] : parts)
    settlements_.Add({++settle_id_, bill, ++index, method, Money(sign * cents)});
}

// Stock for every item, stock and property the bills name: what the sales
// take and a margin, spread over batches from oldest to newest where the goods
// are batch-managed (now and then with a spent batch in front).
void WriteStock(data::ConnectionBackend& db, const Catalogue& c, const DemoOptions& options,
                const std::map<StockKey, double>& demand) {
  Random random(options.seed ^ 0x5EEDu);
  Date first{DemoLastDay(options).serial - (options.days - 1)};
  std::map<int32_t, const ItemInfo*> items;
  for (const ItemInfo& item : c.items) items[item.id] = &item;

  for (const auto& [key, needed] : demand) {
    const auto& [item_id, stock, aux] = key;
    const ItemInfo& item = *items.at(item_id);
    int64_t total = static_cast<int64_t>(std::ceil(needed - 1e-9)) + random.Between(5, 30);
    if (!item.batch) {
      detail::Exec(db, "INSERT INTO t_CC_Inventory (FItemID, FStockID, FAuxPropID, FBatchNo, FQty) VALUES (?1, ?2, ?3, '', ?4)",
                   {item_id, stock, aux, static_cast<double>(total)});
      continue;
    }
    int batches = random.Between(2, 4);
    int spent = random.Chance(0.25) ? 1 : 0;
    std::vector<int64_t> qty(static_cast<size_t>(batches + spent), 0);
    std::vector<int> weight(qty.size(), 0);
    int weights = 0;
    for (size_t b = static_cast<size_t>(spent); b < qty.size(); ++b) weights += weight[b] = random.Between(1, 4);
    int64_t left = total - batches, given = 0;
    for (size_t b = static_cast<size_t>(spent); b < qty.size(); ++b) {
      qty[b] = 1 + (b + 1 == qty.size() ? left - given : left * weight[b] / weights);
      given += qty[b] - 1;
    }
    int32_t shelf_life = item.shelf_life > 0 ? item.shelf_life : 365;
    int step = std::clamp(shelf_life / 4, 1, 20);
    for (size_t b = 0; b < qty.size(); ++b) {
      Date made{first.serial - static_cast<double>((qty.size() - b) * static_cast<size_t>(step)) -
                random.Between(0, step - 1)};
      Date::Parts p = made.ToParts();
      detail::Exec(db,
                   "INSERT INTO t_CC_Inventory (FItemID, FStockID, FAuxPropID, FBatchNo, FQty, FKFDate, FKFPeriod, "
                   "FPeriodDate) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)",
                   {item_id, stock, aux, fmt::format("P{:04}{:02}{:02}-{:02}", p.year, p.month, p.day, b + 1),
                    static_cast<double>(qty[b]), made, shelf_life, Date{made.serial + shelf_life}});
    }
  }
}

}  // namespace

void GenerateDemoData(data::ConnectionBackend& db, const DemoOptions& options) {
  if (options.bills <= 0) return;
  if (options.lines < 1 || options.days < 1)
    data::RaiseDatabaseError("demo bills need at least one line and one day");
  detail::WriteScope scope(db);
  Catalogue catalogue = ReadCatalogue(db);
  BillWriter writer(db, catalogue, options);
  writer.Write();
  WriteStock(db, catalogue, options, writer.demand());

  detail::Exec(db, "UPDATE t_ICMaxNum SET FMaxNum = CASE WHEN FMaxNum > ?1 THEN FMaxNum ELSE ?1 END WHERE FTableName = 't_LS_Retail'",
               {writer.bills()});
  const char* rule_sql = "UPDATE t_BillCodeRule SET FCurNo = CASE WHEN FCurNo > ?2 THEN FCurNo ELSE ?2 END WHERE FBillType = ?1";
  detail::Exec(db, rule_sql, {demo::kRetailSaleRule, writer.sales()});
  detail::Exec(db, rule_sql, {demo::kRetailReturnRule, writer.returns()});
  scope.Commit();
}

}  // namespace tovan::hostlib
