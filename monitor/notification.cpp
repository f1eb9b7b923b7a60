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

}  // namespace

WideString ComposeNotification(const UsageReading& reading, WideView sender, WideView recipients,
                               WideView yahooBase64, WideView tepcoBase64) {
  const TextRegex regex;
  WideString text = NarrowToWide(LoadMailTemplate());
  text = regex.ReplaceText(text, u"__VAR__FROM", OneLine(sender));
  text = regex.ReplaceText(text, u"__VAR__ADDRESS", OneLine(recipients));
  // The percentage is unsigned and saturates at 4294967295 for absurd feed
  // values; passed through the signed ReplaceNumber it would read as a
  // negative percentage, so its unsigned decimal is inserted as text.
  text = regex.ReplaceText(text, u"__VAR__PERCENT", UnsignedDecimal(reading.percent));
  text = regex.ReplaceNumber(text, u"__VAR__USAGE", reading.usage);
  text = regex.ReplaceNumber(text, u"__VAR__CAPACITY", reading.capacity);
  text = regex.ReplaceNumber(text, u"__VAR__YEAR", reading.year);
  text = regex.ReplaceNumber(text, u"__VAR__MONTH", reading.month);
  text = regex.ReplaceNumber(text, u"__VAR__DAY", reading.day);
  text = regex.ReplaceNumber(text, u"__VAR__HOUR", reading.hour);
  text = regex.ReplaceText(text, u"__VAR__YAHOO", yahooBase64);
  text = regex.ReplaceText(text, u"__VAR__TEPCO", tepcoBase64);
  return text;
}

void QueueNotification(WideView message) {
  // The mailbox identifier ends in a separator; the outbox's name follows it.
  const WideString folder = NarrowToWide(host::GetCurrentMailBox()) + u"!!!!Outbox\\";
  host::AppendMessage(WideToNarrow(folder), WideToNarrow(message));
  host::Command(HostMainWindow(), "Deliver");
}

}  // namespace gw
