// The two limits of a download, under Wine with the ServerXMLHTTP double:
// a server that trickles a byte at a time is aborted at the total deadline
// with 0x80072EE2, and a body announced over the 32 MiB cap is refused at
// its headers with 0x800700DF, aborted before any of it has come. The
// plug-in's download code runs here compiled into the test host, the same
// source as the DLL's, so that the deadline can be shortened through the
// one seam that only tests declare; the DLL keeps its two minutes.
#include <windows.h>
#include <objbase.h>

#include <string>

#include "harness/online_check.h"
#include "harness/test_case.h"
#include "harness/xhr_double.h"
#include "hostapi/host_api.h"
#include "net/download.h"
#include "settings/settings_store.h"

namespace gw {
void SetDownloadDeadlineForTesting(int seconds);
}  // namespace gw

namespace gwtest {
namespace {

constexpr int kShortDeadlineSeconds = 3;

struct Download {
  std::string url;
  std::wstring file;
  HRESULT result = E_PENDING;
};

// A thread of its own, with its own apartment, as a check has.
DWORD WINAPI RunDownload(void* param) {
  auto* download = static_cast<Download*>(param);
  CoInitialize(nullptr);
  RegisterXhrClassesHere();
  gw::SettingsStore settings(gw::RegistryRoot::kCurrentUser, gw::kSettingsKeyPath);
  std::u16string file(download->file.begin(), download->file.end());
  download->result = gw::DownloadToFile(gw::Utf8ToWide(download->url), file, settings);
  CoUninitialize();
  return 0;
}

HRESULT Fetch(const std::string& url, const std::wstring& file) {
  Download download{url, file};
  HANDLE thread = CreateThread(nullptr, 0, RunDownload, &download, 0, nullptr);
  Require(thread != nullptr, "cannot start the download's thread");
  DWORD waited = WaitForSingleObject(thread, 60000);
  CloseHandle(thread);
  Require(waited == WAIT_OBJECT_0, "the download of " + url + " did not end within 60 s");
  return download.result;
}

std::string Hex(HRESULT hr) {
  char text[16];
  wsprintfA(text, "0x%08lx", static_cast<unsigned long>(hr));
  return text;
}

// One download and the one request object it made, checked against what
// the plug-in must have done with it.
XhrObject Expect(const std::string& url, const std::wstring& file, HRESULT expected, uint16_t port) {
  InstallXhrDouble({XhrClass::kFull, XhrClass::kWines, XhrClass::kWines, XhrClass::kWines});
  HRESULT result = Fetch(url, file);
  Require(result == expected, url + " ended with " + Hex(result) + ", not " + Hex(expected));
  XhrRecord xhr = XhrSnapshot();
  Require(xhr.objects.size() == 1, url + ": " + std::to_string(xhr.objects.size()) + " request objects");
  const XhrObject& request = xhr.objects[0];
  Require(request.aborted && request.released, url + ": the request was not aborted and released");
  std::string mismatch =
      XhrCallsMismatch(request.calls, ProxyText(port), url, kProxyUser, kProxyPassword, XhrEnding::kAbortedLate);
  Require(mismatch.empty(), url + ": " + mismatch);
  return request;
}

}  // namespace

void CaseDownloadLimits(TestEnv& env) {
  uint16_t port = FeedServerPort(kSlowFeedPortVariable);
  Require(gw::BindHostApi(), "the download code cannot bind this host's functions");
  PresetOnline(port);
  const std::wstring file(env.tempFolder.begin(), env.tempFolder.end());
  Require(gw::DownloadDeadlineSeconds() == gw::kDownloadDeadlineSeconds, "the deadline was changed before the test");

  gw::SetDownloadDeadlineForTesting(kShortDeadlineSeconds);
  XhrObject trickle = Expect(kTricklePath, file + L"trickle.bin", gw::kEDownloadTimedOut, port);
  gw::SetDownloadDeadlineForTesting(gw::kDownloadDeadlineSeconds);
  Require(trickle.bodyAtAbort > 0, "the trickle sent nothing: the deadline was not what ended it");

  XhrObject announced = Expect(kAnnouncedPath, file + L"announced.bin", gw::kEFileTooLarge, port);
  Require(announced.bodyAtAbort == 0, "the refused body had been taken in");
  Require(GetFileAttributesW((file + L"announced.bin").c_str()) == INVALID_FILE_ATTRIBUTES,
          "the refused body reached the disk");
}

}  // namespace gwtest
