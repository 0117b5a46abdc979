// The reference host's plug-ins as the component calls them: the stock
// audit posts exactly what it reverses, the write-off refuses what it must.
#include <gtest/gtest.h>

#include "host/components/components.h"
#include "platform/data/recordset.h"
#include "platform/host/data_context.h"
#include "tests/support/host_fixture.h"

namespace tovan::hostlib {
namespace {

using automation::CDbl;
using automation::CStr;
using automation::Variant;

// A stock bill of two entries on one batch-managed item's two batches, and
// one entry on a plain item; returns its FID.
int32_t WriteStockBill(data::Connection& connection, int32_t id, int32_t bill_type, double first_qty) {
  std::string fid = std::to_string(id);
  connection.Execute("insert into t_cc_stockbill (FID, FBillNo, FBillTypeID, FStatus) values (" + fid + ", 'XOUT" +
                     fid + "', " + std::to_string(bill_type) + ", 0)");
  connection.Execute("insert into t_CC_StockBillEntry (FID, FIndex, FItemID, FSCStockID, FAuxPropID, FBatchNo, FQty) "
                     "values (" + fid + ", 1, 1, 10, 0, 'B1', " + automation::NumberToText(first_qty) + ")");
  connection.Execute("insert into t_CC_StockBillEntry (FID, FIndex, FItemID, FSCStockID, FAuxPropID, FBatchNo, FQty) "
                     "values (" + fid + ", 2, 1, 10, 0, 'B2', 2.5)");
  connection.Execute("insert into t_CC_StockBillEntry (FID, FIndex, FItemID, FSCStockID, FAuxPropID, FBatchNo, FQty) "
                     "values (" + fid + ", 3, 2, 10, 0, '', 4)");
  return id;
}

class StockAudit : public ::testing::Test {
 protected:
  void SetUp() override {
    auto context = host::GlobalContext::ForThread().GetDataContext();
    context->OpenDsn(host_.db());
    connection_ = context->GetConnection();
    connection_->Execute("delete from t_CC_Inventory");
    connection_->Execute("insert into t_CC_Inventory (FItemID, FStockID, FAuxPropID, FBatchNo, FQty) values "
                         "(1, 10, 0, 'B1', 5), (1, 10, 0, 'B2', 3), (2, 10, 0, '', 10)");
  }

  int32_t Audit(int32_t id, int32_t operation) {
    auto request = foundation::Vector::Create();
    auto record = foundation::Dictionary::Create();
    record->SetValue("BillInterID", Variant(std::to_string(id)));
    request->Add(Variant(record));
    auto result = foundation::Dictionary::Create();
    return StockAuditPlugIn().AuditBill(*request, operation, host_.db(), result.get());
  }

  std::string Stock() const {
    std::string out;
    auto rows = host_.Query("select FBatchNo, FQty from t_CC_Inventory order by FItemID, FBatchNo");
    for (size_t r = 0; r < rows.RowCount(); ++r) out += CStr(rows.At(r, 0)) + "=" + CStr(rows.At(r, 1)) + " ";
    return out;
  }

  testing::HostFixture host_{testing::SmallDemo(0)};
  std::shared_ptr<data::Connection> connection_;
};

TEST_F(StockAudit, PostsPerBatchAndReversesExactly) {
  std::string before = Stock();
  int32_t sale = WriteStockBill(*connection_, 5001, 3001, 1.5);
  EXPECT_EQ(Audit(sale, 1), 1);
  EXPECT_EQ(Stock(), "B1=3.5 B2=0.5 =6 ");
  EXPECT_EQ(CStr(host_.Scalar("select FStatus from t_cc_stockbill where FID=5001")), "1");
  EXPECT_EQ(Audit(sale, 1), 0) << "already audited";
  EXPECT_EQ(Stock(), "B1=3.5 B2=0.5 =6 ");

  EXPECT_EQ(Audit(sale, -1), 1);
  EXPECT_EQ(Stock(), before);
  EXPECT_EQ(CStr(host_.Scalar("select count(*) from t_CC_StockPosting")), "0");
  EXPECT_EQ(Audit(sale, -1), 0) << "not audited";
  EXPECT_EQ(Audit(9999, 1), 0) << "unknown bill";

  // Returns come back into stock; a batch that has no row yet gets one.
  int32_t back = WriteStockBill(*connection_, 5002, 3002, 1);
  connection_->Execute("update t_CC_StockBillEntry set FBatchNo='B9' where FID=5002 and FIndex=2");
  EXPECT_EQ(Audit(back, 1), 1);
  EXPECT_EQ(Stock(), "B1=6 B2=3 B9=2.5 =14 ");
  // Deleting an audited bill gives its stock back (the database's trigger).
  connection_->Execute("delete from t_cc_stockbill where FID=5002");
  EXPECT_EQ(Stock(), "B1=5 B2=3 B9=0 =10 ");
}

TEST_F(StockAudit, RefusesNegativeStockUnlessAllowed) {
  std::string before = Stock();
  int32_t sale = WriteStockBill(*connection_, 5003, 3001, 7);  // batch B1 holds 5
  EXPECT_EQ(Audit(sale, 1), 0);
  EXPECT_EQ(Stock(), before) << "a refused audit posts nothing";
  EXPECT_EQ(CStr(host_.Scalar("select FStatus from t_cc_stockbill where FID=5003")), "0");

  connection_->Execute("update t_SystemProfile set FValue='1' where FCategory='IC' and FKey='AllowNegativeStock'");
  EXPECT_EQ(Audit(sale, 1), 1);
  EXPECT_EQ(Stock(), "B1=-2 B2=0.5 =6 ");
}

TEST(WriteOff, RefusesUnknownBillsCustomersAndRepeats) {
  testing::HostFixture host(testing::SmallDemo(0));
  auto context = host::GlobalContext::ForThread().GetDataContext();
  context->OpenDsn(host.db());
  auto connection = context->GetConnection();
  connection->Execute("insert into t_rp_Checkbill (FID, FBillNo, FInCustID, FStatus) values (7001, 'CHK1', 301, 0)");
  connection->Execute("insert into t_rp_Checkbill (FID, FBillNo, FInCustID, FStatus) values (7002, 'CHK2', 99999, 0)");
  ReceivablesCheckPlugIn plugin;
  std::string message;
  EXPECT_TRUE(plugin.CheckBill(host.db(), "7001", 1, message));
  EXPECT_FALSE(plugin.CheckBill(host.db(), "7001", 1, message)) << "already written off";
  EXPECT_FALSE(plugin.CheckBill(host.db(), "7002", 1, message)) << "no such receiving customer";
  EXPECT_FALSE(message.empty());
  EXPECT_FALSE(plugin.CheckBill(host.db(), "7003", 1, message)) << "unknown check bill";
  EXPECT_TRUE(plugin.CheckBill(host.db(), "7001", 0, message));
  EXPECT_EQ(CStr(host.Scalar("select FStatus from t_rp_Checkbill where FID=7001")), "0");
  EXPECT_FALSE(plugin.CheckBill(host.db(), "7001", 0, message)) << "nothing to undo";
}

}  // namespace
}  // namespace tovan::hostlib
