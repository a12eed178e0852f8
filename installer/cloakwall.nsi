; Cloakwall's installer and uninstaller (NSIS 3).
;
; The program reads its folder (AppPath) and its start command (AppFullPath)
; from HKLM\Software\Cloakwall and never writes them: this script is what
; provides them. Build with `make dist`, or by hand:
;   makensis -DAPP_EXE=/path/to/cloakwall.exe -DOUTFILE=/path/to/setup.exe \
;            [-DAPP_ICON=res/cloakwall.ico] installer/cloakwall.nsi
;
; Command line of the built installer:
;   /S                  silent install
;   /D=C:\Some\Folder   install folder (last on the line, no quotes)
;   /UPDATESERVER=host[:port]
;                       the vendor server the program downloads its proxy list
;                       from; without it an existing value is kept and a new
;                       install gets UPDATE_SERVER below
; The uninstaller takes /S for a silent removal.

Unicode false ; the program is ANSI throughout, and so are the calls below
SetCompressor /SOLID lzma
RequestExecutionLevel admin ; Program Files and HKLM

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!ifndef APP_EXE
  !error "APP_EXE (the built cloakwall.exe) must be given with -DAPP_EXE=..."
!endif
!ifndef VERSION
  !define VERSION "1.5"
!endif
!ifndef OUTFILE
  !define OUTFILE "cloakwall-${VERSION}-setup.exe"
!endif
; The program's own default names a host nobody answers for; a real
; deployment builds with -DUPDATE_SERVER=its.server or installs with
; /UPDATESERVER=.
!ifndef UPDATE_SERVER
  !define UPDATE_SERVER "cloakwall-update.invalid"
!endif

!define PRODUCT "Cloakwall"
!define PUBLISHER "Cloakwall Project"
!define SETTINGS_KEY "Software\Cloakwall"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define CAPTION_KEY "Software\Microsoft\Internet Explorer\Main"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Cloakwall"
; The settings window's class and its "Exit Cloakwall" command: posting
; that command is the same as choosing Exit in the tray menu.
!define SETTINGS_WINDOW_CLASS "CloakwallSettings"
!define ID_EXIT_CLOAKWALL 32775
; How long a running copy gets to end after being asked to exit.
!define EXIT_WAIT_MS 15000
; The address the program points the browser at while anonymous browsing is
; on. The uninstaller resets only a connection that names it.
!define LOCAL_PROXY "127.0.0.1:8080"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
; An upgrade goes where the installed copy is (AppPath), so its list file and
; the Run entry stay valid.
InstallDirRegKey HKLM "${SETTINGS_KEY}" "AppPath"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} installer"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!define MUI_ABORTWARNING
!ifdef APP_ICON
  !define MUI_ICON "${APP_ICON}"
  !define MUI_UNICON "${APP_ICON}"
!endif
; No "run the program now" on the finish page: started from here it would
; run with the installer's administrator rights, write its settings where a
; standard user's later starts would not see them, and hold the browser
; options of the wrong account. The Start-menu shortcut starts it as the user.
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Asks a running Cloakwall to exit through its settings window, the way the
; tray's Exit does (caption cleared, browser set direct), and waits for the
; process to end: its executable can't be replaced or removed while it runs.
; A copy that doesn't end in time is ended by force; the uninstaller then
; does the browser clean-up itself.
!macro DEFINE_CLOSE_RUNNING_INSTANCE un
Function ${un}CloseRunningInstance
  Push $0
  Push $1
  Push $2
  Push $3
  FindWindow $0 "${SETTINGS_WINDOW_CLASS}"
  ${If} $0 <> 0
    DetailPrint "Asking the running ${PRODUCT} to exit"
    StrCpy $1 0
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
    ; SYNCHRONIZE | PROCESS_TERMINATE
    System::Call 'kernel32::OpenProcess(i 0x00100001, i 0, i r1) p .r2'
    System::Call 'user32::PostMessageA(p r0, i ${WM_COMMAND}, i ${ID_EXIT_CLOAKWALL}, i 0) i'
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i ${EXIT_WAIT_MS}) i .r3'
      ${If} $3 <> 0 ; not WAIT_OBJECT_0
        DetailPrint "${PRODUCT} did not exit; ending it"
        System::Call 'kernel32::TerminateProcess(p r2, i 1) i'
        System::Call 'kernel32::WaitForSingleObject(p r2, i 5000) i'
      ${EndIf}
      System::Call 'kernel32::CloseHandle(p r2) i'
    ${Else}
      ; No handle to wait on: watch the window instead.
      StrCpy $3 0
      ${DoWhile} $3 < ${EXIT_WAIT_MS}
        System::Call 'user32::IsWindow(p r0) i .r1'
        ${IfThen} $1 = 0 ${|} ${ExitDo} ${|}
        Sleep 200
        IntOp $3 $3 + 200
      ${Loop}
    ${EndIf}
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_RUNNING_INSTANCE ""
!insertmacro DEFINE_CLOSE_RUNNING_INSTANCE "un."

; Everything this installer writes is machine-wide. Without administrator
; rights the writes would fail one by one and a silent install would still
; report success, leaving a program without its folder or path settings.
!macro REQUIRE_ADMIN
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_ICONSTOP|MB_OK "Administrator rights are needed to install or remove ${PRODUCT}." /SD IDOK
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
!macroend

Function .onInit
  !insertmacro REQUIRE_ADMIN
FunctionEnd

Function un.onInit
  !insertmacro REQUIRE_ADMIN
FunctionEnd

Section "${PRODUCT}" SecMain
  SectionIn RO
  SetShellVarContext all ; the program starts for every user, so does its shortcut
  Call CloseRunningInstance

  SetOutPath "$INSTDIR"
  ; A program file that could not be replaced (still locked) would be
  ; skipped quietly in a silent install, leaving the old one under the new
  ; version's name: stop with an error code instead.
  ClearErrors
  File "/oname=cloakwall.exe" "${APP_EXE}"
  ${If} ${Errors}
    Abort "$INSTDIR\cloakwall.exe could not be written"
  ${EndIf}
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} ${Errors}
    Abort "$INSTDIR\uninstall.exe could not be written"
  ${EndIf}

  ; The folder ends with a backslash: the program appends "proxylist.txt"
  ; to it as it stands.
  WriteRegStr HKLM "${SETTINGS_KEY}" "AppPath" "$INSTDIR\"
  ; The program copies AppFullPath into the Run entry unchanged. Unquoted,
  ; "C:\Program Files\Cloakwall\cloakwall.exe" lets Windows try
  ; "C:\Program.exe" first at every logon.
  WriteRegStr HKLM "${SETTINGS_KEY}" "AppFullPath" '"$INSTDIR\cloakwall.exe"'
  ; An upgrade over a copy that registered an unquoted path mends the entry
  ; now instead of at the program's next start, which that very entry makes.
  ; A new install leaves the registration to the program.
  ClearErrors
  ReadRegStr $0 HKLM "${RUN_KEY}" "Cloakwall"
  ${IfNot} ${Errors}
    WriteRegStr HKLM "${RUN_KEY}" "Cloakwall" '"$INSTDIR\cloakwall.exe"'
  ${EndIf}

  ; The user's other settings and list file are left as they are.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/UPDATESERVER=" $1
  ${IfNot} ${Errors}
  ${AndIf} $1 != ""
    WriteRegStr HKLM "${SETTINGS_KEY}" "UpdateServer" $1
  ${Else}
    ClearErrors
    ReadRegStr $1 HKLM "${SETTINGS_KEY}" "UpdateServer"
    ${If} ${Errors}
      WriteRegStr HKLM "${SETTINGS_KEY}" "UpdateServer" "${UPDATE_SERVER}"
    ${EndIf}
  ${EndIf}

  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\cloakwall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\cloakwall.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

;WinINet connection options, 32-bit: INTERNET_PER_CONN_OPTION is the
; option number and an 8-byte union; INTERNET_PER_CONN_OPTION_LIST is size
; (20), connection name, option count, failed option, options.
!define PER_CONN_FLAGS 1
!define PER_CONN_PROXY_SERVER 2
!define PROXY_TYPE_DIRECT 1
!define PROXY_TYPE_PROXY 2
!define OPTION_PER_CONNECTION 75
!define OPTION_SETTINGS_CHANGED 39
!define OPTION_REFRESH 37

; Pushes 1 when the user's WinINet connection goes through the program's
; local proxy (the proxy switched on and the server being LOCAL_PROXY),
; otherwise 0. A proxy of the user's own is none of the uninstaller's
; business.
Function un.ConnectionNamesLocalProxy
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  StrCpy $5 0
  System::Call '*(i ${PER_CONN_FLAGS}, i 0, i 0, i ${PER_CONN_PROXY_SERVER}, i 0, i 0) p .r0'
  StrCpy $3 "DefaultConnectionSettings"
  System::Call '*(&t26 r3) p .r1'
  System::Call '*(i 20, p r1, i 2, i 0, p r0) p .r2'
  System::Call 'wininet::InternetQueryOptionA(p 0, i ${OPTION_PER_CONNECTION}, p r2, *i 20) i .r3'
  ${If} $3 <> 0
    System::Call '*$0(i, i .r3, i, i, p .r4)'
    IntOp $3 $3 & ${PROXY_TYPE_PROXY}
    ${If} $4 P<> 0
      ; The server text is WinINet's allocation, handed to the caller.
      System::Call 'kernel32::lstrcpynA(t .r6, p r4, i ${NSIS_MAX_STRLEN}) p'
      System::Call 'kernel32::GlobalFree(p r4) p'
      ${If} $3 <> 0
      ${AndIf} $6 == "${LOCAL_PROXY}"
        StrCpy $5 1
      ${EndIf}
    ${EndIf}
  ${EndIf}
  System::Free $2
  System::Free $1
  System::Free $0
  StrCpy $0 $5
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Exch $0 ; the caller's $0 back, the answer on the stack
FunctionEnd

; Puts the user's WinINet connection back to direct access, as the program's
; Exit does, for a copy that was not running (killed, or never stopped
; cleanly) and left the browser pointing at 127.0.0.1:8080, where nothing
; listens any more. The per-connection option call is the one WinINet itself
; honours and announces to running browsers; a ProxyEnable value written
; into the registry would be overruled by the connection's stored options on
; current Windows and seen by nobody already running.
Function un.SetBrowserConnectionDirect
  Call un.ConnectionNamesLocalProxy
  Exch $0
  ${If} $0 = 0
    DetailPrint "The browser connection does not use ${PRODUCT}: left as it is"
    Pop $0
    Return
  ${EndIf}
  Push $1
  Push $2
  Push $3
  System::Call '*(i ${PER_CONN_FLAGS}, i ${PROXY_TYPE_DIRECT}, i 0) p .r0'
  StrCpy $3 "DefaultConnectionSettings"
  System::Call '*(&t26 r3) p .r1'
  System::Call '*(i 20, p r1, i 1, i 0, p r0) p .r2'
  ; Then SETTINGS_CHANGED and REFRESH, so that running clients pick it up.
  System::Call 'wininet::InternetSetOptionA(p 0, i ${OPTION_PER_CONNECTION}, p r2, i 20) i .r3'
  System::Call 'wininet::InternetSetOptionA(p 0, i ${OPTION_SETTINGS_CHANGED}, p 0, i 0) i'
  System::Call 'wininet::InternetSetOptionA(p 0, i ${OPTION_REFRESH}, p 0, i 0) i'
  ${If} $3 = 0
    DetailPrint "The browser connection could not be set to direct access"
  ${EndIf}
  System::Free $2
  System::Free $1
  System::Free $0
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; The caption values hold the program's text, or nothing after its Exit.
; A text somebody else put there since is theirs and stays.
!macro REMOVE_CAPTION_VALUE root
  ClearErrors
  ReadRegStr $0 ${root} "${CAPTION_KEY}" "Window Title"
  ${IfNot} ${Errors}
    ${If} $0 == ""
    ${OrIf} $0 == "Cloakwall is Enabled"
      DeleteRegValue ${root} "${CAPTION_KEY}" "Window Title"
    ${EndIf}
  ${EndIf}
!macroend

Section "Uninstall"
  SetShellVarContext all
  Call un.CloseRunningInstance
  Call un.SetBrowserConnectionDirect
  !insertmacro REMOVE_CAPTION_VALUE HKLM
  !insertmacro REMOVE_CAPTION_VALUE HKCU

  DeleteRegValue HKLM "${RUN_KEY}" "Cloakwall"
  ; The value name is the program's own, wherever a release put it.
  DeleteRegValue HKCU "${RUN_KEY}" "Cloakwall"
  DeleteRegKey HKLM "${SETTINGS_KEY}"
  DeleteRegKey HKLM "${UNINST_KEY}"

  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"

  ; Only the files this program makes: the folder may have been chosen by
  ; the user and hold other things, in which case it stays.
  ; A copy that could be neither asked nor forced to end (another user's,
  ; say) keeps its file locked: it goes at the next restart instead.
  Delete /REBOOTOK "$INSTDIR\cloakwall.exe"
  Delete "$INSTDIR\proxylist.txt"
  ; The stored proxy test results, beside the list.
  Delete "$INSTDIR\proxytest.ini"
  ; What a save of the list left when it was cut short: the program's safe
  ; replace writes "~cw" and eight hex digits, ".tmp", beside the file.
  Delete "$INSTDIR\~cw????????.tmp"
  Delete "$INSTDIR\uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
SectionEnd
