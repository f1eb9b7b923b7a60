// The callbacks that the host calls by name. Nothing may escape into the host:
// an exception crossing this boundary would take the mail client down.
#include <cstdint>

#include "monitor/scheduling.h"
#include "plugin/plugin.h"
#include "plugin/plugin_info.h"
#include "plugin/settings_command.h"
#include "dialog/settings_dialog.h"

using gw::HostWindow;

extern "C" {

GW_EXPORT int32_t GW_CALL BKC_OnStart() noexcept {
  try {
    gw::PluginStart();
  } catch (...) {
  }
  return 0;
}

GW_EXPORT int32_t GW_CALL BKC_OnEveryMinute() noexcept {
  gw::OnEveryMinute();
  return 0;
}

GW_EXPORT int32_t GW_CALL BKC_OnMenuInit(HostWindow window, HostWindow menu, int32_t kind) noexcept {
  return gw::OnMenuInit(window, menu, kind);
}

// The host learns nothing from the dialog's outcome: 1 in every case, also
// when the dialog could not be shown.
GW_EXPORT int32_t GW_CALL BKC_OnPlugInSetup(HostWindow parent) noexcept {
  try {
    gw::ShowSettingsDialog(parent);
  } catch (...) {
  }
  return 1;
}

GW_EXPORT int32_t GW_CALL BKC_OnPlugInInfo(char* record) noexcept {
  if (record != nullptr) gw::FillPluginInfo(record);
  return 0;
}

// The host is shutting down: checks still running stop without calling it
// again, and it waits for them a few seconds at most.
GW_EXPORT int32_t GW_CALL BKC_OnExit() noexcept {
  gw::PluginExit();
  return 0;
}

// The host expects the whole set of callbacks; these have nothing to do.
GW_EXPORT int32_t GW_CALL BKC_OnOpenFolder(const char*) noexcept { return 0; }
GW_EXPORT int32_t GW_CALL BKC_OnOpenMail(const char*) noexcept { return 0; }
GW_EXPORT int32_t GW_CALL BKC_OnOpenCompose(HostWindow, int32_t) noexcept { return 0; }
GW_EXPORT int32_t GW_CALL BKC_OnOutgoing(HostWindow, int32_t) noexcept { return 0; }
GW_EXPORT int32_t GW_CALL BKC_OnKeyDispatch(HostWindow, int32_t, int32_t) noexcept { return 0; }
GW_EXPORT int32_t GW_CALL BKC_OnRetrieve(const char*, const char*) noexcept { return 0; }
GW_EXPORT int32_t GW_CALL BKC_OnSend(const char*) noexcept { return 0; }
GW_EXPORT int32_t GW_CALL BKC_OnFinishRetrieve(int32_t) noexcept { return 0; }
GW_EXPORT int32_t GW_CALL BKC_OnDragDrop(const char*, const char*, int32_t, int32_t) noexcept { return 0; }
GW_EXPORT int32_t GW_CALL BKC_OnBeforeFilter2(const char*, const char*, int32_t*, char**) noexcept {
  return 0;
}

}  // extern "C"
