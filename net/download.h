// One HTTP GET whose response body is written, byte for byte, into a file.
// On Windows the request goes through MSXML ServerXMLHTTP; natively through
// libcurl with the same proxy rules, time-outs and failure codes.
#pragma once

#include <cstdint>
#include <optional>

#include "base/codepage.h"
#include "base/hresult.h"
#include "settings/settings_store.h"

namespace gw {

// A body larger than this ends the download with kEFileTooLarge. The feed is
// a few hundred bytes and each graph a few kilobytes; the cap keeps a broken
// or hostile server from filling the user's disk through the mail client.
constexpr uint64_t kMaxDownloadBytes = uint64_t{32} << 20;

// Proxy credentials for one request: the user name and the plain password,
// already turned back from the stored form.
struct ProxyCredentials {
  WideString user;
  WideString password;
};

// The proxy server text: TUServer, ":", then TUPort as signed decimal digits
// (an absent port reads as 0). Nothing when TUServer holds no text.
std::optional<WideString> ReadProxyServer(const SettingsStore& settings);

// Present whenever TUUser and TUPassword both hold text, with or without a
// proxy server. A password that cannot be turned back reads as empty text
// rather than failing the download. Needs the host's Base64 converter.
std::optional<ProxyCredentials> ReadProxyCredentials(const SettingsStore& settings);

// Fetches `url` with a GET and writes the body into `path`, which is created
// or truncated. S_OK when the whole body is in the file, whatever the HTTP
// status; otherwise a negative code. A partial file is left on failure for
// the caller's TempFile to delete. On Windows the caller has initialised COM
// on its thread. Never throws.
HResult DownloadToFile(WideView url, const WideString& path, const SettingsStore& settings) noexcept;

// The platform's part of DownloadToFile (the component on Windows, libcurl
// natively); it may raise HResultError, which DownloadToFile turns back into
// the result code.
HResult Download(WideView url, const WideString& path, const SettingsStore& settings);

// While set, downloads in progress and new ones end at once, cancelled. The
// native library's unload waits for running checks and sets it first, so that
// a server trickling a byte now and then cannot hold the unload; on Windows
// nothing waits for a check, and it has no effect.
void SetDownloadsAborted(bool aborted) noexcept;

}  // namespace gw
