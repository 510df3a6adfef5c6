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
; The program's folder stays as Windows makes it, writable by administrators
; only: each user's quarantine lies in that user's own local application data.

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

; The settings key's owner and DACL, set whole: SYSTEM and the administrators
; may do anything; the Users group may query and set its values (0x3), which
; is all a standard user's program does with them (src/app/Settings.h), and
; nothing more: no subkeys, no deleting, no say over the key's security. The
; DACL stays open to what its parent key passes on (read, for Users).
!define SETTINGS_KEY_SECURITY "O:BAD:(A;;KA;;;SY)(A;;KA;;;BA)(A;;0x3;;;BU)"

; Rights and flags of the Windows calls below.
!define SE_REGISTRY_KEY 4
!define SDDL_REVISION_1 1
; The owner (0x1) and the DACL (0x4), this one open to its parent (0x20000000).
!define /math OWNER_AND_DACL_UNPROTECTED 0x20000000 | 0x5
!define READ_CONTROL_WRITE_DAC_OWNER 0xE0000
!define HKLM_HANDLE 0x80000002
!define KEY_WOW64_64KEY 0x100
!define SYNCHRONIZE 0x100000
!define QUERY_WAIT_TERMINATE 0x101001
!define ERROR_ACCESS_DENIED 5
!define FILE_ATTRIBUTE_REPARSE_POINT 0x400

; The shell's objects behind the desktop window, through which the desktop's
; own Explorer starts the program (StartAsLoggedOnUser).
!define CLSID_ShellWindows "{9BA05972-F6A8-11CF-A442-00A0C90A8F39}"
!define IID_IShellWindows "{85CB6900-4D95-11CF-960C-0080C7F4EE85}"
!define IID_IServiceProvider "{6D5140C1-7436-11CE-8034-00AA006009FA}"
!define SID_STopLevelBrowser "{4C96BE40-915C-11CF-99D3-00AA004AE837}"
!define IID_IShellBrowser "{000214E2-0000-0000-C000-000000000046}"
!define IID_IDispatch "{00020400-0000-0000-C000-000000000046}"
!define IID_IShellFolderViewDual "{E7A1AF80-4D96-11CF-960C-0080C7F4EE85}"
!define IID_IShellDispatch2 "{A4C6892C-3BA9-11D2-9DEA-00C04FB16162}"
!define CLSCTX_LOCAL_SERVER 4
!define SWC_DESKTOP 8
!define SWFO_NEEDDISPATCH 1
!define SVGIO_BACKGROUND 0
!define VT_I4 3
!define VT_BSTR 8
; Methods by their place in each interface's table of methods.
!define QUERY_INTERFACE 0
!define RELEASE 2
!define FIND_WINDOW_SW 15
!define QUERY_SERVICE 3
!define QUERY_ACTIVE_SHELL_VIEW 15
!define GET_ITEM_OBJECT 15
!define GET_APPLICATION 7
!define SHELL_EXECUTE 31
; ShellExecute takes its VARIANTs by value, which the call below spells out as
; four 32-bit words each: so in a 32-bit setup program only.
!if ${NSIS_PTR_SIZE} > 4
    !error "StartAsLoggedOnUser passes VARIANTs as a 32-bit program does"
!endif

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
!define MUI_FINISHPAGE_TEXT "Установка ${PRODUCT} завершена. Программа запустится от имени вашей учётной записи, без прав администратора, как только это окно закроется, и будет запускаться при каждом входе в Windows."

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
; The uninstalling user's folder of the program's own data.
Var userData

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

; The settings key in the registry view of the installed program, created
; if need be, with SETTINGS_KEY_SECURITY as its owner and DACL.
Function LockSettingsKey
    ${If} ${RunningX64}
        StrCpy $2 ${KEY_WOW64_64KEY}
    ${Else}
        StrCpy $2 0
    ${EndIf}
    IntOp $2 $2 | ${READ_CONTROL_WRITE_DAC_OWNER}
    System::Call 'advapi32::RegCreateKeyExW(p ${HKLM_HANDLE}, w "${SETTINGS_KEY}", i 0, p 0, i 0, i r2, p 0, *p .r0, p 0) i .r1'
    ${If} $1 = 0
        StrCpy $1 "нет описания прав"
        System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${SETTINGS_KEY_SECURITY}", i ${SDDL_REVISION_1}, *p .r3, p 0) i .r4'
        ${If} $4 <> 0
            System::Call 'advapi32::GetSecurityDescriptorOwner(p r3, *p .r5, *i .r6)'
            System::Call 'advapi32::GetSecurityDescriptorDacl(p r3, *i .r6, *p .r7, *i .r8)'
            System::Call 'advapi32::SetSecurityInfo(p r0, i ${SE_REGISTRY_KEY}, i ${OWNER_AND_DACL_UNPROTECTED}, p r5, p 0, p r7, p 0) i .r1'
            System::Call 'kernel32::LocalFree(p r3)'
        ${EndIf}
        System::Call 'advapi32::RegCloseKey(p r0)'
    ${EndIf}
    ${If} $1 != 0
        MessageBox MB_OK|MB_ICONEXCLAMATION "Не удалось задать права на настройки Vardenix в реестре ($1).$\r$\nБез прав администратора Vardenix не сможет сохранять свои настройки." /SD IDOK
    ${EndIf}
FunctionEnd

; True (1 on the stack) while the program runs in this session: its instance
; semaphore exists, also when this process may not open it.
Function ProgramRunning
    System::Call 'kernel32::OpenSemaphoreW(i ${SYNCHRONIZE}, i 0, w "${APP_NAME}") p .r0 ?e'
    Pop $1
    ${If} $0 P<> 0
        System::Call 'kernel32::CloseHandle(p r0)'
        Push 1
    ${ElseIf} $1 = ${ERROR_ACCESS_DENIED}
        Push 1
    ${Else}
        Push 0
    ${EndIf}
FunctionEnd

!macro RELEASE_OBJECT POINTER
    ${If} ${POINTER} P<> 0
        System::Call '${POINTER}->${RELEASE}()'
    ${EndIf}
!macroend

; Starts the installed program as the user who is logged on, never with this
; setup program's administrator rights (nor as a child of it, whose later
; starts would inherit them): the desktop's own Explorer runs it, reached
; through the shell's list of windows, its desktop browser and view, as a
; double click there would. Leaves 1 on the stack when the shell took the
; start, 0 when there is no desktop of this user to ask (a setup run by a
; deployment service, say): the Run entry then starts the program at the next
; logon. Uses $0-$9 and $R0-$R9.
Function StartAsLoggedOnUser
    ; The objects along the way, each released at the end.
    StrCpy $R0 0
    StrCpy $R1 0
    StrCpy $R2 0
    StrCpy $R3 0
    StrCpy $R4 0
    StrCpy $R5 0
    StrCpy $R6 0
    StrCpy $R7 0
    StrCpy $R8 0
    StrCpy $9 0
    System::Call 'ole32::CoInitialize(p 0) i .r8'
    ; VARIANTs for the desktop's place (VT_I4, CSIDL_DESKTOP = 0) and for none.
    System::Call '*(i ${VT_I4}, i 0, i 0, i 0) p .r6'
    System::Call '*(i 0, i 0, i 0, i 0) p .r7'
    System::Call 'oleaut32::SysAllocString(w "$INSTDIR\vardenix.exe") p .r4'
    System::Call 'oleaut32::SysAllocString(w "$INSTDIR") p .r5'
    ${Do}
        System::Call 'ole32::CoCreateInstance(g "${CLSID_ShellWindows}", p 0, i ${CLSCTX_LOCAL_SERVER}, g "${IID_IShellWindows}", *p .R0) i .r0'
        ${IfThen} $0 <> 0 ${|} ${Break} ${|}
        ; S_FALSE, not an error, when there is no desktop window.
        System::Call '$R0->${FIND_WINDOW_SW}(p r6, p r7, i ${SWC_DESKTOP}, *i .r1, i ${SWFO_NEEDDISPATCH}, *p .R1) i .r0'
        ${If} $0 <> 0
        ${OrIf} $R1 P= 0
            ${Break}
        ${EndIf}
        System::Call '$R1->${QUERY_INTERFACE}(g "${IID_IServiceProvider}", *p .R2) i .r0'
        ${IfThen} $0 <> 0 ${|} ${Break} ${|}
        System::Call '$R2->${QUERY_SERVICE}(g "${SID_STopLevelBrowser}", g "${IID_IShellBrowser}", *p .R3) i .r0'
        ${IfThen} $0 <> 0 ${|} ${Break} ${|}
        System::Call '$R3->${QUERY_ACTIVE_SHELL_VIEW}(*p .R4) i .r0'
        ${IfThen} $0 <> 0 ${|} ${Break} ${|}
        System::Call '$R4->${GET_ITEM_OBJECT}(i ${SVGIO_BACKGROUND}, g "${IID_IDispatch}", *p .R5) i .r0'
        ${IfThen} $0 <> 0 ${|} ${Break} ${|}
        System::Call '$R5->${QUERY_INTERFACE}(g "${IID_IShellFolderViewDual}", *p .R6) i .r0'
        ${IfThen} $0 <> 0 ${|} ${Break} ${|}
        System::Call '$R6->${GET_APPLICATION}(*p .R7) i .r0'
        ${IfThen} $0 <> 0 ${|} ${Break} ${|}
        System::Call '$R7->${QUERY_INTERFACE}(g "${IID_IShellDispatch2}", *p .R8) i .r0'
        ${IfThen} $0 <> 0 ${|} ${Break} ${|}
        ; ShellExecute(file, no arguments, the program folder (VT_BSTR), the
        ; default verb, show normally (VT_I4)).
        System::Call '$R8->${SHELL_EXECUTE}(p r4, i 0, i 0, i 0, i 0, i ${VT_BSTR}, i 0, p r5, i 0, i 0, i 0, i 0, i 0, i ${VT_I4}, i 0, i ${SW_SHOWNORMAL}, i 0) i .r0'
        ${IfThen} $0 = 0 ${|} StrCpy $9 1 ${|}
    ${LoopUntil} 1 = 1
    !insertmacro RELEASE_OBJECT $R8
    !insertmacro RELEASE_OBJECT $R7
    !insertmacro RELEASE_OBJECT $R6
    !insertmacro RELEASE_OBJECT $R5
    !insertmacro RELEASE_OBJECT $R4
    !insertmacro RELEASE_OBJECT $R3
    !insertmacro RELEASE_OBJECT $R2
    !insertmacro RELEASE_OBJECT $R1
    !insertmacro RELEASE_OBJECT $R0
    System::Call 'oleaut32::SysFreeString(p r4)'
    System::Call 'oleaut32::SysFreeString(p r5)'
    System::Free $6
    System::Free $7
    ${If} $8 >= 0
        System::Call 'ole32::CoUninitialize()'
    ${EndIf}
    Push $9
FunctionEnd

Function .onInit
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
    ; A folder given with /D= stands; otherwise the installed copy's folder,
    ; so that an update replaces the program where it is.
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

    Call LockSettingsKey

    WriteRegStr HKLM "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\vardenix.exe"'

    CreateDirectory "${SHORTCUTS}"
    CreateShortcut "${SHORTCUTS}\Vardenix.lnk" "$INSTDIR\vardenix.exe"
    CreateShortcut "${SHORTCUTS}\Справка Vardenix.lnk" "$INSTDIR\Tollmark.chm"
    CreateShortcut "${SHORTCUTS}\Удалить Vardenix.lnk" "$INSTDIR\Uninstall.exe"

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
    Call StartAsLoggedOnUser
    Pop $0
    ${If} $0 = 0
        MessageBox MB_OK|MB_ICONINFORMATION "${PRODUCT} запустится при следующем входе в Windows. Чтобы защита включилась сейчас, запустите ${PRODUCT} из меню $\"Пуск$\"." /SD IDOK
        Return
    ${EndIf}
    ; Whoever ran this setup program (the updater, say) finds the program
    ; running once it has ended, and does not start a second one.
    ${For} $0 1 100
        Call ProgramRunning
        Pop $1
        ${IfThen} $1 = 1 ${|} ${Break} ${|}
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
    ; Each user's quarantine lies in that user's own local application data:
    ; only the folder of the user who runs this is offered for deleting.
    SetShellVarContext current
    StrCpy $userData "$LOCALAPPDATA\${PRODUCT}"
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

    ; The quarantined files are the user's: they go only when the user says
    ; so. This runs as an administrator in folders the user may change: where
    ; either folder is a link (a junction, say), it could lead this deleting
    ; into folders the user may not touch, and nothing is offered.
    System::Call 'kernel32::GetFileAttributesW(w "$userData") i .r1'
    System::Call 'kernel32::GetFileAttributesW(w "$userData\quarantine") i .r2'
    ; A folder that is not there is no link.
    ${IfThen} $2 = -1 ${|} StrCpy $2 0 ${|}
    IntOp $3 $1 | $2
    IntOp $3 $3 & ${FILE_ATTRIBUTE_REPARSE_POINT}
    ${If} $3 = 0
        ${If} ${FileExists} "$userData\quarantine\*.vw"
            MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "Удалить и файлы, помещённые в карантин?$\r$\nЕсли их оставить, они останутся в папке $\"$userData\quarantine$\" и их можно будет восстановить, установив Vardenix снова." /SD IDNO IDNO keepQuarantine
            Delete "$userData\quarantine\*.vw"
        keepQuarantine:
        ${EndIf}
        RMDir "$userData\quarantine"
        RMDir "$userData"
    ${EndIf}

    ; Copies from before the quarantine moved to each user's folder kept it
    ; beside the program; an empty one goes (a link would go itself, never
    ; what it leads to).
    RMDir "$INSTDIR\quarantine"

    DeleteRegValue HKLM "${SETTINGS_KEY}" "lastcheck"
    DeleteRegValue HKLM "${SETTINGS_KEY}" "autorun"
    DeleteRegKey /ifempty HKLM "${SETTINGS_KEY}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
SectionEnd
