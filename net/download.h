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

// Every download ends within this many seconds of its start, connect
// included: a server that keeps a transfer alive with a byte now and then
// must not hold a check, and CheckLock with it, for ever. The component's
// own time-outs (to connect, and without data) still apply within it.
constexpr int kDownloadDeadlineSeconds = 120;

// What a download that met the deadline, or was cancelled, ends with: the
// codes the platform's HTTP component gives for the same events.
constexpr HResult kEDownloadTimedOut = HResultFromWin32(12002);   // 0x80072EE2
constexpr HResult kEDownloadCancelled = HResultFromWin32(12017);  // 0x80072EF1

// The deadline in force: kDownloadDeadlineSeconds, unless a test has
// shortened it through the one seam that the tests declare for themselves.
int DownloadDeadlineSeconds();

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

// While set, downloads in progress end at once with kEDownloadCancelled, and
// new ones end so before they send anything. Set when the host exits
// (BKC_OnExit), and natively also when the library's unload has waited long
// enough for running checks; cleared whenever the library is loaded.
void SetDownloadsAborted(bool aborted) noexcept;
bool DownloadsAborted() noexcept;

}  // namespace gw
