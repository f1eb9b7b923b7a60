// The settings dialog on Windows: resource 102 of the library, run modally
// on the host's thread. The fields move between the controls and the
// portable model; the model holds the load and save rules.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "monitor/scheduling.h"
#include "core/context.h"
#include "dialog/dialog_model.h"
#include "dialog/settings_dialog.h"
#include "dialog/settings_dialog_ids.h"

namespace gw {
namespace {

constexpr int kDialogResource = dialog_id::kDialog;
// The library's own manifest, which asks for the version 6 common controls.
constexpr int kManifestResource = 2;

constexpr INT_PTR kConfirmed = 1;
constexpr INT_PTR kCancelled = 2;

namespace id = dialog_id;

// The dialog whose test mail is running, if any. The dialog is disabled
// meanwhile, but commands can still reach it from other code; none of them
// may end it or start a second test mail while the first is awaited.
HWND g_testMailDialog = nullptr;

const wchar_t* Wide(const WideString& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// The whole text of a control, however long: a recipient list of many
// addresses must never be cut.
WideString ControlText(HWND dialog, int control) {
  HWND window = GetDlgItem(dialog, control);
  int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  WideString text(static_cast<size_t>(length) + 1, u'\0');
  int copied = GetWindowTextW(window, reinterpret_cast<wchar_t*>(&text[0]), length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

int SelectedItem(HWND dialog, int combo) {
  LRESULT index = SendDlgItemMessageW(dialog, combo, CB_GETCURSEL, 0, 0);
  return index == CB_ERR ? kNoSelection : static_cast<int>(index);
}

void AddComboItems(HWND dialog, int combo, const char16_t* const items[]) {
  for (int i = 0; items[i][0] != u'\0'; ++i) {
    SendDlgItemMessageW(dialog, combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(items[i]));
  }
}

void LoadDialogValues(HWND dialog) {
  const SettingsStore* settings = Settings();
  if (settings == nullptr) return;
  DialogValues v = gw::LoadDialogValues(*settings);
  // Index -1 leaves a list without a selection.
  SendDlgItemMessageW(dialog, id::kInterval, CB_SETCURSEL, static_cast<WPARAM>(v.interval), 0);
  SendDlgItemMessageW(dialog, id::kPercent, CB_SETCURSEL, static_cast<WPARAM>(v.percent), 0);
  SendDlgItemMessageW(dialog, id::kMessages, CB_SETCURSEL, static_cast<WPARAM>(v.messages), 0);
  SetDlgItemTextW(dialog, id::kAddress, Wide(v.address));
  SetDlgItemTextW(dialog, id::kServer, Wide(v.server));
  SetDlgItemTextW(dialog, id::kPort, Wide(v.port));
  SetDlgItemTextW(dialog, id::kUser, Wide(v.user));
  CheckDlgButton(dialog, id::kPause, v.pause ? BST_CHECKED : BST_UNCHECKED);
  SetDlgItemTextW(dialog, id::kPassword, Wide(v.password));
}

void SaveDialogValues(HWND dialog) {
  const SettingsStore* settings = Settings();
  if (settings == nullptr) return;
  DialogValues v;
  v.interval = SelectedItem(dialog, id::kInterval);
  v.percent = SelectedItem(dialog, id::kPercent);
  v.messages = SelectedItem(dialog, id::kMessages);
  v.address = ControlText(dialog, id::kAddress);
  v.server = ControlText(dialog, id::kServer);
  v.port = ControlText(dialog, id::kPort);
  v.user = ControlText(dialog, id::kUser);
  // Only the plain checked state counts; an indeterminate box is off.
  v.pause = IsDlgButtonChecked(dialog, id::kPause) == BST_CHECKED;
  v.password = ControlText(dialog, id::kPassword);
  gw::SaveDialogValues(*settings, v);
}

void Confirm(HWND dialog) {
  SaveDialogValues(dialog);
  if (const SettingsStore* settings = Settings()) ResetAfterConfirm(*settings);
  EndDialog(dialog, kConfirmed);
  // The dialog is already told to end; the check runs on its own thread.
  StartUsageCheck(0);
}

// The test mail's check runs on a worker thread while this thread keeps the
// mail client's windows answering, and shows its outcome in a message box
// before it returns. The dialog is disabled meanwhile, so that it can be
// neither closed nor pressed again, which the wait cursor tells the user.
void SendTestMail(HWND dialog) {
  SaveDialogValues(dialog);
  HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  HWND button = GetDlgItem(dialog, id::kTestMail);
  EnableWindow(button, FALSE);
  EnableWindow(dialog, FALSE);
  g_testMailDialog = dialog;
  StartUsageCheck(1);
  g_testMailDialog = nullptr;
  EnableWindow(dialog, TRUE);
  EnableWindow(button, TRUE);
  // Disabling took the focus away; the user carries on where they were.
  SetActiveWindow(dialog);
  SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(button), TRUE);
  SetCursor(previous);
}

bool TestMailRunning(HWND dialog) { return g_testMailDialog != nullptr && g_testMailDialog == dialog; }

// While the test mail runs, the pointer over the dialog keeps the wait cursor.
bool KeepWaitCursor(HWND dialog) {
  if (!TestMailRunning(dialog)) return false;
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);
  return true;
}

void OnCommand(HWND dialog, int control) {
  if (TestMailRunning(dialog)) return;
  if (control == id::kOk) Confirm(dialog);
  if (control == id::kCancel) EndDialog(dialog, kCancelled);
  if (control == id::kTestMail) SendTestMail(dialog);
}

// Only the two link controls send link notifications; the same codes from
// any other control carry no link item, and reading one there would read
// past what the sender passed.
void OnNotify(HWND dialog, const NMHDR* header) {
  if (header == nullptr || (header->code != NM_CLICK && header->code != NM_RETURN)) return;
  int control = static_cast<int>(header->idFrom);
  if (control != id::kYahooLink && control != id::kTepcoLink) return;
  if (header->hwndFrom != GetDlgItem(dialog, control)) return;
  const auto* link = reinterpret_cast<const NMLINK*>(header);
  // A failure to open the page is not reported.
  ShellExecuteW(nullptr, L"open", link->item.szUrl, nullptr, nullptr, SW_SHOW);
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  // Nothing may escape into the system's dialog code.
  try {
    switch (message) {
      case WM_INITDIALOG:
        AddComboItems(dialog, id::kInterval, kIntervalItems);
        AddComboItems(dialog, id::kPercent, kPercentItems);
        AddComboItems(dialog, id::kMessages, kMessagesItems);
        LoadDialogValues(dialog);
        break;
      case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam));
        break;
      case WM_CLOSE:
        if (!TestMailRunning(dialog)) EndDialog(dialog, kCancelled);
        break;
      case WM_SETCURSOR:
        // The one message answered with TRUE: the cursor has been set.
        if (KeepWaitCursor(dialog)) return TRUE;
        break;
      case WM_NOTIFY:
        OnNotify(dialog, reinterpret_cast<const NMHDR*>(lParam));
        break;
      default:
        break;
    }
  } catch (...) {
  }
  return 0;
}

// The link controls exist only in version 6 of the common controls, which a
// mail client without a manifest of its own does not load. While this is
// alive, the library's manifest decides which version the dialog's controls
// come from. Without it (it could not be made) the dialog is still tried.
class CommonControlsContext {
 public:
  explicit CommonControlsContext(HMODULE module) {
    ACTCTXW request = {};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.hModule = module;
    request.lpResourceName = MAKEINTRESOURCEW(kManifestResource);
    context_ = CreateActCtxW(&request);
    if (context_ != INVALID_HANDLE_VALUE) active_ = ActivateActCtx(context_, &cookie_) != FALSE;
  }
  ~CommonControlsContext() {
    if (active_) DeactivateActCtx(0, cookie_);
    if (context_ != INVALID_HANDLE_VALUE) ReleaseActCtx(context_);
  }
  CommonControlsContext(const CommonControlsContext&) = delete;
  CommonControlsContext& operator=(const CommonControlsContext&) = delete;

 private:
  HANDLE context_ = INVALID_HANDLE_VALUE;
  ULONG_PTR cookie_ = 0;
  bool active_ = false;
};

}  // namespace

void ShowSettingsDialog(HostWindow parent) {
  auto module = static_cast<HINSTANCE>(PluginModule());
  CommonControlsContext context(module);
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LINK_CLASS};
  InitCommonControlsEx(&controls);
  DialogBoxParamW(module, MAKEINTRESOURCEW(kDialogResource), static_cast<HWND>(parent), SettingsDialogProc, 0);
}

}  // namespace gw
