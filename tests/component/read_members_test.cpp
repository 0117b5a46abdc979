// Members that only read run in read-only units: a write smuggled into one
// of their filters or arguments is refused and changes nothing, while the
// same member inside a host unit that writes joins it as it is.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <set>

#include "component/cls_data.h"
#include "component/cls_un_bal_data.h"
#include "component/cls_xs_bal_data.h"
#include "component/type_library.h"
#include "platform/data/data_error.h"
#include "platform/data/recordset.h"
#include "platform/host/data_context.h"
#include "tests/closing/closing_test_data.h"

namespace tovan::component {
namespace {

using automation::CStr;
using automation::Variant;
using Access = host::HostUnitOfWork::Access;

const char* kDelete = "delete from t_LS_Retail";

// A late-bound call of a read member with a write appended to one of its
// texts, and whether the answer it gave is its neutral one.
struct SmuggledWrite {
  const char* member;
  std::function<std::vector<Variant>(const std::string& db)> args;
  std::function<bool(const Variant& result, const std::vector<Variant>& args)> neutral;
  // The write reaches the database as a statement of the member's own
  // batch (a filter), not only as a refused argument.
  bool reaches_database = false;
};

bool IsEmptyText(const Variant& v, const std::vector<Variant>&) { return CStr(v).empty(); }
bool IsFalse(const Variant& v, const std::vector<Variant>&) { return !automation::CBool(v); }
bool IsNothing(const Variant& v, const std::vector<Variant>&) { return v.IsNothing(); }

std::string Appended(const char* head) { return std::string(head) + "; " + kDelete; }

Variant ReadVector(const std::string& id) {
  auto record = foundation::Dictionary::Create();
  record->SetValue("FID", Variant(id));
  auto list = foundation::Vector::Create();
  list->Add(Variant(record));
  return Variant(list);
}

std::vector<std::pair<const char*, SmuggledWrite>> Cases() {
  const char* data = "clsData";
  const char* unbal = "clsUnBalData";
  const char* xs = "clsXSBalData";
  return {
      {data,
       {"GetIDData",
        [](auto& db) {
          return std::vector<Variant>{Variant(db), Variant(Appended("1=1"))};
        },
        IsEmptyText, true}},
      {data,
       {"GetItemData",
        [](auto& db) {
          return std::vector<Variant>{Variant("0"), Variant(db), Variant(Appended("1=1") + " --")};
        },
        [](const Variant&, const std::vector<Variant>&) { return true; }, true}},
      {data,
       {"SetSettleAmountID",
        [](auto& db) {
          return std::vector<Variant>{Variant(db), Variant(Appended("x'") + " --")};
        },
        IsEmptyText, true}},
      // The filter stands before the query's GROUP BY: the comment takes it out.
      {unbal,
       {"SetTotalData",
        [](auto& db) {
          return std::vector<Variant>{Variant(db), Variant(Appended("1=1") + " --")};
        },
        IsNothing, true}},
      {unbal,
       {"GetUnBalDataID",
        [](auto& db) {
          return std::vector<Variant>{Variant(db), Variant(Appended("1=1"))};
        },
        IsEmptyText, true}},
      {data,
       {"CheckBalData",
        [](auto& db) {
          return std::vector<Variant>{Variant(db), Variant(Appended("20"))};
        },
        IsFalse}},
      {data,
       {"CheckData",
        [](auto& db) {
          return std::vector<Variant>{Variant(db), ReadVector(Appended("20"))};
        },
        IsFalse}},
      {data,
       {"CheckStore",
        [](auto& db) {
          return std::vector<Variant>{Variant(db), Variant(Appended("20")), Variant("")};
        },
        IsFalse}},
      {data,
       {"JudgeData",
        [](auto& db) {
          return std::vector<Variant>{Variant(db), Variant(Appended("20"))};
        },
        IsFalse}},
      {data,
       {"SetSettleAmount",
        [](auto& db) {
          return std::vector<Variant>{Variant(db), Variant(Appended("20"))};
        },
        IsNothing}},
      {data,
       {"GetCustDetail",
        [](auto& db) {
          return std::vector<Variant>{Variant(db), Variant(Appended("301")), Variant(""), Variant(""), Variant(""),
                                      Variant("")};
        },
        [](const Variant&, const std::vector<Variant>& a) { return CStr(a[2]).empty(); }}},
      {data,
       {"GetInvoiceData",
        [](auto& db) {
          auto context = host::GlobalContext::ForThread().GetDataContext();
          context->OpenDsn(db);
          return std::vector<Variant>{Variant(context->GetConnection()), Variant(Appended("301"))};
        },
        IsEmptyText}},
      {data,
       {"GetData", [](auto& db) { return std::vector<Variant>{Variant(db)}; },
        [](const Variant& v, const std::vector<Variant>&) { return v.IsObject(); }}},
      {data,
       {"GetMaxLevel", [](auto& db) { return std::vector<Variant>{Variant(db)}; },
        [](const Variant&, const std::vector<Variant>&) { return true; }}},
      {data,
       {"GetSettleAcctData", [](auto& db) { return std::vector<Variant>{Variant(db)}; },
        [](const Variant& v, const std::vector<Variant>&) { return v.IsObject(); }}},
      {unbal,
       {"SetDetailData",
        [](auto& db) {
          return std::vector<Variant>{Variant(db), Variant(Appended("1"))};
        },
        IsNothing}},
      {unbal,
       {"GenerateVch",
        [](auto& db) {
          return std::vector<Variant>{Variant(db), Variant(Appended("1")), Variant("")};
        },
        IsFalse}},
      {xs,
       {"IsValidBill",
        [](auto&) {
          return std::vector<Variant>{Variant(Appended("'20'")), Variant(int32_t{0}), Variant(int32_t{-1}),
                                      Variant("")};
        },
        IsFalse}},
  };
}

automation::DispatchPtr Make(const std::string& cls) {
  if (cls == "clsData") return std::make_shared<clsData>();
  if (cls == "clsUnBalData") return std::make_shared<clsUnBalData>();
  return std::make_shared<clsXSBalData>();
}

int64_t OpenRetailRows(const std::string& db) {
  auto context = host::GlobalContext::ForThread().GetDataContext();
  context->OpenDsn(db);
  return automation::CLng(context->GetConnection()->Execute("select count(*) as n from t_LS_Retail")->Value("n"));
}

class ReadMembers : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::SalesDay(data_);
    testing::Closing closing;
    ASSERT_TRUE(closing.Run(host_)) << closing.message;
    data_.Bill(23, 10);
    data_.Line(23, 1102, 1, 10);
  }
  testing::HostFixture host_{testing::SmallDemo(0)};
  testing::ClosingData data_{host_};
};

TEST_F(ReadMembers, EveryReadMemberIsDescribedAsOnlyReading) {
  // The cases below cover every member so described, and none other.
  std::set<std::string> described, covered;
  for (const auto* iface : DailyBalanceLibrary().interfaces)
    for (const auto& m : iface->members)
      if (m.reads_only && m.name.rfind("Package", 0) != 0) described.insert(iface->name + "." + m.name);
  for (const auto& [cls, c] : Cases()) covered.insert("_" + std::string(cls) + "." + c.member);
  EXPECT_EQ(described, covered);
}

TEST_F(ReadMembers, AWriteSmuggledIntoAReadMemberIsRefusedAndChangesNothing) {
  const std::string before = host_.Dump();
  for (const auto& [cls, c] : Cases()) {
    SCOPED_TRACE(std::string(cls) + "." + c.member);
    auto object = Make(cls);
    std::vector<Variant> args = c.args(host_.db());
    Variant result = object->Invoke(c.member, automation::InvokeKind::Get, args);
    EXPECT_TRUE(c.neutral(result, args)) << CStr(result);
    EXPECT_FALSE(host::GlobalContext::ForThread().GetDataContext()->InUnit());
    EXPECT_TRUE(host_.Dump() == before) << "the member changed the database";
  }
}

TEST_F(ReadMembers, InsideAUnitThatWritesAReadMemberJoinsItAsItIs) {
  // The smuggled statements are real writes: in a host unit that writes,
  // they run, and only the unit's rollback takes them back.
  const std::string before = host_.Dump();
  for (const auto& [cls, c] : Cases()) {
    if (!c.reaches_database) continue;
    SCOPED_TRACE(std::string(cls) + "." + c.member);
    {
      host::HostUnitOfWork unit;
      auto object = Make(cls);
      std::vector<Variant> args = c.args(host_.db());
      object->Invoke(c.member, automation::InvokeKind::Get, args);
      EXPECT_EQ(OpenRetailRows(host_.db()), 0) << "the write ran inside the unit";
    }
    EXPECT_TRUE(host_.Dump() == before);
  }
}

TEST_F(ReadMembers, AReadOnlyUnitRefusesWritesAndTheWaysOutOfIt) {
  auto context = host::GlobalContext::ForThread().GetDataContext();
  context->OpenDsn(host_.db());
  auto connection = context->GetConnection();
  const std::string before = host_.Dump();
  const bool server = testing::OnServer();
  // Each is refused as a database error, and the unit stays read-only after it.
  std::vector<std::string> writes = {
      "update t_LS_Retail set FDailyBillID=0",
      "insert into t_LS_BranchShop (FItemID, FNumber, FName) values (99, '99', 'x')",
      "drop table t_LS_Retail",
      "select * into t_Copy from t_LS_Retail",
      server ? "set transaction read write" : "PRAGMA query_only=0",
      "delete from t_LS_Retail",
  };
  {
    host::HostUnitOfWork unit(Access::kReadOnly);
    EXPECT_EQ(context->unit_access(), Access::kReadOnly);
    EXPECT_EQ(OpenRetailRows(host_.db()), 4);
    for (const auto& sql : writes) {
      SCOPED_TRACE(sql);
      try {
        connection->Execute(sql);
        // A read-only transaction cannot be made read-write once it has read.
        ADD_FAILURE() << "not refused";
      } catch (const automation::AutomationError& e) {
        EXPECT_EQ(e.number(), data::kDatabaseError) << e.description();
      }
    }
    EXPECT_EQ(OpenRetailRows(host_.db()), 4);
    unit.Commit();
  }
  EXPECT_TRUE(host_.Dump() == before);
  // The connection writes again in the next unit that may.
  {
    host::HostUnitOfWork unit;
    EXPECT_EQ(context->unit_access(), Access::kReadWrite);
    connection->Execute("update t_LS_Retail set FBillNo='X' where FID=23");
    unit.Commit();
  }
  EXPECT_EQ(CStr(host_.Scalar("SELECT FBillNo FROM t_LS_Retail WHERE FID=23")), "X");
}

TEST_F(ReadMembers, AReadOnlyUnitReadsItsSnapshotBesideAnOpenWriter) {
  // Another session holds a unit that has written and not committed: the
  // embedded engine's write lock, the server's row locks.
  auto writer = data::OpenConnection(host_.db());
  writer->backend().BeginTransaction(data::TransactionAccess::kReadWrite);
  writer->Execute("update t_LS_Retail set FDailyBillID=77 where FID=23");
  clsData cls;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(cls.GetIDData(host_.db(), ""), "23") << "the writer's update is not seen";
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2)) << "it did not wait for the writer";
  writer->backend().RollbackTransaction();
}

}  // namespace
}  // namespace tovan::component
