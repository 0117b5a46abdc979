// Cost of translating the component's statements to SQLite, against the cost
// of running them on the fixture database the way a backend without a
// translation cache would (prepare, step to the end, finalize, every time).
// After the runs a table gives translation / execution per statement.
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/data/sqlite/tsql_dialect.h"

namespace {

using tovan::data::sqlite::TranslateBatch;
using tovan::data::sqlite::TranslatedStatement;

struct CorpusStatement {
  const char* name;
  const char* tsql;
  bool writes;  // rolled back after each run so every run sees the same data
};

const CorpusStatement kCorpus[] = {
    {"next_daily_bill_no",
     " select max( convert(bigint,replace(FBillNo,left(FBillNo,10),'')) )+1 as FBillNo from "
     "t_LS_DailyBill where FBillNo like 'RJ20261130%' ",
     false},
    {"daily_bill_header",
     "Insert into t_LS_DailyBill(FClassTypeID,FBillNo,FDate,FEmpID,FInvoiceType,FClient,FTaxRate) "
     "\r\n Values(1090001,'RJ20261204000001','2026-12-04','16',\r\n2020,201,17)",
     true},
    {"aggregate_0408",
     "if object_id('tempdb..#0408') is not null drop table #0408\r\n"
     "SELECT * INTO #0408 FROM (\r\n"
     " select b.FItemID,b.FShowUnitID,b.FCoefficient,b.FStock,b.FAuxPropID,Abs(sum(b.FBalAmount)) as "
     "FAmount,Abs(sum(b.FQty)) as FShowQty,Abs(sum(b.FShowQty)) as FQty,c.FTypeID as FTypeID  from "
     "T_LS_RetailEntry b Inner Join t_LS_Retail a on a.FID=b.FID \r\n"
     " Inner Join t_stock c on b.FStock=c.FItemID \r\n"
     " Where  a.FID in (1,2) Group by b.FItemID,b.FShowUnitID,b.FCoefficient,b.FStock,b.FAuxPropID,"
     "c.FTypeID\r\n ) tmp\r\n"
     "update #0408 set FShowUnitID=(select FUnitID from t_icitem where FItemID=#0408.FItemID ),"
     "FShowQty=FShowQty*FCoefficient,FCoefficient=1\r\nWhere FCoefficient <> 1",
     false},
    {"aggregated_lines",
     "Set NoCount On \r\nSelect t.*,h.FIsBatchManager,h.FUnitID,h.FSecUnitID,h.FSecCoefficient,"
     "i.FTaxRate,case when t.FTypeID=502 then 0 else h.FCostPrice end as FCostPrice from (\r\n"
     "select FItemID,FShowUnitID,FCoefficient,FStock,FAuxPropID,Abs(sum(FAmount)) as FAmount,"
     "Abs(sum(FShowQty)) as FShowQty,Abs(sum(FQty)) as FQty,FTypeID as FTypeID \r\n from #0408 Group "
     "by FItemID,FShowUnitID,FCoefficient,FStock,FAuxPropID,FTypeID  ) t \r\n Inner Join t_ICItem h "
     "on t.FItemID=h.FItemID Inner Join t_Item i on t.FItemID=i.FItemID \r\nSet NoCount Off",
     false},
    {"settle_sum",
     "Set NoCount On \r\nselect sum(FSettleAmount) as FAmount from t_LS_RetailEntry2  \r\n Where FID "
     "in (1,2) And FSettleID in (0,3,4) \r\nSet NoCount Off",
     false},
    {"batches",
     "Set NoCount On \r\nselect * from t_CC_Inventory where FItemID=102 and FAuxPropID=0 and "
     "FStockID=1 and FQty>0 order by FBatchNo \r\nSet NoCount Off",
     false},
    {"stock_check",
     "select t1.*,t2.FQty,i.FName as FName,i.FNumber as FNumber from \r\n(select FItemID as FItemID,"
     "FStock,FAuxPropID,sum(isnull(FShowQty,0)) as FQty from t_ls_retailentry where FID in (\r\n1,2) "
     "group by FItemID,FStock,FAuxPropID ) t1 inner join t_ICItem i on t1.FItemID=i.FItemID \r\n left "
     "join  (select fItemID,FStockID,FAuxPropID,sum(isnull(FQty,0)) as FQty from t_cc_inventory \r\n "
     "group by fItemID,FStockID,FAuxPropID) t2 on t1.FItemID=t2.FItemID and t1.FStock=t2.FStockID and "
     "t1.FAuxPropID=t2.FAuxPropID \r\nwhere isnull(t2.FQty,0)<isnull(t1.FQty,0)  Order by i.FNumber",
     false},
    {"stock_entry_insert",
     "\r\nInsert into t_CC_StockBillEntry (FID,FIndex,FItemID,FUnitID,FShowUnitID,FCoefficient,"
     "FAuxPropID,FSCStockID,FQty,FShowQty,FUnRejectQty,FBatchNo,FKFPeriod,FKFDate,FPeriodDate,"
     "FCostPrice,FCostAmount,FDiscountAmount,FDiscountRate,FInTaxAmount,FAmount,FTaxAmount,FTaxPrice,"
     "FPriceDiscount,FPrice,FSecUnitID,FSecCoefficient,FSecQty,FUnRejectAuxQty,FSecPrice,FTaxRate,"
     "FClassID_SRC,FBillNo_SRC,FID_SRC) Values(1002,1,'101','1','1','1','0','1','29',29,29,'',0,"
     "'1900-01-01','1900-01-01','2.5',72.5,0,100,85.5,85.5,0,2.94827586206897,2.94827586206897,"
     "2.94827586206897,'0','0',0,0,0,0,1090001,'RJ20261204000001',8)",
     true},
    {"rollback_batch",
     "delete from t_rp_checkbill where FID=2002\r\ndelete from t_rp_checkbillEntry1 where FID=2002\r\n"
     "delete from t_cc_stockbill where FID=1002\r\ndelete from t_cc_stockbillEntry where FID=1002\r\n"
     "delete from t_ls_dailybillEntry where FID in (select FID from t_ls_dailyBill where "
     "FBillNo='RJ20261204000001')\r\ndelete from t_ls_dailybill where FBillNo='RJ20261204000001'\r\n"
     "update t_ls_retail set FDailyBillID=0,FDailyBillNo='' where FID in (1,2)",
     true},
    {"voucher_check",
     "select a.FID,a.FBillNo from t_rp_checkbill a inner join t_rp_checkbillEntry1 b on a.FID=b.FID "
     "\r\n where isnull(a.FVoucherID,0)<>0 and b.FSourceClassTypeID=1030002 and b.FSourceBillID in "
     "(1001) Group by a.FID,a.FBillNo",
     false},
    {"reference_check",
     "Select top 1 1 from t_CC_stockBillEntry where FClassID_SRC=1030002 and FID_SRC=1001", false},
    {"closed_bill_detail",
     "select a.FID,a.FID_SRC,a.FBillNo_SRC,Convert(varchar(20),e.FDate,23) as FDate,c.FName as "
     "FBranchShop,d.FName as FCashier,isnull(f.FSettleAmount,0) as FSettleAmount From "
     "t_LS_DailyBillEntry a Inner Join t_LS_DailyBill b on a.FID = b.FID Inner Join t_LS_Retail e on "
     "a.FID_SRC = e.FID  left Join (select FID,sum(FSettleAmount) as FSettleAmount from "
     "t_LS_RetailEntry2 group by FID) f on e.FID=f.FID  Inner Join t_LS_BranchShop c on "
     "e.FBranchShop=c.FItemID  Inner Join t_LS_Cashier d on e.FCashier=d.FItemID Where a.FID=7",
     false},
    {"cust_detail",
     "SELECT  t_Organization.FPhone, t_Organization.FFax,t_Organization.FContact, t_Item.FItemID, "
     "t_Item.FName FROM  t_Organization RIGHT OUTER JOIN t_Item ON t_Organization.FItemID = "
     "t_Item.FItemID where t_Item.FItemID='201'",
     false},
    {"open_bills_in_range",
     "Select FID from t_LS_Retail a left Join t_ls_BranchShop b on a.FBranchshop=b.FItemID  where "
     "a.FDailyBillID=0  And a.FDate>'2026/12/3' And a.FDate<'2026-12-05' And a.FBillType='1'",
     false},
    {"bill_type_check", "Select distinct(FBillType) from t_ls_Retail where FID in ('1','2')", false},
};

sqlite3* FixtureDb() {
  static sqlite3* db = [] {
    sqlite3* d = nullptr;
    sqlite3_open(":memory:", &d);
    std::ifstream in(DIALECT_FIXTURE);
    std::stringstream ss;
    ss << in.rdbuf();
    if (sqlite3_exec(d, ss.str().c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
      std::fprintf(stderr, "fixture: %s\n", sqlite3_errmsg(d));
    }
    // The aggregated-lines read needs #0408.
    const auto t = TranslateBatch(kCorpus[2].tsql);
    for (const auto& s : t.statements) sqlite3_exec(d, s.sql.c_str(), nullptr, nullptr, nullptr);
    return d;
  }();
  return db;
}

// Runs translated statements as the backend does; false on a database error.
bool Run(sqlite3* db, const std::vector<TranslatedStatement>& statements) {
  for (const TranslatedStatement& s : statements) {
    if (s.kind == TranslatedStatement::Kind::Skip) continue;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, s.sql.c_str(), static_cast<int>(s.sql.size()), &stmt, nullptr) != SQLITE_OK) {
      return false;
    }
    bool truthy = false;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      if (s.kind == TranslatedStatement::Kind::IfThen) truthy = sqlite3_column_int64(stmt, 0) != 0;
      benchmark::DoNotOptimize(sqlite3_column_count(stmt));
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) return false;
    if (truthy && !Run(db, s.then)) return false;
  }
  return true;
}

void BM_Translate(benchmark::State& state, const CorpusStatement* c) {
  for (auto _ : state) {
    auto t = TranslateBatch(c->tsql);
    benchmark::DoNotOptimize(t);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(std::string_view(c->tsql).size()));
}

void BM_Execute(benchmark::State& state, const CorpusStatement* c) {
  sqlite3* db = FixtureDb();
  const auto t = TranslateBatch(c->tsql);
  if (!t.ok) {
    state.SkipWithError(t.error.c_str());
    return;
  }
  if (c->writes) sqlite3_exec(db, "SAVEPOINT bench", nullptr, nullptr, nullptr);
  for (auto _ : state) {
    if (!Run(db, t.statements)) {
      state.SkipWithError(sqlite3_errmsg(db));
      break;
    }
    if (c->writes) {
      state.PauseTiming();
      sqlite3_exec(db, "ROLLBACK TO bench", nullptr, nullptr, nullptr);
      state.ResumeTiming();
    }
  }
  if (c->writes) sqlite3_exec(db, "RELEASE bench", nullptr, nullptr, nullptr);
}

// The console output plus a closing table of translation / execution.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (!run.error_occurred) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-22s %8s %14s %14s %9s\n", "statement", "chars", "translate us", "execute us",
                "ratio");
    double translate_total = 0, execute_total = 0;
    for (const CorpusStatement& c : kCorpus) {
      const auto tr = times_.find(std::string("Translate/") + c.name);
      const auto ex = times_.find(std::string("Execute/") + c.name);
      if (tr == times_.end() || ex == times_.end()) continue;
      std::printf("%-22s %8zu %14.2f %14.2f %8.1f%%\n", c.name, std::string_view(c.tsql).size(),
                  tr->second, ex->second, 100.0 * tr->second / ex->second);
      translate_total += tr->second;
      execute_total += ex->second;
    }
    // The goal is for the corpus as a whole: translation well below execution.
    if (execute_total > 0) {
      std::printf("%-22s %8s %14.2f %14.2f %8.1f%%\n", "corpus", "", translate_total, execute_total,
                  100.0 * translate_total / execute_total);
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  for (const CorpusStatement& c : kCorpus) {
    benchmark::RegisterBenchmark((std::string("Translate/") + c.name).c_str(), BM_Translate, &c)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((std::string("Execute/") + c.name).c_str(), BM_Execute, &c)
        ->Unit(benchmark::kMicrosecond);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
