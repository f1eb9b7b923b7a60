#include "host/outgoing_mail.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <random>
#include <vector>

#include "base/codepage.h"
#include "host/mail_charset.h"
#include "host/mime_header.h"

namespace gwhost {
namespace {

constexpr size_t kMaxLine = 998;
// 200 characters of ISO-2022-JP take at most 200 * 4.5 + 3 bytes even when
// every other one switches character set.
constexpr size_t kPieceChars = 200;

std::atomic<unsigned> g_idSequence{0};

using Lines = std::vector<std::string>;

Lines SplitLines(std::string_view text) {
  Lines lines;
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '\r' && c != '\n') {
      line += c;
      continue;
    }
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    lines.push_back(std::move(line));
    line.clear();
  }
  if (!line.empty()) lines.push_back(std::move(line));
  return lines;
}

bool IsContinuation(const std::string& line) { return !line.empty() && (line[0] == ' ' || line[0] == '\t'); }

std::string Lower(std::string_view text) {
  std::string out;
  for (char c : text) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string FieldName(const std::string& field) { return Lower(field.substr(0, field.find(':'))); }

bool IsAddressField(const std::string& name) {
  for (const char* n : {"from", "to", "cc", "bcc", "reply-to", "sender", "return-path"}) {
    if (name == n) return true;
  }
  return false;
}

// One field, its physical lines joined by LF. A field that is ASCII with
// lines of lawful length stays exactly as the writer laid it out.
Lines RewriteField(const std::string& field) {
  Lines physical = SplitLines(field);
  bool fine = IsAscii(field);
  for (const auto& line : physical) fine = fine && line.size() <= kMaxLine;
  if (fine) return physical;
  const std::string whole = Unfold(field);
  const size_t colon = whole.find(':');
  if (colon == std::string::npos) return FoldField(EncodeHeaderValue(gw::NarrowToWide(whole), false));
  size_t valueStart = colon + 1;
  while (valueStart < whole.size() && (whole[valueStart] == ' ' || whole[valueStart] == '\t')) ++valueStart;
  const std::string name = whole.substr(0, colon);
  const gw::WideString value = gw::NarrowToWide(std::string_view(whole).substr(valueStart));
  return FoldField(name + ": " + EncodeHeaderValue(value, IsAddressField(Lower(name))));
}

bool IsDomain(const std::string& text) {
  if (text.empty()) return false;
  for (unsigned char c : text) {
    if (!std::isalnum(c) && c != '.' && c != '-') return false;
  }
  return true;
}

// The domain of the sender's address, else this machine's name: a mail
// client names its messages after the account it sends from.
std::string IdDomain(const std::vector<std::string>& fields) {
  for (const auto& f : fields) {
    if (FieldName(f) != "from") continue;
    std::string value = Unfold(f);
    size_t at = value.rfind('@');
    if (at == std::string::npos) break;
    size_t end = value.find_first_of("> \t", at);
    std::string domain = value.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
    if (IsDomain(domain)) return domain;
  }
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  return IsDomain(host) ? host : "localhost";
}

std::vector<std::string> GroupFields(const Lines& headerLines) {
  std::vector<std::string> fields;
  for (const auto& line : headerLines) {
    if (IsContinuation(line) && !fields.empty()) {
      fields.back() += "\n" + line;
    } else {
      fields.push_back(line);
    }
  }
  return fields;
}

bool HasField(const std::vector<std::string>& fields, const char* name) {
  for (const auto& f : fields) {
    if (FieldName(f) == name) return true;
  }
  return false;
}

// Breaks a line that would exceed 998 bytes into pieces that do not,
// before a space where the piece has one.
Lines ConvertBodyLine(const std::string& line) {
  if (IsAscii(line) && line.size() <= kMaxLine) return {line};
  const gw::WideString wide = gw::NarrowToWide(line);
  std::string whole = ToIso2022Jp(wide);
  if (whole.size() <= kMaxLine) return {whole};
  Lines pieces;
  size_t start = 0;
  while (start < wide.size()) {
    size_t end = std::min(wide.size(), start + kPieceChars);
    if (end < wide.size()) {
      size_t space = wide.rfind(u' ', end);
      if (space != gw::WideString::npos && space > start) end = space;
      if (wide[end - 1] >= 0xD800 && wide[end - 1] <= 0xDBFF) --end;  // keep a pair whole
    }
    pieces.push_back(ToIso2022Jp(gw::WideView(wide).substr(start, end - start)));
    start = end;
  }
  return pieces;
}

}  // namespace

std::string DateValue(std::time_t when) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm local{};
  localtime_r(&when, &local);
  long offset = local.tm_gmtoff / 60;
  const char sign = offset < 0 ? '-' : '+';
  if (offset < 0) offset = -offset;
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDays[local.tm_wday],
                local.tm_mday, kMonths[local.tm_mon], local.tm_year + 1900, local.tm_hour, local.tm_min,
                local.tm_sec, sign, offset / 60, offset % 60);
  return text;
}

std::string NewMessageId(const std::string& domain) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  char text[96];
  std::snprintf(text, sizeof text, "<%lld.%d.%u.%016llx@", static_cast<long long>(std::time(nullptr)),
                static_cast<int>(getpid()), g_idSequence++, static_cast<unsigned long long>(random()));
  return text + domain + ">";
}

std::string PrepareForOutbox(std::string_view message, std::time_t now) {
  const Lines lines = SplitLines(message);
  size_t blank = 0;
  while (blank < lines.size() && !lines[blank].empty()) ++blank;
  std::vector<std::string> fields = GroupFields(Lines(lines.begin(), lines.begin() + blank));

  std::string out;
  for (const auto& field : fields) {
    for (const auto& line : RewriteField(field)) out += line + "\n";
  }
  if (!HasField(fields, "date")) out += "Date: " + DateValue(now) + "\n";
  if (!HasField(fields, "message-id")) out += "Message-ID: " + NewMessageId(IdDomain(fields)) + "\n";
  for (size_t i = blank; i < lines.size(); ++i) {
    for (const auto& line : ConvertBodyLine(lines[i])) out += line + "\n";
  }
  return out;
}

}  // namespace gwhost
