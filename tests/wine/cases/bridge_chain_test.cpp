// The whole Windows chain: the real plug-in's periodic check goes through
// its proxy settings to gridwren-bridge.exe (started by bridge.sh, with the
// login the harness's proxy credentials name), which read the operator's
// stand-in file. The queued mail must show that file's numbers, and carry
// the bridge's two GIFs byte for byte. The ServerXMLHTTP double stands in
// for MSXML, whose Wine classes lack IServerXMLHTTPRequest2; it sends the
// requests itself, through WinHTTP, to the bridge as the named proxy.
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "harness/online_check.h"
#include "harness/plugin_threads.h"
#include "harness/settings_key.h"
#include "harness/test_case.h"
#include "harness/test_env.h"
#include "harness/xhr_double.h"
#include "host/base64.h"
#include "host/test_host.h"

namespace gwtest {
namespace {

// Set by bridge.sh: the bridge's port, the reading the file gives, and the
// GIFs as the bridge serves them (fetched with curl beforehand).
constexpr char kBridgePort[] = "GWT_BRIDGE_PORT";

std::string Variable(const char* name) {
  char value[1024] = {};
  DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  Require(n > 0 && n < sizeof value, std::string("the variable ") + name + " is not set (run by bridge.sh)");
  return value;
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  Require(in.good(), "cannot read " + path);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

void RequireImageInMail(const std::string& mail, const char* variable) {
  const std::string gif = FileBytes(Variable(variable));
  Require(gif.compare(0, 4, "GIF8") == 0, std::string(variable) + " is not a GIF");
  Require(mail.find(gwhost::EncodeBase64(gif)) != std::string::npos,
          std::string("the bridge's ") + variable + " is not in the mail");
}

}  // namespace

void CaseBridgeChain(TestEnv& env) {
  const uint16_t port = FeedServerPort(kBridgePort);
  HMODULE plugin = StartPluginOffline();
  ResetHost(env.dataFolder, env.mailBox, env.tempFolder);
  InstallXhrDouble({XhrClass::kFull, XhrClass::kWines, XhrClass::kWines, XhrClass::kWines});
  PresetOnline(port);
  // Whatever the hour's reading, it passes the threshold.
  WriteSetting(L"TUPercent", TextValue(L"0"));
  TickMinute(plugin);
  WaitForPluginThreads(plugin, 30000);

  HostRecord host = HostSnapshot();
  Require(host.messages.size() == 1, std::to_string(host.messages.size()) + " messages queued, not 1");
  const std::string& mail = host.messages[0].message;
  // Usage, then capacity, then the percentage, as the template orders them.
  const std::string usage = "= " + Variable("GWT_BRIDGE_USAGE") + " ";
  const std::string capacity = "= " + Variable("GWT_BRIDGE_CAPACITY") + " ";
  const std::string percent = "= " + Variable("GWT_BRIDGE_PERCENT") + "%";
  const size_t atUsage = mail.find(usage);
  const size_t atCapacity = atUsage == std::string::npos ? atUsage : mail.find(capacity, atUsage + usage.size());
  const size_t atPercent = atCapacity == std::string::npos ? atCapacity : mail.find(percent, atCapacity);
  Require(atPercent != std::string::npos,
          "the mail does not show the file's reading (" + usage + ", " + capacity + ", " + percent + ")");
  RequireImageInMail(mail, "GWT_BRIDGE_METER");
  RequireImageInMail(mail, "GWT_BRIDGE_DAY");
}

}  // namespace gwtest
