; Installs gen_velmora.dll into Winamp's Plugins folder, with an uninstaller registered in
; Add/Remove Programs: for every user when run as an administrator, else for the current user.
; makensis -DVERSION=2.0.0.0 -DDLL=path/to/gen_velmora.dll -DOUTFILE=path/to/setup.exe gen_velmora.nsi
Unicode true
!include LogicLib.nsh
!include FileFunc.nsh
!include MUI2.nsh

!ifndef VERSION | DLL | OUTFILE
  !error "define VERSION, DLL and OUTFILE"
!endif

; Each Plugins folder has its own entry under this key (see EntryKey).
!define UNINSTALL_ROOT "Software\Microsoft\Windows\CurrentVersion\Uninstall"
!define SETTINGS_KEY "SOFTWARE\Dravnik\Velmora"
!define UNINSTALLER "gen_velmora-uninstall.exe"
!define WINAMP_WINDOW_CLASS "Winamp v1.x"
; The About page's link, so the two never differ (makensis works in the script's folder).
!searchparse /file "../../res/resource.h" '#define VELMORA_HOMEPAGE "' HOMEPAGE '"'

Name "Velmora ${VERSION}"
OutFile "${OUTFILE}"
; Winamp's usual folder, under Program Files, needs an administrator: an administrator gets one
; elevation prompt, a standard user runs as themselves (and is told when the folder needs more).
RequestExecutionLevel highest
SetCompressor /SOLID lzma
; A DLL that cannot be written stops the setup (Retry/Cancel; silent: Cancel), never skipped.
AllowSkipFiles off
ShowInstDetails show
ShowUninstDetails show
BrandingText "Velmora ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey ProductName "Velmora"
VIAddVersionKey CompanyName "Dravnik"
VIAddVersionKey LegalCopyright "Copyright (C) 2012 Dravnik"
VIAddVersionKey FileDescription "Velmora Winamp plug-in setup"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey ProductVersion "${VERSION}"

!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup will install Velmora (gen_velmora.dll) into the Plugins \
folder of this Winamp installation. If Winamp is somewhere else, choose the folder that holds \
winamp.exe."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Winamp folder"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "Velmora is installed"
!define MUI_FINISHPAGE_TEXT "Restart Winamp to load Velmora: close it and start it again.$\r$\n$\r$\n\
To choose which multimedia keys it answers (the volume keys are off at first): in Winamp, \
Preferences (Ctrl+P) > Plug-ins > General Purpose > Velmora > Configure."
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var MadePlugins   ; 1: this run made the Plugins folder
Var Kept          ; 1: KeepPrevious kept all it had to, and PutBack has not run yet
Var EntryKey      ; this Plugins folder's Add/Remove Programs key, under SHCTX

; The DLL cannot be replaced or removed while Winamp has it loaded.
!macro WAIT_FOR_WINAMP_TO_CLOSE prefix
Function ${prefix}WaitForWinampToClose
  retry:
    FindWindow $0 "${WINAMP_WINDOW_CLASS}"
    ${If} $0 <> 0
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Winamp is running. Close it, then click Retry." \
        /SD IDCANCEL IDRETRY retry
      Abort "Winamp is running."
    ${EndIf}
FunctionEnd
!macroend
!insertmacro WAIT_FOR_WINAMP_TO_CLOSE ""
!insertmacro WAIT_FOR_WINAMP_TO_CLOSE "un."

; Each Plugins folder has an entry of its own, so two Winamp folders stay listed and each
; uninstaller finds its own.
!macro ENTRY_KEY prefix
; $0: a folder; out: $0 in one spelling for every way of writing it (long names, upper case, no
; trailing "\"). Uses $1 and $2.
Function ${prefix}NormalFolder
  StrCpy $1 $0 1 -1
  ${If} $1 == "\"
    StrCpy $0 $0 -1
  ${EndIf}
  System::Call 'kernel32::GetLongPathNameW(w r0, w .r1, i ${NSIS_MAX_STRLEN}) i .r2'
  ${If} $2 > 0
  ${AndIf} $2 < ${NSIS_MAX_STRLEN}
    StrCpy $0 $1
  ${EndIf}
  System::Call 'user32::CharUpperW(w r0r0)'
FunctionEnd

; $0: the Plugins folder; sets $EntryKey, named after the CRC-32 of the folder's one spelling,
; and leaves that spelling in $0. Uses $1 and $2.
Function ${prefix}EntryKey
  Call ${prefix}NormalFolder
  StrLen $2 $0
  IntOp $2 $2 * 2
  System::Call 'ntdll::RtlComputeCrc32(i 0, w r0, i r2) i .r2'
  IntFmt $2 "%08X" $2
  StrCpy $EntryKey "${UNINSTALL_ROOT}\Velmora-$2"
FunctionEnd
!macroend
!insertmacro ENTRY_KEY ""
!insertmacro ENTRY_KEY "un."

; An administrator installs for every user of the folder (each one's Winamp loads the DLL), so
; the entry goes under HKLM; anyone else's under HKCU. The settings stay per user in HKCU.
; A folder given with /D= wins; then Winamp's own record, per user before per machine.
Function .onInit
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    SetShellVarContext all
  ${EndIf}
  ${If} $INSTDIR == ""
    ReadRegStr $INSTDIR HKCU "Software\Winamp" ""
  ${EndIf}
  ${If} $INSTDIR == ""
    ReadRegStr $INSTDIR HKLM "Software\Winamp" ""
  ${EndIf}
  ${If} $INSTDIR == ""
    StrCpy $INSTDIR "$PROGRAMFILES\Winamp"
  ${EndIf}
FunctionEnd

; Next stays disabled until the folder is a Winamp folder.
Function .onVerifyInstDir
  ${IfNot} ${FileExists} "$INSTDIR\winamp.exe"
    Abort
  ${EndIf}
FunctionEnd

; Again in the section: a silent setup never shows the directory page.
Function RefuseNonWinampFolder
  ${IfNot} ${FileExists} "$INSTDIR\winamp.exe"
    MessageBox MB_OK|MB_ICONSTOP "$INSTDIR holds no winamp.exe.$\r$\n$\r$\nRun the setup again and \
      choose the folder Winamp is installed in." /SD IDOK
    Abort "No winamp.exe in $INSTDIR."
  ${EndIf}
FunctionEnd

; Windows' own error tells a folder this user may not write (Retry cannot help; an administrator
; can) from one held by a program. The write test stays out of the details list: the user did not
; ask for that file.
Function RefuseUnwritablePlugins
  StrCpy $1 0
  ${IfNot} ${FileExists} "$INSTDIR\Plugins\*.*"
    System::Call 'kernel32::CreateDirectoryW(w "$INSTDIR\Plugins", p 0) i .r0 ?e'
    Pop $1
    ${If} $0 <> 0
      StrCpy $MadePlugins 1
      StrCpy $1 0
    ${EndIf}
  ${EndIf}
  ${If} $1 = 0
    ; GENERIC_WRITE, CREATE_ALWAYS
    System::Call 'kernel32::CreateFileW(w "$INSTDIR\Plugins\gen_velmora.tmp", i 0x40000000, i 0, \
      p 0, i 2, i 0x80, p 0) p .r0 ?e'
    Pop $1
    ${If} $0 != -1
      System::Call 'kernel32::CloseHandle(p r0)'
      SetDetailsPrint none
      Delete "$INSTDIR\Plugins\gen_velmora.tmp"
      SetDetailsPrint both
      Return
    ${EndIf}
  ${EndIf}
  ${If} $1 = 5   ; ERROR_ACCESS_DENIED
    MessageBox MB_OK|MB_ICONSTOP "You have no right to write to $INSTDIR\Plugins, so Setup cannot \
      install Velmora there.$\r$\n$\r$\nAsk an administrator to run the setup, or choose a Winamp \
      folder you can write to." /SD IDOK
    Abort "No right to write to $INSTDIR\Plugins."
  ${EndIf}
  MessageBox MB_OK|MB_ICONSTOP "Setup cannot write to $INSTDIR\Plugins (Windows error $1)." /SD IDOK
  Abort "Cannot write to $INSTDIR\Plugins (Windows error $1)."
FunctionEnd

; A DLL that Winamp (under another window class, or a second copy) or any other program has
; loaded cannot be opened for writing: a sharing violation, which Retry can end once the program
; is closed. Access denied means this user may not change it at all.
!macro WAIT_FOR_DLL_TO_BE_FREE prefix verb program
Function ${prefix}WaitForDllToBeFree
  retry:
    ${If} ${FileExists} "${DLL_PATH}"
      ; GENERIC_WRITE, sharing reading, OPEN_EXISTING: changes nothing.
      System::Call 'kernel32::CreateFileW(w "${DLL_PATH}", i 0x40000000, i 1, p 0, i 3, i 0x80, \
        p 0) p .r0 ?e'
      Pop $1
      ${If} $0 != -1
        System::Call 'kernel32::CloseHandle(p r0)'
        Return
      ${EndIf}
      ${If} $1 = 5   ; ERROR_ACCESS_DENIED
        MessageBox MB_OK|MB_ICONSTOP "You have no right to change ${DLL_PATH}, so it cannot be \
          ${verb}.$\r$\n$\r$\nAsk an administrator to run ${program}." /SD IDOK
        Abort "No right to change ${DLL_PATH}; nothing was ${verb}."
      ${ElseIf} $1 = 32   ; ERROR_SHARING_VIOLATION
      ${OrIf} $1 = 33     ; ERROR_LOCK_VIOLATION
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${DLL_PATH} is in use by Winamp or another \
          program, so it cannot be ${verb}.$\r$\n$\r$\nClose it, then click Retry." \
          /SD IDCANCEL IDRETRY retry
      ${Else}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${DLL_PATH} cannot be ${verb} (Windows \
          error $1)." /SD IDCANCEL IDRETRY retry
      ${EndIf}
      Abort "Cannot change ${DLL_PATH} (Windows error $1); nothing was ${verb}."
    ${EndIf}
FunctionEnd
!macroend
!define DLL_PATH "$INSTDIR\Plugins\gen_velmora.dll"
!insertmacro WAIT_FOR_DLL_TO_BE_FREE "" replaced "the setup"
!undef DLL_PATH
!define DLL_PATH "$INSTDIR\gen_velmora.dll"
!insertmacro WAIT_FOR_DLL_TO_BE_FREE "un." removed "the uninstaller"
!undef DLL_PATH

; What an earlier install left (the DLL, the uninstaller, the Add/Remove Programs entry) is kept
; in $PLUGINSDIR\previous until the setup has finished, so a setup that fails can put it back.
!define PREVIOUS "$PLUGINSDIR\previous"
; The values this setup writes; the entry's other values are never touched.
!macro ENTRY_VALUES do
  !insertmacro ${do} Str DisplayName
  !insertmacro ${do} Str DisplayVersion
  !insertmacro ${do} Str DisplayIcon
  !insertmacro ${do} Str Publisher
  !insertmacro ${do} Str URLInfoAbout
  !insertmacro ${do} Str InstallLocation
  !insertmacro ${do} Str UninstallString
  !insertmacro ${do} Str QuietUninstallString
  !insertmacro ${do} DWORD NoModify
  !insertmacro ${do} DWORD NoRepair
  !insertmacro ${do} DWORD EstimatedSize
!macroend
; In brackets: an INI file drops a value's outer quotes and spaces.
!macro KEEP_VALUE type name
  ClearErrors
  ReadReg${type} $1 SHCTX "$EntryKey" "${name}"
  ${IfNot} ${Errors}
    WriteINIStr "${PREVIOUS}\entry.ini" ${type} ${name} "[$1]"
    ${If} ${Errors}
      StrCpy $0 "keep a copy of its Add/Remove Programs entry"
      Call UndoAndStop
    ${EndIf}
  ${EndIf}
!macroend
!macro PUT_BACK_VALUE type name
  ClearErrors
  ReadINIStr $1 "${PREVIOUS}\entry.ini" ${type} ${name}
  ${If} ${Errors}
    DeleteRegValue SHCTX "$EntryKey" "${name}"
  ${Else}
    StrCpy $1 $1 -1 1
    WriteReg${type} SHCTX "$EntryKey" "${name}" $1
  ${EndIf}
!macroend
; A file that opens for reading is a file (a folder of that name is left alone).
!macro KEEP_FILE name
  ClearErrors
  FileOpen $1 "$INSTDIR\Plugins\${name}" r
  ${IfNot} ${Errors}
    FileClose $1
    System::Call 'kernel32::CopyFileW(w "$INSTDIR\Plugins\${name}", w "${PREVIOUS}\${name}", i 1) i .r1'
    ${If} $1 == 0
      StrCpy $0 "keep a copy of $INSTDIR\Plugins\${name}"
      Call UndoAndStop
    ${EndIf}
  ${EndIf}
!macroend
!macro PUT_BACK_FILE name
  ${If} ${FileExists} "${PREVIOUS}\${name}"
    System::Call 'kernel32::CopyFileW(w "${PREVIOUS}\${name}", w "$INSTDIR\Plugins\${name}", i 0) i .r1'
  ${Else}
    Delete "$INSTDIR\Plugins\${name}"
  ${EndIf}
!macroend

; Changes nothing but files in $PLUGINSDIR; $Kept is set only once every copy is made.
Function KeepPrevious
  SetDetailsPrint none
  CreateDirectory "${PREVIOUS}"
  ; WritePrivateProfileStringW keeps the encoding of a file that exists and writes a new one in
  ; the ANSI code page: begun as UTF-16, the file keeps every letter of a path.
  ClearErrors
  FileOpen $1 "${PREVIOUS}\entry.ini" w
  FileWriteUTF16LE /BOM $1 ""
  FileClose $1
  ${If} ${Errors}
    StrCpy $0 "keep a copy of its Add/Remove Programs entry"
    Call UndoAndStop
  ${EndIf}
  ClearErrors
  EnumRegValue $1 SHCTX "$EntryKey" 0
  ${IfNot} ${Errors}
    WriteINIStr "${PREVIOUS}\entry.ini" key exists 1
  ${EndIf}
  !insertmacro ENTRY_VALUES KEEP_VALUE
  !insertmacro KEEP_FILE gen_velmora.dll
  !insertmacro KEEP_FILE ${UNINSTALLER}
  StrCpy $Kept 1
  SetDetailsPrint both
FunctionEnd

; Puts back what KeepPrevious kept and removes what this run added, with the Plugins folder when
; this run made it and it is empty. Once: later it would undo the work of a setup run since.
Function PutBack
  SetDetailsPrint none
  ${If} $Kept == 1
    StrCpy $Kept 0
    !insertmacro PUT_BACK_FILE gen_velmora.dll
    !insertmacro PUT_BACK_FILE ${UNINSTALLER}
    ReadINIStr $1 "${PREVIOUS}\entry.ini" key exists
    ${If} $1 == 1
      !insertmacro ENTRY_VALUES PUT_BACK_VALUE
    ${Else}
      DeleteRegKey SHCTX "$EntryKey"
    ${EndIf}
  ${EndIf}
  ${If} $MadePlugins == 1
    StrCpy $MadePlugins 0
    RMDir "$INSTDIR\Plugins"
  ${EndIf}
  SetDetailsPrint both
FunctionEnd

; NSIS calls this when a setup that stopped is closed, which in the normal window is when the user
; closes it: every failure after KeepPrevious is undone at once (UndoAndStop), so only an empty
; Plugins folder made by this run can be left here.
Function .onInstFailed
  Call PutBack
FunctionEnd

; $0: what could not be done. Puts back what was there before saying so.
Function UndoAndStop
  Call PutBack
  MessageBox MB_OK|MB_ICONSTOP "Setup could not $0.$\r$\n$\r$\nIt left everything as it was before \
    it started. Free some disk space or close the program that holds the file, then run the setup \
    again." /SD IDOK
  Abort "Could not $0."
FunctionEnd

; Copied rather than unpacked in place, so that a failure is seen here and undone at once.
Function InstallDllOrUndo
  System::Call 'kernel32::CopyFileW(w "$PLUGINSDIR\gen_velmora.dll", \
    w "$INSTDIR\Plugins\gen_velmora.dll", i 0) i .r1 ?e'
  Pop $2
  ${If} $1 = 0
    StrCpy $0 "write $INSTDIR\Plugins\gen_velmora.dll (Windows error $2)"
    Call UndoAndStop
  ${EndIf}
  DetailPrint "Installed $INSTDIR\Plugins\gen_velmora.dll"
FunctionEnd

; WriteUninstaller sets the error flag when it fails (and testing the flag clears it); a folder of
; that name also "exists", so only a file that opens for reading counts as written.
Function WriteUninstallerOrUndo
  ClearErrors
  WriteUninstaller "$INSTDIR\Plugins\${UNINSTALLER}"
  ${IfNot} ${Errors}
    FileOpen $1 "$INSTDIR\Plugins\${UNINSTALLER}" r
    ${IfNot} ${Errors}
      FileClose $1
      Return
    ${EndIf}
  ${EndIf}
  StrCpy $0 "write the uninstaller $INSTDIR\Plugins\${UNINSTALLER}"
  Call UndoAndStop
FunctionEnd

; UninstallString is the uninstaller's plain path, which Settings > Apps starts and to which
; package tools append their own switches. QuietUninstallString runs it in place (_?=): started
; from its own folder it would copy itself to a temporary folder, start that copy and return at
; once, before the work is done, so the caller's exit code would say nothing. _?= takes the rest
; of the line, unquoted.
Function RegisterOrUndo
  ${GetSize} "$INSTDIR\Plugins" "/M=gen_velmora*.* /S=0K /G=0" $1 $2 $3
  ClearErrors
  WriteRegStr SHCTX "$EntryKey" "DisplayName" "Velmora (Winamp plug-in) - $INSTDIR"
  WriteRegStr SHCTX "$EntryKey" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "$EntryKey" "DisplayIcon" "$INSTDIR\Plugins\${UNINSTALLER}"
  WriteRegStr SHCTX "$EntryKey" "Publisher" "Dravnik"
  WriteRegStr SHCTX "$EntryKey" "URLInfoAbout" "${HOMEPAGE}"
  WriteRegStr SHCTX "$EntryKey" "InstallLocation" "$INSTDIR\Plugins"
  WriteRegStr SHCTX "$EntryKey" "UninstallString" '"$INSTDIR\Plugins\${UNINSTALLER}"'
  WriteRegStr SHCTX "$EntryKey" "QuietUninstallString" \
    '"$INSTDIR\Plugins\${UNINSTALLER}" /S _?=$INSTDIR\Plugins'
  WriteRegDWORD SHCTX "$EntryKey" "NoModify" 1
  WriteRegDWORD SHCTX "$EntryKey" "NoRepair" 1
  WriteRegDWORD SHCTX "$EntryKey" "EstimatedSize" $1
  ${If} ${Errors}
    StrCpy $0 "register the uninstaller in Add/Remove Programs"
    Call UndoAndStop
  ${EndIf}
FunctionEnd

Section "Velmora"
  Call RefuseNonWinampFolder
  Call WaitForWinampToClose
  Call RefuseUnwritablePlugins
  Call WaitForDllToBeFree
  StrCpy $0 "$INSTDIR\Plugins"
  Call EntryKey
  InitPluginsDir
  SetDetailsPrint none
  File "/oname=$PLUGINSDIR\gen_velmora.dll" "${DLL}"
  SetDetailsPrint both
  Call KeepPrevious
  Call InstallDllOrUndo
  Call WriteUninstallerOrUndo
  Call RegisterOrUndo
SectionEnd

; A running program's file cannot be deleted: run in place, the uninstaller leaves its own file
; to a copy of itself, which NSIS starts from a temporary folder (see the end of the section).
Function un.onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVEUNINSTALLER" $1
  ${IfNot} ${Errors}
    StrCpy $1 0
    ${Do}
      Delete "$INSTDIR\${UNINSTALLER}"
      ${IfNot} ${FileExists} "$INSTDIR\${UNINSTALLER}"
      ${OrIf} $1 >= 600   ; 60 s for the uninstaller that started this one to end
        ${Break}
      ${EndIf}
      Sleep 100
      IntOp $1 $1 + 1
    ${Loop}
    Quit
  ${EndIf}
  ; A folder without this uninstaller is not an install: "_?=...\Plugins /S", where a tool
  ; appended a switch to the quiet command, must not report success for nothing.
  ${IfNot} ${FileExists} "$INSTDIR\${UNINSTALLER}"
    MessageBox MB_OK|MB_ICONSTOP "$INSTDIR holds no ${UNINSTALLER}, so there is nothing to remove \
      there.$\r$\n$\r$\nUninstall Velmora from Add/Remove Programs, or run ${UNINSTALLER} from \
      Winamp's Plugins folder." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
FunctionEnd

; $R0: this folder in its one spelling. Out: $3 is 1 when this hive (SHCTX) holds this folder's
; entry and it names this folder. Stops, before anything is removed, when this user may not
; remove it (an administrator's install, for every user).
Function un.OwnEntry
  StrCpy $3 0
  ReadRegStr $0 SHCTX "$EntryKey" "InstallLocation"
  ${If} $0 == ""
    Return
  ${EndIf}
  Call un.NormalFolder
  ${If} $0 != $R0
    Return
  ${EndIf}
  ; KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_ENUMERATE_SUB_KEYS | DELETE
  System::Call 'advapi32::RegOpenKeyExW(p $4, w "$EntryKey", i 0, i 0x1000B, *p .r1) i .r2'
  ${If} $2 <> 0
    MessageBox MB_OK|MB_ICONSTOP "You have no right to remove Velmora's entry from Add/Remove \
      Programs (Windows error $2): it was installed for every user.$\r$\n$\r$\nAsk an \
      administrator to run the uninstaller." /SD IDOK
    Abort "No right to remove the Add/Remove Programs entry; nothing was removed."
  ${EndIf}
  System::Call 'advapi32::RegCloseKey(p r1)'
  StrCpy $3 1
FunctionEnd

; The uninstaller lives in the Plugins folder, so $INSTDIR is that folder here.
; The entry goes only when it names this folder, from whichever hive holds it. Settings go only
; when asked: /REMOVESETTINGS, or Yes to the question (silent: kept).
Section "Uninstall"
  Call un.WaitForWinampToClose
  Call un.WaitForDllToBeFree
  StrCpy $0 $INSTDIR
  Call un.EntryKey
  StrCpy $R0 $0
  SetShellVarContext all
  StrCpy $4 0x80000002   ; HKEY_LOCAL_MACHINE
  Call un.OwnEntry
  StrCpy $R1 $3
  SetShellVarContext current
  StrCpy $4 0x80000001   ; HKEY_CURRENT_USER
  Call un.OwnEntry
  StrCpy $R2 $3

  Delete "$INSTDIR\gen_velmora.dll"
  ${If} ${FileExists} "$INSTDIR\gen_velmora.dll"
    Abort "Cannot remove $INSTDIR\gen_velmora.dll."
  ${EndIf}
  ${If} $R1 == 1
    SetShellVarContext all
    DeleteRegKey SHCTX "$EntryKey"
    SetShellVarContext current
  ${EndIf}
  ${If} $R2 == 1
    DeleteRegKey SHCTX "$EntryKey"
  ${EndIf}

  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS" $1
  ${If} ${Errors}
    MessageBox MB_YESNO|MB_ICONQUESTION "Also remove Velmora's settings (which keys it answers)?" \
      /SD IDNO IDYES remove
    Goto done
  ${EndIf}
  remove:
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "SOFTWARE\Dravnik"
  done:

  Delete "$INSTDIR\${UNINSTALLER}"
  ${If} ${FileExists} "$INSTDIR\${UNINSTALLER}"
    Exec '"$INSTDIR\${UNINSTALLER}" /REMOVEUNINSTALLER'
  ${EndIf}
SectionEnd
