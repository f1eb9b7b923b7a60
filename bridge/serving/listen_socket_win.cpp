#include "bridge/serving/listen_socket.h"

#include <winsock2.h>
#include <windows.h>

namespace gw::bridge {
namespace {

// Any other failure in Windows's own words, as UTF-8, or its number.
std::string SystemText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring wide(text != nullptr ? text : L"", n);
  LocalFree(text);
  while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L'.')) wide.pop_back();
  if (wide.empty()) return "Windows error " + std::to_string(code);
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace

void SetListeningOptions(boost::asio::ip::tcp::acceptor& acceptor, boost::system::error_code& ec) {
  using Exclusive = boost::asio::detail::socket_option::boolean<SOL_SOCKET, SO_EXCLUSIVEADDRUSE>;
  acceptor.set_option(Exclusive(true), ec);
}

// Winsock's texts come in the ANSI code page, not the log's UTF-8, and Wine
// has none ("Unknown error (10048)"): the failures met when listening are
// named here in the words the bridge uses on Linux. Windows answers a port
// that another program holds exclusively, or that it reserves itself, with
// "access denied" rather than "in use": that is said too.
std::string ListenErrorText(const boost::system::error_code& ec) {
  if (ec.category() != boost::system::system_category()) return ec.message();
  switch (ec.value()) {
    case WSAEADDRINUSE: return "Address already in use";
    case WSAEADDRNOTAVAIL: return "Cannot assign requested address";
    case WSAEACCES:
      return "Permission denied (another program holds the port exclusively, or Windows reserves it)";
    default: return SystemText(static_cast<DWORD>(ec.value()));
  }
}

}  // namespace gw::bridge
