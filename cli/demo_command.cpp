#include <iostream>

#include "cli/commands.h"
#include "cli/json_values.h"
#include "component/type_library.h"
#include "platform/automation/error.h"
#include "platform/automation/registry.h"
#include "platform/foundation/vector.h"

namespace tovan::cli {

using automation::Variant;

namespace {
std::shared_ptr<foundation::Vector> Records(const char* key, std::initializer_list<Variant> values) {
  auto list = foundation::Vector::Create();
  for (const Variant& v : values) {
    auto record = foundation::Dictionary::Create();
    record->SetValue(key, v);
    list->Add(Variant(record));
  }
  return list;
}
}  // namespace

// Registers the library and drives its classes late-bound, the way a host
// does: by ProgID through the registry, members by name.
int RunDemo(bool json) {
  if (std::string error = RegisterLibraries(false); !error.empty()) {
    PrintError(error);
    return kExitFailed;
  }
  Json steps = Json::array();
  auto step = [&](const std::string& call, const Variant& result) {
    steps.push_back(Json{{"call", call}, {"result", JsonFromVariant(result)}});
    if (!json) std::cout << "  " << call << " -> " << ToText(JsonFromVariant(result)) << "\n";
  };
  try {
    const auto& lib = component::DailyBalanceLibrary();
    if (!json) std::cout << "Library " << lib.name << " " << lib.libid.ToString() << "\n";
    for (const auto* cls : lib.classes) {
      if (!json) {
        std::cout << lib.ProgId(*cls) << " " << cls->clsid.ToString() << ", " << cls->default_interface->members.size()
                  << " members\n";
      }
    }
    auto data = automation::CreateObject("TovanMDailyBalance.clsData");
    auto selection = automation::CreateObject("TovanMDailyBalance.clsXSBalData");
    auto cancel = automation::CreateObject("TovanMDailyBalance.clsUnBalData");
    step("clsData.TransMode", data->Call("TransMode"));
    step("clsUnBalData.TransMode", cancel->Call("TransMode"));
    step("clsData.GetProgressValue", data->Call("GetProgressValue"));
    auto ids = Records("FID", {Variant("12"), Variant("12"), Variant("15"), Variant("12")});
    step("clsXSBalData.GetXSIDData([12,12,15,12])", selection->Call("GetXSIDData", ids));
    auto settle = Records("FSettleItemID", {Variant("1"), Variant("1"), Variant("3")});
    step("clsData.JudgeSettleType([1,1,3])", data->Call("JudgeSettleType", settle));
  } catch (const automation::AutomationError& e) {
    PrintError(e.source() + ": " + e.description());
    return kExitFailed;
  }
  if (json) std::cout << ToText(Json{{"steps", steps}}) << "\n";
  return kExitOk;
}

}  // namespace tovan::cli
