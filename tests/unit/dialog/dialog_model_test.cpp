#include "dialog/dialog_model.h"

#include <gtest/gtest.h>

#include "net/password.h"
#include "support/fake_host.h"

namespace {

using gw::WideString;

TEST(DialogModel, ListsAreExactlyTheOffers) {
  auto count = [](const char16_t* const* items) {
    int n = 0;
    while (items[n][0]) ++n;
    return n;
  };
  EXPECT_EQ(count(gw::kIntervalItems), 3);
  EXPECT_EQ(count(gw::kPercentItems), 21);
  EXPECT_EQ(count(gw::kMessagesItems), 6);
  EXPECT_EQ(WideString(gw::kPercentItems[20]), u"100");
  EXPECT_EQ(WideString(gw::kMessagesItems[5]), u"99");
}

TEST(DialogModel, StoredTextSelectsTheFirstItemItBegins) {
  struct Case {
    const char16_t* const* items;
    std::optional<WideString> stored;
    int index;
  } cases[] = {
      {gw::kPercentItems, u"90", 10},  {gw::kMessagesItems, u"9", 5},   {gw::kPercentItems, u"10", 20},
      {gw::kIntervalItems, u"45", -1}, {gw::kIntervalItems, u"", 0},    {gw::kIntervalItems, std::nullopt, -1},
      {gw::kIntervalItems, u"6", 2},   {gw::kPercentItems, u"8", 0},    {gw::kMessagesItems, u"100", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(gw::FindComboItem(c.items, c.stored), c.index);
  EXPECT_EQ(gw::ComboText(gw::kIntervalItems, -1), u"");
  EXPECT_EQ(gw::ComboText(gw::kIntervalItems, 7), u"");
}

class DialogModelStore : public ::testing::Test {
 protected:
  gwtest::FakeHost host;
  gw::SettingsStore store{gw::RegistryRoot::kCurrentUser, gw::kSettingsKeyPath};
};

TEST_F(DialogModelStore, LoadShowsTheStoredValuesAndResetsTheCount) {
  store.SetString(u"TUInterval", gw::WideView(u"60"));
  store.SetString(u"TUPercent", gw::WideView(u"95"));
  store.SetString(u"TUAddress", gw::WideView(u"a@example.jp, b@example.jp"));
  store.SetDword(u"TUPort", static_cast<uint32_t>(-1));
  store.SetDword(u"TUPause", 2);
  store.SetDword(u"TUCount", 3);
  store.SetString(u"TUPassword", gw::WideView(gw::ConvertPassword(u"pw", gw::kPasswordEncode)));
  gw::DialogValues v = gw::LoadDialogValues(store);
  EXPECT_EQ(v.interval, 2);
  EXPECT_EQ(v.percent, 15);
  EXPECT_EQ(v.messages, gw::kNoSelection);  // absent
  EXPECT_EQ(v.address, u"a@example.jp, b@example.jp");
  EXPECT_EQ(v.server, u"");
  EXPECT_EQ(v.port, u"-1");
  EXPECT_TRUE(v.pause);  // any value other than 0 shows checked
  EXPECT_EQ(v.password, u"pw");
  EXPECT_EQ(store.GetDword(u"TUCount"), 0u);
}

TEST_F(DialogModelStore, SaveStoresEveryFieldInItsForm) {
  gw::DialogValues v;
  v.interval = 0;
  v.percent = 20;
  v.messages = gw::kNoSelection;
  v.server = u"";
  v.port = u"  8080x";
  v.user = u"taro";
  v.password = u"秘密";
  v.pause = true;
  gw::SaveDialogValues(store, v);
  EXPECT_EQ(store.GetString(u"TUInterval"), WideString(u"15"));
  EXPECT_EQ(store.GetString(u"TUPercent"), WideString(u"100"));
  EXPECT_EQ(store.GetString(u"TUMessages"), std::nullopt);  // saved empty
  EXPECT_EQ(store.GetString(u"TUServer"), std::nullopt);
  EXPECT_EQ(store.GetDword(u"TUPort"), 8080u);
  EXPECT_EQ(store.GetDword(u"TUPause"), 1u);
  EXPECT_EQ(gw::ConvertPassword(gw::TextOrEmpty(store.GetString(u"TUPassword")), gw::kPasswordDecode), u"秘密");
  v.port = u"";
  v.password = u"";
  gw::SaveDialogValues(store, v);
  EXPECT_EQ(store.GetDword(u"TUPort"), 0u);
  EXPECT_EQ(store.GetString(u"TUPassword"), std::nullopt);
}

TEST_F(DialogModelStore, LongRecipientListIsSavedWhole) {
  gw::DialogValues v;
  for (int i = 0; i < 40; ++i) v.address += u"recipient" + gw::Utf8ToWide(std::to_string(i)) + u"@example.jp, ";
  ASSERT_GT(v.address.size(), 499u);
  gw::SaveDialogValues(store, v);
  EXPECT_EQ(store.GetString(u"TUAddress"), v.address);
}

}  // namespace
