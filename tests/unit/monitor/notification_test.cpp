#include "monitor/notification.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostapi/host_api.h"
#include "plugin/plugin.h"
#include "support/allocation_limit.h"
#include "support/fake_host.h"

namespace gw {
namespace {

const UsageReading kReading{3601, 4003, 2011, 6, 1, 9, 90};

std::vector<std::string> Lines(const WideString& message) {
  const std::string text = WideToUtf8(message);
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  lines.push_back(text.substr(start));
  return lines;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

WideString Compose(const UsageReading& r, const std::string& sender, const std::string& recipients) {
  return ComposeNotification(r, Utf8ToWide(sender), Utf8ToWide(recipients), u"R0lGODlhAQAB\r\nAAAA\r\n",
                             u"R0lGODlhAgAC\r\n");
}

TEST(ComposeNotification, FillsEveryPlaceholderWithTheReading) {
  const WideString message = Compose(kReading, "gw@example.jp", "a@example.jp, b@example.jp;c@example.jp");
  const std::string text = WideToUtf8(message);
  const std::vector<std::string> lines = Lines(message);
  EXPECT_EQ(Count(text, "__VAR__"), 0u);
  EXPECT_EQ(Count(text, "gw@example.jp"), 2u);
  EXPECT_EQ(lines[1], " <gw@example.jp>");
  EXPECT_EQ(lines[2], "Return-Path: <gw@example.jp>");
  EXPECT_EQ(lines[3], "To: a@example.jp, b@example.jp;c@example.jp");
  EXPECT_EQ(lines[5], " 90%");
  EXPECT_EQ(Count(text, "90%"), 3u);
  EXPECT_EQ(Count(text, "3601"), 2u);
  EXPECT_EQ(Count(text, "4003"), 2u);
  EXPECT_EQ(lines[18], "現在の消費電力 = 3601 万キロワット");
  EXPECT_EQ(lines[20], "使用率 = 90%");
  EXPECT_EQ(lines[21], "更新日時 = 2011年6月1日 9時");
  EXPECT_EQ(Count(text, "2011年6月1日 9時"), 2u);
  EXPECT_NE(text.find("更新日時 = 2011年6月1日 9時<br/>\r\n"), std::string::npos);
  // The Base64 texts go in as the host wrote them, line ends and all.
  EXPECT_NE(text.find("base64,\r\nR0lGODlhAQAB\r\nAAAA\r\n\r\n\"/>"), std::string::npos);
  EXPECT_NE(text.find("base64,\r\nR0lGODlhAgAC\r\n\r\n\"/>"), std::string::npos);
  const std::string ending = "--------_4D901479000000007F9E_MULTIPART_ALTERNATIVE_--\r\n\r\n";
  EXPECT_EQ(text.substr(text.size() - ending.size()), ending);
}

// The code of the first failing step, or S_OK when composing succeeded.
template <typename Step>
HResult CodeOf(Step step) {
  try {
    step();
    return kSOk;
  } catch (const HResultError& e) {
    return e.code();
  }
}

// A replacement that runs out of memory gives no mail at all, never a mail
// with an empty body or a missing image.
TEST(ComposeNotification, RaisesAFailedReplacementInsteadOfComposingPartOfTheMail) {
  const WideString image(1 << 20, u'Q');
  HResult code;
  {
    gwtest::AllocationLimit limit(1 << 20);
    code = CodeOf([&] { ComposeNotification(kReading, u"gw@example.jp", u"a@example.jp", image, u"R0lG"); });
  }
  EXPECT_EQ(code, kEOutOfMemory);
  EXPECT_GT(gwtest::AllocationLimit::Refused(), 0u);
  EXPECT_EQ(CodeOf([&] { ComposeNotification(kReading, u"gw@example.jp", u"a@example.jp", image, u"R0lG"); }),
            kSOk);
}

TEST(ComposeNotification, InsertsAddressesLiterallyOnTheirOwnHeaderLines) {
  struct Case {
    std::string sender, recipients, fromLine, toLine;
  };
  const Case cases[] = {
      {"a$1@example.jp", "x$&@example.jp, $$y@example.jp, $<n>", " <a$1@example.jp>",
       "To: x$&@example.jp, $$y@example.jp, $<n>"},
      {"gw@example.jp", "a@example.jp\r\nBcc: spy@example.jp", " <gw@example.jp>",
       "To: a@example.jp  Bcc: spy@example.jp"},
      {"gw@example.jp\nX-Injected: 1", "a@example.jp\n\nbody", " <gw@example.jp X-Injected: 1>",
       "To: a@example.jp  body"},
      {"gw@example.jp", std::string("a@example.jp\0b@example.jp", 25), " <gw@example.jp>",
       "To: a@example.jp b@example.jp"},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> lines = Lines(Compose(kReading, c.sender, c.recipients));
    ASSERT_EQ(lines.size(), 89u) << c.recipients;  // 85, 3 Base64 lines and the end
    EXPECT_EQ(lines[1], c.fromLine);
    EXPECT_EQ(lines[3], c.toLine);
    EXPECT_EQ(lines[4].rfind("Subject: ", 0), 0u);
    EXPECT_EQ(lines[9], "") << "the header must end where the template ends it";
  }
}

TEST(ComposeNotification, WritesPercentagesBeyondTheSignedRangeUnsigned) {
  UsageReading r = kReading;
  for (uint32_t percent : {0u, 2147483648u, 4294967295u}) {
    r.percent = percent;
    const std::string text = WideToUtf8(Compose(r, "gw@example.jp", "a@example.jp"));
    EXPECT_EQ(Count(text, " " + std::to_string(percent) + "%\r\n"), 2u) << percent;
    EXPECT_EQ(Count(text, "= " + std::to_string(percent) + "%<br/>"), 1u) << percent;
    EXPECT_EQ(text.find("-2147483648"), std::string::npos);
  }
}

// The fake host's Command, with the window it was given and whether the
// message was already appended by then.
struct CommandCall {
  std::string command;
  HostWindow window;
  size_t appendedBefore;
};
std::vector<CommandCall> g_commands;
int g_window;

int32_t GW_CALL RecordCommand(HostWindow window, const char* command) {
  g_commands.push_back({command, window, gwtest::CurrentFakeHost()->appended.size()});
  return 0;
}

int32_t GW_CALL WindowHandles(HostWindow* main, HostWindow* tree, HostWindow* list, HostWindow* view) {
  *main = &g_window;
  *tree = *list = *view = nullptr;
  return 1;
}

TEST(QueueNotification, AppendsToTheOutboxThenDelivers) {
  gwtest::FakeHost host;
  TheHostApi().Command = reinterpret_cast<HostProc>(&RecordCommand);
  TheHostApi().GetWindowHandles = reinterpret_cast<HostProc>(&WindowHandles);
  LearnHostContext();
  g_commands.clear();

  const WideString message = Utf8ToWide("Subject: テスト\r\n\r\n本文\r\n");
  QueueNotification(message);
  ASSERT_EQ(host.appended.size(), 1u);
  EXPECT_EQ(host.appended[0].folder, "MailBox1/!!!!Outbox\\");
  EXPECT_EQ(host.appended[0].text, WideToNarrow(message));
  ASSERT_EQ(g_commands.size(), 1u);
  EXPECT_EQ(g_commands[0].command, "Deliver");
  EXPECT_EQ(g_commands[0].window, &g_window);
  EXPECT_EQ(g_commands[0].appendedBefore, 1u);

  // A mailbox whose name is Japanese reaches the host in the code page.
  host.mailBox = WideToNarrow(Utf8ToWide("受信箱/"));
  QueueNotification(message);
  ASSERT_EQ(host.appended.size(), 2u);
  EXPECT_EQ(host.appended[1].folder, WideToNarrow(Utf8ToWide("受信箱/!!!!Outbox\\")));

  // A message that cannot be converted for the host reaches it not at all:
  // neither an empty message nor a "Deliver".
  const WideString huge(1 << 20, u'Q');
  HResult code;
  {
    gwtest::AllocationLimit limit(1 << 20);
    code = CodeOf([&] { QueueNotification(huge); });
  }
  EXPECT_EQ(code, kEOutOfMemory);
  EXPECT_EQ(host.appended.size(), 2u);
  EXPECT_EQ(g_commands.size(), 2u);
}

}  // namespace
}  // namespace gw
