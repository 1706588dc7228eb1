#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

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

// Keys and items checked against a plain list after every step of a long
// random mix of adds, removals and re-keyings, with keys long enough that the
// text of keys no longer used piles up and is packed away many times over;
// a copy taken midway must keep what it held.
TEST(CollectionTest, KeysStayRightThroughManyRemovalsAndReKeyings) {
  struct Expected {
    std::string value;
    std::string key;
  };
  std::vector<Expected> model;
  auto collection = NewCollection();
  com::ComPtr<Collection> snapshot;
  std::vector<Expected> snapshot_model;
  std::mt19937 random(7);
  int serial = 0;
  const auto fresh_key = [&] {
    // Sometimes none; otherwise 40 to 300 bytes, unique by their serial.
    if (random() % 5 == 0) return std::string();
    return "key-" + std::to_string(serial++) + "-" + std::string(40 + random() % 260, 'k');
  };
  const auto check = [](const Collection& actual, const std::vector<Expected>& expected) {
    ASSERT_EQ(actual.Count(), static_cast<std::int32_t>(expected.size()));
    for (std::size_t index = 0; index < expected.size(); ++index) {
      const auto position = static_cast<std::int32_t>(index + 1);
      ASSERT_EQ(actual.Item(position).ToString(), expected[index].value);
      ASSERT_EQ(actual.Key(position), expected[index].key);
      if (expected[index].key.empty()) continue;
      ASSERT_EQ(actual.Position(expected[index].key), position);
      ASSERT_EQ(actual.Item(expected[index].key).ToString(), expected[index].value);
    }
  };
  for (int step = 0; step < 3000; ++step) {
    const auto choice = random() % 10;
    if (model.empty() || choice < 4) {
      const Expected added{"value-" + std::to_string(step), fresh_key()};
      collection->Add(Variant(added.value), added.key);
      model.push_back(added);
    } else if (choice < 6) {
      const std::size_t index = random() % model.size();
      if (!model[index].key.empty() && random() % 2 == 0) {
        collection->Remove(model[index].key);
      } else {
        collection->Remove(static_cast<std::int32_t>(index + 1));
      }
      model.erase(model.begin() + static_cast<std::ptrdiff_t>(index));
    } else {
      // Replaced under a new key, under its own key, or under none.
      const std::size_t index = random() % model.size();
      Expected replaced{"replaced-" + std::to_string(step), model[index].key};
      if (choice < 9) replaced.key = fresh_key();
      collection->Replace(static_cast<std::int32_t>(index + 1), Variant(replaced.value), replaced.key);
      model[index] = replaced;
    }
    if (step == 1500) {
      snapshot = collection->Copy();
      snapshot_model = model;
    }
    if (step % 50 == 0) check(*collection, model);
  }
  check(*collection, model);
  check(*snapshot, snapshot_model);
  // A key let go can be taken again.
  for (const auto& expected : snapshot_model) {
    if (expected.key.empty() || collection->Position(expected.key) != 0) continue;
    collection->Add(Variant("again"), expected.key);
    EXPECT_EQ(collection->Item(expected.key).ToString(), "again");
    break;
  }
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
