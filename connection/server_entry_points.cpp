// The four entry points of an in-process component server. They are the only
// symbols the plug-in library exports.

#include <dlfcn.h>

#include <filesystem>

#include "connection/connection.h"
#include "platform/com/class_factory.h"
#include "platform/com/class_registry.h"

using orvex::com::HRESULT;

#define ORVEX_EXPORT extern "C" __attribute__((visibility("default")))

ORVEX_EXPORT HRESULT DllGetClassObject(const orvex::com::CLSID& clsid, const orvex::com::IID& iid,
                                       void** object) {
  using namespace orvex::com;
  if (!object) return E_POINTER;
  *object = nullptr;
  if (clsid != orvex::kConnectionClassId) return CLASS_E_CLASSNOTAVAILABLE;
  try {
    return ClassFactory<orvex::Connection>::Create()->QueryInterface(iid, object);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

ORVEX_EXPORT HRESULT DllCanUnloadNow() {
  return orvex::com::ModuleCanUnload() ? orvex::com::S_OK : orvex::com::S_FALSE;
}

ORVEX_EXPORT HRESULT DllRegisterServer() {
  using namespace orvex::com;
  Dl_info info{};
  if (!::dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) || !info.dli_fname) {
    return SELFREG_E_CLASS;
  }
  try {
    ClassRegistration registration;
    registration.clsid = orvex::kConnectionClassId;
    registration.prog_id = orvex::kConnectionProgId;
    registration.library_path = std::filesystem::absolute(info.dli_fname).lexically_normal().string();
    registration.threading_model = "Apartment";
    registration.other_values["TypeLib"] = FormatGuid(orvex::kTypeLibraryId);
    registration.other_values["DefaultInterface"] = FormatGuid(orvex::_Connection::kIid);
    ClassRegistry().Register(registration);
    return S_OK;
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}

ORVEX_EXPORT HRESULT DllUnregisterServer() {
  using namespace orvex::com;
  try {
    ClassRegistry().Unregister(orvex::kConnectionClassId);
    return S_OK;
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}
