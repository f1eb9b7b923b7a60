#include "bridge/options.h"

#include <boost/asio/ip/address.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>
#include <string_view>

namespace gw::bridge {

const char kUsage[] =
    "usage: gridwren-bridge [--area NAME] [--listen ADDR:PORT[=AREA]]... [--port-file FILE]\n"
    "                       [--source [AREA=]URL]... [--refresh SECONDS] [--max-age SECONDS]\n"
    "                       [--alarm-after SECONDS]\n"
    "                       [--user NAME --password-file FILE] [--font FONT]\n"
    "                       [--max-connections N] [--max-connections-per-client N]\n"
    "\n"
    "Reads a grid operator's published file of the day and serves what the\n"
    "Gridwren plug-in fetches: /latest.json, the meter and today's graph as GIFs.\n"
    "Point the plug-in's proxy settings (server, port) at this bridge. It answers\n"
    "proxy-style and plain GET requests for its own documents only and forwards\n"
    "nothing anywhere. Also served: /healthz and /metrics (Prometheus text), and\n"
    "for every area it serves /areas/NAME/latest.json, /areas/NAME/meter.gif,\n"
    "/areas/NAME/day.gif and /areas.json.\n"
    "\n"
    "options:\n"
    "  --area NAME            the area whose operator is read (default tokyo): hokkaido,\n"
    "                         tohoku, tokyo, chubu, hokuriku, kansai, chugoku, shikoku,\n"
    "                         kyushu or okinawa\n"
    "  --listen ADDR:PORT[=AREA]\n"
    "                         the IP address and port to listen on (default\n"
    "                         127.0.0.1:8080; 0.0.0.0 for every interface; port 0\n"
    "                         picks a free one; [ADDR]:PORT for IPv6); with =AREA the\n"
    "                         plug-in gets that area's documents there, else --area's.\n"
    "                         May be given several times: one process, several areas\n"
    "  --port-file FILE       write the ports there once listening, one line per\n"
    "                         --listen in order\n"
    "  --source [AREA=]URL    the operator's CSV for --area, or with AREA= for that\n"
    "                         area (then served at least under /areas/AREA/); may be\n"
    "                         given several times. {date} in it is the current day in\n"
    "                         Japan as YYYYMMDD, and the name moves on at midnight.\n"
    "                         Default: each area's operator (see the README; tokyo's\n"
    "                         is https://www.tepco.co.jp/forecast/html/images/juyo-d1-j.csv).\n"
    "                         Fetched at start and once per refresh, through the\n"
    "                         proxy that https_proxy/no_proxy name, as curl would\n"
    "  --refresh SECONDS      seconds between fetches (default 300, at least 1)\n"
    "  --max-age SECONDS      a reading older than this is not served (default 10800)\n"
    "  --alarm-after SECONDS  an area without a fresh reading for this long (from\n"
    "                         the start too) raises its alarm: one log line\n"
    "                         \"AREA: alarm: ...\" and one \"AREA: alarm over: ...\"\n"
    "                         when a fresh reading comes back; a long outage is\n"
    "                         said again once a day; on Windows both also go to\n"
    "                         the Event Log (default 3600)\n"
    "  --user NAME            require this Basic login (with --password-file);\n"
    "                         /healthz stays open\n"
    "  --password-file FILE   the login's password: the file's first line\n"
    "  --font FONT            the Japanese font of the graphs: a font file, or on\n"
    "                         Windows also an installed family's name (default\n"
    "                         /usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf;\n"
    "                         on Windows the first installed of Meiryo, Yu Gothic,\n"
    "                         MS Gothic and IPAGothic)\n"
    "  --max-connections N    open connections at most, per listener (default\n"
    "                         1024; lowered to fit the file descriptor limit,\n"
    "                         with a log line)\n"
    "  --max-connections-per-client N\n"
    "                         open connections from one client address at most,\n"
    "                         on all listeners together (default 64; kept to a\n"
    "                         quarter of a listener's cap at most, with a log\n"
    "                         line; an IPv6 client is its /64 network)\n"
    "  --help                 this text\n"
    "\n"
    "One line per request and per upstream fetch goes to standard output. When\n"
    "its reader falls behind, lines are dropped rather than waited for, and the\n"
    "log says how many; connections refused at a cap are logged once a second.\n"
    "A source's login and query are sent to the operator only: the log and the\n"
    "documents show its scheme, host and path. A login's own @ / ? # are written\n"
    "%40 %2F %3F %23: a source with any other @ is refused, without being shown.\n"
    "SIGTERM or SIGINT ends it (on Windows: Ctrl-C, Ctrl-Break, closing the\n"
    "console window, or stopping the service). Exit status: 0 stopped, 1 failed\n"
    "(the message names the cause), 2 bad usage.\n";

const char kServiceUsage[] =
    "\n"
    "on Windows, as the service GridwrenBridge (both need an administrator):\n"
    "  --install-service [options]  register the service: it starts with Windows\n"
    "                         as NT AUTHORITY\\LocalService and runs with these\n"
    "                         options; it logs to %ProgramData%\\Gridwren\\bridge.log\n"
    "                         and its start, stop, failures and each area's\n"
    "                         alarm and its end to the Event Log\n"
    "  --uninstall-service    stop the service and remove it\n"
    "  --service              how the service manager starts it; not for consoles\n";

namespace {

bool ParseNumber(const std::string& text, int64_t low, int64_t high, int64_t* value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 12) return false;
  *value = std::strtoll(text.c_str(), nullptr, 10);
  return *value >= low && *value <= high;
}

bool KnownArea(const std::string& name) { return FindArea(name) != nullptr; }

bool ParseListen(const std::string& value, Options* o) {
  Listener listener;
  const size_t equals = value.find('=');
  if (equals != std::string::npos) {
    listener.area = value.substr(equals + 1);
    if (!KnownArea(listener.area)) return false;
  }
  const std::string text = value.substr(0, equals);
  size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  std::string host = text.substr(0, colon);
  if (host.front() == '[') {
    if (host.size() < 3 || host.back() != ']') return false;
    host = host.substr(1, host.size() - 2);
  }
  // Asio reads addresses with the system's own parser, and Windows's takes
  // shortened IPv4 forms ("1.2.3") that POSIX's refuses: only the canonical
  // dotted quad is taken, the same everywhere.
  boost::system::error_code bad;
  const boost::asio::ip::address parsed = boost::asio::ip::make_address(host, bad);
  if (bad || host.find('%') != std::string::npos) return false;
  if (parsed.is_v4() && parsed.to_string() != host) return false;
  int64_t port;
  if (!ParseNumber(text.substr(colon + 1), 0, 65535, &port)) return false;
  listener.address = host;
  listener.port = static_cast<uint16_t>(port);
  o->listens.push_back(std::move(listener));
  return true;
}

// A login's own '@', '/', '?' and '#' are written %40, %2F, %3F and %23.
// Where one is left raw, nothing tells the login from the host and the path
// (curl refuses some such URLs and fetches others from the wrong host), and
// what the bridge shows and logs of the source could be part of the
// password. So a source holds at most one '@', and only as the end of a
// login before its host: an '@' in a path or a query could be a password's.
bool LoginIsPlain(std::string_view url) {
  const size_t scheme = url.find("://");
  const size_t hostAt = scheme == std::string_view::npos ? 0 : scheme + 3;
  const size_t authorityEnd = std::min(url.find_first_of("/?#", hostAt), url.size());
  const size_t login = url.find('@', hostAt);
  if (login == std::string_view::npos) return url.find('@') == std::string_view::npos;
  return login < authorityEnd && url.find('@', login + 1) == std::string_view::npos;
}

// After the login, a host (a name or an [IPv6] address) and a port of digits
// if one is given: "http://" alone would fetch nothing anywhere.
bool NamesAHost(std::string_view url, size_t hostAt) {
  std::string_view authority = url.substr(hostAt, url.find_first_of("/?#", hostAt) - hostAt);
  const size_t login = authority.find('@');
  if (login != std::string_view::npos) authority.remove_prefix(login + 1);
  if (authority.empty()) return false;
  // Without its ']' an [IPv6] host ends at 0, and is refused as empty.
  const size_t hostEnd = authority.front() == '[' ? authority.find(']') + 1 : authority.find(':');
  const std::string_view host = authority.substr(0, hostEnd);
  const std::string_view port = authority.substr(std::min(hostEnd, authority.size()));
  const bool hostGiven = host.size() > (host.rfind('[', 0) == 0 ? 2u : 0u);
  return hostGiven && (port.empty() || (port.size() >= 2 && port.size() <= 6 && port.front() == ':' &&
                                        port.find_first_not_of("0123456789", 1) == std::string_view::npos));
}

bool IsHttpUrl(const std::string& url) {
  const size_t hostAt = url.rfind("http://", 0) == 0 ? 7 : url.rfind("https://", 0) == 0 ? 8 : 0;
  return hostAt != 0 && LoginIsPlain(url) && NamesAHost(url, hostAt);
}

// A URL, or AREA=URL for one area: a URL never starts with a bare name and
// an equals sign.
bool ParseSource(const std::string& value, Options* o) {
  if (IsHttpUrl(value)) {
    o->source = value;
    return true;
  }
  const size_t equals = value.find('=');
  if (equals == std::string::npos) return false;
  const std::string area = value.substr(0, equals), url = value.substr(equals + 1);
  if (!KnownArea(area) || !IsHttpUrl(url)) return false;
  o->areaSources[area] = url;
  return true;
}

bool Bad(std::string* error, std::string message) {
  *error = std::move(message);
  return false;
}

using Setter = std::function<bool(const std::string&, Options*)>;

const std::map<std::string, std::pair<Setter, std::string>>& Table() {
  auto number = [](int64_t low, int64_t high, int64_t Options::*field) {
    return [=](const std::string& v, Options* o) { return ParseNumber(v, low, high, &(o->*field)); };
  };
  auto count = [](size_t Options::*field) {
    return [=](const std::string& v, Options* o) {
      int64_t n;
      return ParseNumber(v, 1, 1000000, &n) && (o->*field = static_cast<size_t>(n), true);
    };
  };
  auto text = [](std::string Options::*field) {
    return [=](const std::string& v, Options* o) { return !v.empty() && (o->*field = v, true); };
  };
  const std::string areas = "one of " + AreaNames();
  static const std::map<std::string, std::pair<Setter, std::string>> table = {
      {"--area", {[](const std::string& v, Options* o) { return KnownArea(v) && (o->area = v, true); }, areas}},
      {"--listen", {ParseListen, "an IP address and a port, e.g. 127.0.0.1:8080 or [::1]:8080, optionally "
                                 "=AREA, AREA " + areas}},
      {"--port-file", {text(&Options::portFile), "a file name"}},
      {"--source", {ParseSource, "an http:// or https:// URL naming its host, with a login's @ / ? # written "
                                 "%40 %2F %3F %23, or AREA=URL with AREA " + areas}},
      {"--refresh", {number(1, 86400, &Options::refreshSeconds), "whole seconds from 1 to 86400"}},
      {"--max-age", {number(1, 30 * 86400, &Options::maxAgeSeconds), "whole seconds from 1 to 2592000"}},
      {"--alarm-after", {number(1, 30 * 86400, &Options::alarmAfterSeconds), "whole seconds from 1 to 2592000"}},
      {"--user", {text(&Options::user), "a user name"}},
      {"--password-file", {text(&Options::passwordFile), "a file name"}},
      {"--font", {text(&Options::font), "a font file or family name"}},
      {"--max-connections", {count(&Options::maxConnections), "a count from 1 to 1000000"}},
      {"--max-connections-per-client", {count(&Options::maxConnectionsPerClient), "a count from 1 to 1000000"}},
  };
  return table;
}

bool SetFlag(const std::string& name, Options* o) {
  if (name == kInstallServiceFlag) return o->installService = true;
  if (name == kUninstallServiceFlag) return o->uninstallService = true;
  if (name == kRunAsServiceFlag) return o->runAsService = true;
  return false;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i], value;
    if (name == "--help" || name == "-h") {
      options->help = true;
      return true;
    }
    if (SetFlag(name, options)) continue;
    size_t equals = name.find('=');
    bool inlineValue = name.rfind("--", 0) == 0 && equals != std::string::npos;
    if (inlineValue) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
    }
    auto entry = Table().find(name);
    if (entry == Table().end()) return Bad(error, "unknown option '" + name + "' (see --help)");
    if (!inlineValue) {
      if (i + 1 == args.size()) return Bad(error, "option " + name + " needs a value (see --help)");
      value = args[++i];
    }
    if (!entry->second.first(value, options)) {
      // The service logs this: a source's login and query stay out of it, and
      // a source whose login cannot be told from its host is not echoed at all.
      if (name == "--source" && !LoginIsPlain(value)) {
        return Bad(error, "bad value for --source (not shown: its login cannot be told from its host): expected " +
                              entry->second.second);
      }
      const std::string shown = name == "--source" ? ShownSource(value) : value;
      return Bad(error, "bad value '" + shown + "' for " + name + ": expected " + entry->second.second);
    }
  }
  if (options->listens.empty()) options->listens.emplace_back();
  if (options->user.empty() != options->passwordFile.empty()) {
    return Bad(error, "--user and --password-file go together (see --help)");
  }
  if (options->installService + options->uninstallService + options->runAsService > 1) {
    return Bad(error, "--install-service, --uninstall-service and --service exclude each other (see --help)");
  }
  return true;
}

BridgePlan PlanBridge(const Options& o) {
  BridgePlan plan;
  auto serve = [&plan, &o](const std::string& name) {
    const Area* area = FindArea(name);
    for (const AreaSource& served : plan.areas) {
      if (served.area == area) return;
    }
    std::string source = name == o.area && !o.source.empty() ? o.source : area->source;
    if (auto own = o.areaSources.find(name); own != o.areaSources.end()) source = own->second;
    plan.areas.push_back({area, source});
  };
  for (Listener listen : o.listens) {
    if (listen.area.empty()) listen.area = o.area;
    serve(listen.area);
    plan.listens.push_back(std::move(listen));
  }
  for (const auto& [name, url] : o.areaSources) serve(name);
  return plan;
}

}  // namespace gw::bridge
