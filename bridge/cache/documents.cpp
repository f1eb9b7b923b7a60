#include "bridge/cache/documents.h"

#include <cstdio>

#include "bridge/cache/forecast_documents.h"
#include "bridge/cache/source_documents.h"
#include "bridge/reading/japan_time.h"

namespace gw::bridge {
namespace {

const char* Phrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 407: return "Proxy Authentication Required";
    case 408: return "Request Timeout";
    case 413: return "Content Too Large";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    default: return "Internal Server Error";
  }
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + '"';
}

namespace {

std::string HourText(const Reading& r) { return UnixToJapanIso(ReadingTime(r)); }

}  // namespace

int64_t ReadingTime(const Reading& r) { return JapanTimeToUnix(r.year, r.month, r.day, r.hour); }

std::string LatestJson(const Reading& r, const std::string& source, const Area& area) {
  char numbers[256];
  std::snprintf(numbers, sizeof numbers,
                "{\"usage\": %d, \"capacity\": %d, \"year\": %d, \"month\": %d, \"day\": %d, \"hour\": %d, "
                "\"usage_percent\": %u, ",
                r.usage, r.capacity, r.year, r.month, r.day, r.hour, r.percent);
  return numbers + ("\"updated\": " + JsonString(r.updated) + ", \"hour_start\": " + JsonString(HourText(r)) +
                    ", \"source\": " + JsonString(source) + ", \"area\": " + JsonString(area.name) + "}\n");
}

Answer MakeAnswer(int status, std::string_view contentType, std::string body, std::string_view extraHeaders) {
  Answer a;
  a.status = status;
  a.head = "HTTP/1.1 " + std::to_string(status) + " " + Phrase(status) +
           "\r\nServer: gridwren-bridge\r\nContent-Type: " + std::string(contentType) +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nCache-Control: no-cache\r\n" +
           std::string(extraHeaders);
  a.body = std::move(body);
  return a;
}

Answer JsonError(int status, const std::string& message) {
  return MakeAnswer(status, kJsonType, "{\"error\": " + JsonString(message) + "}\n");
}

std::shared_ptr<const Snapshot> RenderSnapshot(Rendering in) {
  auto s = std::make_shared<Snapshot>();
  s->readingTime = ReadingTime(in.reading);
  s->stamp = in.stamp;
  s->latest = MakeAnswer(200, kJsonType, LatestJson(in.reading, in.source, *in.area));
  s->meter = MakeAnswer(200, kGifType, std::move(in.meterGif));
  s->chart = MakeAnswer(200, kGifType, std::move(in.chartGif));
  const std::string hour = HourText(in.reading);
  s->staleReason = "the latest reading, of " + hour + ", is older than " + std::to_string(in.maxAgeSeconds) +
                   " s (--max-age)";
  s->reading = std::move(in.reading);
  s->day = std::move(in.day);
  return s;
}

std::string AreaEntryJson(const Area& area, const SourceView& view) {
  std::string entry = "{\"name\": " + JsonString(area.name) + ", \"display_name\": " + JsonString(area.label);
  if (view.Offered()) {
    // The reading's object is /latest.json's body without its line end.
    const std::string& latest = view.snapshot->latest.body;
    entry += ", \"status\": 200, \"reading\": " + latest.substr(0, latest.size() - 1);
    const std::string outlook = OutlookJsonMembers(view.snapshot->day.outlook, view.now);
    if (!outlook.empty()) entry += ", \"forecast\": {" + outlook + "}";
  } else {
    entry += ", \"status\": 503, \"error\": " + JsonString(UnservedReason(view));
  }
  return entry + SourceJsonMembers(view) + "}";
}

}  // namespace gw::bridge
