// The table of host functions. The host exports its services by name from its
// own executable; the plug-in looks them up once, when the library loads, and
// reaches the host only through this table afterwards.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace gw {

using HostWindow = void*;
using HostProc = void (*)();

// Callbacks that the plug-in hands to the host for its menu command.
using CommandCallback = void(GW_CALL*)(HostWindow window, int32_t param);
using StateCallback = uint32_t(GW_CALL*)(HostWindow window, int32_t param);

// Signatures of the ten host functions the plug-in calls.
namespace host_sig {
using GetVersion = const char*(GW_CALL*)();
using Command = int32_t(GW_CALL*)(HostWindow window, const char* command);
using GetWindowHandles = int32_t(GW_CALL*)(HostWindow* main, HostWindow* tree, HostWindow* list,
                                           HostWindow* view);
using RegisterCommand = uint32_t(GW_CALL*)(const char* description, int32_t kind, CommandCallback);
using RegisterUICallback = int32_t(GW_CALL*)(uint32_t commandId, StateCallback);
using GetDataFolder = const char*(GW_CALL*)();
using GetCurrentMailBox = const char*(GW_CALL*)();
using GetTempFileName = const char*(GW_CALL*)(const char* extension);
using AppendMessage = int32_t(GW_CALL*)(const char* folder, const char* message);
using B64Convert = int32_t(GW_CALL*)(const char* output, const char* input, int32_t encode);
}  // namespace host_sig

// One slot per host function, declared in the host's own record order (which
// differs from the resolution order for SetStatus and GetSize); the module
// handle comes last and is null while the table is unbound.
struct HostApi {
#define HOST_SLOT(name) HostProc name = nullptr;
  HOST_SLOT(GetVersion) HOST_SLOT(Command) HOST_SLOT(GetWindowHandles) HOST_SLOT(RegisterCommand)
  HOST_SLOT(RegisterUICallback) HOST_SLOT(GetDataFolder) HOST_SLOT(GetTempFolder)
  HOST_SLOT(GetTempFileName) HOST_SLOT(GetCurrentMailBox) HOST_SLOT(SetCurrentMailBox)
  HOST_SLOT(GetCurrentFolder) HOST_SLOT(SetCurrentFolder) HOST_SLOT(GetFolderDisplayName)
  HOST_SLOT(SetMessageText) HOST_SLOT(GetCurrentMail) HOST_SLOT(SetCurrentMail) HOST_SLOT(GetNextMail)
  HOST_SLOT(SetSel) HOST_SLOT(AppendMessage) HOST_SLOT(MoveSelectedMessages) HOST_SLOT(GetStatus)
  HOST_SLOT(SetStatus) HOST_SLOT(ComposeMail) HOST_SLOT(GetCharSet) HOST_SLOT(GetSource)
  HOST_SLOT(SetSource) HOST_SLOT(GetSize) HOST_SLOT(GetHeader) HOST_SLOT(GetText) HOST_SLOT(SetText)
  HOST_SLOT(GetSpecifiedHeader) HOST_SLOT(SetSpecifiedHeader) HOST_SLOT(CompGetCharSet)
  HOST_SLOT(CompGetSource) HOST_SLOT(CompSetSource) HOST_SLOT(CompGetHeader)
  HOST_SLOT(CompGetSpecifiedHeader) HOST_SLOT(CompSetSpecifiedHeader) HOST_SLOT(CompGetText)
  HOST_SLOT(CompSetText) HOST_SLOT(CompAttachFile) HOST_SLOT(Alloc) HOST_SLOT(ReAlloc) HOST_SLOT(Free)
  HOST_SLOT(ISO_2022_JP) HOST_SLOT(ISO_2022_KR) HOST_SLOT(HZ_GB2312) HOST_SLOT(ISO_8859_2)
  HOST_SLOT(EUC_JP) HOST_SLOT(UTF_7) HOST_SLOT(UTF_8) HOST_SLOT(B64Convert) HOST_SLOT(QPConvert)
  HOST_SLOT(MIMEHeader) HOST_SLOT(SerializeRcpts) HOST_SLOT(Connect) HOST_SLOT(NextUnread)
  HOST_SLOT(ProcessMail)
#undef HOST_SLOT
  void* module = nullptr;

  bool IsBound() const { return module != nullptr; }
};

// Finds an exported host function by its full name ("BKA_GetVersion"), or
// returns null.
using HostSymbolResolver = std::function<HostProc(const char* name)>;

// Number of host functions, and the name of the i-th in resolution order.
constexpr int kHostFunctionCount = 58;
const char* HostFunctionName(int index);

// The binding rules, against any module and resolver: every required function
// must be found, and hosts of version "2.00.06" or later must offer SetStatus.
bool BindHostApiWith(HostApi& api, void* module, const HostSymbolResolver& resolve);

// The process-wide table and its binding against the host program.
HostApi& TheHostApi();
bool BindHostApi();

}  // namespace gw
