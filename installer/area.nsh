; The grid area a new bridge service reads: /AREA=NAME (options.nsh), a page
; with a drop-down list of the ten areas otherwise. Tokyo, the bridge's own
; default, adds nothing to the service's command line, so that an install
; that chooses no area registers the same command line as before. An
; installed service keeps its own area, as it keeps its port: the page is
; not shown for an upgrade.

!include nsDialogs.nsh

!define DEFAULT_AREA "tokyo"

Var Area
Var AreaList

; Inserts macro M once for each of the bridge's area names, north to south:
; the order of the list.
!macro GW_FOR_EACH_AREA M
  !insertmacro ${M} hokkaido
  !insertmacro ${M} tohoku
  !insertmacro ${M} tokyo
  !insertmacro ${M} chubu
  !insertmacro ${M} hokuriku
  !insertmacro ${M} kansai
  !insertmacro ${M} chugoku
  !insertmacro ${M} shikoku
  !insertmacro ${M} kyushu
  !insertmacro ${M} okinawa
!macroend

; $R2 becomes the area's name as the bridge spells it when $R1 names it
; (Windows options ignore case: /AREA=Kansai is kansai too).
!macro GW_MATCH_AREA NAME
  ${If} $R1 == "${NAME}"
    StrCpy $R2 "${NAME}"
  ${EndIf}
!macroend

!macro GW_ADD_AREA NAME
  ${NSD_CB_AddString} $AreaList "$(Area_${NAME})"
!macroend

!macro GW_SELECT_AREA NAME
  ${If} $Area == "${NAME}"
    ${NSD_CB_SelectString} $AreaList "$(Area_${NAME})"
  ${EndIf}
!macroend

!macro GW_AREA_FROM_LIST NAME
  ${If} $R0 == "$(Area_${NAME})"
    StrCpy $Area "${NAME}"
  ${EndIf}
!macroend

; $R2 becomes the bridge's name of the area that $R1 names (the value of
; /AREA=), or empty when it names none.
Function MatchArea
  StrCpy $R2 ""
  !insertmacro GW_FOR_EACH_AREA GW_MATCH_AREA
FunctionEnd

; The page, only when a new service is to be registered.
Function AreaPageCreate
  ${IfNot} ${SectionIsSelected} ${SecBridge}
    Abort
  ${EndIf}
  Call ServiceRegistered
  ${If} $R9 == 1
    Abort
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "$(AreaTitle)" "$(AreaSubtitle)"
  nsDialogs::Create 1018
  Pop $R0
  ${If} $R0 == error
    Abort
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 30u "$(AreaText)"
  Pop $R0
  ${NSD_CreateDropList} 0 36u 50% 120u ""
  Pop $AreaList
  !insertmacro GW_FOR_EACH_AREA GW_ADD_AREA
  !insertmacro GW_FOR_EACH_AREA GW_SELECT_AREA
  ; The arrow keys choose at once; Enter goes on.
  ${NSD_SetFocus} $AreaList
  nsDialogs::Show
FunctionEnd

Function AreaPageLeave
  ${NSD_GetText} $AreaList $R0
  !insertmacro GW_FOR_EACH_AREA GW_AREA_FROM_LIST
FunctionEnd

; The options that give the service its area: none for Tokyo. In $R7.
Function AreaArguments
  StrCpy $R7 ""
  ${If} $Area != ${DEFAULT_AREA}
    StrCpy $R7 " --area $Area"
  ${EndIf}
FunctionEnd
