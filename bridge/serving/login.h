// The optional Basic login that keeps an office's bridge to itself. Plug-ins
// send it as proxy credentials (Proxy-Authorization), browsers and curl as
// server credentials (Authorization); both carry the same user and password.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace gw::bridge {

class Login {
 public:
  Login(const std::string& user, const std::string& password);

  // True when `headerValue` is "Basic <base64 of user:password>". The pair is
  // compared in time that does not depend on where it differs, so that a
  // client cannot find the password a byte at a time by timing refusals.
  bool Accepts(std::string_view headerValue) const;

 private:
  // The pair as UTF-8, and as CP932 where it differs: the plug-in sends its
  // settings in the Windows code page, other clients in UTF-8.
  std::vector<std::string> accepted_;
};

// Equal contents, in time that depends only on the lengths.
bool ConstantTimeEqual(std::string_view a, std::string_view b);

// Reads the password: the first line of the file, without its line break.
// Returns false and names the cause in `error` when it cannot.
bool ReadPasswordFile(const std::string& path, std::string* password, std::string* error);

}  // namespace gw::bridge
