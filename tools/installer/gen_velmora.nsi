; Installs gen_velmora.dll into Winamp's Plugins folder for the current user, with an uninstaller
; registered in Add/Remove Programs.
; makensis -DVERSION=2.0.0.0 -DDLL=path/to/gen_velmora.dll -DOUTFILE=path/to/setup.exe gen_velmora.nsi
Unicode true
!include LogicLib.nsh
!include FileFunc.nsh

!ifndef VERSION | DLL | OUTFILE
  !error "define VERSION, DLL and OUTFILE"
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora"
!define SETTINGS_KEY "SOFTWARE\Dravnik\Velmora"
!define UNINSTALLER "gen_velmora-uninstall.exe"
!define WINAMP_WINDOW_CLASS "Winamp v1.x"

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

DirText "Setup will install Velmora (gen_velmora.dll) into the Plugins folder of this Winamp \
installation. If Winamp is somewhere else, choose the folder that holds winamp.exe." \
"Winamp folder"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

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

Function RefuseUnwritablePlugins
  ClearErrors
  CreateDirectory "$INSTDIR\Plugins"
  FileOpen $0 "$INSTDIR\Plugins\gen_velmora.tmp" w
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "Setup cannot write to $INSTDIR\Plugins.$\r$\n$\r$\nRun it as an \
      administrator, or choose a Winamp folder you can write to." /SD IDOK
    Abort "Cannot write to $INSTDIR\Plugins."
  ${EndIf}
  FileClose $0
  Delete "$INSTDIR\Plugins\gen_velmora.tmp"
FunctionEnd

; A setup that cannot finish takes back what this run wrote (the Add/Remove Programs entry, the
; uninstaller, the DLL): nothing stays registered, and no DLL stays without its uninstaller.
; $0: what could not be done.
Function UndoAndStop
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  Delete "$INSTDIR\Plugins\${UNINSTALLER}"
  Delete "$INSTDIR\Plugins\gen_velmora.dll"
  MessageBox MB_OK|MB_ICONSTOP "Setup could not $0.$\r$\n$\r$\nIt removed what it had \
    installed. Free some disk space or close the program that holds the file, then run the setup \
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

Function RegisterOrUndo
  ${GetSize} "$INSTDIR\Plugins" "/M=gen_velmora*.* /S=0K /G=0" $1 $2 $3
  ClearErrors
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Velmora (Winamp plug-in)"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Dravnik"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR\Plugins"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Plugins\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Plugins\${UNINSTALLER}" /S'
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
  SetOutPath "$INSTDIR\Plugins"
  File "/oname=gen_velmora.dll" "${DLL}"
  Call WriteUninstallerOrUndo
  Call RegisterOrUndo
SectionEnd

; The uninstaller lives in the Plugins folder, so $INSTDIR is that folder here.
; Settings go only when asked: /REMOVESETTINGS, or Yes to the question (silent: kept).
Section "Uninstall"
  Call un.WaitForWinampToClose
  Delete "$INSTDIR\gen_velmora.dll"
  ${If} ${FileExists} "$INSTDIR\gen_velmora.dll"
    Abort "Cannot remove $INSTDIR\gen_velmora.dll."
  ${EndIf}
  Delete "$INSTDIR\${UNINSTALLER}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"

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
SectionEnd
