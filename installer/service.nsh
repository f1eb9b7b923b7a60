; The bridge as the Windows service GridwrenBridge. The bridge registers and
; removes the service itself (--install-service, --uninstall-service); the
; system's sc and net start and stop it. The state is read from "sc query",
; whose state names Windows does not translate.

!define SERVICE "GridwrenBridge"
!define SERVICE_KEY "SYSTEM\CurrentControlSet\Services\${SERVICE}"
; How long a start may take before setup reports it: 60 x 250 ms.
!define SERVICE_POLLS 60
; How long a stop may take: 120 x 250 ms, 30 s, as the bridge's own
; --uninstall-service waits. The bridge, asked to stop, ends a fetch in
; progress within about a second; far longer means something is wrong.
!define SERVICE_STOP_POLLS 120

!macro GW_SERVICE_FUNCTIONS un

; $R9: 1 when the service is registered with the service manager.
Function ${un}ServiceRegistered
  StrCpy $R9 0
  ClearErrors
  ReadRegStr $R8 HKLM "${SERVICE_KEY}" "ImagePath"
  ${IfNot} ${Errors}
  ${AndIf} $R8 != ""
    StrCpy $R9 1
  ${EndIf}
FunctionEnd

; $R9: 1 when the service manager reports the service in the state named
; in $R2 (RUNNING, STOPPED: "sc query" gives the names untranslated); $R8:
; the query's exit code, not 0 when the service is not registered.
Function ${un}ServiceIn
  StrCpy $R9 0
  nsExec::ExecToStack '"$SYSDIR\sc.exe" query ${SERVICE}'
  Pop $R8
  Pop $R7
  ${If} $R8 != 0
    Return
  ${EndIf}
  StrLen $R6 $R7
  StrLen $R1 $R2
  StrCpy $R5 0
  ${DoWhile} $R5 < $R6
    StrCpy $R4 $R7 $R1 $R5
    ${If} $R4 S== $R2
      StrCpy $R9 1
      ${Break}
    ${EndIf}
    IntOp $R5 $R5 + 1
  ${Loop}
FunctionEnd

; Stops the service and waits until the service manager reports it
; STOPPED, or is rid of it: a service still stopping (STOP_PENDING) may
; have a process that holds its program file, which is about to be
; replaced or removed. $R9: 1 when it has stopped, 0 when it was still
; stopping after SERVICE_STOP_POLLS.
Function ${un}StopService
  DetailPrint "sc stop ${SERVICE}"
  nsExec::ExecToLog '"$SYSDIR\sc.exe" stop ${SERVICE}'
  Pop $R8
  StrCpy $R3 0
  ${Do}
    StrCpy $R2 "STOPPED"
    Call ${un}ServiceIn
    ${If} $R8 != 0
      StrCpy $R9 1
    ${EndIf}
    ${If} $R9 == 1
      Return
    ${EndIf}
    IntOp $R3 $R3 + 1
    ${If} $R3 > ${SERVICE_STOP_POLLS}
      StrCpy $R9 0
      Return
    ${EndIf}
    Sleep 250
  ${Loop}
FunctionEnd
!macroend

; $R9: 1 when the service manager reports the service running.
Function ServiceRunning
  StrCpy $R2 "RUNNING"
  Call ServiceIn
FunctionEnd

; Starts the service and waits until it runs. $R9: 1 when it runs.
Function StartService
  DetailPrint "sc start ${SERVICE}"
  nsExec::ExecToLog '"$SYSDIR\sc.exe" start ${SERVICE}'
  Pop $R8
  StrCpy $R3 0
  ${Do}
    Call ServiceRunning
    ${If} $R9 == 1
      Return
    ${EndIf}
    IntOp $R3 $R3 + 1
    ${If} $R3 > ${SERVICE_POLLS}
      Return
    ${EndIf}
    Sleep 250
  ${Loop}
FunctionEnd
