#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/script/collection.h"
#include "platform/script/dictionary.h"

namespace orvex::script {
namespace {

int ErrorNumberOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& error) {
    return error.number();
  }
  return 0;
}

TEST(CollectionTest, KeysAreUniqueWithoutRegardToCaseAndLookupIgnoresCase) {
  auto collection = NewCollection();
  collection->Add(Variant("first"), "Readme.txt");
  collection->Add(Variant("unkeyed"));
  collection->Add(Variant("Ärger"), "Ärger");

  EXPECT_EQ(ErrorNumberOf([&] { collection->Add(Variant("second"), "README.TXT"); }), error_number::kKeyAlreadyAssociated);
  EXPECT_EQ(collection->Count(), 3) << "a refused duplicate must leave the collection unchanged";
  EXPECT_EQ(collection->Item("readme.TXT").ToString(), "first");
  EXPECT_EQ(collection->Item("ärger").ToString(), "Ärger");
  EXPECT_EQ(collection->Item(2).ToString(), "unkeyed");
  EXPECT_FALSE(collection->Find("missing").has_value());
  EXPECT_EQ(ErrorNumberOf([&] { collection->Item("missing"); }), error_number::kInvalidProcedureCall);
  EXPECT_EQ(ErrorNumberOf([&] { collection->Item(0); }), error_number::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorNumberOf([&] { collection->Item(4); }), error_number::kSubscriptOutOfRange);
}

TEST(CollectionTest, RemovingKeepsOrderAndFreesTheKey) {
  auto collection = NewCollection();
  collection->Add(Variant("a"), "a");
  collection->Add(Variant("b"), "b");
  collection->Add(Variant("c"), "c");
  collection->Remove("A");
  EXPECT_EQ(collection->Item(1).ToString(), "b");
  EXPECT_EQ(collection->Item("c").ToString(), "c");
  collection->Add(Variant("a again"), "a");
  collection->Remove(1);
  EXPECT_EQ(collection->Item(1).ToString(), "c");
  EXPECT_EQ(collection->Item("a").ToString(), "a again");
}

TEST(DictionaryTest, TextCompareMergesKeysThatDifferInCaseKeepingTheFirstSpelling) {
  auto dictionary = NewDictionary(CompareMode::Text);
  for (const char* key : {"txt", "TXT", "log", " pl ", "Txt"}) dictionary->Item(key, Variant(""));
  EXPECT_EQ(dictionary->Keys(), (std::vector<std::string>{"txt", "log", " pl "}));
  EXPECT_TRUE(dictionary->Exists("LOG"));
  EXPECT_FALSE(dictionary->Exists("pl")) << "blanks are part of the key";
  EXPECT_EQ(ErrorNumberOf([&] { dictionary->Add("Log", Variant("")); }), error_number::kKeyAlreadyAssociated);
  EXPECT_EQ(ErrorNumberOf([&] { dictionary->Remove("cgi"); }), error_number::kElementNotFound);
  dictionary->Remove("TXT");
  EXPECT_EQ(dictionary->Keys(), (std::vector<std::string>{"log", " pl "}));
}

TEST(DictionaryTest, BinaryCompareKeepsCaseAndModeChangesOnlyWhileEmpty) {
  auto dictionary = NewDictionary();
  dictionary->Item("txt", Variant(1));
  dictionary->Item("TXT", Variant(2));
  EXPECT_EQ(dictionary->Count(), 2);
  EXPECT_EQ(ErrorNumberOf([&] { dictionary->CompareMode(CompareMode::Text); }), error_number::kInvalidProcedureCall);
  dictionary->RemoveAll();
  dictionary->CompareMode(CompareMode::Text);
  EXPECT_EQ(dictionary->CompareMode(), CompareMode::Text);
}

TEST(DictionaryTest, ReadingAMissingItemAddsItAsTheRuntimeDoes) {
  auto dictionary = NewDictionary(CompareMode::Text);
  EXPECT_TRUE(dictionary->Item("cgi").IsEmpty());
  EXPECT_TRUE(dictionary->Exists("CGI"));
}

}  // namespace
}  // namespace orvex::script
