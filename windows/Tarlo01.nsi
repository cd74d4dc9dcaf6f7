; The installer of the window program: Tarlo01.exe with the DLLs, plugins, fonts and licence
; texts it needs, a Start menu entry and an uninstaller. Installs for all users (administrator
; rights) or, as chosen on its first page or with /CurrentUser, for the current user alone.
; The program always goes into a folder of its own ("\Tarlo01" is added to a folder chosen
; that does not end so), and the uninstaller removes exactly the files installed there (the list
; FILELIST, made from the deployed files), then the folder only when nothing else is in it.
; The program keeps its preferences, logs and settings files in its data folder, Documents\
; Tarlo01 (the public Documents for all users), where the Start menu entry starts it; they are
; the user's, and the uninstaller keeps them. Neither runs while the program does.
;   makensis -DVERSION=1.0 -DDEPLOY=<build>/deploy -DFILELIST=<file> -DOUTFILE=<file> windows/Tarlo01.nsi
; Silent: Tarlo01-setup-1.0.exe /S [/CurrentUser | /AllUsers] [/D=folder]; uninstall: uninstall.exe /S

; 64-bit, like the program: runs where only 64-bit wine is installed.
Target amd64-unicode
!ifndef VERSION | DEPLOY | OUTFILE | FILELIST
  !error "give -DVERSION, -DDEPLOY, -DFILELIST and -DOUTFILE"
!endif

!define APP "PH Controller Tarlo-01"
!define PUBLISHER "The Tarlo-01 developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarlo01"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "Tarlo01"
!define MULTIUSER_USE_PROGRAMFILES64
; Where an earlier install went, for a new install and for the uninstaller's mode.
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!include MultiUser.nsh
!include MUI2.nsh
!include x64.nsh
!include FileFunc.nsh

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${APP}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${APP} setup"
VIAddVersionKey "LegalCopyright" "Copyright (c) ${PUBLISHER}, MIT licence"

!define MUI_ICON "Tarlo01.ico"
!define MUI_UNICON "Tarlo01.ico"
; The finish page starts the program through its Start menu entry, so in its data folder.
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION RunProgram

!insertmacro MUI_PAGE_LICENSE "../LICENSE"
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Polish"

LangString Running ${LANG_ENGLISH} "${APP} is running from $INSTDIR. Close it, then choose Retry."
LangString Running ${LANG_POLISH} "Program ${APP} jest uruchomiony z folderu $INSTDIR. Zamknij go i wybierz Ponów."

; The exit code of a run that stops because the program runs (silent runs).
!define EXIT_RUNNING 3

; $INSTDIR made a folder of the program's own: "\Tarlo01" is added unless it ends so.
!macro OwnFolder
  Push $0
  StrCpy $0 "$INSTDIR" 1 -1
  StrCmp $0 "\" 0 +2
  StrCpy $INSTDIR "$INSTDIR" -1
  StrCpy $0 "$INSTDIR" 8 -8
  StrCmp $0 "\Tarlo01" +2
  StrCpy $INSTDIR "$INSTDIR\Tarlo01"
  Pop $0
!macroend

; Stops while a copy of the program in $INSTDIR runs: its running program file cannot be opened
; for writing. Asks to close it; a silent run, or Cancel, ends with EXIT_RUNNING.
; Inserted once a function (labels are the function's).
!macro StopWhileRunning
  retry:
    IfFileExists "$INSTDIR\Tarlo01.exe" 0 free
    ClearErrors
    FileOpen $0 "$INSTDIR\Tarlo01.exe" a
    IfErrors 0 closed
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(Running)" /SD IDCANCEL IDRETRY retry
    SetErrorLevel ${EXIT_RUNNING}
    Quit
  closed:
    FileClose $0
  free:
!macroend

Function .onInit
  ; /D= sets $INSTDIR before this runs; the install mode would put its own folder in its place.
  StrCpy $1 "$INSTDIR"
  !insertmacro MULTIUSER_INIT
  StrCmp $1 "" +2
  StrCpy $INSTDIR "$1"
  !insertmacro OwnFolder
  !insertmacro StopWhileRunning
FunctionEnd

Function DirectoryLeave
  !insertmacro OwnFolder
  !insertmacro StopWhileRunning
FunctionEnd

Function RunProgram
  ExecShell "open" "$SMPROGRAMS\${APP}.lnk"
FunctionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
  !insertmacro StopWhileRunning
FunctionEnd

Section "Program"
  SetOutPath "$INSTDIR"
  File /r "${DEPLOY}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$DOCUMENTS\Tarlo01"
  SetOutPath "$DOCUMENTS\Tarlo01"
  CreateShortCut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\Tarlo01.exe"

  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Tarlo01.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ; The program works here when started from its own folder (platform/win32/DataFolder.cpp).
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DataFolder" "$DOCUMENTS\Tarlo01"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${APP}.lnk"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ; The installed files by name, then their folders and the program's folder when empty: what
  ; else is there is not ours. The data folder stays whole.
  !include "${FILELIST}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
