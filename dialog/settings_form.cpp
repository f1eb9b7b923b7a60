#include "dialog/settings_form.h"

#include <istream>
#include <ostream>
#include <string>

#include "dialog/dialog_model.h"

namespace gw {
namespace {

// A drop-down list of the dialog: its field name, items and label.
struct ListField {
  const char* name;
  const char16_t* const* items;
  int DialogValues::*index;
  const char16_t* label;
};

// An edit field of the dialog.
struct TextField {
  const char* name;
  WideString DialogValues::*text;
  const char16_t* label;
};

const ListField kLists[] = {
    {"interval", kIntervalItems, &DialogValues::interval, u"分ごとに確認し、電力使用率"},
    {"percent", kPercentItems, &DialogValues::percent, u"% に達したらメールで知らせる。"},
    {"messages", kMessagesItems, &DialogValues::messages, u"１日当たりに送信するメールの数は最大 … 回までにする。"},
};

const TextField kAddressField = {"address", &DialogValues::address, u"メールアドレス(複数可):"};
const TextField kProxyFields[] = {
    {"server", &DialogValues::server, u"プロキシサーバー:"},
    {"port", &DialogValues::port, u"ポート:"},
    {"user", &DialogValues::user, u"ユーザー名:"},
    {"password", &DialogValues::password, u"パスワード:"},
};
constexpr char kPauseField[] = "pause";

constexpr char kCommands[] =
    "FIELD=VALUE changes a field; \"ok\" saves and closes, \"cancel\" closes without saving,\n"
    "\"test\" saves and sends a test mail, \"show\" shows the form again.\n";

// The items of a list; a long run of numbers shows as its ends.
std::string Choices(const char16_t* const items[]) {
  int count = 0;
  while (items[count][0] != u'\0') ++count;
  if (count > 8) return WideToUtf8(items[0]) + " ... " + WideToUtf8(items[count - 1]);
  std::string out;
  for (int i = 0; i < count; ++i) out += (i ? " " : "") + WideToUtf8(items[i]);
  return out;
}

void PrintLine(std::ostream& out, const char* name, std::string value, const std::u16string& note) {
  std::string field = name;
  field.resize(8, ' ');
  if (value.size() < 16) value.resize(16, ' ');
  out << "  " << field << " = " << value << "  # " << WideToUtf8(note) << '\n';
}

// The password field shows one mask character per character, as the
// dialog's password field does.
std::string Shown(const TextField& field, const DialogValues& v) {
  const WideString& text = v.*field.text;
  return field.text == &DialogValues::password ? std::string(text.size(), '*') : WideToUtf8(text);
}

void PrintForm(std::ostream& out, const DialogValues& v) {
  out << WideToUtf8(u"Gridwrenの設定") << '\n' << WideToUtf8(u"モニタリング") << '\n';
  for (const auto& list : kLists) {
    PrintLine(out, list.name, WideToUtf8(ComboText(list.items, v.*list.index)),
              std::u16string(list.label) + u" (" + Utf8ToWide(Choices(list.items)) + u")");
  }
  out << WideToUtf8(u"送付先") << '\n';
  PrintLine(out, kAddressField.name, Shown(kAddressField, v), kAddressField.label);
  out << WideToUtf8(u"プロキシ") << '\n';
  for (const auto& field : kProxyFields) PrintLine(out, field.name, Shown(field, v), field.label);
  out << WideToUtf8(u"動作") << '\n';
  PrintLine(out, kPauseField, v.pause ? "1" : "0", u"モニタリングを一時的に停止する (0, 1)");
  out << kCommands;
}

bool IsDigits(const std::string& text) { return text.find_first_not_of("0123456789") == std::string::npos; }

WideString* TextOf(DialogValues& v, const std::string& name) {
  if (name == kAddressField.name) return &(v.*kAddressField.text);
  for (const auto& field : kProxyFields) {
    if (name == field.name) return &(v.*field.text);
  }
  return nullptr;
}

std::string SelectItem(DialogValues& v, const ListField& list, const std::string& value) {
  for (int i = 0; list.items[i][0] != u'\0'; ++i) {
    if (Utf8ToWide(value) == list.items[i]) {
      v.*list.index = i;
      return {};
    }
  }
  return std::string(list.name) + " takes one of: " + Choices(list.items);
}

// Applies one edit; returns what is wrong with it, or empty text.
std::string Edit(DialogValues& v, const std::string& name, const std::string& value) {
  for (const auto& list : kLists) {
    if (name == list.name) return SelectItem(v, list, value);
  }
  if (name == kPauseField) {
    if (value != "0" && value != "1") return "pause takes 0 or 1";
    v.pause = value == "1";
    return {};
  }
  WideString* text = TextOf(v, name);
  if (text == nullptr) return "no field '" + name + "'";
  // The port field, like the dialog's, takes digits only.
  if (name == "port" && !IsDigits(value)) return "port takes digits only";
  *text = Utf8ToWide(value);
  return {};
}

std::string Trimmed(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return {};
  return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

}  // namespace

int RunSettingsForm(std::istream& in, std::ostream& out, const SettingsStore& settings,
                    const CheckStarter& startCheck, bool prompt) {
  DialogValues values = LoadDialogValues(settings);
  PrintForm(out, values);
  std::string line;
  while (out << (prompt ? "> " : "") << std::flush, std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string command = Trimmed(line);
    size_t equals = line.find('=');
    if (command == "ok") {
      SaveDialogValues(settings, values);
      ResetAfterConfirm(settings);
      out << "settings saved\n";
      startCheck(0);
      return kFormConfirmed;
    }
    if (command == "cancel") break;
    if (command == "show") {
      PrintForm(out, values);
    } else if (command == "test") {
      // As the dialog's test button: the entries are stored first, even if
      // the form is cancelled afterwards.
      SaveDialogValues(settings, values);
      out << "sending a test mail\n" << std::flush;
      startCheck(1);
    } else if (equals != std::string::npos) {
      std::string error = Edit(values, Trimmed(line.substr(0, equals)), line.substr(equals + 1));
      if (!error.empty()) out << "  ? " << error << '\n';
    } else if (!command.empty()) {
      out << "  ? unknown command '" << command << "'\n" << kCommands;
    }
  }
  out << (prompt ? "\n" : "") << "closed without saving\n";
  return kFormCancelled;
}

}  // namespace gw
