// The Windows service's log file: it rotates before passing its limit, keeps
// one older file, and goes on after a restart where it left off.
#include "bridge/log/rotating_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using gw::bridge::RotatingFile;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

class RotatingFileTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/gw-rotating-XXXXXX";
    dir_ = mkdtemp(pattern);
    path_ = dir_ / "Gridwren" / "bridge.log";  // the folder is made
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_, path_;
};

TEST_F(RotatingFileTest, RotatesBeforeThePassingLinesAndKeepsOneOlderFile) {
  {
    RotatingFile log(path_.string(), 20);
    log.Append("first line\n");   // 11 bytes
    log.Append("second ln\n");    // 21 would pass 20: rotated first
    log.Append("third ln\n");
    log.Append("fourth line\n");  // rotates again: "first" is gone
    log.Flush();
  }
  EXPECT_EQ(Read(path_), "fourth line\n");
  EXPECT_EQ(Read(path_.string() + ".1"), "second ln\nthird ln\n");
  EXPECT_FALSE(fs::exists(path_.string() + ".2"));
}

TEST_F(RotatingFileTest, ARestartAppendsAndCountsWhatIsThere) {
  {
    RotatingFile log(path_.string(), 30);
    log.Append("0123456789012345678\n");  // 20 bytes
  }
  RotatingFile again(path_.string(), 30);
  again.Append("more\n");                  // 25: fits
  again.Append("and more than fits\n");    // would be 44: rotates
  again.Flush();
  EXPECT_EQ(Read(path_.string() + ".1"), "0123456789012345678\nmore\n");
  EXPECT_EQ(Read(path_), "and more than fits\n");
}

TEST_F(RotatingFileTest, ALineLongerThanTheLimitIsStillWritten) {
  RotatingFile log(path_.string(), 8);
  log.Append("a line longer than eight\n");
  log.Flush();
  EXPECT_EQ(Read(path_), "a line longer than eight\n");
}

TEST_F(RotatingFileTest, AnUnwritableFolderIsNamed) {
  fs::create_directories(dir_ / "blocked");
  std::ofstream(dir_ / "blocked" / "file") << "x";
  try {
    RotatingFile log((dir_ / "blocked" / "file" / "bridge.log").string(), 8);
    FAIL() << "opened a log under a file";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("bridge.log"), std::string::npos) << e.what();
  }
}

}  // namespace
