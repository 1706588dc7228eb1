#include "platform/numeric.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

struct NumericCase {
  const char* text;
  bool numeric;
  double value;
};

TEST(NumericTest, AcceptsSignsPointsExponentsAndBlanksOnly) {
  const NumericCase cases[] = {
      {"21", true, 21},          {" 2121 ", true, 2121},   {"\t-5", true, -5},
      {"+7", true, 7},           {"3.25", true, 3.25},     {".5", true, 0.5},
      {"5.", true, 5},           {"1e3", true, 1000},      {"-2.5E-1", true, -0.25},
      {"1e+2 ", true, 100},      {"0021", true, 21},       {"", false, 0},
      {"   ", false, 0},         {"abc", false, 0},        {"21a", false, 0},
      {"-", false, 0},           {".", false, 0},          {"e5", false, 0},
      {"1e", false, 0},          {"1e+", false, 0},        {"1.2.3", false, 0},
      {"--1", false, 0},         {"1 000", false, 0},      {"0x1F", false, 0},
      {"1,5", false, 0},         {"1e999", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("text: \"") + c.text + "\"");
    EXPECT_EQ(IsNumeric(c.text), c.numeric);
    if (c.numeric) {
      EXPECT_DOUBLE_EQ(*ParseNumber(c.text), c.value);
    }
  }
}

TEST(NumericTest, IgnoresTheProcessLocale) {
  // A host that switched to a locale with a decimal comma must not change
  // what reads as a number.
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous ? previous : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
    EXPECT_DOUBLE_EQ(*ParseNumber("2.5"), 2.5);
    EXPECT_FALSE(IsNumeric("2,5"));
  }
  std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
}  // namespace orvex
