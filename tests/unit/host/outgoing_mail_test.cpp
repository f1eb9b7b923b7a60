#include "host/outgoing_mail.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "host/mail_charset.h"
#include "host/mailstore.h"
#include "host/mime_header.h"
#include "host/mime_reader.h"
#include "host/profile.h"
#include "support/fake_host.h"

namespace gwhost {
namespace {

std::string Cp932(const std::string& utf8) { return gw::WideToNarrow(gw::Utf8ToWide(utf8)); }

const std::string kMessage = Cp932(
    "From: =?ISO-2022-JP?B?R3JpZHdyZW4=?=\r\n <gw@example.jp>\r\n"
    "To: 山田 太郎 <taro@example.jp>, b@example.jp\r\n"
    "Subject: 電力 90%\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/alternative; boundary=\"b1\"\r\n\r\n"
    "--b1\r\nContent-Type: text/plain; charset=\"ISO-2022-JP\"\r\nContent-Transfer-Encoding: 7bit\r\n\r\n"
    "こんにちは、Gridwrenです。\r\nｶﾞｲﾄﾞ\r\n"
    "--b1\r\nContent-Type: text/html; charset=\"ISO-2022-JP\"\r\n\r\n"
    "<img src=\"data:image/gif;base64,\r\nR0lGODlh\r\n\"/>\r\n--b1--\r\n\r\n");

class ScopedZone {
 public:
  explicit ScopedZone(const char* zone) {
    const char* old = std::getenv("TZ");
    if (old) old_ = old;
    had_ = old != nullptr;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedZone() {
    had_ ? setenv("TZ", old_.c_str(), 1) : unsetenv("TZ");
    tzset();
  }

 private:
  std::string old_;
  bool had_ = false;
};

TEST(PrepareForOutbox, MakesASevenBitDatedMessageThatReadsBack) {
  ScopedZone zone("JST-9");
  const std::string stored = PrepareForOutbox(kMessage, 1306886400);  // 2011-06-01 00:00 UTC
  EXPECT_TRUE(IsAscii(stored));
  EXPECT_EQ(stored.find('\r'), std::string::npos);
  // The plug-in's own layout of an ASCII field is kept.
  EXPECT_EQ(stored.rfind("From: =?ISO-2022-JP?B?R3JpZHdyZW4=?=\n <gw@example.jp>\nTo: ", 0), 0u);
  EXPECT_NE(stored.find("\nDate: Wed, 01 Jun 2011 09:00:00 +0900\n"), std::string::npos);
  EXPECT_TRUE(std::regex_search(stored, std::regex("\nMessage-ID: <[^@<> ]+@example\\.jp>\n")));

  const MimeEntity m = ParseMessage(stored);
  EXPECT_EQ(DecodeHeaderValue(m.Field("To")), "山田 太郎 <taro@example.jp>, b@example.jp");
  EXPECT_EQ(DecodeHeaderValue(m.Field("Subject")), "電力 90%");
  ASSERT_EQ(m.parts.size(), 2u);
  EXPECT_EQ(CharsetToUtf8(DecodedBody(m.parts[0]), m.parts[0].Parameter("charset")),
            "こんにちは、Gridwrenです。\nガイド");
  EXPECT_EQ(m.parts[1].MediaType(), "text/html");
  EXPECT_EQ(stored.substr(stored.size() - 8), "--b1--\n\n");
}

// The raw lines of one field, continuation lines included.
std::string RawField(const std::string& stored, const std::string& name) {
  size_t start = stored.find("\n" + name + ":");
  if (start == std::string::npos) return "";
  size_t end = start + 1;
  do end = stored.find('\n', end + 1);
  while (end != std::string::npos && end + 1 < stored.size() && (stored[end + 1] == ' ' || stored[end + 1] == '\t'));
  return stored.substr(start + 1, end - start - 1);
}

// To is an address field: names are encoded, but every address stays
// outside the encoded words, where a mail server can read it, also after a
// quoted name and after a name written right against its "<".
TEST(PrepareForOutbox, AddressesStayOutsideEncodedWords) {
  const std::string to = "\"山田 太郎\"<taro@example.jp>, 花子<hanako@example.jp>";
  const std::string stored = PrepareForOutbox(Cp932("From: gw@example.jp\r\nTo: " + to + "\r\n\r\nbody\r\n"), 0);
  const std::string raw = RawField(stored, "To");
  ASSERT_TRUE(IsAscii(raw)) << raw;
  const std::string words = std::regex_replace(raw, std::regex("=\\?[^?]*\\?[BbQq]\\?[^?]*\\?="), "#");
  for (const char* address : {"<taro@example.jp>", "<hanako@example.jp>"}) {
    EXPECT_NE(words.find(address), std::string::npos) << address << " is not outside the encoded words in " << raw;
  }
  const std::string decoded = DecodeHeaderValue(ParseMessage(stored).Field("To"));
  EXPECT_NE(decoded.find("山田 太郎"), std::string::npos) << decoded;
  EXPECT_NE(decoded.find("花子"), std::string::npos) << decoded;
}

TEST(PrepareForOutbox, KeepsDatesAndIdsItIsGivenAndBreaksOverlongLines) {
  const std::string given = "Date: Tue, 31 May 2011 10:00:00 +0900\r\nMessage-ID: <x@y>\r\n\r\n";
  const std::string longLine = std::string(1500, 'a') + " " + std::string(500, 'b');
  const std::string stored = PrepareForOutbox(given + longLine + "\r\n" + Cp932(std::string(700, 'x') + "電") +
                                                  "\r\n",
                                              0);
  EXPECT_EQ(stored.rfind("Date: Tue, 31 May 2011 10:00:00 +0900\nMessage-ID: <x@y>\n\n", 0), 0u);
  std::istringstream lines(stored.substr(stored.find("\n\n") + 2));
  std::string all;
  for (std::string line; std::getline(lines, line);) {
    EXPECT_LE(line.size(), 998u);
    all += line;
  }
  // Nothing is lost in the breaking, and the Japanese text is intact.
  EXPECT_EQ(std::count(all.begin(), all.end(), 'a'), 1500);
  EXPECT_EQ(std::count(all.begin(), all.end(), 'b'), 500);
  EXPECT_NE(stored.find("x\x1b$BEE\x1b(B\n"), std::string::npos);
  EXPECT_NE(NewMessageId("example.jp"), NewMessageId("example.jp"));
}

TEST(AppendToFolder, StoresTheOutboxMessageAsAMaildirFile) {
  gwtest::ScratchDir dir;
  Profile profile{dir.path() + "/profile"};
  std::string error;
  ASSERT_TRUE(InitProfile(profile, "gw@example.jp", &error)) << error;
  SetCurrentProfile(profile);

  EXPECT_LT(AppendToFolder("MailBox1/Inbox\\", kMessage), 0);
  ASSERT_EQ(AppendToFolder("MailBox1/!!!!Outbox\\", kMessage), 0);
  std::vector<std::filesystem::path> files;
  for (const auto& e : std::filesystem::directory_iterator(profile.Outbox() + "/new")) files.push_back(e.path());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(std::filesystem::is_empty(profile.Outbox() + "/tmp"));
  std::ifstream in(files[0], std::ios::binary);
  const std::string stored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(IsAscii(stored));
  EXPECT_EQ(DecodeHeaderValue(ParseMessage(stored).Field("Subject")), "電力 90%");
}

TEST(DecodedBody, UndoesTheTransferEncoding) {
  const MimeEntity m = ParseMessage(
      "Content-Type: multipart/mixed; boundary=\"x\"\n\npreamble\n--x\n"
      "Content-Transfer-Encoding: base64\n\nZGF0YQ==\n--x\r\n"
      "Content-Transfer-Encoding: Quoted-Printable\n\ncaf=C3=A9 =\nau lait\n--x--\nepilogue\n");
  ASSERT_EQ(m.parts.size(), 2u);
  EXPECT_EQ(DecodedBody(m.parts[0]), "data");
  EXPECT_EQ(DecodedBody(m.parts[1]), "café au lait");
  EXPECT_EQ(m.parts[1].MediaType(), "text/plain");
}

}  // namespace
}  // namespace gwhost
