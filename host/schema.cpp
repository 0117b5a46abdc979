// The host database's tables, indexes and trigger.
//
// Types are the SQL Server ones, so that values come back typed (bit,
// datetime, int, money, ...).  On the embedded database dates are text
// "yyyy-mm-dd[ hh:mm:ss]"; on a server the same tables are made with the
// server's types (schema_postgresql.cpp).
// Every column has a default unless it is a key, so a test can insert a row
// naming only the columns it cares about.  Text that the host compares
// without regard to case (numbers, names, keys) is COLLATE NOCASE, as on a
// case-insensitive server.
#include "host/database_builder.h"

#include "host/schema_postgresql.h"
#include "platform/data/backend.h"

namespace tovan::hostlib {

namespace {

// POS retail bills, their goods lines and their settlement lines.
constexpr const char* kRetailTables = R"sql(
CREATE TABLE t_LS_Retail (
  FID int NOT NULL PRIMARY KEY,
  FBillNo varchar(50) COLLATE NOCASE DEFAULT '',
  FDate datetime,                      -- the day, at midnight: the closing's filters compare whole days
  FSaleTime datetime,                  -- when the till closed the sale
  FBillType int DEFAULT 1,             -- 1 retail sale, 2 retail return
  FBranchShop int DEFAULT 0,
  FStock int DEFAULT 0,
  FCashier int DEFAULT 0,
  FTotalAmount money DEFAULT 0,
  FDiscountAmount money DEFAULT 0,
  FDailyBillID int NOT NULL DEFAULT 0, -- 0 while the bill is open
  FDailyBillNo varchar(50) COLLATE NOCASE DEFAULT '',
  FCustID int DEFAULT 0,
  FNote nvarchar(255) DEFAULT ''
);
CREATE INDEX ix_LS_Retail_DailyBill ON t_LS_Retail (FDailyBillID);
CREATE INDEX ix_LS_Retail_Date ON t_LS_Retail (FDate);
CREATE INDEX ix_LS_Retail_BillNo ON t_LS_Retail (FBillNo);

-- FEntryID is an identity: the balance update addresses a line by it alone.
CREATE TABLE T_LS_RetailEntry (
  FEntryID INTEGER PRIMARY KEY,
  FID int NOT NULL DEFAULT 0,
  FIndex int DEFAULT 0,
  FItemID int DEFAULT 0,
  FShowUnitID int DEFAULT 0,           -- the line's unit
  FCoefficient decimal(28,10) DEFAULT 1,
  FStock int DEFAULT 0,
  FAuxPropID int DEFAULT 0,
  FQty decimal(28,10) DEFAULT 0,       -- in the line's unit
  FShowQty decimal(28,10) DEFAULT 0,   -- in the item's base unit
  FPrice decimal(28,10) DEFAULT 0,
  FAmount money DEFAULT 0,
  FBalAmount money DEFAULT 0           -- amount less the line's share of the bill discount
);
CREATE INDEX ix_LS_RetailEntry_FID ON T_LS_RetailEntry (FID);

CREATE TABLE t_LS_RetailEntry2 (
  FEntryID INTEGER PRIMARY KEY,
  FID int NOT NULL DEFAULT 0,
  FIndex int DEFAULT 0,
  FSettleID int DEFAULT 0,             -- t_LS_Settle
  FSettleAmount money DEFAULT 0,
  FCardNo varchar(50) DEFAULT ''
);
CREATE INDEX ix_LS_RetailEntry2_FID ON t_LS_RetailEntry2 (FID, FSettleID);

CREATE TABLE t_LS_Settle (
  FItemID int NOT NULL PRIMARY KEY,
  FNumber varchar(30) COLLATE NOCASE DEFAULT '',
  FName nvarchar(80) COLLATE NOCASE DEFAULT ''
);
CREATE TABLE t_LS_BranchShop (
  FItemID int NOT NULL PRIMARY KEY,
  FNumber varchar(30) COLLATE NOCASE DEFAULT '',
  FName nvarchar(80) COLLATE NOCASE DEFAULT '',
  FStockID int DEFAULT 0               -- the shop's own stock
);
CREATE TABLE t_LS_Cashier (
  FItemID int NOT NULL PRIMARY KEY,
  FNumber varchar(30) COLLATE NOCASE DEFAULT '',
  FName nvarchar(80) COLLATE NOCASE DEFAULT '',
  FBranchShopID int DEFAULT 0
);
)sql";

// Daily bills.  FID is an identity (the closing reads it back by bill number)
// and, like a server's, never hands out a number twice.
constexpr const char* kDailyBillTables = R"sql(
CREATE TABLE t_LS_DailyBill (
  FID INTEGER PRIMARY KEY AUTOINCREMENT,
  FClassTypeID int DEFAULT 1090001,
  FBillNo varchar(50) COLLATE NOCASE,
  FDate datetime,
  FEmpID int DEFAULT 0,
  FInvoiceType int DEFAULT 0,
  FClient int DEFAULT 0,
  FTaxRate float DEFAULT 0,
  FNote nvarchar(255) DEFAULT '',
  FCloseTime datetime DEFAULT (datetime('now','localtime'))  -- when the closing wrote it (host's own)
);
CREATE UNIQUE INDEX ux_LS_DailyBill_BillNo ON t_LS_DailyBill (FBillNo);

CREATE TABLE t_LS_DailyBillEntry (
  FID int NOT NULL,
  FIndex int NOT NULL,
  FID_SRC int DEFAULT 0,
  FBillNo_SRC varchar(50) COLLATE NOCASE DEFAULT '',
  PRIMARY KEY (FID, FIndex)
);
CREATE INDEX ix_LS_DailyBillEntry_Src ON t_LS_DailyBillEntry (FID_SRC);
)sql";

// Stock bills.  The closing names the columns from its records' keys, so every
// key of the assembled header and entries is a column here.
constexpr const char* kStockBillTables = R"sql(
CREATE TABLE t_cc_stockbill (
  FID int NOT NULL PRIMARY KEY,
  FBillNo varchar(50) COLLATE NOCASE,
  FClassTypeID int DEFAULT 1030002,
  FBillTypeID int DEFAULT 3001,        -- 3001 sales, 3002 return
  FDate datetime,
  FCustID int DEFAULT 0,
  FCurPayID int DEFAULT 0,
  FCheckDate datetime,
  FSettleLimitDate datetime,
  FBillerID int DEFAULT 0,
  FCheckerID int DEFAULT 0,
  FExplanation nvarchar(255) COLLATE NOCASE DEFAULT '',
  FDeptID int DEFAULT 0,
  FAllAmount money DEFAULT 0,
  FCurPayAmount money DEFAULT 0,
  FCurCheckAmount money DEFAULT 0,
  FBalanceStyle smallint DEFAULT 0,
  FAcctNo int DEFAULT 0,               -- t_SettleAcct
  FCheckAmount money DEFAULT 0,
  FUnCheckAmount money DEFAULT 0,
  FInvoiceType int DEFAULT 0,          -- t_BaseBillTypeData
  FStatus smallint DEFAULT 0,          -- 1 once the stock audit has posted it
  FVoucherID int DEFAULT 0,
  FNote nvarchar(255) DEFAULT ''
);
CREATE UNIQUE INDEX ux_cc_stockbill_BillNo ON t_cc_stockbill (FBillNo);

CREATE TABLE t_CC_StockBillEntry (
  FID int NOT NULL,
  FIndex int NOT NULL,
  FItemID int DEFAULT 0,
  FUnitID int DEFAULT 0,
  FShowUnitID int DEFAULT 0,
  FCoefficient decimal(28,10) DEFAULT 1,
  FAuxPropID int DEFAULT 0,
  FSCStockID int DEFAULT 0,
  FQty decimal(28,10) DEFAULT 0,
  FShowQty decimal(28,10) DEFAULT 0,
  FUnRejectQty decimal(28,10) DEFAULT 0,
  FBatchNo varchar(200) COLLATE NOCASE DEFAULT '',
  FKFPeriod int DEFAULT 0,
  FKFDate datetime,
  FPeriodDate datetime,
  FCostPrice decimal(28,10) DEFAULT 0,
  FCostAmount money DEFAULT 0,
  FDiscountAmount money DEFAULT 0,
  FDiscountRate float DEFAULT 100,
  FInTaxAmount money DEFAULT 0,
  FAmount money DEFAULT 0,
  FTaxAmount money DEFAULT 0,
  FTaxPrice decimal(28,10) DEFAULT 0,
  FPriceDiscount decimal(28,10) DEFAULT 0,
  FPrice decimal(28,10) DEFAULT 0,
  FSecUnitID int DEFAULT 0,
  FSecCoefficient decimal(28,10) DEFAULT 0,
  FSecQty decimal(28,10) DEFAULT 0,
  FUnRejectAuxQty decimal(28,10) DEFAULT 0,
  FSecPrice decimal(28,10) DEFAULT 0,
  FTaxRate float DEFAULT 0,
  FClassID_SRC int DEFAULT 0,
  FBillNo_SRC varchar(50) COLLATE NOCASE DEFAULT '',
  FID_SRC int DEFAULT 0,
  FNote nvarchar(2000) DEFAULT '',        -- entry notes carry what the closing writes into them
  PRIMARY KEY (FID, FIndex)
);
CREATE INDEX ix_CC_StockBillEntry_Src ON t_CC_StockBillEntry (FID_SRC, FClassID_SRC);
)sql";

// Receivables: check bills and the bills that may name a stock or check bill as
// their source (the cancellation's reference check).
constexpr const char* kReceivableTables = R"sql(
CREATE TABLE t_rp_Checkbill (
  FID int NOT NULL PRIMARY KEY,
  FClassTypeID int DEFAULT 1050003,
  FBillNo varchar(50) COLLATE NOCASE,
  FBillTypeID int DEFAULT 5024,
  FDate datetime,
  FExplanation nvarchar(255) COLLATE NOCASE DEFAULT '',
  FBillerID int DEFAULT 0,
  FCheckerID int DEFAULT 0,
  FCheckDate datetime,
  FAmount money DEFAULT 0,
  FOutCustID int DEFAULT 0,
  FInCustID int DEFAULT 0,
  FHint1 nvarchar(80) COLLATE NOCASE DEFAULT '',
  FStatus smallint DEFAULT 0,          -- 1 once written off
  FDeptID int DEFAULT 0,
  FVoucherID int DEFAULT 0,
  FNote nvarchar(255) DEFAULT ''
);
CREATE UNIQUE INDEX ux_rp_Checkbill_BillNo ON t_rp_Checkbill (FBillNo);

CREATE TABLE t_rp_Checkbillentry1 (
  FID int NOT NULL,
  FIndex int NOT NULL,
  FIsSelected bit DEFAULT 0,
  FSourceBillNo varchar(50) COLLATE NOCASE DEFAULT '',
  FBillDate datetime,
  FSourceClassTypeDesc nvarchar(80) COLLATE NOCASE DEFAULT '',
  FBillAmount money DEFAULT 0,
  FBillCheckAmount money DEFAULT 0,
  FBillUnCheckAmount money DEFAULT 0,
  FBillSettleAmount money DEFAULT 0,
  FSourceBillID int DEFAULT 0,
  FSourceClassTypeID int DEFAULT 0,
  FInitItemID int DEFAULT 0,
  PRIMARY KEY (FID, FIndex)
);
CREATE INDEX ix_rp_Checkbillentry1_Src ON t_rp_Checkbillentry1 (FSourceBillID, FSourceClassTypeID);

CREATE TABLE t_RP_CheckBillentry2 (
  FID int NOT NULL,
  FIndex int NOT NULL DEFAULT 1,
  FSourceBillNo varchar(50) COLLATE NOCASE DEFAULT '',
  FSourceBillID int DEFAULT 0,
  FSourceClassTypeID int DEFAULT 0,
  FBillAmount money DEFAULT 0,
  FBillSettleAmount money DEFAULT 0,
  PRIMARY KEY (FID, FIndex)
);
CREATE INDEX ix_RP_CheckBillentry2_Src ON t_RP_CheckBillentry2 (FSourceBillID, FSourceClassTypeID);

CREATE TABLE t_RP_RBillEntry (
  FID int NOT NULL,
  FEntryID int NOT NULL DEFAULT 1,
  FSourceBillNo varchar(50) COLLATE NOCASE DEFAULT '',
  FSourceBillID int DEFAULT 0,
  FSourceClassTypeID int DEFAULT 0,
  FAmount money DEFAULT 0,
  PRIMARY KEY (FID, FEntryID)
);
CREATE INDEX ix_RP_RBillEntry_Src ON t_RP_RBillEntry (FSourceBillID, FSourceClassTypeID);
)sql";

// Stock on hand per item, stock, auxiliary property and batch, and what the
// stock audit posted per stock bill.  Deleting a stock bill whose posting is
// still in force gives that stock back, so a closing undone by deletes after
// its audit loses nothing.
constexpr const char* kStockTables = R"sql(
CREATE TABLE t_CC_Inventory (
  FItemID int NOT NULL,
  FStockID int NOT NULL,
  FAuxPropID int NOT NULL DEFAULT 0,
  FBatchNo varchar(200) COLLATE NOCASE NOT NULL DEFAULT '',
  FQty decimal(28,10) DEFAULT 0,
  FKFDate datetime DEFAULT '1900-01-01',
  FKFPeriod int DEFAULT 0,
  FPeriodDate datetime DEFAULT '1900-01-01',
  FSecQty decimal(28,10) DEFAULT 0
);
CREATE UNIQUE INDEX ux_CC_Inventory ON t_CC_Inventory (FItemID, FStockID, FAuxPropID, FBatchNo);

CREATE TABLE t_CC_StockPosting (
  FInterID int NOT NULL,
  FEntryID int NOT NULL,
  FItemID int NOT NULL,
  FStockID int NOT NULL,
  FAuxPropID int NOT NULL DEFAULT 0,
  FBatchNo varchar(200) COLLATE NOCASE NOT NULL DEFAULT '',
  FQty decimal(28,10) NOT NULL         -- the signed change applied to t_CC_Inventory.FQty
);
-- Un-audit looks each stock row's posting up by bill and stock key.
CREATE INDEX ix_CC_StockPosting_Key ON t_CC_StockPosting (FInterID, FItemID, FStockID, FAuxPropID, FBatchNo);

)sql";

// Deleting a stock bill whose posting is still in force gives that stock back;
// the audit trail refuses every change but an appended row.
constexpr const char* kSqliteTrigger = R"sql(
CREATE TRIGGER tr_AuditLog_NoUpdate BEFORE UPDATE ON t_AuditLog
BEGIN SELECT RAISE(ABORT, 'the audit trail is only appended to'); END;
CREATE TRIGGER tr_AuditLog_NoDelete BEFORE DELETE ON t_AuditLog
BEGIN SELECT RAISE(ABORT, 'the audit trail is only appended to'); END;
CREATE TRIGGER tr_cc_stockbill_GiveStockBack AFTER DELETE ON t_cc_stockbill
BEGIN
  UPDATE t_CC_Inventory SET FQty = t_CC_Inventory.FQty - p.FQty
    FROM (SELECT FItemID, FStockID, FAuxPropID, FBatchNo, sum(FQty) AS FQty FROM t_CC_StockPosting
          WHERE FInterID = OLD.FID GROUP BY FItemID, FStockID, FAuxPropID, FBatchNo) AS p
    WHERE t_CC_Inventory.FItemID = p.FItemID AND t_CC_Inventory.FStockID = p.FStockID
      AND t_CC_Inventory.FAuxPropID = p.FAuxPropID AND t_CC_Inventory.FBatchNo = p.FBatchNo;
  -- A row removed since the posting comes back holding just what is given back.
  INSERT INTO t_CC_Inventory (FItemID, FStockID, FAuxPropID, FBatchNo, FQty)
    SELECT p.FItemID, p.FStockID, p.FAuxPropID, p.FBatchNo, -sum(p.FQty) FROM t_CC_StockPosting p
    WHERE p.FInterID = OLD.FID AND NOT EXISTS (
      SELECT 1 FROM t_CC_Inventory i WHERE i.FItemID = p.FItemID AND i.FStockID = p.FStockID
        AND i.FAuxPropID = p.FAuxPropID AND i.FBatchNo = p.FBatchNo)
    GROUP BY p.FItemID, p.FStockID, p.FAuxPropID, p.FBatchNo;
  DELETE FROM t_CC_StockPosting WHERE FInterID = OLD.FID;
END;
)sql";

// Master data: items of every class share t_Item's ID space.
constexpr const char* kMasterTables = R"sql(
CREATE TABLE t_Item (
  FItemID int NOT NULL PRIMARY KEY,
  FItemClassID int DEFAULT 0,          -- 1 goods, 2 departments, 4 customers, 5 stocks
  FNumber varchar(80) COLLATE NOCASE DEFAULT '',
  FName nvarchar(255) COLLATE NOCASE DEFAULT '',
  FParentID int DEFAULT 0,
  FLevel smallint DEFAULT 1,
  FDetail bit DEFAULT 1,               -- a leaf of its tree
  FTaxRate float,                      -- NULL: the class's default
  FDeleted bit DEFAULT 0
);
CREATE INDEX ix_Item_Tree ON t_Item (FItemClassID, FParentID, FNumber);

CREATE TABLE t_ICItem (
  FItemID int NOT NULL PRIMARY KEY,
  FNumber varchar(80) COLLATE NOCASE DEFAULT '',
  FName nvarchar(255) COLLATE NOCASE DEFAULT '',
  FModel nvarchar(255) COLLATE NOCASE DEFAULT '',
  FUnitGroupID int DEFAULT 0,
  FUnitID int DEFAULT 0,               -- base unit
  FSecUnitID int DEFAULT 0,
  FSecCoefficient decimal(28,10) DEFAULT 0,
  FIsBatchManager bit DEFAULT 0,
  FKFPeriod int DEFAULT 0,             -- shelf life in days
  FCostPrice decimal(28,10) DEFAULT 0,
  FSalePrice decimal(28,10) DEFAULT 0, -- per base unit
  FAuxClassID int DEFAULT 0,           -- t_AuxItem.FAuxClassID of its properties, 0 for none
  FDefaultLoc int DEFAULT 0            -- the stock it is sold from when not the shop's own
);
CREATE INDEX ix_ICItem_Number ON t_ICItem (FNumber);

CREATE TABLE t_Goods (
  FItemID int NOT NULL PRIMARY KEY,
  FTrack int DEFAULT 0                 -- costing method; 80 tracks stock by batch
);

CREATE TABLE t_UnitGroup (
  FUnitGroupID int NOT NULL PRIMARY KEY,
  FName nvarchar(80) COLLATE NOCASE DEFAULT ''
);
CREATE TABLE t_MeasureUnit (
  FMeasureUnitID int NOT NULL PRIMARY KEY,
  FUnitGroupID int DEFAULT 0,
  FNumber varchar(30) COLLATE NOCASE DEFAULT '',
  FName nvarchar(80) COLLATE NOCASE DEFAULT '',
  FCoefficient decimal(28,10) DEFAULT 1  -- base units per unit
);

CREATE TABLE t_AuxItem (
  FItemID int NOT NULL PRIMARY KEY,
  FAuxClassID int DEFAULT 0,
  FNumber varchar(30) COLLATE NOCASE DEFAULT '',
  FName nvarchar(80) COLLATE NOCASE DEFAULT ''
);

CREATE TABLE t_Stock (
  FItemID int NOT NULL PRIMARY KEY,
  FNumber varchar(30) COLLATE NOCASE DEFAULT '',
  FName nvarchar(80) COLLATE NOCASE DEFAULT '',
  FTypeID int DEFAULT 500,             -- 500 ordinary, 501 awaiting check, 502 custody (no cost)
  FDeleted bit DEFAULT 0
);

CREATE TABLE t_Organization (
  FItemID int NOT NULL PRIMARY KEY,    -- the customer's t_Item.FItemID
  FNumber varchar(80) COLLATE NOCASE DEFAULT '',
  FName nvarchar(255) COLLATE NOCASE DEFAULT '',
  FContact nvarchar(80) DEFAULT '',
  FPhone varchar(40) DEFAULT '',
  FFax varchar(40) DEFAULT '',
  FAddress nvarchar(255) DEFAULT ''
);

CREATE TABLE t_SettleAcct (
  FItemID int NOT NULL PRIMARY KEY,
  FNumber varchar(30) COLLATE NOCASE DEFAULT '',
  FName nvarchar(80) COLLATE NOCASE DEFAULT '',
  FFixed bit DEFAULT 0,                -- kept by the system, not offered
  FDeleted bit DEFAULT 0
);

-- Invoice types and the other small enumerations of bills.
CREATE TABLE t_BaseBillTypeData (
  FID int NOT NULL PRIMARY KEY,
  FNumber varchar(30) COLLATE NOCASE DEFAULT '',
  FName nvarchar(80) COLLATE NOCASE DEFAULT ''
);

-- The host's users are its operators: a role, active or not, a password hash
-- (argon2id in libsodium's string form, '' until one is set) and, for a
-- closer, the shops they close.
CREATE TABLE t_Users (
  FUserID int NOT NULL PRIMARY KEY,
  FName nvarchar(80) COLLATE NOCASE DEFAULT '',
  FRole varchar(20) DEFAULT 'closer',  -- closer, supervisor or admin
  FActive bit DEFAULT 1,
  FPasswordHash varchar(255) DEFAULT ''
);
CREATE TABLE t_UserShops (
  FUserID int NOT NULL,
  FShopID int NOT NULL,
  PRIMARY KEY (FUserID, FShopID)
);
)sql";

// The search index and the captions it is written with.
constexpr const char* kSearchTables = R"sql(
CREATE TABLE t_searchinfo_temp (
  FSearchText ntext DEFAULT '',
  FKey varchar(255) COLLATE NOCASE DEFAULT '',
  FObjectId int DEFAULT 1,
  FAction int DEFAULT 0                -- 2: the bill was removed
);
CREATE INDEX ix_searchinfo_temp_Key ON t_searchinfo_temp (FKey);

CREATE TABLE icclasstableinfo (
  FClassTypeID int NOT NULL,
  FPage smallint NOT NULL DEFAULT 1,   -- 1 header, 2 entries
  FKey varchar(80) COLLATE NOCASE NOT NULL,
  FCaption_CHS nvarchar(80) DEFAULT '',
  FCaption_CHT nvarchar(80) DEFAULT '',
  FCaption_EN varchar(80) DEFAULT '',
  FVisible smallint DEFAULT -1,        -- -1 shown, 0 hidden
  FTabIndex int DEFAULT 0
);
CREATE UNIQUE INDEX ux_icclasstableinfo ON icclasstableinfo (FClassTypeID, FPage, FKey);
CREATE INDEX ix_icclasstableinfo_Tab ON icclasstableinfo (FClassTypeID, FPage, FTabIndex);
)sql";

// The host's own bookkeeping: counters behind interior IDs (GetICMaxNum) and
// bill numbers, system options and user settings.
constexpr const char* kHostTables = R"sql(
CREATE TABLE t_ICMaxNum (
  FTableName varchar(50) NOT NULL PRIMARY KEY COLLATE NOCASE,
  FMaxNum int NOT NULL                 -- the highest ID handed out
);
CREATE TABLE t_BillCodeRule (
  FBillType varchar(20) NOT NULL PRIMARY KEY COLLATE NOCASE,
  FPrefix varchar(20) NOT NULL,
  FDigits int NOT NULL,
  FCurNo int NOT NULL DEFAULT 0        -- the last number handed out
);
CREATE TABLE t_SystemProfile (
  FCategory varchar(30) NOT NULL COLLATE NOCASE,
  FKey varchar(60) NOT NULL COLLATE NOCASE,
  FValue varchar(255),
  PRIMARY KEY (FCategory, FKey)
);
-- What the operators did: one row per event, only ever appended to.
CREATE TABLE t_AuditLog (
  FID INTEGER PRIMARY KEY AUTOINCREMENT,
  FTime datetime DEFAULT (datetime('now','localtime')),
  FUserID int DEFAULT 0,
  FEvent varchar(20) DEFAULT '',       -- close, cancel, option, user, sign-in
  FResult varchar(10) DEFAULT '',      -- done, refused, failed or unknown
  FShops varchar(255) DEFAULT '',      -- shop ids, comma-separated
  FBills ntext DEFAULT '',             -- retail bill ids, comma-separated
  FDailyBillID int DEFAULT 0,
  FDailyBillNo varchar(50) DEFAULT '',
  FMessage nvarchar(2000) DEFAULT ''
);
CREATE INDEX ix_AuditLog_Time ON t_AuditLog (FTime);
-- A daily bill's cash count: written with the closing, removed with it.
CREATE TABLE t_LS_CashCount (
  FDailyBillID int NOT NULL PRIMARY KEY,
  FUserID int DEFAULT 0,               -- who counted
  FSupervisorID int DEFAULT 0,         -- who signed off a difference beyond the tolerance; 0: none needed
  FMaxDifference money DEFAULT 0,      -- the tolerance it was accepted under
  FNote nvarchar(500) DEFAULT ''
);
CREATE TABLE t_LS_CashCountEntry (
  FDailyBillID int NOT NULL,
  FSettleID int NOT NULL,              -- t_LS_Settle
  FExpected money DEFAULT 0,           -- the bills' settlement sum
  FCounted money DEFAULT 0,
  FPieces varchar(255) DEFAULT '',     -- notes and coins, "100x12+0.5x4"; '' when counted as one amount
  PRIMARY KEY (FDailyBillID, FSettleID)
);
CREATE TABLE t_UserProfile (
  FUserID int NOT NULL,
  FSection varchar(60) NOT NULL COLLATE NOCASE,
  FKey varchar(60) NOT NULL COLLATE NOCASE,
  FValue varchar(255),
  PRIMARY KEY (FUserID, FSection, FKey)
);
)sql";

}  // namespace

void CreateSchema(data::ConnectionBackend& db) {
  detail::WriteScope scope(db);
  const bool server = db.Engine() == "postgresql";
  if (server) db.ExecuteScript(detail::kPostgresPrologue);
  for (const char* script : {kRetailTables, kDailyBillTables, kStockBillTables, kReceivableTables, kStockTables,
                             kMasterTables, kSearchTables, kHostTables})
    db.ExecuteScript(server ? detail::PostgresTables(script) : std::string(script));
  db.ExecuteScript(server ? detail::kPostgresEpilogue : kSqliteTrigger);
  scope.Commit();
}

}  // namespace tovan::hostlib
