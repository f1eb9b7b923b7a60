// What the plug-in tells the host about itself: the information record and
// the texts of its settings command. The host reads narrow texts; these are
// the exact code page 932 bytes, so that they come out the same whatever the
// system code page of the machine that built or runs the plug-in.
#pragma once

#include <cstddef>

namespace gw {

// The information record: four null-terminated narrow texts at these byte
// offsets; each of the first three fields is 80 bytes long.
constexpr size_t kInfoNameOffset = 0;
constexpr size_t kInfoVendorOffset = 80;
constexpr size_t kInfoVersionOffset = 160;
constexpr size_t kInfoDescriptionOffset = 240;

constexpr char kPluginName[] = "Gridwren";
constexpr char kPluginVendor[] = "Quorrin";
constexpr char kPluginVersion[] = "1.1";

// "東京電力管轄地域の電力使用状況をモニタリングし、使用率が指定の値に達したら
// メールで知らせます。" in code page 932.
constexpr char kPluginDescription[] =
    "\x93\x8c\x8b\x9e\x93\x64\x97\xcd\x8a\xc7\x8a\x8d\x92\x6e\x88\xe6\x82\xcc\x93\x64\x97\xcd"
    "\x8e\x67\x97\x70\x8f\xf3\x8b\xb5\x82\xf0\x83\x82\x83\x6a\x83\x5e\x83\x8a\x83\x93\x83\x4f"
    "\x82\xb5\x81\x41\x8e\x67\x97\x70\x97\xa6\x82\xaa\x8e\x77\x92\xe8\x82\xcc\x92\x6c\x82\xc9"
    "\x92\x42\x82\xb5\x82\xbd\x82\xe7\x83\x81\x81\x5b\x83\x8b\x82\xc5\x92\x6d\x82\xe7\x82\xb9"
    "\x82\xdc\x82\xb7\x81\x42";
// The host sizes the description field; this is what the plug-in needs of it.
static_assert(sizeof kPluginDescription == 95, "47 double-byte characters and the terminator");

// "Gridwrenを設定する" (Configure Gridwren): the command's description.
constexpr char kSettingsCommandText[] = "Gridwren" "\x82\xf0\x90\xdd\x92\xe8\x82\xb7\x82\xe9";
// "Gridwrenを設定する(&9)...": the menu item; "&9" is its keyboard mnemonic
// and "..." says that a dialog follows.
constexpr char kSettingsMenuText[] = "Gridwren" "\x82\xf0\x90\xdd\x92\xe8\x82\xb7\x82\xe9" "(&9)...";

// Writes the four texts, each with its terminator, into the host's record;
// the bytes after each terminator are left as the host had them.
void FillPluginInfo(char* record);

}  // namespace gw
