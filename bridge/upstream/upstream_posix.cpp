#include "bridge/upstream/upstream.h"

#include <curl/curl.h>

#include <chrono>
#include <mutex>
#include <stdexcept>

#include "bridge/reading/operator_file.h"

namespace gw::bridge {

const char kBridgeUserAgent[] = "gridwren-bridge/1.1 (Gridwren usage bridge; one request per refresh)";
const char kUnaskedNotModified[] =
    "the source answered 304 Not Modified to a request without validators: it sent no file to read";

namespace {

constexpr long kConnectTimeoutSeconds = 20;
constexpr long kTotalTimeoutSeconds = 60;

struct Transfer {
  std::string body;
  std::string etag, lastModified;
  bool tooLarge = false;
  const std::atomic<bool>* aborted = nullptr;
  CURL* curl = nullptr;
};

size_t OnBody(char* data, size_t size, size_t count, void* context) {
  auto* t = static_cast<Transfer*>(context);
  size_t bytes = size * count;
  // The file has no business being this large: stop reading, never buffer it.
  if (t->body.size() + bytes > kMaxOperatorFileBytes) {
    t->tooLarge = true;
    return 0;
  }
  // The body's announced length, taken once, spares the doubling copies a
  // growing buffer makes: each area's poller holds at most one file.
  curl_off_t announced = -1;
  if (t->body.empty() && curl_easy_getinfo(t->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
      announced > 0 && announced <= static_cast<curl_off_t>(kMaxOperatorFileBytes)) {
    t->body.reserve(static_cast<size_t>(announced));
  }
  t->body.append(data, bytes);
  return bytes;
}

std::string HeaderValue(std::string_view line, std::string_view name) {
  if (line.size() <= name.size() || line[name.size()] != ':') return {};
  for (size_t i = 0; i < name.size(); ++i) {
    if ((line[i] | 0x20) != (name[i] | 0x20)) return {};
  }
  std::string_view v = line.substr(name.size() + 1);
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
  while (!v.empty() && (v.back() == '\r' || v.back() == '\n' || v.back() == ' ')) v.remove_suffix(1);
  return std::string(v);
}

size_t OnHeader(char* data, size_t size, size_t count, void* context) {
  auto* t = static_cast<Transfer*>(context);
  std::string_view line(data, size * count);
  if (auto v = HeaderValue(line, "etag"); !v.empty()) t->etag = v;
  if (auto v = HeaderValue(line, "last-modified"); !v.empty()) t->lastModified = v;
  return size * count;
}

int OnProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<Transfer*>(context)->aborted->load() ? 1 : 0;
}

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) throw std::runtime_error("curl_global_init failed");
  });
}

struct SList {
  curl_slist* list = nullptr;
  ~SList() { curl_slist_free_all(list); }
  void Add(const std::string& line) { list = curl_slist_append(list, line.c_str()); }
};

}  // namespace

struct Upstream::Handle {
  CURL* curl = curl_easy_init();
  ~Handle() { curl_easy_cleanup(curl); }
};

Upstream::Upstream(std::string url) : url_(std::move(url)) {
  InitCurlOnce();
  handle_ = std::make_unique<Handle>();
  if (handle_->curl == nullptr) throw std::runtime_error("curl_easy_init failed");
}

Upstream::~Upstream() = default;

void Upstream::Remember(const Fetched& accepted) {
  etag_ = accepted.etag;
  lastModified_ = accepted.lastModified;
}

namespace {

// Everything a fetch sets, from a reset handle: nothing of the last fetch
// carries over but the connection.
void SetRequest(CURL* c, const std::string& url, Transfer* t, curl_slist* headers, char* error) {
  curl_easy_reset(c);
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(c, CURLOPT_USERAGENT, kBridgeUserAgent);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  curl_easy_setopt(c, CURLOPT_TIMEOUT, kTotalTimeoutSeconds);
  curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxOperatorFileBytes));
  curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, "");  // whatever libcurl can decode
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, t);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, t);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, t);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
}

// Only a whole 200 answer is a new file, and a 304 an unchanged one only
// when this fetch sent validators for it to answer; everything else says
// why not.
void Judge(CURLcode code, const char* error, bool validatorsSent, Transfer* t, Fetched* f) {
  if (t->aborted->load()) {
    f->error = "abandoned: the bridge is stopping";
  } else if (t->tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
    f->error = "the file is larger than 2 MiB";
  } else if (code != CURLE_OK) {
    f->error = std::string(curl_easy_strerror(code)) + (*error ? std::string(": ") + error : "");
  } else if (f->status == 304) {
    if (validatorsSent) f->kind = Fetched::Kind::kNotModified;
    else f->error = kUnaskedNotModified;
  } else if (f->status != 200) {
    f->error = "the source answered HTTP " + std::to_string(f->status);
  } else {
    f->kind = Fetched::Kind::kNew;
    f->body = std::move(t->body);
    f->etag = std::move(t->etag);
    f->lastModified = std::move(t->lastModified);
  }
}

}  // namespace

Fetched Upstream::Fetch() {
  Transfer t;
  t.aborted = &aborted_;
  t.curl = handle_->curl;
  SList headers;
  if (!etag_.empty()) headers.Add("If-None-Match: " + etag_);
  if (!lastModified_.empty()) headers.Add("If-Modified-Since: " + lastModified_);
  char error[CURL_ERROR_SIZE] = "";
  SetRequest(handle_->curl, url_, &t, headers.list, error);
  const auto start = std::chrono::steady_clock::now();
  CURLcode code = curl_easy_perform(handle_->curl);
  Fetched f;
  f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  curl_easy_getinfo(handle_->curl, CURLINFO_RESPONSE_CODE, &f.status);
  Judge(code, error, headers.list != nullptr, &t, &f);
  return f;
}

}  // namespace gw::bridge
