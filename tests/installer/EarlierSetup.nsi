; The self-contained setup that shipped before the Windows Installer package did all the installing.
; The installer round trip installs with it to show that the package takes its installation over.
; Built with: makensis -DVERSION=<a.b.c.d> -DDLL=<path of VIREOPLUGIN.DLL> -DOUTFILE=<setup.exe>
;             [-DSIGN=<command that signs the file it is given, in place>] VireoPlugin.nsi
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
!include LogicLib.nsh
!include WordFunc.nsh
!include FileFunc.nsh

!define CLSID "{CC1F686D-E680-4392-8126-95060ED5222D}"
!define CLASS_KEY "Software\Classes\CLSID\${CLSID}"
!define PLUGIN_KEY "Software\Microsoft\MediaPlayer\UIPlugins\${CLSID}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VireoPlugin"
; Exit codes are the Windows Installer's, which deployment tools already classify.
!define EXIT_RESTART 3010
!define EXIT_OTHER_INSTALLED 1638
!define EXIT_CANCELLED 1602
!define EXIT_FAILED 1603
; The longest path that the class's InprocServer32 may name: MAX_PATH less the terminator.
!define LONGEST_PATH 259
!define FOLDER_MESSAGE "Vireo Plugin installs only in a folder under Program Files, which only administrators can change."

Name "Vireo Plugin"
OutFile "${OUTFILE}"
Icon "${__FILEDIR__}/../../installer/VireoPlugin.ico"
UninstallIcon "${__FILEDIR__}/../../installer/VireoPlugin.ico"
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

; Where an installed copy is, if any, and its version: an upgrade goes there, so its folder is not
; asked for, and a failed upgrade puts that version back.
Var Installed
Var InstalledVersion
; Where the files that an upgrade replaces were set aside, until it has succeeded.
Var OldDll
Var OldUninstaller
; The outermost folder this run made (the installation folder or one that holds it), if any: a
; failure takes the folders away again.
Var MadeFolder

Page directory SkipWhenInstalled
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Says why nothing was done, also as the exit code of a silent run, and stops.
!macro Refuse code message
  MessageBox MB_OK|MB_ICONSTOP "${message}" /SD IDOK
  SetErrorLevel ${code}
  Abort
!macroend

; The Windows Installer package writes the same keys: one product owns them at a time.
Function .onInit
  ReadRegStr $0 HKLM "${PLUGIN_KEY}" "UninstallPath"
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "UninstallString"
  ${If} $0 != ""
  ${AndIf} $1 == ""
    !insertmacro Refuse ${EXIT_OTHER_INSTALLED} "Vireo Plugin is already installed by its Windows Installer package. Remove it in Add/Remove Programs first."
  ${EndIf}
  ; A newer version stays.
  ReadRegStr $InstalledVersion HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  ${If} $InstalledVersion != ""
    ${VersionCompare} $InstalledVersion "${VERSION}" $1
    ${If} $1 == 1
      !insertmacro Refuse ${EXIT_OTHER_INSTALLED} "A newer version of Vireo Plugin ($InstalledVersion) is already installed."
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

Function .onUserAbort
  SetErrorLevel ${EXIT_CANCELLED}
FunctionEnd

Function un.onUserAbort
  SetErrorLevel ${EXIT_CANCELLED}
FunctionEnd

Function SkipWhenInstalled
  ${If} $Installed != ""
    Abort
  ${EndIf}
FunctionEnd

; A file still held by a running program is replaced or removed, but that program keeps the old
; one until it ends: silently the exit code says so (3010, as the Windows Installer does),
; otherwise the user is offered the restart.
!macro OfferRestart
  ${If} ${RebootFlag}
    SetErrorLevel ${EXIT_RESTART}
    MessageBox MB_YESNO|MB_ICONQUESTION "Vireo Plugin is in use by a running program. Restart Windows now to finish?" /SD IDNO IDNO +2
    Reboot
  ${EndIf}
!macroend

; Schedules a file or an empty folder for removal at the next restart, without asking for one.
!macro RemoveAtRestart path
  System::Call 'kernel32::MoveFileExW(w "${path}", p 0, i 4)'
!macroend

; Sets a file aside, as the Windows Installer does with files in use: renames the file $R0 to a new
; name on the same volume, outside the installation folder (a running program may hold a file
; that cannot be deleted, but it can be renamed), so that a new file can take its name at once and
; nothing the next restart does names the folder. $R1 is where it went, or empty when no place on
; its volume could be had.
!macro DefineSetAside un
Function ${un}SetAside
  Push $0
  Push $1
  Push $2
  StrCpy $R1 ""
  System::Call 'kernel32::GetVolumePathNameW(w R0, w .r1, i ${NSIS_MAX_STRLEN}) i .r0'
  ${If} $0 <> 0
    ; The temporary folder when it is on the same volume, otherwise the volume's root.
    System::Call 'kernel32::GetVolumePathNameW(w "$TEMP\", w .r2, i ${NSIS_MAX_STRLEN}) i .r0'
    ${If} $0 <> 0
    ${AndIf} $1 == $2
      StrCpy $1 $TEMP
    ${EndIf}
    System::Call 'kernel32::GetTempFileNameW(w r1, w "vir", i 0, w .r2) i .r0'
    ${If} $0 <> 0
      ; MOVEFILE_REPLACE_EXISTING over the empty file just made, never a copy: a copy would leave
      ; the file where it is.
      System::Call 'kernel32::MoveFileExW(w R0, w r2, i 1) i .r0'
      ${If} $0 <> 0
        StrCpy $R1 $2
      ${Else}
        Delete $2
      ${EndIf}
    ${EndIf}
  ${EndIf}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DefineSetAside ""
!insertmacro DefineSetAside "un."

; Sets $R0 to 1 when the path $R8 is the folder $R9 or lies in it, whatever case it is written in.
!macro InFolder
  StrLen $R7 "$R9\"
  StrCpy $R6 $R8 $R7
  ${If} $R8 == $R9
  ${OrIf} $R6 == "$R9\"
    StrCpy $R0 1
  ${EndIf}
!macroend

; Refuses when the next restart still renames or deletes the installation folder or something in
; it (an older version left such operations behind when a DLL was in use): it would undo this
; installation. The folder is matched by its long name and by its short (8.3) one, and so is a path
; written with some parts short.
Function RefusePendingInFolder
  StrCpy $R0 0
  System::Call 'kernel32::GetShortPathNameW(w "$INSTDIR", w .R5, i ${NSIS_MAX_STRLEN}) i .R2'
  ${IfThen} $R2 = 0 ${|} StrCpy $R5 $INSTDIR ${|}
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
      ; Pairs of NT paths (\??\C:\...), the second empty for a deletion and starting with "!" when
      ; it replaces an existing file.
      IntOp $R3 $R4 + $R3
      StrCpy $R2 $R4
      ${DoWhile} $R2 < $R3
        System::Call 'kernel32::lstrlenW(p R2) i .R7'
        System::Call 'kernel32::lstrcpynW(w .R8, p R2, i ${NSIS_MAX_STRLEN})'
        IntOp $R7 $R7 + 1
        IntOp $R7 $R7 * 2
        IntOp $R2 $R2 + $R7
        StrCpy $R6 $R8 1
        ${IfThen} $R6 == "!" ${|} StrCpy $R8 $R8 "" 1 ${|}
        StrCpy $R6 $R8 4
        ${IfThen} $R6 == "\??\" ${|} StrCpy $R8 $R8 "" 4 ${|}
        ; A path that exists is compared by its long name, however it is written.
        System::Call 'kernel32::GetLongPathNameW(w R8, w .R6, i ${NSIS_MAX_STRLEN}) i .R7'
        ${IfThen} $R7 <> 0 ${|} StrCpy $R8 $R6 ${|}
        StrCpy $R9 $INSTDIR
        !insertmacro InFolder
        StrCpy $R9 $R5
        !insertmacro InFolder
      ${Loop}
      System::Free $R4
    ${EndIf}
    System::Call 'advapi32::RegCloseKey(p R1)'
  ${EndIf}
  ${If} $R0 = 1
    !insertmacro Refuse ${EXIT_FAILED} "A restart is needed to finish an earlier installation or removal of Vireo Plugin in $INSTDIR. Restart Windows, then run this setup again."
  ${EndIf}
FunctionEnd

; Refuses a folder outside Program Files, where whoever may change a folder on the DLL's path could
; put their own DLL in every user's player, and one whose DLL path the class could not name. The
; folder is taken as the system resolves it: "..", "." and short names do not lead out.
Function RefuseFolder
  System::Call 'kernel32::GetFullPathNameW(w "$INSTDIR", i ${NSIS_MAX_STRLEN}, w .r0, p 0) i .r1'
  ${IfThen} $1 <> 0 ${|} StrCpy $INSTDIR $0 ${|}
  System::Call 'kernel32::GetLongPathNameW(w "$INSTDIR", w .r0, i ${NSIS_MAX_STRLEN}) i .r1'
  ${IfThen} $1 <> 0 ${|} StrCpy $INSTDIR $0 ${|}
  ; On 64-bit Windows either Program Files folder.
  StrLen $0 "$PROGRAMFILES32\"
  StrCpy $0 $INSTDIR $0
  StrLen $1 "$PROGRAMFILES64\"
  StrCpy $1 $INSTDIR $1
  ${If} $0 != "$PROGRAMFILES32\"
  ${AndIf} $1 != "$PROGRAMFILES64\"
    !insertmacro Refuse ${EXIT_FAILED} "${FOLDER_MESSAGE} $INSTDIR is not, so nothing was installed."
  ${EndIf}
  StrLen $0 "$INSTDIR\VIREOPLUGIN.DLL"
  ${If} $0 > ${LONGEST_PATH}
    !insertmacro Refuse ${EXIT_FAILED} "The folder $INSTDIR is too long: the path of the DLL in it may have at most ${LONGEST_PATH} characters. Nothing was installed."
  ${EndIf}
FunctionEnd

; Undoes what the installation did: its files go, those it replaced come back, and so do the keys.
Function Rollback
  Delete "$INSTDIR\VIREOPLUGIN.DLL"
  Delete "$INSTDIR\Uninstall.exe"
  ${IfThen} $OldDll != "" ${|} Rename $OldDll "$INSTDIR\VIREOPLUGIN.DLL" ${|}
  ${IfThen} $OldUninstaller != "" ${|} Rename $OldUninstaller "$INSTDIR\Uninstall.exe" ${|}
  ${If} $InstalledVersion == ""
    DeleteRegKey HKLM "${PLUGIN_KEY}"
    DeleteRegKey /ifempty HKLM "Software\Microsoft\MediaPlayer\UIPlugins"
    DeleteRegKey /ifempty HKLM "Software\Microsoft\MediaPlayer"
    DeleteRegKey HKLM "${CLASS_KEY}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${Else}
    ; An upgrade wrote the keys the installed version had, but for its own version.
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" $InstalledVersion
  ${EndIf}
  ${If} $MadeFolder != ""
    ; A folder that is the current one cannot be removed.
    SetOutPath $TEMP
    StrCpy $0 $INSTDIR
    ${DoUntil} $0 == ""
      RMDir $0
      ${IfThen} $0 == $MadeFolder ${|} ${Break} ${|}
      ${GetParent} $0 $0
    ${Loop}
  ${EndIf}
FunctionEnd

!macro Fail message
  Call Rollback
  !insertmacro Refuse ${EXIT_FAILED} "${message}"
!macroend

; Sets the installed file aside; one that cannot be set aside is deleted, and one that is in use
; as well stops the installation, rather than leave its replacement to the restart.
!macro SetAsideInstalled file var
  StrCpy ${var} ""
  ${If} ${FileExists} "${file}"
    StrCpy $R0 "${file}"
    Call SetAside
    StrCpy ${var} $R1
    ${If} $R1 == ""
      Delete "${file}"
      ${If} ${FileExists} "${file}"
        !insertmacro Fail "${file} is in use, and there is no place on its volume to set it aside. Close the programs that use Vireo Plugin, then run this setup again."
      ${EndIf}
    ${EndIf}
  ${EndIf}
!macroend

Section "Vireo Plugin"
  ; Everything that can refuse does so before anything changes.
  Call RefuseFolder
  Call RefusePendingInFolder
  ; A folder made under Program Files gets its protection: only administrators can change it.
  StrCpy $0 $INSTDIR
  ${DoUntil} ${FileExists} "$0\*.*"
    StrCpy $MadeFolder $0
    ${GetParent} $0 $0
  ${Loop}
  CreateDirectory "$INSTDIR"
  ${IfNot} ${FileExists} "$INSTDIR\*.*"
    !insertmacro Fail "Cannot make the folder $INSTDIR, so nothing was installed."
  ${EndIf}
  !insertmacro SetAsideInstalled "$INSTDIR\VIREOPLUGIN.DLL" $OldDll
  !insertmacro SetAsideInstalled "$INSTDIR\Uninstall.exe" $OldUninstaller

  ; Every file is checked before any key names it: a silent run skips a file it cannot write.
  SetOutPath "$INSTDIR"
  ClearErrors
  File "/oname=VIREOPLUGIN.DLL" "${DLL}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  GetDLLVersionLocal "${DLL}" $1 $2
  GetDLLVersion "$INSTDIR\VIREOPLUGIN.DLL" $3 $4
  ${If} ${Errors}
  ${OrIfNot} ${FileExists} "$INSTDIR\Uninstall.exe"
  ${OrIf} "$1.$2" != "$3.$4"
    !insertmacro Fail "Cannot write the files in $INSTDIR, so nothing was installed."
  ${EndIf}

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
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\Uninstall.exe",0'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Tessaline"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  ; Run in place, so that it returns once removal is done, with the result in its exit code.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S _?=$INSTDIR'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/M=*.* /S=0K /G=0" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; Last, once the entries are in place: running players rescan on the module's broadcast.
  ClearErrors
  RegDLL "$INSTDIR\VIREOPLUGIN.DLL"
  ${If} ${Errors}
    !insertmacro Fail "VIREOPLUGIN.DLL could not be registered (DllRegisterServer failed), so nothing was installed."
  ${EndIf}
  ; What was replaced goes; a file that a running program still holds goes at the next restart.
  ${IfThen} $OldDll != "" ${|} Delete /REBOOTOK $OldDll ${|}
  ${IfThen} $OldUninstaller != "" ${|} Delete /REBOOTOK $OldUninstaller ${|}
  !insertmacro OfferRestart
SectionEnd

; Removes a file now. One that a running program holds is set aside and removed at the restart,
; which the exit code asks for (3010) when askRestart is 1; one that cannot even be set aside is
; removed where it is at the restart, as its folders are then.
Var Deferred
!macro RemoveFile file askRestart
  Delete "${file}"
  ${If} ${FileExists} "${file}"
    StrCpy $R0 "${file}"
    Call un.SetAside
    ${If} $R1 == ""
      DetailPrint "There is no place on its volume to set ${file} aside: it is removed at the next restart."
      StrCpy $R1 "${file}"
      StrCpy $Deferred 1
    ${EndIf}
    ${If} ${askRestart} = 1
      Delete /REBOOTOK $R1
    ${Else}
      !insertmacro RemoveAtRestart $R1
    ${EndIf}
  ${EndIf}
!macroend

; The uninstaller's runtime reads its own file through a handle that it keeps, without sharing
; deletion, until it ends: run in place, the uninstaller could not set its own file aside. Once
; nothing more is read from the file, that handle is found by the file's identity (volume and
; index) and closed; its number is taken again at once by an event, so that the runtime's own close
; at the end closes an object of this process and nothing else.
Function un.ReleaseOwnFile
  System::Alloc 52
  Pop $R9
  ; BY_HANDLE_FILE_INFORMATION: volume serial number at 28, file index at 44.
  System::Call 'kernel32::CreateFileW(w "$EXEPATH", i 0x80, i 7, p 0, i 3, i 0, p 0) p .R0'
  System::Call 'kernel32::GetFileInformationByHandle(p R0, p R9) i .r0'
  ${If} $0 <> 0
    System::Call '*$R9(i, l, l, l, i .R1, i, i, i, i .R2, i .R3)'
    StrCpy $R4 4
    ${DoWhile} $R4 < 0x1000
      System::Call 'kernel32::GetHandleInformation(p R4, *i .r1) i .r0'
      ${If} $0 <> 0
      ${AndIf} $R4 <> $R0
        System::Call 'kernel32::GetFileType(p R4) i .r0'
        ${If} $0 = 1
          System::Call 'kernel32::GetFileInformationByHandle(p R4, p R9) i .r0'
          System::Call '*$R9(i, l, l, l, i .R5, i, i, i, i .R6, i .R7)'
          ${If} $0 <> 0
          ${AndIf} $R5 = $R1
          ${AndIf} $R6 = $R2
          ${AndIf} $R7 = $R3
            System::Call 'kernel32::CloseHandle(p R4)'
            System::Call 'kernel32::CreateEventW(p 0, i 1, i 0, p 0) p .r1'
            ${If} $1 <> $R4
              System::Call 'kernel32::CloseHandle(p r1)'
            ${EndIf}
            ${Break}
          ${EndIf}
        ${EndIf}
      ${EndIf}
      IntOp $R4 $R4 + 4
    ${Loop}
  ${EndIf}
  System::Call 'kernel32::CloseHandle(p R0)'
  System::Free $R9
FunctionEnd

!macro RemoveFolder folder
  RMDir "${folder}"
  ${If} $Deferred = 1
  ${AndIf} ${FileExists} "${folder}\*.*"
    !insertmacro RemoveAtRestart "${folder}"
  ${EndIf}
!macroend

Section "Uninstall"
  ; The entries go first, so that players rescanning on the broadcast no longer find the plug-in.
  DeleteRegKey HKLM "${PLUGIN_KEY}"
  DeleteRegKey /ifempty HKLM "Software\Microsoft\MediaPlayer\UIPlugins"
  DeleteRegKey /ifempty HKLM "Software\Microsoft\MediaPlayer"
  DeleteRegKey HKLM "${CLASS_KEY}"
  UnRegDLL "$INSTDIR\VIREOPLUGIN.DLL"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ; The user's own playback quality setting (HKCU) stays. A DLL that a running player holds keeps
  ; it until the restart. Run in place (the quiet uninstall), the uninstaller is running too; it
  ; goes at whatever restart comes next, without asking for one.
  !insertmacro RemoveFile "$INSTDIR\VIREOPLUGIN.DLL" 1
  ${If} $EXEPATH == "$INSTDIR\Uninstall.exe"
    Call un.ReleaseOwnFile
  ${EndIf}
  !insertmacro RemoveFile "$INSTDIR\Uninstall.exe" 0
  !insertmacro RemoveFolder "$INSTDIR"
  !insertmacro RemoveFolder "$PROGRAMFILES32\Tessaline"
  !insertmacro OfferRestart
SectionEnd
