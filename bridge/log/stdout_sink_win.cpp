#include <windows.h>

#include "bridge/log/log_sink.h"

namespace gw::bridge {
namespace {

// WriteFile on the console or pipe the program was started with; a program
// started without one (a service) gets a file sink instead.
class StandardOutputSink final : public LogSink {
 public:
  void Write(std::string_view lines) override {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    while (!lines.empty() && out != nullptr && out != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      const DWORD size = lines.size() > 65536 ? 65536 : static_cast<DWORD>(lines.size());
      if (!WriteFile(out, lines.data(), size, &written, nullptr) || written == 0) return;
      lines.remove_prefix(written);
    }
  }
  void Flush() override {}
};

}  // namespace

std::unique_ptr<LogSink> MakeStandardOutputSink() { return std::make_unique<StandardOutputSink>(); }

}  // namespace gw::bridge
