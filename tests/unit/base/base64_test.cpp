// The strict Base64 reading that credentials use, beside the lenient MIME one.
#include "base/base64.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using gw::DecodeBase64Strict;

std::string Strict(const std::string& text) {
  std::string bytes = "untouched";
  return DecodeBase64Strict(text, &bytes) ? bytes : "<refused:" + bytes + ">";
}

TEST(DecodeBase64Strict, TakesCanonicalTextOfEveryLength) {
  EXPECT_EQ(Strict(""), "");
  EXPECT_EQ(Strict("Zg=="), "f");
  EXPECT_EQ(Strict("Zm8="), "fo");
  EXPECT_EQ(Strict("Zm9v"), "foo");
  EXPECT_EQ(Strict("Zm9vYmFy"), "foobar");
  EXPECT_EQ(Strict("b2ZmaWNlOnMzY3JldDpwdw=="), "office:s3cret:pw");
  EXPECT_EQ(Strict("+/+/"), "\xfb\xff\xbf");
  // Round trip through the encoder for every byte value.
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  for (size_t n : {size_t{1}, size_t{2}, size_t{3}, size_t{40}, all.size()}) {
    std::string encoded = gw::EncodeBase64(all.substr(0, n));
    std::string oneLine;
    for (char c : encoded) {
      if (c != '\r' && c != '\n') oneLine += c;
    }
    EXPECT_EQ(Strict(oneLine), all.substr(0, n)) << n;
  }
}

TEST(DecodeBase64Strict, RefusesWhatTheLenientReadingSkips) {
  const std::string good = "b2ZmaWNlOnB3";  // office:pw
  for (const std::string& bad : std::vector<std::string>{
           std::string("!!b*2*Z*m*a*W*N*l*O*n*B*3"),  // junk between the characters
           good + "==junk!!",                         // junk after padding
           " " + good, good + " ", "b2Zm aWNlOnB3",   // blanks inside
           good + "\r\n",                             // a MIME line break
           "b2ZmaWNlOnB",                             // not whole groups
           "Zg=", "Zg", "Z===", "====",               // missing or excess padding
           "Zg==Zg==", "Zm8=Zm9v",                    // padding before the end
           "Z=g=", "=Zm9",                            // padding inside a group
           "Zh==", "Zm9=",                            // padding bits not zero
           std::string("Zm9v\0Zm9v", 9),              // a NUL byte
           "Zm9v-_8x",                                // the URL-safe alphabet
       }) {
    EXPECT_EQ(Strict(bad), "<refused:>") << bad;
  }
  // The mail's reading stays lenient.
  std::string lenient;
  EXPECT_TRUE(gw::DecodeBase64("!!b*2*Z*m*a*W*N*l*O*n*B*3", &lenient));
  EXPECT_EQ(lenient, "office:pw");
  EXPECT_TRUE(gw::DecodeBase64(good + "==junk!!", &lenient));
  EXPECT_EQ(lenient, "office:pw");
}

}  // namespace
