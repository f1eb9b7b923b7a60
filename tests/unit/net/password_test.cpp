#include "net/password.h"

#include <gtest/gtest.h>

#include "host/base64.h"
#include "support/fake_host.h"

namespace {

using gw::ConvertPassword;
using gw::WideString;

class PasswordTest : public ::testing::Test {
 protected:
  gwtest::FakeHost host;
};

TEST_F(PasswordTest, StoredFormIsScrambledBytesInBase64) {
  WideString stored = ConvertPassword(u"secret", gw::kPasswordEncode);
  std::string decoded;
  ASSERT_TRUE(gwhost::DecodeBase64(gw::WideToNarrow(stored), &decoded));
  std::string expected = "secret";
  for (char& c : expected) c = static_cast<char>(c ^ 0x5A);
  EXPECT_EQ(decoded, expected);
  // The exact text the host's converter wrote, line break included:
  // settings stored by earlier versions rely on it.
  EXPECT_EQ(stored, u"KT85KD8u\r\n");
}

TEST_F(PasswordTest, RoundTrips) {
  const char16_t* passwords[] = {
      u"p",
      u"pass word!",
      u"ZZZ",  // each byte equals the key and becomes a zero byte
      u"aZb\uFF71",  // half-width katakana: one byte in the code page
      u"日本語のパスワード",
  };
  for (auto* p : passwords) {
    WideString stored = ConvertPassword(p, gw::kPasswordEncode);
    EXPECT_FALSE(stored.empty());
    EXPECT_EQ(ConvertPassword(stored, gw::kPasswordDecode), p) << gw::WideToUtf8(p);
  }
}

TEST_F(PasswordTest, LongJapanesePasswordSurvives) {
  // Well over 99 bytes in CP932, with double-byte characters across every
  // 99-byte boundary: converting in pieces would corrupt it.
  WideString long_password;
  for (int i = 0; i < 40; ++i) long_password += u"電力a";
  WideString stored = ConvertPassword(long_password, gw::kPasswordEncode);
  EXPECT_EQ(ConvertPassword(stored, gw::kPasswordDecode), long_password);
}

TEST_F(PasswordTest, EmptyAndBrokenInputsGiveEmptyText) {
  EXPECT_EQ(ConvertPassword(u"", gw::kPasswordEncode), u"");
  EXPECT_EQ(ConvertPassword(u"", gw::kPasswordDecode), u"");
  host.failBase64 = true;
  EXPECT_EQ(ConvertPassword(u"secret", gw::kPasswordEncode), u"");
  EXPECT_EQ(ConvertPassword(u"KT85KD8u", gw::kPasswordDecode), u"");
}

TEST_F(PasswordTest, WorkFilesAreRequestedAndRemoved) {
  ConvertPassword(u"secret", gw::kPasswordEncode);
  ConvertPassword(u"", gw::kPasswordDecode);
  ASSERT_EQ(host.tempFilesHandedOut.size(), 6u);  // three per call, even for empty text
  for (const auto& path : host.tempFilesHandedOut) {
    EXPECT_EQ(path.substr(path.size() - 4), ".ini");
    EXPECT_NE(access(path.c_str(), F_OK), 0) << path;
  }
}

}  // namespace
