#include "host/mail_charset.h"

#include <gtest/gtest.h>

namespace gwhost {
namespace {

std::string ToJisAndBack(const std::string& utf8) {
  return CharsetToUtf8(ToIso2022Jp(gw::Utf8ToWide(utf8)), "iso-2022-jp");
}

TEST(ToIso2022Jp, GivesSevenBitTextThatReadsBackAsWritten) {
  struct Case {
    const char* in;
    const char* readBack;
  };
  const Case cases[] = {
      {"", ""},
      {"plain ASCII ~\\ line", "plain ASCII ~\\ line"},
      {"電力使用率が指定された値に達したのでお知らせします。", "電力使用率が指定された値に達したのでお知らせします。"},
      {"使用率 = 90%<br/>", "使用率 = 90%<br/>"},
      {"'ＭＳ ゴシック' ■※【】", "'ＭＳ ゴシック' ■※【】"},
      // Half-width katakana widened, sound marks joined where a letter takes them.
      {"ｶﾞｷﾞﾊﾟﾎﾟｳﾞｯﾞｱﾟ｡", "ガギパポヴッ゛ア゜。"},
      // Windows' forms of JIS symbols (as code page 932 decodes them).
      {"～－∥￠￡￢", "〜−‖¢£¬"},
      // Outside JIS X 0208: the geta mark, one per character.
      {"①😀x", "〓〓x"},
  };
  for (const Case& c : cases) {
    const std::string jis = ToIso2022Jp(gw::Utf8ToWide(c.in));
    EXPECT_TRUE(IsAscii(jis)) << c.in;
    // Whatever it switched to, the line ends back in ASCII.
    if (size_t last = jis.rfind('\x1b'); last != std::string::npos) {
      EXPECT_EQ(jis.substr(last, 3), "\x1b(B") << c.in;
    }
    EXPECT_EQ(CharsetToUtf8(jis, "ISO-2022-JP"), c.readBack) << c.in;
  }
  EXPECT_EQ(ToIso2022Jp(gw::Utf8ToWide("電力")), "\x1b$BEENO\x1b(B");
}

TEST(CharsetToUtf8, ReadsWhatItCanAndMarksTheRest) {
  EXPECT_EQ(CharsetToUtf8("caf\xE9", "ISO-8859-1"), "café");
  EXPECT_EQ(CharsetToUtf8("\x93\x64\x97\xCD", "Shift_JIS"), "電力");
  EXPECT_EQ(CharsetToUtf8("ok \xFF end", "utf-8"), "ok \xEF\xBF\xBD end");
  EXPECT_EQ(CharsetToUtf8("plain", "no-such-charset"), "plain");
  EXPECT_EQ(CharsetToUtf8("plain", ""), "plain");
  EXPECT_EQ(ToJisAndBack("電力 90%"), "電力 90%");
}

}  // namespace
}  // namespace gwhost
