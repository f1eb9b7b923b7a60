#include "text/regex_engine.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace gw {
namespace {

constexpr size_t kNoPos = RegexMatch::kNoPos;

struct Found {
  size_t begin = kNoPos;
  size_t end = kNoPos;
  WideString group1;
  bool has_group1 = false;
};

Found SearchFor(WideView pattern, WideView text, size_t from = 0) {
  std::optional<Regex> re = Regex::Compile(pattern);
  EXPECT_TRUE(re.has_value()) << "pattern does not compile";
  Found f;
  RegexMatch m;
  if (!re || !re->Search(text, from, m)) return f;
  f.begin = m.Begin();
  f.end = m.End();
  f.has_group1 = m.HasGroup(1);
  f.group1 = WideString(m.Group(text, 1));
  return f;
}

TEST(RegexEngine, CompilesOnlyTheSupportedConstructs) {
  const WideString too_many_groups = WideString(17, u'(') + u"a" + WideString(17, u')');
  const WideString sixteen_groups = WideString(16, u'(') + u"a" + WideString(16, u')');
  const struct {
    WideString pattern;
    bool ok;
  } cases[] = {
      {u"\\\"usage\\\"\\s*:\\s*[\"]*([^\",}]+)[\",}]*", true},
      {u"__VAR__YEAR", true},
      {u"", true},
      {u"a.b?c+d*", true},
      {u"[a-z\\]\\s-]", true},
      {u"(a(b)*)+", true},
      {u"}]", true},
      {sixteen_groups, true},
      {too_many_groups, false},
      {WideString(Regex::kMaxPatternLength + 1, u'a'), false},
      {u"a|b", false},
      {u"^a", false},
      {u"a$", false},
      {u"a{2}", false},
      {u"a**", false},
      {u"a*?", false},
      {u"*a", false},
      {u"(*a)", false},
      {u"(a", false},
      {u"a)", false},
      {u"[abc", false},
      {u"[]", false},
      {u"[z-a]", false},
      {u"\\d", false},
      {u"\\n", false},
      {u"a\\", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Regex::Compile(c.pattern).has_value(), c.ok) << WideToUtf8(c.pattern);
  }
}

TEST(RegexEngine, FindsTheLeftmostMatchWithBacktrackingCaptures) {
  const struct {
    WideString pattern, text;
    size_t begin, end;
    WideString group1;
  } cases[] = {
      // Greedy quantifiers give characters back when the rest needs them.
      {u"(a*)ab", u"xaaab", 1, 5, u"aa"},
      {u"\\s*(\\s)x", u"  x", 0, 3, u" "},
      // Leftmost wins over longer; within a start, the first quantifier is greedy.
      {u"(a+)a*", u"baaa", 1, 4, u"aaa"},
      // The search goes on past a place where the rest cannot match.
      {u"\"k\":([0-9]+)", u"\"k\":x \"k\":42", 6, 12, u"42"},
      {u"aab", u"aaab", 1, 4, u""},
      {u"ab+(c)", u"abbabbbc", 3, 8, u"c"},
      // A repeated group reports its last iteration.
      {u"(ab)+", u"xababc", 1, 5, u"ab"},
      {u"x(y)?z", u"xz", 0, 2, u""},
      {u"[^\",}]+", u"\",}ab,", 3, 5, u""},
      {u"\\\"\\.\\*", u"a\".*", 1, 4, u""},
      {u"a.c", u"a\nc abc", 4, 7, u""},
      {u"A", u"aaA", 2, 3, u""},
      {u"b", u"aaa", kNoPos, kNoPos, u""},
      {u"", u"abc", 0, 0, u""},
      {u"年(.)", u"2011年8月", 4, 6, u"8"},
  };
  for (const auto& c : cases) {
    Found f = SearchFor(c.pattern, c.text);
    EXPECT_EQ(f.begin, c.begin) << WideToUtf8(c.pattern);
    EXPECT_EQ(f.end, c.end) << WideToUtf8(c.pattern);
    EXPECT_EQ(f.group1, c.group1) << WideToUtf8(c.pattern);
  }
}

TEST(RegexEngine, SpaceClassIsExactlyTheSixAsciiSpaces) {
  std::optional<Regex> re = Regex::Compile(u"\\s");
  ASSERT_TRUE(re);
  for (char16_t c : {u' ', u'\t', u'\n', u'\r', u'\v', u'\f'}) {
    RegexMatch m;
    EXPECT_TRUE(re->Search(WideView(&c, 1), 0, m)) << int(c);
  }
  for (char16_t c : {u'\u00A0', u'\u3000', u'\u0085', u'\u001C', u'x', u'\0'}) {
    RegexMatch m;
    EXPECT_FALSE(re->Search(WideView(&c, 1), 0, m)) << int(c);
  }
}

TEST(RegexEngine, ReportsGroupsThatTookNoPart) {
  std::optional<Regex> re = Regex::Compile(u"a(x)?(b)");
  ASSERT_TRUE(re);
  EXPECT_EQ(re->GroupCount(), 2u);
  RegexMatch m;
  ASSERT_TRUE(re->Search(u"ab", 0, m));
  EXPECT_FALSE(m.HasGroup(1));
  EXPECT_TRUE(m.HasGroup(2));
  EXPECT_FALSE(m.HasGroup(3));
  EXPECT_EQ(m.Group(u"ab", 1), u"");
}

TEST(RegexEngine, SearchStartsAtTheGivenOffset) {
  Found f = SearchFor(u"ab", u"abxab", 1);
  EXPECT_EQ(f.begin, 3u);
  std::optional<Regex> re = Regex::Compile(u"a");
  RegexMatch m;
  EXPECT_FALSE(re->Search(u"a", 2, m));
}

std::vector<std::pair<size_t, size_t>> AllMatches(WideView pattern, WideView text) {
  std::vector<std::pair<size_t, size_t>> out;
  std::optional<Regex> re = Regex::Compile(pattern);
  EXPECT_TRUE(re);
  if (re) {
    re->ForEachMatch(text, [&](const RegexMatch& m) {
      out.emplace_back(m.Begin(), m.End());
      return true;
    });
  }
  return out;
}

TEST(RegexEngine, WalksNonOverlappingMatchesAndStepsOverEmptyOnes) {
  using Spans = std::vector<std::pair<size_t, size_t>>;
  EXPECT_EQ(AllMatches(u"aa", u"aaaaa"), (Spans{{0, 2}, {2, 4}}));
  EXPECT_EQ(AllMatches(u"a*", u"baac"), (Spans{{0, 0}, {1, 3}, {3, 3}, {4, 4}}));
  EXPECT_EQ(AllMatches(u"x", u"abc"), Spans{});
}

TEST(RegexEngine, LongInputsNeedNoRecursion) {
  // A million-character value: a recursive backtracker would run out of stack.
  WideString text = u"\"v\": " + WideString(1 << 20, u'7') + u"}";
  Found f = SearchFor(u"\"v\":\\s*([^\",}]+)", text);
  EXPECT_EQ(f.group1.size(), size_t{1} << 20);
  // Nested stars over a long run that finally fails: an exponential case for
  // backtracking, linear here; a repeated empty group must not loop.
  WideString as(100000, u'a');
  EXPECT_EQ(SearchFor(u"(a*)*b", as).begin, kNoPos);
  EXPECT_EQ(SearchFor(u"(()*)*a", as).end, 1u);
}

}  // namespace
}  // namespace gw
