// The system profile (host options) and the user profile (per-user settings).
#include "host/components/components.h"
#include "host/host_database.h"
#include "platform/host/data_context.h"
#include "platform/host/global_context.h"

namespace tovan::hostlib {

using automation::Dispatch;
using automation::ParamType;
using automation::Variant;

namespace {
const automation::InterfaceDesc& SystemInterface() {
  using namespace automation::describe;
  static const automation::InterfaceDesc iface{
      "_SystemProfile",
      automation::Guid::Of("{DF1A5E7E-B7CC-4EA1-A86A-EE01C53403A2}"),
      {Method("GetSystemProfile",
              {In("sCategory", ParamType::String), In("sKey", ParamType::String),
               Opt(In("vDefault", ParamType::Variant), Variant(""))},
              ParamType::Variant)}};
  return iface;
}

const automation::DispatchTable& SystemTable() {
  static const automation::DispatchTable table = [] {
    automation::DispatchTable t(SystemInterface(), "SystemProfile", "TovanEBCGL.SystemProfile");
    t.Bind("GetSystemProfile", [](Dispatch& d, std::span<Variant> a) {
      return automation::Self<SystemProfile>(d).GetSystemProfile(a[0].string(), a[1].string(), a[2]);
    });
    return t;
  }();
  return table;
}

const automation::InterfaceDesc& UserInterface() {
  using namespace automation::describe;
  static const automation::InterfaceDesc iface{
      "_ClassUserProfileInfo",
      automation::Guid::Of("{D9A6DC0B-1405-405F-A81B-B32E379A56B3}"),
      {Method("GetUserProfile",
              {In("sDsn", ParamType::String), Ref("sSection", ParamType::String), Ref("sKey", ParamType::String)},
              ParamType::String)}};
  return iface;
}

const automation::DispatchTable& UserTable() {
  static const automation::DispatchTable table = [] {
    automation::DispatchTable t(UserInterface(), "ClassUserProfileInfo", "TovanMProfile.ClassUserProfileInfo");
    t.Bind("GetUserProfile", [](Dispatch& d, std::span<Variant> a) {
      return Variant(automation::Self<UserProfileInfo>(d).GetUserProfile(a[0].string(), a[1].string(), a[2].string()));
    });
    return t;
  }();
  return table;
}
}  // namespace

const automation::ClassDesc& SystemProfile::Class() {
  static const automation::ClassDesc cls{"SystemProfile", automation::Guid::Of("{0E0C79D7-DC9A-42E7-B3C7-5A92224E7375}"),
                                         &SystemInterface(), "TovanEBCGL.SystemProfile"};
  return cls;
}

SystemProfile::SystemProfile() : DescribedObject(SystemTable()) {}

Variant SystemProfile::GetSystemProfile(const std::string& category, const std::string& key,
                                        const Variant& default_value) {
  host::CallScope scope;
  HostDatabase db(HostDataSource());
  Variant value = db.Scalar("SELECT FValue FROM t_SystemProfile WHERE FCategory = ?1 AND FKey = ?2",
                            {Variant(category), Variant(key)});
  return value.IsEmpty() || value.IsNull() ? default_value : value;
}

const automation::ClassDesc& UserProfileInfo::Class() {
  static const automation::ClassDesc cls{"ClassUserProfileInfo",
                                         automation::Guid::Of("{36EF59AA-CBD7-4AC8-8B10-4A4D4FFD5179}"),
                                         &UserInterface(), "TovanMProfile.ClassUserProfileInfo"};
  return cls;
}

UserProfileInfo::UserProfileInfo() : DescribedObject(UserTable()) {}

std::string UserProfileInfo::GetUserProfile(const std::string& data_source, const std::string& section,
                                            const std::string& key) {
  host::CallScope scope;
  HostDatabase db(data_source);
  // The user's own setting, or else the one shared by every user (user 0).
  Variant value = db.Scalar(
      "SELECT FValue FROM t_UserProfile WHERE FUserID IN (?1, 0) AND FSection = ?2 AND FKey = ?3 ORDER BY FUserID DESC",
      {Variant(int32_t{host::GlobalContext::ForThread().UserId()}), Variant(section), Variant(key)});
  return value.IsEmpty() || value.IsNull() ? std::string() : automation::CStr(value);
}

}  // namespace tovan::hostlib
