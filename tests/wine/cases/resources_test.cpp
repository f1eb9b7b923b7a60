// The resources of the real DLL, read back as the system reads them: the
// settings dialog template control by control, the mail template, the
// version resource and the manifest; and the plug-in information record
// byte for byte.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "harness/plugin_module.h"
#include "harness/test_case.h"
#include "monitor/endpoints.h"

namespace gwtest {
namespace {

constexpr WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

std::string ResourceBytes(HMODULE module, const wchar_t* type, const wchar_t* name, WORD language) {
  HRSRC found = FindResourceExW(module, type, name, language);
  std::string what = IS_INTRESOURCE(type) ? std::to_string(reinterpret_cast<uintptr_t>(type)) : Utf8(type);
  Require(found != nullptr, "resource " + std::to_string(reinterpret_cast<uintptr_t>(name)) + " of type " + what +
                                " in language " + std::to_string(language) + " is missing");
  auto data = static_cast<const char*>(LockResource(LoadResource(module, found)));
  return std::string(data, SizeofResource(module, found));
}

// A DIALOGEX template, read in order.
class TemplateReader {
 public:
  explicit TemplateReader(const std::string& bytes) : bytes_(bytes) {}
  template <typename T>
  T Read() {
    Require(pos_ + sizeof(T) <= bytes_.size(), "the dialog template ends early");
    T value;
    std::memcpy(&value, bytes_.data() + pos_, sizeof(T));
    pos_ += sizeof(T);
    return value;
  }
  std::wstring Text() {
    std::wstring text;
    for (wchar_t c = Read<wchar_t>(); c != 0; c = Read<wchar_t>()) text += c;
    return text;
  }
  // A name or an ordinal; ordinals of the predefined classes as their names.
  std::wstring NameOrOrdinal() {
    if (Peek() != 0xFFFF) return Text();
    Read<WORD>();
    WORD ordinal = Read<WORD>();
    const wchar_t* classes[] = {L"Button", L"Edit", L"Static", L"ListBox", L"ScrollBar", L"ComboBox"};
    if (ordinal >= 0x80 && ordinal <= 0x85) return classes[ordinal - 0x80];
    return L"#" + std::to_wstring(ordinal);
  }
  void AlignToDword() { pos_ = (pos_ + 3) & ~size_t{3}; }
  WORD Peek() const {
    WORD w = 0;
    if (pos_ + 2 <= bytes_.size()) std::memcpy(&w, bytes_.data() + pos_, 2);
    return w;
  }

 private:
  const std::string& bytes_;
  size_t pos_ = 0;
};

struct Control {
  DWORD id;
  std::wstring cls;
  DWORD style;
  short x, y, w, h;
  std::wstring text;
};

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kEdit = kChild | WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD kCombo = kChild | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
constexpr DWORD kLabel = kChild | WS_GROUP;
constexpr DWORD kNoId = 0xFFFFFFFF;

std::wstring Link(const char16_t* url, const std::wstring& label) {
  return L"<a href=\"" + std::wstring(reinterpret_cast<const wchar_t*>(url)) + L"\">" + label + L"</a>";
}

// The dialog as it must be, in template (= tab) order.
std::vector<Control> ExpectedControls() {
  return {
      {1, L"button", kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, 176, 234, 50, 14, L"OK"},
      {2, L"button", kChild | BS_PUSHBUTTON | WS_TABSTOP, 233, 234, 50, 14, L"キャンセル"},
      {1022, L"button", kChild | BS_GROUPBOX, 7, 110, 276, 57, L"プロキシ"},
      {1023, L"button", kChild | BS_GROUPBOX, 7, 170, 276, 35, L"動作"},
      {1028, L"button", kChild | BS_AUTOCHECKBOX | WS_TABSTOP, 144, 185, 115, 10, L"モニタリングを一時的に停止する"},
      {kNoId, L"static", kLabel | SS_LEFT, 16, 127, 59, 8, L"プロキシサーバー:"},
      {kNoId, L"static", kLabel | SS_RIGHT, 199, 128, 32, 8, L"ポート:"},
      {1031, L"edit", kEdit, 74, 125, 124, 13, L""},
      {1032, L"edit", kEdit | ES_NUMBER, 235, 125, 34, 13, L""},
      {kNoId, L"static", kLabel | SS_LEFT, 16, 147, 39, 8, L"ユーザー名:"},
      {1033, L"edit", kEdit, 58, 145, 76, 13, L""},
      {kNoId, L"static", kLabel | SS_RIGHT, 136, 146, 41, 8, L"パスワード:"},
      {1034, L"edit", kEdit | ES_PASSWORD, 181, 145, 74, 13, L""},
      {1024, L"button", kChild | BS_GROUPBOX, 7, 8, 276, 56, L"モニタリング"},
      {1035, L"SysLink", kChild | WS_TABSTOP, 13, 217, 118, 9,
       Link(gw::kYahooSiteUrl, L"最新の使用率 (Yahoo!節電サイトへ)")},
      {1036, L"SysLink", kChild | WS_TABSTOP, 13, 232, 118, 9,
       Link(gw::kTepcoForecastUrl, L"使用状況グラフ (東京電力サイトへ)")},
      {kNoId, L"static", kLabel | SS_LEFT, 16, 43, 128, 8, L"１日当たりに送信するメールの数は最大"},
      {kNoId, L"static", kLabel | SS_LEFT, 51, 24, 99, 8, L"分ごとに確認し、電力使用率"},
      {kNoId, L"static", kLabel | SS_LEFT, 182, 24, 99, 8, L"% に達したらメールで知らせる。"},
      {1040, L"combobox", kCombo, 146, 21, 33, 30, L""},
      {1042, L"combobox", kCombo, 15, 21, 33, 30, L""},
      {1025, L"button", kChild | BS_GROUPBOX, 7, 67, 276, 39, L"送付先"},
      {kNoId, L"static", kLabel | SS_LEFT, 178, 43, 59, 8, L"回までにする。"},
      {1043, L"combobox", kCombo, 142, 40, 33, 30, L""},
      {kNoId, L"static", kLabel | SS_LEFT, 18, 83, 76, 8, L"メールアドレス(複数可):"},
      {1037, L"edit", kEdit, 97, 82, 176, 13, L""},
      {1041, L"button", kChild | BS_PUSHBUTTON | WS_TABSTOP, 28, 183, 75, 14, L"テストメールを送信"},
  };
}

std::string Hex(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(value));
  return text;
}

void RequireDialogHeader(TemplateReader& r) {
  Require(r.Read<WORD>() == 1 && r.Read<WORD>() == 0xFFFF, "dialog 102 is not in the extended format");
  r.Read<DWORD>();  // help id
  DWORD exStyle = r.Read<DWORD>(), style = r.Read<DWORD>();
  DWORD expectedStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SHELLFONT;
  Require(style == expectedStyle, "dialog style " + Hex(style) + ", expected " + Hex(expectedStyle));
  Require(exStyle == WS_EX_WINDOWEDGE, "dialog extended style " + Hex(exStyle));
  WORD count = r.Read<WORD>();
  Require(count == ExpectedControls().size(), std::to_string(count) + " controls in the template");
  short x = r.Read<short>(), y = r.Read<short>(), w = r.Read<short>(), h = r.Read<short>();
  Require(x == 0 && y == 0 && w == 290 && h == 256, "dialog size " + std::to_string(w) + "x" + std::to_string(h));
  Require(r.NameOrOrdinal().empty() && r.NameOrOrdinal().empty(), "the dialog names a menu or a class");
  Require(r.Text() == L"Gridwrenの設定", "wrong dialog caption");
  WORD points = r.Read<WORD>(), weight = r.Read<WORD>();
  BYTE italic = r.Read<BYTE>(), charset = r.Read<BYTE>();
  std::wstring face = r.Text();
  Require(points == 8 && weight == 400 && italic == 0 && charset == 1 && face == L"MS Shell Dlg",
          "dialog font " + Utf8(face) + " " + std::to_string(points) + " pt, weight " + std::to_string(weight) +
              ", italic " + std::to_string(italic) + ", charset " + std::to_string(charset));
}

void RequireControl(TemplateReader& r, const Control& e, size_t index) {
  r.AlignToDword();
  r.Read<DWORD>();  // help id
  DWORD exStyle = r.Read<DWORD>(), style = r.Read<DWORD>();
  Control a;
  a.x = r.Read<short>(), a.y = r.Read<short>(), a.w = r.Read<short>(), a.h = r.Read<short>();
  a.id = r.Read<DWORD>();
  a.cls = r.NameOrOrdinal();
  a.text = r.NameOrOrdinal();
  WORD extra = r.Read<WORD>();
  for (WORD i = 0; i < extra; ++i) r.Read<BYTE>();
  std::string where = "control " + std::to_string(index) + " (id " + std::to_string(static_cast<int>(e.id)) + "): ";
  Require(a.id == e.id, where + "has id " + std::to_string(static_cast<int>(a.id)));
  Require(lstrcmpiW(a.cls.c_str(), e.cls.c_str()) == 0, where + "class " + Utf8(a.cls));
  Require(style == e.style, where + "style " + Hex(style) + ", expected " + Hex(e.style));
  Require(exStyle == 0, where + "extended style " + Hex(exStyle));
  Require(a.x == e.x && a.y == e.y && a.w == e.w && a.h == e.h,
          where + "at " + std::to_string(a.x) + "," + std::to_string(a.y) + " size " + std::to_string(a.w) + "x" +
              std::to_string(a.h));
  Require(a.text == e.text, where + "text \"" + Utf8(a.text) + "\", expected \"" + Utf8(e.text) + "\"");
}

void RequireVersionString(const std::vector<char>& info, const std::wstring& name, const std::wstring& expected) {
  void* value = nullptr;
  UINT length = 0;
  std::wstring path = L"\\StringFileInfo\\041104b0\\" + name;
  bool found = VerQueryValueW(info.data(), path.c_str(), &value, &length) && value;
  std::wstring actual = found ? std::wstring(static_cast<const wchar_t*>(value)) : L"(missing)";
  Require(actual == expected, "version string " + Utf8(name) + " is \"" + Utf8(actual) + "\"");
}

void RequireVersion(HMODULE plugin) {
  ResourceBytes(plugin, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), kJapanese);  // RT_VERSION, in Japanese
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(plugin, path, MAX_PATH);
  DWORD size = GetFileVersionInfoSizeW(path, nullptr);
  std::vector<char> info(size);
  Require(size > 0 && GetFileVersionInfoW(path, 0, size, info.data()), "no version information");
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  Require(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed, "no fixed info");
  Require(fixed->dwFileVersionMS == 0x00010001 && fixed->dwFileVersionLS == 0, "file version is not 1.1.0.0");
  Require(fixed->dwProductVersionMS == 0x00010001 && fixed->dwProductVersionLS == 0, "product version not 1.1.0.0");
  Require(fixed->dwFileType == VFT_DLL, "file type is not a DLL");
  WORD* translation = nullptr;
  Require(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                         &length) && length == 4 && translation[0] == 0x0411 && translation[1] == 1200,
          "translation is not 0x0411/1200");
  const std::pair<const wchar_t*, const wchar_t*> strings[] = {
      {L"CompanyName", L"Quorrin"},         {L"FileDescription", L"Gridwren"}, {L"FileVersion", L"1, 1, 0, 0"},
      {L"InternalName", L"Gridwren"},       {L"OriginalFilename", L"Gridwren.dll"},
      {L"ProductName", L"Gridwren"},        {L"ProductVersion", L"1, 1, 0, 0"},
  };
  for (const auto& [name, value] : strings) RequireVersionString(info, name, value);
}

// The manifest asks for no elevation and for the version 6 common
// controls, and the loader accepts it as an activation context.
void RequireManifest(HMODULE plugin) {
  std::string manifest = ResourceBytes(plugin, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(2), kEnglishUs);
  for (const char* part : {"level=\"asInvoker\"", "uiAccess=\"false\"", "name=\"Microsoft.Windows.Common-Controls\"",
                           "version=\"6.0.0.0\"", "publicKeyToken=\"6595b64144ccf1df\""}) {
    Require(manifest.find(part) != std::string::npos, std::string("the manifest lacks ") + part);
  }
  ACTCTXW request = {};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.hModule = plugin;
  request.lpResourceName = MAKEINTRESOURCEW(2);
  HANDLE context = CreateActCtxW(&request);
  Require(context != INVALID_HANDLE_VALUE, "no activation context from the manifest: error " +
                                               std::to_string(GetLastError()));
  ReleaseActCtx(context);
}

}  // namespace

void CaseResources(TestEnv&) {
  HMODULE plugin = RequirePlugin();
  std::string dialog = ResourceBytes(plugin, MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(102), kJapanese);  // RT_DIALOG
  TemplateReader reader(dialog);
  RequireDialogHeader(reader);
  auto controls = ExpectedControls();
  for (size_t i = 0; i < controls.size(); ++i) RequireControl(reader, controls[i], i);

  Require(!ResourceBytes(plugin, L"EML", MAKEINTRESOURCEW(111), kJapanese).empty(), "the mail template is empty");
  RequireVersion(plugin);
  RequireManifest(plugin);
}

void CasePluginInfo(TestEnv&) {
  HMODULE plugin = RequirePlugin();
  auto info = reinterpret_cast<int32_t(__stdcall*)(char*)>(
      reinterpret_cast<void*>(RequireExport(plugin, "BKC_OnPlugInInfo")));
  std::string record(512, '\xCC');
  Require(info(&record[0]) == 0, "BKC_OnPlugInInfo did not return 0");

  // The description in code page 932, converted here independently.
  const wchar_t description[] =
      L"東京電力管轄地域の電力使用状況をモニタリングし、使用率が指定の値に達したらメールで知らせます。";
  char narrow[128] = {};
  int n = WideCharToMultiByte(932, 0, description, -1, narrow, sizeof narrow, nullptr, nullptr);
  Require(n == 95, "the description takes " + std::to_string(n) + " bytes with its terminator, not 95");

  std::string expected(512, '\xCC');
  expected.replace(0, 9, std::string("Gridwren", 9));
  expected.replace(80, 8, std::string("Quorrin", 8));
  expected.replace(160, 4, std::string("1.1", 4));
  expected.replace(240, 95, std::string(narrow, 95));
  for (size_t i = 0; i < record.size(); ++i) {
    Require(record[i] == expected[i], "the record differs first at byte " + std::to_string(i));
  }
}

}  // namespace gwtest
