// The settlement services and lookups of the closing dialog, on the
// reference host's master data plus the rows each test adds.
#include <gtest/gtest.h>

#include "component/cls_data.h"
#include "platform/host/data_context.h"
#include "tests/support/host_db.h"

namespace tovan::closing {
namespace {

using automation::CStr;
using automation::Variant;

// "key=value" of every record, keys in their order.
std::string Show(const std::shared_ptr<foundation::Vector>& list) {
  if (!list) return "null";
  std::string text;
  for (int32_t p = 1; p <= list->UpperBound(); ++p) {
    for (const auto& [key, value] : list->Record(p)->entries()) text += key + "=" + CStr(value) + " ";
    text += "| ";
  }
  return text;
}

class DialogServices : public testing::HostTest {
 protected:
  std::shared_ptr<component::clsData> data_ = std::make_shared<component::clsData>();
};

TEST_F(DialogServices, SettlementAccountsAndAmounts) {
  EXPECT_EQ(Show(data_->GetSettleAcctData(db())),
            "FItemID=1 FName=现金 | FItemID=2 FName=银行存款-基本户 | FItemID=3 FName=银行存款-一般户 | "
            "FItemID=4 FName=移动支付结算户 | ");
  Exec("INSERT INTO t_LS_RetailEntry2 (FID, FSettleID, FSettleAmount) VALUES (3, 4, 9), (3, 0, 1), (3, 3, 2)");
  auto none = data_->SetSettleAmount(db(), "3");
  ASSERT_NE(none, nullptr) << "methods 0, 3 and 4 only: an empty list";
  EXPECT_EQ(none->Count(), 0);
  EXPECT_TRUE(data_->Call("SetSettleAmount", db(), "3,").IsNothing()) << "a failing statement gives no list";
  EXPECT_EQ(host::GlobalContext::ForThread().GetDataContext()->last_vote(), host::Vote::Abort);

  EXPECT_EQ(data_->SetSettleAmountID(db(), "银行存款-一般户"), "3");
  EXPECT_EQ(data_->SetSettleAmountID(db(), "无此账户"), "");
  EXPECT_EQ(CStr(data_->Call("SetSettleAmountID", db(), "现金")), "1");
}

TEST_F(DialogServices, ItemDataFiltersAndLevels) {
  CustomerTree();
  auto tree = data_->GetData(db());
  ASSERT_EQ(tree->Count(), 4);
  EXPECT_NE(data_->GetData(db()), tree) << "each GetData starts a new list";
  tree = data_->GetData(db());
  auto ids = [&] {
    std::string text;
    for (int32_t p = 1; p <= tree->UpperBound(); ++p) text += CStr(tree->Record(p)->Value("FItemID")) + ",";
    return text;
  };
  // A filter replaces the parent condition (the id is ignored); each match brings its subtree.
  data_->GetItemData("5", db(), "FNumber like '02%'");
  EXPECT_EQ(ids(), "502,501,504,503,501,504,503,504,503,");
  data_->GetItemData("5", db(), "no such column = 1");
  EXPECT_EQ(tree->Count(), 9) << "a failing level adds nothing";

  EXPECT_EQ(CStr(data_->Call("GetMaxLevel", db())), "2");
  Exec("DELETE FROM t_Item WHERE FItemClassID=4");
  EXPECT_EQ(data_->GetMaxLevel(db()), 0);
  EXPECT_EQ(data_->GetData(db())->Count(), 0);
}

TEST_F(DialogServices, CustomerDetailsTaxRatesAndUserSettings) {
  std::string name = "n", contact = "c", phone = "p", fax = "f";
  data_->GetCustDetail(db(), "304", name, contact, phone, fax);
  EXPECT_EQ(name + "|" + contact + "|" + phone + "|" + fax, "浦东新星超市|周建国|021-50110001|021-50110002");
  data_->GetCustDetail(db(), "305", name, contact, phone, fax);  // no t_Organization row
  EXPECT_EQ(name + "|" + contact + "|" + phone + "|" + fax, "陆家嘴便利店|||");
  Exec("UPDATE t_Item SET FName='*' WHERE FItemID=307");
  std::vector<Variant> args{Variant(db()), Variant("307"), Variant("x"), Variant(""), Variant(""), Variant("")};
  data_->Invoke("GetCustDetail", automation::InvokeKind::Get, args);
  EXPECT_EQ(args[2].string() + "|" + args[3].string() + "|" + args[4].string(), "|吴秀兰|021-64220001");

  auto context = host::GlobalContext::ForThread().GetDataContext();
  context->OpenDsn(db());
  auto connection = context->GetConnection();
  EXPECT_EQ(data_->GetInvoiceData(connection.get(), "1101"), "17");
  EXPECT_EQ(data_->GetInvoiceData(connection.get(), "424242"), "0");
  EXPECT_EQ(CStr(data_->Call("GetInvoiceData", connection, "1106")), "13");

  EXPECT_EQ(CStr(data_->Call("GetSettleInfo", "POSDailyBalance", "Client")), "314");
  EXPECT_EQ(data_->GetSettleInfo("POSDailyBalance", "Nothing"), "");
}

TEST_F(DialogServices, OpenBillIds) {
  EXPECT_EQ(data_->GetIDData(db()), "");
  Bill(12, "2026-12-04", 1);
  Bill(15, "2026-12-04", 2);
  Bill(16, "2026-12-04", 1);
  Bill(17, "2026-12-04", 1, 1, 3);  // closed
  EXPECT_EQ(data_->GetIDData(db()), "12,15,16");
  EXPECT_EQ(data_->GetIDData(db(), "FBillType=1"), "12,16");
  std::vector<Variant> args{Variant(db()), Variant("FID>12")};
  EXPECT_EQ(CStr(data_->Invoke("GetIDData", automation::InvokeKind::Get, args)), "15,16");
}

}  // namespace
}  // namespace tovan::closing
