; KestrixSetup.exe: installs Kestrix for all users of the computer.
;
; Built by the Windows build (installer/CMakeLists.txt):
;   makensis -DPRODUCT_DIR=<folder with the four files> -DHELPER=<kxacl.exe> -DCONTRACT=<kestrix-contract.nsh>
;            -DOUTFILE=<setup> kestrix.nsi
; (kestrix-contract.nsh is made by the build from the programs' shared definitions.)
;
; Installs KestrixTray.exe, Kestrix.exe, KestrixUpdate.exe and Kestrix.chm into
; the 32-bit Program Files folder, writes the settings defaults (keeping every
; value that is there), lets the local Users group write the settings key and
; the all-users data folder (KestrixTray writes Handle and ReloadList, and the
; main program saves the block list, with ordinary rights), starts KestrixTray
; at logon with "/start", and starts it now. Silent with /S.
;
; The uninstaller closes KestrixTray and the main program, removes the files,
; the logon entry and the settings key, and keeps the user's block list unless
; asked (/REMOVELIST, or Yes in the question it asks when not silent).

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!ifndef PRODUCT_DIR
  !error "PRODUCT_DIR is not defined"
!endif
!ifndef HELPER
  !error "HELPER is not defined"
!endif
!ifndef CONTRACT
  !error "CONTRACT is not defined"
!endif
!include "${CONTRACT}"
!ifndef OUTFILE
  !define OUTFILE "KestrixSetup.exe"
!endif

!define PRODUCT "Kestrix"
!define VERSION "${KX_VERSION}"
!define MAKER "VELMOR"
!define SETTINGS_KEY "Software\VELMOR\Kestrix"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "KestrixTray"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrix"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WinMessages.nsh"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\VELMOR\Kestrix"
BrandingText "${MAKER} ${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${MAKER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${MAKER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Kestrix.exe"
!define MUI_FINISHPAGE_RUN_NOTCHECKED

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The five languages of Kestrix itself; the first is the fallback.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "French"
!insertmacro MUI_LANGUAGE "Korean"
!insertmacro MUI_LANGUAGE "PortugueseBR"
!insertmacro MUI_LANGUAGE "Russian"

LangString KeepListQuestion ${LANG_ENGLISH} "Remove your Kestrix block list as well?"
LangString KeepListQuestion ${LANG_FRENCH} "Supprimer aussi votre liste d'exclusion de Kestrix ?"
LangString KeepListQuestion ${LANG_KOREAN} "Kestrix 제외 목록도 삭제하시겠습니까?"
LangString KeepListQuestion ${LANG_PORTUGUESEBR} "Remover também a sua lista de bloqueio do Kestrix?"
LangString KeepListQuestion ${LANG_RUSSIAN} "Удалить и ваш список исключений Kestrix?"
LangString RightsFailed ${LANG_ENGLISH} "Kestrix is installed, but the rights for ordinary users could not be set. Kestrix then needs administrator rights to save its settings."
LangString RightsFailed ${LANG_FRENCH} "Kestrix est installé, mais les droits des utilisateurs n'ont pas pu être définis. Kestrix aura alors besoin des droits d'administrateur pour enregistrer ses paramètres."
LangString RightsFailed ${LANG_KOREAN} "Kestrix를 설치했지만 일반 사용자 권한을 설정하지 못했습니다. 설정을 저장하려면 관리자 권한이 필요합니다."
LangString RightsFailed ${LANG_PORTUGUESEBR} "O Kestrix foi instalado, mas os direitos dos usuários comuns não puderam ser definidos. O Kestrix precisará de direitos de administrador para salvar as configurações."
LangString RightsFailed ${LANG_RUSSIAN} "Kestrix установлен, но права обычных пользователей задать не удалось. Для сохранения настроек понадобятся права администратора."

; Closes the windows of Kestrix: the main program's, in the order KestrixTray's
; Exit uses, the updater's, then KestrixTray's own; and waits until the tray
; window is gone, so that its files are free.
!macro CLOSE_KESTRIX PREFIX
Function ${PREFIX}CloseClass
  Exch $1
  Push $0
  Push $2
  StrCpy $2 0
  ${Do}
    FindWindow $0 "$1"
    ${If} $0 == 0
    ${OrIf} $2 >= 10
      ${Break}
    ${EndIf}
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    IntOp $2 $2 + 1
    Sleep 100
  ${Loop}
  Pop $2
  Pop $0
  Pop $1
FunctionEnd

Function ${PREFIX}CloseKestrix
  Push $0
  Push $1
  !insertmacro KX_CLOSE_WINDOWS ${PREFIX}CloseClass
  ; The processes end shortly after their windows.
  StrCpy $1 0
  ${Do}
    FindWindow $0 "${KX_TRAY_WINDOW_CLASS}"
    ${If} $0 == 0
    ${OrIf} $1 >= 50
      ${Break}
    ${EndIf}
    Sleep 100
    IntOp $1 $1 + 1
  ${Loop}
  Sleep 500
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro CLOSE_KESTRIX ""
!insertmacro CLOSE_KESTRIX "un."

!macro DEFAULT_DWORD NAME VALUE
  ClearErrors
  ReadRegDWORD $0 HKLM "${SETTINGS_KEY}" "${NAME}"
  ${If} ${Errors}
    WriteRegDWORD HKLM "${SETTINGS_KEY}" "${NAME}" ${VALUE}
  ${EndIf}
!macroend

!macro DEFAULT_STRING NAME VALUE
  ClearErrors
  ReadRegStr $0 HKLM "${SETTINGS_KEY}" "${NAME}"
  ${If} ${Errors}
  ${OrIf} $0 == ""
    WriteRegStr HKLM "${SETTINGS_KEY}" "${NAME}" "${VALUE}"
  ${EndIf}
!macroend

Function .onInit
  SetRegView 32
  SetShellVarContext all
  ${IfNot} ${Silent}
    !insertmacro MUI_LANGDLL_DISPLAY
  ${EndIf}
FunctionEnd

Section "Kestrix" SecMain
  SetRegView 32
  SetShellVarContext all
  ; An installation over a running Kestrix replaces its files.
  Call CloseKestrix

  SetOutPath "$INSTDIR"
  File "${PRODUCT_DIR}/KestrixTray.exe"
  File "${PRODUCT_DIR}/Kestrix.exe"
  File "${PRODUCT_DIR}/KestrixUpdate.exe"
  File "${PRODUCT_DIR}/Kestrix.chm"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; The settings KestrixTray reads, where the user has none yet. The colours
  ; stay unset: KestrixTray then picks those that suit the Windows release.
  !insertmacro DEFAULT_STRING "Handle" "0"
  !insertmacro DEFAULT_DWORD "ProcessorPriority" 2
  !insertmacro DEFAULT_DWORD "ProcessorIdeal" 1
  !insertmacro DEFAULT_DWORD "ReloadList" 0
  !insertmacro DEFAULT_DWORD "LoadTrayIcon" 1
  !insertmacro DEFAULT_DWORD "LoadKestrix" 1
  ${Switch} $LANGUAGE
    ${Case} ${LANG_FRENCH}
      !insertmacro DEFAULT_STRING "Language" "french"
      ${Break}
    ${Case} ${LANG_KOREAN}
      !insertmacro DEFAULT_STRING "Language" "korean"
      ${Break}
    ${Case} ${LANG_PORTUGUESEBR}
      !insertmacro DEFAULT_STRING "Language" "prtbrzl"
      ${Break}
    ${Case} ${LANG_RUSSIAN}
      !insertmacro DEFAULT_STRING "Language" "russian"
      ${Break}
    ${Default}
      !insertmacro DEFAULT_STRING "Language" "english"
      ${Break}
  ${EndSwitch}

  ; Ordinary users write Handle, ReloadList and the block list.
  InitPluginsDir
  File "/oname=$PLUGINSDIR\kxacl.exe" "${HELPER}"
  ; This installation is the latest update: UpdatedDate, in seconds.
  nsExec::Exec '"$PLUGINSDIR\kxacl.exe" stamp'
  Pop $0
  nsExec::Exec '"$PLUGINSDIR\kxacl.exe" key "${SETTINGS_KEY}"'
  Pop $0
  nsExec::Exec '"$PLUGINSDIR\kxacl.exe" folder "$APPDATA\VELMOR\Kestrix"'
  Pop $1
  ${If} $0 != 0
  ${OrIf} $1 != 0
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(RightsFailed)" /SD IDOK
  ${EndIf}

  ; KestrixTray at every logon; "/start" lets LoadKestrix decide.
  WriteRegStr HKLM "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\KestrixTray.exe" /start'

  CreateDirectory "$SMPROGRAMS\Kestrix"
  CreateShortcut "$SMPROGRAMS\Kestrix\Kestrix.lnk" "$INSTDIR\Kestrix.exe"
  CreateShortcut "$SMPROGRAMS\Kestrix\Kestrix Help.lnk" "$INSTDIR\Kestrix.chm"
  CreateShortcut "$SMPROGRAMS\Kestrix\Kestrix Update.lnk" "$INSTDIR\KestrixUpdate.exe"
  CreateShortcut "$SMPROGRAMS\Kestrix\Uninstall Kestrix.lnk" "$INSTDIR\Uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${MAKER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\KestrixTray.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  Exec '"$INSTDIR\KestrixTray.exe"'
SectionEnd

Function un.onInit
  SetRegView 32
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  SetRegView 32
  SetShellVarContext all
  Call un.CloseKestrix

  Delete "$INSTDIR\KestrixTray.exe"
  Delete "$INSTDIR\Kestrix.exe"
  Delete "$INSTDIR\KestrixUpdate.exe"
  Delete "$INSTDIR\Kestrix.chm"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$PROGRAMFILES\VELMOR"

  Delete "$SMPROGRAMS\Kestrix\Kestrix.lnk"
  Delete "$SMPROGRAMS\Kestrix\Kestrix Help.lnk"
  Delete "$SMPROGRAMS\Kestrix\Kestrix Update.lnk"
  Delete "$SMPROGRAMS\Kestrix\Uninstall Kestrix.lnk"
  RMDir "$SMPROGRAMS\Kestrix"

  DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  DeleteRegKey HKLM "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKLM "Software\VELMOR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ; The block list is the user's own work: it stays unless asked otherwise.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVELIST" $1
  ${IfNot} ${Errors}
    StrCpy $2 "remove"
  ${Else}
    StrCpy $2 "keep"
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "$(KeepListQuestion)" /SD IDNO IDNO +2
    StrCpy $2 "remove"
  ${EndIf}
  ${If} $2 == "remove"
    Delete "$APPDATA\VELMOR\Kestrix\Kestrix.csv"
    Delete "$APPDATA\VELMOR\Kestrix\Kestrix.csv.bak"
    RMDir "$APPDATA\VELMOR\Kestrix"
    RMDir "$APPDATA\VELMOR"
  ${EndIf}
SectionEnd
