// The native download: libcurl in place of ServerXMLHTTP, with the same
// proxy rules, the Windows component's default time-outs, the same total
// deadline and its failure codes, so that a check behaves alike in both
// builds.
#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "net/download.h"
#include "net/file_stream.h"
#include "net/http_errors_posix.h"

namespace gw {
namespace {

// ServerXMLHTTP's defaults: 60 s to connect, then 30 s without data while
// sending or receiving. A slow transfer is fine as long as data keeps coming.
constexpr long kConnectTimeoutSeconds = 60;
std::atomic<int> g_stallSeconds{30};
// WinHTTP follows up to ten redirects by itself.
constexpr long kMaxRedirects = 10;
// Identifies the plug-in in proxy and server logs. The Windows component
// sends a User-Agent of its own, and some proxies refuse requests that carry
// none, so the native request keeps that shape rather than going without.
constexpr char kUserAgent[] = "Gridwren";

// libcurl's global set-up is not thread-safe and must happen once, before
// the first handle; checks run on worker threads.
HResult InitCurlOnce() {
  static std::once_flag once;
  static CURLcode result = CURLE_FAILED_INIT;
  std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
  return HResultFromCurl(result);
}

// Connections kept open between downloads, as the Windows component keeps
// them: a check fetches three documents through the same proxy, and each
// would otherwise pay for a connection of its own. Every download still
// builds its request from the settings as they are at that moment; libcurl
// reuses a connection only for the same proxy or server, and drops one that
// has been idle for two minutes or that the other side has closed.
class ConnectionCache {
 public:
  ConnectionCache() : share_(curl_share_init()) {
    if (!share_) return;
    curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, Lock);
    curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, Unlock);
    curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
  }
  ~ConnectionCache() { curl_share_cleanup(share_); }
  ConnectionCache(const ConnectionCache&) = delete;
  ConnectionCache& operator=(const ConnectionCache&) = delete;

  // Null when it could not be set up; downloads then connect anew each time.
  CURLSH* get() const { return share_; }

 private:
  // One mutex per kind of shared data, since libcurl may hold one kind while
  // it takes another.
  static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<ConnectionCache*>(self)->mutexes_[data].lock();
  }
  static void Unlock(CURL*, curl_lock_data data, void* self) {
    static_cast<ConnectionCache*>(self)->mutexes_[data].unlock();
  }

  std::mutex mutexes_[CURL_LOCK_DATA_LAST];
  CURLSH* share_;
};

// Closed when the library unloads, after its checks have ended.
CURLSH* KeptConnections() {
  static ConnectionCache cache;
  return cache.get();
}

struct EasyDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;

// Where the body goes. The file is created when the response starts to
// arrive, as the component opens it only after the request has succeeded, so
// a failed request reports the network's code and leaves no file. A failure
// here keeps its own code (a full disk, the size cap) instead of libcurl's
// generic write error.
struct BodySink {
  BodySink(const WideString& destination, CURL* handle) : path(destination), curl(handle) {}

  const WideString& path;
  CURL* curl;
  std::unique_ptr<FileStream> file;
  uint64_t received = 0;
  HResult error = kSOk;
  // When data last moved, for the time-out without data.
  std::chrono::steady_clock::time_point lastData = std::chrono::steady_clock::now();
  curl_off_t lastDown = -1, lastUp = -1;

  bool Open() {
    if (!file) file = CreateFileForWriting(path, &error);
    return file != nullptr;
  }
};

size_t WriteBody(char* data, size_t size, size_t count, void* context) {
  auto* sink = static_cast<BodySink*>(context);
  size_t bytes = size * count;
  if (bytes > kMaxDownloadBytes - sink->received) {
    sink->error = kEFileTooLarge;
    return 0;
  }
  if (!sink->Open()) return 0;
  sink->received += bytes;
  sink->error = sink->file->Write(data, static_cast<uint32_t>(bytes));
  return Failed(sink->error) ? 0 : bytes;
}

// Called about once a second even while nothing arrives. Ends the transfer
// when downloads are cancelled (the host exits, the library unloads), or
// when no data has moved for the time-out once the connection stands (until
// then the connect time-out applies).
int WatchTransfer(void* context, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up) {
  auto* sink = static_cast<BodySink*>(context);
  if (DownloadsAborted()) {
    sink->error = kEDownloadCancelled;
    return 1;
  }
  const auto now = std::chrono::steady_clock::now();
  // A kept connection is never connected anew, so for it the request's
  // start tells that it stands.
  curl_off_t connected = 0, started = 0;
  curl_easy_getinfo(sink->curl, CURLINFO_CONNECT_TIME_T, &connected);
  curl_easy_getinfo(sink->curl, CURLINFO_PRETRANSFER_TIME_T, &started);
  if ((connected == 0 && started == 0) || down != sink->lastDown || up != sink->lastUp) {
    sink->lastData = now;
    sink->lastDown = down;
    sink->lastUp = up;
    return 0;
  }
  if (now - sink->lastData < std::chrono::seconds(g_stallSeconds.load())) return 0;
  sink->error = HResultFromCurl(CURLE_OPERATION_TIMEDOUT);
  return 1;
}

template <typename T>
void Set(CURL* curl, CURLoption option, T value) {
  ThrowIfFailed(HResultFromCurl(curl_easy_setopt(curl, option, value)));
}

void SetTransfer(CURL* curl, const std::string& url, BodySink* sink) {
  Set(curl, CURLOPT_NOSIGNAL, 1L);
  Set(curl, CURLOPT_URL, url.c_str());
  Set(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  Set(curl, CURLOPT_HTTPGET, 1L);
  Set(curl, CURLOPT_USERAGENT, kUserAgent);
  Set(curl, CURLOPT_FOLLOWLOCATION, 1L);
  Set(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
  Set(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  Set(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  // The whole transfer, connect included, whatever trickles in.
  Set(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(DownloadDeadlineSeconds()) * 1000L);
  // A body announced larger than the cap is refused before any of it is
  // taken; one that does not announce its length meets WriteBody's cap.
  Set(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxDownloadBytes));
  Set(curl, CURLOPT_WRITEFUNCTION, WriteBody);
  Set(curl, CURLOPT_WRITEDATA, static_cast<void*>(sink));
  Set(curl, CURLOPT_XFERINFOFUNCTION, WatchTransfer);
  Set(curl, CURLOPT_XFERINFODATA, static_cast<void*>(sink));
  Set(curl, CURLOPT_NOPROGRESS, 0L);
}

// Only the plug-in's own settings choose a proxy: an empty proxy text and an
// empty exception list keep libcurl from taking one from http_proxy,
// no_proxy and the like. libcurl copies every text it is given.
void SetProxy(CURL* curl, const SettingsStore& settings) {
  auto server = ReadProxyServer(settings);
  Set(curl, CURLOPT_PROXY, server ? WideToUtf8(*server).c_str() : "");
  Set(curl, CURLOPT_NOPROXY, "");
  Set(curl, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
}

// Credentials are set whenever both are there, with or without a server,
// and offered for whichever scheme the proxy asks for.
void SetProxyCredentials(CURL* curl, const SettingsStore& settings) {
  auto credentials = ReadProxyCredentials(settings);
  if (!credentials) return;
  Set(curl, CURLOPT_PROXYUSERNAME, WideToNarrow(credentials->user).c_str());
  Set(curl, CURLOPT_PROXYPASSWORD, WideToNarrow(credentials->password).c_str());
  Set(curl, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_ANY));
}

}  // namespace

HResult Download(WideView url, const WideString& path, const SettingsStore& settings) {
  ThrowIfFailed(InitCurlOnce());
  Easy curl(curl_easy_init());
  if (!curl) throw HResultError(kEOutOfMemory);

  BodySink sink(path, curl.get());
  if (CURLSH* kept = KeptConnections()) Set(curl.get(), CURLOPT_SHARE, kept);
  SetTransfer(curl.get(), WideToUtf8(url), &sink);
  SetProxy(curl.get(), settings);
  SetProxyCredentials(curl.get(), settings);
  CURLcode code = curl_easy_perform(curl.get());
  if (Failed(sink.error)) return sink.error;
  if (code != CURLE_OK) return HResultFromTransfer(curl.get(), code);
  // An empty body still leaves an empty file, created or truncated.
  return sink.Open() ? kSOk : sink.error;
}

void SetStallSecondsForTesting(int seconds) { g_stallSeconds.store(seconds); }

}  // namespace gw
