// The bridge's log as a test reads it: while one of these lives, every line
// logged in the process is kept in memory instead of going to standard
// output.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace gwtest {

class CapturedLog {
 public:
  CapturedLog();
  ~CapturedLog();  // the log goes back to standard output
  CapturedLog(const CapturedLog&) = delete;
  CapturedLog& operator=(const CapturedLog&) = delete;

  // The first whole line written that holds `text`, with its '\n', once the
  // log's writer has written it; empty when none came within 20 seconds.
  std::string AwaitLine(const std::string& text);

  struct Lines;

 private:
  std::shared_ptr<Lines> lines_;  // shared with the sink, which the log's writer destroys
};

// The notices the bridge gives while one of these lives, as the Event Log
// would get them on Windows: "warning LINE" for an alarm, "information LINE"
// for the rest.
class CapturedNotices {
 public:
  CapturedNotices();
  ~CapturedNotices();
  CapturedNotices(const CapturedNotices&) = delete;
  CapturedNotices& operator=(const CapturedNotices&) = delete;

  // The notices given since the last call.
  std::vector<std::string> Take();

 private:
  std::mutex lock_;
  std::vector<std::string> lines_;
};

}  // namespace gwtest
