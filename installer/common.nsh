; Functions that both the setup program and the uninstaller use.

!macro GW_COMMON_FUNCTIONS un

; Japanese on a Japanese Windows, English on every other. NSIS itself
; would fall back to the first language of the list, Japanese, on a Windows
; whose language is neither: the choice is made from Windows' display
; language here.
Function ${un}ChooseLanguage
  System::Call 'kernel32::GetUserDefaultUILanguage() i .R0'
  IntOp $R0 $R0 & 0x3FF
  ${If} $R0 = 0x11
    StrCpy $LANGUAGE ${LANG_JAPANESE}
  ${Else}
    StrCpy $LANGUAGE ${LANG_ENGLISH}
  ${EndIf}
FunctionEnd

; A mail client that has loaded the plug-in holds its DLL: Windows then
; refuses to open the file for writing. Ask the user to quit the mail
; client and retry; a cancel, and every silent run, ends here with nothing
; changed.
Function ${un}WaitUntilDllFree
  ${DoWhile} ${FileExists} "$PluginDir\Gridwren.dll"
    ClearErrors
    FileOpen $R0 "$PluginDir\Gridwren.dll" a
    ${IfNot} ${Errors}
      FileClose $R0
      ${Break}
    ${EndIf}
    DetailPrint "$(DllInUse)"
    ${IfNot} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(DllInUse)" /SD IDCANCEL IDRETRY`
      SetErrorLevel ${EXIT_CANCELLED}
      Quit
    ${EndIf}
  ${Loop}
FunctionEnd
!macroend
