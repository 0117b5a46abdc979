// The record model's key and position rules, from C++ and late-bound.
#include <gtest/gtest.h>

#include "platform/automation/error.h"
#include "platform/foundation/vector.h"

namespace tovan::foundation {
namespace {

using automation::AutomationError;
namespace vberr = automation::vberr;

int32_t ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const AutomationError& e) {
    return e.number();
  }
  return 0;
}

// Stands in for a recordset field: an object whose default value is its value.
class FakeField : public automation::Dispatch {
 public:
  explicit FakeField(Variant v) : value_(std::move(v)) {}
  Variant Invoke(std::string_view, automation::InvokeKind, std::span<Variant>) override { return value_; }
  std::string_view TypeName() const override { return "Field"; }
  bool GetDefaultValue(Variant& out) override {
    out = value_;
    return true;
  }

 private:
  Variant value_;
};

TEST(Dictionary, KeysIgnoreCaseKeepFirstCaseAndInsertionOrder) {
  auto r = Dictionary::Create();
  EXPECT_EQ(r->Count(), 0);
  r->SetValue("FInCustID", Variant(int32_t{5}));
  r->SetValue("FPriceDiscount", Variant(1.5));
  r->SetValue("FAmount", Variant("10"));
  EXPECT_EQ(r->Value("FInCustId").long_value(), 5);
  EXPECT_TRUE(r->Exists("fincustid"));
  EXPECT_FALSE(r->Exists("FInCust"));

  r->SetValue("FPriceDisCount", Variant(2.5));  // replaces, keeps position and first case
  ASSERT_EQ(r->Count(), 3);
  EXPECT_EQ(r->Key(1), "FInCustID");
  EXPECT_EQ(r->Key(2), "FPriceDiscount");
  EXPECT_EQ(r->Key(3), "FAmount");
  EXPECT_EQ(r->Value("FPRICEDISCOUNT").double_value(), 2.5);
  EXPECT_EQ(ErrorOf([&] { r->Key(0); }), vberr::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([&] { r->Key(4); }), vberr::kSubscriptOutOfRange);

  // GetValue answers the default only for keys never stored, not for stored Empty or Null.
  r->SetValue("FNull", Variant::Null());
  EXPECT_EQ(r->GetValue("FQty", Variant(int32_t{1})).long_value(), 1);
  EXPECT_TRUE(r->GetValue("fnull", Variant(int32_t{1})).IsNull());
  EXPECT_TRUE(r->Value("Missing").IsEmpty());

  r->Clear();
  EXPECT_EQ(r->Count(), 0);
}

TEST(Dictionary, StoresFieldValuesButRecordReferences) {
  auto r = Dictionary::Create();
  r->SetValue("FName", Variant(std::make_shared<FakeField>(Variant("abc"))));
  EXPECT_EQ(r->Value("FName").type(), automation::VarType::String);
  EXPECT_EQ(r->Value("FName").string(), "abc");

  auto inner = Dictionary::Create();
  r->SetValue("Child", Variant(inner));
  inner->SetValue("X", Variant(int32_t{1}));
  EXPECT_EQ(AsDictionary(r->Value("Child")), inner) << "a record is stored by reference";
}

TEST(Dictionary, LateBoundMembers) {
  auto r = Dictionary::Create();
  std::vector<Variant> put{Variant("FID"), Variant(int32_t{12})};
  r->Invoke("", automation::InvokeKind::Put, put);  // r("FID") = 12
  EXPECT_EQ(r->Call("Value", "fid").long_value(), 12);
  EXPECT_EQ(r->Call("", "FID").long_value(), 12);
  EXPECT_EQ(r->Call("Count").long_value(), 1);
  EXPECT_EQ(r->Call("Key", 1).string(), "FID");
  EXPECT_TRUE(r->Call("Exists", "FID").boolean());
  EXPECT_EQ(r->Call("GetValue", "FQty", 0).long_value(), 0);
  EXPECT_TRUE(r->Call("GetValue", "FQty").IsEmpty()) << "an omitted default is Empty";
}

TEST(Vector, PositionsRunFromOne) {
  auto v = Vector::Create();
  EXPECT_EQ(v->UpperBound(), 0);
  EXPECT_EQ(ErrorOf([&] { v->Item(1); }), vberr::kSubscriptOutOfRange);
  for (int32_t i = 1; i <= 5; ++i) v->Add(Variant(i * 10));
  EXPECT_EQ(v->Count(), 5);
  EXPECT_EQ(v->UpperBound(), 5);
  EXPECT_EQ(v->Item(1).long_value(), 10);
  EXPECT_EQ(v->Item(5).long_value(), 50);
  EXPECT_EQ(ErrorOf([&] { v->Item(0); }), vberr::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([&] { v->Item(6); }), vberr::kSubscriptOutOfRange);

  v->Remove(2, 1);  // 10 30 40 50
  EXPECT_EQ(v->Item(2).long_value(), 30);
  v->Remove(3, 2);  // 10 30
  EXPECT_EQ(v->UpperBound(), 2);
  EXPECT_EQ(ErrorOf([&] { v->Remove(2, 2); }), vberr::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([&] { v->Remove(1, 0); }), vberr::kInvalidProcedureCall);
  EXPECT_EQ(v->UpperBound(), 2) << "a refused Remove removes nothing";

  // Late-bound: Remove's count defaults to 1, Item is the default member.
  v->Call("Remove", 1);
  EXPECT_EQ(v->Call("", 1).long_value(), 30);
  EXPECT_EQ(v->Call("UpperBound").long_value(), 1);

  EXPECT_EQ(ErrorOf([&] { v->Record(1); }), vberr::kTypeMismatch);
  v->Add(Variant::Nothing());
  EXPECT_EQ(ErrorOf([&] { v->Record(2); }), vberr::kObjectNotSet);
}

TEST(NullToDefault, ReplacesOnlyNull) {
  EXPECT_EQ(NullToDefault(Variant::Null(), Variant("")).string(), "");
  EXPECT_TRUE(NullToDefault(Variant(), Variant("d")).IsEmpty());
  EXPECT_EQ(NullToDefault(Variant(int32_t{0}), Variant("d")).long_value(), 0);
}

}  // namespace
}  // namespace tovan::foundation
