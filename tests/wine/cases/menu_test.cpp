// BKC_OnMenuInit on a real menu of the host's main window: each call with
// menu kind 0 registers the settings command and appends a separator and
// the item, with the id the host returned, to the end of the fifth submenu;
// another kind changes nothing. The registered command opens the dialog.
#include <windows.h>

#include <string>
#include <vector>

#include "harness/modal_canceller.h"
#include "harness/plugin_module.h"
#include "harness/test_case.h"
#include "host/test_host.h"

namespace gwtest {
namespace {

constexpr int kSubmenus = 6;
constexpr int kTarget = 4;
const wchar_t kItemText[] = L"Gridwrenを設定する(&9)...";

struct Entry {
  bool separator;
  UINT id;
  std::wstring text;
};

std::vector<Entry> Entries(HMENU menu) {
  std::vector<Entry> entries;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    wchar_t text[128] = {};
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
    item.dwTypeData = text;
    item.cch = 128;
    GetMenuItemInfoW(menu, i, TRUE, &item);
    entries.push_back({(item.fType & MFT_SEPARATOR) != 0, item.wID, text});
  }
  return entries;
}

// A main menu as a mail client has it: six submenus of two items each.
HMENU MainMenu() {
  HMENU menu = CreateMenu();
  for (int i = 0; i < kSubmenus; ++i) {
    HMENU submenu = CreatePopupMenu();
    AppendMenuW(submenu, MF_STRING, 100 * i + 1, L"&First");
    AppendMenuW(submenu, MF_STRING, 100 * i + 2, L"&Second");
    AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(submenu), L"&Menu");
  }
  return menu;
}

std::string Narrow932(const wchar_t* text) {
  char narrow[128] = {};
  WideCharToMultiByte(932, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
  return narrow;
}

// After `calls` calls with kind 0: the target submenu ends with one
// separator and one item per call, each item with its own command's id.
void RequireAppended(HMENU menu, int calls) {
  HostRecord host = HostSnapshot();
  Require(host.registered.size() == static_cast<size_t>(calls),
          std::to_string(host.registered.size()) + " commands registered after " + std::to_string(calls) + " calls");
  auto entries = Entries(GetSubMenu(menu, kTarget));
  Require(entries.size() == 2u + 2u * calls, std::to_string(entries.size()) + " entries in the fifth submenu");
  for (int call = 0; call < calls; ++call) {
    const RegisteredCommand& command = host.registered[call];
    std::string where = "call " + std::to_string(call + 1) + ": ";
    Require(command.description == Narrow932(L"Gridwrenを設定する"), where + "wrong command description");
    Require(command.kind == 0, where + "registered for kind " + std::to_string(command.kind));
    Require(command.command && command.state, where + "callback missing");
    Require(command.state(HostMainWindow(), 0) == 0, where + "the command's state is not 0");
    const Entry& separator = entries[2 + 2 * call];
    const Entry& item = entries[3 + 2 * call];
    Require(separator.separator, where + "no separator before the item");
    Require(!item.separator && item.text == kItemText, where + "item text \"" + Utf8(item.text) + "\"");
    Require(item.id == command.id, where + "item id " + std::to_string(item.id) + ", registered " +
                                       std::to_string(command.id));
  }
  for (int i = 0; i < kSubmenus; ++i) {
    if (i != kTarget) Require(Entries(GetSubMenu(menu, i)).size() == 2, "submenu " + std::to_string(i) + " changed");
  }
}

}  // namespace

void CaseMenu(TestEnv&) {
  HMODULE plugin = RequirePlugin();
  auto menuInit = reinterpret_cast<int32_t(__stdcall*)(HWND, HMENU, int32_t)>(
      reinterpret_cast<void*>(RequireExport(plugin, "BKC_OnMenuInit")));
  HMENU menu = MainMenu();
  Require(menuInit(HostMainWindow(), menu, 1) == 0, "kind 1 did not return 0");
  RequireAppended(menu, 0);
  for (int call = 1; call <= 2; ++call) {
    Require(menuInit(HostMainWindow(), menu, 0) == 0, "kind 0 did not return 0");
    RequireAppended(menu, call);
  }
  DestroyMenu(menu);

  // A menu without a fifth submenu gets no item, and nothing breaks.
  HMENU small = CreateMenu();
  AppendMenuW(small, MF_POPUP, reinterpret_cast<UINT_PTR>(CreatePopupMenu()), L"&Menu");
  Require(menuInit(HostMainWindow(), small, 0) == 0 && GetMenuItemCount(small) == 1, "a short menu was changed");
  DestroyMenu(small);

  // Choosing the item: the command shows the settings dialog.
  ModalCanceller canceller;
  HostSnapshot().registered.back().command(HostMainWindow(), 0);
  Require(canceller.Cancelled() == 1, "the command opened " + std::to_string(canceller.Cancelled()) + " dialogs");
}

}  // namespace gwtest
