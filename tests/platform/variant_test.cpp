#include "platform/variant.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/script/collection.h"

namespace orvex {
namespace {

TEST(VariantTest, ConvertsLikeTheOriginalRuntime) {
  EXPECT_EQ(Variant().ToString(), "");
  EXPECT_EQ(Variant().ToDouble(), 0);
  EXPECT_FALSE(Variant().ToBoolean());
  EXPECT_EQ(Variant(true).ToString(), "True");
  EXPECT_EQ(Variant(true).ToDouble(), -1);
  EXPECT_EQ(Variant(std::int16_t{1}).ToString(), "1");
  EXPECT_TRUE(Variant("1").ToBoolean());
  EXPECT_FALSE(Variant("0").ToBoolean());
  EXPECT_TRUE(Variant("true").ToBoolean());
  EXPECT_EQ(Variant(" 2121 ").ToLong(), 2121);
  EXPECT_EQ(Variant(2.5).ToLong(), 2);
  EXPECT_EQ(Variant(3.5).ToLong(), 4);
  EXPECT_EQ(Variant(0.1).ToString(), "0.1");
  EXPECT_EQ(Variant(1e20).ToString(), "1e+20");
}

TEST(VariantTest, RefusesConversionsWithoutAReading) {
  auto number_of = [](const std::function<void()>& action) {
    try {
      action();
    } catch (const Error& error) {
      return error.number();
    }
    return 0;
  };
  EXPECT_EQ(number_of([] { Variant("abc").ToDouble(); }), error_number::kTypeMismatch);
  EXPECT_EQ(number_of([] { Variant("yes").ToBoolean(); }), error_number::kTypeMismatch);
  EXPECT_EQ(number_of([] { Variant(1e10).ToLong(); }), error_number::kOverflow);
  EXPECT_EQ(number_of([] { Variant(script::NewCollection()).ToString(); }), error_number::kTypeMismatch);
  EXPECT_EQ(number_of([] { Variant("x").AsObject(); }), error_number::kObjectRequired);
}

TEST(VariantTest, HoldsObjectsByReferenceAndAnswersForTheirInterfaces) {
  auto collection = script::NewCollection();
  Variant value(collection);
  EXPECT_TRUE(value.IsObject());
  EXPECT_EQ(value.AsInterface<script::Collection>().get(), collection.get());
  collection->Add(Variant(1));
  EXPECT_EQ(value.AsInterface<script::Collection>()->Count(), 1);
}

}  // namespace
}  // namespace orvex
