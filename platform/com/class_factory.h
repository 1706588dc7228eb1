#pragma once
// IClassFactory and a factory for any class built on com::Object.

#include "platform/com/unknown.h"

namespace orvex::com {

struct IClassFactory : IUnknown {
  static constexpr IID kIid = MakeGuid("{00000001-0000-0000-C000-000000000046}");

  // Creates a new object and returns the interface `iid` of it in `object`.
  // Aggregation is not supported: a non-null `outer` fails with
  // CLASS_E_NOAGGREGATION.
  virtual HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) = 0;
  // Keeps the module loaded while `lock` is true, whether or not objects live.
  virtual HRESULT LockServer(bool lock) = 0;
};

template <class T>
class ClassFactory final : public Object<ClassFactory<T>, IClassFactory> {
 public:
  HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    try {
      ComPtr<T> instance = T::Create();
      return instance->QueryInterface(iid, object);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_FAIL;
    }
  }
  HRESULT LockServer(bool lock) override {
    lock ? LockModule() : UnlockModule();
    return S_OK;
  }
};

}  // namespace orvex::com
