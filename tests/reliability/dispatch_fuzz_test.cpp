// Every member of the three classes, called late-bound with random and
// hostile arguments: wrong types, Null, Empty, Nothing, Missing, extreme
// numbers and dates, quotes, id lists that carry statements, empty and
// keyless records, huge texts.  Deterministic seeds.
//
// Each call must either be refused by dispatch exactly as its argument
// coercion predicts (13, 6, 94, 91, 438 for values that cannot become the
// declared type, 449 and 450 for missing and surplus arguments), or return
// without raising (only clsUnBalData's record packaging lets errors
// through); it must leave no unit of work open and never change the number
// of retail bills.
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <random>

#include "component/type_library.h"
#include "platform/automation/registry.h"
#include "platform/data/recordset.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/vector.h"
#include "platform/host/data_context.h"
#include "platform/host/global_context.h"
#include "tests/reliability/reliability_support.h"
#include "tests/support/host_fixture.h"

namespace tovan::testing {
namespace {

using automation::ParamType;
using automation::Variant;

struct Sample {
  std::string label;
  std::function<Variant()> make;  // fresh per call: members may keep or change what they get
  bool carries_statement = false;
};

std::shared_ptr<foundation::Dictionary> Record(std::initializer_list<std::pair<const char*, Variant>> values) {
  auto record = foundation::Dictionary::Create();
  for (const auto& [key, value] : values) record->SetValue(key, value);
  return record;
}

Variant List(std::vector<std::shared_ptr<foundation::Dictionary>> records) {
  auto vec = foundation::Vector::Create();
  for (auto& r : records) vec->Add(Variant(r));
  return Variant(vec);
}

class DispatchFuzz : public ::testing::Test {
 protected:
  void SetUp() override {
    connection_ = host::GlobalContext::ForThread().GetDataContext()->ConnectionFor(host_.db());
    retail_bills_ = RetailBills();
    pristine_ = dir_.File("pristine.db");
    CopyDatabase(host_.db(), pristine_);
    const std::string db = host_.db();
    const std::string missing = dir_.File("missing.db");

    texts_ = {
        {"db", [db] { return Variant(db); }},
        {"sqlite:db", [db] { return Variant("sqlite:" + db); }},
        {"missing db", [missing] { return Variant(missing); }},
        {"a directory", [this] { return Variant(dir_.path().string()); }},
        {"odbc", [] { return Variant("odbc:DSN=x"); }},
        {"memory db", [] { return Variant("sqlite::memory:"); }},
        {"empty", [] { return Variant(""); }},
        {"blank", [] { return Variant(" "); }},
        {"quote", [] { return Variant("'"); }},
        {"two quotes", [] { return Variant("''"); }},
        {"double quote", [] { return Variant("\""); }},
        {"ids carrying a delete", [] { return Variant("1);delete from t_LS_Retail;--"); }, true},
        {"quoted ids carrying a delete", [] { return Variant("'1');delete from t_LS_Retail;--"); }, true},
        {"id carrying a delete", [] { return Variant("1;delete from t_LS_Retail;--"); }, true},
        {"ids carrying a delete, no semicolon", [] { return Variant("0) delete from t_LS_Retail where FID in (0"); },
         true},
        {"text carrying a delete", [] { return Variant("x';delete from t_LS_Retail;--"); }, true},
        {"0", [] { return Variant("0"); }},
        {"-1", [] { return Variant("-1"); }},
        {"one bill", [] { return Variant("22"); }},
        {"bills", [] { return Variant("22,23,24,25"); }},
        {"bills with blanks", [] { return Variant("22, 23"); }},
        {"quoted bills", [] { return Variant("'22','23'"); }},
        {"empty parts", [] { return Variant("1,,2,"); }},
        {"comment", [] { return Variant("1 --"); }},
        {"word", [] { return Variant("abc"); }},
        {"decimal", [] { return Variant("1.5"); }},
        {"too big", [] { return Variant("99999999999999999999"); }},
        {"exponent", [] { return Variant("1e400"); }},
        {"filter", [] { return Variant("FDate='2026-12-04' And FBillType=1"); }},
        {"daily bill filter", [] { return Variant("b.FBillNo like 'RJ%'"); }},
        {"always true", [] { return Variant("1=1 or 1=1"); }},
        {"line break", [] { return Variant("x\r\ny"); }},
        {"control characters", [] { return Variant(std::string("\x01\x02\x1b", 3)); }},
        {"embedded NUL", [] { return Variant(std::string("12\0,13", 6)); }},
        {"wildcards", [] { return Variant("%_[]"); }},
        {"Chinese", [] { return Variant("日结"); }},
        {"invalid UTF-8", [] { return Variant(std::string("\xff\xfe\xc3", 3)); }},
        {"huge digits", [] { return Variant(std::string(100000, '9')); }},
        {"huge quotes", [] { return Variant(std::string(20000, '\'')); }},
        {"huge id list",
         [] {
           std::string ids;
           for (int i = 0; i < 3000; ++i) ids += (i ? "," : "") + std::to_string(i + 1);
           return Variant(ids);
         }},
    };
    numbers_ = {
        {"Integer 0", [] { return Variant(int16_t{0}); }},
        {"Integer -32768", [] { return Variant(int16_t{-32768}); }},
        {"Long 1", [] { return Variant(int32_t{1}); }},
        {"Long -1", [] { return Variant(int32_t{-1}); }},
        {"Long 22", [] { return Variant(int32_t{22}); }},
        {"Long max", [] { return Variant(std::numeric_limits<int32_t>::max()); }},
        {"Long min", [] { return Variant(std::numeric_limits<int32_t>::min()); }},
        {"Double -120.5", [] { return Variant(-120.5); }},
        {"Double 2.5e9", [] { return Variant(2.5e9); }},
        {"Double 1e308", [] { return Variant(1e308); }},
        {"Double -1e308", [] { return Variant(-1e308); }},
        {"Double NaN", [] { return Variant(std::numeric_limits<double>::quiet_NaN()); }},
        {"Double inf", [] { return Variant(std::numeric_limits<double>::infinity()); }},
        {"Double denormal", [] { return Variant(1e-310); }},
        {"Boolean true", [] { return Variant(true); }},
        {"Boolean false", [] { return Variant(false); }},
    };
    dates_ = {
        {"closing day", [] { return Variant(automation::Date::FromParts(2026, 12, 4)); }},
        {"date 100-01-01", [] { return Variant(automation::Date::FromParts(100, 1, 1)); }},
        {"date 9999-12-31 23:59:59", [] { return Variant(automation::Date::FromParts(9999, 12, 31, 23, 59, 59)); }},
        {"date serial 0", [] { return Variant(automation::Date{0}); }},
        {"date serial -0.5", [] { return Variant(automation::Date{-0.5}); }},
        {"date serial 1e10", [] { return Variant(automation::Date{1e10}); }},
        {"date serial -1e10", [] { return Variant(automation::Date{-1e10}); }},
        {"date serial NaN", [] { return Variant(automation::Date{std::numeric_limits<double>::quiet_NaN()}); }},
        {"date serial inf", [] { return Variant(automation::Date{std::numeric_limits<double>::infinity()}); }},
    };
    auto connection = connection_;
    objects_ = {
        {"Nothing", [] { return Variant::Nothing(); }},
        {"empty list", [] { return List({}); }},
        {"list of keyless records",
         [] {
           return List({Record({}), Record({})});
         }},
        {"list of bills",
         [] {
           return List({Record({{"FID", Variant("22")}}), Record({{"FID", Variant(int32_t{23})}})});
         }},
        {"list of hostile bills",
         [] {
           return List({Record({{"FID", Variant("1);delete from t_LS_Retail;--")}}), Record({{"FID", Variant::Null()}}),
                        Record({{"FID", Variant(1e308)}})});
         }},
        {"list of settlements",
         [] {
           return List({Record({{"FSettleItemID", Variant("1")},
                                {"FSettleAmount", Variant(969.33)},
                                {"FSettleAcctItemID", Variant("0")}})});
         }},
        {"list of hostile settlements",
         [] {
           return List({Record({{"FSettleItemID", Variant("1);delete from t_LS_Retail;--")},
                                {"FSettleAmount", Variant::Null()},
                                {"FSettleAcctItemID", Variant("'")}})});
         }},
        {"list of tax rates",
         [] {
           return List({Record({{"FItemID", Variant("1101")}, {"FTaxRate", Variant("13")}})});
         }},
        {"list of hostile tax rates",
         [] {
           return List({Record({{"FItemID", Variant("1';delete from t_LS_Retail;--")}, {"FTaxRate", Variant("'")}}),
                        Record({{"FTaxRate", Variant::Null()}})});
         }},
        {"list holding a number",
         [] {
           auto vec = foundation::Vector::Create();
           vec->Add(Variant(int32_t{5}));
           vec->Add(Variant::Null());
           return Variant(vec);
         }},
        {"a record",
         [] {
           return Variant(Record({{"FID", Variant("22")}}));
         }},
        {"recordset of bills",
         [connection] {
           auto rs = data::Recordset::Create();
           rs->Open("select * from t_LS_Retail", connection, data::ado::kOpenStatic, data::ado::kLockOptimistic);
           return Variant(rs);
         }},
        {"recordset at its end",
         [connection] {
           auto rs = data::Recordset::Create();
           rs->Open("select * from t_LS_Retail where 1=0", connection, data::ado::kOpenStatic,
                    data::ado::kLockOptimistic);
           return Variant(rs);
         }},
        {"closed recordset", [] { return Variant(data::Recordset::Create()); }},
        {"connection", [connection] { return Variant(connection); }},
        {"recording events", [] { return Variant(hostlib::MakeRecordingSwitch()); }},
        {"events failing at once", [] { return Variant(std::make_shared<FailingEventsSwitch>(1)); }},
        {"events failing later", [] { return Variant(std::make_shared<FailingEventsSwitch>(7)); }},
    };
    specials_ = {
        {"Empty", [] { return Variant(); }},
        {"Null", [] { return Variant::Null(); }},
        {"Missing", [] { return Variant::Missing(); }},
    };
  }

  int64_t RetailBills() const { return automation::CLng(host_.Scalar("select count(*) from t_LS_Retail")); }
  // Puts the retail bills back after a failure, so one fault does not hide the next.
  void RestoreRetailBills() const {
    if (OnServer()) return CopyDatabase(pristine_, host_.db());
    auto connection = data::OpenConnection(host_.db());
    connection->backend().ExecuteScript("ATTACH '" + pristine_ +
                                        "' AS p; DELETE FROM t_LS_Retail; "
                                        "INSERT INTO t_LS_Retail SELECT * FROM p.t_LS_Retail; DETACH p;");
  }

  const Sample& Pick(std::mt19937& random, const std::vector<Sample>& from) {
    return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(random)];
  }
  // Mostly a value of the declared type (hostile in content), sometimes any
  // value at all, Missing or Null.
  const Sample& Argument(std::mt19937& random, const automation::ParamDesc& param) {
    int roll = std::uniform_int_distribution<int>(0, 99)(random);
    if (roll < 5) return Pick(random, specials_);
    if (roll < 20) {
      int pool = std::uniform_int_distribution<int>(0, 3)(random);
      return Pick(random, pool == 0 ? texts_ : pool == 1 ? numbers_ : pool == 2 ? dates_ : objects_);
    }
    if (param.name == "sDsn" && roll < 75) return texts_[0];
    switch (param.type) {
      case ParamType::String: {
        // A filter is an SQL condition by design: it may be malformed in
        // every way, but a statement riding in it is the host's to refuse.
        const Sample* text = &Pick(random, texts_);
        while (param.name == "sFilter" && text->carries_statement) text = &Pick(random, texts_);
        return *text;
      }
      case ParamType::Date:
        return Pick(random, dates_);
      case ParamType::Object: {
        // Mostly an object of the declared type (hostile in content), else any.
        if (roll % 3 == 0) return Pick(random, objects_);
        std::vector<Sample> typed;
        for (const Sample& o : objects_)
          if (param.object_type.empty() || o.label == "Nothing" || TypeOf(o) == param.object_type) typed.push_back(o);
        typed_.push_back(Pick(random, typed));
        return typed_.back();
      }
      case ParamType::Variant:
        return Pick(random, roll % 2 ? texts_ : objects_);
      default:
        return Pick(random, numbers_);
    }
  }

  static std::string TypeOf(const Sample& sample) {
    Variant v = sample.make();
    return v.IsObject() && !v.IsNothing() ? std::string(v.object()->TypeName()) : std::string();
  }

  // The error dispatch raises before the member runs, as its argument
  // checks predict it; 0 when the call reaches the member.
  static int32_t DispatchRefusal(const automation::MemberDesc& member, const std::vector<Variant>& args) {
    if (args.size() > member.params.size()) return automation::vberr::kWrongArgumentCount;
    for (size_t i = 0; i < member.params.size(); ++i) {
      const auto& p = member.params[i];
      if (i >= args.size() || args[i].IsMissing()) {
        if (!p.optional) return automation::vberr::kArgumentNotOptional;
        continue;
      }
      try {
        automation::CoerceArgument(args[i], p);
      } catch (const automation::AutomationError& e) {
        return e.number();
      }
    }
    return 0;
  }

  HostFixture host_{SmallDemo(30, 5, 7)};
  TempDir dir_;
  std::shared_ptr<data::Connection> connection_;
  int64_t retail_bills_ = 0;
  std::string pristine_;
  std::vector<Sample> texts_, numbers_, dates_, objects_, specials_;
  std::deque<Sample> typed_;  // picks made from a filtered pool, kept alive
};

TEST_F(DispatchFuzz, NoMemberRaisesCrashesOrDeletesRetailBills) {
  const int cases_per_member = 100;
  const auto& library = component::DailyBalanceLibrary();
  int calls = 0, refused = 0, raised_by_packaging = 0;
  std::map<int32_t, int> refusals;
  for (const automation::ClassDesc* cls : library.classes) {
    std::string prog_id = library.ProgId(*cls);
    auto object = automation::CreateObject(prog_id);
    ASSERT_TRUE(object) << prog_id;
    for (const automation::MemberDesc& member : cls->default_interface->members) {
      bool may_raise = cls->name == "clsUnBalData" && member.name.rfind("PackageRecord", 0) == 0;
      auto kind = member.kind == automation::MemberKind::PropertyPut ? automation::InvokeKind::Put
                                                                     : automation::InvokeKind::Get;
      for (int c = 0; c < cases_per_member; ++c) {
        std::mt19937 random(static_cast<uint32_t>(std::hash<std::string>{}(prog_id + "." + member.name)) + c);
        size_t count = member.params.size();
        int shape = std::uniform_int_distribution<int>(0, 99)(random);
        if (shape < 4 && count > 0) count = std::uniform_int_distribution<size_t>(0, count - 1)(random);
        if (shape >= 96) count += 1;
        std::vector<Variant> args;
        std::string described;
        for (size_t i = 0; i < count; ++i) {
          const Sample& sample = i < member.params.size() ? Argument(random, member.params[i]) : Pick(random, texts_);
          args.push_back(sample.make());
          described += (i ? ", " : "") + sample.label;
        }
        std::string call = prog_id + "." + member.name + "(" + described + ") [case " + std::to_string(c) + "]";
        int32_t expected = DispatchRefusal(member, args);

        ++calls;
        try {
          object->Invoke(member.name, kind, args);
          EXPECT_EQ(expected, 0) << call << ": dispatch let through what its checks refuse";
        } catch (const automation::AutomationError& e) {
          if (expected != 0) {
            ++refused;
            ++refusals[e.number()];
            EXPECT_EQ(e.number(), expected) << call << ": " << e.description();
          } else if (may_raise) {
            ++raised_by_packaging;
          } else {
            ADD_FAILURE() << call << " raised " << e.number() << " " << e.source() << ": " << e.description();
          }
        } catch (const std::exception& e) {
          ADD_FAILURE() << call << " let a C++ exception out: " << e.what();
        }
        ASSERT_FALSE(host::GlobalContext::ForThread().GetDataContext()->InUnit()) << call << " left its unit open";
        ASSERT_FALSE(connection_->backend().InTransaction()) << call << " left a transaction open";
        if (RetailBills() != retail_bills_) {
          ADD_FAILURE() << call << " changed the number of retail bills";
          RestoreRetailBills();
        }
      }
    }
  }
  std::string histogram;
  for (const auto& [number, n] : refusals) histogram += " " + std::to_string(number) + "x" + std::to_string(n);
  std::cout << "[ fuzz     ] " << calls << " calls, " << refused << " refused by dispatch (" << histogram << " ), "
            << raised_by_packaging << " raised by clsUnBalData's packaging\n";
  EXPECT_GT(calls, 3000);
}

}  // namespace
}  // namespace tovan::testing
