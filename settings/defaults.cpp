#include "settings/defaults.h"

#include "base/lock.h"
#include "hostapi/host_calls.h"
#include "settings/profile_file.h"

namespace gw {
namespace {

// The address is written on the host's thread at start and read by check
// threads; the lock keeps a reader from seeing half a string.
Lock& AddressLock() {
  static Lock lock;
  return lock;
}

WideString& AddressStorage() {
  static WideString address;
  return address;
}

}  // namespace

WideString AccountAddress() {
  LockGuard guard(AddressLock());
  return AddressStorage();
}

void SetAccountAddress(WideView address) {
  LockGuard guard(AddressLock());
  AddressStorage().assign(address);
}

void LearnAccountAddress() {
  // The host's texts are pieces of a path that it already ends with a
  // separator, so they are joined without adding one.
  WideString iniPath = NarrowToWide(host::GetDataFolder()) + NarrowToWide(host::GetCurrentMailBox()) +
                       u"MailBox.ini";
  SetAccountAddress(ReadProfileString(u"Account", u"MailAddress", u"", iniPath));
}

void InitDefaults(const SettingsStore& store) {
  LearnAccountAddress();

  store.EnsureString(setting::kAddress, AccountAddress());
  store.EnsureString(setting::kInterval, u"30");
  store.EnsureString(setting::kPercent, u"90");
  store.EnsureString(setting::kMessages, u"3");
  store.EnsureString(setting::kServer, u"");
  store.EnsureDword(setting::kPort, 80);
  store.EnsureString(setting::kUser, u"");
  store.EnsureString(setting::kPassword, u"");
  store.EnsureDword(setting::kPause, 0);
  store.EnsureDword(setting::kLastDay, 99);
  store.EnsureDword(setting::kLastHour, 99);
  store.EnsureDword(setting::kCount, 0);
}

}  // namespace gw
