#include "harness/xhr_double.h"

#include <msxml2.h>
#include <objbase.h>
#include <shlwapi.h>

#include <memory>

#include "harness/proxy_get.h"
#include "harness/test_case.h"
#include "host/test_host.h"

namespace gwtest {

const char* const kXhrClassNames[4] = {"6.0", "4.0", "3.0", "independent"};

namespace {

constexpr CLSID kClassIds[4] = {
    {0x88D96A0B, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}},
    {0x88D969C6, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}},
    {0xAFB40FFD, 0xB609, 0x40A3, {0x98, 0x28, 0xF8, 0x8B, 0xBE, 0x11, 0xE4, 0xE3}},
    {0xAFBA6B42, 0x5692, 0x48EA, {0x81, 0x41, 0xDC, 0x51, 0x7D, 0xCF, 0x0E, 0xF1}},
};
constexpr IID kIidRequest2 = {0x2E01311B, 0xC322, 0x4B0A, {0xBD, 0x77, 0xB9, 0x0C, 0xFD, 0xC8, 0xDC, 0xE7}};
constexpr IID kIidRequest = {0x2E9196BF, 0x13BA, 0x4DD4, {0x91, 0xCA, 0x6C, 0x57, 0x1F, 0x28, 0x14, 0x95}};
constexpr IID kIidXmlHttp = {0xED8C108D, 0x4349, 0x11D2, {0x91, 0xA4, 0x00, 0xC0, 0x4F, 0x79, 0x69, 0xE8}};
// Sending without a proxy would go to a real host: the double refuses, with
// the code the component gives for a server it cannot reach.
constexpr HRESULT kCannotConnect = static_cast<HRESULT>(0x80072EFDu);

struct Shared {
  CRITICAL_SECTION lock;
  XhrClasses classes{XhrClass::kWines, XhrClass::kWines, XhrClass::kWines, XhrClass::kWines};
  XhrRecord record;
  HANDLE sendBegun;
};

Shared& State() {
  static Shared* shared = [] {
    auto* s = new Shared();
    InitializeCriticalSection(&s->lock);
    s->sendBegun = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return s;
  }();
  return *shared;
}

class Guard {
 public:
  Guard() { EnterCriticalSection(&State().lock); }
  ~Guard() { LeaveCriticalSection(&State().lock); }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;
};

std::wstring Text(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

std::string Quoted(const std::wstring& text) { return "\"" + Utf8(text) + "\""; }

std::string Describe(const VARIANT& v) {
  if (v.vt == VT_BSTR) return Quoted(Text(v.bstrVal));
  if (v.vt == VT_BOOL) {
    if (v.boolVal == VARIANT_FALSE) return "false";
    return v.boolVal == VARIANT_TRUE ? "true" : "bool " + std::to_string(v.boolVal);
  }
  if (v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND) return "missing";
  if (v.vt == VT_I4) return std::to_string(v.lVal);
  return "vt " + std::to_string(v.vt);
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return "";
  int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return L"";
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

// readyState as MSXML counts it.
constexpr LONG kUninitialized = 0, kOpened = 1, kLoaded = 2, kInteractive = 3, kCompleted = 4;
// How long abort and the object's end wait for its fetch to stop.
constexpr DWORD kFetchStopMs = 5000;

// One ServerXMLHTTP object. It lives on the thread that created it, as the
// plug-in's objects do; the record is shared with the test's thread. Opened
// asynchronously, it fetches on a thread of its own.
class Request final : public IServerXMLHTTPRequest2 {
 public:
  Request(size_t index, bool full)
      : index_(index), full_(full), done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

  HRESULT WINAPI QueryInterface(REFIID iid, void** out) override {
    bool known = iid == IID_IUnknown || iid == IID_IDispatch || iid == kIidXmlHttp || iid == kIidRequest ||
                 (full_ && iid == kIidRequest2);
    *out = known ? static_cast<IServerXMLHTTPRequest2*>(this) : nullptr;
    if (!known) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG WINAPI AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG WINAPI Release() override {
    ULONG left = InterlockedDecrement(&refs_);
    if (left == 0) {
      {
        Guard guard;
        Object().released = true;
      }
      delete this;
    }
    return left;
  }

  HRESULT WINAPI setProxy(SXH_PROXY_SETTING setting, VARIANT server, VARIANT bypass) override {
    Note("setProxy(" + std::to_string(setting) + ", " + Describe(server) + ", " + Describe(bypass) + ")");
    proxy_ = server.vt == VT_BSTR ? Narrow(Text(server.bstrVal)) : "";
    return S_OK;
  }
  HRESULT WINAPI open(BSTR method, BSTR url, VARIANT async, VARIANT user, VARIANT password) override {
    Note("open(" + Quoted(Text(method)) + ", " + Quoted(Text(url)) + ", " + Describe(async) + ", " + Describe(user) +
         ", " + Describe(password) + ")");
    url_ = Narrow(Text(url));
    async_ = async.vt == VT_BOOL && async.boolVal != VARIANT_FALSE;
    Guard guard;
    Object().url = Utf8(Text(url));
    state_ = kOpened;
    return S_OK;
  }
  HRESULT WINAPI setProxyCredentials(BSTR user, BSTR password) override {
    Note("setProxyCredentials(" + Quoted(Text(user)) + ", " + Quoted(Text(password)) + ")");
    credentials_ = Narrow(Text(user)) + ":" + Narrow(Text(password));
    return S_OK;
  }
  HRESULT WINAPI send(VARIANT body) override {
    Note("send(" + Describe(body) + ")");
    {
      Guard guard;
      Object().sendThread = GetCurrentThreadId();
      Object().sentAt = GetTickCount();
    }
    SetEvent(State().sendBegun);
    if (proxy_.empty()) return kCannotConnect;
    exchange_.reset(new ProxyExchange(proxy_, url_, credentials_));
    if (!async_) {
      Fetch();
      return result_;
    }
    fetcher_ = CreateThread(nullptr, 0, FetchThread, this, 0, nullptr);
    return fetcher_ ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT WINAPI waitForResponse(VARIANT timeout, VARIANT_BOOL* done) override {
    Note("waitForResponse(" + Describe(timeout) + ")");
    if (!fetcher_ || timeout.vt != VT_I4 || timeout.lVal < 0 || !done) return E_INVALIDARG;
    bool whole = WaitForSingleObject(done_, static_cast<DWORD>(timeout.lVal) * 1000) == WAIT_OBJECT_0;
    *done = whole ? VARIANT_TRUE : VARIANT_FALSE;
    Guard guard;
    return whole ? result_ : S_OK;
  }
  HRESULT WINAPI get_readyState(LONG* state) override {
    Note("readyState");
    Guard guard;
    *state = state_;
    return S_OK;
  }
  HRESULT WINAPI getResponseHeader(BSTR name, BSTR* value) override {
    Note("getResponseHeader(" + Quoted(Text(name)) + ")");
    *value = nullptr;
    std::string text;
    {
      Guard guard;
      if (state_ < kLoaded) return E_PENDING;
      if (!ProxyExchange::HeaderValue(headers_, Narrow(Text(name)), &text)) return E_FAIL;
    }
    *value = SysAllocString(Wide(text).c_str());
    return *value ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT WINAPI abort() override {
    Note("abort");
    {
      Guard guard;
      Object().aborted = true;
      Object().bodyAtAbort = Object().body.size();
      Object().abortedAt = GetTickCount();
    }
    StopFetch();
    Guard guard;
    state_ = kUninitialized;
    return S_OK;
  }
  HRESULT WINAPI get_responseStream(VARIANT* value) override {
    Note("responseStream");
    VariantInit(value);
    {
      Guard guard;
      if (state_ != kCompleted) return E_PENDING;
    }
    std::string body;
    {
      Guard guard;
      body = Object().body;
    }
    IStream* stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(body.data()), static_cast<UINT>(body.size()));
    if (!stream) return E_OUTOFMEMORY;
    value->vt = VT_UNKNOWN;
    value->punkVal = stream;
    return S_OK;
  }

  // Everything else the download must not use.
  HRESULT WINAPI GetTypeInfoCount(UINT*) override { return Unexpected("GetTypeInfoCount"); }
  HRESULT WINAPI GetTypeInfo(UINT, LCID, ITypeInfo**) override { return Unexpected("GetTypeInfo"); }
  HRESULT WINAPI GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return Unexpected("GetIDsOfNames");
  }
  HRESULT WINAPI Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return Unexpected("Invoke");
  }
  HRESULT WINAPI setRequestHeader(BSTR, BSTR) override { return Unexpected("setRequestHeader"); }
  HRESULT WINAPI getAllResponseHeaders(BSTR*) override { return Unexpected("getAllResponseHeaders"); }
  HRESULT WINAPI get_status(LONG*) override { return Unexpected("status"); }
  HRESULT WINAPI get_statusText(BSTR*) override { return Unexpected("statusText"); }
  HRESULT WINAPI get_responseXML(IDispatch**) override { return Unexpected("responseXML"); }
  HRESULT WINAPI get_responseText(BSTR*) override { return Unexpected("responseText"); }
  HRESULT WINAPI get_responseBody(VARIANT*) override { return Unexpected("responseBody"); }
  HRESULT WINAPI put_onreadystatechange(IDispatch*) override { return Unexpected("onreadystatechange"); }
  HRESULT WINAPI setTimeouts(LONG, LONG, LONG, LONG) override { return Unexpected("setTimeouts"); }
  HRESULT WINAPI getOption(SERVERXMLHTTP_OPTION, VARIANT*) override { return Unexpected("getOption"); }
  HRESULT WINAPI setOption(SERVERXMLHTTP_OPTION, VARIANT) override { return Unexpected("setOption"); }

 private:
  ~Request() {
    StopFetch();
    CloseHandle(done_);
  }

  static DWORD WINAPI FetchThread(void* self) {
    static_cast<Request*>(self)->Fetch();
    return 0;
  }

  // The status and headers first, then the body piece by piece, each
  // visible to the plug-in as it comes.
  void Fetch() {
    int status = 0;
    std::string headers;
    HRESULT hr = exchange_->ReceiveHeaders(&status, &headers);
    if (SUCCEEDED(hr)) {
      Guard guard;
      Object().status = status;
      headers_ = headers;
      state_ = kLoaded;
    }
    while (hr == S_OK) {
      std::string piece;
      hr = exchange_->ReceiveBody(&piece);
      Guard guard;
      Object().body += piece;
      if (state_ == kLoaded) state_ = kInteractive;
    }
    Guard guard;
    result_ = FAILED(hr) ? hr : S_OK;
    if (SUCCEEDED(hr) && state_ != kUninitialized) state_ = kCompleted;
    SetEvent(done_);
  }

  void StopFetch() {
    if (exchange_) exchange_->Cancel();
    if (fetcher_) {
      WaitForSingleObject(fetcher_, kFetchStopMs);
      CloseHandle(fetcher_);
      fetcher_ = nullptr;
    }
  }

  // Call with the lock held. An object that outlived its record (a fresh
  // InstallXhrDouble) writes into a scratch entry.
  XhrObject& Object() {
    static XhrObject orphan;
    auto& objects = State().record.objects;
    return index_ < objects.size() ? objects[index_] : orphan;
  }

  void Note(const std::string& call) {
    Guard guard;
    Object().calls.push_back(call);
  }

  HRESULT Unexpected(const char* name) {
    Note(name);
    return E_NOTIMPL;
  }

  LONG refs_ = 1;
  size_t index_;
  bool full_;
  bool async_ = false;
  std::string proxy_, url_, credentials_;
  std::unique_ptr<ProxyExchange> exchange_;
  HANDLE fetcher_ = nullptr;
  HANDLE done_;
  // Shared with the fetching thread; under the lock.
  LONG state_ = kUninitialized;
  std::string headers_;
  HRESULT result_ = E_PENDING;
};

class Factory final : public IClassFactory {
 public:
  explicit Factory(int index) : index_(index) {}

  HRESULT WINAPI QueryInterface(REFIID iid, void** out) override {
    bool known = iid == IID_IUnknown || iid == IID_IClassFactory;
    *out = known ? this : nullptr;
    return known ? S_OK : E_NOINTERFACE;
  }
  // A static object: counting would serve nothing.
  ULONG WINAPI AddRef() override { return 2; }
  ULONG WINAPI Release() override { return 1; }
  HRESULT WINAPI LockServer(BOOL) override { return S_OK; }

  HRESULT WINAPI CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    XhrClass kind;
    size_t index;
    {
      Guard guard;
      kind = State().classes[index_];
      State().record.created.push_back(kXhrClassNames[index_]);
      if (kind == XhrClass::kNotRegistered) return REGDB_E_CLASSNOTREG;
      index = State().record.objects.size();
      State().record.objects.push_back(XhrObject());
      State().record.objects.back().className = kXhrClassNames[index_];
    }
    auto* request = new Request(index, kind == XhrClass::kFull);
    HRESULT hr = request->QueryInterface(iid, out);
    request->Release();
    return hr;
  }

 private:
  int index_;
};

Factory g_factories[4] = {Factory(0), Factory(1), Factory(2), Factory(3)};

// What this thread registered, so that a new InstallXhrDouble can take it
// back: the awaited test check runs on the test's own thread, whose
// apartment may outlive one scenario. Revoking a cookie of an apartment
// that has ended already fails harmlessly.
thread_local DWORD t_cookies[4] = {};

void RevokeHere() {
  for (DWORD& cookie : t_cookies) {
    if (cookie != 0) CoRevokeClassObject(cookie);
    cookie = 0;
  }
}

// Whether the double's class `i` is what this thread's apartment finds.
// Asked afresh every time: an apartment ends with its check, and a thread
// that initialises COM again (the awaited test check runs on the host's
// thread) has a new one without the registration.
bool OursHere(int i) {
  IClassFactory* found = nullptr;
  if (FAILED(CoGetClassObject(kClassIds[i], CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                              reinterpret_cast<void**>(&found))))
    return false;
  found->Release();
  return found == &g_factories[i];
}

}  // namespace

void InstallXhrDouble(const XhrClasses& classes) {
  RevokeHere();
  {
    Guard guard;
    State().classes = classes;
    State().record = XhrRecord();
  }
  ResetEvent(State().sendBegun);
  SetHostCallHook(RegisterXhrClassesHere);
}

void RegisterXhrClassesHere() {
  XhrClasses classes;
  {
    Guard guard;
    classes = State().classes;
  }
  for (int i = 0; i < 4; ++i) {
    if (classes[i] == XhrClass::kWines || OursHere(i)) continue;
    // Fails on a thread without COM, which has no apartment to find it in.
    // The apartment revokes the registration when it ends.
    CoRegisterClassObject(kClassIds[i], &g_factories[i], CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &t_cookies[i]);
  }
}

XhrRecord XhrSnapshot() {
  Guard guard;
  return State().record;
}

HANDLE XhrSendBegun() { return State().sendBegun; }

std::string XhrCallsMismatch(const std::vector<std::string>& calls, const std::string& proxy, const std::string& url,
                             const std::wstring& user, const std::wstring& password, XhrEnding ending) {
  const std::string wait = "waitForResponse(1)", state = "readyState";
  std::vector<std::string> head;
  if (!proxy.empty()) head.push_back("setProxy(2, \"" + proxy + "\", missing)");
  head.push_back("open(\"GET\", \"" + url + "\", true, missing, missing)");
  if (!user.empty() && !password.empty()) {
    head.push_back("setProxyCredentials(" + Quoted(user) + ", " + Quoted(password) + ")");
  }
  head.push_back("send(missing)");
  auto at = [&](size_t i) { return i < calls.size() ? calls[i] : std::string("(none)"); };
  for (size_t i = 0; i < head.size(); ++i) {
    if (at(i) != head[i]) return "call " + std::to_string(i + 1) + " is " + at(i) + ", expected " + head[i];
  }
  size_t i = head.size();
  if (ending == XhrEnding::kRefusedAtSend) return i == calls.size() ? "" : "calls after a refused send: " + at(i);
  size_t turns = 0;
  for (; at(i) == wait && at(i + 1) == state; i += 2) ++turns;
  if (turns == 0) return "after send comes " + at(i) + ", not " + wait + " and " + state;
  const bool asked = at(i) == "getResponseHeader(\"Content-Length\")";
  if (asked) {
    for (++i; at(i) == wait;) ++i;
  }
  if (asked != (ending != XhrEnding::kAbortedEarly))
    return asked ? "the length was asked for, yet no headers should have come" : "the announced length was never asked for";
  const std::string last = ending == XhrEnding::kAnswered ? "responseStream" : "abort";
  if (at(i) != last || i + 1 != calls.size()) return "call " + std::to_string(i + 1) + " is " + at(i) + ", expected the last, " + last;
  return "";
}

}  // namespace gwtest
