// A host that exports every host function but BKA_Connect, which the plug-in
// never calls but still requires. Loading the plug-in must be refused, for
// real: through the dynamic symbol table of this program, as in a mail client.
#include <cstdint>
#include <cstdio>
#include <string>

#include "host/plugin_loader.h"

extern "C" {
const char* BKA_GetVersion() { return "2.81.02"; }
#define INERT(name) \
  int32_t name() { return 0; }
INERT(BKA_Command) INERT(BKA_GetWindowHandles) INERT(BKA_RegisterCommand) INERT(BKA_RegisterUICallback)
INERT(BKA_GetDataFolder) INERT(BKA_GetTempFolder) INERT(BKA_GetTempFileName) INERT(BKA_GetCurrentMailBox)
INERT(BKA_SetCurrentMailBox) INERT(BKA_GetCurrentFolder) INERT(BKA_SetCurrentFolder)
INERT(BKA_GetFolderDisplayName) INERT(BKA_SetMessageText) INERT(BKA_GetCurrentMail)
INERT(BKA_SetCurrentMail) INERT(BKA_GetNextMail) INERT(BKA_SetSel) INERT(BKA_AppendMessage)
INERT(BKA_MoveSelectedMessages) INERT(BKA_GetStatus) INERT(BKA_ComposeMail) INERT(BKA_GetCharSet)
INERT(BKA_GetSource) INERT(BKA_SetSource) INERT(BKA_GetHeader) INERT(BKA_GetText) INERT(BKA_SetText)
INERT(BKA_GetSpecifiedHeader) INERT(BKA_SetSpecifiedHeader) INERT(BKA_CompGetCharSet)
INERT(BKA_CompGetSource) INERT(BKA_CompSetSource) INERT(BKA_CompGetHeader)
INERT(BKA_CompGetSpecifiedHeader) INERT(BKA_CompSetSpecifiedHeader) INERT(BKA_CompGetText)
INERT(BKA_CompSetText) INERT(BKA_CompAttachFile) INERT(BKA_Alloc) INERT(BKA_ReAlloc) INERT(BKA_Free)
INERT(BKA_ISO_2022_JP) INERT(BKA_ISO_2022_KR) INERT(BKA_HZ_GB2312) INERT(BKA_ISO_8859_2)
INERT(BKA_EUC_JP) INERT(BKA_UTF_7) INERT(BKA_UTF_8) INERT(BKA_B64Convert) INERT(BKA_QPConvert)
INERT(BKA_MIMEHeader) INERT(BKA_SerializeRcpts) INERT(BKA_SetStatus) INERT(BKA_NextUnread)
INERT(BKA_ProcessMail) INERT(BKA_GetSize)
#undef INERT
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: lacking_host PLUGIN\n");
    return 2;
  }
  std::string error;
  auto plugin = gwhost::LoadedPlugin::Load(argv[1], &error);
  if (plugin) {
    std::printf("FAIL: the plug-in loaded in a host without BKA_Connect\n");
    return 1;
  }
  std::printf("PASS: refused: %s\n", error.c_str());
  return 0;
}
