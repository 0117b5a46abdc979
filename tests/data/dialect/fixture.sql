-- The host tables the component's statements name, with SQL Server type names
-- (so SQLite gives numeric affinity to numeric columns), and a small data set.
-- Text that the host compares without regard to case is COLLATE NOCASE.

CREATE TABLE t_LS_Retail (
  FID int PRIMARY KEY,
  FBillNo varchar(50) COLLATE NOCASE,
  FDate datetime,
  FBillType int,
  FBranchShop int,
  FStock int,
  FCashier int,
  FDailyBillID int DEFAULT 0,
  FDailyBillNo varchar(50) COLLATE NOCASE DEFAULT '',
  FTotalAmount money,
  FDiscountAmount money
);
CREATE TABLE T_LS_RetailEntry (
  FEntryID int PRIMARY KEY,
  FID int,
  FItemID int,
  FShowUnitID int,
  FCoefficient decimal(28,10),
  FStock int,
  FAuxPropID int,
  FQty decimal(28,10),
  FShowQty decimal(28,10),
  FAmount money,
  FBalAmount money
);
CREATE TABLE t_LS_RetailEntry2 (
  FID int,
  FSettleID int,
  FSettleAmount money
);
CREATE TABLE t_LS_Settle (
  FItemID int PRIMARY KEY,
  FName nvarchar(80) COLLATE NOCASE
);
CREATE TABLE t_ls_BranchShop (
  FItemID int PRIMARY KEY,
  FName nvarchar(80) COLLATE NOCASE
);
CREATE TABLE t_LS_Cashier (
  FItemID int PRIMARY KEY,
  FName nvarchar(80) COLLATE NOCASE
);
-- FID is an identity column in the host: read back by bill number after the insert.
CREATE TABLE t_LS_DailyBill (
  FID integer PRIMARY KEY AUTOINCREMENT,
  FClassTypeID int,
  FBillNo varchar(50) COLLATE NOCASE,
  FDate datetime,
  FEmpID int,
  FInvoiceType int,
  FClient int,
  FTaxRate float
);
CREATE TABLE t_LS_DailyBillEntry (
  FID int,
  FIndex int,
  FID_SRC int,
  FBillNo_SRC varchar(50) COLLATE NOCASE
);

CREATE TABLE t_cc_stockbill (
  FID int PRIMARY KEY,
  FBillNo varchar(50) COLLATE NOCASE,
  FCustID int,
  FCurPayID int,
  FClassTypeID int,
  FDate datetime,
  FCheckDate datetime,
  FSettleLimitDate datetime,
  FBillTypeID int,
  FBillerID int,
  FCheckerID int,
  FExplanation nvarchar(255) COLLATE NOCASE,
  fdeptid int DEFAULT 0,
  FAllAmount money,
  FCurPayAmount money,
  FCurCheckAmount money,
  FBalanceStyle int,
  FAcctNo int,
  FCheckAmount money,
  FUnCheckAmount money,
  FInvoiceType int,
  FStatus int,
  FVoucherID int DEFAULT 0
);
CREATE TABLE t_CC_StockBillEntry (
  FID int,
  FIndex int,
  FItemID int,
  FUnitID int,
  FShowUnitID int,
  FCoefficient decimal(28,10),
  FAuxPropID int,
  FSCStockID int,
  FQty decimal(28,10),
  FShowQty decimal(28,10),
  FUnRejectQty decimal(28,10),
  FBatchNo varchar(50) COLLATE NOCASE,
  FKFPeriod int,
  FKFDate datetime,
  FPeriodDate datetime,
  FCostPrice money,
  FCostAmount money,
  FDiscountAmount money,
  FDiscountRate float,
  FInTaxAmount money,
  FAmount money,
  FTaxAmount money,
  FTaxPrice money,
  FPriceDiscount money,
  FPrice money,
  FSecUnitID int,
  FSecCoefficient decimal(28,10),
  FSecQty decimal(28,10),
  FUnRejectAuxQty decimal(28,10),
  FSecPrice money,
  FTaxRate float,
  FClassID_SRC int,
  FBillNo_SRC varchar(50) COLLATE NOCASE,
  FID_SRC int
);
CREATE TABLE t_rp_Checkbill (
  FID int PRIMARY KEY,
  FClassTypeID int,
  FBillNo varchar(50) COLLATE NOCASE,
  FBillTypeID int,
  FDate datetime,
  FExplanation nvarchar(255) COLLATE NOCASE,
  FBillerID int,
  FCheckerID int,
  FCheckDate datetime,
  FAmount money,
  FOutCustID int,
  FInCustID int,
  FHint1 nvarchar(80) COLLATE NOCASE,
  FStatus int,
  fdeptid int,
  FVoucherID int DEFAULT 0
);
CREATE TABLE t_rp_Checkbillentry1 (
  FID int,
  FIndex int,
  FIsSelected bit,
  FSourceBillNo varchar(50) COLLATE NOCASE,
  FBillDate datetime,
  FSourceClassTypeDesc nvarchar(80) COLLATE NOCASE,
  FBillAmount money,
  FBillCheckAmount money,
  FBillUnCheckAmount money,
  FBillSettleAmount money,
  FSourceBillID int,
  FSourceClassTypeID int,
  FInitItemID int
);
CREATE TABLE t_RP_CheckBillentry2 (
  FID int,
  FSourceClassTypeID int,
  FSourceBillID int
);
CREATE TABLE t_RP_RBillEntry (
  FID int,
  FSourceClassTypeID int,
  FSourceBillID int
);

CREATE TABLE t_CC_Inventory (
  FItemID int,
  FStockID int,
  FAuxPropID int,
  FBatchNo varchar(50) COLLATE NOCASE,
  FQty decimal(28,10),
  FKFDate datetime,
  FPeriodDate datetime,
  FKFPeriod int
);
CREATE TABLE t_ICItem (
  FItemID int PRIMARY KEY,
  FName nvarchar(80) COLLATE NOCASE,
  FNumber varchar(80) COLLATE NOCASE,
  FModel nvarchar(80) COLLATE NOCASE,
  FIsBatchManager bit,
  FUnitID int,
  FSecUnitID int,
  FSecCoefficient decimal(28,10),
  FCostPrice money
);
CREATE TABLE t_Item (
  FItemID int PRIMARY KEY,
  FItemClassID int,
  FName nvarchar(80) COLLATE NOCASE,
  FNumber varchar(80) COLLATE NOCASE,
  FParentID int,
  FDetail bit,
  FLevel smallint,
  FTaxRate float
);
CREATE TABLE t_Goods (
  FItemID int PRIMARY KEY,
  FTrack int
);
CREATE TABLE t_stock (
  FItemID int PRIMARY KEY,
  FName nvarchar(80) COLLATE NOCASE,
  FTypeID int
);
CREATE TABLE t_MeasureUnit (
  FMeasureUnitID int PRIMARY KEY,
  FName nvarchar(80) COLLATE NOCASE
);
CREATE TABLE t_AuxItem (
  FItemID int PRIMARY KEY,
  FName nvarchar(80) COLLATE NOCASE
);
CREATE TABLE t_Organization (
  FItemID int PRIMARY KEY,
  FName nvarchar(80) COLLATE NOCASE,
  FNumber varchar(80) COLLATE NOCASE,
  FPhone varchar(40),
  FFax varchar(40),
  FContact nvarchar(40)
);
CREATE TABLE t_SettleAcct (
  FItemID int PRIMARY KEY,
  FName nvarchar(80) COLLATE NOCASE,
  FFixed bit,
  FDeleted bit
);
CREATE TABLE t_BaseBillTypeData (
  FID int PRIMARY KEY,
  FName nvarchar(80) COLLATE NOCASE
);
CREATE TABLE t_searchinfo_temp (
  FSearchText nvarchar(4000) DEFAULT '',
  FKey varchar(255) COLLATE NOCASE,
  FObjectId int,
  FAction int DEFAULT 0
);
CREATE TABLE icclasstableinfo (
  FClassTypeID int,
  FKey varchar(80) COLLATE NOCASE,
  FCaption_CHS nvarchar(80),
  FVisible int,
  FPage int,
  FTabIndex int
);

-- Master data.  Items 101-103; customers 201-203 (t_Item class 4), 203 a child of 201.
INSERT INTO t_ICItem VALUES
  (101, 'Tea', '01.001', 'T-1', 0, 1, 0, 0, 2.5),
  (102, 'Rice', '01.002', 'R-5kg', 1, 1, 12, 12, 4),
  (103, 'Oil', '01.003', NULL, 0, 1, 0, 0, 10);
INSERT INTO t_Item VALUES
  (101, 1, 'Tea', '01.001', 0, 1, 1, 13),
  (102, 1, 'Rice', '01.002', 0, 1, 1, 17),
  (103, 1, 'Oil', '01.003', 0, 1, 1, NULL),
  (201, 4, 'Acme', '02', 0, 0, 1, 17),
  (202, 4, 'Beta', '01', 0, 1, 1, NULL),
  (203, 4, 'Acme North', '02.01', 201, 1, 2, 13);
INSERT INTO t_Organization VALUES
  (201, 'Acme', '02', '555-0101', '555-0102', 'Ann'),
  (203, 'Acme North', '02.01', NULL, NULL, NULL);
INSERT INTO t_Goods VALUES (101, 0), (102, 80);
INSERT INTO t_stock VALUES (1, 'Main', 500), (2, 'Consignment', 502);
INSERT INTO t_MeasureUnit VALUES (1, 'Piece'), (12, 'Box');
INSERT INTO t_ls_BranchShop VALUES (1, 'North'), (2, 'South');
INSERT INTO t_LS_Cashier VALUES (1, 'Li'), (2, 'Wang');
INSERT INTO t_LS_Settle VALUES (0, 'Coupon'), (1, 'Cash'), (2, 'Card'), (3, 'Voucher'), (4, 'Points'), (5, 'Transfer');
INSERT INTO t_SettleAcct VALUES (1, '现金', 0, 0), (2, 'Bank', 0, 0), (3, 'Fixed', 1, 0), (4, 'Deleted', 0, 1);
INSERT INTO t_BaseBillTypeData VALUES (2020, 'VAT invoice');

-- Open retail bills 1-3 (3 is a return), bill 4 closed into daily bill 7.
INSERT INTO t_LS_Retail VALUES
  (1, 'LS001', '2026-12-04', 1, 1, 1, 1, 0, '', 100, 10),
  (2, 'LS002', '2026-12-04 10:30:00', 1, 1, 1, 2, 0, '', 30, 10),
  (3, 'LS003', '2026-12-05', 2, 2, 1, 1, 0, '', -20, 0),
  (4, 'LS004', '2026-11-30', 1, 1, 1, 1, 7, 'RJ20261130000001', 50, 0);
-- Entry 1 sells 2 boxes of 12 (24 pieces) of tea, entry 2 five single pieces.
INSERT INTO T_LS_RetailEntry VALUES
  (1, 1, 101, 12, 12, 1, 0, 2, 24, 60, 54),
  (2, 1, 101, 1, 1, 1, 0, 5, 5, 40, 36),
  (3, 2, 102, 1, 1, 1, 0, 3, 3, 10, 6.5),
  (4, 2, 103, 1, 1, 2, 0, 1, 1, 20, 13.5),
  (5, 3, 102, 1, 1, 1, 0, -2, -2, -20, -20),
  (6, 4, 101, 1, 1, 1, 0, 1, 1, 50, 50);
INSERT INTO t_LS_RetailEntry2 VALUES
  (1, 1, 50), (1, 2, 40), (2, 2, 15), (2, 3, 5), (3, 1, -20), (4, 0, 50);
INSERT INTO t_CC_Inventory VALUES
  (102, 1, 0, 'B2', 3, '2026-01-10', '2027-01-10', 365),
  (102, 1, 0, 'B1', 4, '2026-01-01', '2027-01-01', 365),
  (102, 1, 0, 'B3', 0, '2026-02-01', '2027-02-01', 365),
  (101, 1, 0, '', 20, NULL, NULL, 0),
  (101, 1, 0, '', 5, NULL, NULL, 0);

-- An earlier closing: daily bill 7, stock bill 1001, check bill 2001.
INSERT INTO t_LS_DailyBill VALUES (7, 1090001, 'RJ20261130000001', '2026-11-30', 16, 2020, 201, 17);
INSERT INTO t_LS_DailyBillEntry VALUES (7, 0, 4, 'LS004');
INSERT INTO t_cc_stockbill (FID, FBillNo, FCustID, FClassTypeID, FDate, FBillTypeID, FAllAmount, FVoucherID)
  VALUES (1001, 'XOUT001001', 201, 1030002, '2026-11-30', 3001, 50, 0);
INSERT INTO t_CC_StockBillEntry (FID, FIndex, FItemID, FQty, FClassID_SRC, FBillNo_SRC, FID_SRC)
  VALUES (1001, 1, 101, 1, 1090001, 'RJ20261130000001', 7);
INSERT INTO t_rp_Checkbill (FID, FClassTypeID, FBillNo, FBillTypeID, FDate, FAmount, FVoucherID)
  VALUES (2001, 1050003, 'CHK002001', 5024, '2026-11-30', 50, 0);
INSERT INTO t_rp_Checkbillentry1 (FID, FIndex, FSourceBillNo, FSourceBillID, FSourceClassTypeID)
  VALUES (2001, 1, 'XOUT001001', 1001, 1030002);
INSERT INTO t_searchinfo_temp (FSearchText, FKey, FObjectId) VALUES
  ('[销售单-销售发货] 单据编号*:XOUT001001 ', 'System=yw|BillID=1001|ClassTypeID=1030002|BillTypeID=3001|', 1),
  ('[核销单-应收转应收] 单据编号*:CHK002001 ', 'System=yw|BillID=2001|ClassTypeID=1050003|BillTypeID=5024|', 1);
INSERT INTO icclasstableinfo VALUES
  (1030002, 'FCustID', '购货单位', -1, 1, 2),
  (1030002, 'FDate', '日期', -1, 1, 1),
  (1030002, 'FBillerID', '制单人', 0, 1, 3),
  (1030002, 'FItemID', '物料编码', -1, 2, 1),
  (1030002, 'FQty', '数量', -1, 2, 2);
