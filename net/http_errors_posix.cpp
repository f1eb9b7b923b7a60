#include "net/http_errors_posix.h"

namespace gw {

HResult HResultFromCurl(CURLcode code) noexcept {
  using namespace http_error;
  switch (code) {
    case CURLE_OK: return kSOk;
    case CURLE_UNSUPPORTED_PROTOCOL: return kUnrecognizedScheme;
    case CURLE_URL_MALFORMAT: return kInvalidUrl;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST: return kNameNotResolved;
    case CURLE_COULDNT_CONNECT:
    case CURLE_INTERFACE_FAILED: return kCannotConnect;
    case CURLE_OPERATION_TIMEDOUT: return kTimeout;
    // The peer reset or closed the connection before the body was complete,
    // or closed it without any answer: "terminated abnormally" on Windows.
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING: return kConnectionReset;
    // Bytes arrived that do not form an HTTP response.
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3:
    case CURLE_PROXY: return kInvalidServerResponse;
    case CURLE_TOO_MANY_REDIRECTS: return kRedirectFailed;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS: return kSecureFailure;
    case CURLE_ABORTED_BY_CALLBACK: return kOperationCancelled;
    case CURLE_FILESIZE_EXCEEDED: return kEFileTooLarge;
    case CURLE_OUT_OF_MEMORY: return kEOutOfMemory;
    case CURLE_FAILED_INIT: return kInternal;
    default: return kEFail;
  }
}

HResult HResultFromTransfer(CURL* curl, CURLcode code) noexcept {
  if (code != CURLE_UNSUPPORTED_PROTOCOL) return HResultFromCurl(code);
  // The request went out and no status line came back: what came was not
  // HTTP. A refused redirect has the status of the redirecting response,
  // and an address of an unknown scheme sends no request at all.
  long status = 0, requestBytes = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_getinfo(curl, CURLINFO_REQUEST_SIZE, &requestBytes);
  return status == 0 && requestBytes > 0 ? http_error::kInvalidServerResponse : http_error::kUnrecognizedScheme;
}

}  // namespace gw
