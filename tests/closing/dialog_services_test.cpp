// The settlement services and lookups of the closing dialog, on the
// reference host's master data plus the rows each test adds.
#include <gtest/gtest.h>

#include "component/cls_data.h"
#include "platform/host/data_context.h"
#include "tests/support/host_db.h"

namespace tovan::closing {
namespace {

using automation::Variant;

// "key=value" of every record, keys in their order, values as text.
std::string Show(const std::shared_ptr<foundation::Vector>& list) {
  if (!list) return "null";
  std::string text;
  for (int32_t p = 1; p <= list->UpperBound(); ++p) {
    for (const auto& [key, value] : list->Record(p)->entries())
      text += key + "=" + (value.IsNull() ? "NULL" : automation::CStr(value)) + " ";
    text += "| ";
  }
  return text;
}

class DialogServices : public testing::HostProcessTest {
 protected:
  std::shared_ptr<component::clsData> data_ = std::make_shared<component::clsData>();
};

TEST_F(DialogServices, SettlementAccountsAndAmounts) {
  EXPECT_EQ(Show(data_->GetSettleAcctData(db_.path())),
            "FItemID=1 FName=现金 | FItemID=2 FName=银行存款-基本户 | FItemID=3 FName=银行存款-一般户 | "
            "FItemID=4 FName=移动支付结算户 | ");

  db_.Exec("INSERT INTO t_LS_RetailEntry2 (FID, FSettleID, FSettleAmount) VALUES (1, 2, 30), (1, 0, 5), "
           "(2, 2, 20), (2, 1, 10.25), (2, 3, 7), (3, 4, 9), (3, 0, 1)");
  EXPECT_EQ(Show(data_->SetSettleAmount(db_.path(), "1,2")),
            "FItemID=1 FName=现金 FSettleAmount=10.25 | FItemID=2 FName=挂账 FSettleAmount=50 | ");
  auto none = data_->SetSettleAmount(db_.path(), "3");
  ASSERT_NE(none, nullptr) << "methods 0, 3 and 4 only: an empty list";
  EXPECT_EQ(none->Count(), 0);
  EXPECT_TRUE(data_->Call("SetSettleAmount", db_.path(), "1,").IsNothing()) << "a failing statement: no list";
  EXPECT_EQ(host::GlobalContext::ForThread().GetDataContext()->last_vote(), host::Vote::Abort);

  EXPECT_EQ(data_->SetSettleAmountID(db_.path(), "银行存款-一般户"), "3");
  EXPECT_EQ(data_->SetSettleAmountID(db_.path(), "无此账户"), "");
  EXPECT_EQ(automation::CStr(data_->Call("SetSettleAmountID", db_.path(), "现金")), "1");
}

TEST_F(DialogServices, CustomerTreeDepthFirstByNumber) {
  db_.Exec("DELETE FROM t_Item WHERE FItemClassID=4;"
           "INSERT INTO t_Item (FItemID, FItemClassID, FNumber, FName, FParentID, FLevel, FDetail, FTaxRate) VALUES "
           "(501, 4, '02', 'A', 0, 1, 0, NULL), (502, 4, '01', 'B', 0, 1, 1, 13),"
           "(503, 4, '02.01', 'C', 501, 2, 1, NULL), (504, 4, '02.00', 'D', 501, 2, 1, 6)");
  const std::string tree =
      "FItemID=502 FName=B FDetail=1 FLevel=1 FTaxRate=13 FNumber=01 FHide1=0 | "
      "FItemID=501 FName=A FDetail=0 FLevel=1 FTaxRate=17 FNumber=02 FHide1=0 | "
      "FItemID=504 FName=D FDetail=1 FLevel=2 FTaxRate=6 FNumber=02.00 FHide1=0 | "
      "FItemID=503 FName=C FDetail=1 FLevel=2 FTaxRate=17 FNumber=02.01 FHide1=0 | ";
  auto list = data_->GetData(db_.path());
  EXPECT_EQ(Show(list), tree);
  EXPECT_EQ(list->Record(2)->Value("FTaxRate").type(), automation::VarType::Integer);
  EXPECT_EQ(Show(data_->GetData(db_.path())), tree) << "each GetData starts a new list";

  // A filter replaces the parent condition (the id is ignored); each match brings its subtree.
  auto held = data_->GetData(db_.path());
  data_->GetItemData("5", db_.path(), "FNumber like '02.0%'");
  EXPECT_EQ(held->Count(), 6);
  EXPECT_EQ(automation::CStr(held->Record(5)->Value("FNumber")), "02.00");
  EXPECT_EQ(automation::CStr(held->Record(6)->Value("FNumber")), "02.01");
  data_->GetItemData("5", db_.path(), "no such column = 1");
  EXPECT_EQ(held->Count(), 6) << "a failing level adds nothing";

  EXPECT_EQ(Show(foundation::AsVector(data_->Call("GetData", db_.path()))), tree);
  EXPECT_EQ(data_->GetMaxLevel(db_.path()), 2);
  db_.Exec("DELETE FROM t_Item WHERE FItemClassID=4");
  EXPECT_EQ(data_->GetMaxLevel(db_.path()), 0);
  EXPECT_EQ(data_->GetData(db_.path())->Count(), 0);
}

TEST_F(DialogServices, CustomerDetailsTaxRatesAndUserSettings) {
  std::string name = "n", contact = "c", phone = "p", fax = "f";
  data_->GetCustDetail(db_.path(), "304", name, contact, phone, fax);
  EXPECT_EQ(name + "|" + contact + "|" + phone + "|" + fax, "浦东新星超市|周建国|021-50110001|021-50110002");
  data_->GetCustDetail(db_.path(), "305", name, contact, phone, fax);  // no t_Organization row
  EXPECT_EQ(name + "|" + contact + "|" + phone + "|" + fax, "陆家嘴便利店|||");
  name = "kept";
  data_->GetCustDetail(db_.path(), "9999", name, contact, phone, fax);
  EXPECT_EQ(name, "kept");
  db_.Exec("UPDATE t_Item SET FName='*' WHERE FItemID=307");
  std::vector<Variant> args{Variant(db_.path()), Variant("307"), Variant("x"), Variant(""), Variant(""), Variant("")};
  data_->Invoke("GetCustDetail", automation::InvokeKind::Get, args);
  EXPECT_EQ(args[2].string() + "|" + args[3].string() + "|" + args[4].string(), "|吴秀兰|021-64220001");

  auto context = host::GlobalContext::ForThread().GetDataContext();
  context->OpenDsn(db_.path());
  auto connection = context->GetConnection();
  EXPECT_EQ(data_->GetInvoiceData(connection.get(), "1101"), "17");
  EXPECT_EQ(data_->GetInvoiceData(connection.get(), "424242"), "0");
  EXPECT_EQ(data_->GetInvoiceData(connection.get(), "1104"), "") << "a NULL rate fails";
  EXPECT_EQ(data_->GetInvoiceData(nullptr, "1101"), "");
  EXPECT_EQ(automation::CStr(data_->Call("GetInvoiceData", connection, "1106")), "13");

  EXPECT_EQ(data_->GetSettleInfo("POSDailyBalance", "SettleAcct"), "现金");
  EXPECT_EQ(automation::CStr(data_->Call("GetSettleInfo", "POSDailyBalance", "Client")), "314");
  EXPECT_EQ(data_->GetSettleInfo("POSDailyBalance", "Nothing"), "");
}

TEST_F(DialogServices, OpenBillIds) {
  EXPECT_EQ(data_->GetIDData(db_.path()), "");
  EXPECT_EQ(host::GlobalContext::ForThread().GetDataContext()->last_vote(), host::Vote::Abort);
  db_.Bill(12, "2026-12-04", 1);
  db_.Bill(15, "2026-12-04", 2);
  db_.Bill(16, "2026-12-04", 1);
  db_.Bill(17, "2026-12-04", 1, 1, 202, 3);
  EXPECT_EQ(data_->GetIDData(db_.path()), "12,15,16");
  EXPECT_EQ(host::GlobalContext::ForThread().GetDataContext()->last_vote(), host::Vote::Complete);
  EXPECT_EQ(data_->GetIDData(db_.path(), "FBillType=1"), "12,16");
  EXPECT_EQ(data_->GetIDData(db_.path(), "no_column=1"), "");
  std::vector<Variant> args{Variant(db_.path()), Variant("FID>12")};
  EXPECT_EQ(automation::CStr(data_->Invoke("GetIDData", automation::InvokeKind::Get, args)), "15,16");
  EXPECT_EQ(args[1].string(), "FID>12");
}

}  // namespace
}  // namespace tovan::closing
