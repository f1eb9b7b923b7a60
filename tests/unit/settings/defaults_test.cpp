#include "settings/defaults.h"

#include <gtest/gtest.h>

#include <fstream>

#include "settings/profile_file.h"
#include "support/fake_host.h"

namespace {

using gw::WideString;

class DefaultsTest : public ::testing::Test {
 protected:
  gwtest::FakeHost host;
  gw::SettingsStore store{gw::RegistryRoot::kCurrentUser, gw::kSettingsKeyPath};
};

TEST_F(DefaultsTest, FirstStartWritesAllTwelveDefaults) {
  host.WriteMailBoxIni("hanako@example.jp");
  gw::InitDefaults(store);
  EXPECT_EQ(gw::AccountAddress(), u"hanako@example.jp");
  EXPECT_EQ(store.GetString(u"TUAddress"), WideString(u"hanako@example.jp"));
  EXPECT_EQ(store.GetString(u"TUInterval"), WideString(u"30"));
  EXPECT_EQ(store.GetString(u"TUPercent"), WideString(u"90"));
  EXPECT_EQ(store.GetString(u"TUMessages"), WideString(u"3"));
  for (auto name : {u"TUServer", u"TUUser", u"TUPassword"}) {
    EXPECT_EQ(store.GetString(name), std::nullopt) << gw::WideToUtf8(name);
    EXPECT_EQ(store.EnsureString(name, u"x"), 0);  // zero-length, so filled now
  }
  EXPECT_EQ(store.GetDword(u"TUPort"), 80u);
  EXPECT_EQ(store.GetDword(u"TUPause"), 0u);
  EXPECT_EQ(store.GetDword(u"TULastDay"), 99u);
  EXPECT_EQ(store.GetDword(u"TULastHour"), 99u);
  EXPECT_EQ(store.GetDword(u"TUCount"), 0u);
}

TEST_F(DefaultsTest, ExistingValuesAreKept) {
  host.WriteMailBoxIni("new@example.jp");
  store.SetString(u"TUAddress", gw::WideView(u"old@example.jp"));
  store.SetString(u"TUInterval", gw::WideView(u"60"));
  store.SetDword(u"TUPort", 3128);
  store.SetDword(u"TUCount", 2);
  gw::InitDefaults(store);
  EXPECT_EQ(store.GetString(u"TUAddress"), WideString(u"old@example.jp"));
  EXPECT_EQ(store.GetString(u"TUInterval"), WideString(u"60"));
  EXPECT_EQ(store.GetDword(u"TUPort"), 3128u);
  EXPECT_EQ(store.GetDword(u"TUCount"), 2u);
  // The sender is still the account's current address.
  EXPECT_EQ(gw::AccountAddress(), u"new@example.jp");
}

TEST_F(DefaultsTest, AddressMissingThenAddedAtNextStart) {
  host.WriteMailBoxIni("");
  gw::InitDefaults(store);
  EXPECT_EQ(gw::AccountAddress(), u"");
  EXPECT_EQ(store.GetString(u"TUAddress"), std::nullopt);
  host.WriteMailBoxIni("later@example.jp");
  gw::InitDefaults(store);
  EXPECT_EQ(store.GetString(u"TUAddress"), WideString(u"later@example.jp"));
}

TEST_F(DefaultsTest, LongAddressIsKeptWhole) {
  // A mail address may have up to 254 characters; cutting it would give a
  // wrong sender and a wrong default recipient.
  std::string address = std::string(64, 'a') + "@" + std::string(185, 'b') + ".jp";
  ASSERT_EQ(address.size(), 253u);
  host.WriteMailBoxIni(address);
  gw::InitDefaults(store);
  EXPECT_EQ(gw::WideToUtf8(gw::AccountAddress()), address);
  EXPECT_EQ(store.GetString(u"TUAddress"), gw::Utf8ToWide(address));
}

TEST_F(DefaultsTest, NoSettingsKeyChangesNothingAndStillLearnsTheAddress) {
  host.WriteMailBoxIni("a@example.jp");
  host.DeleteSettingsKey();
  gw::InitDefaults(store);
  EXPECT_EQ(gw::AccountAddress(), u"a@example.jp");
  EXPECT_EQ(store.GetDword(u"TUPort"), 0u);
}

TEST(ProfileFile, ReadsLikeTheWindowsProfileFunctions) {
  gwtest::ScratchDir dir;
  std::string file = dir.path() + "/MailBox.ini";
  std::ofstream(file, std::ios::binary) << "; comment\r\n[General]\r\nMailAddress=wrong@x\r\n"
                                           "[ account ]\r\n  mailaddress =  \"quoted@x.jp\"  \r\n"
                                           "MailAddress=second@x\r\n[Other]\r\nKey=v\r\n";
  auto read = [&](const char16_t* section, const char16_t* key) {
    return gw::ReadProfileString(section, key, u"dflt", gw::Utf8ToWide(file));
  };
  EXPECT_EQ(read(u"Account", u"MailAddress"), u"quoted@x.jp");
  EXPECT_EQ(read(u"Account", u"Missing"), u"dflt");
  EXPECT_EQ(read(u"Missing", u"MailAddress"), u"dflt");
  EXPECT_EQ(read(u"Other", u"Key"), u"v");
  EXPECT_EQ(gw::ReadProfileString(u"Account", u"MailAddress", u"", gw::Utf8ToWide(dir.path() + "/none.ini")),
            u"");
}

TEST(ProfileFile, ValueIsTextInTheSystemCodePage) {
  gwtest::ScratchDir dir;
  std::string file = dir.path() + "/MailBox.ini";
  // "太郎" in CP932.
  std::ofstream(file, std::ios::binary) << "[Account]\r\nName=\x91\xBE\x98\x59\r\n";
  EXPECT_EQ(gw::ReadProfileString(u"Account", u"Name", u"", gw::Utf8ToWide(file)), u"太郎");
}

}  // namespace
