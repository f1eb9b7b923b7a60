// One request's exchange with WinHTTP, asynchronous so that it can be ended
// from outside at any moment: WinHTTP's blocking calls do not reliably
// return when their handle is closed from another thread (under Wine they
// never do), which would hold up a stopping bridge for the whole time-out.
#pragma once

#include <atomic>
#include <chrono>
#include <string>

namespace gw::bridge {

struct ExchangeResult {
  bool answered = false;        // headers arrived (and the body, for 200)
  unsigned long error = 0;      // WinHTTP's error when not answered
  const char* endedBy = nullptr;  // set when ended from outside: why
  bool tooLarge = false;        // the body passed the 2 MiB cap
  long status = 0;
  std::string body, etag, lastModified;  // of a 200 answer, the body decoded
};

// Sends `request` (a handle of an asynchronous session, owned and closed
// here) and reads its answer, body capped at 2 MiB. A body sent gzip- or
// deflate-encoded, which the request offers to take, is decoded, and the cap
// holds for what it decodes to. Ends it when `aborted` becomes true (within
// about 200 ms) or when `total` has passed.
ExchangeResult RunExchange(void* request, const std::atomic<bool>& aborted, std::chrono::seconds total);

}  // namespace gw::bridge
