/* Plays the bridge's service for the setup tests as a service that takes a
 * while to stop, as a real one may with a fetch in progress: asked to stop,
 * it reports STOP_PENDING for at least three seconds, and for as long as
 * a file named after its program with ".hold" added exists, before it
 * reports STOPPED and ends. Running under the service's own name and in
 * place of its program, its process holds that file until it ends.
 *
 * Just before it ends it looks at its program file again: if setup wrote
 * over it while the service was still stopping, it says so in a file
 * named after its program with ".replaced" added. Any command line is
 * accepted (the service's is the bridge's) and ignored. */
#include <stdio.h>
#include <wchar.h>
#include <windows.h>

#define MINIMUM_STOP_MS 3000

static SERVICE_STATUS_HANDLE handle;
static SERVICE_STATUS status;
static HANDLE stopAsked;
static wchar_t program[MAX_PATH];

static void Report(DWORD state) {
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status.dwWin32ExitCode = NO_ERROR;
  status.dwCheckPoint = state == SERVICE_STOP_PENDING ? status.dwCheckPoint + 1 : 0;
  status.dwWaitHint = state == SERVICE_STOP_PENDING ? 1000 : 0;
  SetServiceStatus(handle, &status);
}

static DWORD WINAPI OnControl(DWORD control, DWORD type, void* data, void* context) {
  (void)type, (void)data, (void)context;
  if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
    Report(SERVICE_STOP_PENDING);
    SetEvent(stopAsked);
    return NO_ERROR;
  }
  return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

static LONGLONG FileSize(const wchar_t* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return -1;
  return ((LONGLONG)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

static int Exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

static void WINAPI ServiceMain(DWORD argc, wchar_t** argv) {
  (void)argc, (void)argv;
  wchar_t hold[MAX_PATH + 16], replaced[MAX_PATH + 16];
  swprintf(hold, MAX_PATH + 16, L"%ls.hold", program);
  swprintf(replaced, MAX_PATH + 16, L"%ls.replaced", program);
  const LONGLONG size = FileSize(program);
  handle = RegisterServiceCtrlHandlerExW(L"GridwrenBridge", OnControl, NULL);
  if (!handle) return;
  Report(SERVICE_RUNNING);
  WaitForSingleObject(stopAsked, INFINITE);
  const DWORD asked = GetTickCount();
  while (GetTickCount() - asked < MINIMUM_STOP_MS || Exists(hold)) {
    Sleep(100);
    Report(SERVICE_STOP_PENDING);
  }
  if (FileSize(program) != size) {
    FILE* note = _wfopen(replaced, L"w");
    if (note) {
      fputs("the program file was written while the service was still stopping\n", note);
      fclose(note);
    }
  }
  Report(SERVICE_STOPPED);
}

int wmain(void) {
  if (!GetModuleFileNameW(NULL, program, MAX_PATH)) return 1;
  stopAsked = CreateEventW(NULL, TRUE, FALSE, NULL);
  SERVICE_TABLE_ENTRYW table[] = {{L"GridwrenBridge", ServiceMain}, {NULL, NULL}};
  if (!StartServiceCtrlDispatcherW(table)) {
    fprintf(stderr, "slow_stop_service: run it as the service GridwrenBridge (error %lu)\n", GetLastError());
    return 1;
  }
  return 0;
}
