#include "net/download.h"

#include <string>

#include "net/password.h"

namespace gw {

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
  try {
    return Download(url, path, settings);
  } catch (...) {
    return HResultFromCaught();
  }
}

}  // namespace gw
