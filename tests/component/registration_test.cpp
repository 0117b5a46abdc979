// The library as a host meets it: registration through the four entry
// points, creation by ProgID, and the described interfaces.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <fstream>

#include "component/type_library.h"
#include "platform/automation/error.h"
#include "platform/automation/inproc_server.h"
#include "platform/automation/registry.h"
#include "platform/foundation/vector.h"
#include "tests/support/temp_dir.h"

namespace tovan::component {
namespace {

using automation::AutomationError;
using automation::Registry;
using automation::Variant;
namespace hresult = automation::hresult;

// The registered library, not the classes linked into this test.
std::string LibraryFile() { return automation::LoadedServerFile("libTovanMDailyBalance.so"); }

// The entry points of this library, reached the way a host reaches them.
int32_t DllRegisterServer() { return automation::RegisterServer(LibraryFile(), false); }
int32_t DllUnregisterServer() { return automation::RegisterServer(LibraryFile(), true); }
automation::DllGetClassObjectFn ClassObjectEntry() {
  void* handle = ::dlopen(LibraryFile().c_str(), RTLD_NOW | RTLD_NOLOAD);
  return reinterpret_cast<automation::DllGetClassObjectFn>(::dlsym(handle, "DllGetClassObject"));
}
int32_t DllGetClassObject(const automation::Guid* clsid, const automation::Guid* iid, void** out) {
  return ClassObjectEntry()(clsid, iid, out);
}
int32_t DllCanUnloadNow() {
  void* handle = ::dlopen(LibraryFile().c_str(), RTLD_NOW | RTLD_NOLOAD);
  return reinterpret_cast<int32_t (*)()>(::dlsym(handle, "DllCanUnloadNow"))();
}

TEST(Registration, RoundTripThroughTheEntryPoints) {
  testing::ScopedRegistry scoped;
  // Another library's registration must survive ours coming and going.
  {
    std::ofstream out(scoped.path());
    out << R"({"ProgID": {"Other.Thing": "{00000000-0000-0000-0000-000000000001}"},
               "CLSID": {"{00000000-0000-0000-0000-000000000001}": {"ProgID": "Other.Thing"}}})";
  }
  Registry registry(scoped.path());
  EXPECT_FALSE(registry.FindByProgId("TovanMDailyBalance.clsData"));
  EXPECT_THROW(automation::CreateObject(registry, "TovanMDailyBalance.clsData"), AutomationError);

  ASSERT_EQ(DllRegisterServer(), hresult::kOk);
  for (const char* name : {"clsData", "clsUnBalData", "clsXSBalData"}) {
    auto reg = registry.FindByProgId(std::string("tovanmdailybalance.") + name);  // ProgIDs ignore case
    ASSERT_TRUE(reg) << name;
    EXPECT_EQ(reg->class_name, name);
    EXPECT_EQ(reg->threading_model, "Apartment");
    EXPECT_EQ(reg->libid, DailyBalanceLibrary().libid);
    EXPECT_EQ(reg->clsid, DailyBalanceLibrary().FindClass(name)->clsid);
    EXPECT_TRUE(std::filesystem::exists(reg->library_path)) << reg->library_path;
  }
  EXPECT_TRUE(registry.FindByProgId("Other.Thing"));

  // Creation goes through the registered library's class object.
  ASSERT_EQ(DllCanUnloadNow(), hresult::kOk);
  {
    auto obj = automation::CreateObject(registry, "TovanMDailyBalance.clsData");
    EXPECT_EQ(obj->TypeName(), "clsData");
    EXPECT_EQ(DllCanUnloadNow(), hresult::kFalse) << "an object is alive";
  }
  EXPECT_EQ(DllCanUnloadNow(), hresult::kOk);

  void* factory = nullptr;
  automation::Guid unknown = automation::Guid::Of("{12345678-1234-1234-1234-123456789ABC}");
  automation::Guid class_factory = automation::IidClassFactory();
  EXPECT_EQ(DllGetClassObject(&unknown, &class_factory, &factory), hresult::kClassNotAvailable);
  EXPECT_EQ(factory, nullptr);
  automation::Guid clsid = ClsDataClass().clsid;
  EXPECT_EQ(DllGetClassObject(&clsid, &unknown, &factory), hresult::kNoInterface);
  EXPECT_EQ(DllGetClassObject(&clsid, &class_factory, nullptr), hresult::kPointer);

  ASSERT_EQ(DllUnregisterServer(), hresult::kOk);
  EXPECT_FALSE(registry.FindByProgId("TovanMDailyBalance.clsData"));
  EXPECT_FALSE(registry.FindByClsid(clsid));
  EXPECT_TRUE(registry.FindByProgId("Other.Thing"));
  EXPECT_EQ(DllUnregisterServer(), hresult::kOk) << "unregistering twice is not an error";
}

TEST(Registration, ACorruptRegistryIsReportedNotIgnored) {
  testing::ScopedRegistry scoped;
  std::ofstream(scoped.path()) << "{ not json";
  try {
    automation::CreateObject("TovanMDailyBalance.clsData");
    FAIL() << "expected an error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), automation::vberr::kCannotCreateObject);
    EXPECT_NE(e.description().find("not valid JSON"), std::string::npos);
  }
  EXPECT_NE(DllRegisterServer(), hresult::kOk);
}

TEST(TypeLibrary, DescribesEveryMemberInInterfaceOrder) {
  const auto& data = ClsDataInterface().members;
  ASSERT_EQ(data.size(), 24u);
  EXPECT_EQ(data[0].name, "CheckBalData");
  EXPECT_EQ(data[12].name, "ProcessDailyBalance");
  EXPECT_EQ(data.back().name, "TransMode");
  EXPECT_EQ(data.back().kind, automation::MemberKind::PropertyGet);
  const auto& pdb = data[12].params;
  ASSERT_EQ(pdb.size(), 15u);
  EXPECT_TRUE(pdb[7].by_ref);  // dDate
  EXPECT_EQ(pdb[7].type, automation::ParamType::Date);
  EXPECT_TRUE(pdb[12].optional);
  EXPECT_FALSE(pdb[12].default_value.boolean());

  // Date defaults of the checks: from 1900-01-02 to 9999-12-30.
  const auto& check = data[0].params;
  EXPECT_EQ(automation::DateToText(check[2].default_value.date()), "1900-01-02");
  EXPECT_EQ(automation::DateToText(check[3].default_value.date()), "9999-12-30");
  EXPECT_EQ(ClsDataInterface().members[ClsDataInterface().Find("CheckStore", automation::InvokeKind::Get)]
                .params[3]
                .default_value.string(),
            "1");

  EXPECT_EQ(ClsUnBalDataInterface().members.size(), 9u);
  EXPECT_EQ(ClsXSBalDataInterface().members.size(), 2u);
  EXPECT_EQ(ClsXSBalDataInterface().Find("TransMode", automation::InvokeKind::Get), -1);

  // Every identity is distinct.
  std::vector<automation::Guid> ids{DailyBalanceLibrary().libid};
  for (auto* c : DailyBalanceLibrary().classes) ids.push_back(c->clsid);
  for (auto* i : DailyBalanceLibrary().interfaces) ids.push_back(i->iid);
  for (size_t a = 0; a < ids.size(); ++a)
    for (size_t b = a + 1; b < ids.size(); ++b) EXPECT_FALSE(ids[a] == ids[b]);
}

std::shared_ptr<foundation::Vector> Records(const char* key, std::initializer_list<Variant> values) {
  auto list = foundation::Vector::Create();
  for (const Variant& v : values) {
    auto record = foundation::Dictionary::Create();
    record->SetValue(key, v);
    list->Add(Variant(record));
  }
  return list;
}

TEST(Classes, MembersThatNeedNoDatabase) {
  testing::ScopedRegistry scoped;
  ASSERT_EQ(DllRegisterServer(), hresult::kOk);
  auto data = automation::CreateObject("TovanMDailyBalance.clsData");
  auto cancel = automation::CreateObject("TovanMDailyBalance.clsUnBalData");
  auto selection = automation::CreateObject("TovanMDailyBalance.clsXSBalData");

  EXPECT_EQ(data->Call("TransMode").long_value(), 2);
  EXPECT_EQ(cancel->Call("transmode").long_value(), 2);
  EXPECT_EQ(data->Call("GetProgressValue").long_value(), 0);
  EXPECT_EQ(cancel->Call("GetUnBalProgressValue").long_value(), 0);

  EXPECT_EQ(selection->Call("GetXSIDData", Records("FID", {"12", "12", "15", "12"})).string(), "'12','15','12'");
  EXPECT_EQ(selection->Call("GetXSIDData", Records("FID", {"7"})).string(), "'7'");
  EXPECT_EQ(selection->Call("GetXSIDData", foundation::Vector::Create()).string(), "");
  EXPECT_EQ(selection->Call("GetXSIDData", Records("FID", {"0", "0"})).string(), "") << "every id skipped";
  EXPECT_EQ(selection->Call("GetXSIDData", Records("FID", {"5", "abc"})).string(), "") << "a non-numeric id";
  EXPECT_EQ(selection->Call("GetXSIDData", Variant::Nothing()).string(), "");
  // A record whose FID is no number is a run-time error: the empty text, never a list with a hole.
  auto no_fid = Records("FID", {"12"});
  no_fid->Add(Variant(foundation::Dictionary::Create()));
  EXPECT_EQ(selection->Call("GetXSIDData", no_fid).string(), "") << "a record without FID";
  EXPECT_EQ(selection->Call("GetXSIDData", Records("FID", {"12", ""})).string(), "") << "an empty FID";
  EXPECT_EQ(selection->Call("GetXSIDData", Records("FID", {"12", "12' or '1'='1"})).string(), "");
  EXPECT_EQ(selection->Call("GetXSIDData", Records("FID", {"12", Variant::Null()})).string(), "");
  // Numeric text is compared as the number it is.
  EXPECT_EQ(selection->Call("GetXSIDData", Records("FID", {"12", "12.0", int32_t{15}})).string(), "'12','15'");

  EXPECT_FALSE(data->Call("JudgeSettleType", Records("FSettleItemID", {"1", "1", "3"})).boolean());
  EXPECT_TRUE(data->Call("JudgeSettleType", Records("FSettleItemID", {"1", int32_t{1}})).boolean());
  EXPECT_TRUE(data->Call("JudgeSettleType", foundation::Vector::Create()).boolean());
  EXPECT_FALSE(data->Call("JudgeSettleType", Records("Other", {"1"})).boolean()) << "no FSettleItemID key";
  EXPECT_FALSE(data->Call("JudgeSettleType", Variant::Nothing()).boolean());

  // Every member is built: a member called without its required arguments is refused, not run.
  try {
    data->Call("ProcessDailyBalance");
    FAIL() << "a call without its arguments must not run";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), automation::vberr::kArgumentNotOptional);
    EXPECT_EQ(e.source(), "TovanMDailyBalance.clsData");
  }
  ASSERT_EQ(DllUnregisterServer(), hresult::kOk);
}

}  // namespace
}  // namespace tovan::component
