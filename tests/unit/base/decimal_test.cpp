#include "base/decimal.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(ParseDecimal, ReadsLikeWcstolBase10) {
  struct Case {
    const char16_t* text;
    int32_t value;
  } cases[] = {
      {u"30", 30},  {u"  42abc", 42},        {u"+7", 7},         {u"-5", -5},         {u"", 0},
      {u"abc", 0},  {u"\t\n 9", 9},          {u"- 5", 0},        {u"99999999999", INT32_MAX},
      {u"-99999999999", INT32_MIN},           {u"2147483648", INT32_MAX},              {u"-2147483648", INT32_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(gw::ParseDecimal(c.text), c.value) << gw::WideToUtf8(c.text);
}

}  // namespace
