#include "host/app/plugin_loader.h"

#include <dlfcn.h>

#include <filesystem>
#include <map>

#include "platform/com/class_factory.h"
#include "platform/com/class_registry.h"
#include "platform/error.h"

namespace orvex::hostapp {
namespace {

using GetClassObjectFunction = com::HRESULT (*)(const com::CLSID&, const com::IID&, void**);
using CanUnloadNowFunction = com::HRESULT (*)();

// Loader failures carry the runtime's "cannot create object" number
// (error_number::kCannotCreateObject), so a host that compares numbers sees
// the familiar one.

std::string HexCode(com::HRESULT result) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(result));
  return buffer;
}

}  // namespace

struct PluginLoader::Libraries {
  struct Library {
    void* handle = nullptr;
    CanUnloadNowFunction can_unload_now = nullptr;
  };
  std::map<std::string, Library> by_path;
};

PluginLoader::PluginLoader() : libraries_(std::make_unique<Libraries>()) {}

// Libraries stay loaded for the life of the process: objects created from them
// may outlive the loader, and unloading code that still runs is fatal.
PluginLoader::~PluginLoader() = default;

com::ComPtr<iPC> PluginLoader::CreateObject(const std::string& prog_id) {
  com::ClassRegistry registry;
  auto registration = registry.FindByProgId(prog_id);
  if (!registration) {
    Raise(error_number::kCannotCreateObject, "The class '" + prog_id + "' is not registered (class registry: " +
                                   registry.path().string() + ")");
  }
  const std::string& path = registration->library_path;
  auto known = libraries_->by_path.find(path);
  if (known == libraries_->by_path.end()) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
      Raise(error_number::kCannotCreateObject, "The library of the class '" + prog_id + "' is missing: " + path);
    }
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      const char* reason = ::dlerror();
      Raise(error_number::kCannotCreateObject, "The library of the class '" + prog_id + "' cannot be loaded: " +
                                     (reason ? reason : path));
    }
    Libraries::Library library;
    library.handle = handle;
    library.can_unload_now = reinterpret_cast<CanUnloadNowFunction>(::dlsym(handle, "DllCanUnloadNow"));
    known = libraries_->by_path.emplace(path, library).first;
  }
  auto get_class_object =
      reinterpret_cast<GetClassObjectFunction>(::dlsym(known->second.handle, "DllGetClassObject"));
  if (!get_class_object) {
    Raise(error_number::kCannotCreateObject, "The library " + path + " has no entry point DllGetClassObject");
  }
  void* factory_pointer = nullptr;
  com::HRESULT result =
      get_class_object(registration->clsid, com::IClassFactory::kIid, &factory_pointer);
  if (com::Failed(result) || !factory_pointer) {
    Raise(error_number::kCannotCreateObject, "The library " + path + " does not serve the class " +
                                   com::FormatGuid(registration->clsid) + " (" + HexCode(result) + ")");
  }
  auto factory = com::ComPtr<com::IClassFactory>::Attach(static_cast<com::IClassFactory*>(factory_pointer));
  void* object = nullptr;
  result = factory->CreateInstance(nullptr, iPC::kIid, &object);
  if (com::Failed(result) || !object) {
    Raise(error_number::kCannotCreateObject, "The class '" + prog_id + "' could not be created (" + HexCode(result) + ")");
  }
  return com::ComPtr<iPC>::Attach(static_cast<iPC*>(object));
}

void PluginLoader::FreeUnusedLibraries() {
  for (auto it = libraries_->by_path.begin(); it != libraries_->by_path.end();) {
    auto& library = it->second;
    if (library.can_unload_now && library.can_unload_now() == com::S_OK) {
      ::dlclose(library.handle);
      it = libraries_->by_path.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace orvex::hostapp
