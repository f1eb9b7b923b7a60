// The download through MSXML ServerXMLHTTP: an asynchronous GET with the
// plug-in's proxy settings, waited for in steps until the total deadline,
// whose response stream is then copied into the file.
#include <windows.h>
#include <ole2.h>
#include <msxml2.h>

#include <memory>

#include "base/com_win.h"
#include "net/download.h"
#include "net/file_stream.h"

namespace gw {
namespace {

// The identifiers are spelled out here so that the plug-in depends on no
// import library for them.
constexpr CLSID kServerXmlHttpClasses[] = {
    // ServerXMLHTTP 6.0, 4.0, 3.0 and the version-independent class, newest
    // first.
    {0x88D96A0B, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}},
    {0x88D969C6, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}},
    {0xAFB40FFD, 0xB609, 0x40A3, {0x98, 0x28, 0xF8, 0x8B, 0xBE, 0x11, 0xE4, 0xE3}},
    {0xAFBA6B42, 0x5692, 0x48EA, {0x81, 0x41, 0xDC, 0x51, 0x7D, 0xCF, 0x0E, 0xF1}},
};
constexpr IID kIidServerXmlHttpRequest2 = {
    0x2E01311B, 0xC322, 0x4B0A, {0xBD, 0x77, 0xB9, 0x0C, 0xFD, 0xC8, 0xDC, 0xE7}};
constexpr IID kIidUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIidStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// The body is copied in pieces of this size.
constexpr ULONG kCopyBufferBytes = 100;

// One wait for the response, in seconds (the unit waitForResponse takes):
// short, so that the deadline and a cancellation are noticed in time.
constexpr long kWaitStepSeconds = 1;
constexpr ULONGLONG kWaitStepMs = kWaitStepSeconds * 1000;

// readyState once the status and headers have arrived (LOADED).
constexpr long kHeadersArrived = 2;

using Request = ComPtr<IServerXMLHTTPRequest2>;

const wchar_t* Wide(const WideString& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// One attempt on one class: create, run, ask for the interface. The
// IUnknown reference is released whatever happens.
HRESULT TryCreateRequest(const CLSID& clsid, Request* request) {
  ComPtr<IUnknown> object;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, kIidUnknown, object.PutVoid());
  if (SUCCEEDED(hr)) hr = OleRun(object.Get());
  if (SUCCEEDED(hr)) hr = object->QueryInterface(kIidServerXmlHttpRequest2, request->PutVoid());
  if (SUCCEEDED(hr) && !*request) hr = E_POINTER;
  return hr;
}

// Only a class without the interface sends the search on to the next one;
// any other failure, an unregistered class included, ends it.
Request CreateRequest() {
  HRESULT hr = E_NOINTERFACE;
  for (const CLSID& clsid : kServerXmlHttpClasses) {
    Request request;
    hr = TryCreateRequest(clsid, &request);
    if (hr != E_NOINTERFACE) {
      ThrowIfFailed(hr);
      return request;
    }
  }
  throw HResultError(hr);
}

void SetProxy(IServerXMLHTTPRequest2* request, const SettingsStore& settings) {
  auto server = ReadProxyServer(settings);
  if (!server) return;  // The component keeps its own default proxy use.
  Variant text = Variant::String(Wide(*server));
  Variant bypass = Variant::Missing();
  ThrowIfFailed(request->setProxy(SXH_PROXY_SET_PROXY, text.Get(), bypass.Get()));
}

// Asynchronous, so that the wait for the answer stays in the plug-in's hands:
// a synchronous send would return only when the component gives up.
void Open(IServerXMLHTTPRequest2* request, WideView url) {
  Bstr method(L"GET");
  Bstr address(Wide(WideString(url)));
  Variant async = Variant::Bool(true);
  Variant user = Variant::Missing();
  Variant password = Variant::Missing();
  ThrowIfFailed(request->open(method.Get(), address.Get(), async.Get(), user.Get(), password.Get()));
}

void SetProxyCredentials(IServerXMLHTTPRequest2* request, const SettingsStore& settings) {
  auto credentials = ReadProxyCredentials(settings);
  if (!credentials) return;
  Bstr user(Wide(credentials->user));
  Bstr password(Wide(credentials->password));
  ThrowIfFailed(request->setProxyCredentials(user.Get(), password.Get()));
}

HResult Abort(IServerXMLHTTPRequest2* request, HResult why) {
  request->abort();
  return why;
}

// The body length the headers announce; 0 when they announce none (a
// chunked body), which the copy's own cap then limits.
uint64_t AnnouncedLength(IServerXMLHTTPRequest2* request) {
  Bstr name(L"Content-Length");
  Bstr value;
  if (FAILED(request->getResponseHeader(name.Get(), value.Put())) || !value.Get()) return 0;
  const wchar_t* digit = value.Get();
  while (*digit == L' ' || *digit == L'\t') ++digit;
  uint64_t length = 0;
  for (; *digit >= L'0' && *digit <= L'9'; ++digit) {
    length = length * 10 + static_cast<uint64_t>(*digit - L'0');
    if (length > kMaxDownloadBytes) return kMaxDownloadBytes + 1;  // no overflow
  }
  return length;
}

// Waits for the whole response in short steps until the deadline, when the
// request is aborted. Once the headers are there, a body announced larger
// than the cap is refused at once, before the component takes it in.
HResult AwaitResponse(IServerXMLHTTPRequest2* request, ULONGLONG deadline) {
  bool lengthChecked = false;
  for (;;) {
    if (DownloadsAborted()) return Abort(request, kEDownloadCancelled);
    // A step that would end past the deadline is not begun.
    if (GetTickCount64() + kWaitStepMs > deadline) return Abort(request, kEDownloadTimedOut);
    Variant step = Variant::Long(kWaitStepSeconds);
    VARIANT_BOOL done = VARIANT_FALSE;
    ThrowIfFailed(request->waitForResponse(step.Get(), &done));
    if (!lengthChecked) {
      long state = 0;
      ThrowIfFailed(request->get_readyState(&state));
      lengthChecked = state >= kHeadersArrived;
      if (lengthChecked && AnnouncedLength(request) > kMaxDownloadBytes) return Abort(request, kEFileTooLarge);
    }
    if (done != VARIANT_FALSE) return kSOk;
  }
}

ComPtr<IStream> ResponseStream(IServerXMLHTTPRequest2* request) {
  Variant value;
  ThrowIfFailed(request->get_responseStream(value.Put()));
  const VARIANT& v = value.Get();
  // VT_UNKNOWN and VT_DISPATCH keep their object in the same place.
  if ((v.vt != VT_UNKNOWN && v.vt != VT_DISPATCH) || !v.punkVal) throw HResultError(kEFail);
  ComPtr<IStream> stream;
  ThrowIfFailed(v.punkVal->QueryInterface(kIidStream, stream.PutVoid()));
  if (!stream) throw HResultError(E_POINTER);
  return stream;
}

// Copies until a read delivers nothing. The component has already taken the
// whole response in, but a body over the cap still never reaches the disk
// beyond it.
void CopyBody(IStream* source, FileStream& file) {
  BYTE buffer[kCopyBufferBytes];
  uint64_t total = 0;
  ULONG got;
  do {
    got = 0;
    ThrowIfFailed(source->Read(buffer, kCopyBufferBytes, &got));
    if (got > kCopyBufferBytes) throw HResultError(kEFail);
    total += got;
    if (total > kMaxDownloadBytes) throw HResultError(kEFileTooLarge);
    ThrowIfFailed(file.Write(buffer, got));
  } while (got != 0);
}

}  // namespace

HResult Download(WideView url, const WideString& path, const SettingsStore& settings) {
  // The deadline runs from the start, connecting included.
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(DownloadDeadlineSeconds()) * 1000;
  Request request = CreateRequest();
  SetProxy(request.Get(), settings);
  Open(request.Get(), url);
  SetProxyCredentials(request.Get(), settings);
  Variant body = Variant::Missing();
  ThrowIfFailed(request->send(body.Get()));
  HResult answered = AwaitResponse(request.Get(), deadline);
  if (Failed(answered)) return answered;

  ComPtr<IStream> response = ResponseStream(request.Get());
  HResult hr;
  // A shell file stream opened with STGM_CREATE | STGM_WRITE.
  std::unique_ptr<FileStream> file = CreateFileForWriting(path, &hr);
  ThrowIfFailed(hr);
  CopyBody(response.Get(), *file);
  return kSOk;
}

}  // namespace gw
