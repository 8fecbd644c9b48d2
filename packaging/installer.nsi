; The Velmor Chat Studio installer. Installs for the current user only (no
; administrator rights) into %LOCALAPPDATA%\Programs\VelmorChat, adds a Start
; menu shortcut and an entry in the list of installed programs. Installing
; over an older version replaces its files in the same folder. The uninstaller
; removes what was installed and leaves the user's settings
; (HKCU\Software\VelmorChatClient) and logs (%LOCALAPPDATA%\VelmorChat\Logs).
;
; Built by scripts/lib/make_release.sh, which passes:
;   VERSION         x.y.z, the release's version
;   STAGE           folder holding exactly the files to install
;   UNINSTALL_LIST  generated include: the Delete/RMDir lines for those files
;   ICON            the client's icon
;   OUTFILE         the installer to write
;
; Exit codes: 0 done, 1 cancelled, 3 the client is running (silent mode
; cannot ask the user to close it).

; A 64-bit installer for a 64-bit program: on 32-bit Windows it does not start.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true
; A file that cannot be written (e.g. still in use) stops the install rather
; than leaving a mix of two versions.
AllowSkipFiles off

!ifndef VERSION | STAGE | UNINSTALL_LIST | ICON | OUTFILE
  !error "define VERSION, STAGE, UNINSTALL_LIST, ICON and OUTFILE (see scripts/lib/make_release.sh)"
!endif

!define PRODUCT "Velmor Chat Studio"
!define PUBLISHER "Velmor"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VelmorChat"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"
; The class of the client's main window (src/ui/window_classes.h).
!define MAIN_WINDOW_CLASS "VelmorChatClientWindow"
!define EXIT_CLIENT_RUNNING 3

!include "MUI2.nsh"
!include "FileFunc.nsh"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\VelmorChat"
; An upgrade goes where the installed version is.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\VelmorChat.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT}"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Copyright (C) ${PUBLISHER}"

; A running client holds its program file: replacing or removing it would
; fail half-way. Its main window is looked for first; a client still starting
; (no window yet) is caught by its program file refusing to open for writing.
; The user is asked to close it; in silent mode the run ends with exit code 3.
!macro DEFINE_ENSURE_CLIENT_CLOSED prefix
Function ${prefix}EnsureClientClosed
  check:
    FindWindow $0 "${MAIN_WINDOW_CLASS}"
    IntCmp $0 0 0 running running
    IfFileExists "$INSTDIR\VelmorChat.exe" 0 closed
    ClearErrors
    FileOpen $0 "$INSTDIR\VelmorChat.exe" a
    IfErrors running
    FileClose $0
    Goto closed
  running:
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "${PRODUCT} is running. Close it (all its windows), then choose Retry." /SD IDCANCEL IDRETRY check
    SetErrorLevel ${EXIT_CLIENT_RUNNING}
    Quit
  closed:
FunctionEnd
!macroend
!insertmacro DEFINE_ENSURE_CLIENT_CLOSED ""
!insertmacro DEFINE_ENSURE_CLIENT_CLOSED "un."

Function .onInit
  Call EnsureClientClosed
FunctionEnd

Function un.onInit
  Call un.EnsureClientClosed
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  ; The notices are replaced as a whole, so none an older version shipped lingers.
  RMDir /r "$INSTDIR\licenses"
  File /r "${STAGE}\*"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateShortCut "${SHORTCUT}" "$INSTDIR\VelmorChat.exe" "" "$INSTDIR\VelmorChat.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\VelmorChat.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  ; Only what the installer wrote: a folder the user added files to stays
  ; with those files.
  !include "${UNINSTALL_LIST}"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; HKCU\Software\VelmorChatClient and %LOCALAPPDATA%\VelmorChat are the
  ; user's settings and logs: they stay.
SectionEnd
