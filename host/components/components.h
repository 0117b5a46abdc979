// The reference host's business components, created by ProgID and called
// late-bound exactly as the component calls them:
//   TovanMClass.ClassInfo                GetData(dsn, ByRef sql) -> recordset
//   TovanMBillCodeRule.clsBillCodeRule   GetNewBillID(dsn, ByRef request, bool) -> bill number
//   TovanEBCGL.SystemProfile             GetSystemProfile(category, key, default) -> value
//   TovanMProfile.ClassUserProfileInfo   GetUserProfile(dsn, ByRef section, ByRef key) -> text
//   TovanM_CC_PlugIns.PublicSysInfo      AuditBill(...) -> 1 when the stock bill is (un)audited
//   TovanM_ArAp_PlugIns.clsCheck         CheckBill(...) -> True when written off (or undone)
// Each call is a public operation of its own: it joins the caller's unit of
// work on the thread's connection for the data source it is given.
//
// Plug-in faults (a test seam, like $DAILYBALANCE_FAULT for statements):
// $DAILYBALANCE_PLUGIN_FAULT makes the two plug-ins answer a failure without
// doing their work, as a host plug-in that refuses would.  It holds
// OPERATION=ANSWER pairs separated by commas, e.g. "audit=2,undo=false":
//   audit, unaudit    AuditBill with operation 1 / -1 answers the integer given;
//   writeoff, undo    CheckBill with operation 1 / 0 answers true or false;
//   ANSWER "raise"    the call raises an error instead of answering.
//
// Thread-safety: apartment-threaded.
#pragma once

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/automation/typelib.h"
#include "platform/data/recordset.h"
#include "platform/foundation/vector.h"

namespace tovan::hostlib {

// The answer $DAILYBALANCE_PLUGIN_FAULT sets for `operation`, or nullopt.
inline std::optional<std::string> PlugInFault(std::string_view operation) {
  const char* plan = std::getenv("DAILYBALANCE_PLUGIN_FAULT");
  if (plan == nullptr) return std::nullopt;
  std::string_view rest(plan);
  while (!rest.empty()) {
    size_t comma = rest.find(',');
    std::string_view pair = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    size_t equals = pair.find('=');
    if (equals != std::string_view::npos && pair.substr(0, equals) == operation)
      return std::string(pair.substr(equals + 1));
  }
  return std::nullopt;
}

class ClassInfo final : public automation::DescribedObject {
 public:
  ClassInfo();
  // The query's rows as a static recordset detached from the connection.
  std::shared_ptr<data::Recordset> GetData(const std::string& data_source, const std::string& sql);
  static const automation::ClassDesc& Class();
};

class BillCodeRule final : public automation::DescribedObject {
 public:
  BillCodeRule();
  // The next number of the rule for request "FBillType": its prefix and its
  // counter zero-filled to the rule's digits; the empty text for a bill type
  // without a rule.
  std::string GetNewBillID(const std::string& data_source, foundation::Dictionary& request);
  static const automation::ClassDesc& Class();
};

class SystemProfile final : public automation::DescribedObject {
 public:
  SystemProfile();
  // The host system option, or `default_value` when it is not set; read
  // from the host's own data source.
  automation::Variant GetSystemProfile(const std::string& category, const std::string& key,
                                       const automation::Variant& default_value);
  static const automation::ClassDesc& Class();
};

class UserProfileInfo final : public automation::DescribedObject {
 public:
  UserProfileInfo();
  // The logged-on user's stored value, the empty text when none.
  std::string GetUserProfile(const std::string& data_source, const std::string& section, const std::string& key);
  static const automation::ClassDesc& Class();
};

class StockAuditPlugIn final : public automation::DescribedObject {
 public:
  StockAuditPlugIn();
  // operation 1 audits: posts the entries to the stock per batch (sales
  // decrease, returns increase) and marks the bill audited; -1 reverses
  // exactly what the audit posted.  Answers 1, or 0 when the bill is unknown,
  // not in the state the operation needs, or would take stock below zero
  // while IC/AllowNegativeStock is "0".
  int32_t AuditBill(foundation::Vector& request, int32_t operation, const std::string& data_source,
                    foundation::Dictionary* result);
  static const automation::ClassDesc& Class();
};

class ReceivablesCheckPlugIn final : public automation::DescribedObject {
 public:
  ReceivablesCheckPlugIn();
  // operation 1 writes the check bill off, 0 undoes it; False (with a reason
  // in `message`) when the bill is unknown, already in that state, or its
  // receiving customer does not exist.
  bool CheckBill(const std::string& data_source, const std::string& check_id, int32_t operation, std::string& message);
  static const automation::ClassDesc& Class();
};

}  // namespace tovan::hostlib
