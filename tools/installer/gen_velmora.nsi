; Installs gen_velmora.dll into Winamp's Plugins folder for the current user, with an uninstaller
; registered in Add/Remove Programs.
; makensis -DVERSION=2.0.0.0 -DDLL=path/to/gen_velmora.dll -DOUTFILE=path/to/setup.exe gen_velmora.nsi
Unicode true
!include LogicLib.nsh
!include FileFunc.nsh
!include MUI2.nsh

!ifndef VERSION | DLL | OUTFILE
  !error "define VERSION, DLL and OUTFILE"
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora"
!define SETTINGS_KEY "SOFTWARE\Dravnik\Velmora"
!define UNINSTALLER "gen_velmora-uninstall.exe"
!define WINAMP_WINDOW_CLASS "Winamp v1.x"
; The About page's link, so the two never differ (makensis works in the script's folder).
!searchparse /file "../../res/resource.h" '#define VELMORA_HOMEPAGE "' HOMEPAGE '"'

Name "Velmora ${VERSION}"
OutFile "${OUTFILE}"
; Winamp is often in a folder the user owns; where it is not, the setup says so and stops.
RequestExecutionLevel user
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

; A folder given with /D= wins; then Winamp's own record, per user before per machine.
Function .onInit
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

Var MadePlugins   ; 1: this run made the Plugins folder
Var Kept          ; 1: KeepPrevious has run

; The write test stays out of the details list: the user did not ask for that file.
Function RefuseUnwritablePlugins
  ${IfNot} ${FileExists} "$INSTDIR\Plugins\*.*"
    StrCpy $MadePlugins 1
  ${EndIf}
  SetDetailsPrint none
  ClearErrors
  CreateDirectory "$INSTDIR\Plugins"
  FileOpen $0 "$INSTDIR\Plugins\gen_velmora.tmp" w
  ${IfNot} ${Errors}
    FileClose $0
    Delete "$INSTDIR\Plugins\gen_velmora.tmp"
  ${EndIf}
  SetDetailsPrint both
  ${If} $0 == ""
    MessageBox MB_OK|MB_ICONSTOP "Setup cannot write to $INSTDIR\Plugins.$\r$\n$\r$\nRun it as an \
      administrator, or choose a Winamp folder you can write to." /SD IDOK
    Abort "Cannot write to $INSTDIR\Plugins."
  ${EndIf}
FunctionEnd

; A DLL that Winamp (under another window class, or a second copy) or any other program has
; loaded cannot be opened for writing; say who holds it rather than "error opening file".
!macro WAIT_FOR_DLL_TO_BE_FREE prefix verb
Function ${prefix}WaitForDllToBeFree
  retry:
    ${If} ${FileExists} "${DLL_PATH}"
      ClearErrors
      FileOpen $0 "${DLL_PATH}" a
      ${IfNot} ${Errors}
        FileClose $0
        Return
      ${EndIf}
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${DLL_PATH} is in use by Winamp or another \
        program, so it cannot be ${verb}.$\r$\n$\r$\nClose it, then click Retry." /SD IDCANCEL IDRETRY retry
      Abort "${DLL_PATH} is in use; nothing was ${verb}."
    ${EndIf}
FunctionEnd
!macroend
!define DLL_PATH "$INSTDIR\Plugins\gen_velmora.dll"
!insertmacro WAIT_FOR_DLL_TO_BE_FREE "" replaced
!undef DLL_PATH
!define DLL_PATH "$INSTDIR\gen_velmora.dll"
!insertmacro WAIT_FOR_DLL_TO_BE_FREE "un." removed
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
  ReadReg${type} $1 HKCU "${UNINSTALL_KEY}" "${name}"
  ${IfNot} ${Errors}
    WriteINIStr "${PREVIOUS}\entry.ini" ${type} ${name} "[$1]"
  ${EndIf}
!macroend
!macro PUT_BACK_VALUE type name
  ClearErrors
  ReadINIStr $1 "${PREVIOUS}\entry.ini" ${type} ${name}
  ${If} ${Errors}
    DeleteRegValue HKCU "${UNINSTALL_KEY}" "${name}"
  ${Else}
    StrCpy $1 $1 -1 1
    WriteReg${type} HKCU "${UNINSTALL_KEY}" "${name}" $1
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

Function KeepPrevious
  SetDetailsPrint none
  InitPluginsDir
  CreateDirectory "${PREVIOUS}"
  ClearErrors
  EnumRegValue $1 HKCU "${UNINSTALL_KEY}" 0
  ${IfNot} ${Errors}
    WriteINIStr "${PREVIOUS}\entry.ini" key exists 1
  ${EndIf}
  !insertmacro ENTRY_VALUES KEEP_VALUE
  StrCpy $Kept 1
  !insertmacro KEEP_FILE gen_velmora.dll
  !insertmacro KEEP_FILE ${UNINSTALLER}
  SetDetailsPrint both
FunctionEnd

; Called by NSIS when the setup stops for any reason: put back what KeepPrevious kept, remove
; what this run added, and the Plugins folder too when this run made it and it is empty.
Function .onInstFailed
  SetDetailsPrint none
  ${If} $Kept == 1
    !insertmacro PUT_BACK_FILE gen_velmora.dll
    !insertmacro PUT_BACK_FILE ${UNINSTALLER}
    ReadINIStr $1 "${PREVIOUS}\entry.ini" key exists
    ${If} $1 == 1
      !insertmacro ENTRY_VALUES PUT_BACK_VALUE
    ${Else}
      DeleteRegKey HKCU "${UNINSTALL_KEY}"
    ${EndIf}
  ${EndIf}
  ${If} $MadePlugins == 1
    RMDir "$INSTDIR\Plugins"
  ${EndIf}
FunctionEnd

; $0: what could not be done. NSIS then calls .onInstFailed, which puts the previous install back.
Function UndoAndStop
  SetDetailsPrint both
  MessageBox MB_OK|MB_ICONSTOP "Setup could not $0.$\r$\n$\r$\nIt put back what was there before \
    it started. Free some disk space or close the program that holds the file, then run the setup \
    again." /SD IDOK
  Abort "Could not $0."
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

; The stored commands run the uninstaller in place (_?=): started from its own folder it would
; copy itself to a temporary folder, start that copy and return at once, before the work is done,
; so the caller's exit code would say nothing. _?= takes the rest of the line, unquoted.
Function RegisterOrUndo
  ${GetSize} "$INSTDIR\Plugins" "/M=gen_velmora*.* /S=0K /G=0" $1 $2 $3
  ClearErrors
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Velmora (Winamp plug-in)"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Plugins\${UNINSTALLER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Dravnik"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "URLInfoAbout" "${HOMEPAGE}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR\Plugins"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" \
    '"$INSTDIR\Plugins\${UNINSTALLER}" _?=$INSTDIR\Plugins'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" \
    '"$INSTDIR\Plugins\${UNINSTALLER}" /S _?=$INSTDIR\Plugins'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $1
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
  Call KeepPrevious
  SetOutPath "$INSTDIR\Plugins"
  File "/oname=gen_velmora.dll" "${DLL}"
  Call WriteUninstallerOrUndo
  Call RegisterOrUndo
SectionEnd

; A running program's file cannot be deleted: run in place, the uninstaller leaves its own file
; to a copy of itself, which NSIS starts from a temporary folder (see un.onInit).
Function un.onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVEUNINSTALLER" $1
  ${If} ${Errors}
    Return
  ${EndIf}
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
FunctionEnd

; The uninstaller lives in the Plugins folder, so $INSTDIR is that folder here.
; The entry goes only when it names this folder: after a setup into a second Winamp folder it
; belongs to that one. Settings go only when asked: /REMOVESETTINGS, or Yes to the question
; (silent: kept).
Section "Uninstall"
  Call un.WaitForWinampToClose
  Call un.WaitForDllToBeFree
  Delete "$INSTDIR\gen_velmora.dll"
  ${If} ${FileExists} "$INSTDIR\gen_velmora.dll"
    Abort "Cannot remove $INSTDIR\gen_velmora.dll."
  ${EndIf}
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  StrCpy $1 $INSTDIR 1 -1
  StrCpy $2 $INSTDIR
  ${If} $1 == "\"
    StrCpy $2 $INSTDIR -1
  ${EndIf}
  ${If} $0 == $2
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
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
