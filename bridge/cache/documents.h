// The documents the bridge serves, rendered once per reading into answers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "bridge/cache/cache.h"
#include "bridge/cache/source_documents.h"
#include "bridge/reading/areas.h"

namespace gw::bridge {

constexpr char kJsonType[] = "application/json; charset=utf-8";
constexpr char kTextType[] = "text/plain; charset=utf-8";
constexpr char kGifType[] = "image/gif";

// The reading as /latest.json: the six fields the plug-in reads come first,
// as plain integers, then the extras, the area's name last.
std::string LatestJson(const Reading& reading, const std::string& source, const Area& area);

// A whole answer; `extraHeaders` are complete lines, each ending in CR LF.
Answer MakeAnswer(int status, std::string_view contentType, std::string body, std::string_view extraHeaders = {});

// The JSON error for /latest.json: a message and no numbers, so that nothing
// reading it can take a figure from it.
Answer JsonError(int status, const std::string& message);

struct Rendering {
  Reading reading;
  DayFigures day;
  std::string meterGif;
  std::string chartGif;
  std::string source;     // the upstream URL as shown (ShownSource), named in /latest.json
  int64_t maxAgeSeconds;  // for the stale answers' wording
  const Area* area;       // whose reading it is
  int64_t stamp = 0;      // the file's stamp (reading.updated), Unix seconds
};

// Everything a new reading serves.
std::shared_ptr<const Snapshot> RenderSnapshot(Rendering rendering);

// One area's entry in /areas.json: its name, 表示名 and HTTP status, then
// its reading with the fields of /latest.json and the operator's forecasts
// of its day (forecast_documents.h), or the error /latest.json would give,
// and its source's status (source_documents.h).
std::string AreaEntryJson(const Area& area, const SourceView& view);

// A JSON string, quoted and escaped.
std::string JsonString(std::string_view text);

// Unix seconds of the start of the reading's hour, in Japan time.
int64_t ReadingTime(const Reading& reading);

}  // namespace gw::bridge
