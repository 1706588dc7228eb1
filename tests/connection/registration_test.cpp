// The plug-in as a component server: registration, creation by class name
// through the class registry, and unloading.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>

#include "connection/host/connection_interface.h"
#include "host/app/plugin_loader.h"
#include "platform/com/class_factory.h"
#include "platform/com/class_registry.h"
#include "platform/error.h"
#include "tests/connection/host_fixture.h"

namespace orvex {
namespace {

struct CommandResult {
  int status = -1;
  std::string output;
};

// Runs the command-line host with the test's class registry and XDG folders.
CommandResult RunCli(const testing_support::TemporaryHost& host, const std::string& arguments) {
  std::string command = "ORVEX_CLASS_REGISTRY='" + host.registry().string() + "' XDG_CONFIG_HOME='" +
                        host.folder().string() + "/config' XDG_STATE_HOME='" + host.folder().string() +
                        "/state' '" ORVEX_CLI "' " + arguments + " 2>&1";
  CommandResult result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return result;
  std::array<char, 4096> buffer;
  while (std::size_t count = std::fread(buffer.data(), 1, buffer.size(), pipe)) result.output.append(buffer.data(), count);
  int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string ErrorDescription(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& error) {
    return error.description();
  }
  return "";
}

TEST(RegistrationTest, AnotherProcessCreatesTheClassByNameUntilItIsUnregistered) {
  testing_support::TemporaryHost host;
  ASSERT_EQ(RunCli(host, "register").status, 0);
  auto entry = com::ClassRegistry(host.registry()).FindByProgId("OrvexFTP.Connection");
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->clsid, kConnectionClassId);
  EXPECT_EQ(entry->threading_model, "Apartment");
  EXPECT_TRUE(std::filesystem::path(entry->library_path).is_absolute());
  EXPECT_TRUE(std::filesystem::equivalent(entry->library_path, ORVEX_PLUGIN_LIBRARY));

  auto info = RunCli(host, "info ftp://server/pub");
  EXPECT_EQ(info.status, 0) << info.output;
  EXPECT_NE(info.output.find("File Transfer Protocol"), std::string::npos) << info.output;
  EXPECT_NE(info.output.find("2.0 beta "), std::string::npos);
  EXPECT_NE(info.output.find("141"), std::string::npos);
  EXPECT_NE(info.output.find("Location name:  pub"), std::string::npos);

  // Unregistering removes exactly this class.
  com::ClassRegistry(host.registry())
      .Register({*com::ParseGuid("{11111111-2222-3333-4444-555555555555}"), "Other.Plugin", "/x.so", "Apartment", {}});
  ASSERT_EQ(RunCli(host, "unregister").status, 0);
  EXPECT_FALSE(com::ClassRegistry(host.registry()).FindByProgId("OrvexFTP.Connection"));
  EXPECT_TRUE(com::ClassRegistry(host.registry()).FindByProgId("Other.Plugin"));

  auto after = RunCli(host, "info ftp://server/pub");
  EXPECT_EQ(after.status, 1);
  EXPECT_NE(after.output.find("'OrvexFTP.Connection' is not registered"), std::string::npos) << after.output;
}

TEST(RegistrationTest, LoaderNamesWhatIsMissing) {
  testing_support::TemporaryHost host;
  com::ClassRegistry registry(host.registry());
  hostapp::PluginLoader loader;

  EXPECT_NE(ErrorDescription([&] { loader.CreateObject("Nobody.Home"); }).find("is not registered"), std::string::npos);

  registry.Register({kConnectionClassId, "OrvexFTP.Connection", host.folder().string() + "/gone.so", "Apartment", {}});
  EXPECT_NE(ErrorDescription([&] { loader.CreateObject("OrvexFTP.Connection"); }).find("is missing"), std::string::npos);

  // A real library without the entry point.
  registry.Register({kConnectionClassId, "OrvexFTP.Connection", ORVEX_INTERFACE_LIBRARY, "Apartment", {}});
  EXPECT_NE(ErrorDescription([&] { loader.CreateObject("OrvexFTP.Connection"); }).find("no entry point DllGetClassObject"),
            std::string::npos);
}

TEST(RegistrationTest, LibraryExportsOnlyTheServerEntryPointsAndUnloadsWhenIdle) {
  testing_support::TemporaryHost host;
  void* library = ::dlopen(ORVEX_PLUGIN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_TRUE(library) << ::dlerror();
  using GetClassObject = com::HRESULT (*)(const com::CLSID&, const com::IID&, void**);
  using CanUnloadNow = com::HRESULT (*)();
  auto get_class_object = reinterpret_cast<GetClassObject>(::dlsym(library, "DllGetClassObject"));
  auto can_unload_now = reinterpret_cast<CanUnloadNow>(::dlsym(library, "DllCanUnloadNow"));
  ASSERT_TRUE(get_class_object && can_unload_now);
  EXPECT_TRUE(::dlsym(library, "DllRegisterServer") && ::dlsym(library, "DllUnregisterServer"));
  EXPECT_FALSE(::dlsym(library, "_ZN5orvex3com13ObjectCreatedEv")) << "internal symbols must stay hidden";

  void* pointer = nullptr;
  EXPECT_EQ(get_class_object(*com::ParseGuid("{00000000-0000-0000-0000-000000000001}"), com::IClassFactory::kIid, &pointer),
            com::CLASS_E_CLASSNOTAVAILABLE);
  ASSERT_EQ(get_class_object(kConnectionClassId, com::IClassFactory::kIid, &pointer), com::S_OK);
  auto factory = com::ComPtr<com::IClassFactory>::Attach(static_cast<com::IClassFactory*>(pointer));
  EXPECT_EQ(can_unload_now(), com::S_FALSE) << "a live class factory keeps the library";

  ASSERT_EQ(factory->CreateInstance(nullptr, _Connection::kIid, &pointer), com::S_OK);
  auto connection = com::ComPtr<_Connection>::Attach(static_cast<_Connection*>(pointer));
  auto plugin = connection.As<iPC>();
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin.As<com::IUnknown>().get(), connection.As<com::IUnknown>().get());
  factory->LockServer(true);
  factory = nullptr;
  connection = nullptr;
  EXPECT_EQ(can_unload_now(), com::S_FALSE) << "a live object keeps the library";
  plugin->iPC_Properties()->Commands();
  plugin = nullptr;
  EXPECT_EQ(can_unload_now(), com::S_FALSE) << "a server lock keeps the library";

  ASSERT_EQ(get_class_object(kConnectionClassId, com::IClassFactory::kIid, &pointer), com::S_OK);
  factory = com::ComPtr<com::IClassFactory>::Attach(static_cast<com::IClassFactory*>(pointer));
  factory->LockServer(false);
  factory = nullptr;
  EXPECT_EQ(can_unload_now(), com::S_OK);
  ::dlclose(library);
}

TEST(RegistrationTest, ObjectLibraryExportsOnlyItsConstructors) {
  void* library = ::dlopen(ORVEX_INTERFACE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_TRUE(library) << ::dlerror();
  for (const char* constructor : {"_ZN5orvex11NewHostFileEv", "_ZN5orvex13NewHostFolderEv",
                                  "_ZN5orvex17NewHostFileStreamEv", "_ZN5orvex13NewPluginInfoEv"}) {
    EXPECT_TRUE(::dlsym(library, constructor)) << constructor;
  }
  EXPECT_FALSE(::dlsym(library, "_ZN5orvex3com13ObjectCreatedEv")) << "internal symbols must stay hidden";
  EXPECT_FALSE(::dlsym(library, "_ZN5orvex3com15LiveObjectCountEv")) << "internal symbols must stay hidden";
  ::dlclose(library);
}

}  // namespace
}  // namespace orvex
