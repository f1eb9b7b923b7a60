// "setup" opens the plug-in's settings as the mail client's plug-in setup
// entry does; "menu" builds a main menu, lets the plug-in add its item and
// shows the result, and can choose that item.
#include <cstdint>
#include <cstdlib>
#include <iostream>

#include "base/codepage.h"
#include "host/check_outcomes.h"
#include "host/cli.h"
#include "host/host_functions.h"
#include "host/plugin_loader.h"
#include "plugin/native_menu.h"

namespace gwhost {
namespace {

using gw::NativeMenu;

using SetupCallback = int32_t (*)(void* parent);
using MenuInitCallback = int32_t (*)(void* window, void* menu, int32_t kind);

// Menu texts are narrow in the system code page, as a menu's ANSI texts.
std::string Shown(const std::string& narrow) { return gw::WideToUtf8(gw::NarrowToWide(narrow)); }

NativeMenu::Item Entry(uint32_t id, const char16_t* text) {
  NativeMenu::Item item;
  item.id = id;
  item.text = gw::WideToNarrow(text);
  return item;
}

NativeMenu::Item Popup(const char16_t* text, std::initializer_list<NativeMenu::Item> items) {
  NativeMenu::Item popup = Entry(0, text);
  popup.submenu = std::make_shared<NativeMenu>();
  popup.submenu->items.assign(items.begin(), items.end());
  return popup;
}

// A mail client's main menu: the plug-in appends its item to the fifth
// submenu, the tools.
NativeMenu MainMenu() {
  NativeMenu menu;
  menu.items = {
      Popup(u"ファイル(&F)", {Entry(101, u"受信(&R)"), Entry(102, u"終了(&X)")}),
      Popup(u"編集(&E)", {Entry(201, u"コピー(&C)"), Entry(202, u"検索(&F)...")}),
      Popup(u"表示(&V)", {Entry(301, u"ツールバー(&T)")}),
      Popup(u"メール(&M)", {Entry(401, u"新規作成(&N)"), Entry(402, u"送信(&S)")}),
      Popup(u"ツール(&T)", {Entry(501, u"振り分け設定(&F)..."), Entry(502, u"プラグインの設定(&P)...")}),
      Popup(u"ヘルプ(&H)", {Entry(601, u"バージョン情報(&A)...")}),
  };
  return menu;
}

void PrintMenu(const NativeMenu& menu, int depth) {
  for (const auto& item : menu.items) {
    std::string indent(static_cast<size_t>(depth) * 2 + 2, ' ');
    if (item.separator) {
      std::cout << indent << "----\n";
    } else if (item.submenu) {
      std::cout << indent << Shown(item.text) << '\n';
      PrintMenu(*item.submenu, depth + 1);
    } else {
      std::cout << indent << '[' << item.id << "] " << Shown(item.text) << '\n';
    }
  }
}

void PrintCommands() {
  std::cout << "registered commands:" << (RegisteredCommands().empty() ? " none" : "") << '\n';
  for (const auto& c : RegisteredCommands()) {
    std::cout << "  [" << c.id << "] kind " << c.kind << " \"" << Shown(c.description) << "\", state ";
    if (c.state) {
      std::cout << c.state(MainWindowHandle(), 0) << '\n';
    } else {
      std::cout << "not registered\n";
    }
  }
}

bool ParseKind(const std::string& text, int32_t* kind) {
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end) return false;
  *kind = static_cast<int32_t>(value);
  return true;
}

int RunMenu(const Invocation& inv) {
  int32_t kind = 0;
  bool invoke = false;
  for (size_t i = 0; i < inv.args.size(); ++i) {
    if (inv.args[i] == "--invoke") {
      invoke = true;
    } else if (inv.args[i] == "--kind" && i + 1 < inv.args.size() && ParseKind(inv.args[i + 1], &kind)) {
      ++i;
    } else {
      return Fail(kExitUsage, "menu: bad argument '" + inv.args[i] + "' (see menu --help)");
    }
  }
  std::string error;
  auto plugin = LoadedPlugin::Load(inv.pluginPath, &error);
  if (!plugin) return Fail(kExitFailure, "menu: " + error);
  auto onMenuInit = plugin->Callback<MenuInitCallback>("BKC_OnMenuInit");
  if (onMenuInit == nullptr) return Fail(kExitFailure, "menu: the plug-in has no BKC_OnMenuInit");
  PrintOutcomesAsTheyCome(true);
  NativeMenu menu = MainMenu();
  onMenuInit(MainWindowHandle(), &menu, kind);
  std::cout << "main menu (kind " << kind << "):\n";
  PrintMenu(menu, 0);
  PrintCommands();
  for (const auto& c : RegisteredCommands()) {
    if (!invoke) break;
    std::cout << "choosing [" << c.id << "]\n" << std::flush;
    c.command(MainWindowHandle(), 0);
  }
  plugin.reset();  // unloading waits for a check that the settings started
  return kExitOk;
}

int RunSetup(const Invocation& inv) {
  if (!inv.args.empty()) return Fail(kExitUsage, "setup: unexpected argument '" + inv.args[0] + "'");
  std::string error;
  auto plugin = LoadedPlugin::Load(inv.pluginPath, &error);
  if (!plugin) return Fail(kExitFailure, "setup: " + error);
  auto onSetup = plugin->Callback<SetupCallback>("BKC_OnPlugInSetup");
  if (onSetup == nullptr) return Fail(kExitFailure, "setup: the plug-in has no BKC_OnPlugInSetup");
  PrintOutcomesAsTheyCome(true);
  int32_t result = onSetup(MainWindowHandle());
  std::cout << "BKC_OnPlugInSetup returned " << result << '\n';
  plugin.reset();  // unloading waits for a check that OK started
  return kExitOk;
}

constexpr char kFormHelp[] =
    "The settings dialog is, natively, a form on the terminal: it shows the\n"
    "fields, takes FIELD=VALUE lines (interval, percent, messages by an item of\n"
    "their lists; address, server, port, user, password as text; pause=0|1) and\n"
    "ends like the dialog: 'ok' saves (and starts one usage check), 'cancel' or\n"
    "the end of the input closes without saving, 'test' saves and sends a test\n"
    "mail. Opening it resets TUCount, as the dialog does.\n"
    "\n"
    "The checks that 'ok' and 'test' start go to the real usage service unless\n"
    "the settings say otherwise: point TUServer and TUPort at a local server\n"
    "first (gridwren-host settings). TUPause stops the check after 'ok', but not\n"
    "the test mail.\n";

}  // namespace

Command SetupCommand() {
  static const std::string help = std::string(
                                      "usage: gridwren-host [--profile DIR] setup\n"
                                      "\n"
                                      "Loads the plug-in and calls BKC_OnPlugInSetup, as the mail client's\n"
                                      "plug-in setup entry does, and prints what it returned (always 1).\n"
                                      "\n") +
                                  kFormHelp;
  return {"setup", "open the plug-in's settings dialog (a form on the terminal)", help.c_str(), true, RunSetup};
}

Command MenuCommand() {
  static const std::string help =
      std::string(
          "usage: gridwren-host [--profile DIR] menu [--kind N] [--invoke]\n"
          "\n"
          "Loads the plug-in and calls BKC_OnMenuInit with a main menu of this host's\n"
          "own (six submenus), as the mail client does when it builds its main window\n"
          "(menu kind 0; --kind passes another kind). Prints the menu and the commands\n"
          "the plug-in registered, with the state their callbacks report.\n"
          "--invoke then chooses each registered command, as clicking its menu item\n"
          "does: the plug-in's command opens the settings dialog.\n"
          "\n") +
      kFormHelp;
  return {"menu", "let the plug-in add its menu item, print the menu, optionally choose it", help.c_str(), true,
          RunMenu};
}

}  // namespace gwhost
