#include "dialog/dialog_model.h"

#include <string>

#include "net/password.h"

namespace gw {

const char16_t* const kIntervalItems[] = {u"15", u"30", u"60", u""};
const char16_t* const kPercentItems[] = {u"80", u"81", u"82", u"83", u"84", u"85", u"86", u"87",
                                         u"88", u"89", u"90", u"91", u"92", u"93", u"94", u"95",
                                         u"96", u"97", u"98", u"99", u"100", u""};
const char16_t* const kMessagesItems[] = {u"1", u"2", u"3", u"4", u"5", u"99", u""};

namespace {

char16_t Lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool StartsWithIgnoringCase(WideView text, WideView prefix) {
  if (prefix.size() > text.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (Lower(text[i]) != Lower(prefix[i])) return false;
  }
  return true;
}

WideString Decimal(int32_t value) { return Utf8ToWide(std::to_string(value)); }

}  // namespace

int FindComboItem(const char16_t* const items[], const std::optional<WideString>& stored) {
  if (!stored) return kNoSelection;
  for (int i = 0; items[i][0] != u'\0'; ++i) {
    if (StartsWithIgnoringCase(items[i], *stored)) return i;
  }
  return kNoSelection;
}

WideString ComboText(const char16_t* const items[], int index) {
  if (index < 0) return {};
  for (int i = 0; items[i][0] != u'\0'; ++i) {
    if (i == index) return items[i];
  }
  return {};
}

DialogValues LoadDialogValues(const SettingsStore& s) {
  DialogValues v;
  v.interval = FindComboItem(kIntervalItems, s.GetString(setting::kInterval));
  v.percent = FindComboItem(kPercentItems, s.GetString(setting::kPercent));
  v.messages = FindComboItem(kMessagesItems, s.GetString(setting::kMessages));
  v.address = TextOrEmpty(s.GetString(setting::kAddress));
  v.server = TextOrEmpty(s.GetString(setting::kServer));
  v.port = Decimal(static_cast<int32_t>(s.GetDword(setting::kPort)));
  v.user = TextOrEmpty(s.GetString(setting::kUser));
  v.pause = s.GetDword(setting::kPause) != 0;
  v.password = ConvertPassword(TextOrEmpty(s.GetString(setting::kPassword)), kPasswordDecode);
  s.SetDword(setting::kCount, 0);
  return v;
}

void SaveDialogValues(const SettingsStore& s, const DialogValues& v) {
  s.SetString(setting::kInterval, WideView(ComboText(kIntervalItems, v.interval)));
  s.SetString(setting::kPercent, WideView(ComboText(kPercentItems, v.percent)));
  s.SetString(setting::kMessages, WideView(ComboText(kMessagesItems, v.messages)));
  s.SetString(setting::kAddress, WideView(v.address));
  s.SetString(setting::kServer, WideView(v.server));
  s.SetDword(setting::kPort, static_cast<uint32_t>(ParseDecimal(v.port)));
  s.SetString(setting::kUser, WideView(v.user));
  s.SetDword(setting::kPause, v.pause ? 1 : 0);
  s.SetString(setting::kPassword, WideView(ConvertPassword(v.password, kPasswordEncode)));
}

void ResetAfterConfirm(const SettingsStore& s) {
  s.SetDword(setting::kCount, 0);
  s.SetDword(setting::kLastHour, 88);
}

}  // namespace gw
