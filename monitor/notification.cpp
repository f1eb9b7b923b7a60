#include "monitor/notification.h"

#include <string>

#include "monitor/mail_template.h"
#include "hostapi/host_calls.h"
#include "core/context.h"
#include "text/text_regex.h"

namespace gw {
namespace {

// The sender and the recipients are inserted into the From, Return-Path and
// To lines. A line break typed into the recipients setting would otherwise
// end the header line and start one of the user's making (a Bcc, or a
// second Content-Type that changes how the mail is read), so each CR and LF
// becomes a space. A zero character becomes a space too: the message crosses
// to the host as a zero-terminated text and would be cut off there.
WideString OneLine(WideView text) {
  WideString line(text);
  for (char16_t& c : line) {
    if (c == u'\r' || c == u'\n' || c == u'\0') c = u' ';
  }
  return line;
}

WideString UnsignedDecimal(uint32_t value) {
  const std::string digits = std::to_string(value);
  return WideString(digits.begin(), digits.end());
}

// The template as wide text; an empty template is no mail either.
WideString LoadTemplateText() {
  const std::string bytes = LoadMailTemplate();
  if (bytes.empty()) throw HResultError(kEFail);
  WideString text;
  ThrowIfFailed(NarrowToWideNoThrow(bytes, &text));
  return text;
}

// One step of the composition, on the text the previous step produced.
class Composer {
 public:
  explicit Composer(WideString text) : text_(std::move(text)) {}

  void Fill(WideView placeholder, WideView value) {
    WideString next;
    ThrowIfFailed(regex_.ReplaceTextNoThrow(text_, placeholder, value, &next));
    text_ = std::move(next);
  }
  void Fill(WideView placeholder, int32_t value) {
    WideString next;
    ThrowIfFailed(regex_.ReplaceNumberNoThrow(text_, placeholder, value, &next));
    text_ = std::move(next);
  }
  WideString Take() { return std::move(text_); }

 private:
  const TextRegex regex_{};
  WideString text_;
};

std::string ForHost(WideView text) {
  std::string narrow;
  ThrowIfFailed(WideToNarrowNoThrow(text, &narrow));
  return narrow;
}

}  // namespace

WideString ComposeNotification(const UsageReading& reading, WideView sender, WideView recipients,
                               WideView yahooBase64, WideView tepcoBase64) {
  Composer mail(LoadTemplateText());
  mail.Fill(u"__VAR__FROM", OneLine(sender));
  mail.Fill(u"__VAR__ADDRESS", OneLine(recipients));
  // The percentage is unsigned and saturates at 4294967295 for absurd feed
  // values; passed through the signed ReplaceNumber it would read as a
  // negative percentage, so its unsigned decimal is inserted as text.
  mail.Fill(u"__VAR__PERCENT", UnsignedDecimal(reading.percent));
  mail.Fill(u"__VAR__USAGE", reading.usage);
  mail.Fill(u"__VAR__CAPACITY", reading.capacity);
  mail.Fill(u"__VAR__YEAR", reading.year);
  mail.Fill(u"__VAR__MONTH", reading.month);
  mail.Fill(u"__VAR__DAY", reading.day);
  mail.Fill(u"__VAR__HOUR", reading.hour);
  mail.Fill(u"__VAR__YAHOO", yahooBase64);
  mail.Fill(u"__VAR__TEPCO", tepcoBase64);
  return mail.Take();
}

void QueueNotification(WideView message) {
  // The mailbox identifier ends in a separator; the outbox's name follows it.
  WideString mailBox;
  ThrowIfFailed(NarrowToWideNoThrow(host::GetCurrentMailBox(), &mailBox));
  const std::string folder = ForHost(mailBox + u"!!!!Outbox\\");
  const std::string text = ForHost(message);
  host::AppendMessage(folder, text);
  host::Command(HostMainWindow(), "Deliver");
}

}  // namespace gw
