#include "bridge/upstream/winhttp_exchange.h"

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <cstdlib>

#include "bridge/reading/operator_file.h"
#include "bridge/upstream/content_coding_win.h"
#include "bridge/upstream/winhttp_support.h"

namespace gw::bridge {
namespace {

constexpr DWORD kAbortCheckMs = 200;
// WinHTTP's last word on a handle, HANDLE_CLOSING, comes at once for a
// finished request; for one ended while it waits on the server it may come
// only when that wait times out (so under Wine). The fetch then goes on
// without it, and the callback frees the exchange's state when it comes.
constexpr DWORD kClosingWaitMs = 1000;
// The codings DecodeContent takes, offered as libcurl offers its own.
constexpr wchar_t kAcceptEncoding[] = L"Accept-Encoding: gzip, deflate";

// Shared with WinHTTP's callbacks, which run on its own threads until the
// handle's HANDLE_CLOSING: only then does the fetching thread read it.
struct Exchange {
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ExchangeResult result;
  std::string coding;  // the answer's Content-Encoding
  char buffer[16384];
  // Set by whichever comes second of HANDLE_CLOSING and the fetch giving
  // up its wait for it: that one frees the state.
  std::atomic<bool> released{false};
  ~Exchange() {
    CloseHandle(done);
    CloseHandle(closed);
  }
};

void Finish(Exchange* x) { SetEvent(x->done); }

void Fail(Exchange* x, DWORD error) {
  if (x->result.error == 0) x->result.error = error;
  Finish(x);
}

std::string HeaderOf(HINTERNET request, DWORD which) {
  wchar_t value[512];
  DWORD size = sizeof value;
  if (!WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, value, &size, WINHTTP_NO_HEADER_INDEX)) {
    return {};
  }
  return Narrow(std::wstring(value, size / sizeof(wchar_t)));
}

void ReadNext(HINTERNET request, Exchange* x) {
  if (!WinHttpReadData(request, x->buffer, sizeof x->buffer, nullptr)) Fail(x, GetLastError());
}

void OnHeaders(HINTERNET request, Exchange* x) {
  ExchangeResult& r = x->result;
  DWORD status = 0, size = sizeof status;
  WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                      &status, &size, WINHTTP_NO_HEADER_INDEX);
  r.status = static_cast<long>(status);
  r.answered = r.status != 200;  // a 200 is answered once its body is in
  if (r.answered) return Finish(x);
  // A length announced over the cap is refused before any of it is read.
  const std::string length = HeaderOf(request, WINHTTP_QUERY_CONTENT_LENGTH);
  const unsigned long long announced = length.empty() ? 0 : std::strtoull(length.c_str(), nullptr, 10);
  if (announced > kMaxOperatorFileBytes) {
    r.tooLarge = true;
    return Finish(x);
  }
  // Taken at its word, the length spares the doubling copies a growing
  // buffer makes.
  r.body.reserve(static_cast<size_t>(announced));
  r.etag = HeaderOf(request, WINHTTP_QUERY_ETAG);
  r.lastModified = HeaderOf(request, WINHTTP_QUERY_LAST_MODIFIED);
  x->coding = HeaderOf(request, WINHTTP_QUERY_CONTENT_ENCODING);
  ReadNext(request, x);
}

// The body is never buffered past the cap.
void OnRead(HINTERNET request, Exchange* x, DWORD got) {
  ExchangeResult& r = x->result;
  if (got == 0) {
    r.answered = true;
    return Finish(x);
  }
  if (r.body.size() + got > kMaxOperatorFileBytes) {
    r.tooLarge = true;
    return Finish(x);
  }
  r.body.append(x->buffer, got);
  ReadNext(request, x);
}

void CALLBACK OnStatus(HINTERNET request, DWORD_PTR context, DWORD status, void* info, DWORD length) {
  auto* x = reinterpret_cast<Exchange*>(context);
  if (x == nullptr) return;
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
      if (!WinHttpReceiveResponse(request, nullptr)) Fail(x, GetLastError());
      break;
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE: OnHeaders(request, x); break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE: OnRead(request, x, length); break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR: Fail(x, static_cast<WINHTTP_ASYNC_RESULT*>(info)->dwError); break;
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
      if (x->released.exchange(true)) {
        delete x;  // the fetch has gone on without waiting
      } else {
        SetEvent(x->closed);
      }
      break;
    default: break;
  }
}

// A whole 200 answer's body as the file it encodes.
void Decode(const std::string& coding, ExchangeResult* r) {
  if (!r->answered || r->status != 200 || r->tooLarge) return;
  switch (DecodeContent(coding, kMaxOperatorFileBytes, &r->body)) {
    case ContentDecoding::kDone: break;
    case ContentDecoding::kTooLarge: r->tooLarge = true; break;
    case ContentDecoding::kCorrupt: r->endedBy = "the file's gzip or deflate encoding is damaged"; break;
    case ContentDecoding::kUnknownCoding:
      r->endedBy = "the file came in a Content-Encoding other than gzip or deflate";
      break;
  }
}

// Waits for the exchange to end by itself, or says why it was ended.
const char* Await(Exchange* x, const std::atomic<bool>& aborted, std::chrono::seconds total) {
  const auto deadline = std::chrono::steady_clock::now() + total;
  while (WaitForSingleObject(x->done, kAbortCheckMs) == WAIT_TIMEOUT) {
    if (aborted.load()) return "abandoned: the bridge is stopping";
    if (std::chrono::steady_clock::now() > deadline) return "timed out: the whole fetch took too long";
  }
  return nullptr;
}

}  // namespace

ExchangeResult RunExchange(void* handle, const std::atomic<bool>& aborted, std::chrono::seconds total) {
  auto request = static_cast<HINTERNET>(handle);
  auto* x = new Exchange;
  DWORD_PTR context = reinterpret_cast<DWORD_PTR>(x);
  WinHttpSetOption(request, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context);
  WinHttpSetStatusCallback(request, OnStatus,
                           WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES, 0);
  const char* endedBy = nullptr;
  if (!WinHttpSendRequest(request, kAcceptEncoding, static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA, 0, 0, context)) {
    Fail(x, GetLastError());
  } else {
    endedBy = Await(x, aborted, total);
  }
  WinHttpCloseHandle(request);
  if (WaitForSingleObject(x->closed, kClosingWaitMs) != WAIT_OBJECT_0 && !x->released.exchange(true)) {
    ExchangeResult lost;
    lost.endedBy = endedBy != nullptr ? endedBy : "WinHTTP did not release the request";
    return lost;  // the closing callback frees x
  }
  WaitForSingleObject(x->closed, INFINITE);  // set at once after the exchange in the callback
  ExchangeResult result = std::move(x->result);
  const std::string coding = std::move(x->coding);
  delete x;
  if (endedBy != nullptr) {
    result.endedBy = endedBy;
  } else {
    Decode(coding, &result);
  }
  return result;
}

}  // namespace gw::bridge
