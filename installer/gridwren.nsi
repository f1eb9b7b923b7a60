; Gridwren's setup program: the plug-in into the mail client's plug-in folder,
; the bridge as a Windows service with the plug-in's proxy pointed at it, an
; uninstaller and the entry in Programs and Features.
;
; The Windows build runs makensis with these defines (all paths absolute):
;   VERSION      the project's version, e.g. 1.1.0
;   VERSION_QUAD the same with four numbers, e.g. 1.1.0.0
;   DLL BRIDGE README LICENCE   the files it installs
;   OUTFILE      the setup program to write
;
; Silent use: /S [/PLUGINDIR=folder] [/PORT=n] [/AREA=name] [/NOBRIDGE]
;   [/D=program folder]
; Exit codes: 0 done, 1 failed, 2 cancelled or the mail client still running.

Unicode true
!ifndef VERSION | VERSION_QUAD | DLL | BRIDGE | README | LICENCE | OUTFILE
  !error "makensis needs -DVERSION -DVERSION_QUAD -DDLL -DBRIDGE -DREADME -DLICENCE -DOUTFILE"
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh

!define PRODUCT "Gridwren"
!define PUBLISHER "The Gridwren authors"
!define REG_KEY "Software\Gridwren"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Gridwren"
!define SETTINGS_KEY "Software\RimArts\B2\Settings"
!define DEFAULT_PORT 8080
; NSIS's own exit codes are 1 for a cancel and 2 for an abort; this program
; gives 1 for a failure and 2 for a cancel, so it sets them itself.
!define EXIT_FAILED 1
!define EXIT_CANCELLED 2

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Gridwren"
InstallDirRegKey HKLM "${REG_KEY}" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show
; A file that cannot be written fails the installation instead of being
; skipped.
AllowSkipFiles off

VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "LegalCopyright" "Copyright (c) 2026 ${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"

Var PluginDir
Var Port
Var Failed

!define MUI_ABORTWARNING
!define MUI_UNABORTWARNING
!define MUI_CUSTOMFUNCTION_ABORT OnCancel
!define MUI_CUSTOMFUNCTION_UNABORT un.OnCancel
; The description under the list, so that the list has the width for the
; components' names.
!define MUI_COMPONENTSPAGE_SMALLDESC

!define MUI_WELCOMEPAGE_TEXT "$(WelcomeText)"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENCE}"
!define MUI_PAGE_HEADER_TEXT "$(PluginDirTitle)"
!define MUI_PAGE_HEADER_SUBTEXT "$(PluginDirSubtitle)"
!define MUI_DIRECTORYPAGE_TEXT_TOP "$(PluginDirText)"
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "$(PluginDirBox)"
!define MUI_DIRECTORYPAGE_VARIABLE $PluginDir
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE PluginDirLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
Page custom AreaPageCreate AreaPageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$(FinishText)"
; Two offers, handled in shortcuts.nsh: the status page (checked) and the guide.
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(FinishOpenStatus)"
!define MUI_FINISHPAGE_RUN_FUNCTION OpenStatusPage
!define MUI_FINISHPAGE_SHOWREADME
!define MUI_FINISHPAGE_SHOWREADME_TEXT "$(FinishOpenGuide)"
!define MUI_FINISHPAGE_SHOWREADME_FUNCTION OpenGuide
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishPageShow
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$(UnFinishText)"
!insertmacro MUI_UNPAGE_FINISH

; Japanese first: it is the interface. English serves every other Windows.
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "English"

!include "strings.nsh"
!include "service.nsh"
!insertmacro GW_SERVICE_FUNCTIONS ""
!insertmacro GW_SERVICE_FUNCTIONS "un."
!include "common.nsh"
!insertmacro GW_COMMON_FUNCTIONS ""
!insertmacro GW_COMMON_FUNCTIONS "un."

Section "-check" SecCheck
  ; Before anything changes: a mail client holding the plug-in stops setup,
  ; and so does a bridge service that does not stop.
  Call WaitUntilDllFree
  Call StopServiceBeforeUpgrade
SectionEnd

Section "!$(SecPluginName)" SecPlugin
  SectionIn RO
  Call CheckPluginDir
  CreateDirectory "$PluginDir"
  SetOutPath "$PluginDir"
  File "/oname=Gridwren.dll" "${DLL}"
  SetOutPath "$INSTDIR"
  File "/oname=README.md" "${README}"
  File "/oname=LICENCE.txt" "${LICENCE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${REG_KEY}" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${REG_KEY}" "PluginDir" "$PluginDir"
  WriteRegStr HKLM "${REG_KEY}" "Version" "${VERSION}"
SectionEnd

Section "$(SecBridgeName)" SecBridge
  Call ServiceRegistered
  ${If} $R9 == 1
    ; An upgrade: the service keeps its registration, and with it the
    ; options on its command line; only its program is replaced, the
    ; service having stopped in the check.
    DetailPrint "$(ServiceKept)"
    SetOutPath "$INSTDIR"
    File "/oname=gridwren-bridge.exe" "${BRIDGE}"
  ${Else}
    SetOutPath "$INSTDIR"
    File "/oname=gridwren-bridge.exe" "${BRIDGE}"
    Call InstallService
  ${EndIf}
  Call StartService
  ${If} $R9 != 1
    DetailPrint "$(ServiceNotRunning)"
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(ServiceNotRunning)" /SD IDOK
    StrCpy $Failed 1
  ${EndIf}
  Call PointProxyAtBridge
SectionEnd

!include "shortcuts.nsh"

Section "-register" SecRegister
  ${IfNot} ${SectionIsSelected} ${SecBridge}
  ${AndIf} ${FileExists} "$INSTDIR\gridwren-bridge.exe"
    DetailPrint "$(BridgeLeftAlone)"
  ${EndIf}
  Call WriteUninstallEntry
  ${If} $Failed == 1
    SetErrorLevel ${EXIT_FAILED}
  ${EndIf}
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecPlugin} "$(SecPluginDesc)"
  !insertmacro MUI_DESCRIPTION_TEXT ${SecBridge} "$(SecBridgeDesc)"
!insertmacro MUI_FUNCTION_DESCRIPTION_END

!include "area.nsh"
!include "options.nsh"

Function .onInit
  Call ChooseLanguage
  StrCpy $Failed 0
  ReadRegStr $PluginDir HKLM "${REG_KEY}" "PluginDir"
  ${If} $PluginDir == ""
    StrCpy $PluginDir "$PROGRAMFILES32\RimArts\B2\PlugIns"
  ${EndIf}
  StrCpy $Port ${DEFAULT_PORT}
  StrCpy $Area ${DEFAULT_AREA}
  Call ReadOptions
FunctionEnd

Function OnCancel
  SetErrorLevel ${EXIT_CANCELLED}
FunctionEnd

Function .onInstFailed
  SetErrorLevel ${EXIT_FAILED}
FunctionEnd

; Leaving the folder page: a folder whose parent holds no B2.exe is not the
; mail client's; say so, and let the user go on or choose again.
Function PluginDirLeave
  ${GetParent} "$PluginDir" $0
  ${IfNot} ${FileExists} "$0\B2.exe"
    MessageBox MB_YESNO|MB_ICONEXCLAMATION "$(NotMailClient)" /SD IDYES IDYES +2
    Abort
  ${EndIf}
FunctionEnd

; The same check where no page ran (silent use): noted in the details.
Function CheckPluginDir
  ${GetParent} "$PluginDir" $0
  ${IfNot} ${FileExists} "$0\B2.exe"
    DetailPrint "$(NotMailClient)"
  ${EndIf}
FunctionEnd

; An upgrade replaces the bridge's program, which the service's process
; holds until it has ended: the service must have stopped before anything
; is written, or the copy fails halfway (AllowSkipFiles off). A service
; still stopping after the wait ends setup here, with nothing changed.
Function StopServiceBeforeUpgrade
  ${IfNot} ${SectionIsSelected} ${SecBridge}
    Return
  ${EndIf}
  Call ServiceRegistered
  ${If} $R9 != 1
    Return
  ${EndIf}
  Call StopService
  ${If} $R9 != 1
    DetailPrint "$(ServiceNotStopped)"
    MessageBox MB_OK|MB_ICONSTOP "$(ServiceNotStopped)" /SD IDOK
    SetErrorLevel ${EXIT_FAILED}
    Quit
  ${EndIf}
FunctionEnd

Function InstallService
  Call AreaArguments
  DetailPrint "gridwren-bridge.exe --install-service$R7 --listen 127.0.0.1:$Port"
  nsExec::ExecToLog '"$INSTDIR\gridwren-bridge.exe" --install-service$R7 --listen 127.0.0.1:$Port'
  Pop $R8
  ${If} $R8 != 0
    DetailPrint "$(ServiceNotInstalled) ($R8)"
    MessageBox MB_OK|MB_ICONSTOP "$(ServiceNotInstalled)" /SD IDOK
    SetErrorLevel ${EXIT_FAILED}
    Abort
  ${EndIf}
FunctionEnd

; The plug-in's proxy becomes the bridge, but only when the user has none
; yet: the plug-in itself writes an empty TUServer and TUPort 80 as its
; defaults, so an empty or missing server is "none". The types are those
; the plug-in writes: TUServer a text (REG_SZ), TUPort a REG_DWORD.
Function PointProxyAtBridge
  ReadRegStr $R0 HKCU "${SETTINGS_KEY}" "TUServer"
  ${If} $R0 != ""
    DetailPrint "$(ProxyKept)"
    Return
  ${EndIf}
  WriteRegStr HKCU "${SETTINGS_KEY}" "TUServer" "127.0.0.1"
  WriteRegDWORD HKCU "${SETTINGS_KEY}" "TUPort" $Port
  DetailPrint "$(ProxySet)"
FunctionEnd

; Programs and Features: name, version, publisher, size and the uninstaller.
Function WriteUninstallEntry
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  ${GetSize} "$PluginDir" "/M=Gridwren.dll /S=0K /G=0" $3 $1 $2
  IntOp $0 $0 + $3
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
FunctionEnd

Section "Uninstall"
  ReadRegStr $PluginDir HKLM "${REG_KEY}" "PluginDir"
  Call un.WaitUntilDllFree
  Call un.ServiceRegistered
  ${If} $R9 == 1
    Call un.RemoveService
  ${EndIf}
  ${If} $PluginDir != ""
    Delete "$PluginDir\Gridwren.dll"
  ${EndIf}
  Delete "$INSTDIR\gridwren-bridge.exe"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENCE.txt"
  Call un.RemoveGuideAndShortcuts
  Delete "$INSTDIR\uninstall.exe"
  ; Only the files setup put there: a folder chosen with /D= may hold more.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${REG_KEY}"
  DetailPrint "$(UnKeptLine)"
SectionEnd

Function un.onInit
  Call un.ChooseLanguage
FunctionEnd

Function un.OnCancel
  SetErrorLevel ${EXIT_CANCELLED}
FunctionEnd

Function un.onUninstFailed
  SetErrorLevel ${EXIT_FAILED}
FunctionEnd

; The bridge removes its own service; when it cannot (its program gone), the
; service manager does it directly.
Function un.RemoveService
  DetailPrint "gridwren-bridge.exe --uninstall-service"
  nsExec::ExecToLog '"$INSTDIR\gridwren-bridge.exe" --uninstall-service'
  Pop $R8
  Call un.ServiceRegistered
  ${If} $R9 == 1
    Call un.StopService
    nsExec::ExecToLog '"$SYSDIR\sc.exe" delete ${SERVICE}'
    Pop $R8
  ${EndIf}
FunctionEnd
