#include "monitor/mail_template.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <vector>

#include "base/codepage.h"
#include "host/base64.h"
#include "monitor/endpoints.h"

namespace gw {
namespace {

const std::string kDelimiter = "--------_4D901479000000007F9E_MULTIPART_ALTERNATIVE_";

std::vector<std::string> CrLfLines(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(bytes.substr(start, end - start));
  return lines;
}

std::string Utf8(const std::string& cp932) { return WideToUtf8(NarrowToWide(cp932)); }

std::string Iso2022JpToUtf8(std::string in) {
  iconv_t cd = iconv_open("UTF-8", "ISO-2022-JP");
  std::string out(in.size() * 4 + 16, '\0');
  char* src = in.data();
  char* dst = out.data();
  size_t left = in.size(), room = out.size();
  size_t rc = iconv(cd, &src, &left, &dst, &room);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1)) return "<undecodable>";
  out.resize(out.size() - room);
  return out;
}

// Decodes a run of encoded words, one per header line, as a reader would.
std::string DecodeWords(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) {
    const std::string prefix = "=?ISO-2022-JP?B?";
    EXPECT_EQ(word.compare(0, prefix.size(), prefix), 0) << word;
    EXPECT_EQ(word.substr(word.size() - 2), "?=") << word;
    EXPECT_LE(word.size(), 75u) << word;
    std::string bytes;
    EXPECT_TRUE(gwhost::DecodeBase64(word.substr(prefix.size(), word.size() - prefix.size() - 2), &bytes));
    text += Iso2022JpToUtf8(bytes);
  }
  return text;
}

// The encoded words of the field that starts at `first`: on its first line
// after the name, then one per continuation line until `last` (exclusive).
std::vector<std::string> FieldWords(const std::vector<std::string>& lines, size_t first, size_t last,
                                    const std::string& name) {
  std::vector<std::string> words{lines[first].substr(name.size())};
  for (size_t i = first + 1; i < last; ++i) words.push_back(lines[i].substr(1));
  return words;
}

TEST(MailTemplate, HoldsTheMessageByteForByte) {
  const std::string bytes = LoadMailTemplate();
  ASSERT_FALSE(bytes.empty());
  EXPECT_EQ(bytes.find('\0'), std::string::npos);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const bool bareLf = bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r');
    const bool bareCr = bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n');
    ASSERT_FALSE(bareLf || bareCr) << "line end without its pair at byte " << i;
  }
  const std::string ending = kDelimiter + "--\r\n\r\n";
  ASSERT_GE(bytes.size(), ending.size());
  EXPECT_EQ(bytes.substr(bytes.size() - ending.size()), ending);

  const std::vector<std::string> lines = CrLfLines(bytes);
  ASSERT_EQ(lines.size(), 85u);
  const size_t subject = 4, html = 36;
  const std::vector<std::pair<size_t, std::string>> expected = {
      {1, " <__VAR__FROM>"},
      {2, "Return-Path: <__VAR__FROM>"},
      {3, "To: __VAR__ADDRESS"},
      {5, " __VAR__PERCENT%"},
      {6, "MIME-Version: 1.0"},
      {7, "Content-Type: multipart/alternative; boundary=\"------_4D901479000000007F9E_MULTIPART_ALTERNATIVE_\""},
      {8, "Content-Transfer-Encoding: 7bit"},
      {9, ""},
      {10, kDelimiter},
      {11, "Content-Type: text/plain; charset=\"ISO-2022-JP\""},
      {12, "Content-Transfer-Encoding: 7bit"},
      {13, ""},
      {14, "こんにちは、Gridwrenです。"},
      {21, "更新日時 = __VAR__YEAR年__VAR__MONTH月__VAR__DAY日 __VAR__HOUR時"},
      {24, WideToUtf8(kYahooSiteUrl)},
      {27, WideToUtf8(kTepcoForecastUrl)},
      {33, "  HTMLメールの設定を有効にして見てください。"},
      {34, "  (Becky!の場合は[ツール]-[全般的な設定]-[メール表示]-[HTMLメールの表示])"},
      {35, ""},
      {html, kDelimiter},
      {html + 1, "Content-Type: text/html; charset=\"ISO-2022-JP\""},
      {html + 9, "td{font-family:'メイリオ','ＭＳ ゴシック'; font-weight:bold; font-size:smaller; color:#003366;}"},
      {html + 34, "<a href=\"" + WideToUtf8(kYahooSiteUrl) + "\">"},
      {html + 36, "__VAR__YAHOO"},
      {html + 39, "<a href=\"" + WideToUtf8(kTepcoForecastUrl) + "\">"},
      {html + 41, "__VAR__TEPCO"},
      {html + 46, "</BODY></HTML>"},
      {html + 47, kDelimiter + "--"},
      {html + 48, ""},
  };
  for (const auto& [index, text] : expected) EXPECT_EQ(Utf8(lines[index]), text) << "line " << index + 1;
  // The text is in code page 932, not UTF-8.
  EXPECT_EQ(lines[14], WideToNarrow(Utf8ToWide("こんにちは、Gridwrenです。")));

  EXPECT_EQ(DecodeWords(FieldWords(lines, 0, 1, "From: ")), "Gridwren");
  EXPECT_EQ(DecodeWords(FieldWords(lines, subject, subject + 1, "Subject: ")), "【Gridwren】電力使用率");
  EXPECT_LE(lines[0].size(), 78u);
  EXPECT_LE(lines[subject].size(), 78u);
}

}  // namespace
}  // namespace gw
