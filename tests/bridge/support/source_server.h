// A stand-in for the operator's web server, inside the test process: one
// file at every path, with an ETag (304 for a matching If-None-Match) or,
// as some servers do, only a Last-Modified (304 for a matching
// If-Modified-Since), both, or neither; a count of every request it
// received, and the conditions the last one carried.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace gwtest {

class SourceServer {
 public:
  SourceServer();
  ~SourceServer();
  SourceServer(const SourceServer&) = delete;
  SourceServer& operator=(const SourceServer&) = delete;

  // Serves these bytes from now on, with `status` and a new ETag.
  void Serve(std::string body, int status = 200);
  // Answers requests whose path ends with `suffix` (one day's file of a
  // dated source, say) with these instead, whole and without validators.
  void ServeAt(const std::string& suffix, std::string body, int status = 200);
  // Holds every answer back this long, so that requests could pile up.
  void SetDelayMs(int ms) { delayMs_ = ms; }
  // Sends only a Last-Modified and no ETag from now on.
  void SetLastModifiedOnly() { SetValidators(false, true); }
  // Which validators the answers carry from now on: an ETag alone by
  // default; both, as most servers send; or none, so that every request is
  // answered whole with 200.
  void SetValidators(bool etag, bool lastModified) {
    sendEtag_ = etag;
    sendLastModified_ = lastModified;
  }

  std::string Url() const;
  int Requests() const { return requests_.load(); }
  int NotModified() const { return notModified_.load(); }
  std::string LastUserAgent() const;
  std::string LastTarget() const;  // the path of the last request
  // The last request's If-None-Match and If-Modified-Since; empty if absent.
  std::string LastIfNoneMatch() const;
  std::string LastIfModifiedSince() const;

 private:
  void Loop();

  struct Listener;  // Asio's, so that the same server runs on Windows
  std::unique_ptr<Listener> listener_;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> requests_{0}, notModified_{0}, delayMs_{0};
  std::atomic<bool> sendEtag_{true}, sendLastModified_{false};
  mutable std::mutex mutex_;
  std::string body_, etag_, lastModified_, userAgent_, target_, ifNoneMatch_, ifModifiedSince_;
  int status_ = 404;
  std::map<std::string, std::pair<std::string, int>> byPath_;  // path suffix -> body, status
  std::thread thread_;
};

}  // namespace gwtest
