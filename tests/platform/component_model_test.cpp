#include <gtest/gtest.h>

#include "platform/com/class_factory.h"
#include "platform/com/unknown.h"

namespace orvex::com {
namespace {

TEST(GuidTest, ParsesAndFormatsTheRegistryForm) {
  constexpr GUID kConnection = MakeGuid("{EAA199CE-0842-4EF9-A9FD-269060FAA47C}");
  static_assert(kConnection.data1 == 0xEAA199CE && kConnection.data4[7] == 0x7C);
  EXPECT_EQ(FormatGuid(kConnection), "{EAA199CE-0842-4EF9-A9FD-269060FAA47C}");
  EXPECT_EQ(ParseGuid("{eaa199ce-0842-4ef9-a9fd-269060faa47c}"), kConnection);
  for (const char* malformed : {"", "EAA199CE-0842-4EF9-A9FD-269060FAA47C",
                                "{EAA199CE-0842-4EF9-A9FD-269060FAA47}",
                                "{EAA199CE-0842-4EF9-A9FD-269060FAA47CC}",
                                "{EAA199CE+0842-4EF9-A9FD-269060FAA47C}",
                                "{EAA199CE-0842-4EF9-A9FD-269060FAA4ZC}"}) {
    EXPECT_FALSE(ParseGuid(malformed).has_value()) << malformed;
  }
}

struct IAnimal : IUnknown {
  static constexpr IID kIid = MakeGuid("{11111111-2222-3333-4444-555555555555}");
  virtual int Legs() = 0;
};
struct INamed : IUnknown {
  static constexpr IID kIid = MakeGuid("{66666666-7777-8888-9999-AAAAAAAAAAAA}");
  virtual std::string Name() = 0;
};

class Dog final : public Object<Dog, IAnimal, INamed> {
 public:
  int Legs() override { return 4; }
  std::string Name() override { return "Rex"; }
};

TEST(ComponentModelTest, QueryInterfaceAndReferencesFollowTheRules) {
  auto before = LiveObjectCount();
  {
    ComPtr<Dog> dog = Dog::Create();
    EXPECT_EQ(LiveObjectCount(), before + 1);
    ComPtr<INamed> named = dog.As<INamed>();
    ASSERT_TRUE(named);
    EXPECT_EQ(named->Name(), "Rex");
    EXPECT_EQ(named.As<IAnimal>()->Legs(), 4);
    // Identity: every interface answers the same IUnknown.
    EXPECT_EQ(named.As<IUnknown>().get(), dog.As<IAnimal>().As<IUnknown>().get());
    EXPECT_FALSE(dog.As<IClassFactory>());
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(dog->QueryInterface(IClassFactory::kIid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(dog->QueryInterface(IAnimal::kIid, nullptr), E_POINTER);
  }
  EXPECT_EQ(LiveObjectCount(), before) << "the last Release must destroy the object";
}

TEST(ComponentModelTest, FactoryCreatesObjectsAndLocksTheModule) {
  auto factory = ClassFactory<Dog>::Create();
  void* object = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, INamed::kIid, &object), S_OK);
  auto named = ComPtr<INamed>::Attach(static_cast<INamed*>(object));
  EXPECT_EQ(named->Name(), "Rex");
  EXPECT_EQ(factory->CreateInstance(named.get(), INamed::kIid, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory->CreateInstance(nullptr, IClassFactory::kIid, &object), E_NOINTERFACE);

  named = nullptr;
  factory = nullptr;
  EXPECT_TRUE(ModuleCanUnload());
  LockModule();
  EXPECT_FALSE(ModuleCanUnload());
  UnlockModule();
  EXPECT_TRUE(ModuleCanUnload());
}

}  // namespace
}  // namespace orvex::com
