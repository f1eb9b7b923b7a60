// A plain HTTP/1.1 client over a real socket, for talking to the bridge the
// way the plug-in and other clients do, or the way no client should.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace gwtest {

struct HttpAnswer {
  int status = 0;                              // 0: no answer (closed, timed out)
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
};

// A connected socket to 127.0.0.1:port that closes itself; reads give up
// after `timeoutSeconds`. `from` is the local address to connect from (e.g.
// 127.0.0.2, to be another client); empty: the system's choice.
class Connection {
 public:
  explicit Connection(int port, int timeoutSeconds = 15, const std::string& from = "");
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool Send(const std::string& bytes);
  // Reads one answer (without a body for `head`).
  HttpAnswer Receive(bool head = false);
  // True when the server has closed the connection (reads end of stream).
  bool ClosedByServer();
  // True when the server ended the connection, orderly or with a reset
  // (false when a read only timed out).
  bool EndedByServer();
  // Ends our side and waits (within the read timeout) for the connection to
  // be over; true when it ended without a reset. A reset can destroy an
  // answer the client has not read yet (it does on Windows).
  bool EndsWithoutReset();

 private:
  int fd_ = -1;
  std::string pending_;  // bytes read past the last answer
};

// "Basic <base64 of user:password>", as a client sends a login.
std::string BasicCredentials(const std::string& pair);

// One request on a new connection: GET `target` with these header lines.
HttpAnswer Get(int port, const std::string& target, const std::vector<std::string>& headers = {});

}  // namespace gwtest
