#include "host/mime_reader.h"

#include <cctype>

#include "host/base64.h"

namespace gwhost {
namespace {

constexpr int kMaxDepth = 8;

std::string Lower(std::string_view text) {
  std::string out;
  for (char c : text) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Trim(std::string_view text) {
  size_t b = text.find_first_not_of(" \t");
  if (b == std::string_view::npos) return std::string();
  size_t e = text.find_last_not_of(" \t");
  return std::string(text.substr(b, e - b + 1));
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(start, end - start));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines, size_t from, size_t to) {
  std::string out;
  for (size_t i = from; i < to; ++i) out += lines[i] + "\n";
  return out;
}

MimeEntity Parse(std::string_view text, int depth);

// The parts between the delimiter lines; the line end before a delimiter
// belongs to it, not to the part.
std::vector<MimeEntity> SplitParts(const std::string& body, const std::string& boundary, int depth) {
  const std::vector<std::string> lines = SplitLines(body);
  const std::string delimiter = "--" + boundary;
  std::vector<MimeEntity> parts;
  size_t start = std::string::npos;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string line = Trim(lines[i]);
    bool closing = line == delimiter + "--";
    if (line != delimiter && !closing) continue;
    if (start != std::string::npos) {
      std::string part = JoinLines(lines, start, i);
      if (!part.empty()) part.pop_back();
      parts.push_back(Parse(part, depth + 1));
    }
    if (closing) break;
    start = i + 1;
  }
  return parts;
}

MimeEntity Parse(std::string_view raw, int depth) {
  MimeEntity entity;
  std::string text;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (!(raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')) text += raw[i];
  }
  // The header ends at the first empty line; the body is the rest, exactly.
  size_t blank = text.rfind('\n', 0) == 0 ? 0 : text.find("\n\n");
  const std::string header = blank == std::string::npos ? text : text.substr(0, blank);
  if (blank != std::string::npos) entity.body = text.substr(blank == 0 ? 1 : blank + 2);
  for (const std::string& line : SplitLines(header)) {
    bool continuation = !line.empty() && (line[0] == ' ' || line[0] == '\t');
    if (continuation && !entity.fields.empty()) {
      entity.fields.back() += line;
    } else if (!line.empty()) {
      entity.fields.push_back(line);
    }
  }
  const std::string boundary = entity.Parameter("boundary");
  if (depth < kMaxDepth && entity.MediaType().rfind("multipart/", 0) == 0 && !boundary.empty())
    entity.parts = SplitParts(entity.body, boundary, depth);
  return entity;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

std::string DecodeQuotedPrintable(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '=') {
      out += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == '\n') {
      ++i;  // soft line break
    } else if (i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += '=';
    }
  }
  return out;
}

}  // namespace

std::string MimeEntity::Field(std::string_view name) const {
  const std::string wanted = Lower(name);
  for (const auto& f : fields) {
    size_t colon = f.find(':');
    if (colon != std::string::npos && Lower(Trim(f.substr(0, colon))) == wanted) return Trim(f.substr(colon + 1));
  }
  return std::string();
}

std::string MimeEntity::MediaType() const {
  std::string type = Lower(Trim(Field("Content-Type").substr(0, Field("Content-Type").find(';'))));
  return type.empty() ? "text/plain" : type;
}

std::string MimeEntity::Parameter(std::string_view name) const {
  const std::string value = Field("Content-Type");
  const std::string wanted = Lower(name);
  size_t at = value.find(';');
  while (at != std::string::npos) {
    size_t eq = value.find('=', at);
    if (eq == std::string::npos) break;
    std::string key = Lower(Trim(value.substr(at + 1, eq - at - 1)));
    size_t start = eq + 1;
    while (start < value.size() && value[start] == ' ') ++start;
    std::string param;
    size_t next;
    if (start < value.size() && value[start] == '"') {
      size_t close = value.find('"', start + 1);
      param = value.substr(start + 1, close == std::string::npos ? std::string::npos : close - start - 1);
      next = close == std::string::npos ? std::string::npos : value.find(';', close);
    } else {
      next = value.find(';', start);
      param = Trim(value.substr(start, next == std::string::npos ? std::string::npos : next - start));
    }
    if (key == wanted) return param;
    at = next;
  }
  return std::string();
}

MimeEntity ParseMessage(std::string_view text) { return Parse(text, 0); }

std::string DecodedBody(const MimeEntity& entity) {
  const std::string encoding = Lower(entity.Field("Content-Transfer-Encoding"));
  if (encoding == "base64") {
    std::string bytes;
    DecodeBase64(entity.body, &bytes);
    return bytes;
  }
  if (encoding == "quoted-printable") return DecodeQuotedPrintable(entity.body);
  return entity.body;
}

}  // namespace gwhost
