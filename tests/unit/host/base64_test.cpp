#include "host/base64.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "support/fake_host.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The output is replaced whole, whether it was handed out empty, held a
// longer text before, or did not exist yet.
TEST(ConvertFileBase64, OutputHoldsExactlyTheConversion) {
  gwtest::ScratchDir dir;
  const std::string input = dir.path() + "/in.gif", output = dir.path() + "/out.inf";
  WriteAll(input, "GIF89a");
  for (const std::string& before : {std::string(), std::string(5000, 'x')}) {
    WriteAll(output, before);
    ASSERT_EQ(gwhost::ConvertFileBase64(output.c_str(), input.c_str(), 1), 0);
    EXPECT_EQ(ReadAll(output), "R0lGODlh\r\n") << "before: " << before.size() << " bytes";
  }
  const std::string fresh = dir.path() + "/fresh.bin";
  ASSERT_EQ(gwhost::ConvertFileBase64(fresh.c_str(), output.c_str(), 0), 0);
  EXPECT_EQ(ReadAll(fresh), "GIF89a");
}

}  // namespace
