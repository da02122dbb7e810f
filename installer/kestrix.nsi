; KestrixSetup.exe: installs Kestrix for all users of the computer.
;
; Built by the Windows build (installer/CMakeLists.txt):
;   makensis -DPRODUCT_DIR=<folder with the four files> -DHELPER=<kxacl.exe> -DCONTRACT=<kestrix-contract.nsh>
;            -DOUTFILE=<setup> [-DBITS=32|64] kestrix.nsi
; (kestrix-contract.nsh is made by the build from the programs' shared definitions.)
;
; BITS is the bitness of the programs it carries (default 32, the shipped
; build): it chooses the installer's own stub, the registry view and the
; Program Files folder, so that the programs find the settings where they
; read them (a 32-bit program on 64-bit Windows reads the 32-bit view).
;
; Installs KestrixTray.exe, Kestrix.exe, KestrixUpdate.exe and Kestrix.chm into
; the Program Files folder of their bitness, writes the settings defaults (keeping every
; value that is there), lets the local Users group write the settings key and
; the all-users data folder (KestrixTray writes Handle and ReloadList, and the
; main program saves the block list, with ordinary rights), starts KestrixTray
; at logon with "/start", and starts it now. Silent with /S.
;
; Setup runs elevated, so kxacl does the parts an ordinary account could
; steer: it refuses an install or data folder that is a link or that another
; account owns, hardens an install folder ordinary accounts could change,
; grants rights through opened handles only, and starts the programs through
; the desktop shell, as the signed-in user, never with setup's own token.
;
; The uninstaller closes KestrixTray and the main program, removes the files,
; the logon entry and the settings values, and keeps the user's block list unless
; asked (/REMOVELIST, or Yes in the question it asks when not silent).

!ifndef BITS
  !define BITS 32
!endif
!if ${BITS} == 64
  Target amd64-unicode
  !define PROGRAM_FILES "$PROGRAMFILES64"
!else if ${BITS} == 32
  Unicode true
  !define PROGRAM_FILES "$PROGRAMFILES32"
!else
  !error "BITS must be 32 or 64"
!endif
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
; The data folder below the all-users application data folder.
!define DATA_FOLDER "VELMOR\Kestrix"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WinMessages.nsh"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "${PROGRAM_FILES}\VELMOR\Kestrix"
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
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(RunMainProgram)"
!define MUI_FINISHPAGE_RUN_FUNCTION StartMainProgram
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
LangString RunMainProgram ${LANG_ENGLISH} "Run Kestrix"
LangString RunMainProgram ${LANG_FRENCH} "Lancer Kestrix"
LangString RunMainProgram ${LANG_KOREAN} "Kestrix 실행"
LangString RunMainProgram ${LANG_PORTUGUESEBR} "Executar o Kestrix"
LangString RunMainProgram ${LANG_RUSSIAN} "Запустить Kestrix"
LangString FolderRefused ${LANG_ENGLISH} "Kestrix cannot be installed in this folder:"
LangString FolderRefused ${LANG_FRENCH} "Kestrix ne peut pas être installé dans ce dossier :"
LangString FolderRefused ${LANG_KOREAN} "이 폴더에는 Kestrix를 설치할 수 없습니다:"
LangString FolderRefused ${LANG_PORTUGUESEBR} "O Kestrix não pode ser instalado nesta pasta:"
LangString FolderRefused ${LANG_RUSSIAN} "Kestrix нельзя установить в эту папку:"
LangString DataFolderRefused ${LANG_ENGLISH} "Kestrix is installed, but its block-list folder was not set up, so the block list cannot be saved:"
LangString DataFolderRefused ${LANG_FRENCH} "Kestrix est installé, mais le dossier de sa liste d'exclusion n'a pas été préparé ; la liste ne peut pas être enregistrée :"
LangString DataFolderRefused ${LANG_KOREAN} "Kestrix를 설치했지만 제외 목록 폴더를 준비하지 못해 목록을 저장할 수 없습니다:"
LangString DataFolderRefused ${LANG_PORTUGUESEBR} "O Kestrix foi instalado, mas a pasta da lista de bloqueio não foi preparada; a lista não pode ser salva:"
LangString DataFolderRefused ${LANG_RUSSIAN} "Kestrix установлен, но папка списка исключений не подготовлена, поэтому список нельзя сохранить:"
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

; The settings values Kestrix keeps; the uninstaller removes these and no
; other value or subkey (an ordinary account may have made subkeys).
!macro FOR_EACH_SETTING MACRO
  !insertmacro KX_FOR_EACH_SETTING ${MACRO}
!macroend
!macro DELETE_SETTING NAME
  DeleteRegValue HKLM "${SETTINGS_KEY}" "${NAME}"
!macroend

; The finish page's "Run Kestrix": through the desktop shell, not elevated.
Function StartMainProgram
  nsExec::Exec '"$PLUGINSDIR\kxacl.exe" start "$INSTDIR\Kestrix.exe"'
  Pop $0
FunctionEnd

Function .onInit
  SetRegView ${BITS}
  SetShellVarContext all
  ${IfNot} ${Silent}
    !insertmacro MUI_LANGDLL_DISPLAY
  ${EndIf}
FunctionEnd

Section "Kestrix" SecMain
  SetRegView ${BITS}
  SetShellVarContext all
  ; An installation over a running Kestrix replaces its files.
  Call CloseKestrix

  InitPluginsDir
  File "/oname=$PLUGINSDIR\kxacl.exe" "${HELPER}"
  ; The logon entry and the uninstaller run from the install folder for
  ; every account: no link, no folder on the way that anyone but the
  ; administrators could change, and an earlier folder others could change
  ; is moved aside and made anew. The files are staged in setup's own
  ; folder and copied by kxacl while it holds the checked folders open.
  SetOutPath "$PLUGINSDIR\stage"
  File "${PRODUCT_DIR}/KestrixTray.exe"
  File "${PRODUCT_DIR}/Kestrix.exe"
  File "${PRODUCT_DIR}/KestrixUpdate.exe"
  File "${PRODUCT_DIR}/Kestrix.chm"
  WriteUninstaller "$PLUGINSDIR\stage\Uninstall.exe"
  SetOutPath "$PLUGINSDIR"
  nsExec::ExecToStack '"$PLUGINSDIR\kxacl.exe" files "$INSTDIR" "$PLUGINSDIR\stage" KestrixTray.exe Kestrix.exe KestrixUpdate.exe Kestrix.chm Uninstall.exe'
  Pop $0
  Pop $1
  ${If} $0 != 0
    MessageBox MB_OK|MB_ICONSTOP "$(FolderRefused)$\r$\n$\r$\n$1" /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  DetailPrint "$1"
  SetOutPath "$INSTDIR"

  ; The settings KestrixTray reads, where the user has none yet. The colours
  ; stay unset: KestrixTray then picks those that suit the Windows release.
  !insertmacro DEFAULT_STRING "Handle" "0"
  !insertmacro DEFAULT_DWORD "ProcessorPriority" 2
  !insertmacro DEFAULT_DWORD "ProcessorIdeal" 1
  !insertmacro DEFAULT_DWORD "ReloadList" 0
  !insertmacro DEFAULT_DWORD "LoadTrayIcon" 1
  !insertmacro DEFAULT_DWORD "LoadKestrix" 1
  !insertmacro DEFAULT_DWORD "InstantBoost" 1
  !insertmacro DEFAULT_DWORD "RestoreOnExit" 1
  !insertmacro DEFAULT_DWORD "CorePlacement" 1
  !insertmacro DEFAULT_DWORD "ShowStatus" 1
  !insertmacro DEFAULT_DWORD "BusiestCore" 1
  !insertmacro DEFAULT_DWORD "FollowTheme" 1
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
  ; This installation is the latest update: UpdatedDate, in seconds.
  nsExec::Exec '"$PLUGINSDIR\kxacl.exe" stamp'
  Pop $0
  nsExec::Exec '"$PLUGINSDIR\kxacl.exe" key "${SETTINGS_KEY}"'
  Pop $0
  ${If} $0 != 0
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(RightsFailed)" /SD IDOK
    SetErrorLevel 1
  ${EndIf}
  nsExec::ExecToStack '"$PLUGINSDIR\kxacl.exe" folder "$APPDATA" "${DATA_FOLDER}"'
  Pop $0
  Pop $1
  ${If} $0 != 0
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(DataFolderRefused)$\r$\n$\r$\n$1" /SD IDOK
    ; Installed, but not as it should be: a deployment tool sees it in the exit code.
    SetErrorLevel 1
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

  ; KestrixTray now, as the signed-in user; nothing without a desktop.
  nsExec::Exec '"$PLUGINSDIR\kxacl.exe" start "$INSTDIR\KestrixTray.exe"'
  Pop $0
SectionEnd

Function un.onInit
  SetRegView ${BITS}
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  SetRegView ${BITS}
  SetShellVarContext all
  Call un.CloseKestrix

  Delete "$INSTDIR\KestrixTray.exe"
  Delete "$INSTDIR\Kestrix.exe"
  Delete "$INSTDIR\KestrixUpdate.exe"
  Delete "$INSTDIR\Kestrix.chm"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "${PROGRAM_FILES}\VELMOR"

  Delete "$SMPROGRAMS\Kestrix\Kestrix.lnk"
  Delete "$SMPROGRAMS\Kestrix\Kestrix Help.lnk"
  Delete "$SMPROGRAMS\Kestrix\Kestrix Update.lnk"
  Delete "$SMPROGRAMS\Kestrix\Uninstall Kestrix.lnk"
  RMDir "$SMPROGRAMS\Kestrix"

  DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  !insertmacro FOR_EACH_SETTING DELETE_SETTING
  DeleteRegKey /ifempty HKLM "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKLM "Software\VELMOR"

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
    ; Only along a path that is no link and that administrators own.
    InitPluginsDir
    File "/oname=$PLUGINSDIR\kxacl.exe" "${HELPER}"
    nsExec::Exec '"$PLUGINSDIR\kxacl.exe" removelist "$APPDATA" "${DATA_FOLDER}"'
    Pop $0
  ${EndIf}

  ; Last: until everything above is done, the record lets the uninstallation run again.
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
