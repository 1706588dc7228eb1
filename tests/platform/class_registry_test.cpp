#include "platform/com/class_registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "platform/error.h"

namespace orvex::com {
namespace {

class ClassRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvex-registry-XXXXXX";
    folder_ = ::mkdtemp(pattern);
    path_ = folder_ / "nested" / "classes.registry";
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  static ClassRegistration Entry(const char* clsid, const char* prog_id, const char* library) {
    return ClassRegistration{*ParseGuid(clsid), prog_id, library, "Apartment", {{"TypeLib", "{X}"}}};
  }

  std::filesystem::path folder_, path_;
};

TEST_F(ClassRegistryTest, RegisterLookUpAndUnregisterKeepOtherEntries) {
  ClassRegistry registry(path_);
  EXPECT_FALSE(registry.FindByProgId("OrvexFTP.Connection")) << "a missing file is an empty registry";
  registry.Register(Entry("{EAA199CE-0842-4EF9-A9FD-269060FAA47C}", "OrvexFTP.Connection", "/a/libOrvexFTP.so"));
  registry.Register(Entry("{11111111-0000-0000-0000-000000000000}", "Other.Plugin", "/b/libOther.so"));

  auto found = ClassRegistry(path_).FindByProgId("OrvexFTP.Connection");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->library_path, "/a/libOrvexFTP.so");
  EXPECT_EQ(found->threading_model, "Apartment");
  EXPECT_EQ(found->other_values.at("TypeLib"), "{X}");

  // Registering again replaces, never duplicates.
  registry.Register(Entry("{EAA199CE-0842-4EF9-A9FD-269060FAA47C}", "OrvexFTP.Connection", "/c/libOrvexFTP.so"));
  EXPECT_EQ(registry.All().size(), 2u);
  EXPECT_EQ(registry.FindByProgId("OrvexFTP.Connection")->library_path, "/c/libOrvexFTP.so");

  EXPECT_TRUE(registry.Unregister(*ParseGuid("{EAA199CE-0842-4EF9-A9FD-269060FAA47C}")));
  EXPECT_FALSE(registry.Unregister(*ParseGuid("{EAA199CE-0842-4EF9-A9FD-269060FAA47C}")));
  EXPECT_FALSE(registry.FindByProgId("OrvexFTP.Connection"));
  ASSERT_TRUE(registry.FindByProgId("Other.Plugin"));
  EXPECT_EQ(registry.FindByProgId("Other.Plugin")->library_path, "/b/libOther.so");
}

TEST_F(ClassRegistryTest, ConcurrentRegistrationsFromTwoProcessesAreAllKept) {
  constexpr int kPerProcess = 40;
  std::vector<pid_t> children;
  for (int process = 0; process < 2; ++process) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ClassRegistry registry(path_);
      for (int i = 0; i < kPerProcess; ++i) {
        char clsid[39];
        std::snprintf(clsid, sizeof clsid, "{%08X-0000-0000-0000-000000000000}", process * 1000 + i);
        registry.Register(Entry(clsid, ("Class." + std::to_string(process) + "." + std::to_string(i)).c_str(), "/x.so"));
      }
      ::_exit(0);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(ClassRegistry(path_).All().size(), 2u * kPerProcess);
}

TEST_F(ClassRegistryTest, AMalformedFileIsReportedNotGuessed) {
  std::filesystem::create_directories(path_.parent_path());
  std::ofstream(path_) << "[not-a-guid]\nProgID=X\n";
  try {
    ClassRegistry(path_).FindByProgId("X");
    FAIL() << "a malformed registry must raise";
  } catch (const Error& error) {
    EXPECT_NE(error.description().find("line 1"), std::string::npos) << error.description();
  }
}

}  // namespace
}  // namespace orvex::com
