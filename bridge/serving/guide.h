// The user's guide in Japanese and its pictures, built into the bridge from
// docs/guide.ja.md (tools/guide.py writes the table), so that the status
// page can link it without anything from the internet or the disk: a
// request's path only ever picks an entry of this table.
#pragma once

#include <cstddef>
#include <string_view>

#include "bridge/cache/cache.h"

namespace gw::bridge {

struct GuideFile {
  const char* name;  // "index.html" or a picture's file name
  const unsigned char* bytes;
  size_t size;
};

// The table, written at build time.
extern const GuideFile kGuideFiles[];
extern const size_t kGuideFileCount;

// The guide's files live under this path; the page itself is the folder.
constexpr std::string_view kGuidePath = "/guide/";

// The answer for a path under kGuidePath: the page, one of its pictures, or
// null for any other name.
const Answer* GuideAnswer(std::string_view path);

}  // namespace gw::bridge
