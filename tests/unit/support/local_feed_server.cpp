#include "support/local_feed_server.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace gwtest {
namespace {

// One member of a log line as json.dumps writes it: a string or null.
std::optional<std::string> JsonMember(const std::string& line, const std::string& name) {
  std::string key = "\"" + name + "\": \"";
  size_t at = line.find(key);
  if (at == std::string::npos) return std::nullopt;
  std::string value;
  for (size_t i = at + key.size(); i < line.size() && line[i] != '"'; ++i) {
    if (line[i] == '\\') ++i;
    value += line[i];
  }
  return value;
}

}  // namespace

LocalFeedServer::LocalFeedServer(const std::vector<std::string>& faults, const std::vector<std::string>& options) {
  logFile_ = scratch_.path() + "/requests.log";
  std::vector<std::string> args = {"python3", GW_SOURCE_DIR "/tools/feed_server.py", "--port", "0",
                                   "--log", logFile_};
  for (const auto& fault : faults) args.insert(args.end(), {"--fault", fault});
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv;  // built before fork: the child only execs
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out[2];
  if (pipe(out) != 0 || (pid_ = fork()) < 0) throw std::runtime_error("cannot start the feed server");
  if (pid_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  // The first line is "port=N" once it listens; a server that cannot start
  // exits, which ends the pipe.
  FILE* stream = fdopen(out[0], "r");
  if (!stream || fscanf(stream, "port=%d", &port_) != 1) port_ = 0;
  stream ? fclose(stream) : close(out[0]);
  if (port_ == 0) {
    Stop();
    throw std::runtime_error("the feed server did not start");
  }
}

LocalFeedServer::~LocalFeedServer() { Stop(); }

// The server ends cleanly on SIGTERM, even while requests hang, within a
// fraction of a second. One that has not ended after ten is killed and named,
// so that a stuck server costs its test seconds, not the runner's time-out.
void LocalFeedServer::Stop() noexcept {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  pid_t ended = 0;
  for (int step = 0; step < 1000 && (ended = waitpid(pid_, nullptr, WNOHANG)) == 0; ++step) usleep(10'000);
  if (ended == 0) {
    std::fprintf(stderr, "the feed server (pid %d) did not stop on SIGTERM within 10 s; killed\n", static_cast<int>(pid_));
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
}

std::vector<LoggedRequest> LocalFeedServer::Requests() const {
  std::vector<LoggedRequest> requests;
  std::ifstream in(logFile_);
  for (std::string line; std::getline(in, line);) {
    requests.push_back({JsonMember(line, "target").value_or(""), JsonMember(line, "proxy_authorization"),
                        JsonMember(line, "client").value_or("")});
  }
  return requests;
}

int UnusedLocalPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  bool bound = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
               getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0;
  if (fd >= 0) close(fd);
  if (!bound) throw std::runtime_error("no free port");
  return ntohs(address.sin_port);
}

}  // namespace gwtest
