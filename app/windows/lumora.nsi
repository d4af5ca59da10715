; Lumora's Windows installer, made by scripts/windows-installer.sh with
; makensis (Debian's nsis). Per machine into Program Files, with a
; Start-menu shortcut and an entry in the list of installed programs; the
; uninstaller unregisters the virtual camera filters and removes exactly what
; was installed, so snapshots a user saved beside the program stay. /S runs
; either of them silently. The background agent (lumora-ctl agent) may be
; started at login: a component, off unless chosen (or /AGENT on the command
; line), writes its entry into the installing user's Run key, the one the
; tray's "Start when I log in" writes Lumora.exe's into. The entry starts
; lumora-agent.exe, which runs the agent without the console window that
; lumora-ctl.exe, a console program, would open at every login, and keeps
; its log in %LOCALAPPDATA%\Lumora\agent.log; the uninstaller
; takes both entries out, as they would name a program that is gone. Both
; installer and uninstaller are 64-bit programs, like the program they
; install: as such they see Program Files, System32 and the registry as the
; program does, with no redirection to undo, and they start where only the
; 64-bit side of Windows (or of wine) runs.
;
; Defines: STAGE (a `cmake --install` folder), LISTS (the folder with
; install.nsh and uninstall.nsh made from it), OUTFILE, VERSION, ICON.
Target amd64-unicode
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "Sections.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Lumora"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define AGENT_ENTRY "Lumora agent"

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

; A running agent holds lumora-agent.exe and lumora-ctl.exe open, which
; Windows then neither replaces nor deletes: it is ended first (ending the
; launcher ends the agent, which runs in its job) and starts again at the
; next login. nsExec runs taskkill without a console window of its own.
!macro EndRunningAgent
    nsExec::Exec '"$SYSDIR\taskkill.exe" /F /IM lumora-agent.exe'
    Pop $0
!macroend

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function un.onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

Section "Lumora" SEC_LUMORA
    SectionIn RO
    !insertmacro EndRunningAgent
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

Section /o "Start the background agent when I log in" SEC_AGENT
    WriteRegStr HKCU "${RUN_KEY}" "${AGENT_ENTRY}" '"$INSTDIR\lumora-agent.exe"'
SectionEnd

; After the sections, whose numbers it names.
Function .onInit
    SetRegView 64
    SetShellVarContext all
    ; A silent install shows no components page: /AGENT chooses it there.
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/AGENT" $R1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SEC_AGENT}
    ${EndIf}
FunctionEnd

Section "Uninstall"
    ; The virtual camera filters, which the program's switch may have left
    ; registered: each through the registration tool of its own bitness.
    ${If} ${FileExists} "$INSTDIR\virtual\vcam_dshow.dll"
        ExecWait '"$WINDIR\System32\regsvr32.exe" /u /s "$INSTDIR\virtual\vcam_dshow.dll"'
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\virtual\x86\vcam_dshow.dll"
        ExecWait '"$WINDIR\SysWOW64\regsvr32.exe" /u /s "$INSTDIR\virtual\x86\vcam_dshow.dll"'
    ${EndIf}
    !insertmacro EndRunningAgent
    Delete "$SMPROGRAMS\Lumora.lnk"
    !include "${LISTS}/uninstall.nsh"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegValue HKCU "${RUN_KEY}" "${AGENT_ENTRY}"
    DeleteRegValue HKCU "${RUN_KEY}" "Lumora"
    ; The agent's log, which lumora-agent.exe kept for this user; the
    ; folder stays when something else is in it.
    SetShellVarContext current
    Delete "$LOCALAPPDATA\Lumora\agent.log"
    Delete "$LOCALAPPDATA\Lumora\agent.log.1"
    RMDir "$LOCALAPPDATA\Lumora"
    SetShellVarContext all
SectionEnd
