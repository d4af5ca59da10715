; Lumora's Windows installer, made by scripts/windows-installer.sh with
; makensis (Debian's nsis). Per machine into Program Files, with a
; Start-menu shortcut and an entry in the list of installed programs; the
; uninstaller unregisters the virtual camera filters and removes exactly what
; was installed, so snapshots a user saved beside the program stay. /S runs
; either of them silently. Both are 64-bit programs, like the program they
; install: as such they see Program Files, System32 and the registry as the
; program does, with no redirection to undo, and they start where only the
; 64-bit side of Windows (or of wine) runs.
;
; Defines: STAGE (a `cmake --install` folder), LISTS (the folder with
; install.nsh and uninstall.nsh made from it), OUTFILE, VERSION, ICON.
Target amd64-unicode
!include "LogicLib.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Lumora"

Name "Lumora"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Lumora"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
Icon "${ICON}"
UninstallIcon "${ICON}"
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "Lumora"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Lumora installer"
VIAddVersionKey "LegalCopyright" "Lumora developers"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

Function un.onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

Section "Lumora"
    !include "${LISTS}/install.nsh"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\Lumora.lnk" "$INSTDIR\Lumora.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Lumora"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Lumora developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Lumora.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    ; The virtual camera filters, which the program's switch may have left
    ; registered: each through the registration tool of its own bitness.
    ${If} ${FileExists} "$INSTDIR\virtual\vcam_dshow.dll"
        ExecWait '"$WINDIR\System32\regsvr32.exe" /u /s "$INSTDIR\virtual\vcam_dshow.dll"'
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\virtual\x86\vcam_dshow.dll"
        ExecWait '"$WINDIR\SysWOW64\regsvr32.exe" /u /s "$INSTDIR\virtual\x86\vcam_dshow.dll"'
    ${EndIf}
    Delete "$SMPROGRAMS\Lumora.lnk"
    !include "${LISTS}/uninstall.nsh"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
