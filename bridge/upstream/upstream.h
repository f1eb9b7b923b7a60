// The one connection to the operator: a conditional GET of the source file
// through libcurl natively and WinHTTP on Windows, HTTPS with the
// certificate checked. The object remembers
// the last accepted answer's validators (ETag, Last-Modified) so that an
// unchanged file costs the operator a 304 and no body.
#pragma once

#include <atomic>
#include <memory>
#include <string>

namespace gw::bridge {

struct Fetched {
  enum class Kind { kNew, kNotModified, kFailed } kind = Kind::kFailed;
  long status = 0;     // the HTTP status, 0 when none arrived
  std::string body;    // kNew: the file
  std::string error;   // kFailed: why, in one line
  double seconds = 0;  // how long the request took
  std::string etag, lastModified;  // kNew: the answer's validators
};

class Upstream {
 public:
  explicit Upstream(std::string url);
  ~Upstream();
  Upstream(const Upstream&) = delete;
  Upstream& operator=(const Upstream&) = delete;

  const std::string& url() const { return url_; }

  // Exactly one request (no redirects are followed: a moved file is a
  // failure to report, not extra requests to make).
  Fetched Fetch();

  // Sends these validators from the next fetch on: called once a fetched
  // file has been accepted, never for a file that was refused, so that a
  // refused file is fetched whole again rather than answered with 304.
  void Remember(const Fetched& accepted);

  // Ends a fetch in progress within about a second; for shutting down.
  void Abort() { aborted_.store(true); }

  struct Handle;  // the platform's own

 private:
  std::string url_;
  std::string etag_, lastModified_;
  std::atomic<bool> aborted_{false};
  std::unique_ptr<Handle> handle_;  // kept between fetches to reuse the connection
};

// The failure a 304 is when the fetch sent no validators: it says nothing
// of any file the bridge holds, so it is no good read.
extern const char kUnaskedNotModified[];

// Names the bridge in the operator's logs.
extern const char kBridgeUserAgent[];

}  // namespace gw::bridge
