// libcurl's failures in the form a Windows user of the plug-in would see for
// the same cause from the platform's HTTP component (WinHTTP error numbers
// as HRESULTs), so that both builds report one set of codes.
#pragma once

#include <curl/curl.h>

#include "base/hresult.h"

namespace gw {

// WinHTTP error numbers as HRESULTs (FACILITY_WIN32, 0x8007xxxx).
namespace http_error {
constexpr HResult kTimeout = HResultFromWin32(12002);                // 0x80072EE2
constexpr HResult kInternal = HResultFromWin32(12004);               // 0x80072EE4
constexpr HResult kInvalidUrl = HResultFromWin32(12005);             // 0x80072EE5
constexpr HResult kUnrecognizedScheme = HResultFromWin32(12006);     // 0x80072EE6
constexpr HResult kNameNotResolved = HResultFromWin32(12007);        // 0x80072EE7
constexpr HResult kOperationCancelled = HResultFromWin32(12017);     // 0x80072EF1
constexpr HResult kCannotConnect = HResultFromWin32(12029);          // 0x80072EFD
constexpr HResult kConnectionError = HResultFromWin32(12030);        // 0x80072EFE
constexpr HResult kConnectionReset = HResultFromWin32(12031);        // 0x80072EFF
constexpr HResult kInvalidServerResponse = HResultFromWin32(12152);  // 0x80072F78
constexpr HResult kRedirectFailed = HResultFromWin32(12156);         // 0x80072F7C
constexpr HResult kSecureFailure = HResultFromWin32(12175);          // 0x80072F8F
}  // namespace http_error

// The one place where a CURLcode becomes a result code. CURLE_OK is S_OK;
// every failure is negative; codes without a closer match become E_FAIL.
HResult HResultFromCurl(CURLcode code) noexcept;

// The code for how a transfer on `curl` ended, telling apart what the
// CURLcode alone does not: libcurl reports bytes that form no HTTP response
// at all (another protocol's greeting on the proxy's port) as an unsupported
// protocol, just as it reports a redirect to a scheme it does not follow.
HResult HResultFromTransfer(CURL* curl, CURLcode code) noexcept;

}  // namespace gw
