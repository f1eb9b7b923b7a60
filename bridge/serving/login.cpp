#include "bridge/serving/login.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "base/codepage.h"
#include "base/base64.h"

namespace gw::bridge {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool StartsWithBasic(std::string_view v) {
  static const char kScheme[] = "basic";
  if (v.size() < 6 || !IsBlank(v[5])) return false;
  for (size_t i = 0; i < 5; ++i) {
    if ((v[i] | 0x20) != kScheme[i]) return false;
  }
  return true;
}

}  // namespace

Login::Login(const std::string& user, const std::string& password) {
  const std::string pair = user + ":" + password;
  accepted_.push_back(pair);
  std::string cp932 = WideToCp932(Utf8ToWide(pair));
  if (cp932 != pair && cp932.find('?') == std::string::npos) accepted_.push_back(cp932);
}

bool Login::Accepts(std::string_view value) const {
  while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
  while (!value.empty() && IsBlank(value.back())) value.remove_suffix(1);
  if (!StartsWithBasic(value)) return false;
  value.remove_prefix(6);
  while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
  // Strictly decoded: the lenient MIME reading would skip junk between the
  // characters and after the padding, so that many different headers would
  // pass as the same login and a filter in front could not tell them apart.
  std::string pair;
  if (value.empty() || !gw::DecodeBase64Strict(value, &pair)) return false;
  // Every accepted form is compared, whichever matches, to keep the time
  // the same for every refusal.
  bool ok = false;
  for (const auto& accepted : accepted_) ok |= ConstantTimeEqual(pair, accepted);
  return ok;
}

// No early return at the first differing byte: the time of a refusal would
// then grow with the length of the right prefix, and a client could guess
// the password a byte at a time by timing refusals. Every byte is looked at
// and the differences are gathered with OR, so that only the lengths show.
// No functional test can see this; keep it so when touching this function.
bool ConstantTimeEqual(std::string_view a, std::string_view b) {
  unsigned char differ = a.size() == b.size() ? 0 : 1;
  size_t n = a.size() > b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
    unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
    differ |= static_cast<unsigned char>(x ^ y);
  }
  return differ == 0;
}

bool ReadPasswordFile(const std::string& path, std::string* password, std::string* error) {
  // UTF-8, as every option is: u8path gives Windows its UTF-16 form.
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  if (!in) {
    *error = "cannot read the password file " + path + ": " + std::strerror(errno);
    return false;
  }
  std::getline(in, *password);
  if (!password->empty() && password->back() == '\r') password->pop_back();
  if (password->empty()) {
    *error = "the password file " + path + " holds no password on its first line";
    return false;
  }
  return true;
}

}  // namespace gw::bridge
