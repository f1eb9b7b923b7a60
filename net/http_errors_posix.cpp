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

}  // namespace gw
