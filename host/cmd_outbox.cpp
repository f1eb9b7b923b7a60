// "outbox": the messages that the plug-in queued, as a mail client's outbox
// view shows them.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "host/cli.h"
#include "host/mail_charset.h"
#include "host/mime_header.h"
#include "host/mime_reader.h"

namespace gwhost {
namespace {

namespace fs = std::filesystem;

struct Stored {
  std::string name;
  fs::path path;
};

// Maildir keeps unread messages in new/ and seen ones in cur/.
std::vector<Stored> StoredMessages(const Profile& profile) {
  std::vector<Stored> found;
  for (const char* sub : {"new", "cur"}) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(profile.Outbox() + "/" + sub, ec)) {
      const std::string name = entry.path().filename().string();
      if (name.empty() || name[0] == '.' || !entry.is_regular_file(ec)) continue;
      found.push_back({name, entry.path()});
    }
  }
  std::sort(found.begin(), found.end(), [](const Stored& a, const Stored& b) { return a.name < b.name; });
  return found;
}

bool ReadWhole(const fs::path& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  *text = buffer.str();
  return static_cast<bool>(in) || in.eof();
}

// Decoded text may hold anything; control characters must not reach the
// terminal. `keepLines` lets line ends and tabs of a body through.
std::string Printable(std::string text, bool keepLines) {
  for (char& c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    bool control = u < 0x20 || u == 0x7F;
    if (control && !(keepLines && (c == '\n' || c == '\t'))) c = ' ';
  }
  return text;
}

std::string Header(const MimeEntity& m, const char* name) {
  return Printable(DecodeHeaderValue(m.Field(name)), false);
}

int List(const Invocation& inv) {
  for (const auto& s : StoredMessages(inv.profile)) {
    std::string text;
    if (!ReadWhole(s.path, &text)) return Fail(kExitFailure, "outbox: cannot read " + s.path.string());
    const MimeEntity m = ParseMessage(text);
    std::cout << s.name << '\t' << Header(m, "Subject") << '\t' << Header(m, "To") << '\t' << text.size()
              << " bytes\n";
  }
  return kExitOk;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

void ShowPart(const MimeEntity& part, std::ostream& out) {
  if (!part.parts.empty()) {
    for (const auto& p : part.parts) ShowPart(p, out);
    return;
  }
  const std::string type = part.MediaType();
  const std::string charset = part.Parameter("charset");
  const std::string body = DecodedBody(part);
  const std::string label = type + (charset.empty() ? "" : "; charset=" + charset);
  if (type == "text/plain") {
    out << "--- " << label << " ---\n" << Printable(CharsetToUtf8(body, charset), true);
    out << (!body.empty() && body.back() != '\n' ? "\n\n" : "\n");
  } else if (type == "text/html") {
    const std::string lower = Lower(body);
    out << "--- " << label << ": " << body.size() << " bytes, " << Count(lower, "<img") << " images, "
        << Count(lower, "src=\"data:image/") << " of them embedded ---\n";
  } else {
    out << "--- " << label << ": " << body.size() << " bytes ---\n";
  }
}

int Show(const Invocation& inv, const std::string& name) {
  for (const auto& s : StoredMessages(inv.profile)) {
    if (s.name != name) continue;
    std::string text;
    if (!ReadWhole(s.path, &text)) return Fail(kExitFailure, "outbox show: cannot read " + s.path.string());
    const MimeEntity m = ParseMessage(text);
    std::cout << "File: " << s.path.string() << " (" << text.size() << " bytes)\n";
    for (const auto& field : m.fields) {
      size_t colon = field.find(':');
      std::string value = colon == std::string::npos ? field : field.substr(colon + 1);
      std::string shown = colon == std::string::npos ? "" : field.substr(0, colon + 1);
      std::cout << Printable(shown + DecodeHeaderValue(value), false) << '\n';
    }
    std::cout << '\n';
    ShowPart(m, std::cout);
    return kExitOk;
  }
  return Fail(kExitFailure, "outbox show: no message '" + name + "' in " + inv.profile.Outbox() +
                                " (see 'gridwren-host outbox' for the list)");
}

int RunOutbox(const Invocation& inv) {
  const auto& a = inv.args;
  if (a.empty()) return List(inv);
  if (a[0] == "show" && a.size() == 2) return Show(inv, a[1]);
  if (a[0] == "show") return Fail(kExitUsage, "outbox show: give one message file name (see outbox --help)");
  return Fail(kExitUsage, "outbox: unexpected argument '" + a[0] + "' (see outbox --help)");
}

}  // namespace

Command OutboxCommand() {
  return {"outbox", "list the messages queued in the outbox, or show one decoded",
          "usage: gridwren-host [--profile DIR] outbox\n"
          "       gridwren-host [--profile DIR] outbox show FILE\n"
          "\n"
          "Without arguments, lists the messages waiting in the mailbox's outbox (a\n"
          "Maildir: new/ and cur/), oldest first, one line each with tab-separated\n"
          "fields: file name, Subject, To (both decoded) and size in bytes.\n"
          "\n"
          "'show FILE' prints the message FILE (a name from the list) decoded: every\n"
          "header field with its encoded words decoded, the text part converted to\n"
          "UTF-8, and a summary of the HTML part (size, images, embedded images).\n"
          "\n"
          "Exit status: 0 done, 1 no such message or unreadable, 2 bad usage.\n",
          true, RunOutbox};
}

}  // namespace gwhost
