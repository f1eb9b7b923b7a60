// Small conversions the WinHTTP side needs: UTF-8 to and from the system's
// UTF-16, and a WinHTTP failure in words.
#pragma once

#include <string>

namespace gw::bridge {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);

// "cannot connect (WinHTTP error 12029)", for the log and /metrics.
std::string WinHttpErrorText(unsigned long error);

}  // namespace gw::bridge
