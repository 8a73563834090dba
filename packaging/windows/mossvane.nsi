; The Windows installer: the programs, the client library mossvane-client.dll,
; the localization file and the install settings file go into the program
; folder, and what programs need to build against the library (the header
; and the import library) into its sdk folder; the program's install verb then
; copies the default lists from the settings file into the machine-wide
; driver plug-in key, where the key does not hold them yet. Made by the
; `installer` build target:
;   makensis -DVERSION=x.y.z -DVERSION_MAJOR=x -DVERSION_MINOR=y
;            -DSTAGE=<installed bin folder> -DSDK=<installed prefix>
;            -DOUTFILE=<setup.exe> -DLICENSE_FILE=<LICENSE> mossvane.nsi
;
; Silent use:
;   setup.exe /S [/D=<folder>]   an upgrade goes into the folder of the
;                                installed copy unless /D names another;
;                                a folder outside program files must be new,
;                                empty or an earlier install, and gets the
;                                permissions of program files
;   the uninstall entry's QuietUninstallString
;                                returns when the uninstall is done
;   uninstall.exe ... /REMOVEDATA
;                                also removes the user's job folder
; Exit codes: 0 done; 3010 done, but a program still running (for another
; signed-in user) is replaced or removed only when Windows restarts;
; 1 cancelled; 2 failed (a file could not be written or replaced, or the
; folder was refused).

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
; Sharp text on high-DPI displays instead of a stretched bitmap.
ManifestDPIAware true
ManifestSupportedOS all

!include LogicLib.nsh
!include FileFunc.nsh
!include StrFunc.nsh
${StrStr}

!define PRODUCT "Mossvane"
!define PUBLISHER "Mossvane project"
!define PLUGIN_KEY "Software\Varnock\Varnock Printer Driver Plug In"
!define VENDOR_KEY "Software\Varnock"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Mossvane"
; The user's default job folder below the roaming application data folder.
!define JOB_FOLDER_PARENT "VARNOCK"
!define JOB_FOLDER "VARNOCK\PlugInPrnData"
; How long a server asked to end may take before its file counts as held by
; someone else: 100 tries, 100 ms apart.
!define FREE_FILE_TRIES 100
!define FREE_FILE_PAUSE 100
; Windows' own code for "done, but a restart is needed to finish".
!define EXIT_REBOOT_REQUIRED 3010
!define EXIT_FAILED 2

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
; An upgrade goes where the installed copy is (a 64-bit installer reads the
; 64-bit view of the registry).
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
; A file that can't be written fails the install rather than being skipped.
AllowSkipFiles off

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

; The licence the programs come under. It governs copying and changing
; them, not using them, so there is nothing to accept: the page only shows
; it. A silent install (/S) shows no page.
LicenseData "${LICENSE_FILE}"
LicenseText "Mossvane is free software under the Apache License 2.0:" "$(^NextBtn)"
Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; --- Shared by the installer and the uninstaller -----------------------------

; Ends the install or uninstall as failed, with a nonzero exit code.
!macro Fail MESSAGE
    DetailPrint "${MESSAGE}"
    MessageBox MB_OK|MB_ICONSTOP "${MESSAGE}" /SD IDOK
    SetErrorLevel ${EXIT_FAILED}
    Abort
!macroend

; Both halves define the same functions, one with the un. prefix.
!macro SharedFunctions UN
; Pushes 1 when the file at the top of the stack is absent or may be written
; (a running program's file may not), else 0.
Function ${UN}IsFileFree
    Exch $0
    Push $1
    ${If} ${FileExists} "$0"
        ClearErrors
        FileOpen $1 "$0" a
        ${If} ${Errors}
            StrCpy $0 0
        ${Else}
            FileClose $1
            StrCpy $0 1
        ${EndIf}
    ${Else}
        StrCpy $0 1
    ${EndIf}
    Pop $1
    Exch $0
FunctionEnd

; Pushes 1 when neither program in $INSTDIR is running, else 0.
Function ${UN}ProgramsAreFree
    Push "$INSTDIR\mossvane.exe"
    Call ${UN}IsFileFree
    Push "$INSTDIR\mossvane-send.exe"
    Call ${UN}IsFileFree
    Exch $0
    Exch
    Exch $1
    IntOp $0 $0 & $1
    Pop $1
    Exch $0
FunctionEnd

; Asks this user's server to end (the program's own Exit verb) and waits
; until the programs may be replaced. A server of another signed-in user
; can't be asked: the user is told, and may retry once it has ended; what is
; still running after that is replaced or removed when Windows restarts.
Function ${UN}StopRunningServers
    Push $0
    Push $1
    ${If} ${FileExists} "$INSTDIR\mossvane.exe"
        DetailPrint "Asking a running Mossvane server to end"
        ExecWait '"$INSTDIR\mossvane.exe" /Exit'
    ${EndIf}
    ${Do}
        StrCpy $1 0
        ${Do}
            Call ${UN}ProgramsAreFree
            Pop $0
            ${IfThen} $0 == 1 ${|} ${ExitDo} ${|}
            IntOp $1 $1 + 1
            ${IfThen} $1 >= ${FREE_FILE_TRIES} ${|} ${ExitDo} ${|}
            Sleep ${FREE_FILE_PAUSE}
        ${Loop}
        ${IfThen} $0 == 1 ${|} ${ExitDo} ${|}
        DetailPrint "Mossvane is still running, probably for another signed-in user"
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
            "Mossvane is still running, probably for another user who is signed in.$\r$\n$\r$\n\
Ask that user to sign out (or end mossvane.exe), then choose Retry.$\r$\n\
Choose Cancel to finish now: the running program is then replaced or removed \
when Windows restarts." /SD IDCANCEL IDRETRY retry
        ${ExitDo}
        retry:
    ${Loop}
    Pop $1
    Pop $0
FunctionEnd
!macroend
!insertmacro SharedFunctions ""
!insertmacro SharedFunctions "un."

; --- Install -------------------------------------------------------------

Function .onInit
    ; A 64-bit program writes the 64-bit view of the registry.
    SetRegView 64
FunctionEnd

; Puts the staged file NAME into $INSTDIR: written beside it first, then
; swapped in. A file still in use is swapped when Windows restarts (and the
; exit code says so); one that can't be written at all fails the install.
!macro InstallFile NAME
    ClearErrors
    File "/oname=$INSTDIR\${NAME}.new" "${STAGE}/${NAME}"
    ${If} ${Errors}
    ${OrIfNot} ${FileExists} "$INSTDIR\${NAME}.new"
        !insertmacro Fail "Could not write $INSTDIR\${NAME}."
    ${EndIf}
    ClearErrors
    Delete "$INSTDIR\${NAME}"
    Rename "$INSTDIR\${NAME}.new" "$INSTDIR\${NAME}"
    ${If} ${Errors}
        ClearErrors
        Rename /REBOOTOK "$INSTDIR\${NAME}.new" "$INSTDIR\${NAME}"
        ${If} ${Errors}
            !insertmacro Fail "Could not replace $INSTDIR\${NAME}."
        ${EndIf}
        DetailPrint "$INSTDIR\${NAME} is in use: it is replaced when Windows restarts."
    ${EndIf}
!macroend

; Pushes 1 when the machine-wide plug-in key holds a value of the name at the
; top of the stack (of any type or length), else 0.
Function PlugInValueExists
    Exch $0
    Push $1
    Push $2
    StrCpy $2 0
    ${Do}
        ClearErrors
        EnumRegValue $1 HKLM "${PLUGIN_KEY}" $2
        ${If} ${Errors}
        ${OrIf} $1 == ""
            StrCpy $0 0
            ${ExitDo}
        ${EndIf}
        ; StrCmp ignores case, as registry value names do.
        ${If} $1 == $0
            StrCpy $0 1
            ${ExitDo}
        ${EndIf}
        IntOp $2 $2 + 1
    ${Loop}
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

; Writes to $0 a copy of settings.xml in which each list the plug-in key
; already holds is empty, so the install verb (which writes no empty list)
; leaves what an administrator set there. Lists are matched by their lines,
; as settings.xml gives each one a line of its own.
!macro EmptyListIfKept NAME
    Push "${NAME}"
    Call PlugInValueExists
    Pop $4
    ${If} $4 == 1
        ${StrStr} $4 $3 "<${NAME}>"
        ${IfThen} $4 != "" ${|} StrCpy $3 "    <${NAME}/>$\n" ${|}
    ${EndIf}
!macroend

Function WriteMissingDefaults
    Push $1
    Push $2
    Push $3
    Push $4
    ClearErrors
    FileOpen $1 "$INSTDIR\settings.xml" r
    FileOpen $2 "$0" w
    ${If} ${Errors}
        !insertmacro Fail "Could not prepare the default lists."
    ${EndIf}
    ${Do}
        ClearErrors
        FileRead $1 $3
        ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
        !insertmacro EmptyListIfKept "DevmodeList"
        !insertmacro EmptyListIfKept "DevmodeListForEndDoc"
        !insertmacro EmptyListIfKept "PhoneNumberList"
        FileWrite $2 $3
    ${Loop}
    FileClose $2
    FileClose $1
    Pop $4
    Pop $3
    Pop $2
    Pop $1
FunctionEnd

; $0 = 1 when $INSTDIR is inside a program-files folder, whose permissions
; already let only administrators and the system change what is in it.
Function IsInsideProgramFiles
    StrCpy $0 1
    StrLen $1 "$PROGRAMFILES64\"
    StrCpy $2 "$INSTDIR" $1
    StrCmp $2 "$PROGRAMFILES64\" inside
    StrLen $1 "$PROGRAMFILES\"
    StrCpy $2 "$INSTDIR" $1
    StrCmp $2 "$PROGRAMFILES\" inside
    StrCpy $0 0
inside:
FunctionEnd

; $0 = 1 when $INSTDIR holds nothing.
Function IsEmptyFolder
    StrCpy $0 1
    FindFirst $1 $2 "$INSTDIR\*"
next:
    StrCmp $2 "" close
    StrCmp $2 "." skip
    StrCmp $2 ".." skip
    StrCpy $0 0
    Goto close
skip:
    FindNext $1 $2
    Goto next
close:
    FindClose $1
FunctionEnd

; Administrators own the folder and may change it, so may the system; users
; may only read and run. Nothing is inherited from the folder above.
Function RestrictInstallFolder
    nsExec::ExecToLog 'icacls "$INSTDIR" /setowner *S-1-5-32-544 /C /Q'
    Pop $0
    ${If} $0 != 0
        !insertmacro Fail "The owner of $INSTDIR could not be set (icacls: $0)."
    ${EndIf}
    nsExec::ExecToLog 'icacls "$INSTDIR" /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX /Q'
    Pop $0
    ${If} $0 != 0
        !insertmacro Fail "The permissions of $INSTDIR could not be set (icacls: $0)."
    ${EndIf}
FunctionEnd

; The elevated uninstaller runs the program from the install folder, and the
; program loads libraries beside itself: whoever may change what is in the
; folder could run code as an administrator. Program files sees to that; any
; other folder (/D=) is made here, by the installer, and gets the same rules
; before anything is written into it. A folder that exists already is taken
; only when it is empty (it is made anew) or holds an earlier install (its
; contents then get the folder's rules); anything else in it was put there
; by someone else.
Function LockDownInstallFolder
    Call IsInsideProgramFiles
    ${If} $0 == 1
        Return
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\uninstall.exe"
        DetailPrint "Letting only administrators and the system change $INSTDIR"
        Call RestrictInstallFolder
        nsExec::ExecToLog 'icacls "$INSTDIR\*" /setowner *S-1-5-32-544 /T /C /Q'
        Pop $0
        nsExec::ExecToLog 'icacls "$INSTDIR\*" /reset /T /C /Q'
        Pop $0
        ${If} $0 != 0
            !insertmacro Fail "The permissions of what is in $INSTDIR could not be reset (icacls: $0)."
        ${EndIf}
        Return
    ${EndIf}
    RMDir "$INSTDIR"
    ${If} ${FileExists} "$INSTDIR\*.*"
        !insertmacro Fail "$INSTDIR already holds other files: choose a new or empty folder."
    ${EndIf}
    CreateDirectory "$INSTDIR"
    DetailPrint "Letting only administrators and the system change $INSTDIR"
    Call RestrictInstallFolder
    ; Until the rules were set, the folder above may have let others in.
    Call IsEmptyFolder
    ${If} $0 != 1
        !insertmacro Fail "Something was put into $INSTDIR while it was being made."
    ${EndIf}
FunctionEnd

Section "Mossvane"
    ; Before anything is written there.
    Call LockDownInstallFolder
    SetOutPath "$INSTDIR"
    Call StopRunningServers
    !insertmacro InstallFile "mossvane.exe"
    !insertmacro InstallFile "mossvane-send.exe"
    !insertmacro InstallFile "mossvane-client.dll"
    !insertmacro InstallFile "localization.xml"
    !insertmacro InstallFile "settings.xml"
    SetOutPath "$INSTDIR\sdk\include\mossvane"
    File "${SDK}/include/mossvane/client.h"
    SetOutPath "$INSTDIR\sdk\lib"
    File "${SDK}/lib/libmossvane-client.dll.a"
    SetOutPath "$INSTDIR"
    ClearErrors
    WriteUninstaller "$INSTDIR\uninstall.exe"
    ${If} ${Errors}
        !insertmacro Fail "Could not write $INSTDIR\uninstall.exe."
    ${EndIf}

    ; The install verb takes the whole rest of its command line as the file
    ; name, unchanged, quotes included: the path goes without quotes, and a
    ; folder name with spaces is fine.
    DetailPrint "Copying the default lists into the machine settings"
    InitPluginsDir
    StrCpy $0 "$PLUGINSDIR\settings.xml"
    Call WriteMissingDefaults
    ExecWait '"$INSTDIR\mossvane.exe" /install $0'

    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\mossvane.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    ; _?= keeps the uninstaller from copying itself away and returning at
    ; once, so deployment tools wait until it is done.
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" \
        '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMajor" ${VERSION_MAJOR}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMinor" ${VERSION_MINOR}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function .onInstSuccess
    ${If} ${RebootFlag}
        SetErrorLevel ${EXIT_REBOOT_REQUIRED}
    ${EndIf}
FunctionEnd

; --- Uninstall -----------------------------------------------------------

Var RemoveData

Function un.onInit
    SetRegView 64
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/CLEANUP" $1
    ${IfNot} ${Errors}
        Call un.RemoveUninstallerOfFolder
        Quit
    ${EndIf}
    StrCpy $RemoveData 0
    ClearErrors
    ${GetOptions} $0 "/REMOVEDATA" $1
    ${IfNot} ${Errors}
        StrCpy $RemoveData 1
    ${EndIf}
FunctionEnd

; Run from a copy in the temporary folder (/CLEANUP _?=<program folder>):
; waits until the uninstaller that started it has ended, then removes its
; file and the program folder.
Function un.RemoveUninstallerOfFolder
    ${ForEach} $1 1 ${FREE_FILE_TRIES} + 1
        ClearErrors
        Delete "$INSTDIR\uninstall.exe"
        ${IfNotThen} ${Errors} ${|} ${ExitFor} ${|}
        Sleep ${FREE_FILE_PAUSE}
    ${Next}
    RMDir "$INSTDIR"
    Delete /REBOOTOK "$EXEPATH"
FunctionEnd

; The job folder: kept unless /REMOVEDATA asks, or the user says so.
Function un.RemoveJobFolder
    SetShellVarContext current
    ${IfNot} ${FileExists} "$APPDATA\${JOB_FOLDER}\*.*"
        Return
    ${EndIf}
    ${If} $RemoveData != 1
        MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
            "Also remove your print jobs in $APPDATA\${JOB_FOLDER}?" /SD IDNO IDYES remove
        Return
    ${EndIf}
    remove:
    DetailPrint "Removing the print jobs in $APPDATA\${JOB_FOLDER}"
    RMDir /r "$APPDATA\${JOB_FOLDER}"
    RMDir "$APPDATA\${JOB_FOLDER_PARENT}"
FunctionEnd

Section "Uninstall"
    Call un.StopRunningServers

    ; The user's own settings key. The verb leaves the vendor key above it
    ; (and creates it when it is missing); empty, it goes too.
    ExecWait '"$INSTDIR\mossvane.exe" /uninstall'
    DeleteRegKey /ifempty HKCU "${VENDOR_KEY}"
    Call un.RemoveJobFolder

    ; The lists the installer wrote; the key itself stays while the printer
    ; driver keeps values of its own there.
    DeleteRegValue HKLM "${PLUGIN_KEY}" "DevmodeList"
    DeleteRegValue HKLM "${PLUGIN_KEY}" "DevmodeListForEndDoc"
    DeleteRegValue HKLM "${PLUGIN_KEY}" "PhoneNumberList"
    DeleteRegKey /ifempty HKLM "${PLUGIN_KEY}"
    DeleteRegKey /ifempty HKLM "${VENDOR_KEY}"

    Delete /REBOOTOK "$INSTDIR\mossvane.exe"
    Delete /REBOOTOK "$INSTDIR\mossvane-send.exe"
    Delete "$INSTDIR\localization.xml"
    Delete "$INSTDIR\settings.xml"
    Delete /REBOOTOK "$INSTDIR\mossvane-client.dll"
    Delete "$INSTDIR\sdk\include\mossvane\client.h"
    RMDir "$INSTDIR\sdk\include\mossvane"
    RMDir "$INSTDIR\sdk\include"
    Delete "$INSTDIR\sdk\lib\libmossvane-client.dll.a"
    RMDir "$INSTDIR\sdk\lib"
    RMDir "$INSTDIR\sdk"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"

    ${If} $EXEDIR == $INSTDIR
        ; Run in place (_?=), this file is in use until the process ends: a
        ; copy in the temporary folder removes it and the folder then.
        InitPluginsDir
        GetTempFileName $0
        Rename $0 "$0.exe"
        CopyFiles /SILENT "$EXEPATH" "$0.exe"
        Exec '"$0.exe" /CLEANUP _?=$INSTDIR'
    ${Else}
        Delete "$INSTDIR\uninstall.exe"
        RMDir /REBOOTOK "$INSTDIR"
    ${EndIf}
SectionEnd

Function un.onUninstSuccess
    ${If} ${RebootFlag}
        SetErrorLevel ${EXIT_REBOOT_REQUIRED}
    ${EndIf}
FunctionEnd
