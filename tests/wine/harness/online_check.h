// Running the plug-in's real usage check against a local feed server that
// run.sh starts, reached through the plug-in's own proxy settings, as the
// feed server answers absolute-address requests like a proxy.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace gwtest {

// The environment variables through which run.sh passes the servers' ports:
// one answers at once, the other holds "/latest.json" for 3 s and also
// serves the two hostile documents below.
constexpr char kFeedPortVariable[] = "GWT_FEED_PORT";
constexpr char kSlowFeedPortVariable[] = "GWT_SLOW_FEED_PORT";

// On the slow server: a body sent one byte a second, and headers that
// announce 40 MiB of body that never comes.
constexpr char kTricklePath[] = "http://usage.example.invalid/trickle";
constexpr char kAnnouncedPath[] = "http://usage.example.invalid/announced";

// The proxy credentials both servers demand (run.sh sets the same). The
// password holds Japanese, so it has to cross the code page intact.
extern const wchar_t kProxyUser[];
extern const wchar_t kProxyPassword[];

// The reading every server serves: usage 3650 of 4000, 91 %.
constexpr uint32_t kFeedUsage = 3650;
constexpr uint32_t kFeedPercent = 91;

// The hour the online settings leave as the last evaluated one: none of a
// day, so the next check evaluates the reading, which then writes its own.
constexpr uint32_t kUnseenHour = 77;

// The port in `variable`; fails the test when it is missing.
uint16_t FeedServerPort(const char* variable);

// "127.0.0.1:PORT", as the plug-in names the proxy.
std::string ProxyText(uint16_t port);

// The stored form of a proxy password: its bytes in the system code page,
// each XOR 0x5A, as Base64 text from the host's converter.
std::wstring StoredPassword(const std::wstring& plain);

// Loads the plug-in and starts it as the host does, offline, and waits for
// the check that the start begins.
HMODULE StartPluginOffline();

// Settings with which the next periodic check reaches the server on `port`
// (through the proxy, with kProxyUser and kProxyPassword; `withProxy`
// false leaves TUServer empty) and passes every gate for the served
// reading: running, no mail sent today of 3, the last hour kUnseenHour,
// threshold 90. The interval is 1, so every minute tick starts a check.
void PresetOnline(uint16_t port, bool withProxy = true);

// One minute tick of the host.
void TickMinute(HMODULE plugin);

// Starts the plug-in offline, then a periodic check against the slow server
// (its port in `*port` unless null) through the full double of the newest
// ServerXMLHTTP class, and returns once that check has sent its first
// request: the feed's, which the server holds for 3 s.
HMODULE StartCheckOnSlowFeed(uint16_t* port = nullptr);

uint32_t ReadDwordSetting(const std::wstring& name);

// The temporary files the host handed out that still exist.
std::vector<std::string> LeftoverTempFiles();

}  // namespace gwtest
