// The explicit CP932 conversions hold whatever the system code page is, as
// the operator's files are CP932 on every system.
#include "base/codepage.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class CodePageOverride {
 public:
  explicit CodePageOverride(const char* codeSet) { setenv("GRIDWREN_CODEPAGE", codeSet, 1); }
  ~CodePageOverride() { unsetenv("GRIDWREN_CODEPAGE"); }
};

TEST(Cp932, DecodesWhateverTheSystemCodePage) {
  CodePageOverride latin("ISO-8859-1");
  // 当日実績 and a full-width tilde as the operator's header lines carry them.
  EXPECT_EQ(gw::Cp932ToWide("\x93\x96\x93\xFA\x8E\xC0\x90\xD1\x81\x60"), u"当日実績～");
  EXPECT_EQ(gw::WideToCp932(u"使用率"), "\x8E\x67\x97\x70\x97\xA6");
  EXPECT_NE(gw::NarrowToWide("\x8E\xC0"), u"実") << "the system code page still applies to NarrowToWide";
}

TEST(Cp932, MarksBytesItCannotDecode) {
  EXPECT_EQ(gw::Cp932ToWide("A\x85" "B"), u"A\uFFFD" "B");
  EXPECT_EQ(gw::Cp932ToWide("\x93"), u"\uFFFD") << "a lead byte cut off at the end";
}

}  // namespace
