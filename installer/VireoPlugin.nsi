; The front door of the Windows Installer package, for a person installing Vireo Plugin on their own
; machine: it asks for the folder, keeps the package where a later repair finds it, and has the
; Windows Installer do the installing. Its exit code is msiexec's.
; Built with: makensis -DVERSION=<a.b.c.d> -DMSI=<the package> -DPRODUCT_CODE=<its product code>
;             -DUPGRADE_CODE=<its upgrade code, every release's>
;             -DOUTFILE=<setup.exe> [-DSIGN=<command that signs the file it is given, in place>] VireoPlugin.nsi
Unicode true
SetCompressor /SOLID lzma
; The manifest asks for an administrator (requireAdministrator): the package is the machine's.
RequestExecutionLevel admin
!include LogicLib.nsh
!include FileFunc.nsh

; Where the package of the installed product is kept for repairs, under one name for every release:
; a folder that only administrators can change, which the product's removal takes.
!define CACHE "$COMMONFILES32\Tessaline\Package Cache\Vireo Plugin"
!define PACKAGE "VireoPlugin.msi"
; The package's own record of its folder.
!define OWN_KEY "Software\Tessaline\Vireo Plugin"
; The longest path that the class's InprocServer32 may name: MAX_PATH less the terminator.
!define LONGEST_PATH 259
; The Windows Installer's exit codes, which deployment tools already classify.
!define EXIT_FAILED 1603
!define EXIT_RESTART 3010
!define EXIT_BUSY 1618
!define ERROR_ALREADY_EXISTS 183
!define SYNCHRONIZE 0x00100000
!define GENERIC_WRITE 0x40000000
!define CREATE_NEW 1
!define FILE_FLAG_OPEN_REPARSE_POINT 0x00200000
!define INVALID_HANDLE_VALUE -1

Name "Vireo Plugin"
OutFile "${OUTFILE}"
Icon "${__FILEDIR__}/VireoPlugin.ico"
; The package gets the time of installation, so the setup does not depend on build times.
SetDateSave off
; No InstallDir: $INSTDIR is then empty at start unless /D= named a folder.
!define DEFAULT_FOLDER "$PROGRAMFILES32\Tessaline\Vireo Plugin"
!ifdef SIGN
  !finalize '"${SIGN}" "%1"' = 0
!endif
VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "Vireo Plugin"
VIAddVersionKey /LANG=1033 "CompanyName" "Tessaline"
VIAddVersionKey /LANG=1033 "FileDescription" "Vireo Plugin Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 Tessaline"

; The folder of the installed plug-in, as the package recorded it, where the package keeps it in every
; run: the folder page is skipped and no folder is passed, unless /D= names one.
Var Installed
Var FolderGiven
Var Log

Page directory SkipWhenInstalled "" LeaveFolder
Page instfiles

Function .onInit
  ; One setup at a time, and none while the Windows Installer runs another installation (its
  ; _MSIExecute mutex): the cache is left as it is, since the other run may still be using it. The
  ; setup's mutex is held until the process ends.
  System::Call 'kernel32::CreateMutexW(p 0, i 0, w "Global\TessalineVireoPluginSetup") p .r0 ?e'
  Pop $1
  System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w "Global\_MSIExecute") p .r2'
  ${If} $1 = ${ERROR_ALREADY_EXISTS}
  ${OrIf} $2 <> 0
    MessageBox MB_OK|MB_ICONSTOP "Another installation is in progress. Nothing was changed: run this setup again once it has finished." /SD IDOK
    SetErrorLevel ${EXIT_BUSY}
    Quit
  ${EndIf}
  ${If} $INSTDIR != ""
    StrCpy $FolderGiven 1
  ${EndIf}
  ReadRegStr $Installed HKLM "${OWN_KEY}" "InstallDir"
  ${If} $FolderGiven != 1
    StrCpy $INSTDIR "${DEFAULT_FOLDER}"
    ${IfThen} $Installed != "" ${|} StrCpy $INSTDIR $Installed ${|}
  ${EndIf}
FunctionEnd

Function .onUserAbort
  SetErrorLevel 1602
FunctionEnd

Function SkipWhenInstalled
  ${IfThen} $Installed != "" ${|} Abort ${|}
FunctionEnd

!define UNPROTECTED "Vireo Plugin installs only in a folder under Program Files, which only administrators can change."
; Sets $R0 to why $INSTDIR cannot take the plug-in, or to "" and $INSTDIR to the folder as the
; system resolves it (its full path, without a closing backslash). Only a folder under Program Files (either one on
; 64-bit Windows) is protected from users; the DLL's path must fit the class's InprocServer32.
Function CheckFolder
  StrCpy $R0 "${UNPROTECTED} $INSTDIR is not one."
  ; A part that ends in a space or a dot ("." and ".." among them) is another folder to Windows,
  ; which some systems' resolution drops and others keep: refused as given, as the package does.
  System::Call 'shlwapi::StrStrW(w "$INSTDIR\", w " \") p .r1'
  System::Call 'shlwapi::StrStrW(w "$INSTDIR\", w ".\") p .r2'
  ${If} $1 <> 0
  ${OrIf} $2 <> 0
    Return
  ${EndIf}
  System::Call 'kernel32::GetFullPathNameW(w "$INSTDIR", i ${NSIS_MAX_STRLEN}, w .r0, p 0) i .r1'
  ${IfThen} $1 <> 0 ${|} StrCpy $INSTDIR $0 ${|}
  ; A trailing backslash would escape the closing quote on msiexec's command line.
  StrCpy $0 $INSTDIR "" -1
  ${IfThen} $0 == "\" ${|} StrCpy $INSTDIR $INSTDIR -1 ${|}
  StrCpy $R0 "${UNPROTECTED} $INSTDIR is not one."
  StrLen $1 $INSTDIR
  ${ForEach} $2 32 64 + 32
    ; A part below the folder, compared whatever case it is written in.
    ${If} $2 = 32
      StrCpy $3 "$PROGRAMFILES32\"
    ${Else}
      StrCpy $3 "$PROGRAMFILES64\"
    ${EndIf}
    StrLen $4 $3
    StrCpy $5 $INSTDIR $4
    ${If} $5 == $3
    ${AndIf} $1 > $4
      StrCpy $R0 ""
    ${EndIf}
  ${Next}
  StrLen $1 "$INSTDIR\VIREOPLUGIN.DLL"
  ${If} $R0 == ""
  ${AndIf} $1 > ${LONGEST_PATH}
    StrCpy $R0 "The folder $INSTDIR is too long: the path of the plug-in in it may have at most ${LONGEST_PATH} characters."
  ${EndIf}
FunctionEnd

; Sets $R1 to the package code of the package $R0, or to "" when there is none.
Function PackageCodeOf
  StrCpy $R1 ""
  ${If} ${FileExists} $R0
    System::Call 'msi::MsiGetSummaryInformationW(i 0, w R0, i 0, *i .r1) i .r2'
    ${If} $2 = 0
      ; PID_REVNUMBER: the package code.
      System::Call 'msi::MsiSummaryInfoGetPropertyW(i r1, i 9, *i, *i, p 0, w .R1, *i ${NSIS_MAX_STRLEN}) i .r2'
      ${IfThen} $2 <> 0 ${|} StrCpy $R1 "" ${|}
      System::Call 'msi::MsiCloseHandle(i r1)'
    ${EndIf}
  ${EndIf}
FunctionEnd

; A setup stopped while msiexec ran may have left the cache ($0) half-changed: the package under
; its name, the earlier copy beside it as .previous, or a new copy in Incoming, of any release. The
; copy that is the installed product's (by its package code, whichever release is installed) keeps
; the package's name, and every other copy goes.
Function RecoverCache
  StrCpy $7 ""
  System::Call 'msi::MsiEnumRelatedProductsW(w "${UPGRADE_CODE}", i 0, i 0, w .r8) i .r1'
  ${If} $1 = 0
    System::Call 'msi::MsiGetProductInfoW(w r8, w "PackageCode", w .r7, *i ${NSIS_MAX_STRLEN}) i .r1'
    ${IfThen} $1 <> 0 ${|} StrCpy $7 "" ${|}
  ${EndIf}
  Delete "$0\Incoming\${PACKAGE}"
  RMDir "$0\Incoming"
  StrCpy $R0 "$0\${PACKAGE}.previous"
  Call PackageCodeOf
  ${If} $R1 != ""
  ${AndIf} $R1 == $7
    Delete "$0\${PACKAGE}"
    Rename "$0\${PACKAGE}.previous" "$0\${PACKAGE}"
  ${EndIf}
  Delete "$0\${PACKAGE}.previous"
  StrCpy $R0 "$0\${PACKAGE}"
  Call PackageCodeOf
  ${IfThen} $R1 != $7 ${|} Delete "$0\${PACKAGE}" ${|}
FunctionEnd

; Removes the cache's folders ($0 and its parents) that are empty.
Function RemoveEmptyCache
  RMDir $0
  RMDir "$COMMONFILES32\Tessaline\Package Cache"
  RMDir "$COMMONFILES32\Tessaline"
FunctionEnd

; Sets $Log to a new file for msiexec's log in $TEMP, named by the time, or to "" when none could be
; made. For SYSTEM, $TEMP is the system's temporary folder, where any user may create files: the file
; is made here (CREATE_NEW, not following a link), so a file or link put there first is never written.
Function NewLog
  ${GetTime} "" "L" $R3 $R4 $R5 $R6 $R7 $R8 $R9
  StrCpy $R3 "$TEMP\VireoPluginSetup-$R5$R4$R3-$R7$R8$R9"
  ${For} $R4 1 9
    StrCpy $Log "$R3-$R4.log"
    System::Call 'kernel32::CreateFileW(w "$Log", i ${GENERIC_WRITE}, i 0, p 0, i ${CREATE_NEW}, i ${FILE_FLAG_OPEN_REPARSE_POINT}, p 0) p .R5'
    ${If} $R5 <> ${INVALID_HANDLE_VALUE}
      System::Call 'kernel32::CloseHandle(p R5)'
      Return
    ${EndIf}
  ${Next}
  StrCpy $Log ""
FunctionEnd

; A folder that cannot be used keeps the person on the folder page.
Function LeaveFolder
  Call CheckFolder
  ${If} $R0 != ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "$R0 Choose another folder."
    Abort
  ${EndIf}
  StrCpy $FolderGiven 1
FunctionEnd

Section "Vireo Plugin"
  ; A silent run's folder is refused before anything changes.
  ${If} $FolderGiven == 1
    Call CheckFolder
    ${If} $R0 != ""
      MessageBox MB_OK|MB_ICONSTOP "$R0 Nothing was changed." /SD IDOK
      SetErrorLevel ${EXIT_FAILED}
      Abort
    ${EndIf}
  ${EndIf}

  ; Once installed, the plug-in stays in its folder, as the package insists too.
  ${If} $Installed != ""
  ${AndIf} $FolderGiven == 1
    StrCpy $0 $Installed
    StrCpy $1 $0 "" -1
    ${IfThen} $1 == "\" ${|} StrCpy $0 $0 -1 ${|}
    ${If} $0 != $INSTDIR
      MessageBox MB_OK|MB_ICONSTOP "Vireo Plugin is installed in $0. To move it to $INSTDIR, remove it in Add/Remove Programs first, then run this setup again. Nothing was changed." /SD IDOK
      SetErrorLevel ${EXIT_FAILED}
      Abort
    ${EndIf}
  ${EndIf}

  ; Whether this very version is installed (5): then the run repairs it, from this copy of the
  ; package even when another build of the version was installed (v caches it anew, rather than
  ; refuse with 1638).
  System::Call 'msi::MsiQueryProductStateW(w "${PRODUCT_CODE}") i .r6'

  ; The package stays where the Windows Installer finds it for a repair, under the name msiexec ran
  ; it by; the product's removal takes it away. The copy is written beside the one already there (in
  ; a folder of its own), and the two trade places for the run: unless msiexec succeeds, the earlier
  ; copy gets its name back.
  StrCpy $0 "${CACHE}"
  Call RecoverCache
  StrCpy $5 0
  ${If} ${FileExists} "$0\${PACKAGE}"
    StrCpy $5 1
  ${EndIf}
  ; The package this setup carries, once, in its own temporary folder, copied from there.
  InitPluginsDir
  File "/oname=$PLUGINSDIR\${PACKAGE}" "${MSI}"
  CreateDirectory "$0\Incoming"
  System::Call 'kernel32::CopyFileW(w "$PLUGINSDIR\${PACKAGE}", w "$0\Incoming\${PACKAGE}", i 0) i .r1'
  ${If} $1 = 0
    RMDir "$0\Incoming"
    Call RemoveEmptyCache
    MessageBox MB_OK|MB_ICONSTOP "Vireo Plugin could not be installed: the setup cannot write its copy of the package in $0. Nothing was changed." /SD IDOK
    SetErrorLevel ${EXIT_FAILED}
    Abort
  ${EndIf}
  ${If} $5 = 1
    Delete "$0\${PACKAGE}.previous"
    Rename "$0\${PACKAGE}" "$0\${PACKAGE}.previous"
  ${EndIf}
  Rename "$0\Incoming\${PACKAGE}" "$0\${PACKAGE}"
  RMDir "$0\Incoming"

  StrCpy $1 '"$SYSDIR\msiexec.exe" /i "$0\${PACKAGE}" REBOOT=ReallySuppress'
  Call NewLog
  ${If} $Log != ""
    StrCpy $1 '$1 /l*v "$Log"'
  ${EndIf}
  ${If} ${Silent}
    StrCpy $1 "$1 /qn"
  ${Else}
    StrCpy $1 "$1 /qb"
  ${EndIf}
  ${If} $FolderGiven == 1
    StrCpy $1 '$1 INSTALLDIR="$INSTDIR"'
  ${EndIf}
  ${If} $6 = 5
    StrCpy $1 "$1 REINSTALL=ALL REINSTALLMODE=vamus"
  ${EndIf}
  DetailPrint "Running $1"
  ClearErrors
  ExecWait $1 $2
  ${IfThen} ${Errors} ${|} StrCpy $2 ${EXIT_FAILED} ${|}
  SetErrorLevel $2

  ${If} $2 = 0
  ${OrIf} $2 = ${EXIT_RESTART}
    Delete "$0\${PACKAGE}.previous"
    ; An upgrade's removal of the earlier release takes the cache with it where the Windows
    ; Installer does not tell it that it is an upgrade (Wine's does not): the copy is written again.
    ${IfNot} ${FileExists} "$0\${PACKAGE}"
      CreateDirectory $0
      System::Call 'kernel32::CopyFileW(w "$PLUGINSDIR\${PACKAGE}", w "$0\${PACKAGE}", i 0)'
    ${EndIf}
    StrCpy $3 "Vireo Plugin ${VERSION} is installed. Players that are running show it among their plug-ins now; a player that does not finds it when it next starts."
    ${If} $2 = ${EXIT_RESTART}
      StrCpy $3 "Vireo Plugin ${VERSION} is installed, but a running player still holds the version it replaces: restart Windows to finish."
    ${EndIf}
  ${Else}
    ; The cache as it was: the earlier copy back, or no copy and no folder this run made.
    Delete "$0\${PACKAGE}"
    ${If} $5 = 1
      Rename "$0\${PACKAGE}.previous" "$0\${PACKAGE}"
    ${Else}
      Call RemoveEmptyCache
    ${EndIf}
    ${If} $2 = 1602
      StrCpy $3 "The installation was cancelled. Nothing was changed."
    ${ElseIf} $2 = 1618
      StrCpy $3 "Another installation is in progress. Nothing was changed: run this setup again once it has finished."
    ${ElseIf} $2 = 1638
      StrCpy $3 "Another build of Vireo Plugin ${VERSION} is installed. Nothing was changed: remove it in Add/Remove Programs first."
    ${Else}
      StrCpy $3 "Vireo Plugin could not be installed (error $2). Nothing was changed."
      ${If} $Log != ""
        StrCpy $3 "$3 $Log says why."
      ${EndIf}
    ${EndIf}
  ${EndIf}
  DetailPrint $3
  MessageBox MB_OK "$3" /SD IDOK
SectionEnd
