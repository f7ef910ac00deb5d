; The Windows setup program. tools/make_dist.sh builds it from the folder it
; lays out for the zip:
;   makensis -DVERSION=1.2.3.4 -DSOURCE=<folder> -DUNINSTALL_LIST=<file.nsh>
;            -DICON=<file.ico> -DOUTFILE=<setup.exe> setup.nsi
; It installs for the current user alone, without administrator rights, into
; %LOCALAPPDATA%\Programs\TVXHandvane, where the settings and logs beside the
; program stay writable. An update keeps the operator's TVXHandvane.INI and
; Codeplate.INI.

Unicode true
; The 64-bit stub: a 64-bit Windows runs it as it runs the programs.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
SetDateSave on

!define PRODUCT "TVXHandvane"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Install"
  SetShellVarContext current
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

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\TVXHandvane.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

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
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR\www"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\README.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
