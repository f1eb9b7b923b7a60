// TempFile::ReadText on arbitrary file contents: downloaded feeds and the
// host's Base64 output are read this way. Besides sanitizer findings, checks
// what must hold for any bytes: no zero unit survives, the length is the
// text's, and plain ASCII comes back unchanged.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "net/temp_file.h"
#include "hostapi/host_api.h"

namespace {

std::string g_path;

const char* GetVersion() { return "2.81.02"; }
const char* GetTempFileName(const char*) { return g_path.c_str(); }
int32_t Inert() { return 0; }

void BindOnce() {
  static bool bound = false;
  if (bound) return;
  g_path = "/tmp/gw_fuzz_read_text." + std::to_string(getpid()) + ".txt";
  static int module;
  gw::BindHostApiWith(gw::TheHostApi(), &module, [](const char* name) {
    std::string n = name;
    if (n == "BKA_GetVersion") return reinterpret_cast<gw::HostProc>(GetVersion);
    if (n == "BKA_GetTempFileName") return reinterpret_cast<gw::HostProc>(GetTempFileName);
    return reinterpret_cast<gw::HostProc>(Inert);
  });
  bound = true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BindOnce();
  FILE* f = std::fopen(g_path.c_str(), "wb");
  if (!f) std::abort();
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  gw::TempFile file(u"txt");  // deletes the file when done
  gw::WideString text = file.ReadText();
  if (file.Length() != text.size()) std::abort();
  if (text.find(u'\0') != gw::WideString::npos) std::abort();

  bool ascii = true;
  std::u16string widened;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] >= 0x80) ascii = false;
    if (data[i] != 0) widened.push_back(data[i]);
  }
  if (ascii && text != widened) std::abort();
  return 0;
}
