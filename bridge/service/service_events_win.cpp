#include "bridge/service/service_events.h"

#include <windows.h>

#include "bridge/log/event_log.h"
#include "bridge/service/service.h"
#include "bridge/upstream/winhttp_support.h"
#include "event_messages.h"

namespace gw::bridge {
namespace {

constexpr wchar_t kSourceKey[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\GridwrenBridge";

WORD TypeOf(EventKind kind) {
  switch (kind) {
    case EventKind::kWarning: return EVENTLOG_WARNING_TYPE;
    case EventKind::kError: return EVENTLOG_ERROR_TYPE;
    default: return EVENTLOG_INFORMATION_TYPE;
  }
}

void WriteEvent(EventKind kind, DWORD id, const std::string& utf8) {
  HANDLE source = RegisterEventSourceW(nullptr, kServiceName);
  if (source == nullptr) return;  // nowhere else to say it: the log file has it
  std::wstring text = Widen(EscapeControls(utf8));
  const wchar_t* strings[] = {text.c_str()};
  ReportEventW(source, TypeOf(kind), 0, id, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(source);
}

}  // namespace

void WriteServiceEvent(EventKind kind, const std::string& utf8) { WriteEvent(kind, GW_EVENT_LINE, utf8); }

void ForwardNoticesToSystemLog() {
  SetNoticeForwarder([](Notice notice, const std::string& line) {
    if (notice == Notice::kAlarm) {
      WriteEvent(EventKind::kWarning, GW_EVENT_ALARM, line);
    } else {
      WriteEvent(EventKind::kInformation, GW_EVENT_ALARM_OVER, line);
    }
  });
}

bool AddEventSource(const std::wstring& programPath, unsigned long* error) {
  HKEY key;
  LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSourceKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) {
    *error = static_cast<unsigned long>(status);
    return false;
  }
  const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
  status = RegSetValueExW(key, L"EventMessageFile", 0, REG_SZ, reinterpret_cast<const BYTE*>(programPath.c_str()),
                          static_cast<DWORD>((programPath.size() + 1) * sizeof(wchar_t)));
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types), sizeof types);
  }
  RegCloseKey(key);
  *error = static_cast<unsigned long>(status);
  return status == ERROR_SUCCESS;
}

bool RemoveEventSource(unsigned long* error) {
  LSTATUS status = RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSourceKey);
  *error = static_cast<unsigned long>(status);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace gw::bridge
