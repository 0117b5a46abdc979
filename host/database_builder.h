// The reference host's database: its schema, its master data and a
// deterministic generator of demo retail bills.
//
// BuildDatabase makes a new embedded database in one transaction.  The three
// steps are public so that tests can build on a backend they opened
// themselves: CreateSchema, then LoadMasterData, then GenerateDemoData.
// Each step writes inside the caller's transaction when there is one.
//
// The same options give the same rows: nothing depends on the clock except a
// last_day left at its zero value, which stands for today.
//
// Errors: AutomationError.  BuildDatabase raises data::kDatabaseError for
// anything that goes wrong while the file is made (and removes the half-made
// file) and vberr::kInvalidProcedureCall for options out of range, before
// anything is created.
//
// Thread-safety: the backend is used by the calling thread only.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/automation/variant.h"

namespace tovan::data {
class ConnectionBackend;
}

namespace tovan::hostlib {

struct DemoOptions {
  int bills = 0;            // retail bills to generate (0: master data only)
  int lines = 10;           // average goods lines per bill
  uint32_t seed = 1;
  automation::Date last_day;  // the last day with bills; the builder's caller sets it (default: today)
  int days = 5;
  double return_share = 0.1;  // share of bills that are retail returns
};

// Creates `path` (which must not exist yet) with the schema, master data and
// the generated bills, in one transaction; raises AutomationError (tovan::data::kDatabaseError) on failure and removes the half-made file.
void BuildDatabase(const std::string& path, const DemoOptions& options);
// The DDL and master-data steps, for tests that build on an open backend:
void CreateSchema(data::ConnectionBackend& db);
void LoadMasterData(data::ConnectionBackend& db, const DemoOptions& options);
void GenerateDemoData(data::ConnectionBackend& db, const DemoOptions& options);

// Fixed values of the reference host that callers and tests refer to.
namespace demo {
inline constexpr int32_t kRetailSaleType = 1;    // t_LS_Retail.FBillType
inline constexpr int32_t kRetailReturnType = 2;
inline constexpr const char* kRetailSaleRule = "1080001";    // t_BillCodeRule.FBillType of retail bills
inline constexpr const char* kRetailReturnRule = "1080002";
inline constexpr int32_t kGoodsClass = 1;        // t_Item.FItemClassID
inline constexpr int32_t kDepartmentClass = 2;
inline constexpr int32_t kCustomerClass = 4;
inline constexpr int32_t kStockClass = 5;
inline constexpr int32_t kCustodyStockType = 502;  // t_Stock.FTypeID of the stock whose goods carry no cost
inline constexpr int32_t kWalkInCustomer = 314;    // the retail customer of the closing dialog
inline constexpr int32_t kFirstInteriorId = 1000;  // t_ICMaxNum of the stock and check bills before any closing
}  // namespace demo

// The last day with bills: options.last_day, or today when it was left zero.
automation::Date DemoLastDay(const DemoOptions& options);

// Plumbing the three steps share.
namespace detail {
// Runs `sql` (one statement) with `values` bound to ?1, ?2, ...
void Exec(data::ConnectionBackend& db, const std::string& sql, std::initializer_list<automation::Variant> values);

// The steps write inside the caller's transaction; alone, each opens its own
// so that its thousands of inserts are one write.
class WriteScope {
 public:
  explicit WriteScope(data::ConnectionBackend& db);
  ~WriteScope();  // rolls back a transaction of its own that was not committed
  WriteScope(const WriteScope&) = delete;
  WriteScope& operator=(const WriteScope&) = delete;
  void Commit();

 private:
  data::ConnectionBackend& db_;
  bool owns_ = false;
};
}  // namespace detail

}  // namespace tovan::hostlib
