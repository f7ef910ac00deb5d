; The Windows setup program. tools/make_dist.sh builds it from the folder it
; lays out for the zip:
;   makensis -DVERSION=1.2.3.4 -DSOURCE=<folder> -DUNINSTALL_LIST=<file.nsh>
;            -DICON=<file.ico> -DOUTFILE=<setup.exe> setup.nsi
; It installs for the current user alone, without administrator rights, into
; %LOCALAPPDATA%\Programs\TVXHandvane, where the settings and logs beside the
; program stay writable. An update keeps the operator's TVXHandvane.INI and
; Codeplate.INI. Neither the setup program nor the uninstaller touches a
; file while TVXHandvane runs: a mix of two versions, or a removal that the
; running program outlives, would be worse than no change. With a window
; they ask for it to be closed; silent (/S), they end with exit code 2.

Unicode true
; The 64-bit stub: a 64-bit Windows runs it as it runs the programs.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
SetDateSave on

!define PRODUCT "TVXHandvane"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; The mutex a running TVXHandvane holds for as long as it runs: its shared
; memory area's name (pointer/shared_memory_layout.h) and " creator". A
; second copy of the program finds the first one by it too.
!define RUNNING_MUTEX "TVXHandvane pointer reports and phone commands, shared by the TVXHDV server with a consuming program creator"
!define SYNCHRONIZE 0x00100000

!include "FileFunc.nsh"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; An update goes where the last install went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Returns once no TVXHandvane runs; quits with exit code 2 when the operator
; cancels, or at once when silent.
!macro WAIT_TILL_NOT_RUNNING PREFIX
Function ${PREFIX}WaitTillNotRunning
  retry:
    System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w "${RUNNING_MUTEX}") p .r0'
    IntPtrCmp $0 0 free
    System::Call 'kernel32::CloseHandle(p r0)'
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "TVXHandvane is running. Close it (Exit in its window, or exit in its console), then click Retry." \
      /SD IDCANCEL IDRETRY retry
    SetErrorLevel 2
    Quit
  free:
FunctionEnd
!macroend
!insertmacro WAIT_TILL_NOT_RUNNING ""
!insertmacro WAIT_TILL_NOT_RUNNING "un."

Function .onInit
  Call WaitTillNotRunning
FunctionEnd

Function un.onInit
  Call un.WaitTillNotRunning
FunctionEnd

Section "Install"
  SetShellVarContext current
  ; It may have been started while the pages were shown.
  Call WaitTillNotRunning
  SetOutPath "$INSTDIR"
  File /r /x TVXHandvane.INI /x Codeplate.INI "${SOURCE}/*.*"
  CreateDirectory "$INSTDIR\www"
  ; The operator's settings from an earlier install stay as they are.
  SetOverwrite off
  File "${SOURCE}/TVXHandvane.INI"
  File "${SOURCE}/Codeplate.INI"
  SetOverwrite on

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\TVXHandvane.exe" "" \
    "$INSTDIR\TVXHandvane.exe" 0
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\README.lnk" "$INSTDIR\README.txt"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Codeplate.lnk" "$INSTDIR\Codeplate.exe" "" \
    "$INSTDIR\Codeplate.exe" 0
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} folder.lnk" "$INSTDIR"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The ${PRODUCT} developers"
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\TVXHandvane.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  ; Silent, the uninstaller runs in place (_?=) rather than from a copy of
  ; itself that works on after it returned: its exit code is the real one.
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" \
    '"$INSTDIR\Uninstall.exe" /S _?=$INSTDIR'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The uninstaller and then the folder, if empty. Run in place, the uninstaller
; cannot delete its own file while it runs: a hidden command line does, once
; it has ended (it ends right after this; ping is the command line's pause).
!define DELETE_SELF 'del /f /q "$INSTDIR\Uninstall.exe" 2>nul'
!define PAUSE 'ping -n 3 127.0.0.1 >nul'
Function un.RemoveSelf
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  IfFileExists "$INSTDIR\Uninstall.exe" 0 done
    SetOutPath "$TEMP"
    ExecShell "" "$SYSDIR\cmd.exe" \
      '/d /q /c ${PAUSE} & ${DELETE_SELF} & ${PAUSE} & ${DELETE_SELF} & rmdir "$INSTDIR" 2>nul' SW_HIDE
  done:
FunctionEnd

Section "Uninstall"
  SetShellVarContext current
  ; What the setup program put there (the list make_dist.sh wrote), and the
  ; files the programs write beside themselves. Whatever else the operator
  ; left in the folder (codes printed, pages in www) stays, and so does the
  ; folder then.
  !include "${UNINSTALL_LIST}"
  Delete "$INSTDIR\TVXHandvane.LOG"
  Delete "$INSTDIR\TVXHandvane.LOG.1"
  Delete "$INSTDIR\TVXHandvane.KEY"
  Delete "$INSTDIR\TVXHDVMemory.INI"
  Delete "$INSTDIR\Codeplate.LOG"
  RMDir "$INSTDIR\www"

  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\README.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Codeplate.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT} folder.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  Call un.RemoveSelf
SectionEnd
