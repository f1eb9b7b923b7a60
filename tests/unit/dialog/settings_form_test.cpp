#include "dialog/settings_form.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "net/password.h"
#include "support/fake_host.h"

namespace {

using gw::WideString;

class SettingsForm : public ::testing::Test {
 protected:
  void SetUp() override {
    store.SetString(u"TUInterval", gw::WideView(u"30"));
    store.SetString(u"TUPercent", gw::WideView(u"90"));
    store.SetString(u"TUMessages", gw::WideView(u"3"));
    store.SetString(u"TUServer", gw::WideView(u"127.0.0.1"));
    store.SetDword(u"TUPort", 8080);
    store.SetString(u"TUPassword", gw::WideView(gw::ConvertPassword(u"hidden", gw::kPasswordEncode)));
    store.SetDword(u"TUCount", 2);
    store.SetDword(u"TULastHour", 12);
  }

  int Run(const std::string& input) {
    std::istringstream in(input);
    output.str("");
    return gw::RunSettingsForm(in, output, store, [this](int32_t testMail) { started.push_back(testMail); }, false);
  }

  gwtest::FakeHost host;
  gw::SettingsStore store{gw::RegistryRoot::kCurrentUser, gw::kSettingsKeyPath};
  std::ostringstream output;
  std::vector<int32_t> started;
};

TEST_F(SettingsForm, EndsAsTheDialogEnds) {
  struct Case {
    const char* input;
    int result;
    std::vector<int32_t> started;
    const char16_t* interval;  // stored afterwards
    uint32_t lastHour;
  } cases[] = {
      {"interval=60\nok\n", gw::kFormConfirmed, {0}, u"60", 88},
      {"interval=60\r\n  ok  \r\n", gw::kFormConfirmed, {0}, u"60", 88},
      {"interval=60\ncancel\nok\n", gw::kFormCancelled, {}, u"30", 12},
      {"interval=60\n", gw::kFormCancelled, {}, u"30", 12},  // the end of the input cancels
      // The test mail stores the entries first; a later cancel keeps them.
      {"interval=60\ntest\ncancel\n", gw::kFormCancelled, {1}, u"60", 12},
      {"test\ninterval=15\nok\n", gw::kFormConfirmed, {1, 0}, u"15", 88},
  };
  for (const auto& c : cases) {
    SetUp();
    started.clear();
    EXPECT_EQ(Run(c.input), c.result) << c.input;
    EXPECT_EQ(started, c.started) << c.input;
    EXPECT_EQ(store.GetString(u"TUInterval"), WideString(c.interval)) << c.input;
    EXPECT_EQ(store.GetDword(u"TULastHour"), c.lastHour) << c.input;
    // Opening resets the day's count, whatever follows.
    EXPECT_EQ(store.GetDword(u"TUCount"), 0u) << c.input;
  }
}

TEST_F(SettingsForm, RefusesWhatTheDialogsControlsCannotHold) {
  const char* refused[] = {"interval=45", "percent=79", "messages=6", "port=80a", "port= 80", "pause=2", "colour=red"};
  std::string input;
  for (const char* line : refused) input += std::string(line) + "\n";
  EXPECT_EQ(Run(input + "frobnicate\nok\n"), gw::kFormConfirmed);
  std::string shown = output.str();
  for (const char* what : {"interval takes one of: 15 30 60", "percent takes one of: 80 ... 100", "port takes digits",
                           "pause takes 0 or 1", "no field 'colour'", "unknown command 'frobnicate'"}) {
    EXPECT_NE(shown.find(what), std::string::npos) << what;
  }
  EXPECT_EQ(store.GetString(u"TUInterval"), WideString(u"30"));
  EXPECT_EQ(store.GetString(u"TUPercent"), WideString(u"90"));
  EXPECT_EQ(store.GetString(u"TUMessages"), WideString(u"3"));
  EXPECT_EQ(store.GetDword(u"TUPort"), 8080u);
  EXPECT_EQ(store.GetDword(u"TUPause"), 0u);
}

TEST_F(SettingsForm, StoresEveryEditInItsSettingsForm) {
  EXPECT_EQ(Run("percent=100\nmessages=99\naddress=a@example.jp, b=c@example.jp\nserver=\nport=\n"
                "user=taro\npassword=秘密\npause=1\nok\n"),
            gw::kFormConfirmed);
  EXPECT_EQ(store.GetString(u"TUPercent"), WideString(u"100"));
  EXPECT_EQ(store.GetString(u"TUMessages"), WideString(u"99"));
  EXPECT_EQ(store.GetString(u"TUAddress"), WideString(u"a@example.jp, b=c@example.jp"));
  EXPECT_EQ(store.GetString(u"TUServer"), std::nullopt);  // stored empty
  EXPECT_EQ(store.GetDword(u"TUPort"), 0u);
  EXPECT_EQ(store.GetString(u"TUUser"), WideString(u"taro"));
  EXPECT_EQ(gw::ConvertPassword(gw::TextOrEmpty(store.GetString(u"TUPassword")), gw::kPasswordDecode), u"秘密");
  EXPECT_EQ(store.GetDword(u"TUPause"), 1u);
}

TEST_F(SettingsForm, ShowsTheStoredValuesWithThePasswordMasked) {
  Run("show\n");
  std::string shown = output.str();
  for (const char* line : {"interval = 30 ", "percent  = 90 ", "messages = 3 ", "server   = 127.0.0.1 ",
                           "port     = 8080 ", "password = ****** ", "pause    = 0 "}) {
    EXPECT_NE(shown.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(shown.find("hidden"), std::string::npos);
  // "show" prints the whole form a second time.
  EXPECT_NE(shown.find("Gridwren", shown.find("pause") + 1), std::string::npos);
}

}  // namespace
