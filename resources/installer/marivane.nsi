; The per-user installer: no UAC prompt, into %LOCALAPPDATA%\Programs\Marivane,
; a Start-menu shortcut, an uninstaller in Apps & features, and the option
; to start with Windows. scripts/package passes VERSION, STAGE and OUTFILE.
Unicode true
; A 64-bit installer for a 64-bit program (and a Wine without its 32-bit half).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
Name "Marivane ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Marivane"
BrandingText "Marivane ${VERSION}"

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Marivane"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define MAIN_WINDOW "MARIVANE MAIN WINDOW"

!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"

; A running copy is asked to exit as its tray menu's Exit does (command
; 5019), and waited for until its program file can be replaced.
!macro CloseRunning un
Function ${un}CloseRunning
  FindWindow $0 "${MAIN_WINDOW}"
  StrCmp $0 0 free
  SendMessage $0 0x111 5019 0 /TIMEOUT=20000
  StrCpy $1 0
  wait:
    Sleep 250
    IntOp $1 $1 + 1
    IntCmp $1 120 free
    FindWindow $0 "${MAIN_WINDOW}"
    StrCmp $0 0 0 wait
    ClearErrors
    IfFileExists "$INSTDIR\marivane.exe" 0 free
    FileOpen $2 "$INSTDIR\marivane.exe" a
    IfErrors wait
    FileClose $2
  free:
FunctionEnd
!macroend
!insertmacro CloseRunning ""
!insertmacro CloseRunning "un."

Section "Marivane" SecProgram
  SectionIn RO
  Call CloseRunning
  SetOutPath "$INSTDIR"
  File "${STAGE}\marivane.exe"
  File "${STAGE}\README.txt"
  SetOutPath "$INSTDIR\help"
  File /r "${STAGE}\help\*.*"
  SetOutPath "$INSTDIR\licenses"
  File /r "${STAGE}\licenses\*.*"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Marivane.lnk" "$INSTDIR\marivane.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Marivane"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\marivane.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Start Marivane with Windows" SecAutoStart
  WriteRegStr HKCU "${RUN_KEY}" "Marivane" '"$INSTDIR\marivane.exe"'
SectionEnd

; The recordings are never touched; the settings stay unless asked for.
Section "un.Marivane" UnSecProgram
  SectionIn RO
  Call un.CloseRunning
  Delete "$INSTDIR\marivane.exe"
  Delete "$INSTDIR\README.txt"
  RMDir /r "$INSTDIR\help"
  RMDir /r "$INSTDIR\licenses"
  Delete "$INSTDIR\uninstall.exe"
  Delete "$SMPROGRAMS\Marivane.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "Marivane"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  RMDir "$INSTDIR"
SectionEnd

Section /o "un.Settings and the notice log" UnSecSettings
  Delete "$INSTDIR\marivane.ini"
  Delete "$INSTDIR\marivane.ini.bad"
  Delete "$INSTDIR\marivane.log"
  Delete "$INSTDIR\marivane-old.log"
  RMDir "$INSTDIR"
  Delete "$LOCALAPPDATA\Marivane\marivane.ini"
  Delete "$LOCALAPPDATA\Marivane\marivane.ini.bad"
  Delete "$LOCALAPPDATA\Marivane\marivane.log"
  Delete "$LOCALAPPDATA\Marivane\marivane-old.log"
  RMDir "$LOCALAPPDATA\Marivane"
SectionEnd
