// The bridge's operator-file reader on arbitrary bytes: whatever arrives from
// the source, it takes a whole, consistent file or refuses with a reason.
// Besides sanitizer findings, checks what a taken file must satisfy, since
// its numbers go to every plug-in that asks.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bridge/reading/operator_file.h"

namespace {

void Require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

void CheckTaken(const gw::bridge::OperatorFile& file) {
  const auto& day = file.day;
  Require(day.month >= 1 && day.month <= 12 && day.day >= 1 && day.day <= 31, "a calendar date");
  Require(day.updated.size() == 25 && day.updated.compare(19, 6, "+09:00") == 0, "an ISO stamp in Japan time");
  for (const auto& h : day.hours) {
    Require(h.actual >= 0 && h.forecast >= 0 && h.capacity >= 0 && h.percent >= -1, "no negative figure");
  }
  if (!file.reading) return;
  const auto& r = *file.reading;
  Require(r.usage > 0 && r.capacity > 0, "a reading has usage and capacity");
  Require(r.hour >= 0 && r.hour <= 23 && day.hours[r.hour].actual == r.usage, "the reading is its hour's actual");
  for (int h = r.hour + 1; h < 24; ++h) Require(day.hours[h].actual == 0, "no later hour has an actual");
  Require(r.year == day.year && r.month == day.month && r.day == day.day, "the reading is of the file's day");
  Require(r.percent == static_cast<uint32_t>(int64_t{r.usage} * 100 / r.capacity), "the percentage is computed");
  const double own = day.hours[r.hour].percent;
  Require(own < 0 || std::fabs(own - r.usage * 100.0 / r.capacity) <= 1.0, "a given 使用率 agrees");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string reason;
  auto file = gw::bridge::TryReadOperatorFile(std::string_view(reinterpret_cast<const char*>(data), size), &reason);
  if (file) {
    CheckTaken(*file);
  } else {
    Require(!reason.empty() && reason.find('\n') == std::string::npos, "a refusal has a one-line reason");
  }
  return 0;
}
