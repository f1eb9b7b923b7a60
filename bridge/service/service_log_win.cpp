#include <shlobj.h>
#include <windows.h>

#include <chrono>
#include <exception>

#include "bridge/log/event_log.h"
#include "bridge/log/log_sink.h"
#include "bridge/log/rotating_file.h"
#include "bridge/service/service_log.h"
#include "bridge/upstream/winhttp_support.h"

namespace gw::bridge {
namespace {

constexpr auto kLogGrace = std::chrono::milliseconds(2000);

class FileSink final : public LogSink {
 public:
  explicit FileSink(const std::string& path) : file_(path, kServiceLogLimitBytes) {}
  void Write(std::string_view lines) override { file_.Append(lines); }
  void Flush() override { file_.Flush(); }

 private:
  RotatingFile file_;
};

std::string LogPath() {
  wchar_t* data = nullptr;
  std::string path;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &data))) {
    path = Narrow(data) + "\\Gridwren\\bridge.log";
  }
  CoTaskMemFree(data);
  return path;
}

}  // namespace

bool StartServiceLog(std::string* error) {
  const std::string path = LogPath();
  if (path.empty()) {
    *error = "the Gridwren bridge service found no ProgramData folder for its log";
    return false;
  }
  try {
    SetLogSink(std::make_unique<FileSink>(path));
    return true;
  } catch (const std::exception& e) {
    *error = e.what();
    return false;
  }
}

void StopServiceLog() { StopLog(kLogGrace); }

}  // namespace gw::bridge
