; Setup's own options, read from its command line in .onInit. Each option is
; one argument, written whole or with its value in double quotes, and means
; the same either way: "/PLUGINDIR=C:\My Folder\PlugIns" (as PowerShell's &
; passes an option with a space) and /PLUGINDIR="C:\My Folder\PlugIns".
; Anything else ends setup with the exit code of a failure, and a message
; naming the argument, before anything is written: an option setup does not
; know, one without its value or with a value it does not take, and a value
; that holds a quote or another option ("/PORT=8080 --area x").
;
; NSIS itself reads /S, /NCRC and /D= first, but only unquoted; /D= (last,
; unquoted) never reaches this parser. A quoted "/S" still makes setup
; silent here.

Var Args         ; what is left of the command line
Var Arg          ; the argument being read, without its quotes
Var ArgName      ; its name up to and with the "=", or all of it
Var ArgValue     ; what follows the "="
Var ArgQuote     ; 1 when a quote stands where none may
Var ArgSwitch    ; 1 when the value holds another option
Var OptionError  ; the message of the first argument refused; empty when none
Var OptionHelp   ; 1 for /?
Var OptionSilent ; 1 for /S, quoted or not
Var NoBridge     ; 1 for /NOBRIDGE

; Takes the next argument off the front of $Args into $Arg, $ArgName and
; $ArgValue. A quote may open only at the start of the argument or right
; after its first "=", and close only at its end; any other quote, and one
; left open, sets $ArgQuote. A blank then "/" or "--" inside the quotes
; sets $ArgSwitch. $R7 is 0 when no argument is left.
Function NextArgument
  StrCpy $Arg ""
  StrCpy $ArgName ""
  StrCpy $ArgQuote 0
  StrCpy $ArgSwitch 0
  StrCpy $R4 0 ; 0 before any quote, 1 inside the quotes, 2 after them
  StrCpy $R5 "" ; the character before
  StrCpy $R7 0 ; 1 once a character is read
  ${Do}
    StrCpy $R2 $Args 1
    ${If} $R2 != " "
    ${AndIf} $R2 != "$\t"
      ${Break}
    ${EndIf}
    StrCpy $Args $Args "" 1
  ${Loop}
  ${Do}
    StrCpy $R2 $Args 1
    ${If} $R2 == ""
      ${Break}
    ${EndIf}
    ${If} $R4 != 1
      ${If} $R2 == " "
      ${OrIf} $R2 == "$\t"
        ${Break}
      ${EndIf}
    ${EndIf}
    StrCpy $Args $Args "" 1
    StrCpy $R7 1
    Call ReadArgumentChar
    StrCpy $R5 $R2
  ${Loop}
  ${If} $R4 == 1
    StrCpy $ArgQuote 1
  ${EndIf}
  StrCpy $ArgValue ""
  ${If} $ArgName == ""
    StrCpy $ArgName $Arg
  ${Else}
    StrLen $R2 $ArgName
    StrCpy $ArgValue $Arg "" $R2
  ${EndIf}
FunctionEnd

; One character $R2 of the argument, $R5 the one before it, $R4 the
; quotes' state (NextArgument).
Function ReadArgumentChar
  ${If} $R2 == "$\""
    ${If} $R4 == 1
      StrCpy $R4 2
    ${ElseIf} $R4 == 0
    ${AndIf} $Arg == ""
      StrCpy $R4 1
    ${ElseIf} $R4 == 0
    ${AndIf} $R5 == "="
    ${AndIf} $ArgName == $Arg
      StrCpy $R4 1
    ${Else}
      StrCpy $ArgQuote 1
      StrCpy $Arg "$Arg$R2" ; kept, for the message
    ${EndIf}
    Return
  ${EndIf}
  ${If} $R4 == 2
    StrCpy $ArgQuote 1 ; text after the closing quote
  ${EndIf}
  ; $Args already starts at the next character.
  ${If} $R5 == " "
  ${OrIf} $R5 == "$\t"
    StrCpy $R6 $Args 1
    ${If} $R2 == "/"
    ${OrIf} "$R2$R6" == "--"
      StrCpy $ArgSwitch 1
    ${EndIf}
  ${EndIf}
  StrCpy $Arg "$Arg$R2"
  ${If} $R2 == "="
  ${AndIf} $ArgName == ""
    StrCpy $ArgName $Arg
  ${EndIf}
FunctionEnd

; Keeps the first refusal's message.
!macro GW_REFUSE_OPTION MESSAGE
  ${If} $OptionError == ""
    StrCpy $OptionError "${MESSAGE}"
  ${EndIf}
!macroend

; One option's value: $R1 the argument as given, for the messages.
Function TakeOption
  StrCpy $R1 $Arg
  ${If} $ArgName == "/S"
  ${OrIf} $ArgName == "/NCRC"
  ${OrIf} $ArgName == "/?"
  ${OrIf} $ArgName == "/NOBRIDGE"
    ${If} $ArgQuote == 1
      !insertmacro GW_REFUSE_OPTION "$(BadOptionValue)"
    ${ElseIf} $ArgName == "/S"
      StrCpy $OptionSilent 1
    ${ElseIf} $ArgName == "/?"
      StrCpy $OptionHelp 1
    ${ElseIf} $ArgName == "/NOBRIDGE"
      StrCpy $NoBridge 1
    ${EndIf}
    Return
  ${EndIf}
  ${If} $ArgName != "/PLUGINDIR="
  ${AndIf} $ArgName != "/PORT="
  ${AndIf} $ArgName != "/AREA="
    !insertmacro GW_REFUSE_OPTION "$(UnknownOption)"
    Return
  ${EndIf}
  ${If} $ArgQuote == 1
  ${OrIf} $ArgSwitch == 1
  ${OrIf} $ArgValue == ""
    !insertmacro GW_REFUSE_OPTION "$(BadOptionValue)"
    Return
  ${EndIf}
  StrCpy $R1 $ArgValue
  ${If} $ArgName == "/PLUGINDIR="
    StrCpy $PluginDir $ArgValue
  ${ElseIf} $ArgName == "/PORT="
    IntOp $R2 $R1 + 0
    ${If} "$R2" != "$R1"
    ${OrIf} $R2 < 1
    ${OrIf} $R2 > 65535
      !insertmacro GW_REFUSE_OPTION "$(BadPort)"
    ${EndIf}
    StrCpy $Port $R2
  ${Else}
    Call MatchArea
    ${If} $R2 == ""
      !insertmacro GW_REFUSE_OPTION "$(BadArea)"
    ${EndIf}
    StrCpy $Area $R2
  ${EndIf}
FunctionEnd

; The refusal: in a message box (none when silent), and on the standard
; error stream when whoever ran setup gave it one (a script redirecting
; it); then the exit code of a failure.
Function RefuseOptions
  MessageBox MB_OK|MB_ICONSTOP "$OptionError" /SD IDOK
  System::Call 'kernel32::GetStdHandle(i -12) i .R2'
  ${If} $R2 != 0
  ${AndIf} $R2 != -1
    FileWrite $R2 "$OptionError$\r$\n"
  ${EndIf}
  SetErrorLevel ${EXIT_FAILED}
  Quit
FunctionEnd

; Reads every argument of the command line; a refusal, or /?, ends setup.
Function ReadOptions
  StrCpy $OptionError ""
  StrCpy $OptionHelp 0
  StrCpy $OptionSilent 0
  StrCpy $NoBridge 0
  ${GetParameters} $Args
  ${Do}
    Call NextArgument
    ${If} $R7 == 0
      ${Break}
    ${EndIf}
    Call TakeOption
  ${Loop}
  ${If} $OptionSilent == 1
    SetSilent silent
  ${EndIf}
  ${If} $OptionHelp == 1
    MessageBox MB_OK|MB_ICONINFORMATION "$(Usage)" /SD IDOK
    SetErrorLevel 0
    Quit
  ${EndIf}
  ${If} $OptionError != ""
    Call RefuseOptions
  ${EndIf}
  ${If} $NoBridge == 1
    !insertmacro UnselectSection ${SecBridge}
  ${EndIf}
FunctionEnd
