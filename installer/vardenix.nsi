; VardenixSetup.exe: installs Vardenix, and the uninstaller that removes it.
;
; installer/CMakeLists.txt runs makensis with these definitions:
;   PROGRAM64_DIR  PROGRAM32_DIR  folders holding vardenix.exe and Tollupd.exe
;                                 of the 64-bit and of the 32-bit build
;   HELP_FILE  the help Tollmark.chm      ICON_FILE  the program's icon
;   OUT_FILE   where the setup program goes
;
; A 64-bit Windows gets the 64-bit program in its 64-bit program-files folder,
; a 32-bit Windows the 32-bit one; either way the registry is written in the
; view the installed program reads. "VardenixSetup.exe /S" installs without a
; question, "Uninstall.exe /S" removes without one and keeps the quarantine.

Unicode true
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh

!define PRODUCT "Vardenix"
!define VERSION "5.1.0.15"
!define PUBLISHER "vormtalware"
; The program's file name without its extension: it names the program's
; instance semaphore and the window property on its main window.
!define APP_NAME "vardenix"
!define EXIT_COMMAND 1062
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vardenix"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SETTINGS_KEY "SOFTWARE\vormtalware"
!define SHORTCUTS "$SMPROGRAMS\Vardenix"
!define QUARANTINE "$INSTDIR\quarantine"

; Rights and flags of the Windows security calls below.
!define USERS_SID "S-1-5-32-545"
!define SE_FILE_OBJECT 1
!define SE_REGISTRY_KEY 4
!define DACL_SECURITY_INFORMATION 0x4
!define UNPROTECTED_DACL_SECURITY_INFORMATION 0x20000000
!define SET_ACCESS 2
!define SUB_CONTAINERS_ONLY_INHERIT 2
!define SUB_CONTAINERS_AND_OBJECTS_INHERIT 3
!define TRUSTEE_IS_SID 0
!define TRUSTEE_IS_WELL_KNOWN_GROUP 5
!define READ_CONTROL_WRITE_DAC 0x60000
!define OPEN_EXISTING 3
!define FILE_FLAG_BACKUP_SEMANTICS 0x02000000
!define HKLM_HANDLE 0x80000002
; Read, write, run and delete: what the quarantine store does with its items.
!define FILE_MODIFY 0x1301BF
; All that the program asks for when it opens its settings key.
!define KEY_ALL_ACCESS 0xF003F
!define KEY_WOW64_64KEY 0x100
!define SYNCHRONIZE 0x100000
!define QUERY_WAIT_TERMINATE 0x101001

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
; The running program watches for a window of exactly this caption and then
; warns that protection ends, and ends itself.
UninstallCaption "Удаление ${PRODUCT}"
BrandingText "${PUBLISHER}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1049 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1049 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1049 "FileDescription" "Установка ${PRODUCT}"
VIAddVersionKey /LANG=1049 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "LegalCopyright" "© ${PUBLISHER}"

!define MUI_ICON "${ICON_FILE}"
!define MUI_UNICON "${ICON_FILE}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_TEXT "Установка ${PRODUCT} завершена. Программа запустится, как только это окно закроется, и будет запускаться вместе с Windows."

!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipFolderPageWhenInstalled
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

; The running program looks for the uninstaller's exact caption, but each
; of these pages appends its subcaption, a blank, to it: every page puts the
; caption back when it shows.
!define MUI_PAGE_CUSTOMFUNCTION_SHOW un.KeepCaption
!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_PAGE_CUSTOMFUNCTION_SHOW un.KeepCaption
!insertmacro MUI_UNPAGE_INSTFILES
!define MUI_PAGE_CUSTOMFUNCTION_SHOW un.KeepCaption
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "Russian"

Var installedBefore

; Ends the running program before its files are replaced or removed. Every
; Vardenix main window (a dialog captioned "Vardenix" with the window property
; "vardenix") is first asked to exit as its tray menu's "Выход" does. Then
; every process whose file is the installed vardenix.exe is waited for and,
; if it still runs after ten seconds, ended: also one that has no main window
; yet, or runs in another user's session, out of reach of window messages.
; No other program is ever ended by force.
!macro DEFINE_END_PROGRAM un
Function ${un}EndProgram
    StrCpy $R0 0
    ${Do}
        FindWindow $R0 "#32770" "${PRODUCT}" "" $R0
        ${IfThen} $R0 = 0 ${|} ${Break} ${|}
        System::Call 'user32::GetPropW(p R0, w "${APP_NAME}") p .R1'
        ${If} $R1 P<> 0
            System::Call 'user32::PostMessageW(p R0, i ${WM_COMMAND}, p ${EXIT_COMMAND}, p 0)'
        ${EndIf}
    ${Loop}

    ; Room for 4096 process identifiers.
    System::Alloc 16384
    Pop $R2
    System::Call 'psapi::EnumProcesses(p R2, i 16384, *i .R3) i .R4'
    ${If} $R4 <> 0
        IntOp $R3 $R3 / 4
        StrCpy $R5 0
        ${While} $R5 < $R3
            IntOp $R6 $R5 * 4
            IntOp $R6 $R2 + $R6
            System::Call '*$R6(i .R7)'
            System::Call 'kernel32::OpenProcess(i ${QUERY_WAIT_TERMINATE}, i 0, i R7) p .R8'
            ${If} $R8 P<> 0
                System::Call 'kernel32::QueryFullProcessImageNameW(p R8, i 0, w .R9, *i ${NSIS_MAX_STRLEN}) i .R4'
                ${If} $R4 <> 0
                ${AndIf} $R9 == "$INSTDIR\vardenix.exe"
                    System::Call 'kernel32::WaitForSingleObject(p R8, i 10000) i .R4'
                    ${If} $R4 <> 0
                        DetailPrint "Vardenix не ответил на просьбу завершиться и будет остановлен."
                        System::Call 'kernel32::TerminateProcess(p R8, i 1)'
                        System::Call 'kernel32::WaitForSingleObject(p R8, i 5000)'
                    ${EndIf}
                ${EndIf}
                System::Call 'kernel32::CloseHandle(p R8)'
            ${EndIf}
            IntOp $R5 $R5 + 1
        ${EndWhile}
    ${EndIf}
    System::Free $R2
FunctionEnd
!macroend
!insertmacro DEFINE_END_PROGRAM ""
!insertmacro DEFINE_END_PROGRAM "un."

; GrantUsers: adds an entry that allows the built-in Users group some rights
; on an open file or registry key, beside the entries it has; entries
; inherited from its parent stay inherited. Takes from the stack (pushed in
; this order) the handle, the object type, the rights and their inheritance;
; leaves 0 on the stack on success, an error code otherwise. Uses $R0-$R9.
Function GrantUsers
    Pop $R3
    Pop $R2
    Pop $R1
    Pop $R0
    StrCpy $R9 1
    System::Call 'advapi32::ConvertStringSidToSidW(w "${USERS_SID}", *p .R4) i .R6'
    ${If} $R6 <> 0
        System::Call 'advapi32::GetSecurityInfo(p R0, i R1, i ${DACL_SECURITY_INFORMATION}, p 0, p 0, *p .R5, p 0, *p .R7) i .R9'
        ${If} $R9 = 0
            ; EXPLICIT_ACCESS_W with its TRUSTEE_W: the rights, how they are
            ; set and inherited; no multiple trustee; the SID of a group.
            System::Call '*(i R2, i ${SET_ACCESS}, i R3, p 0, i 0, i ${TRUSTEE_IS_SID}, i ${TRUSTEE_IS_WELL_KNOWN_GROUP}, p R4) p .R8'
            System::Call 'advapi32::SetEntriesInAclW(i 1, p R8, p R5, *p .R6) i .R9'
            ${If} $R9 = 0
                System::Call 'advapi32::SetSecurityInfo(p R0, i R1, i ${DACL_SECURITY_INFORMATION}|${UNPROTECTED_DACL_SECURITY_INFORMATION}, p 0, p 0, p R6, p 0) i .R9'
                System::Call 'kernel32::LocalFree(p R6)'
            ${EndIf}
            System::Free $R8
            System::Call 'kernel32::LocalFree(p R7)'
        ${EndIf}
        System::Call 'kernel32::LocalFree(p R4)'
    ${EndIf}
    Push $R9
FunctionEnd

!macro GRANT_USERS HANDLE TYPE RIGHTS INHERITANCE RESULT
    Push ${HANDLE}
    Push ${TYPE}
    Push ${RIGHTS}
    Push ${INHERITANCE}
    Call GrantUsers
    Pop ${RESULT}
!macroend

; A standard user's program writes its quarantine items and its settings:
; the installer, which runs as an administrator, opens both to the Users group.
Function OpenToUsers
    CreateDirectory "${QUARANTINE}"
    ; Shared for reading, writing and deleting; a folder opens with backup semantics.
    System::Call 'kernel32::CreateFileW(w "${QUARANTINE}", i ${READ_CONTROL_WRITE_DAC}, i 7, p 0, i ${OPEN_EXISTING}, i ${FILE_FLAG_BACKUP_SEMANTICS}, p 0) i .r0'
    ${If} $0 <> -1
        !insertmacro GRANT_USERS $0 ${SE_FILE_OBJECT} ${FILE_MODIFY} ${SUB_CONTAINERS_AND_OBJECTS_INHERIT} $1
        System::Call 'kernel32::CloseHandle(p r0)'
    ${Else}
        StrCpy $1 "нет папки"
    ${EndIf}
    ${If} $1 != 0
        MessageBox MB_OK|MB_ICONEXCLAMATION "Не удалось разрешить пользователям запись в папку карантина ($1).$\r$\nБез прав администратора Vardenix не сможет помещать файлы в карантин." /SD IDOK
    ${EndIf}

    ; The key in the registry view of the installed program.
    ${If} ${RunningX64}
        StrCpy $2 ${KEY_WOW64_64KEY}
    ${Else}
        StrCpy $2 0
    ${EndIf}
    IntOp $2 $2 | ${READ_CONTROL_WRITE_DAC}
    System::Call 'advapi32::RegCreateKeyExW(p ${HKLM_HANDLE}, w "${SETTINGS_KEY}", i 0, p 0, i 0, i r2, p 0, *p .r0, p 0) i .r1'
    ${If} $1 = 0
        !insertmacro GRANT_USERS $0 ${SE_REGISTRY_KEY} ${KEY_ALL_ACCESS} ${SUB_CONTAINERS_ONLY_INHERIT} $1
        System::Call 'advapi32::RegCloseKey(p r0)'
    ${EndIf}
    ${If} $1 != 0
        MessageBox MB_OK|MB_ICONEXCLAMATION "Не удалось разрешить пользователям запись настроек Vardenix в реестр ($1)." /SD IDOK
    ${EndIf}
FunctionEnd

Function .onInit
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
    ; A folder given with /D= stands; otherwise the installed copy's folder,
    ; so that installing over it keeps its quarantine.
    ReadRegStr $installedBefore HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $INSTDIR == ""
        StrCpy $INSTDIR $installedBefore
    ${EndIf}
    ${If} $INSTDIR == ""
        ${If} ${RunningX64}
            StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
        ${Else}
            StrCpy $INSTDIR "$PROGRAMFILES\${PRODUCT}"
        ${EndIf}
    ${EndIf}
FunctionEnd

Function SkipFolderPageWhenInstalled
    ${If} $installedBefore != ""
        Abort
    ${EndIf}
FunctionEnd

Section
    SetShellVarContext all
    Call EndProgram

    SetOutPath "$INSTDIR"
    ; The updater runs this setup program from the program folder and waits
    ; for it: its file is in use then. Windows lets a running program's file
    ; be renamed; the old copy goes when it is no longer in use.
    Delete "$INSTDIR\Tollupd.old"
    ${If} ${FileExists} "$INSTDIR\Tollupd.exe"
        Rename "$INSTDIR\Tollupd.exe" "$INSTDIR\Tollupd.old"
        Delete "$INSTDIR\Tollupd.old"
    ${EndIf}
    ${If} ${RunningX64}
        File "${PROGRAM64_DIR}/vardenix.exe"
        File "${PROGRAM64_DIR}/Tollupd.exe"
    ${Else}
        File "${PROGRAM32_DIR}/vardenix.exe"
        File "${PROGRAM32_DIR}/Tollupd.exe"
    ${EndIf}
    File "${HELP_FILE}"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    Call OpenToUsers

    WriteRegStr HKLM "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\vardenix.exe"'

    CreateDirectory "${SHORTCUTS}"
    CreateShortcut "${SHORTCUTS}\Vardenix.lnk" "$INSTDIR\vardenix.exe"
    CreateShortcut "${SHORTCUTS}\Справка Vardenix.lnk" "$INSTDIR\Tollmark.chm"
    CreateShortcut "${SHORTCUTS}\Удалить Vardenix.lnk" "$INSTDIR\Uninstall.exe"

    ; The program's own files only: the quarantine is the user's.
    ${GetSize} "$INSTDIR" "/S=0K /G=0" $0 $1 $2
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vardenix.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMajor" 5
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMinor" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function .onInstSuccess
    Exec '"$INSTDIR\vardenix.exe"'
    ; Whoever ran this setup program (the updater, say) finds the program
    ; running once it has ended, and does not start a second one.
    ${For} $0 1 100
        System::Call 'kernel32::OpenSemaphoreW(i ${SYNCHRONIZE}, i 0, w "${APP_NAME}") p .r1'
        ${If} $1 P<> 0
            System::Call 'kernel32::CloseHandle(p r1)'
            ${Break}
        ${EndIf}
        Sleep 100
    ${Next}
FunctionEnd

Function un.KeepCaption
    SendMessage $HWNDPARENT ${WM_SETTEXT} 0 "STR:$(^UninstallCaption)"
FunctionEnd

Function un.onInit
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
FunctionEnd

Section Uninstall
    SetShellVarContext all
    Call un.EndProgram

    Delete "$INSTDIR\vardenix.exe"
    Delete "$INSTDIR\Tollupd.exe"
    Delete "$INSTDIR\Tollupd.old"
    Delete "$INSTDIR\Tollmark.chm"
    Delete "${SHORTCUTS}\Vardenix.lnk"
    Delete "${SHORTCUTS}\Справка Vardenix.lnk"
    Delete "${SHORTCUTS}\Удалить Vardenix.lnk"
    RMDir "${SHORTCUTS}"
    DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"

    ; The quarantined files are the user's: they go only when the user says so.
    ${If} ${FileExists} "${QUARANTINE}\*.vw"
        MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "Удалить и файлы, помещённые в карантин?$\r$\nЕсли их оставить, они останутся в папке $\"${QUARANTINE}$\" и их можно будет восстановить, установив Vardenix снова." /SD IDNO IDNO keepQuarantine
        Delete "${QUARANTINE}\*.vw"
    keepQuarantine:
    ${EndIf}
    RMDir "${QUARANTINE}"

    DeleteRegValue HKLM "${SETTINGS_KEY}" "lastcheck"
    DeleteRegValue HKLM "${SETTINGS_KEY}" "autorun"
    DeleteRegKey /ifempty HKLM "${SETTINGS_KEY}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
SectionEnd
