; The installer of the window program: Tarlo01.exe with the DLLs, plugins and fonts it needs,
; a Start menu entry and an uninstaller. Installs for all users (administrator rights) or, as
; chosen on its first page or with /CurrentUser, for the current user alone without them.
; The program keeps its preferences, logs and settings files in its working folder: the Start
; menu entry starts it in Documents\Tarlo01 (the public Documents for all users).
;   makensis -DVERSION=1.0 -DDEPLOY=<build>/deploy -DOUTFILE=<file> windows/Tarlo01.nsi
; Silent: Tarlo01-setup-1.0.exe /S [/CurrentUser | /AllUsers]; uninstall: uninstall.exe /S

; 64-bit, like the program: runs where only 64-bit wine is installed.
Target amd64-unicode
!ifndef VERSION | DEPLOY | OUTFILE
  !error "give -DVERSION, -DDEPLOY and -DOUTFILE"
!endif

!define APP "PH Controller Tarlo-01"
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

Name "${APP}"
OutFile "${OUTFILE}"
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${APP}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${APP} setup"
VIAddVersionKey "LegalCopyright" "Tarlo"

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Polish"

Function .onInit
  !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "Program"
  SetOutPath "$INSTDIR"
  File /r "${DEPLOY}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$DOCUMENTS\Tarlo01"
  SetOutPath "$DOCUMENTS\Tarlo01"
  CreateShortCut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\Tarlo01.exe"

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Tarlo01.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${APP}.lnk"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  RMDir /r "$INSTDIR"
  ; The program's own files in its folder go; logs and settings files are the user's and stay
  ; (the folder goes only when nothing else is in it).
  Delete "$DOCUMENTS\Tarlo01\tarlo02.ini"
  Delete "$DOCUMENTS\Tarlo01\.tarlo02.lock"
  RMDir "$DOCUMENTS\Tarlo01"
SectionEnd
