; The Windows installer: the programs, the client library mossvane-client.dll,
; the localization file and the install settings file go into the program
; folder, and what programs need to build against the library (the header
; and the import library) into its sdk folder; the program's install verb then
; copies the default lists from the settings file into the machine-wide
; driver plug-in key. Made by the `installer` build target:
;   makensis -DVERSION=x.y.z -DVERSION_MAJOR=x -DVERSION_MINOR=y
;            -DSTAGE=<installed bin folder> -DSDK=<installed prefix>
;            -DOUTFILE=<setup.exe> mossvane.nsi
; Silent use: setup.exe /S [/D=<folder>], uninstall.exe /S.

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

Section "Mossvane"
    SetOutPath "$INSTDIR"
    File "${STAGE}/mossvane.exe"
    File "${STAGE}/mossvane-send.exe"
    File "${STAGE}/localization.xml"
    File "${STAGE}/settings.xml"
    File "${STAGE}/mossvane-client.dll"
    SetOutPath "$INSTDIR\sdk\include\mossvane"
    File "${SDK}/include/mossvane/client.h"
    SetOutPath "$INSTDIR\sdk\lib"
    File "${SDK}/lib/libmossvane-client.dll.a"
    SetOutPath "$INSTDIR"
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
    Delete /REBOOTOK "$INSTDIR\mossvane-client.dll"
    Delete "$INSTDIR\sdk\include\mossvane\client.h"
    RMDir "$INSTDIR\sdk\include\mossvane"
    RMDir "$INSTDIR\sdk\include"
    Delete "$INSTDIR\sdk\lib\libmossvane-client.dll.a"
    RMDir "$INSTDIR\sdk\lib"
    RMDir "$INSTDIR\sdk"
    Delete "$INSTDIR\uninstall.exe"
    RMDir /REBOOTOK "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
