; Installs VIREOPLUGIN.DLL so that the media player can create it and lists it among its plug-ins.
; Built with: makensis -DVERSION=<a.b.c.d> -DDLL=<path of VIREOPLUGIN.DLL> -DOUTFILE=<setup.exe>
;             [-DSIGN=<command that signs the file it is given, in place>] VireoPlugin.nsi
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define CLSID "{CC1F686D-E680-4392-8126-95060ED5222D}"
!define CLASS_KEY "Software\Classes\CLSID\${CLSID}"
!define PLUGIN_KEY "Software\Microsoft\MediaPlayer\UIPlugins\${CLSID}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VireoPlugin"

Name "Vireo Plugin"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES32\Tessaline\Vireo Plugin"
; The installed file gets the time of installation, so the package does not depend on build times.
SetDateSave off
!ifdef SIGN
  !finalize '${SIGN} "%1"'
  !uninstfinalize '${SIGN} "%1"'
!endif
VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "Vireo Plugin"
VIAddVersionKey /LANG=1033 "CompanyName" "Tessaline"
VIAddVersionKey /LANG=1033 "FileDescription" "Vireo Plugin Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 Tessaline"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; The Windows Installer package writes the same keys: one product owns them at a time.
Function .onInit
  ReadRegStr $0 HKLM "${PLUGIN_KEY}" "UninstallPath"
  StrCmp $0 "" done
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "UninstallString"
  StrCmp $1 "" 0 done
  MessageBox MB_OK|MB_ICONSTOP "Vireo Plugin is already installed by its Windows Installer package. Remove it in Add/Remove Programs first." /SD IDOK
  Abort
done:
FunctionEnd

Section "Vireo Plugin"
  SetOutPath "$INSTDIR"
  File "${DLL}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; The class, so that the player can create it.
  WriteRegStr HKLM "${CLASS_KEY}\InprocServer32" "" "$INSTDIR\VIREOPLUGIN.DLL"
  WriteRegStr HKLM "${CLASS_KEY}\InprocServer32" "ThreadingModel" "Apartment"

  ; The player's entry: a background plug-in (0x1) with a property page (0x80000000).
  WriteRegStr HKLM "${PLUGIN_KEY}" "FriendlyName" "Vireo Plugin"
  WriteRegStr HKLM "${PLUGIN_KEY}" "Description" "Description of Vireo Plugin."
  WriteRegDWORD HKLM "${PLUGIN_KEY}" "Capabilities" 0x80000001
  WriteRegStr HKLM "${PLUGIN_KEY}" "UninstallPath" '"$INSTDIR\Uninstall.exe"'

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Vireo Plugin"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Tessaline"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ; Last, once the entries are in place: running players rescan on the module's broadcast.
  ClearErrors
  RegDLL "$INSTDIR\VIREOPLUGIN.DLL"
  IfErrors 0 +2
    DetailPrint "DllRegisterServer failed; running players see the plug-in after a restart."
SectionEnd

Section "Uninstall"
  ; The entries go first, so that players rescanning on the broadcast no longer find the plug-in.
  DeleteRegKey HKLM "${PLUGIN_KEY}"
  DeleteRegKey /ifempty HKLM "Software\Microsoft\MediaPlayer\UIPlugins"
  DeleteRegKey /ifempty HKLM "Software\Microsoft\MediaPlayer"
  DeleteRegKey HKLM "${CLASS_KEY}"
  UnRegDLL "$INSTDIR\VIREOPLUGIN.DLL"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ; The user's own playback quality setting (HKCU) stays.
  Delete "$INSTDIR\VIREOPLUGIN.DLL"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$PROGRAMFILES32\Tessaline"
SectionEnd
