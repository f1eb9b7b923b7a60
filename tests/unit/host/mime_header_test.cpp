#include "host/mime_header.h"

#include <gtest/gtest.h>

#include <sstream>

namespace gwhost {
namespace {

std::string Encode(const std::string& utf8, bool structured) {
  return EncodeHeaderValue(gw::Utf8ToWide(utf8), structured);
}

std::vector<std::string> Words(const std::string& value) {
  std::istringstream in(value);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

TEST(EncodeHeaderValue, EncodesOnlyNonAsciiWordsAndDecodesBack) {
  struct Case {
    const char* value;
    bool structured;
    const char* decoded;
  };
  const Case cases[] = {
      {"a@example.jp, b@example.jp", true, "a@example.jp, b@example.jp"},
      {"【Gridwren】電力使用率 90%", false, "【Gridwren】電力使用率 90%"},
      {"山田 太郎 <taro@example.jp>, 花子<hanako@example.jp>", true,
       "山田 太郎 <taro@example.jp>, 花子 <hanako@example.jp>"},
      // Encoded words may not stand inside quotes: the quoted name becomes
      // a phrase; an ASCII quoted name stays as it is.
      {"\"山田 太郎\" <yamada@example.jp>, \"Doe, J\" <j@example.jp>", true,
       "山田 太郎 <yamada@example.jp>, \"Doe, J\" <j@example.jp>"},
      {"東京電力管内の電力使用状況が逼迫していますので節電にご協力ください。本日も電力需要が大きくなる見込みです。", false,
       "東京電力管内の電力使用状況が逼迫していますので節電にご協力ください。本日も電力需要が大きくなる見込みです。"},
  };
  for (const Case& c : cases) {
    const std::string encoded = Encode(c.value, c.structured);
    for (char ch : encoded) ASSERT_LT(static_cast<unsigned char>(ch), 0x80) << c.value;
    for (const auto& w : Words(encoded)) {
      if (w.rfind("=?", 0) == 0) {
        EXPECT_LE(w.size(), 75u) << w;
      }
    }
    EXPECT_EQ(DecodeHeaderValue(encoded), c.decoded) << encoded;
  }
  EXPECT_EQ(Encode("<a@example.jp>", true), "<a@example.jp>");
  EXPECT_EQ(Encode("\"電力\" <a@example.jp>", true).find('"'), std::string::npos);
  EXPECT_EQ(Encode("電力", false), "=?ISO-2022-JP?B?GyRCRUVOTxsoQg==?=");
}

TEST(FoldField, KeepsLinesShortWithoutChangingTheField) {
  std::string to = "To:";
  for (int i = 0; i < 12; ++i) to += " user" + std::to_string(i) + "@example.jp,";
  const std::vector<std::string> lines = FoldField(to);
  ASSERT_GT(lines.size(), 1u);
  std::string joined;
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_LE(lines[i].size(), 78u);
    if (i > 0) {
      EXPECT_EQ(lines[i][0], ' ');
    }
    joined += (i ? "\n" : "") + lines[i];
  }
  EXPECT_EQ(Unfold(joined), to);
  // A word longer than a line cannot be folded and is kept whole.
  const std::string word = "X-Long: " + std::string(120, 'a');
  EXPECT_EQ(FoldField(word), std::vector<std::string>{word});
}

TEST(DecodeHeaderValue, FollowsTheEncodedWordRules) {
  struct Case {
    const char* raw;
    const char* decoded;
  };
  const Case cases[] = {
      {"=?ISO-2022-JP?B?R3JpZHdyZW4=?= <gw@example.jp>", "Gridwren <gw@example.jp>"},
      {"=?utf-8?q?caf=C3=A9_au_lait?=", "café au lait"},
      {"=?UTF-8?B?6Zu7?=  \t =?UTF-8?B?5Yqb?= x", "電力 x"},
      {"=?UTF-8?B?6Zs=?= =?UTF-8?B?uw==?=", "電"},  // a character cut between two words
      {"=?UTF-8*ja?B?6Zu7?=", "電"},
      {"plain =?bad text?= and =?UTF-8?X?abc?=", "plain =?bad text?= and =?UTF-8?X?abc?="},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeHeaderValue(c.raw), c.decoded) << c.raw;
}

}  // namespace
}  // namespace gwhost
