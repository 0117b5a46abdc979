// The reference host's master data: goods in several units, stocks, customers
// as a tree, shops and cashiers, settlement methods and accounts, invoice
// types, the captions of the search index, and the host's counters, options
// and user settings.  Fixed, except the current accounting period, which
// follows the demo's first day.
#include <cmath>
#include <cstddef>
#include <optional>
#include <string>

#include "host/database_builder.h"
#include "platform/data/backend.h"

namespace tovan::hostlib {

using automation::Variant;

namespace {

Variant OrNull(std::optional<double> v) { return v ? Variant(*v) : Variant::Null(); }

struct Unit {
  int32_t id, group;
  const char *number, *name;
  double coefficient;
};
constexpr Unit kUnits[] = {
    {1, 1, "PCS", "瓶", 1},      {2, 1, "DZN", "打", 12},   {3, 1, "CTN", "箱", 24},
    {4, 2, "BAG", "袋", 1},      {5, 2, "BOX", "盒", 10},   {6, 3, "KG", "千克", 1},
    {7, 3, "G", "克", 0.001},    {8, 3, "JIN", "斤", 0.5},  {9, 4, "EA", "个", 1},
    {10, 4, "PK", "包", 5},      {11, 5, "PC", "件", 1},    {12, 6, "TUB", "支", 1},
    {13, 6, "STP", "排", 10},
};
struct UnitGroup {
  int32_t id;
  const char* name;
  int32_t base_unit, sec_unit;  // sec_unit 0: no secondary unit
  double sec_coefficient;
};
constexpr UnitGroup kUnitGroups[] = {
    {1, "瓶装", 1, 3, 24}, {2, "袋装", 4, 5, 10}, {3, "重量", 6, 0, 0},
    {4, "个数", 9, 10, 5}, {5, "件数", 11, 0, 0}, {6, "支装", 12, 13, 10},
};

constexpr int32_t kCustodyStock = 205;

struct GoodsGroup {
  int32_t id;
  const char *number, *name;
};
constexpr GoodsGroup kGoodsGroups[] = {
    {1001, "01", "饮料"}, {1002, "02", "休闲食品"}, {1003, "03", "生鲜"},     {1004, "04", "日用品"},
    {1005, "05", "服装"}, {1006, "06", "乳制品"},   {1007, "07", "个护健康"},
};

struct Goods {
  const char *number, *name, *model;
  int32_t group, unit_group;
  double price;  // per base unit
  bool batch;
  int32_t shelf_life;
  std::optional<double> tax;
  int32_t aux_class;
  int32_t track;  // 80: costed batch by batch
  bool custody;
};
// Goods get IDs 1101, 1102, ... in this order.  Goods costed batch by batch
// come in units of their base unit or larger: the closing dialog's check of
// them adds up line quantities in whatever unit the lines have.
const Goods kGoods[] = {
    {"01.001", "矿泉水", "550ml", 1001, 1, 2.00, false, 0, 17, 0, 77, false},
    {"01.002", "橙汁饮料", "1L", 1001, 1, 6.50, false, 0, 17, 0, 77, false},
    {"01.003", "可乐", "330ml", 1001, 1, 3.00, false, 0, 17, 0, 77, false},
    {"01.004", "绿茶饮料", "500ml", 1001, 1, 3.50, false, 0, std::nullopt, 0, 77, false},
    {"01.005", "苏打水", "350ml", 1001, 1, 4.00, false, 0, 17, 0, 77, true},
    {"02.001", "薯片", "原味 70g", 1002, 2, 6.80, false, 0, 13, 0, 77, false},
    {"02.002", "夹心饼干", "200g", 1002, 2, 8.50, true, 270, 13, 0, 78, false},
    {"02.003", "坚果混合装", "150g", 1002, 2, 25.00, true, 180, 13, 0, 78, false},
    {"02.004", "牛肉干", "100g", 1002, 2, 32.00, true, 240, 13, 0, 80, false},
    {"02.005", "瓜子", "250g", 1002, 2, 9.90, false, 0, std::nullopt, 0, 77, false},
    {"03.001", "苹果", "散装", 1003, 3, 12.80, false, 0, 0, 0, 77, false},
    {"03.002", "香蕉", "散装", 1003, 3, 7.60, false, 0, 0, 0, 77, false},
    {"03.003", "五花肉", "冷鲜", 1003, 3, 32.00, true, 3, 13, 0, 78, false},
    {"03.004", "东北大米", "散装", 1003, 3, 6.40, false, 0, 13, 0, 77, false},
    {"03.005", "鸡蛋", "散装", 1003, 3, 11.00, false, 0, 0, 0, 77, false},
    {"04.001", "牙刷", "软毛", 1004, 4, 9.90, false, 0, 17, 0, 77, false},
    {"04.002", "香皂", "125g", 1004, 4, 4.50, false, 0, 17, 0, 77, false},
    {"04.003", "手帕纸", "10抽", 1004, 4, 1.50, false, 0, 17, 0, 77, false},
    {"04.004", "碱性电池", "AA", 1004, 4, 3.20, false, 0, 17, 0, 77, true},
    {"04.005", "洗洁精", "1.1kg", 1004, 4, 13.90, false, 0, std::nullopt, 0, 77, false},
    {"05.001", "纯棉T恤", "圆领", 1005, 5, 59.00, false, 0, 17, 1, 77, false},
    {"05.002", "棉袜", "中筒", 1005, 5, 12.00, false, 0, 17, 2, 77, false},
    {"05.003", "棒球帽", "可调节", 1005, 5, 39.00, false, 0, 17, 1, 77, true},
    {"06.001", "纯牛奶", "250ml", 1006, 1, 3.50, true, 180, 13, 0, 80, false},
    {"06.002", "酸奶", "200g", 1006, 1, 5.50, true, 21, 13, 0, 78, false},
    {"06.003", "婴儿奶粉", "900g", 1006, 1, 198.00, true, 540, 13, 0, 80, false},
    {"07.001", "牙膏", "120g", 1007, 6, 12.50, false, 0, 17, 0, 77, false},
    {"07.002", "口服液", "10ml", 1007, 6, 4.80, true, 730, 17, 0, 80, false},
    {"07.003", "护手霜", "50g", 1007, 6, 19.80, false, 0, 17, 0, 77, false},
};
constexpr int32_t kFirstGoodsId = 1101;

struct AuxItem {
  int32_t id, aux_class;
  const char *number, *name;
};
constexpr AuxItem kAuxItems[] = {
    {0, 0, "", "无"},       {1, 1, "C01", "红色"}, {2, 1, "C02", "蓝色"}, {3, 1, "C03", "白色"},
    {4, 1, "C04", "黑色"},  {5, 2, "S01", "S"},    {6, 2, "S02", "M"},    {7, 2, "S03", "L"},
    {8, 2, "S04", "XL"},
};

struct Stock {
  int32_t id;
  const char *number, *name;
  int32_t type;
};
constexpr Stock kStocks[] = {
    {201, "01", "总仓", 500},       {202, "02", "中心店仓", 500}, {203, "03", "东城店仓", 500},
    {204, "04", "西城店仓", 500},   {205, "05", "代管仓", 502},   {206, "06", "待检仓", 501},
    {207, "07", "南站店仓", 500},
};

struct Shop {
  int32_t id;
  const char *number, *name;
  int32_t stock;
};
constexpr Shop kShops[] = {
    {1, "001", "中心店", 202}, {2, "002", "东城店", 203}, {3, "003", "西城店", 204}, {4, "004", "南站店", 207}};

struct Cashier {
  int32_t id;
  const char *number, *name;
  int32_t shop;
};
constexpr Cashier kCashiers[] = {
    {1, "C01", "王芳", 1}, {2, "C02", "李强", 1}, {3, "C03", "张敏", 2}, {4, "C04", "刘洋", 2},
    {5, "C05", "陈静", 3}, {6, "C06", "杨磊", 3}, {7, "C07", "赵丽", 4}, {8, "C08", "黄伟", 4},
};

struct Customer {
  int32_t id;
  const char *number, *name;
  int32_t parent, level;
  bool detail;
  std::optional<double> tax;
};
// Four levels under 华东区; 零售客户 is the walk-in customer of the shops.
const Customer kCustomers[] = {
    {301, "01", "华东区", 0, 1, false, std::nullopt},
    {302, "01.01", "上海", 301, 2, false, std::nullopt},
    {303, "01.01.01", "浦东片区", 302, 3, false, std::nullopt},
    {304, "01.01.01.001", "浦东新星超市", 303, 4, true, 17},
    {305, "01.01.01.002", "陆家嘴便利店", 303, 4, true, std::nullopt},
    {306, "01.01.02", "徐汇片区", 302, 3, false, std::nullopt},
    {307, "01.01.02.001", "徐汇百货商行", 306, 4, true, 13},
    {308, "01.02", "杭州", 301, 2, false, std::nullopt},
    {309, "01.02.001", "西湖食品批发部", 308, 3, true, 17},
    {310, "02", "华南区", 0, 1, false, std::nullopt},
    {311, "02.01", "广州", 310, 2, false, std::nullopt},
    {312, "02.01.001", "天河贸易公司", 311, 3, true, 17},
    {313, "02.01.002", "越秀连锁超市", 311, 3, true, std::nullopt},
    {demo::kWalkInCustomer, "03", "零售客户", 0, 1, true, 17},
    {315, "04", "会员客户", 0, 1, true, std::nullopt},
};

struct Contact {
  int32_t customer;
  const char *contact, *phone, *fax, *address;
};
// 陆家嘴便利店 has no details on file.
constexpr Contact kContacts[] = {
    {304, "周建国", "021-50110001", "021-50110002", "上海市浦东新区星光路1号"},
    {307, "吴秀兰", "021-64220001", "", "上海市徐汇区百货街8号"},
    {309, "郑海", "0571-87330001", "0571-87330002", "杭州市西湖区湖滨路18号"},
    {312, "孙立", "020-38440001", "020-38440002", "广州市天河区商贸大道66号"},
    {313, "何丽", "020-83550001", "", "广州市越秀区连锁路3号"},
    {demo::kWalkInCustomer, "", "", "", ""},
    {315, "会员中心", "400-800-0001", "", ""},
};

struct Named {
  int32_t id;
  const char *number, *name;
};
// Methods 0, 3 and 4 reduce what the goods bring in; 1 and 5 are paid at once.
constexpr Named kSettleMethods[] = {{0, "00", "礼券"},   {1, "01", "现金"},     {2, "02", "挂账"},
                                    {3, "03", "储值卡"}, {4, "04", "积分抵现"}, {5, "05", "银行卡"}};
constexpr Named kDepartments[] = {{101, "01", "零售部"}, {102, "02", "批发部"}, {103, "03", "财务部"}};
constexpr Named kInvoiceTypes[] = {{2020, "2020", "增值税专用发票"}, {2021, "2021", "普通发票"}, {2022, "2022", "收据"}};
struct User {
  int32_t id;
  const char *name, *role;
  int32_t shop;  // the closer's shop, 0 for none
};
// The administrator, a shop manager who closes the central shop, and an accountant who supervises.
constexpr User kUsers[] = {{1, "系统管理员", "admin", 0}, {2, "门店主管", "closer", 1}, {3, "财务会计", "supervisor", 0}};

struct SettleAcct {
  int32_t id;
  const char *number, *name;
  bool fixed, deleted;
};
constexpr SettleAcct kSettleAccts[] = {
    {1, "1001", "现金", false, false},
    {2, "1002.01", "银行存款-基本户", false, false},
    {3, "1002.02", "银行存款-一般户", false, false},
    {4, "1012", "移动支付结算户", false, false},
    {5, "1122", "应收账款", true, false},
    {6, "1002.03", "银行存款-旧户", false, true},
};

struct Caption {
  const char *key, *caption;
  bool visible;
};
// Header and entry captions of the sales-out stock bill, in tab order.
constexpr Caption kStockBillHead[] = {
    {"FBillNo", "编号", true},          {"FDate", "日期", true},
    {"FCustID", "购货单位", true},      {"FDeptID", "部门", true},
    {"FInvoiceType", "发票类型", true}, {"FSettleLimitDate", "收款日期", true},
    {"FAcctNo", "结算账户", true},      {"FExplanation", "摘要", true},
    {"FAllAmount", "价税合计", true},   {"FCurPayAmount", "本次收款", true},
    {"FCheckAmount", "已核销金额", true}, {"FUnCheckAmount", "未核销金额", true},
    {"FBillTypeID", "单据类型", true},  {"FBillerID", "制单人", true},
    {"FCheckerID", "审核人", true},     {"FCheckDate", "审核日期", true},
    {"FCurPayID", "收款单位", false},   {"FClassTypeID", "单据类别", false},
    {"FStatus", "状态", false},         {"FBalanceStyle", "结算方式", false},
    {"FCurCheckAmount", "本次核销金额", false}, {"FVoucherID", "凭证字号", false},
};
constexpr Caption kStockBillEntry[] = {
    {"FItemID", "商品代码", true},      {"FBaseProperty3", "商品名称", true},
    {"FBaseProperty4", "规格型号", true}, {"FAuxPropID", "辅助属性", true},
    {"FBatchNo", "批号", true},         {"FUnitID", "单位", true},
    {"FQty", "数量", true},             {"FSecUnitID", "辅助单位", true},
    {"FSecQty", "辅助数量", true},      {"FSCStockID", "发货仓库", true},
    {"FKFDate", "生产日期", true},      {"FKFPeriod", "保质期(天)", true},
    {"FPeriodDate", "有效期至", true},  {"FPrice", "单价", true},
    {"FTaxPrice", "含税单价", true},    {"FDiscountRate", "折扣率(%)", true},
    {"FPriceDiscount", "折后单价", true}, {"FAmount", "金额", true},
    {"FTaxRate", "税率(%)", true},      {"FTaxAmount", "税额", true},
    {"FInTaxAmount", "价税合计", true}, {"FCostPrice", "单位成本", true},
    {"FCostAmount", "成本金额", true},  {"FBillNo_SRC", "源单单号", true},
    {"FShowUnitID", "常用单位", false}, {"FCoefficient", "换算率", false},
    {"FShowQty", "常用单位数量", false}, {"FUnRejectQty", "未退货数量", false},
    {"FUnRejectAuxQty", "未退货辅助数量", false}, {"FDiscountAmount", "折扣额", false},
    {"FSecCoefficient", "辅助换算率", false}, {"FSecPrice", "辅助单价", false},
    {"FClassID_SRC", "源单类型", false}, {"FID_SRC", "源单内码", false},
};
// The check bill's captions, matching the labels of its search text.
constexpr Caption kCheckBillHead[] = {
    {"FBillNo", "单据编号", true},  {"FDate", "日期", true},       {"FOutCustID", "转出客户", true},
    {"FInCustID", "转入客户", true}, {"FExplanation", "摘要", true}, {"FAmount", "金额", true},
    {"FDeptID", "部门", true},       {"FHint1", "核销类型", true},  {"FBillerID", "制单人", true},
    {"FCheckerID", "审核人", true},  {"FCheckDate", "审核日期", true}, {"FStatus", "状态", false},
};
constexpr Caption kCheckBillEntry[] = {
    {"FSourceBillNo", "源单编号", true},        {"FBillDate", "单据日期", true},
    {"FSourceClassTypeDesc", "源单类型", true}, {"FBillAmount", "单据金额", true},
    {"FBillCheckAmount", "已核销金额", true},   {"FBillUnCheckAmount", "未核销金额", true},
    {"FBillSettleAmount", "本次核销金额", true}, {"FIsSelected", "选择", false},
    {"FSourceBillID", "源单内码", false},       {"FSourceClassTypeID", "源单类别", false},
};

void LoadUnitsAndGoods(data::ConnectionBackend& db) {
  for (const UnitGroup& g : kUnitGroups)
    detail::Exec(db, "INSERT INTO t_UnitGroup (FUnitGroupID, FName) VALUES (?1, ?2)", {g.id, g.name});
  for (const Unit& u : kUnits)
    detail::Exec(db,
                 "INSERT INTO t_MeasureUnit (FMeasureUnitID, FUnitGroupID, FNumber, FName, FCoefficient) "
                 "VALUES (?1, ?2, ?3, ?4, ?5)",
                 {u.id, u.group, u.number, u.name, u.coefficient});
  for (const AuxItem& a : kAuxItems)
    detail::Exec(db, "INSERT INTO t_AuxItem (FItemID, FAuxClassID, FNumber, FName) VALUES (?1, ?2, ?3, ?4)",
                 {a.id, a.aux_class, a.number, a.name});

  const std::string item_sql =
      "INSERT INTO t_Item (FItemID, FItemClassID, FNumber, FName, FParentID, FLevel, FDetail, FTaxRate) "
      "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)";
  for (const GoodsGroup& g : kGoodsGroups)
    detail::Exec(db, item_sql, {g.id, demo::kGoodsClass, g.number, g.name, 0, 1, false, Variant::Null()});
  int32_t id = kFirstGoodsId;
  for (const Goods& g : kGoods) {
    const UnitGroup& units = kUnitGroups[g.unit_group - 1];
    detail::Exec(db, item_sql, {id, demo::kGoodsClass, g.number, g.name, g.group, 2, true, OrNull(g.tax)});
    detail::Exec(db,
                 "INSERT INTO t_ICItem (FItemID, FNumber, FName, FModel, FUnitGroupID, FUnitID, FSecUnitID, "
                 "FSecCoefficient, FIsBatchManager, FKFPeriod, FCostPrice, FSalePrice, FAuxClassID, FDefaultLoc) "
                 "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)",
                 {id, g.number, g.name, g.model, g.unit_group, units.base_unit, units.sec_unit, units.sec_coefficient,
                  g.batch, g.shelf_life, static_cast<double>(std::lround(g.price * 70)) / 100, g.price, g.aux_class,
                  g.custody ? kCustodyStock : 0});
    detail::Exec(db, "INSERT INTO t_Goods (FItemID, FTrack) VALUES (?1, ?2)", {id, g.track});
    ++id;
  }
}

void LoadPlacesAndPeople(data::ConnectionBackend& db) {
  const std::string item_sql =
      "INSERT INTO t_Item (FItemID, FItemClassID, FNumber, FName, FParentID, FLevel, FDetail, FTaxRate) "
      "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)";
  for (const Stock& s : kStocks) {
    detail::Exec(db, "INSERT INTO t_Stock (FItemID, FNumber, FName, FTypeID) VALUES (?1, ?2, ?3, ?4)",
                 {s.id, s.number, s.name, s.type});
    detail::Exec(db, item_sql, {s.id, demo::kStockClass, s.number, s.name, 0, 1, true, Variant::Null()});
  }
  for (const Named& d : kDepartments)
    detail::Exec(db, item_sql, {d.id, demo::kDepartmentClass, d.number, d.name, 0, 1, true, Variant::Null()});
  for (const Customer& c : kCustomers)
    detail::Exec(db, item_sql, {c.id, demo::kCustomerClass, c.number, c.name, c.parent, c.level, c.detail, OrNull(c.tax)});
  for (const Contact& c : kContacts) {
    const Customer* customer = nullptr;
    for (const Customer& k : kCustomers)
      if (k.id == c.customer) customer = &k;
    detail::Exec(db,
                 "INSERT INTO t_Organization (FItemID, FNumber, FName, FContact, FPhone, FFax, FAddress) "
                 "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
                 {c.customer, customer->number, customer->name, c.contact, c.phone, c.fax, c.address});
  }
  for (const Shop& s : kShops)
    detail::Exec(db, "INSERT INTO t_LS_BranchShop (FItemID, FNumber, FName, FStockID) VALUES (?1, ?2, ?3, ?4)",
                 {s.id, s.number, s.name, s.stock});
  for (const Cashier& c : kCashiers)
    detail::Exec(db, "INSERT INTO t_LS_Cashier (FItemID, FNumber, FName, FBranchShopID) VALUES (?1, ?2, ?3, ?4)",
                 {c.id, c.number, c.name, c.shop});
  for (const User& u : kUsers) {
    detail::Exec(db, "INSERT INTO t_Users (FUserID, FName, FRole) VALUES (?1, ?2, ?3)", {u.id, u.name, u.role});
    if (u.shop != 0) detail::Exec(db, "INSERT INTO t_UserShops (FUserID, FShopID) VALUES (?1, ?2)", {u.id, u.shop});
  }
}

void LoadSettlement(data::ConnectionBackend& db) {
  for (const Named& m : kSettleMethods)
    detail::Exec(db, "INSERT INTO t_LS_Settle (FItemID, FNumber, FName) VALUES (?1, ?2, ?3)", {m.id, m.number, m.name});
  for (const SettleAcct& a : kSettleAccts)
    detail::Exec(db,
                 "INSERT INTO t_SettleAcct (FItemID, FNumber, FName, FFixed, FDeleted) VALUES (?1, ?2, ?3, ?4, ?5)",
                 {a.id, a.number, a.name, a.fixed, a.deleted});
  for (const Named& t : kInvoiceTypes)
    detail::Exec(db, "INSERT INTO t_BaseBillTypeData (FID, FNumber, FName) VALUES (?1, ?2, ?3)",
                 {t.id, t.number, t.name});
}

template <size_t N>
void LoadCaptions(data::ConnectionBackend& db, int32_t class_type, int32_t page, const Caption (&captions)[N]) {
  int32_t tab = 0;
  for (const Caption& c : captions)
    detail::Exec(db,
                 "INSERT INTO icclasstableinfo (FClassTypeID, FPage, FKey, FCaption_CHS, FVisible, FTabIndex) "
                 "VALUES (?1, ?2, ?3, ?4, ?5, ?6)",
                 {class_type, page, c.key, c.caption, c.visible ? -1 : 0, ++tab});
}

void LoadHostSettings(data::ConnectionBackend& db, const DemoOptions& options) {
  // The period opens on the first day with bills, so that every generated bill may be closed.
  automation::Date first = DemoLastDay(options);
  if (options.bills > 0) first.serial -= options.days - 1;
  automation::Date::Parts period = first.ToParts();
  const char* option_sql = "INSERT INTO t_SystemProfile (FCategory, FKey, FValue) VALUES ('IC', ?1, ?2)";
  detail::Exec(db, option_sql, {"UnderStock", "0"});
  detail::Exec(db, option_sql, {"CurrentYear", std::to_string(period.year)});
  detail::Exec(db, option_sql, {"CurrentPeriod", std::to_string(period.month)});
  detail::Exec(db, option_sql, {"AllowNegativeStock", "0"});

  // The closing dialog's settings, shared by every operator (user 0) until one stores their own.
  const char* profile_sql =
      "INSERT INTO t_UserProfile (FUserID, FSection, FKey, FValue) VALUES (0, 'POSDailyBalance', ?1, ?2)";
  detail::Exec(db, profile_sql, {"SettleAcct", "现金"});
  detail::Exec(db, profile_sql, {"Client", std::to_string(demo::kWalkInCustomer)});
  detail::Exec(db, profile_sql, {"InvoiceType", "2021"});
  detail::Exec(db, profile_sql, {"TaxRate", "17"});
  detail::Exec(db, profile_sql, {"CreateCheckBill", "0"});
  detail::Exec(db, profile_sql, {"InCustID", "304"});

  const char* counter_sql = "INSERT INTO t_ICMaxNum (FTableName, FMaxNum) VALUES (?1, ?2)";
  detail::Exec(db, counter_sql, {"t_CC_StockBill", demo::kFirstInteriorId});
  detail::Exec(db, counter_sql, {"t_rp_Checkbill", demo::kFirstInteriorId});
  detail::Exec(db, counter_sql, {"t_LS_Retail", 0});  // the generator raises it past its bills

  const char* rule_sql = "INSERT INTO t_BillCodeRule (FBillType, FPrefix, FDigits, FCurNo) VALUES (?1, ?2, 6, 0)";
  detail::Exec(db, rule_sql, {"1030002", "XOUT"});
  detail::Exec(db, rule_sql, {"1050003", "CHK"});
  detail::Exec(db, rule_sql, {demo::kRetailSaleRule, "LS"});
  detail::Exec(db, rule_sql, {demo::kRetailReturnRule, "LT"});
}

}  // namespace

void LoadMasterData(data::ConnectionBackend& db, const DemoOptions& options) {
  detail::WriteScope scope(db);
  LoadUnitsAndGoods(db);
  LoadPlacesAndPeople(db);
  LoadSettlement(db);
  LoadCaptions(db, 1030002, 1, kStockBillHead);
  LoadCaptions(db, 1030002, 2, kStockBillEntry);
  LoadCaptions(db, 1050003, 1, kCheckBillHead);
  LoadCaptions(db, 1050003, 2, kCheckBillEntry);
  LoadHostSettings(db, options);
  scope.Commit();
}

}  // namespace tovan::hostlib
