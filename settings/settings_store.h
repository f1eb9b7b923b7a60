// The plug-in's settings: named values under the host's per-user key. Every
// operation opens the key, does one query and/or one write and closes it
// again, so no value is cached and every thread sees the latest write.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "base/codepage.h"
#include "base/decimal.h"
#include "base/hresult.h"
#include "settings/registry.h"

namespace gw {

// Value names of the twelve settings.
namespace setting {
constexpr char16_t kInterval[] = u"TUInterval";
constexpr char16_t kPercent[] = u"TUPercent";
constexpr char16_t kMessages[] = u"TUMessages";
constexpr char16_t kAddress[] = u"TUAddress";
constexpr char16_t kServer[] = u"TUServer";
constexpr char16_t kPort[] = u"TUPort";
constexpr char16_t kUser[] = u"TUUser";
constexpr char16_t kPassword[] = u"TUPassword";
constexpr char16_t kPause[] = u"TUPause";
constexpr char16_t kLastDay[] = u"TULastDay";
constexpr char16_t kLastHour[] = u"TULastHour";
constexpr char16_t kCount[] = u"TUCount";
}  // namespace setting

constexpr char16_t kSettingsKeyPath[] = u"Software\\RimArts\\B2\\Settings";

class SettingsStore {
 public:
  using KeyOpener = RegistryKeyOpener;

  SettingsStore(RegistryRoot root, WideString subkey);
  // For tests: any source of opened keys.
  explicit SettingsStore(KeyOpener opener);

  // The set operations give S_OK, E_FAIL when the key cannot be opened, or
  // the write's own code (0x80070005 for a key or file that is read-only).
  //
  // Texts are stored as their UTF-16 code units without a terminator; an
  // empty text is a value of zero bytes. No text given: E_INVALIDARG.
  HResult SetString(WideView name, std::optional<WideView> text) const;
  // No text when the key cannot be opened or the value is absent, zero bytes
  // long or unreadable; otherwise the text up to its first null unit.
  std::optional<WideString> GetString(WideView name) const;
  // Keeps a value of at least one byte; otherwise writes the default.
  HResult EnsureString(WideView name, WideView defaultText) const;

  HResult SetDword(WideView name, uint32_t value) const;
  // 0 when the value cannot be read into four bytes.
  uint32_t GetDword(WideView name) const;
  // Keeps any value whose data fits into four bytes; replaces the rest.
  HResult EnsureDword(WideView name, uint32_t defaultValue) const;

 private:
  std::unique_ptr<RegistryKey> Open() const;
  static HResult WriteString(RegistryKey& key, WideView name, WideView text);
  static HResult WriteDword(RegistryKey& key, WideView name, uint32_t value);

  KeyOpener opener_;
};

// Callers treat no text as empty text.
inline WideString TextOrEmpty(const std::optional<WideString>& text) { return text ? *text : WideString(); }


}  // namespace gw
