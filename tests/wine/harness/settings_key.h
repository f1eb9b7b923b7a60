// The plug-in's settings key in Wine's real registry, as the host owns it:
// the test host creates it, empties it before every case and reads back what
// the plug-in wrote.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace gwtest {

constexpr wchar_t kSettingsKey[] = L"Software\\RimArts\\B2\\Settings";

// A registry value as stored: its type and raw bytes; absent when !exists.
struct RegValue {
  bool exists = false;
  DWORD type = REG_NONE;
  std::string bytes;
};

RegValue TextValue(const std::wstring& text);  // REG_SZ, code units without terminator
RegValue DwordValue(uint32_t value);           // REG_DWORD, 4 bytes
RegValue RawValue(DWORD type, const std::string& bytes);

// Deletes the key with everything in it and creates it again, empty.
void ResetSettingsKey();
std::vector<std::wstring> SettingNames();
RegValue ReadSetting(const std::wstring& name);
void WriteSetting(const std::wstring& name, const RegValue& value);

// Whether `actual` holds what was written as `expected`. A non-empty REG_SZ
// may have gained the terminator the registry adds when the unit after the
// written data is 0 (Wine and Windows both do), so texts compare by content
// up to that terminator; an empty text must stay zero bytes; anything else
// compares byte for byte.
bool SameValue(const RegValue& expected, const RegValue& actual);
std::string Describe(const RegValue& value);

// Settings that keep a started plug-in off the network: monitoring paused,
// and a proxy on a local port where nothing listens.
void PresetOffline();
uint16_t ClosedLocalPort();

}  // namespace gwtest
