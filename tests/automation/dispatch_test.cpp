// Late-bound calls through a described interface: argument completion,
// coercion and by-reference write-back, as a type-library dispatcher does.
#include <gtest/gtest.h>

#include "platform/automation/error.h"
#include "platform/automation/typelib.h"

namespace tovan::automation {
namespace {

using T = ParamType;
using namespace describe;

const InterfaceDesc& SampleInterface() {
  static const InterfaceDesc iface{
      "_Sample",
      Guid::Of("{11111111-2222-3333-4444-555555555555}"),
      {
          Method("Echo", {In("sText", T::String), Opt(In("lCount", T::Long), Variant(int32_t{3})),
                          Opt(In("vExtra", T::Variant))},
                 T::Variant),
          Method("Bump", {Ref("lValue", T::Long), In("lByVal", T::Long), Opt(Ref("sNote", T::String), Variant("n"))},
                 T::Boolean),
          Method("Fail", {Ref("lValue", T::Long)}, T::Long),
          Method("Take", {In("vec", T::Object, "Sample")}, T::String),
          Method("Unbuilt", {}, T::Long),
          Get("Value", {}, T::Long, /*is_default=*/true),
          Put("Value", {In("NewValue", T::Long)}, /*is_default=*/true),
      }};
  return iface;
}

class Sample : public DescribedObject {
 public:
  Sample() : DescribedObject(Table()) {}
  int32_t value = 0;
  std::vector<Variant> last_args;

 private:
  static const DispatchTable& Table() {
    static const DispatchTable table = [] {
      DispatchTable t(SampleInterface(), "Sample", "Test.Sample");
      t.Bind("Echo", [](Dispatch& d, std::span<Variant> a) {
        Self<Sample>(d).last_args.assign(a.begin(), a.end());
        return Variant(a[0].string() + "x" + std::to_string(a[1].long_value()));
      });
      t.Bind("Bump", [](Dispatch&, std::span<Variant> a) {
        a[0] = Variant(a[0].long_value() + 1);
        a[1] = Variant(int32_t{-1});  // ByVal: the caller must not see this
        a[2] = Variant(a[2].string() + "!");
        return Variant(int32_t{1});  // coerced to the declared Boolean
      });
      t.Bind("Fail", [](Dispatch&, std::span<Variant> a) -> Variant {
        a[0] = Variant(int32_t{99});
        Raise(vberr::kDivisionByZero, "Test.Sample");
      });
      t.Bind("Take", [](Dispatch&, std::span<Variant> a) {
        return Variant(a[0].IsNothing() ? "nothing" : "object");
      });
      t.Bind("Value", MemberKind::PropertyGet, [](Dispatch& d, std::span<Variant>) {
        return Variant(Self<Sample>(d).value);
      });
      t.Bind("Value", MemberKind::PropertyPut, [](Dispatch& d, std::span<Variant> a) {
        Self<Sample>(d).value = a[0].long_value();
        return Variant();
      });
      return t;
    }();
    return table;
  }
};

int32_t ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const AutomationError& e) {
    return e.number();
  }
  return 0;
}

TEST(Dispatch, CompletesOptionalArgumentsAndCoercesToDeclaredTypes) {
  auto obj = std::make_shared<Sample>();
  // Member names resolve in any case; omitted optionals take declared defaults.
  EXPECT_EQ(CStr(obj->Call("ECHO", 5)), "5x3");
  ASSERT_EQ(obj->last_args.size(), 3u);
  EXPECT_TRUE(obj->last_args[2].IsMissing()) << "an optional Variant without default stays Missing";
  // Explicit Missing in the middle also takes the default; numeric text becomes a Long.
  std::vector<Variant> args{Variant("a"), Variant::Missing(), Variant(1.5)};
  EXPECT_EQ(CStr(obj->Invoke("Echo", InvokeKind::Get, args)), "ax3");
  EXPECT_EQ(CStr(obj->Call("Echo", "a", "12")), "ax12");
  EXPECT_EQ(CStr(obj->Call("Echo", "a", 2.5)), "ax2") << "halves round to even";

  EXPECT_EQ(ErrorOf([&] { obj->Call("Echo", "a", "twelve"); }), vberr::kTypeMismatch);
  EXPECT_EQ(ErrorOf([&] { obj->Call("Echo", "a", 3e10); }), vberr::kOverflow);
  EXPECT_EQ(ErrorOf([&] { obj->Call("Echo", Variant::Null()); }), vberr::kInvalidUseOfNull);
  EXPECT_EQ(ErrorOf([&] { obj->Call("Echo"); }), vberr::kArgumentNotOptional);
  EXPECT_EQ(ErrorOf([&] { obj->Call("Echo", "a", 1, 2, 3); }), vberr::kWrongArgumentCount);
  EXPECT_EQ(ErrorOf([&] { obj->Call("Nope"); }), vberr::kMemberNotFound);
  EXPECT_EQ(ErrorOf([&] { obj->Call("Unbuilt"); }), vberr::kNotImplemented);
}

TEST(Dispatch, WritesBackByReferenceArgumentsOnly) {
  auto obj = std::make_shared<Sample>();
  std::vector<Variant> args{Variant("41"), Variant(int32_t{7}), Variant("note")};
  Variant result = obj->Invoke("Bump", InvokeKind::Get, args);
  EXPECT_EQ(result.type(), VarType::Boolean);
  EXPECT_TRUE(result.boolean());
  // The ByRef text "41" came back as the declared Long, incremented.
  EXPECT_EQ(args[0].type(), VarType::Long);
  EXPECT_EQ(args[0].long_value(), 42);
  EXPECT_EQ(args[1].long_value(), 7) << "ByVal arguments are not written back";
  EXPECT_EQ(args[2].string(), "note!");

  // An omitted ByRef optional is filled for the callee but there is nothing to write back to.
  std::vector<Variant> short_args{Variant(int32_t{1}), Variant(int32_t{2})};
  obj->Invoke("Bump", InvokeKind::Get, short_args);
  EXPECT_EQ(short_args.size(), 2u);
  EXPECT_EQ(short_args[0].long_value(), 2);

  // A coercion failure leaves the caller's arguments as they were.
  std::vector<Variant> bad{Variant("x"), Variant(int32_t{1})};
  EXPECT_EQ(ErrorOf([&] { obj->Invoke("Bump", InvokeKind::Get, bad); }), vberr::kTypeMismatch);
  EXPECT_EQ(bad[0].string(), "x");

  // What the member wrote before raising stays written, as with VB's ByRef.
  std::vector<Variant> failing{Variant(int32_t{1})};
  EXPECT_EQ(ErrorOf([&] { obj->Invoke("Fail", InvokeKind::Get, failing); }), vberr::kDivisionByZero);
  EXPECT_EQ(failing[0].long_value(), 99);
}

TEST(Dispatch, DefaultMemberPropertiesAndObjectParameters) {
  auto obj = std::make_shared<Sample>();
  std::vector<Variant> put{Variant("17")};
  obj->Invoke("", InvokeKind::Put, put);
  EXPECT_EQ(obj->value, 17);
  EXPECT_EQ(obj->Invoke("", InvokeKind::Get, {}).long_value(), 17);
  EXPECT_EQ(obj->Call("value").long_value(), 17);

  auto other = std::make_shared<Sample>();
  EXPECT_EQ(CStr(obj->Call("Take", other)), "object");
  EXPECT_EQ(CStr(obj->Call("Take", Variant::Nothing())), "nothing");
  EXPECT_EQ(ErrorOf([&] { obj->Call("Take", 5); }), vberr::kTypeMismatch);
  EXPECT_EQ(ErrorOf([&] { obj->Call("Take", Variant()); }), vberr::kTypeMismatch);
}

}  // namespace
}  // namespace tovan::automation
