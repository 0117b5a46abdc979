// The four standard entry points of libTovanMDailyBalance.so, for callers
// that link the library instead of loading it.
#pragma once

#include <cstdint>

#include "platform/automation/guid.h"

extern "C" {
// Records the library, its classes and interfaces in the registry; 0 on success.
int32_t DllRegisterServer(void);
// Removes them again; 0 on success.
int32_t DllUnregisterServer(void);
// The class object (a tovan::automation::ClassFactory owned by the library)
// for `clsid`; 0 on success, CLASS_E_CLASSNOTAVAILABLE for an unknown class.
int32_t DllGetClassObject(const tovan::automation::Guid* clsid, const tovan::automation::Guid* iid, void** out);
// 0 when no object of the library is alive, 1 otherwise.
int32_t DllCanUnloadNow(void);
}
