; The guide and the Start-menu entries: the user's guide in Japanese as an
; HTML page with its pictures in the program folder, a Start-menu entry that
; opens it, and, when the bridge is installed, an Internet shortcut to the
; bridge's status page. The finish page offers to open both.
;
; GUIDE is the folder the build wrote the guide into (tools/guide.py):
; index.html and its pictures.

!ifndef GUIDE
  !error "makensis needs -DGUIDE (the folder of the built guide)"
!endif

!include WordFunc.nsh
!include nsDialogs.nsh

; The entries' names in both languages: the uninstaller removes both, so that
; a Windows whose language changed in between is left clean too.
!define GUIDE_ENTRY_JA "Gridwren の使い方"
!define GUIDE_ENTRY_EN "Gridwren guide (Japanese)"
!define STATUS_ENTRY_JA "Gridwren の状態"
!define STATUS_ENTRY_EN "Gridwren status"
!define START_MENU_FOLDER "$SMPROGRAMS\${PRODUCT}"

LangString GuideEntry ${LANG_JAPANESE} "${GUIDE_ENTRY_JA}"
LangString GuideEntry ${LANG_ENGLISH} "${GUIDE_ENTRY_EN}"
LangString StatusEntry ${LANG_JAPANESE} "${STATUS_ENTRY_JA}"
LangString StatusEntry ${LANG_ENGLISH} "${STATUS_ENTRY_EN}"
LangString FinishOpenStatus ${LANG_JAPANESE} "${STATUS_ENTRY_JA}を開く"
LangString FinishOpenStatus ${LANG_ENGLISH} "Open ${STATUS_ENTRY_EN}"
LangString FinishOpenGuide ${LANG_JAPANESE} "${GUIDE_ENTRY_JA}を開く"
LangString FinishOpenGuide ${LANG_ENGLISH} "Open ${GUIDE_ENTRY_EN}"

Var StatusUrl

; After the plug-in and the bridge: the guide for everyone, the status
; page's entry only where this run installed or updated the bridge. The
; entries go to every user's Start menu, as the service serves every user.
Section "-guide" SecGuide
  SetOutPath "$INSTDIR\guide"
  File "${GUIDE}/*"
  SetShellVarContext all
  CreateDirectory "${START_MENU_FOLDER}"
  CreateShortcut "${START_MENU_FOLDER}\$(GuideEntry).lnk" "$INSTDIR\guide\index.html"
  ${If} ${SectionIsSelected} ${SecBridge}
    Call StatusAddress
    ; An Internet shortcut is an INI file; WritePrivateProfileString keeps an
    ; entry written before in its place.
    Delete "${START_MENU_FOLDER}\$(StatusEntry).url"
    WriteINIStr "${START_MENU_FOLDER}\$(StatusEntry).url" "InternetShortcut" "URL" "$StatusUrl"
  ${EndIf}
  SetShellVarContext current
SectionEnd

; $StatusUrl: the status page of the installed service, from the first
; --listen on its command line, so that an upgrade, which keeps the
; service's options, keeps its port too. An address for every interface is
; reached through the loopback one.
Function StatusAddress
  StrCpy $R0 "127.0.0.1:${DEFAULT_PORT}"
  ReadRegStr $R1 HKLM "${SERVICE_KEY}" "ImagePath"
  ClearErrors
  ${WordFind} "$R1" "--listen" "E+1}" $R2
  ${IfNot} ${Errors}
    ; " ADDR:PORT[=AREA] ..." or "=ADDR:PORT[=AREA] ...": the value alone.
    StrCpy $R2 $R2 "" 1
    ${WordFind} "$R2" " " "+1" $R2
    ${WordFind} "$R2" "=" "+1" $R0
  ${EndIf}
  ${WordFind} "$R0" ":" "-1{" $R3
  ${WordFind} "$R0" ":" "-1}" $R4
  ${If} $R3 == "0.0.0.0"
    StrCpy $R3 "127.0.0.1"
  ${ElseIf} $R3 == "[::]"
    StrCpy $R3 "[::1]"
  ${EndIf}
  StrCpy $StatusUrl "http://$R3:$R4/"
FunctionEnd

; The finish page: the status page's box only when there is a status page.
Function FinishPageShow
  ${IfNot} ${SectionIsSelected} ${SecBridge}
    ShowWindow $mui.FinishPage.Run ${SW_HIDE}
    ${NSD_Uncheck} $mui.FinishPage.Run
  ${EndIf}
FunctionEnd

Function OpenStatusPage
  ExecShell "open" "$StatusUrl"
FunctionEnd

Function OpenGuide
  ExecShell "open" "$INSTDIR\guide\index.html"
FunctionEnd

; What the uninstaller removes: the guide's files (only those setup puts
; there) and both entries in either language.
Function un.RemoveGuideAndShortcuts
  Delete "$INSTDIR\guide\index.html"
  Delete "$INSTDIR\guide\*.png"
  RMDir "$INSTDIR\guide"
  SetShellVarContext all
  Delete "${START_MENU_FOLDER}\${GUIDE_ENTRY_JA}.lnk"
  Delete "${START_MENU_FOLDER}\${GUIDE_ENTRY_EN}.lnk"
  Delete "${START_MENU_FOLDER}\${STATUS_ENTRY_JA}.url"
  Delete "${START_MENU_FOLDER}\${STATUS_ENTRY_EN}.url"
  RMDir "${START_MENU_FOLDER}"
  SetShellVarContext current
FunctionEnd
