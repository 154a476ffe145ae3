; The setup program for Windows, built by packaging/windows/build-setup with makensis:
;   makensis -DVERSION=1.0.0 -DFILES=<install.nsh> -DUNFILES=<uninstall.nsh> -DOUTFILE=<setup.exe>
; (the two lists of the zip's files are written by build-setup).
; It installs the files of the zip into Program Files, adds Start-menu entries for the window and
; for a command prompt in the install folder (where tarvi-cli runs), optionally puts that folder
; on the system PATH, and registers its uninstaller in the list of installed apps.
; Silent: setup.exe /S [/PATH] [/D=FOLDER]; uninstall.exe /S.
Unicode true
Target amd64-unicode  ; the programs are 64-bit; so is the setup (wine64 runs no 32-bit program)
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"
!include "StrFunc.nsh"
${StrStr}
${UnStrRep}

!define PRODUCT "tarvi"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\tarvi"
!define ENVIRONMENT_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
!define MENU_FOLDER "$SMPROGRAMS\tarvi"

Name "tarvi ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\tarvi"
BrandingText "tarvi ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "tarvi"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "tarvi ${VERSION} setup"
VIAddVersionKey /LANG=0 "LegalCopyright" "MIT licence"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Russian"

LangString SecProgramName ${LANG_ENGLISH} "tarvi (the window and tarvi-cli)"
LangString SecProgramName ${LANG_RUSSIAN} "tarvi (окно и tarvi-cli)"
LangString SecPathName ${LANG_ENGLISH} "Put the folder on PATH (tarvi-cli in every command prompt)"
LangString SecPathName ${LANG_RUSSIAN} "Добавить папку в PATH (tarvi-cli в любой командной строке)"
!define PROMPT_LINK_EN "tarvi-cli command prompt"
!define PROMPT_LINK_RU "Командная строка tarvi-cli"
LangString PromptLink ${LANG_ENGLISH} "${PROMPT_LINK_EN}"
LangString PromptLink ${LANG_RUSSIAN} "${PROMPT_LINK_RU}"

Section "!$(SecProgramName)" SecProgram
  SectionIn RO
  SetShellVarContext all
  !include "${FILES}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The shortcuts start in the install folder (SetOutPath), so the prompt opens where tarvi-cli is.
  SetOutPath "$INSTDIR"
  CreateDirectory "${MENU_FOLDER}"
  ${If} ${FileExists} "$INSTDIR\tarvi.exe"
    CreateShortCut "${MENU_FOLDER}\tarvi.lnk" "$INSTDIR\tarvi.exe"
  ${EndIf}
  CreateShortCut "${MENU_FOLDER}\$(PromptLink).lnk" "$WINDIR\System32\cmd.exe" \
    '/k tarvi-cli --help' "$WINDIR\System32\cmd.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "tarvi ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The tarvi developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  ${If} ${FileExists} "$INSTDIR\tarvi.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tarvi.exe"
  ${EndIf}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Appends the install folder to the system PATH once; the uninstaller takes it out again.
Section /o "$(SecPathName)" SecPath
  ReadRegStr $0 HKLM "${ENVIRONMENT_KEY}" "Path"
  ${StrStr} $1 ";$0;" ";$INSTDIR;"
  ${If} $1 == ""
    ${If} $0 == ""
      StrCpy $0 "$INSTDIR"
    ${Else}
      StrCpy $0 "$0;$INSTDIR"
    ${EndIf}
    WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$0"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "AddedToPath" 1
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  ${EndIf}
SectionEnd

; The 64-bit programs belong to the 64-bit views of the registry.
Function .onInit
  SetRegView 64
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/PATH" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecPath}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "AddedToPath"
  ${If} $0 == 1
    ReadRegStr $0 HKLM "${ENVIRONMENT_KEY}" "Path"
    ${UnStrRep} $1 ";$0;" ";$INSTDIR;" ";"
    ; Without the semicolons added above at both ends.
    StrCpy $1 $1 "" 1
    StrCpy $1 $1 -1
    WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$1"
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  ${EndIf}

  Delete "${MENU_FOLDER}\tarvi.lnk"
  ; Under either language's name: the uninstaller may run in another language than the setup.
  Delete "${MENU_FOLDER}\${PROMPT_LINK_EN}.lnk"
  Delete "${MENU_FOLDER}\${PROMPT_LINK_RU}.lnk"
  RMDir "${MENU_FOLDER}"

  ; Exactly the files that were installed, then the folders if empty: a folder chosen for the
  ; install keeps what was there before.
  !include "${UNFILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
