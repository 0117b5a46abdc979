// The in-process server side of a library: what its four entry points do.
//
// A shared library that serves classes defines the extern "C" entry points
//   int32_t DllRegisterServer(void);
//   int32_t DllUnregisterServer(void);
//   int32_t DllGetClassObject(const Guid* clsid, const Guid* iid, void** out);
//   int32_t DllCanUnloadNow(void);
// and forwards them to one InprocServer that knows its type library and how
// to make each class.  DllGetClassObject hands out a ClassFactory that lives
// as long as the library; the caller does not release it.
//
// Thread-safety: the server is immutable after construction except for the
// live-object count, which is atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/automation/guid.h"
#include "platform/automation/typelib.h"

namespace tovan::automation {

// HRESULTs the entry points answer.
namespace hresult {
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kFalse = 1;
inline constexpr int32_t kNoInterface = static_cast<int32_t>(0x80004002u);
inline constexpr int32_t kPointer = static_cast<int32_t>(0x80004003u);
inline constexpr int32_t kFail = static_cast<int32_t>(0x80004005u);
inline constexpr int32_t kClassNotAvailable = static_cast<int32_t>(0x80040111u);
inline constexpr int32_t kSelfRegClass = static_cast<int32_t>(0x80040201u);
}  // namespace hresult

// IUnknown and IClassFactory, the interfaces DllGetClassObject answers for.
Guid IidUnknown();
Guid IidClassFactory();

class ClassFactory {
 public:
  virtual ~ClassFactory() = default;
  virtual DispatchPtr CreateInstance() = 0;
};

using DllGetClassObjectFn = int32_t (*)(const Guid*, const Guid*, void**);

class InprocServer {
 public:
  using Maker = std::function<DispatchPtr()>;

  // `lib` lists the classes; `makers` holds one maker per class of `lib`,
  // in the same order.  `address_in_library` is any function of the shared
  // library, used to find its file for registration.
  InprocServer(const TypeLibDesc& lib, std::vector<Maker> makers, const void* address_in_library);
  ~InprocServer();

  int32_t RegisterServer();
  int32_t UnregisterServer();
  int32_t GetClassObject(const Guid* clsid, const Guid* iid, void** out);
  int32_t CanUnloadNow() const;

  // Objects of the library count themselves here while they live, so that
  // DllCanUnloadNow answers S_FALSE while any is alive.
  void AddObject() { live_objects_.fetch_add(1, std::memory_order_relaxed); }
  void ReleaseObject() { live_objects_.fetch_sub(1, std::memory_order_relaxed); }

 private:
  class Factory;
  const TypeLibDesc& lib_;
  std::vector<std::unique_ptr<Factory>> factories_;
  const void* address_in_library_;
  std::atomic<int> live_objects_{0};
};

}  // namespace tovan::automation
