// A stand-in for MSXML's ServerXMLHTTP, so that the plug-in's real download
// code runs end to end under Wine, whose own ServerXMLHTTP classes lack
// IServerXMLHTTPRequest2. It records every call the plug-in makes on it and
// performs the GET itself, through the proxy the plug-in names (ProxyExchange:
// a local proxy only).
//
// Wine's COM finds a class registered with CoRegisterClassObject only in
// the apartment that registered it, and each check initialises an apartment
// of its own on its own thread. So the double registers its classes from
// the host call hook, on whichever thread calls the host: a check asks the
// host for its first temporary file before it downloads anything.
#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <vector>

namespace gwtest {

// What one of the four classes the plug-in tries offers.
enum class XhrClass {
  kWines,           // not registered by the double: Wine's own class answers
  kFull,            // an object with IServerXMLHTTPRequest2
  kWithoutRequest2, // an object with IServerXMLHTTPRequest only, as Wine's
  kNotRegistered,   // creation fails with REGDB_E_CLASSNOTREG
};

// ServerXMLHTTP 6.0, 4.0, 3.0 and the version-independent class, in the
// plug-in's order of trying them.
using XhrClasses = std::array<XhrClass, 4>;
extern const char* const kXhrClassNames[4];  // "6.0", "4.0", "3.0", "independent"

// One request object, with the calls made on it as text, in order:
//   setProxy(2, "127.0.0.1:8080", missing)
//   open("GET", "http://...", true, missing, missing)
//   setProxyCredentials("user", "password")
//   send(missing)
//   waitForResponse(1)
//   readyState
//   getResponseHeader("Content-Length")
//   responseStream, or abort
// Texts are UTF-8; "missing" is the omitted-argument variant. Opened
// asynchronously, the object fetches on a thread of its own: readyState is
// 2 once the status and headers are in, 3 while the body comes, 4 when it
// is whole; abort ends the fetch at once.
struct XhrObject {
  std::string className;
  std::vector<std::string> calls;
  std::string url;      // from open
  int status = 0;       // of the response; 0 when none arrived
  std::string body;     // what has arrived of the body
  DWORD sendThread = 0; // the thread that called send
  bool released = false;
  bool aborted = false;
  size_t bodyAtAbort = 0;  // body bytes taken in when abort came
  DWORD sentAt = 0, abortedAt = 0;  // GetTickCount at send and at abort
};

struct XhrRecord {
  std::vector<std::string> created;  // class names, one per creation attempt that reached the double
  std::vector<XhrObject> objects;
};

// Serves `classes` in every apartment that registers from now on, starts a
// fresh record and installs the host call hook. What the calling thread
// registered before is revoked.
void InstallXhrDouble(const XhrClasses& classes);

// Registers the double's classes in the calling thread's apartment unless
// it has them already; does nothing on a thread without COM. A class stays
// registered for the apartment's life, unless the thread that registered
// it calls InstallXhrDouble again.
void RegisterXhrClassesHere();

XhrRecord XhrSnapshot();

// Set when a send begins; reset by InstallXhrDouble.
HANDLE XhrSendBegun();

// How a download through the double ends.
enum class XhrEnding {
  kRefusedAtSend,  // send failed: nothing more
  kAnswered,       // the headers, the length asked once, the response stream
  kAbortedEarly,   // abort before any headers came
  kAbortedLate,    // abort after the headers and the length
};

// Empty when `calls` are those of one download through `proxy` (empty:
// none set) with these credentials (empty user: none set) that ends as
// `ending`; otherwise what differs. Between send and the end, the plug-in
// waits as it must: waitForResponse(1) and readyState in turns until the
// headers are in, the announced length asked for once, then
// waitForResponse(1) alone until the response is whole.
std::string XhrCallsMismatch(const std::vector<std::string>& calls, const std::string& proxy, const std::string& url,
                             const std::wstring& user, const std::wstring& password, XhrEnding ending);

}  // namespace gwtest
