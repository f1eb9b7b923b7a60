#include "net/download.h"

#include <atomic>
#include <string>

#include "net/password.h"

namespace gw {
namespace {

// Read by the checks' threads while the host's thread may set them.
std::atomic<int> g_deadlineSeconds{kDownloadDeadlineSeconds};
std::atomic<bool> g_aborted{false};

}  // namespace

int DownloadDeadlineSeconds() { return g_deadlineSeconds.load(); }

// Tests only: nothing in the plug-in calls it, and no header declares it.
void SetDownloadDeadlineForTesting(int seconds) { g_deadlineSeconds.store(seconds); }

void SetDownloadsAborted(bool aborted) noexcept { g_aborted.store(aborted); }
bool DownloadsAborted() noexcept { return g_aborted.load(); }

std::optional<WideString> ReadProxyServer(const SettingsStore& settings) {
  auto server = settings.GetString(setting::kServer);
  if (!server) return std::nullopt;
  // The port is a DWORD but is written as the signed number it holds, as the
  // settings dialog shows it.
  auto port = static_cast<int32_t>(settings.GetDword(setting::kPort));
  return *server + u":" + Utf8ToWide(std::to_string(port));
}

std::optional<ProxyCredentials> ReadProxyCredentials(const SettingsStore& settings) {
  auto user = settings.GetString(setting::kUser);
  if (!user) return std::nullopt;
  auto stored = settings.GetString(setting::kPassword);
  if (!stored) return std::nullopt;
  return ProxyCredentials{std::move(*user), ConvertPassword(*stored, kPasswordDecode)};
}

HResult DownloadToFile(WideView url, const WideString& path, const SettingsStore& settings) noexcept {
  // After the host's exit has begun, nothing is sent any more.
  if (DownloadsAborted()) return kEDownloadCancelled;
  return HResultOf([&] { return Download(url, path, settings); });
}

}  // namespace gw
