#include "net/temp_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <vector>

#include "support/fake_host.h"

namespace {

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

void Write(const gw::TempFile& f, const std::string& bytes) {
  std::ofstream(f.NarrowPath(), std::ios::binary) << bytes;
}

class TempFileTest : public ::testing::Test {
 protected:
  gwtest::FakeHost host;
};

TEST_F(TempFileTest, NamesComeFromTheHostWithTheExtension) {
  gw::TempFile txt(u"txt"), plain;
  EXPECT_EQ(txt.NarrowPath().substr(txt.NarrowPath().size() - 4), ".txt");
  EXPECT_EQ(plain.NarrowPath().substr(plain.NarrowPath().size() - 4), ".AAA");
  EXPECT_NE(txt.NarrowPath(), plain.NarrowPath());
  EXPECT_EQ(gw::WideToNarrow(txt.Path()), txt.NarrowPath());
  ASSERT_EQ(host.tempFilesHandedOut.size(), 2u);
}

TEST_F(TempFileTest, DestructionDeletesTheFileAndMovesTransferOwnership) {
  std::string path;
  {
    gw::TempFile f(u"gif");
    path = f.NarrowPath();
    Write(f, "GIF89a");
    ASSERT_TRUE(Exists(path));
    gw::TempFile moved(std::move(f));
    EXPECT_EQ(moved.NarrowPath(), path);
    { gw::TempFile sink = std::move(moved); }  // the new owner deletes it
    EXPECT_FALSE(Exists(path));
    Write(moved, "x");  // the moved-from object owns no path any more
  }
  EXPECT_FALSE(Exists(path));
  // One whose file was never written is destroyed quietly.
  { gw::TempFile never(u"inf"); }
}

TEST_F(TempFileTest, ReadBytesGivesExactContent) {
  gw::TempFile f(u"gif");
  EXPECT_TRUE(f.ReadBytes().empty());  // missing file: no buffer, length 0
  EXPECT_FALSE(f.HasBytes());
  EXPECT_EQ(f.Length(), 0u);
  Write(f, "");
  EXPECT_TRUE(f.ReadBytes().empty());
  EXPECT_TRUE(f.HasBytes());
  std::string data("\x00\x01\xFFGIF\x00", 7);
  Write(f, data);
  const auto& bytes = f.ReadBytes();
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), data);
  EXPECT_EQ(f.Length(), 7u);
  // Removed afterwards: the earlier content and length stay.
  unlink(f.NarrowPath().c_str());
  EXPECT_EQ(f.ReadBytes().size(), 7u);
  EXPECT_EQ(f.Length(), 7u);
}

TEST_F(TempFileTest, ReadTextConvertsTheWholeFileAtOnce) {
  gw::TempFile f(u"txt");
  EXPECT_EQ(f.ReadText(), u"");
  // "電力" in CP932 placed so that a character straddles byte 99: pieces of
  // 99 bytes converted one by one would split it.
  std::string text = std::string(98, 'a') + "\x93\x64\x97\xCD" + std::string(200, 'b');
  Write(f, text);
  gw::WideString read = f.ReadText();
  EXPECT_EQ(read, gw::WideString(98, u'a') + u"電力" + gw::WideString(200, u'b'));
  EXPECT_EQ(f.Length(), read.size());
}

TEST_F(TempFileTest, ReadTextSkipsZeroBytesAndHandlesPieceBoundaries) {
  gw::TempFile f(u"txt");
  Write(f, std::string("ab\0cd", 5) + std::string(200, '\0') + "ef");
  EXPECT_EQ(f.ReadText(), u"abcdef");
  Write(f, std::string(99, 'z'));
  EXPECT_EQ(f.ReadText(), gw::WideString(99, u'z'));
  // Removed: the previous text stays.
  unlink(f.NarrowPath().c_str());
  EXPECT_EQ(f.ReadText(), gw::WideString(99, u'z'));
  EXPECT_EQ(f.Length(), 99u);
}

}  // namespace
