#include "bridge/upstream/winhttp_support.h"

#include <windows.h>
#include <winhttp.h>

namespace gw::bridge {

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string Narrow(const std::wstring& utf16) {
  if (utf16.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n, nullptr, nullptr);
  return out;
}

namespace {

// The failures a fetch meets in practice, in the words the log uses on
// every Windows version (the system's own texts vary, and Wine has none).
const char* Known(unsigned long error) {
  switch (error) {
    case ERROR_WINHTTP_TIMEOUT: return "timed out";
    case ERROR_WINHTTP_NAME_NOT_RESOLVED: return "could not resolve the host name";
    case ERROR_WINHTTP_CANNOT_CONNECT: return "cannot connect";
    case ERROR_WINHTTP_CONNECTION_ERROR: return "the connection was reset or closed";
    case ERROR_WINHTTP_SECURE_FAILURE: return "the server's certificate was not accepted";
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR: return "the TLS handshake failed";
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE: return "the server's answer was not valid HTTP";
    case ERROR_WINHTTP_OPERATION_CANCELLED: return "cancelled";
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME: return "not an http:// or https:// URL";
    case ERROR_WINHTTP_INVALID_URL: return "not a valid URL";
    default: return nullptr;
  }
}

}  // namespace

std::string WinHttpErrorText(unsigned long error) {
  const char* known = Known(error);
  std::string text = known != nullptr ? known : "failed";
  return text + " (WinHTTP error " + std::to_string(error) + ")";
}

}  // namespace gw::bridge
