#include "bridge/serving/guide.h"

#include <string>
#include <vector>

#include "bridge/cache/documents.h"
#include "bridge/serving/page_headers.h"

namespace gw::bridge {
namespace {

std::string_view TypeOf(std::string_view name) {
  if (name.size() >= 4 && name.substr(name.size() - 4) == ".png") return "image/png";
  if (name.size() >= 4 && name.substr(name.size() - 4) == ".gif") return kGifType;
  return "text/html; charset=utf-8";
}

// Made once, on the first request for the guide; read-only afterwards.
const std::vector<Answer>& Answers() {
  static const std::vector<Answer> answers = [] {
    std::vector<Answer> made;
    for (size_t i = 0; i < kGuideFileCount; ++i) {
      const GuideFile& f = kGuideFiles[i];
      const std::string_view bytes(reinterpret_cast<const char*>(f.bytes), f.size);
      made.push_back(MakeAnswer(200, TypeOf(f.name), std::string(bytes), kPageHeaders));
    }
    return made;
  }();
  return answers;
}

}  // namespace

const Answer* GuideAnswer(std::string_view path) {
  if (path.substr(0, kGuidePath.size()) != kGuidePath) return nullptr;
  std::string_view name = path.substr(kGuidePath.size());
  if (name.empty()) name = "index.html";
  for (size_t i = 0; i < kGuideFileCount; ++i) {
    if (name == kGuideFiles[i].name) return &Answers()[i];
  }
  return nullptr;
}

}  // namespace gw::bridge
