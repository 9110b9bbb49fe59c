; Plotmira's installer for Windows: both plug-ins, the README and licence,
; and Explorer's thumbnails and preview pane (the shell DLL of the system's
; width, and the 32-bit one too on 64-bit Windows for 32-bit programs' file
; dialogs), registered for the scope chosen. Per user by default, without
; administrator rights; /ALLUSERS (or the choice on the first page) installs
; for all users into Program Files. Optionally a copy of the plug-in goes into
; a viewer's plug-in folder (/PLUGINDIR=FOLDER when silent); the uninstaller
; removes exactly the copies it made.
;
; Built by scripts/package.sh:
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.0.0 -DSTAGE=DIR -DOUTFILE=FILE plotmira.nsi
; STAGE holds plotmira.spi, plotmira.sph, README.txt, LICENSE.txt,
; x64\ and x86\plotmira-thumbnails.dll and plotmira.ico.

Unicode true
ManifestDPIAware true
ManifestSupportedOS all
RequestExecutionLevel user
SetCompressor /SOLID lzma
AllowSkipFiles off  ; a file that cannot be written fails the installation

!ifndef VERSION | STAGE | OUTFILE
  !error "define VERSION, STAGE and OUTFILE"
!endif

!define PRODUCT "Plotmira"
!define PUBLISHER "The Plotmira developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Plotmira"
!define SETTINGS_KEY "Software\Plotmira_spi"
!define SHELL_DLL "plotmira-thumbnails.dll"
; The plug-in copies made, one path a line, for the uninstaller.
!define COPIES_LIST "plugin-copies.txt"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
InstallDir ""

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include TextFunc.nsh
!include nsDialogs.nsh
!include x64.nsh

!define MUI_ICON "${STAGE}\plotmira.ico"
!define MUI_UNICON "${STAGE}\plotmira.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

Var AllUsers      ; 1: for all users, into Program Files
Var ScopeGiven    ; 1: /ALLUSERS on the command line (or the elevated second start)
Var GivenDir      ; the folder of /D=, or ""
Var PluginDir     ; a viewer's plug-in folder to copy the plug-in into, or ""
Var ScopeMe
Var ScopeAll
Var CopyBox
Var CopyDir
Var CopyBrowse

Page custom ScopePage ScopePageLeave
!define MUI_PAGE_CUSTOMFUNCTION_SHOW DirectoryShow
!insertmacro MUI_PAGE_DIRECTORY
Page custom PluginPage PluginPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The system's language chooses: Japanese on a Japanese Windows, else English.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"

LangString ScopeTitle ${LANG_ENGLISH} "Installation for"
LangString ScopeTitle ${LANG_JAPANESE} "インストールの対象"
LangString ScopeText ${LANG_ENGLISH} "Install Plotmira for:"
LangString ScopeText ${LANG_JAPANESE} "Plotmira をインストールする対象を選んでください。"
LangString ScopeMeText ${LANG_ENGLISH} "Only me (no administrator rights needed)"
LangString ScopeMeText ${LANG_JAPANESE} "自分だけ (管理者の権限は不要)"
LangString ScopeAllText ${LANG_ENGLISH} "All users of this computer (needs administrator rights)"
LangString ScopeAllText ${LANG_JAPANESE} "このコンピューターのすべてのユーザー (管理者の権限が必要)"
LangString PluginTitle ${LANG_ENGLISH} "Viewer's plug-in folder"
LangString PluginTitle ${LANG_JAPANESE} "ビューアのプラグイン フォルダ"
LangString PluginSubtitle ${LANG_ENGLISH} "Optionally copy the plug-in to where your image viewer looks for plug-ins."
LangString PluginSubtitle ${LANG_JAPANESE} "画像ビューアがプラグインを探すフォルダに、プラグインをコピーできます (任意)。"
LangString PluginCheck ${LANG_ENGLISH} "Copy the plug-in into this folder of my viewer:"
LangString PluginCheck ${LANG_JAPANESE} "プラグインをビューアの次のフォルダにコピーする:"
LangString PluginNote ${LANG_ENGLISH} "The 32-bit (.spi) or 64-bit (.sph) plug-in is chosen by the viewer's program in the folder. The uninstaller removes the copy again."
LangString PluginNote ${LANG_JAPANESE} "フォルダにあるビューアのプログラムに合わせて、32 ビット版 (.spi) か 64 ビット版 (.sph) を選びます。アンインストールするとコピーも削除されます。"
LangString PluginBrowse ${LANG_ENGLISH} "Browse..."
LangString PluginBrowse ${LANG_JAPANESE} "参照..."
LangString PluginNoFolder ${LANG_ENGLISH} "Choose the viewer's plug-in folder, or clear the check box."
LangString PluginNoFolder ${LANG_JAPANESE} "ビューアのプラグイン フォルダを選ぶか、チェックを外してください。"
LangString PluginAsk ${LANG_ENGLISH} "Plotmira cannot tell whether the viewer in this folder is a 64-bit program.$\r$\n$\r$\nYes: copy the 64-bit plug-in (plotmira.sph)$\r$\nNo: copy the 32-bit plug-in (plotmira.spi)"
LangString PluginAsk ${LANG_JAPANESE} "このフォルダのビューアが 64 ビット版かどうか判断できません。$\r$\n$\r$\nはい: 64 ビット版のプラグイン (plotmira.sph) をコピー$\r$\nいいえ: 32 ビット版のプラグイン (plotmira.spi) をコピー"
LangString PluginCopyFailed ${LANG_ENGLISH} "The plug-in could not be copied into"
LangString PluginCopyFailed ${LANG_JAPANESE} "プラグインを次のフォルダにコピーできませんでした:"
LangString RegisterFailed ${LANG_ENGLISH} "Explorer's thumbnails could not be registered:"
LangString RegisterFailed ${LANG_JAPANESE} "エクスプローラーのサムネイルを登録できませんでした:"
LangString NeedsAdmin ${LANG_ENGLISH} "Installing or removing Plotmira for all users needs administrator rights."
LangString NeedsAdmin ${LANG_JAPANESE} "すべてのユーザー用のインストールと削除には管理者の権限が必要です。"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Plotmira ${VERSION} setup: Jw_cad drawings in image viewers and Explorer"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Copyright (c) 2026 ${PUBLISHER}. MIT License."
VIAddVersionKey /LANG=${LANG_ENGLISH} "OriginalFilename" "plotmira-${VERSION}-setup.exe"

; True (the account type "Admin") when this process may write the machine's
; keys and Program Files: an elevated process, or any under Wine.
!macro IsElevated RESULT
  UserInfo::GetAccountType
  Pop ${RESULT}
  ${If} ${RESULT} == "Admin"
    StrCpy ${RESULT} 1
  ${Else}
    StrCpy ${RESULT} 0
  ${EndIf}
!macroend

; The machine's keys and Program Files of the system's own width.
!macro UseScope
  ${If} $AllUsers == 1
    SetShellVarContext all
    ${If} ${IsNativeAMD64}
      SetRegView 64
    ${EndIf}
  ${Else}
    SetShellVarContext current
  ${EndIf}
!macroend

Function .onInit
  StrCpy $GivenDir $INSTDIR  ; /D=, which NSIS has taken from the command line
  StrCpy $AllUsers 0
  StrCpy $ScopeGiven 0
  StrCpy $PluginDir ""
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/ALLUSERS" $R1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 1
    StrCpy $ScopeGiven 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/PLUGINDIR=" $R1
  ${IfNot} ${Errors}
    StrCpy $PluginDir $R1
  ${EndIf}
  ${If} $AllUsers == 1
    Call EnsureElevated
    ${If} $R9 != 1
      Quit  ; started again elevated, or refused
    ${EndIf}
  ${EndIf}
  Call ScopeDefaults
FunctionEnd

; For all users: $R9 1 when this process has the rights. Without them the
; same installer starts again elevated (Windows asks) and this one should
; quit ($R9 0), or, when silent, it exits with 740 (elevation required).
Function EnsureElevated
  !insertmacro IsElevated $R9
  ${If} $R9 == 1
    Return
  ${EndIf}
  ${If} ${Silent}
    SetErrorLevel 740
    Quit
  ${EndIf}
  ${GetParameters} $R0
  ${If} $GivenDir != ""
    StrCpy $R0 '$R0 /D=$GivenDir'  ; NSIS wants /D= last
  ${EndIf}
  ClearErrors
  ExecShell "runas" '"$EXEPATH"' '/ALLUSERS $R0'
  ${If} ${Errors}
    StrCpy $R9 refused  ; the administrator's consent was not given
  ${Else}
    StrCpy $R9 0
  ${EndIf}
FunctionEnd

; The folder of an earlier installation in this scope, else the default.
Function ScopeDefaults
  !insertmacro UseScope
  ${If} $AllUsers == 1
    ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == ""
      ${If} ${IsNativeAMD64}
        StrCpy $0 "$PROGRAMFILES64\${PRODUCT}"
      ${Else}
        StrCpy $0 "$PROGRAMFILES\${PRODUCT}"
      ${EndIf}
    ${EndIf}
  ${Else}
    ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == ""
      StrCpy $0 "$LOCALAPPDATA\Programs\${PRODUCT}"
    ${EndIf}
  ${EndIf}
  ${If} $GivenDir != ""
    StrCpy $0 $GivenDir
  ${EndIf}
  StrCpy $INSTDIR $0
FunctionEnd

Function ScopePage
  ${If} $ScopeGiven == 1
    Abort  ; chosen already: /ALLUSERS, or the elevated second start
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "$(ScopeTitle)" "$(ScopeText)"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateRadioButton} 0 20u 100% 14u "$(ScopeMeText)"
  Pop $ScopeMe
  ${NSD_CreateRadioButton} 0 40u 100% 14u "$(ScopeAllText)"
  Pop $ScopeAll
  ; An installation for all users and none for this user: updating it is
  ; the likely wish.
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} ${IsNativeAMD64}
    SetRegView 64
  ${EndIf}
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  SetRegView default
  ${If} $0 == ""
  ${AndIf} $1 != ""
    StrCpy $AllUsers 1
  ${EndIf}
  ${If} $AllUsers == 1
    ${NSD_Check} $ScopeAll
  ${Else}
    ${NSD_Check} $ScopeMe
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ScopePageLeave
  ${NSD_GetState} $ScopeAll $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $AllUsers 1
    Call EnsureElevated
    ${If} $R9 == 0
      Quit  ; the elevated installer goes on
    ${ElseIf} $R9 != 1
      StrCpy $AllUsers 0
      Abort  ; refused: this page again
    ${EndIf}
  ${Else}
    StrCpy $AllUsers 0
  ${EndIf}
  Call ScopeDefaults
FunctionEnd

; Without the first page there is nothing to go back to.
Function DirectoryShow
  ${If} $ScopeGiven == 1
    GetDlgItem $0 $HWNDPARENT 3
    ShowWindow $0 ${SW_HIDE}
  ${EndIf}
FunctionEnd

Function PluginPage
  !insertmacro MUI_HEADER_TEXT "$(PluginTitle)" "$(PluginSubtitle)"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateCheckbox} 0 10u 100% 12u "$(PluginCheck)"
  Pop $CopyBox
  ${NSD_CreateDirRequest} 0 28u 240u 12u "$PluginDir"
  Pop $CopyDir
  ${NSD_CreateBrowseButton} 246u 27u 54u 14u "$(PluginBrowse)"
  Pop $CopyBrowse
  ${NSD_OnClick} $CopyBrowse PluginBrowse
  ${NSD_CreateLabel} 0 50u 100% 36u "$(PluginNote)"
  Pop $0
  ${If} $PluginDir != ""
    ${NSD_Check} $CopyBox
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function PluginBrowse
  Pop $0  ; the button
  ${NSD_GetText} $CopyDir $0
  nsDialogs::SelectFolderDialog "$(PluginTitle)" "$0"
  Pop $0
  ${If} $0 != "error"
    ${NSD_SetText} $CopyDir $0
    ${NSD_Check} $CopyBox
  ${EndIf}
FunctionEnd

Function PluginPageLeave
  ${NSD_GetState} $CopyBox $0
  ${If} $0 != ${BST_CHECKED}
    StrCpy $PluginDir ""
    Return
  ${EndIf}
  ${NSD_GetText} $CopyDir $PluginDir
  ${If} $PluginDir == ""
    MessageBox MB_ICONEXCLAMATION|MB_OK "$(PluginNoFolder)"
    Abort
  ${EndIf}
FunctionEnd

; The width of a Windows program: $R2 the file, $R3 "32", "64" or "".
Function ProgramWidth
  StrCpy $R3 ""
  ClearErrors
  FileOpen $4 $R2 r
  ${If} ${Errors}
    Return
  ${EndIf}
  FileReadByte $4 $5
  FileReadByte $4 $6
  ${If} $5 == 77  ; "MZ"
  ${AndIf} $6 == 90
    FileSeek $4 60 SET  ; where the PE header starts, 4 bytes
    FileReadByte $4 $5
    FileReadByte $4 $6
    FileReadByte $4 $7
    IntOp $6 $6 << 8
    IntOp $7 $7 << 16
    IntOp $5 $5 + $6
    IntOp $5 $5 + $7
    FileSeek $4 $5 SET
    FileReadByte $4 $6
    FileReadByte $4 $7
    FileReadByte $4 $8
    FileReadByte $4 $9
    ${If} $6 == 80  ; "PE\0\0"
    ${AndIf} $7 == 69
    ${AndIf} $8 == 0
    ${AndIf} $9 == 0
      FileReadByte $4 $6
      FileReadByte $4 $7
      IntOp $7 $7 << 8
      IntOp $6 $6 + $7
      ${If} $6 = 0x14c  ; i386
        StrCpy $R3 32
      ${ElseIf} $6 = 0x8664  ; x86-64
      ${OrIf} $6 = 0xaa64  ; ARM64
        StrCpy $R3 64
      ${EndIf}
    ${EndIf}
  ${EndIf}
  FileClose $4
FunctionEnd

; The width of the programs in folder $R0 (not counting uninstallers): $R1
; "32" or "64" when they agree, "" when there are none or both.
Function FolderProgramsWidth
  StrCpy $R1 ""
  StrCpy $R4 ""  ; widths seen
  FindFirst $0 $1 "$R0\*.exe"
  ${DoWhile} $1 != ""
    StrCpy $2 $1 5
    ${If} $2 != "unins"
      StrCpy $R2 "$R0\$1"
      Call ProgramWidth
      ${If} $R3 != ""
      ${AndIf} $R4 != $R3
        StrCpy $R4 "$R4$R3"
      ${EndIf}
    ${EndIf}
    FindNext $0 $1
  ${Loop}
  FindClose $0
  ${If} $R4 == 32
  ${OrIf} $R4 == 64
    StrCpy $R1 $R4
  ${EndIf}
FunctionEnd

; Which plug-in a viewer's folder takes: the width of the programs in the
; folder, else in its parent (a "plugins" folder beside the viewer), else
; the plug-ins already there; asked when none tells, both when silent.
; $R0 the folder; $R1 "spi", "sph" or "both".
Function PluginKind
  Push $R0
  Call FolderProgramsWidth
  ${If} $R1 == ""
    ${GetParent} $R0 $R0
    ${If} $R0 != ""
      Call FolderProgramsWidth
    ${EndIf}
  ${EndIf}
  Pop $R0
  ${If} $R1 == ""
    ${If} ${FileExists} "$R0\*.sph"
      StrCpy $R1 64
    ${ElseIf} ${FileExists} "$R0\*.spi"
      StrCpy $R1 32
    ${EndIf}
  ${EndIf}
  ${If} $R1 == 64
    StrCpy $R1 sph
  ${ElseIf} $R1 == 32
    StrCpy $R1 spi
  ${ElseIf} ${Silent}
    StrCpy $R1 both
  ${Else}
    MessageBox MB_ICONQUESTION|MB_YESNO "$(PluginAsk)" IDYES sph
    StrCpy $R1 spi
    Goto known
    sph:
    StrCpy $R1 sph
    known:
  ${EndIf}
FunctionEnd

; $R5 1 when the copies list names path $R4 already.
Function ListHasCopy
  StrCpy $R5 0
  ClearErrors
  FileOpen $5 "$INSTDIR\${COPIES_LIST}" r
  ${If} ${Errors}
    Return
  ${EndIf}
  ${Do}
    ClearErrors
    FileReadUTF16LE $5 $6
    ${If} ${Errors}
      ${Break}
    ${EndIf}
    ${TrimNewLines} $6 $6
    ${If} $6 == $R4
      StrCpy $R5 1
      ${Break}
    ${EndIf}
  ${Loop}
  FileClose $5
FunctionEnd

; An update: the copies made before, still there, get the new plug-in too.
Function RefreshCopies
  ClearErrors
  FileOpen $5 "$INSTDIR\${COPIES_LIST}" r
  ${If} ${Errors}
    Return
  ${EndIf}
  ${Do}
    ClearErrors
    FileReadUTF16LE $5 $6
    ${If} ${Errors}
      ${Break}
    ${EndIf}
    ${TrimNewLines} $6 $6
    ${GetFileName} $6 $7
    ${If} $7 == "plotmira.spi"
    ${OrIf} $7 == "plotmira.sph"
      ${If} ${FileExists} $6
        Delete "$6.old"
        Rename $6 "$6.old"
        Delete /REBOOTOK "$6.old"
        CopyFiles /SILENT "$INSTDIR\$7" $6
        DetailPrint "$7 -> $6"
      ${EndIf}
    ${EndIf}
  ${Loop}
  FileClose $5
FunctionEnd

; Copies plotmira.$R1 into $PluginDir and remembers the copy.
Function CopyPluginFile
  ClearErrors
  ${If} ${FileExists} "$PluginDir\plotmira.$R1"
    Delete "$PluginDir\plotmira.$R1.old"
    Rename "$PluginDir\plotmira.$R1" "$PluginDir\plotmira.$R1.old"
    Delete /REBOOTOK "$PluginDir\plotmira.$R1.old"
  ${EndIf}
  CopyFiles /SILENT "$INSTDIR\plotmira.$R1" "$PluginDir\plotmira.$R1"
  ${If} ${Errors}
  ${OrIfNot} ${FileExists} "$PluginDir\plotmira.$R1"
    DetailPrint "$(PluginCopyFailed) $PluginDir"
    MessageBox MB_ICONEXCLAMATION|MB_OK "$(PluginCopyFailed) $PluginDir" /SD IDOK
    Return
  ${EndIf}
  DetailPrint "plotmira.$R1 -> $PluginDir"
  StrCpy $R4 "$PluginDir\plotmira.$R1"
  Call ListHasCopy
  ${If} $R5 == 1
    Return
  ${EndIf}
  FileOpen $0 "$INSTDIR\${COPIES_LIST}" a
  FileSeek $0 0 END
  FileWriteUTF16LE $0 "$PluginDir\plotmira.$R1$\r$\n"
  FileClose $0
FunctionEnd

Function CopyPlugin
  ${If} $PluginDir == ""
    Return
  ${EndIf}
  StrCpy $R0 $PluginDir
  Call PluginKind
  ${If} $R1 == both
    StrCpy $R1 spi
    Call CopyPluginFile
    StrCpy $R1 sph
  ${EndIf}
  Call CopyPluginFile
FunctionEnd

; The 32-bit shell DLL is called in this process; the 64-bit one registers
; through the 64-bit regsvr32 (this installer is a 32-bit program). Per user
; through DllInstall("user"), for all users through DllRegisterServer. The
; 64-bit one last: where the 32-bit view of the user's classes is not kept
; apart (Wine), its server is the one Explorer loads.
; $0: 1 to register, 0 to remove.
; A program file, replaced even while a process has it loaded (Explorer's
; thumbnail and preview hosts, a running viewer): Windows lets a loaded file
; be renamed, and the old one goes when it is free.
!macro PutBinary SOURCE DEST
  Delete "${DEST}.old"
  ${If} ${FileExists} "${DEST}"
    Rename "${DEST}" "${DEST}.old"
    Delete /REBOOTOK "${DEST}.old"
  ${EndIf}
  File "/oname=${DEST}" "${SOURCE}"
!macroend

; Removes a file; one still loaded is moved out of the way into the temporary
; folder (deleting at restart needs administrator rights), so that its folder
; can go.
!macro RemoveFile PATH
  Delete "${PATH}"
  ${If} ${FileExists} "${PATH}"
    GetTempFileName $9
    Delete $9
    Rename "${PATH}" $9
    Delete /REBOOTOK $9
    Delete /REBOOTOK "${PATH}"
  ${EndIf}
!macroend

!macro ShellDllsRegistration UN
Function ${UN}ShellDlls
  Exch $0
  Push $1
  Push $2
  Push $3
  StrCpy $3 "not loaded"
  System::Call 'kernel32::LoadLibraryW(w "$INSTDIR\x86\${SHELL_DLL}") p .r1'
  ${If} $1 P<> 0
    ${If} $AllUsers == 1
      ${If} $0 == 1
        System::Call 'kernel32::GetProcAddress(p r1, m "DllRegisterServer") p .r2'
      ${Else}
        System::Call 'kernel32::GetProcAddress(p r1, m "DllUnregisterServer") p .r2'
      ${EndIf}
      ${If} $2 P<> 0
        System::Call '::$2() i .r3'
      ${EndIf}
    ${Else}
      System::Call 'kernel32::GetProcAddress(p r1, m "DllInstall") p .r2'
      ${If} $2 P<> 0
        System::Call '::$2(i r0, w "user") i .r3'
      ${EndIf}
    ${EndIf}
    System::Call 'kernel32::FreeLibrary(p r1)'
  ${EndIf}
  ${If} $3 != 0
  ${AndIf} $0 == 1
    DetailPrint "$(RegisterFailed) x86\${SHELL_DLL} ($3)"
  ${EndIf}
  ${If} ${IsNativeAMD64}
    StrCpy $1 ""
    ${If} $0 == 0
      StrCpy $1 "/u "
    ${EndIf}
    ${If} $AllUsers != 1
      StrCpy $1 "$1/n /i:user "
    ${EndIf}
    ${DisableX64FSRedirection}
    ExecWait '"$SYSDIR\regsvr32.exe" /s $1"$INSTDIR\x64\${SHELL_DLL}"' $2
    ${EnableX64FSRedirection}
    ${If} $2 != 0
    ${AndIf} $0 == 1
      DetailPrint "$(RegisterFailed) x64\${SHELL_DLL} ($2)"
    ${EndIf}
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro ShellDllsRegistration ""
!insertmacro ShellDllsRegistration "un."

Section "Plotmira"
  !insertmacro UseScope
  SetOutPath "$INSTDIR"
  !insertmacro PutBinary "${STAGE}\plotmira.spi" "$INSTDIR\plotmira.spi"
  !insertmacro PutBinary "${STAGE}\plotmira.sph" "$INSTDIR\plotmira.sph"
  File "${STAGE}\README.txt"
  File "${STAGE}\LICENSE.txt"
  File "${STAGE}\plotmira.ico"
  ${If} ${IsNativeAMD64}
    SetOutPath "$INSTDIR\x64"
    !insertmacro PutBinary "${STAGE}\x64\${SHELL_DLL}" "$INSTDIR\x64\${SHELL_DLL}"
  ${EndIf}
  SetOutPath "$INSTDIR\x86"
  !insertmacro PutBinary "${STAGE}\x86\${SHELL_DLL}" "$INSTDIR\x86\${SHELL_DLL}"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  Push 1
  Call ShellDlls
  Call RefreshCopies
  Call CopyPlugin

  ; Listed under installed apps, in the scope's own keys.
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  IntFmt $1 "0x%08X" $1
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\plotmira.ico"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The uninstaller serves the scope its folder was installed for: all users
; when the machine's entry names this folder.
Function un.onInit
  StrCpy $AllUsers 0
  ${If} ${IsNativeAMD64}
    SetRegView 64
  ${EndIf}
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  SetRegView default
  ${If} $0 == $INSTDIR
    StrCpy $AllUsers 1
    !insertmacro IsElevated $0
    ${If} $0 != 1
      ${IfNot} ${Silent}
        ; Installed apps starts it without elevation: again, elevated.
        ClearErrors
        ExecShell "runas" '"$INSTDIR\uninstall.exe"'
        ${IfNot} ${Errors}
          Quit
        ${EndIf}
      ${EndIf}
      MessageBox MB_ICONSTOP|MB_OK "$(NeedsAdmin)" /SD IDOK
      SetErrorLevel 740
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  !insertmacro UseScope
  Push 0
  Call un.ShellDlls
  ; The plug-in copies this installation made, and nothing else.
  ClearErrors
  FileOpen $0 "$INSTDIR\${COPIES_LIST}" r
  ${IfNot} ${Errors}
    ${Do}
      ClearErrors
      FileReadUTF16LE $0 $1
      ${If} ${Errors}
        ${Break}
      ${EndIf}
      ${TrimNewLines} $1 $1
      ${GetFileName} $1 $2
      ${If} $2 == "plotmira.spi"
      ${OrIf} $2 == "plotmira.sph"
        !insertmacro RemoveFile $1
        !insertmacro RemoveFile "$1.old"
      ${EndIf}
    ${Loop}
    FileClose $0
  ${EndIf}
  Delete "$INSTDIR\${COPIES_LIST}"
  !insertmacro RemoveFile "$INSTDIR\x64\${SHELL_DLL}"
  !insertmacro RemoveFile "$INSTDIR\x86\${SHELL_DLL}"
  !insertmacro RemoveFile "$INSTDIR\x64\${SHELL_DLL}.old"
  !insertmacro RemoveFile "$INSTDIR\x86\${SHELL_DLL}.old"
  RMDir /REBOOTOK "$INSTDIR\x64"
  RMDir /REBOOTOK "$INSTDIR\x86"
  !insertmacro RemoveFile "$INSTDIR\plotmira.spi"
  !insertmacro RemoveFile "$INSTDIR\plotmira.sph"
  !insertmacro RemoveFile "$INSTDIR\plotmira.spi.old"
  !insertmacro RemoveFile "$INSTDIR\plotmira.sph.old"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\plotmira.ico"
  Delete "$INSTDIR\uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ; The plug-in's settings of the user who removes it.
  DeleteRegKey HKCU "${SETTINGS_KEY}"
SectionEnd
