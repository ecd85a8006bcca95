; Installs VIREOPLUGIN.DLL so that the media player can create it and lists it among its plug-ins.
; Built with: makensis -DVERSION=<a.b.c.d> -DDLL=<path of VIREOPLUGIN.DLL> -DOUTFILE=<setup.exe>
;             [-DSIGN=<command that signs the file it is given, in place>] VireoPlugin.nsi
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
!include LogicLib.nsh
!include StrFunc.nsh
!include WordFunc.nsh
${StrStr}
; An in-use DLL is replaced at the next restart; an equal version is replaced too, an older never.
!define LIBRARY_INSTALL_EQUAL_VERSION
!include Library.nsh

!define CLSID "{CC1F686D-E680-4392-8126-95060ED5222D}"
!define CLASS_KEY "Software\Classes\CLSID\${CLSID}"
!define PLUGIN_KEY "Software\Microsoft\MediaPlayer\UIPlugins\${CLSID}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VireoPlugin"

Name "Vireo Plugin"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES32\Tessaline\Vireo Plugin"
; A later run installs where the installed copy is.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
; The installed file gets the time of installation, so the package does not depend on build times.
SetDateSave off
; A signing command that fails stops the build.
!ifdef SIGN
  !finalize '"${SIGN}" "%1"' = 0
  !uninstfinalize '"${SIGN}" "%1"' = 0
!endif
VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "Vireo Plugin"
VIAddVersionKey /LANG=1033 "CompanyName" "Tessaline"
VIAddVersionKey /LANG=1033 "FileDescription" "Vireo Plugin Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 Tessaline"

; Where an installed copy is, if any: an upgrade goes there, so its folder is not asked for.
Var Installed

Page directory SkipWhenInstalled
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
  ; A newer version stays: 1638 is the Windows Installer's "another version is already installed".
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  ${If} $0 != ""
    ${VersionCompare} $0 "${VERSION}" $1
    ${If} $1 == 1
      MessageBox MB_OK|MB_ICONSTOP "A newer version of Vireo Plugin ($0) is already installed." /SD IDOK
      SetErrorLevel 1638
      Abort
    ${EndIf}
  ${EndIf}
  ; An upgrade stays in the installed copy's folder, whatever folder it is given (/D): a second
  ; copy elsewhere would share the first one's class, entries and uninstaller.
  ReadRegStr $Installed HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $Installed != ""
  ${AndIf} $INSTDIR != $Installed
    MessageBox MB_OK|MB_ICONINFORMATION "Vireo Plugin is installed in $Installed. It is upgraded there, not in $INSTDIR." /SD IDOK
    StrCpy $INSTDIR $Installed
  ${EndIf}
FunctionEnd

Function SkipWhenInstalled
  ${If} $Installed != ""
    Abort
  ${EndIf}
FunctionEnd

; A file still in use is replaced or removed at the next restart: silently the exit code says so
; (3010, as the Windows Installer does), otherwise the user is offered the restart.
!macro OfferRestart
  ${If} ${RebootFlag}
    SetErrorLevel 3010
    MessageBox MB_YESNO|MB_ICONQUESTION "Vireo Plugin is in use by a running program. Restart Windows now to finish?" /SD IDNO IDNO +2
    Reboot
  ${EndIf}
!macroend

; Schedules a file or an empty folder for removal at the next restart, without asking for one.
!macro RemoveAtRestart path
  System::Call 'kernel32::MoveFileExW(w "${path}", p 0, i 4)'
!macroend

; Removes an empty folder now, or once what is left in it has gone at the next restart.
!macro RemoveFolder folder
  ${If} ${RebootFlag}
    RMDir /REBOOTOK "${folder}"
  ${Else}
    RMDir "${folder}"
    ${If} ${FileExists} "${folder}\*.*"
      !insertmacro RemoveAtRestart "${folder}"
    ${EndIf}
  ${EndIf}
!macroend

; A folder that the setup makes outside Program Files gets the protection of Program Files:
; administrators and SYSTEM full control, users read and execute, nothing inherited from a parent
; that may let every user change the DLL that every user's player loads.
!macro ProtectNewFolder folder
  ${IfNot} ${FileExists} "${folder}\*.*"
    StrLen $0 "$PROGRAMFILES32\"
    StrCpy $1 "${folder}" $0
    StrLen $0 "$PROGRAMFILES64\"
    StrCpy $2 "${folder}" $0
    ${If} $1 != "$PROGRAMFILES32\"
    ${AndIf} $2 != "$PROGRAMFILES64\"
      CreateDirectory "${folder}"
      System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", i 1, *p .r3, p 0) i .r0'
      StrCpy $1 1
      ${If} $0 != 0
        System::Call 'advapi32::GetSecurityDescriptorDacl(p r3, *i .r4, *p .r5, *i .r6) i .r0'
        ; SE_FILE_OBJECT; DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION
        System::Call 'advapi32::SetNamedSecurityInfoW(w "${folder}", i 1, i 0x80000004, p 0, p 0, p r5, p 0) i .r1'
        System::Call 'kernel32::LocalFree(p r3)'
      ${EndIf}
      ${If} $1 != 0
        RMDir "${folder}"
        MessageBox MB_OK|MB_ICONSTOP "Cannot protect the folder ${folder} (error $1), so nothing was installed." /SD IDOK
        SetErrorLevel $1
        Abort
      ${EndIf}
    ${EndIf}
  ${EndIf}
!macroend

; Sets $R0 to 1 when the next restart still renames or deletes something in the installation
; folder (left by an earlier removal or an upgrade of a DLL in use), and to 0 otherwise.
Function PendingInInstallFolder
  StrCpy $R0 0
  System::Call 'advapi32::RegOpenKeyExW(p 0x80000002, w "SYSTEM\CurrentControlSet\Control\Session Manager", i 0, i 0x20019, *p .R1) i .R2'
  ${If} $R2 = 0
    System::Call 'advapi32::RegQueryValueExW(p R1, w "PendingFileRenameOperations", p 0, p 0, p 0, *i .R3) i .R2'
    ${If} $R2 = 0
    ${AndIf} $R3 > 0
      ; Zeroed, with room for the terminators that a malformed value may lack.
      IntOp $R4 $R3 + 4
      System::Alloc $R4
      Pop $R4
      System::Call 'advapi32::RegQueryValueExW(p R1, w "PendingFileRenameOperations", p 0, p 0, p R4, *i R3 .R3) i .R2'
      ; Pairs of NT paths (\??\C:\...), the second empty for a deletion.
      IntOp $R5 $R4 + $R3
      StrCpy $R6 $R4
      ${IfThen} $R2 != 0 ${|} StrCpy $R6 $R5 ${|}
      ${DoWhile} $R6 < $R5
        System::Call 'kernel32::lstrlenW(p R6) i .R7'
        System::Call 'kernel32::lstrcpynW(w .R8, p R6, i ${NSIS_MAX_STRLEN})'
        ${StrStr} $R9 $R8 "$INSTDIR"
        ${If} $R9 != ""
          StrCpy $R0 1
        ${EndIf}
        IntOp $R7 $R7 + 1
        IntOp $R7 $R7 * 2
        IntOp $R6 $R6 + $R7
      ${Loop}
      System::Free $R4
    ${EndIf}
    System::Call 'advapi32::RegCloseKey(p R1)'
  ${EndIf}
FunctionEnd

Section "Vireo Plugin"
  ; What the restart still has to do in the folder would undo this installation: nothing is done
  ; until then. 350 is the system's "no action was taken as a system reboot is required".
  Call PendingInInstallFolder
  ${If} $R0 = 1
    MessageBox MB_OK|MB_ICONSTOP "A restart is needed to finish an earlier installation or removal of Vireo Plugin in $INSTDIR. Restart Windows, then run this setup again." /SD IDOK
    SetErrorLevel 350
    Abort
  ${EndIf}
  !insertmacro ProtectNewFolder "$INSTDIR"
  SetOutPath "$INSTDIR"
  !insertmacro InstallLib DLL NOTSHARED REBOOT_NOTPROTECTED "${DLL}" "$INSTDIR\VIREOPLUGIN.DLL" "$INSTDIR"
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
  ; Run in place, so that it returns once removal is done, with the result in its exit code.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S _?=$INSTDIR'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ; Last, once the entries are in place: running players rescan on the module's broadcast.
  ClearErrors
  RegDLL "$INSTDIR\VIREOPLUGIN.DLL"
  IfErrors 0 +2
    DetailPrint "DllRegisterServer failed; running players see the plug-in after a restart."
  !insertmacro OfferRestart
SectionEnd

Section "Uninstall"
  ; The entries go first, so that players rescanning on the broadcast no longer find the plug-in.
  DeleteRegKey HKLM "${PLUGIN_KEY}"
  DeleteRegKey /ifempty HKLM "Software\Microsoft\MediaPlayer\UIPlugins"
  DeleteRegKey /ifempty HKLM "Software\Microsoft\MediaPlayer"
  DeleteRegKey HKLM "${CLASS_KEY}"
  UnRegDLL "$INSTDIR\VIREOPLUGIN.DLL"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ; The user's own playback quality setting (HKCU) stays. A DLL in use goes at the next restart,
  ; and then its folders.
  Delete /REBOOTOK "$INSTDIR\VIREOPLUGIN.DLL"
  ; Run in place (the quiet uninstall), the uninstaller cannot delete itself: it goes at the next
  ; restart too, without asking for one.
  Delete "$INSTDIR\Uninstall.exe"
  ${If} ${FileExists} "$INSTDIR\Uninstall.exe"
    !insertmacro RemoveAtRestart "$INSTDIR\Uninstall.exe"
  ${EndIf}
  !insertmacro RemoveFolder "$INSTDIR"
  !insertmacro RemoveFolder "$PROGRAMFILES32\Tessaline"
  !insertmacro OfferRestart
SectionEnd
