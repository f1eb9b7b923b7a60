// The settings dialog as it appears on the screen: its Japanese texts have
// glyphs in the font it uses, and every text fits the control that shows
// it. With GWT_SCREENSHOT_DIR set (run.sh does that for GWT_SCREENSHOT), the
// layout case also holds the dialog open, values loaded, until run.sh has
// taken its picture.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness/dialog_driver.h"
#include "harness/online_check.h"
#include "harness/plugin_module.h"
#include "harness/settings_dialog.h"
#include "harness/settings_key.h"
#include "harness/test_case.h"
#include "harness/test_env.h"

namespace gwtest {
namespace {

struct Shown {
  HWND window;
  int id;
  std::wstring cls;
  std::wstring text;  // as displayed: a link's markup removed
};

std::wstring WithoutMarkup(const std::wstring& text) {
  std::wstring out;
  bool inTag = false;
  for (wchar_t c : text) {
    if (c == L'<') inTag = true;
    if (!inTag) out += c;
    if (c == L'>') inTag = false;
  }
  return out;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
  auto* shown = reinterpret_cast<std::vector<Shown>*>(param);
  wchar_t cls[32] = {};
  GetClassNameW(window, cls, 32);
  std::wstring c = cls;
  if (lstrcmpiW(cls, L"Edit") == 0 || lstrcmpiW(cls, L"ComboBox") == 0) return TRUE;  // values, not labels
  if (GetParent(window) != GetAncestor(window, GA_ROOT)) return TRUE;               // parts of other controls
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  if (text[0]) shown->push_back({window, GetDlgCtrlID(window), c, WithoutMarkup(text)});
  return TRUE;
}

std::vector<Shown> Labels(HWND dialog) {
  std::vector<Shown> shown;
  EnumChildWindows(dialog, CollectChild, reinterpret_cast<LPARAM>(&shown));
  wchar_t caption[64] = {};
  GetWindowTextW(dialog, caption, 64);
  shown.push_back({dialog, 0, L"caption", caption});
  return shown;
}

// The characters of `text` that the window's font has no glyph for.
std::wstring MissingGlyphs(HWND window, HFONT font, const std::wstring& text) {
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, font);
  std::vector<WORD> glyphs(text.size());
  GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  std::wstring missing;
  for (size_t i = 0; i < text.size(); ++i) {
    if (glyphs[i] == 0xFFFF) missing += text[i];
  }
  return missing;
}

HFONT FontOf(HWND window, HWND dialog) {
  auto font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
  return font ? font : reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
}

// Values a user would have, offline: nothing here starts a check.
void PresetShownValues() {
  PresetOffline();
  WriteSetting(L"TUPause", DwordValue(0));
  WriteSetting(L"TUInterval", TextValue(L"30"));
  WriteSetting(L"TUPercent", TextValue(L"90"));
  WriteSetting(L"TUMessages", TextValue(L"3"));
  WriteSetting(L"TUAddress", TextValue(L"taro@example.jp, hanako@example.jp"));
  WriteSetting(L"TUPort", DwordValue(8080));
  WriteSetting(L"TUUser", TextValue(L"taro"));
  WriteSetting(L"TUPassword", TextValue(StoredPassword(L"secret")));
}

}  // namespace

// Every Japanese text of the dialog has its glyphs in the font it is shown
// in. The check itself is checked first: a character that no font has must
// come out missing.
void CaseDialogGlyphs(TestEnv&) {
  HMODULE plugin = RequirePlugin();
  PresetOffline();
  SetupThroughHost(plugin, [&](HWND d) {
    HFONT dialogFont = FontOf(d, d);
    Require(!MissingGlyphs(d, dialogFont, L"\U0010FFFD").empty(), "the glyph check cannot see a missing glyph");
    auto labels = Labels(d);
    Require(labels.size() >= 20, "only " + std::to_string(labels.size()) + " texts found in the dialog");
    for (const auto& label : labels) {
      std::wstring missing = MissingGlyphs(label.window, FontOf(label.window, d), label.text);
      Require(missing.empty(), "\"" + Utf8(label.text) + "\" lacks glyphs for \"" + Utf8(missing) + "\"");
    }
    Click(d, control::kCancel);
  });
}

namespace {

// The room a control leaves for its text: a push button or a group box
// keeps a margin on either side, a check box its box.
LONG RoomForText(HWND control, const std::wstring& cls) {
  RECT r;
  GetClientRect(control, &r);
  if (lstrcmpiW(cls.c_str(), L"Button") != 0) return r.right;
  LONG type = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
  if (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX) return r.right - GetSystemMetrics(SM_CXMENUCHECK) - 4;
  return r.right - 2 * GetSystemMetrics(SM_CXEDGE) - 8;
}

LONG TextWidth(HWND control, HFONT font, const std::wstring& text) {
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size = {};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return size.cx;
}

std::wstring FaceOf(HWND window, HFONT font) {
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, font);
  wchar_t face[64] = {};
  GetTextFaceW(dc, 64, face);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  return face;
}

// Holds the dialog on the screen until run.sh has taken its picture.
void HoldForScreenshot(HWND dialog, const std::string& dir) {
  RECT w;
  GetWindowRect(dialog, &w);
  char geometry[64];
  std::snprintf(geometry, sizeof geometry, "%ldx%ld+%ld+%ld", w.right - w.left, w.bottom - w.top, w.left, w.top);
  PumpMessages(500);  // painted
  WriteWholeFile(dir + "\\ready", geometry);
  PumpMessages(30000, [&] { return GetFileAttributesA((dir + "\\done").c_str()) != INVALID_FILE_ATTRIBUTES; });
}

}  // namespace

// The dialog takes its size in dialog units of its font, and every label,
// button and link text fits its control: nothing is cut off or wrapped out
// of sight. The font is the environment's stand-in for the Japanese dialog
// font (run.sh sets a proportional one, as Japanese Windows has).
void CaseDialogLayout(TestEnv&) {
  HMODULE plugin = RequirePlugin();
  PresetShownValues();
  const char* shotDir = std::getenv("GWT_SCREENSHOT_DIR");
  SetupThroughHost(plugin, [&](HWND d) {
    RECT client, expected = {0, 0, 290, 256};
    GetClientRect(d, &client);
    MapDialogRect(d, &expected);
    Require(client.right == expected.right && client.bottom == expected.bottom, "the client area is " +
            std::to_string(client.right) + "x" + std::to_string(client.bottom) + " pixels, not 290x256 units");
    std::string face = Utf8(FaceOf(d, FontOf(d, d)));
    for (const auto& label : Labels(d)) {
      if (label.cls == L"caption") continue;
      LONG width = TextWidth(label.window, FontOf(label.window, d), label.text);
      LONG room = RoomForText(label.window, label.cls);
      Require(width <= room, "\"" + Utf8(label.text) + "\" needs " + std::to_string(width) + " pixels in " + face +
                                 " but control " + std::to_string(label.id) + " leaves " + std::to_string(room));
    }
    if (shotDir && *shotDir) HoldForScreenshot(d, shotDir);
    Click(d, control::kCancel);
  });
}

}  // namespace gwtest
