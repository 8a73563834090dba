; The Windows installer: the programs, the localization file and the install
; settings file go into the program folder; the program's install verb then
; copies the default lists from the settings file into the machine-wide
; driver plug-in key. Made by the `installer` build target:
;   makensis -DVERSION=x.y.z -DVERSION_MAJOR=x -DVERSION_MINOR=y
;            -DSTAGE=<installed bin folder> -DOUTFILE=<setup.exe> mossvane.nsi
; Silent use: setup.exe /S [/D=<folder>], uninstall.exe /S. A folder outside
; program files must be new, empty or an earlier install; it gets the
; permissions of program files.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define PRODUCT "Mossvane"
!define PLUGIN_KEY "Software\Varnock\Varnock Printer Driver Plug In"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Mossvane"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
ShowInstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "Mossvane project"
VIAddVersionKey "LegalCopyright" "Mossvane project"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
    ; A 64-bit program writes the 64-bit view of the registry.
    SetRegView 64
FunctionEnd

Function un.onInit
    SetRegView 64
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
    StrCmp $0 0 +2
    Abort "The owner of $INSTDIR could not be set (icacls: $0)."
    nsExec::ExecToLog 'icacls "$INSTDIR" /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX /Q'
    Pop $0
    StrCmp $0 0 +2
    Abort "The permissions of $INSTDIR could not be set (icacls: $0)."
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
    StrCmp $0 1 done
    IfFileExists "$INSTDIR\uninstall.exe" earlier
    RMDir "$INSTDIR"
    IfFileExists "$INSTDIR\*.*" 0 +2
    Abort "$INSTDIR already holds other files: choose a new or empty folder."
    CreateDirectory "$INSTDIR"
    DetailPrint "Letting only administrators and the system change $INSTDIR"
    Call RestrictInstallFolder
    ; Until the rules were set, the folder above may have let others in.
    Call IsEmptyFolder
    StrCmp $0 1 done
    Abort "Something was put into $INSTDIR while it was being made."
earlier:
    DetailPrint "Letting only administrators and the system change $INSTDIR"
    Call RestrictInstallFolder
    nsExec::ExecToLog 'icacls "$INSTDIR\*" /setowner *S-1-5-32-544 /T /C /Q'
    Pop $0
    nsExec::ExecToLog 'icacls "$INSTDIR\*" /reset /T /C /Q'
    Pop $0
    StrCmp $0 0 done
    Abort "The permissions of what is in $INSTDIR could not be reset (icacls: $0)."
done:
FunctionEnd

Section "Mossvane"
    ; Before anything is written there.
    Call LockDownInstallFolder
    SetOutPath "$INSTDIR"
    File "${STAGE}/mossvane.exe"
    File "${STAGE}/mossvane-send.exe"
    File "${STAGE}/localization.xml"
    File "${STAGE}/settings.xml"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; The install verb takes the whole rest of its command line as the file
    ; name, unchanged, quotes included: the path goes without quotes, and a
    ; folder name with spaces is fine.
    DetailPrint "Copying the default lists into the machine settings"
    ExecWait '"$INSTDIR\mossvane.exe" /install $INSTDIR\settings.xml'

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Mossvane project"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMajor" ${VERSION_MAJOR}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMinor" ${VERSION_MINOR}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    ; A server of this user still running keeps its file open: ask it to end.
    ExecWait '"$INSTDIR\mossvane.exe" /Exit'
    ; The user's own settings key.
    ExecWait '"$INSTDIR\mossvane.exe" /uninstall'
    ; The lists the installer wrote; the key itself stays while the printer
    ; driver keeps values of its own there.
    DeleteRegValue HKLM "${PLUGIN_KEY}" "DevmodeList"
    DeleteRegValue HKLM "${PLUGIN_KEY}" "DevmodeListForEndDoc"
    DeleteRegValue HKLM "${PLUGIN_KEY}" "PhoneNumberList"
    DeleteRegKey /ifempty HKLM "${PLUGIN_KEY}"
    DeleteRegKey /ifempty HKLM "Software\Varnock"

    Delete /REBOOTOK "$INSTDIR\mossvane.exe"
    Delete /REBOOTOK "$INSTDIR\mossvane-send.exe"
    Delete "$INSTDIR\localization.xml"
    Delete "$INSTDIR\settings.xml"
    Delete "$INSTDIR\uninstall.exe"
    RMDir /REBOOTOK "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
