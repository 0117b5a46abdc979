// The values the component reads from its host process, through the
// registered shared-property service and the per-process property object.
#include <gtest/gtest.h>

#include "component/host_values.h"
#include "host/host_library.h"
#include "platform/automation/error.h"
#include "platform/automation/registry.h"
#include "platform/host/global_context.h"
#include "platform/host/host_objects.h"
#include "tests/support/temp_dir.h"

namespace tovan::component {
namespace {

using automation::AutomationError;
using automation::Variant;

class HostValues : public ::testing::Test {
 protected:
  void TearDown() override { host::GlobalContext::ForThread().Reset(); }
  testing::ScopedRegistry registry_;
};

TEST_F(HostValues, PropsStringComesFromTheSharedPropertyService) {
  auto& global = host::GlobalContext::ForThread();
  global.SetSharedProperty(host::CurrentProcessId(), "PropsString", Variant("sqlite:/data/shop.db"));
  // Without the host library registered the service cannot be created.
  EXPECT_THROW(GetPropsString(), AutomationError);
  ASSERT_EQ(automation::RegisterServer(hostlib::LibraryFile()), 0);
  EXPECT_EQ(GetPropsString(), "sqlite:/data/shop.db");
  // Another process's value is not ours.
  global.SetSharedProperty(host::CurrentProcessId() + 1, "PropsString", Variant("other"));
  EXPECT_EQ(GetPropsString(), "sqlite:/data/shop.db");
  EXPECT_TRUE(GetSharedProperty("NotPublished").IsEmpty());
  ASSERT_EQ(automation::RegisterServer(hostlib::LibraryFile(), /*unregister=*/true), 0);
}

TEST_F(HostValues, AppTypeFromTheProcessPropertyObject) {
  try {
    GetAppType();
    FAIL() << "no property object registered: the caller must see a failure";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), automation::vberr::kObjectNotSet);
  }
  auto properties = std::make_shared<host::ProcessProperties>();
  host::RegisterProcessProperties(properties);
  EXPECT_EQ(GetAppType(), 2) << "the default when the host holds no AppType";
  properties->Set("AppType", Variant("1"));
  EXPECT_EQ(GetAppType(), 1);
  properties->Set("apptype", Variant(2.5));
  EXPECT_EQ(GetAppType(), 2) << "converted as CLng converts: halves to even";
  EXPECT_TRUE(GetProcessProperty("Other").IsEmpty());
  EXPECT_EQ(GetProcessProperty("Other", Variant("d")).string(), "d");
  properties->Set("AppType", Variant("abc"));
  EXPECT_THROW(GetAppType(), AutomationError);
}

}  // namespace
}  // namespace tovan::component
