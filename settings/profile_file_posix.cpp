// A small reader with the same rules as the Windows profile functions: the
// file is text in the system code page, section and key names match without
// regard to case, blanks around names and values are dropped, and a value in
// matching quotes loses them. The first matching key of the first matching
// section wins.
#include "settings/profile_file.h"

#include <fstream>
#include <sstream>

namespace gw {
namespace {

std::string Trim(const std::string& s) {
  const char* blanks = " \t\r\n";
  size_t b = s.find_first_not_of(blanks);
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(blanks);
  return s.substr(b, e - b + 1);
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string Unquote(const std::string& v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

}  // namespace

WideString ReadProfileString(WideView section, WideView key, WideView defaultValue, WideView file) {
  std::ifstream in(WideToNarrow(file), std::ios::binary);
  if (!in) return WideString(defaultValue);
  const std::string wantSection = WideToNarrow(section), wantKey = WideToNarrow(key);
  bool inSection = false;
  std::string line;
  while (std::getline(in, line)) {
    std::string t = Trim(line);
    if (t.empty() || t[0] == ';') continue;
    if (t[0] == '[') {
      size_t close = t.find(']');
      inSection = close != std::string::npos && SameName(Trim(t.substr(1, close - 1)), wantSection);
      continue;
    }
    size_t eq = t.find('=');
    if (inSection && eq != std::string::npos && SameName(Trim(t.substr(0, eq)), wantKey))
      return NarrowToWide(Unquote(Trim(t.substr(eq + 1))));
  }
  return WideString(defaultValue);
}

}  // namespace gw
