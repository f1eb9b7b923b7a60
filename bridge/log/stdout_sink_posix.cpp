#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "bridge/log/log_sink.h"

namespace gw::bridge {
namespace {

// write(2) on descriptor 1, not stdio: a writer stuck in a blocking write
// then holds no lock that exit() would wait for, so the process can end
// while its log's reader sleeps.
class StandardOutputSink final : public LogSink {
 public:
  void Write(std::string_view lines) override {
    while (!lines.empty()) {
      ssize_t n = ::write(STDOUT_FILENO, lines.data(), lines.size());
      if (n > 0) {
        lines.remove_prefix(static_cast<size_t>(n));
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        // Standard output left non-blocking by whoever started us.
        pollfd out{STDOUT_FILENO, POLLOUT, 0};
        ::poll(&out, 1, 100);
      } else if (n == 0 || errno != EINTR) {
        return;  // closed or broken: these lines are lost
      }
    }
  }
  void Flush() override {}
};

}  // namespace

std::unique_ptr<LogSink> MakeStandardOutputSink() { return std::make_unique<StandardOutputSink>(); }

}  // namespace gw::bridge
