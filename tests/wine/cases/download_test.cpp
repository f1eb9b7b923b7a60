// The plug-in's real download code under Wine, with the ServerXMLHTTP test
// double in place of the component: which of the four classes it settles
// on, the calls it makes on the request object with their arguments, and
// what a whole periodic check then does with the three documents.
#include <windows.h>

#include <string>
#include <vector>

#include "harness/online_check.h"
#include "harness/plugin_threads.h"
#include "harness/test_case.h"
#include "harness/test_env.h"
#include "harness/xhr_double.h"
#include "host/base64.h"
#include "host/test_host.h"

namespace gwtest {
namespace {

const char* const kPaths[] = {"/latest.json", "/images/meter/meter_setsuden.gif",
                              "/forecast/html/images/juyo-j.gif"};

struct Scenario {
  const char* label;
  XhrClasses classes;
  bool withProxy;
  std::vector<std::string> createdPerDownload;  // the classes one download reaches, in order
  size_t requests;                              // objects that got the download's calls
  bool notifies;                                // the feed is read and the mail queued
};

std::vector<Scenario> Scenarios() {
  using C = XhrClass;
  const C wine = C::kWines, full = C::kFull, lacking = C::kWithoutRequest2;
  return {
      {"6.0 offers IServerXMLHTTPRequest2", {full, wine, wine, wine}, true, {"6.0"}, 3, true},
      // Wine's classes lack the interface: the download ends with
      // E_NOINTERFACE before any request is sent.
      {"Wine's own classes", {wine, wine, wine, wine}, true, {}, 0, false},
      {"6.0 lacks the interface", {lacking, full, wine, wine}, true, {"6.0", "4.0"}, 3, true},
      {"only the version-independent class has it", {lacking, lacking, lacking, full}, true,
       {"6.0", "4.0", "3.0", "independent"}, 3, true},
      // Any failure other than a missing interface ends the search.
      {"6.0 not registered", {C::kNotRegistered, full, full, full}, true, {"6.0"}, 0, false},
      // Credentials go without a proxy too; the double then refuses to
      // leave the machine, and the download fails.
      {"no proxy server", {full, wine, wine, wine}, false, {"6.0"}, 1, false},
  };
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& item : items) out += (out.empty() ? "" : " | ") + item;
  return "[" + out + "]";
}

std::vector<std::string> Repeated(const std::vector<std::string>& items, int times) {
  std::vector<std::string> out;
  for (int i = 0; i < times; ++i) out.insert(out.end(), items.begin(), items.end());
  return out;
}

// Every object released; objects without the interface got no calls; the
// others got exactly the download's calls, for the three documents in order.
void CheckRequests(const Scenario& s, const XhrRecord& xhr, uint16_t port, const std::string& where) {
  std::vector<const XhrObject*> used;
  for (const auto& object : xhr.objects) {
    Require(object.released, where + "a " + object.className + " object was never released");
    if (object.calls.empty()) continue;
    used.push_back(&object);
    Require(used.size() <= 3, where + "more than three requests");
    const char* path = kPaths[used.size() - 1];
    Require(object.url.rfind("http://", 0) == 0 && EndsWith(object.url, path),
            where + "request " + std::to_string(used.size()) + " went to " + object.url + ", not http://...." + path);
    std::string mismatch = XhrCallsMismatch(object.calls, s.withProxy ? ProxyText(port) : "", object.url, kProxyUser,
                                            kProxyPassword, s.withProxy ? XhrEnding::kAnswered : XhrEnding::kRefusedAtSend);
    Require(mismatch.empty(), where + mismatch + " in " + Joined(object.calls));
    Require(!s.withProxy || object.status == 200,
            where + "the server answered " + object.url + " with " + std::to_string(object.status));
  }
  Require(used.size() == s.requests,
          where + std::to_string(used.size()) + " requests, expected " + std::to_string(s.requests));
}

void CheckMail(const XhrRecord& xhr, const HostRecord& host, const std::string& where) {
  Require(host.messages.size() == 1, where + std::to_string(host.messages.size()) + " messages appended, not 1");
  const AppendedMessage& mail = host.messages[0];
  Require(mail.folder == "MailBox1\\!!!!Outbox\\", where + "appended to \"" + mail.folder + "\"");
  Require(mail.message.find(" " + std::to_string(kFeedPercent) + "%") != std::string::npos &&
              mail.message.find("= " + std::to_string(kFeedUsage) + " ") != std::string::npos,
          where + "the mail does not show the served reading");
  // Both images, as served, are inlined in the host's Base64.
  int images = 0;
  for (const auto& object : xhr.objects) {
    if (object.body.compare(0, 4, "GIF8") != 0) continue;
    ++images;
    Require(mail.message.find(gwhost::EncodeBase64(object.body)) != std::string::npos,
            where + "the image from " + object.url + " is not in the mail");
  }
  Require(images == 2, where + std::to_string(images) + " images fetched, not 2");
  Require(host.commands.size() == 1 && host.commands[0].command == "Deliver" &&
              host.commands[0].window == HostMainWindow(),
          where + "the host's main window was not sent exactly one \"Deliver\"");
}

void RunScenario(const TestEnv& env, HMODULE plugin, uint16_t port, const Scenario& s) {
  ResetHost(env.dataFolder, env.mailBox, env.tempFolder);
  InstallXhrDouble(s.classes);
  PresetOnline(port, s.withProxy);
  TickMinute(plugin);
  WaitForPluginThreads(plugin, 20000);

  const std::string where = std::string(s.label) + ": ";
  XhrRecord xhr = XhrSnapshot();
  HostRecord host = HostSnapshot();
  auto created = Repeated(s.createdPerDownload, s.notifies ? 3 : 1);
  Require(xhr.created == created, where + "created " + Joined(xhr.created) + ", expected " + Joined(created));
  CheckRequests(s, xhr, port, where);
  if (s.notifies) {
    CheckMail(xhr, host, where);
  } else {
    Require(host.messages.empty() && host.commands.empty(), where + "a mail was queued");
  }
  // A check that read the feed records its hour and counts the mail.
  Require((ReadDwordSetting(L"TULastHour") != kUnseenHour) == s.notifies,
          where + "TULastHour is " + std::to_string(ReadDwordSetting(L"TULastHour")));
  Require(ReadDwordSetting(L"TUCount") == (s.notifies ? 1u : 0u),
          where + "TUCount is " + std::to_string(ReadDwordSetting(L"TUCount")));
  auto left = LeftoverTempFiles();
  Require(left.empty(), where + "temporary file left behind: " + (left.empty() ? "" : left[0]));
}

}  // namespace

void CaseDownloadCom(TestEnv& env) {
  uint16_t port = FeedServerPort(kFeedPortVariable);
  HMODULE plugin = StartPluginOffline();
  for (const auto& scenario : Scenarios()) RunScenario(env, plugin, port, scenario);
}

}  // namespace gwtest
