// SaveData and InsertVectDataToTbl: a list is written record by record, and
// a record whose statement cannot go out stops the list there, as a
// statement the database refused would.
#include <gtest/gtest.h>

#include "component/cls_data.h"
#include "platform/host/global_context.h"
#include "tests/closing/closing_test_data.h"

namespace tovan::component {
namespace {

using automation::CStr;
using automation::Variant;
using testing::List;
using testing::Record;

std::shared_ptr<foundation::Vector> RateList(std::initializer_list<std::pair<Variant, Variant>> rates) {
  auto list = foundation::Vector::Create();
  for (const auto& [item, rate] : rates) list->Add(Variant(Record({{"FItemID", item}, {"FTaxRate", rate}})));
  return list;
}

class TaxRates : public ::testing::Test {
 protected:
  std::string Rate(int item) const {
    return CStr(host_.Scalar("select FTaxRate from t_Item where FItemID=" + std::to_string(item)));
  }
  std::shared_ptr<data::Connection> Connection() const {
    return host::GlobalContext::ForThread().GetDataContext()->ConnectionFor(host_.db());
  }
  testing::HostFixture host_{testing::SmallDemo(0)};
  clsData cls_;
};

TEST_F(TaxRates, SaveDataKeepsWhatWentBeforeARefusedRecord) {
  // The second record's id would carry a statement: the first stays written.
  int32_t code = 7;
  EXPECT_TRUE(cls_.SaveData(host_.db(),
                            RateList({{Variant("1101"), Variant("9")},
                                      {Variant("1102' or '1'='1"), Variant("9")},
                                      {Variant("1103"), Variant("9")}})
                                .get(),
                            code));
  EXPECT_EQ(code, -1);
  EXPECT_EQ(Rate(1101), "9");
  EXPECT_NE(Rate(1102), "9");
  EXPECT_NE(Rate(1103), "9") << "nothing after the refused record";

  // A rate that is no number fails the same way, at its own record.
  code = 7;
  EXPECT_TRUE(cls_.SaveData(host_.db(),
                            RateList({{Variant("1102"), Variant("11")}, {Variant("1103"), Variant("1'; --")}}).get(),
                            code));
  EXPECT_EQ(code, -1);
  EXPECT_EQ(Rate(1102), "11");

  // Numeric text and numbers are rates as they are.
  code = 7;
  EXPECT_TRUE(cls_.SaveData(host_.db(), RateList({{Variant(int32_t{1103}), Variant("5.0")}}).get(), code));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(Rate(1103), "5");
}

TEST_F(TaxRates, InsertVectDataToTblChecksEachStatementAsItGoes) {
  auto connection = Connection();
  int32_t code = 7;
  cls_.InsertVectDataToTbl(connection.get(), "t_Item", "FNumber",
                           RateList({{Variant("1101"), Variant("8")}, {Variant("1;drop table t_Item"), Variant("8")}}).get(),
                           code);
  EXPECT_EQ(code, -1);
  EXPECT_EQ(Rate(1101), "8") << "statements before the failing one stay executed";

  // No record, no statement: the table name is never put in one.
  code = 7;
  cls_.InsertVectDataToTbl(connection.get(), "t_Item;drop table t_Item", "FItemID", RateList({}).get(), code);
  EXPECT_EQ(code, 1);
  code = 7;
  cls_.InsertVectDataToTbl(connection.get(), "t_Item;drop table t_Item", "FItemID",
                           RateList({{Variant("1101"), Variant("7")}}).get(), code);
  EXPECT_EQ(code, -1);
  EXPECT_EQ(Rate(1101), "8");
}

}  // namespace
}  // namespace tovan::component
