// The automation surface of the library TovanMDailyBalance: its identity,
// its three classes and their interfaces, member by member in interface
// order, as a type library describes them.
//
// Thread-safety: immutable tables, built on first use.
#pragma once

#include <string>

#include "platform/automation/typelib.h"

namespace tovan::component {

const automation::TypeLibDesc& DailyBalanceLibrary();

const automation::InterfaceDesc& ClsDataInterface();
const automation::InterfaceDesc& ClsUnBalDataInterface();
const automation::InterfaceDesc& ClsXSBalDataInterface();

const automation::ClassDesc& ClsDataClass();
const automation::ClassDesc& ClsUnBalDataClass();
const automation::ClassDesc& ClsXSBalDataClass();

// The path of libTovanMDailyBalance.so, for registration.
std::string LibraryFile();

// The value of the host's transaction-mode enumeration that TransMode answers.
inline constexpr int32_t kTransMode = 2;

}  // namespace tovan::component
