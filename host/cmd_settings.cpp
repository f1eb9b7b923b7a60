// "settings": the user's settings key as regedit would show it.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "host/cli.h"
#include "net/password.h"
#include "settings/registry_file.h"
#include "settings/settings_store.h"

namespace gwhost {
namespace {

using gw::WideString;

const char16_t* const kTextSettings[] = {gw::setting::kInterval, gw::setting::kPercent, gw::setting::kMessages,
                                         gw::setting::kAddress,  gw::setting::kServer,  gw::setting::kUser,
                                         gw::setting::kPassword};
const char16_t* const kNumberSettings[] = {gw::setting::kPort, gw::setting::kPause, gw::setting::kLastDay,
                                           gw::setting::kLastHour, gw::setting::kCount};

template <size_t N>
bool IsOneOf(const WideString& name, const char16_t* const (&names)[N]) {
  for (auto* n : names) {
    if (name == n) return true;
  }
  return false;
}

std::string Hex(const std::string& bytes) {
  std::string out = "hex:";
  char b[4];
  for (unsigned char c : bytes) {
    std::snprintf(b, sizeof b, "%02x", c);
    out += b;
  }
  return out;
}

// Line breaks and tabs inside a text (the stored password ends in one) are
// shown escaped, so that every value stays on its own line.
std::string Printable(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else out += c;
  }
  return out;
}

std::string Format(const gw::RegistryEntry& e) {
  std::string name = gw::WideToUtf8(e.name);
  if (e.type == gw::kRegSz) {
    WideString text;
    for (size_t i = 0; i + 1 < e.data.size(); i += 2)
      text.push_back(static_cast<char16_t>(static_cast<unsigned char>(e.data[i]) |
                                           (static_cast<unsigned char>(e.data[i + 1]) << 8)));
    return name + " REG_SZ" + (text.empty() ? "" : " " + Printable(gw::WideToUtf8(text)));
  }
  if (e.type == gw::kRegDword && e.data.size() == 4) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(e.data[i]);
    return name + " REG_DWORD " + std::to_string(v);
  }
  std::string type = e.type == gw::kRegDword ? "REG_DWORD" : "REG_TYPE" + std::to_string(e.type);
  return name + " " + type + " " + Hex(e.data);
}

bool ParseNumber(const std::string& text, uint32_t* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno || *end || v < INT32_MIN || v > UINT32_MAX) return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

int Write(const Invocation& inv, const WideString& name, const std::string& value) {
  gw::SettingsStore store(gw::RegistryRoot::kCurrentUser, gw::kSettingsKeyPath);
  gw::HResult hr;
  if (IsOneOf(name, kNumberSettings)) {
    uint32_t number = 0;
    if (!ParseNumber(value, &number))
      return Fail(kExitUsage, "settings: " + gw::WideToUtf8(name) + " takes a whole number, not '" + value + "'");
    hr = store.SetDword(name, number);
  } else if (name == gw::setting::kPassword) {
    // Given in plain text; only the stored form is ever written.
    hr = store.SetString(name, gw::WideView(gw::ConvertPassword(gw::Utf8ToWide(value), gw::kPasswordEncode)));
  } else {
    hr = store.SetString(name, gw::WideView(gw::Utf8ToWide(value)));
  }
  if (gw::Failed(hr)) return Fail(kExitFailure, "settings: cannot write " + gw::WideToUtf8(name) +
                                                    ": the settings key in " + inv.profile.Registry() +
                                                    " cannot be opened");
  return kExitOk;
}

int PrintPlainPassword(const WideString& name) {
  if (name != gw::setting::kPassword) return Fail(kExitUsage, "settings: --plain applies to TUPassword only");
  gw::SettingsStore store(gw::RegistryRoot::kCurrentUser, gw::kSettingsKeyPath);
  std::cout << gw::WideToUtf8(gw::ConvertPassword(gw::TextOrEmpty(store.GetString(name)), gw::kPasswordDecode))
            << '\n';
  return kExitOk;
}

int RunSettings(const Invocation& inv) {
  if (inv.args.size() > 2) return Fail(kExitUsage, "settings: too many arguments (see settings --help)");
  std::vector<gw::RegistryEntry> entries;
  std::string error;
  if (inv.args.size() == 2 || inv.args.size() == 1) {
    WideString name = gw::Utf8ToWide(inv.args[0]);
    if (!IsOneOf(name, kTextSettings) && !IsOneOf(name, kNumberSettings))
      return Fail(kExitUsage, "settings: unknown setting '" + inv.args[0] + "' (see settings --help)");
    if (inv.args.size() == 2 && inv.args[1] == "--plain") return PrintPlainPassword(name);
    if (inv.args.size() == 2) return Write(inv, name, inv.args[1]);
  }
  if (!gw::ListRegistryValues(inv.profile.Registry(), gw::kSettingsKeyPath, &entries, &error))
    return Fail(kExitFailure, "settings: " + error);
  bool found = false;
  for (const auto& e : entries) {
    if (inv.args.empty() || e.name == gw::Utf8ToWide(inv.args[0])) {
      std::cout << Format(e) << '\n';
      found = true;
    }
  }
  if (!inv.args.empty() && !found) return Fail(kExitFailure, "settings: " + inv.args[0] + " is not set");
  return kExitOk;
}

}  // namespace

Command SettingsCommand() {
  return {"settings", "print or change the plug-in's settings",
          "usage: gridwren-host [--profile DIR] settings [NAME [VALUE]]\n"
          "       gridwren-host [--profile DIR] settings TUPassword --plain\n"
          "\n"
          "Without NAME, prints every value of the settings key, one per line, as\n"
          "NAME TYPE VALUE (TYPE is REG_SZ or REG_DWORD; an empty text prints nothing\n"
          "after the type). With NAME, prints that value; with NAME and VALUE, writes it.\n"
          "\n"
          "Texts:   TUInterval TUPercent TUMessages TUAddress TUServer TUUser TUPassword\n"
          "Numbers: TUPort TUPause TULastDay TULastHour TUCount\n"
          "\n"
          "TUPassword is given in plain text and stored in its stored form (the bytes\n"
          "scrambled, in Base64); it prints in that form, or decoded with --plain.\n"
          "Line breaks inside a text print as \\r and \\n.\n"
          "\n"
          "example: gridwren-host settings TUServer 127.0.0.1\n",
          true, RunSettings};
}

}  // namespace gwhost
