; The Windows installer, built on Debian with makensis (tools/package.sh).
; Per user, without administrator rights: the program goes to
; %LOCALAPPDATA%\Programs\adbtool, its Start-menu entries open the start-up
; window and 应用管理, adbctl may go on the user's PATH. The uninstaller
; removes only what the installer put there, and keeps the record of
; actions and the copies of deleted apps (%LOCALAPPDATA%\adbtool) unless
; the owner ticks them.
;
; makensis -INPUTCHARSET UTF8 -DSOURCE=<folder> -DOUTFILE=<installer> [-DVERSION=x] adbtool.nsi
; Silent: setup.exe /S [/ADDTOPATH] [/D=folder];  uninstall.exe /S [/REMOVEDATA]

Unicode true
!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include Sections.nsh
!include StrFunc.nsh
!include WinMessages.nsh

${StrStr}
${UnStrRep}

!ifndef SOURCE
  !error "SOURCE: the folder with adbtool.exe, adbctl.exe, README.txt and adb_1.0.40\README.txt"
!endif
!ifndef OUTFILE
  !define OUTFILE "adbtool-setup.exe"
!endif
!ifndef VERSION
  !define VERSION "1.0"
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\adbtool"
!define PLATFORM_TOOLS_URL "https://developer.android.com/tools/releases/platform-tools"

Name "adbtool"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\adbtool"
InstallDirRegKey HKCU "Software\adbtool" "InstallDir"
RequestExecutionLevel user
SetCompressor /SOLID lzma
ShowInstDetails show

!define MUI_FINISHPAGE_TITLE "adbtool 已安装"
!define MUI_FINISHPAGE_TEXT "还差一步：本工具通过 Google 的 adb 管理手机。请下载 platform-tools（Windows 版），把其中的 adb.exe、AdbWinApi.dll 和 AdbWinUsbApi.dll 放进$\r$\n$\r$\n$INSTDIR\adb_1.0.40$\r$\n$\r$\n开始菜单里的“应用管理”列出并管理手机上的应用；adbctl.exe 供脚本使用。"
!define MUI_FINISHPAGE_LINK "下载 platform-tools"
!define MUI_FINISHPAGE_LINK_LOCATION "${PLATFORM_TOOLS_URL}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\adbtool.exe"
!define MUI_FINISHPAGE_RUN_PARAMETERS "--manager"
!define MUI_FINISHPAGE_RUN_TEXT "打开应用管理"
!define MUI_FINISHPAGE_RUN_NOTCHECKED

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

Section "adbtool（必需）" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${SOURCE}\adbtool.exe"
  File "${SOURCE}\adbctl.exe"
  File "${SOURCE}\README.txt"
  SetOutPath "$INSTDIR\adb_1.0.40"
  File "${SOURCE}\adb_1.0.40\README.txt"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\adbtool"
  CreateShortcut "$SMPROGRAMS\adbtool\adbtool.lnk" "$INSTDIR\adbtool.exe" "" "$INSTDIR\adbtool.exe" 0
  CreateShortcut "$SMPROGRAMS\adbtool\应用管理.lnk" "$INSTDIR\adbtool.exe" "--manager" "$INSTDIR\adbtool.exe" 0
  CreateShortcut "$SMPROGRAMS\adbtool\卸载 adbtool.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKCU "Software\adbtool" "InstallDir" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "adbtool"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\adbtool.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\uninstall.exe$\""
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\uninstall.exe$\" /S"
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The user's own PATH (HKCU\Environment), so `adbctl` runs from any console
; opened after the installation; the folder goes in once.
Section /o "把 adbctl 加入 PATH（在命令行里直接输入 adbctl）" SecPath
  ReadRegStr $0 HKCU "Environment" "Path"
  ${StrStr} $1 ";$0;" ";$INSTDIR;"
  ${If} $1 == ""
    ${If} $0 == ""
      WriteRegExpandStr HKCU "Environment" "Path" "$INSTDIR"
    ${Else}
      WriteRegExpandStr HKCU "Environment" "Path" "$0;$INSTDIR"
    ${EndIf}
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "AddedToPath" 1
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  ${EndIf}
SectionEnd

Function .onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/ADDTOPATH" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecPath}
  ${EndIf}
FunctionEnd

; Only what the installer put there, and the platform-tools files the
; owner was told to add: a folder the owner chose may hold other things.
Section "un.adbtool" UnSecProgram
  SectionIn RO
  Delete "$INSTDIR\adbtool.exe"
  Delete "$INSTDIR\adbctl.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\adb_1.0.40\README.txt"
  Delete "$INSTDIR\adb_1.0.40\adb.exe"
  Delete "$INSTDIR\adb_1.0.40\AdbWinApi.dll"
  Delete "$INSTDIR\adb_1.0.40\AdbWinUsbApi.dll"
  RMDir "$INSTDIR\adb_1.0.40"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\adbtool\adbtool.lnk"
  Delete "$SMPROGRAMS\adbtool\应用管理.lnk"
  Delete "$SMPROGRAMS\adbtool\卸载 adbtool.lnk"
  RMDir "$SMPROGRAMS\adbtool"

  ReadRegDWORD $0 HKCU "${UNINSTALL_KEY}" "AddedToPath"
  ${If} $0 == 1
    ReadRegStr $1 HKCU "Environment" "Path"
    ${UnStrRep} $2 ";$1;" ";$INSTDIR;" ";"
    ; The semicolons added around it go again.
    StrCpy $2 $2 "" 1
    StrCpy $2 $2 -1
    WriteRegExpandStr HKCU "Environment" "Path" "$2"
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  ${EndIf}
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "Software\adbtool"
SectionEnd

Section /o "un.删除操作记录和设置（%LOCALAPPDATA%\adbtool 里的 actions.log 等）" UnSecRecord
  Delete "$LOCALAPPDATA\adbtool\actions.log"
  Delete "$LOCALAPPDATA\adbtool\names.txt"
  Delete "$LOCALAPPDATA\adbtool\servers.txt"
  Delete "$LOCALAPPDATA\adbtool\wireless.txt"
  RMDir "$LOCALAPPDATA\adbtool"
SectionEnd

Section /o "un.删除电脑上备份的应用安装包（%LOCALAPPDATA%\adbtool\apks）" UnSecApks
  RMDir /r "$LOCALAPPDATA\adbtool\apks"
  RMDir "$LOCALAPPDATA\adbtool"
SectionEnd

Function un.onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/REMOVEDATA" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${UnSecRecord}
    !insertmacro SelectSection ${UnSecApks}
  ${EndIf}
FunctionEnd
