#include "net/temp_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <optional>
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

// Whoever holds the file last deletes it, and only then: a moved-from
// object that still took its old path for its own would delete the file
// from under its new owner.
TEST_F(TempFileTest, OnlyTheLastOwnerDeletesTheFile) {
  std::optional<gw::TempFile> first(std::in_place, u"gif");
  const std::string path = first->NarrowPath();
  Write(*first, "GIF89a");
  std::optional<gw::TempFile> second(std::in_place, std::move(*first));
  first.reset();
  ASSERT_TRUE(Exists(path)) << "the moved-from object deleted the new owner's file";
  EXPECT_EQ(second->ReadBytes().size(), 6u);

  std::optional<gw::TempFile> third(std::in_place, u"inf");
  const std::string replaced = third->NarrowPath();
  Write(*third, "x");
  *third = std::move(*second);
  EXPECT_FALSE(Exists(replaced)) << "the file that was replaced stays behind";
  second.reset();
  ASSERT_TRUE(Exists(path)) << "the moved-from object deleted the new owner's file";
  EXPECT_EQ(third->NarrowPath(), path);
  third.reset();
  EXPECT_FALSE(Exists(path)) << "the last owner left its file behind";
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

// A graph's Base64 text can run to hundreds of kilobytes: the whole file is
// read, and a character whose two bytes straddle the 64 KiB mark (a common
// read size) is read whole.
TEST_F(TempFileTest, ReadTextReadsALongFileToItsEnd) {
  gw::TempFile f(u"inf");
  const size_t kMark = 64 * 1024;
  const std::string head(kMark - 1, 'a'), tail(150000, 'b');
  Write(f, head + "\x93\x64" + tail + "\x97\xCD");  // 電 from byte 65,535 to 65,536; 力 at the end
  const gw::WideString read = f.ReadText();
  ASSERT_EQ(read.size(), head.size() + 1 + tail.size() + 1);
  EXPECT_EQ(read.substr(0, head.size()), gw::WideString(head.size(), u'a'));
  EXPECT_EQ(read[head.size()], u'電');
  EXPECT_EQ(read.substr(head.size() + 1, tail.size()), gw::WideString(tail.size(), u'b'));
  EXPECT_EQ(read.back(), u'力');
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
