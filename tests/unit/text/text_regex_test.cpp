#include "text/text_regex.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>

#include "support/allocation_limit.h"

namespace gw {
namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

struct FieldCase {
  WideString feed;
  WideString name;
  WideString text;
  int32_t number;
};

void ExpectFields(const std::vector<FieldCase>& cases) {
  TextRegex rx;
  for (const FieldCase& c : cases) {
    EXPECT_EQ(rx.GetFieldText(c.feed, c.name), c.text) << WideToUtf8(c.feed);
    EXPECT_EQ(rx.GetFieldNumber(c.feed, c.name), c.number) << WideToUtf8(c.feed);
  }
}

TEST(TextRegex, ReadsTheSixFieldsOfATypicalFeed) {
  const WideString feed =
      u"{\"usagex\": 1, \"usage\": 3512, \"capacity\": \"4810\", \"year\":2011, "
      u"\"month\" : 8, \"day\": 25 , \"hour\": 14}";
  ExpectFields({
      {feed, u"usage", u"3512", 3512},
      {feed, u"capacity", u"4810", 4810},
      {feed, u"year", u"2011", 2011},
      {feed, u"month", u"8", 8},
      {feed, u"day", u"25 ", 25},
      {feed, u"hour", u"14", 14},
  });
}

TEST(TextRegex, FieldEdgeCases) {
  ExpectFields({
      {u"{\"capacity\": 4810}", u"usage", u"", 0},
      {u"\"Usage\": 3512", u"usage", u"", 0},
      {u"{\"forecast\": {\"usage\": 4000}, \"usage\": 3512}", u"usage", u"4000", 4000},
      {u"\"usage\": null", u"usage", u"null", 0},
      {u"\"usage\": 35.7", u"usage", u"35.7", 35},
      {u"\"usage\": -5", u"usage", u"-5", -5},
      {u"\"usage\": 1e3", u"usage", u"1e3", 1},
      {u"\"usage\": \"4,200\"", u"usage", u"4", 4},
      {u"\"usage\": 3512 kW,", u"usage", u"3512 kW", 3512},
      {u"\"usage\": [1, 2]", u"usage", u"[1", 0},
      {u"\"usage\": {\"v\": 1}", u"usage", u"{", 0},
      {u"\"usage\":\r\n3512\r\n}", u"usage", u"3512\r\n", 3512},
      {u"\"usage\": 99999999999", u"usage", u"99999999999", kMax},
      {u"\"usage\": \"\"", u"usage", u" ", 0},
      {u"\"usage\":\"\"", u"usage", u"", 0},
      {u"\"usage\":\"\", \"x\": 1, \"usage\": 7}", u"usage", u"7", 7},
      {u"\"usage\" \t: \"3512\"}", u"usage", u"3512", 3512},
  });
}

TEST(TextRegex, LeadingNumberRule) {
  ExpectFields({
      {u"\"n\":\" \t+42x\"", u"n", u" \t+42x", 42},
      {u"\"n\": -0", u"n", u"-0", 0},
      {u"\"n\": 2147483647", u"n", u"2147483647", kMax},
      {u"\"n\": 2147483648", u"n", u"2147483648", kMax},
      {u"\"n\": -2147483648", u"n", u"-2147483648", kMin},
      {u"\"n\": -2147483649", u"n", u"-2147483649", kMin},
      {u"\"n\": -99999999999999999999999999", u"n", u"-99999999999999999999999999", kMin},
      {u"\"n\": 000000000000000000000012", u"n", u"000000000000000000000012", 12},
      {u"\"n\": +", u"n", u"+", 0},
      {u"\"n\": - 5", u"n", u"- 5", 0},
      {u"\"n\": ++5", u"n", u"++5", 0},
      {u"\"n\": ４２", u"n", u"４２", 0},  // only ASCII digits count
  });
}

TEST(TextRegex, NameIsInsertedIntoThePatternAsItIs) {
  const WideString name68(68, u'k');
  const WideString name70(70, u'k');
  const WideString name200(200, u'k');
  ExpectFields({
      {u"\"usage\": 5", u"us.ge", u"5", 5},     // "." keeps its meaning
      {u"\"a(b\": 5", u"a(b", u"", 0},           // malformed pattern: no value
      {u"\"\": 9", u"", u"9", 9},                // empty name: the empty key
      {u"\"" + name68 + u"\": 6", name68, u"6", 6},
      // Longer names cut the pattern: here a bracket is left open, there the
      // capture group is cut off entirely. Neither yields a value.
      {u"\"" + name70 + u"\": 6", name70, u"", 0},
      {u"\"" + name200 + u"\": 6", name200, u"", 0},
  });
}

TEST(TextRegex, LargeFeedsGiveResultsWithoutCrashing) {
  TextRegex rx;
  const WideString value(1 << 20, u'9');
  EXPECT_EQ(rx.GetFieldText(u"{\"usage\": " + value + u"}", u"usage"), value);
  EXPECT_EQ(rx.GetFieldNumber(u"{\"usage\": " + value + u"}", u"usage"), kMax);

  std::mt19937 gen(12345);
  WideString feed(10 << 20, u'\0');
  for (char16_t& c : feed) c = static_cast<char16_t>(gen() & 0xFF);  // random bytes as text
  feed += u"\"hour\": 14}";
  EXPECT_EQ(rx.GetFieldNumber(feed, u"hour"), 14);  // found behind 10 MB of noise
  rx.GetFieldText(feed, u"usage");  // whatever the noise holds, no crash
}

struct ReplaceCase {
  WideString text, placeholder, replacement, result;
};

TEST(TextRegex, ReplacesEveryOccurrenceLiterally) {
  const ReplaceCase cases[] = {
      {u"a__VAR__PERCENT b __VAR__PERCENT%c__VAR__PERCENT", u"__VAR__PERCENT", u"85", u"a85 b 85%c85"},
      {u"__VAR__YEARx", u"__VAR__YEAR", u"2011", u"2011x"},
      {u"__VAR__YEAR年__VAR__MONTH月", u"__VAR__YEAR", u"2011", u"2011年__VAR__MONTH月"},
      {u"nothing here", u"__VAR__HOUR", u"14", u"nothing here"},
      {u"__var__usage", u"__VAR__USAGE", u"1", u"__var__usage"},
      {u"", u"__VAR__USAGE", u"1", u""},
      {u"aaaaa", u"aa", u"X", u"XXa"},
      // "$" sequences are no group references: an address may hold them.
      {u"To: __VAR__ADDRESS\r\n", u"__VAR__ADDRESS", u"a$1b$&c$$d@x", u"To: a$1b$&c$$d@x\r\n"},
      {u"__VAR__FROM", u"__VAR__FROM", u"", u""},
      // An empty placeholder names nothing: the text comes back as it was.
      {u"abc", u"", u"X", u"abc"},
      // Nor does a placeholder that matches only the empty text.
      {u"abc", u"x*", u"Y", u"abc"},
      // A pattern outside the supported set is a failure: empty text.
      {u"abc", u"a|b", u"X", u""},
  };
  TextRegex rx;
  for (const ReplaceCase& c : cases) {
    EXPECT_EQ(rx.ReplaceText(c.text, c.placeholder, c.replacement), c.result) << WideToUtf8(c.text);
    // The reporting form agrees, and tells the failure from an empty result.
    WideString reported = u"untouched";
    HResult hr = rx.ReplaceTextNoThrow(c.text, c.placeholder, c.replacement, &reported);
    const bool failure = c.placeholder == u"a|b";
    EXPECT_EQ(hr, failure ? kEInvalidArg : kSOk) << WideToUtf8(c.text);
    EXPECT_EQ(reported, failure ? WideString(u"untouched") : c.result) << WideToUtf8(c.text);
  }
}

// Memory that runs out while the text grows: the plain forms give empty
// text, as their other callers expect; the reporting forms say why.
TEST(TextRegex, ReportsLackOfMemoryWhereThePlainFormsGiveEmptyText) {
  TextRegex rx;
  const WideString image(1 << 20, u'Q');
  const WideString mail = u"<img src=\"data:image/gif;base64,__VAR__YAHOO\">";
  const WideString days = image + u"__VAR__DAY";
  WideString reported = u"untouched";
  HResult text, number;
  WideString plain;
  {
    gwtest::AllocationLimit limit(1 << 20);
    plain = rx.ReplaceText(mail, u"__VAR__YAHOO", image);
    text = rx.ReplaceTextNoThrow(mail, u"__VAR__YAHOO", image, &reported);
    number = rx.ReplaceNumberNoThrow(days, u"__VAR__DAY", 7, &reported);
  }
  EXPECT_EQ(plain, u"");
  EXPECT_EQ(text, kEOutOfMemory);
  EXPECT_EQ(number, kEOutOfMemory);
  EXPECT_EQ(reported, u"untouched");
  EXPECT_EQ(rx.ReplaceTextNoThrow(mail, u"__VAR__YAHOO", image, &reported), kSOk);
  EXPECT_EQ(reported.size(), mail.size() - 12 + image.size());
}

// The length a replaced text may reach, met here with a lowered limit: a
// text that grows to it is taken; one that passes it, at a replacement or
// with the text after the last one, is refused as lack of memory.
TEST(TextRegex, AReplacedTextMayGrowOnlyToTheLimit) {
  const TextRegex rx(10);
  const struct {
    WideString text, replacement;
    HResult hr;
  } cases[] = {
      {u"ab__X__cd", u"123456", kSOk},            // 10: just at the limit
      {u"ab__X__", u"12345678", kSOk},            // 10, reached by the replacement
      {u"ab__X____X__", u"12345", kEOutOfMemory},  // 12, at the second replacement
      {u"__X__abcdef", u"12345", kEOutOfMemory},   // 11, at the text after the last one
  };
  for (const auto& c : cases) {
    WideString reported = u"untouched";
    EXPECT_EQ(rx.ReplaceTextNoThrow(c.text, u"__X__", c.replacement, &reported), c.hr) << WideToUtf8(c.text);
    EXPECT_EQ(reported == u"untouched", c.hr != kSOk) << WideToUtf8(c.text);
  }
  EXPECT_EQ(TextRegex().ReplaceText(u"ab__X__cd", u"__X__", u"1234567"), u"ab1234567cd") << "the default limit";
}

TEST(TextRegex, ReplacesWithTheDecimalFormOfANumber) {
  const struct {
    int32_t value;
    WideString result;
  } cases[] = {
      {0, u"[0][0]"},
      {-3, u"[-3][-3]"},
      {kMax, u"[2147483647][2147483647]"},
      {kMin, u"[-2147483648][-2147483648]"},
  };
  TextRegex rx;
  for (const auto& c : cases) {
    EXPECT_EQ(rx.ReplaceNumber(u"[__VAR__DAY][__VAR__DAY]", u"__VAR__DAY", c.value), c.result);
  }
}

TEST(TextRegex, InsertsMegabyteValues) {
  TextRegex rx;
  const WideString image(1 << 20, u'Q');
  const WideString head = u"<img src=\"data:image/gif;base64,";
  WideString mail = head + u"__VAR__YAHOO\">" + head + u"__VAR__TEPCO\">";
  mail = rx.ReplaceText(mail, u"__VAR__YAHOO", image);
  mail = rx.ReplaceText(mail, u"__VAR__TEPCO", image);
  EXPECT_EQ(mail, head + image + u"\">" + head + image + u"\">");
}

}  // namespace
}  // namespace gw
