; The trainer PC's setup program: trimdesk.exe, hbvtool.exe and the library of the trainer's
; board model into the trainer's working folder, Start-menu entries and an uninstall entry.
; make_setup.cmake builds it:
;   makensis -INPUTCHARSET UTF8 -DTARGET=x86-unicode|amd64-unicode -DVERSION=1.2.3
;            -DDIST_DIR=... -DICON=... -DOUTPUT=...exe -DGUIDE_NSH=...
; Silent: setup.exe /S [/MODEL=HBV7|HBV5] [/FORCE] [/D=FOLDER]  (NSIS wants /D last)
; The calibration files in C:\sys_kvel\ belong to the operator: setup creates that folder when
; it is missing and touches nothing in it, ever.
; What it installed is listed in uninstall-trimdesk.files beside the uninstaller; a file of the
; trainer's own that it replaces waits in setup-backup\ for the uninstaller to put it back.

Target ${TARGET}
Unicode true
SetCompressor /SOLID lzma
ManifestSupportedOS all
RequestExecutionLevel admin

!define PRODUCT trimdesk
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define UNINSTALLER "uninstall-${PRODUCT}.exe"
!define START_MENU "$SMPROGRAMS\${PRODUCT}"
!define DATA_FOLDER "C:\sys_kvel"
!define FILE_LIST "uninstall-${PRODUCT}.files"  ; what setup installed and what it kept
!define BACKUP "setup-backup"   ; the trainer's own files that setup replaced
!define UNDO "setup-undo"       ; this run's replaced files of ours until the run succeeds
; The program that says which boards the system lists: the hbvtool this setup installs.
!define BOARD_DETECTOR "${DIST_DIR}\hbvtool.exe"

; Exit status of a refusal in silent mode; nothing has been changed then.
!define EXIT_INCOMPLETE 2       ; no folder, no model, or an unknown /MODEL
!define EXIT_CONTRADICTORY 3    ; the folder and the model would make a contradictory trainer
!define EXIT_NEWER_INSTALLED 4  ; an older setup over a newer installation, without /FORCE
!define EXIT_INSTALLED_ELSEWHERE 5
; A run that stops once it has begun puts back what it had moved: the earlier installation, its
; entry and the trainer's files are as they were.
!define EXIT_IN_USE 6           ; a file to replace or remove is in use (setup and uninstaller)
!define EXIT_NOT_ADMIN 7        ; no administrator rights: nothing could be recorded in HKLM
!define EXIT_NOT_KEPT 8         ; a file of the trainer's own could not be kept in setup-backup

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTPUT}"
BrandingText "${PRODUCT} ${VERSION}"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include StrFunc.nsh
!include Sections.nsh
!include nsDialogs.nsh
!include x64.nsh
!include "${GUIDE_NSH}"
${StrStr}

Var Model              ; HBV7 or HBV5: the library that goes into the folder
Var OtherModel
Var DetectedModel      ; the model of the attached board, when exactly one model is attached
Var PreviousFolder     ; what the uninstall entry of an earlier installation says
Var PreviousModel
Var PreviousVersion
Var RefusalCode        ; 0 when the plan holds
Var Refusal
Var Detail             ; what a refusal names
Var Hbv7Radio
Var Hbv5Radio
Var Phase              ; "writing" once this run's files may be in the folder
Var FailureCode        ; the exit status of a run that stopped and put everything back
Var Name               ; a name from a list, relative to the working folder
Var ListFile           ; arguments of the list functions
Var ListName
Var ListFound
Var ListFolder         ; where ReadInstalledList looks, and the model of its fallback
Var ListModel
Var EachList           ; arguments of ForEachName
Var EachFunction
Var Holder             ; the program that may hold a file in use

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_WELCOMEFINISHPAGE_BITMAP "${SIDE_PICTURE}"

!define MUI_DIRECTORYPAGE_TEXT_TOP "$(DirectoryExplained)"
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "$(DirectoryLabel)"
!insertmacro MUI_PAGE_DIRECTORY
Page custom ModelPageShow ModelPageLeave
!insertmacro MUI_PAGE_INSTFILES
; Both offers on by default; a silent install shows no page and so does neither.
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(StartCalibration)"
!define MUI_FINISHPAGE_RUN_FUNCTION StartCalibration
!ifdef GUIDE_INSTALLED
    !define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\guide\index.html"
    !define MUI_FINISHPAGE_SHOWREADME_TEXT "$(OpenGuide)"
!endif
!insertmacro MUI_PAGE_FINISH

!define MUI_UNCONFIRMPAGE_TEXT_TOP "$(UninstallExplained)"
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the one for every Windows whose interface is not Russian.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Russian"
!include "${__FILEDIR__}\setup_texts.nsh"


; A file that cannot be written stops the run, which then puts back what it had moved: no
; Ignore, and no mixed version under the new version's entry.
AllowSkipFiles off

; ---- Lists of names: one a line, relative to the working folder ----
; In $PLUGINSDIR: installed.txt and kept.txt (the earlier installation's, read from its file
; list), new.txt (what this run installs), undo.txt (files of ours this run moved to
; setup-undo\) and kept-now.txt (the trainer's own files this run moved to setup-backup\).

!macro StripLineEnd var
    ${Do}
        StrCpy $R9 ${var} 1 -1
        ${If} $R9 == "$\r"
        ${OrIf} $R9 == "$\n"
            StrCpy ${var} ${var} -1
        ${Else}
            ${ExitDo}
        ${EndIf}
    ${Loop}
!macroend

!macro SharedFunctions un
; Calls $EachFunction with $Name set to each name of the list $EachList. The function may use
; every register but $R2 to $R4, and every list function but this one.
Function ${un}ForEachName
    Push $R2
    Push $R3
    Push $R4
    StrCpy $R3 $EachFunction
    ClearErrors
    FileOpen $R2 $EachList r
    ${IfNot} ${Errors}
        ${Do}
            ClearErrors
            FileRead $R2 $R4
            ${If} ${Errors}
                ${ExitDo}
            ${EndIf}
            !insertmacro StripLineEnd $R4
            ${If} $R4 != ""
                StrCpy $Name $R4
                Call $R3
            ${EndIf}
        ${Loop}
        FileClose $R2
    ${EndIf}
    ClearErrors  ; the end of the list is no error of the caller's
    Pop $R4
    Pop $R3
    Pop $R2
FunctionEnd

Function ${un}AppendToList  ; $ListName as the last line of $ListFile
    Push $R0
    FileOpen $R0 $ListFile a
    FileSeek $R0 0 END
    FileWrite $R0 "$ListName$\r$\n"
    FileClose $R0
    Pop $R0
FunctionEnd

; The earlier installation in $ListFolder: installed.txt and kept.txt from its file list. An
; installation made before setup kept a list had installed the programs, the library of the
; model $ListModel and the guide, and kept nothing.
Function ${un}ReadInstalledList
    InitPluginsDir
    FileOpen $1 "$PLUGINSDIR\installed.txt" w
    FileOpen $2 "$PLUGINSDIR\kept.txt" w
    ${If} $ListFolder == ""
        ; no earlier installation
    ${ElseIf} ${FileExists} "$ListFolder\${FILE_LIST}"
        FileOpen $0 "$ListFolder\${FILE_LIST}" r
        ${Do}
            ClearErrors
            FileRead $0 $3
            ${If} ${Errors}
                ${ExitDo}
            ${EndIf}
            !insertmacro StripLineEnd $3
            StrCpy $4 $3 10
            StrCpy $5 $3 5
            ${If} $4 == "installed "
                StrCpy $3 $3 "" 10
                FileWrite $1 "$3$\r$\n"
            ${ElseIf} $5 == "kept "
                StrCpy $3 $3 "" 5
                FileWrite $2 "$3$\r$\n"
            ${EndIf}
        ${Loop}
        FileClose $0
    ${Else}
        FileWrite $1 "trimdesk.exe$\r$\nhbvtool.exe$\r$\n"
        ${If} $ListModel == HBV7
        ${OrIf} $ListModel == HBV5
            FileWrite $1 "$ListModel.dll$\r$\n"
        ${EndIf}
        !insertmacro WriteGuideNames $1
    ${EndIf}
    FileClose $1
    FileClose $2
    Delete "$PLUGINSDIR\undo.txt"
    FileOpen $1 "$PLUGINSDIR\undo.txt" w
    FileClose $1
FunctionEnd

; The program that may hold $Name open, for the messages that name both.
Function ${un}NameHolder
    StrCpy $0 $Name 6
    StrCpy $1 $Name 4 -4
    ${If} $Name == trimdesk.exe
        StrCpy $Holder "$(HeldByTrimdesk)"
    ${ElseIf} $Name == hbvtool.exe
        StrCpy $Holder "$(HeldByHbvtool)"
    ${ElseIf} $1 == .dll
        StrCpy $Holder "$(HeldByBoardPrograms)"
    ${ElseIf} $0 == "guide\"
        StrCpy $Holder "$(HeldByBrowser)"
    ${Else}
        StrCpy $Holder "$(HeldBySetup)"
    ${EndIf}
FunctionEnd

; Before anything is changed: $Name must not be open in another program. A file loaded as a
; program or library, open for writing, or opened without sharing cannot be opened for writing
; here; interactive, Retry once that program is closed, or Cancel and nothing changes.
Function ${un}StopWhileInUse
    ${IfNot} ${FileExists} "$INSTDIR\$Name"
        Return
    ${EndIf}
    again:
    ClearErrors
    FileOpen $0 "$INSTDIR\$Name" a
    ${If} ${Errors}
        Call ${un}NameHolder
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(FileInUse)" /SD IDCANCEL IDRETRY again
        StrCpy $FailureCode ${EXIT_IN_USE}
        Abort "$(NothingChanged)"
    ${EndIf}
    FileClose $0
FunctionEnd

; $Name, ours, moves aside into setup-undo\ (a rename: a loaded library can be renamed, and
; nothing is copied), noted in undo.txt for a run that stops to put it back.
Function ${un}MoveToUndo
    ${IfNot} ${FileExists} "$INSTDIR\$Name"
        Return
    ${EndIf}
    ${GetParent} "$INSTDIR\${UNDO}\$Name" $0
    ClearErrors
    CreateDirectory $0
    Rename "$INSTDIR\$Name" "$INSTDIR\${UNDO}\$Name"
    ${If} ${Errors}
        Call ${un}NameHolder
        MessageBox MB_ICONSTOP "$(FileNotMoved)" /SD IDOK
        StrCpy $FailureCode ${EXIT_IN_USE}
        Abort "$(NothingChanged)"
    ${EndIf}
    StrCpy $ListFile "$PLUGINSDIR\undo.txt"
    StrCpy $ListName $Name
    Call ${un}AppendToList
FunctionEnd

; The folders between $0 and the folder $1 that are left empty go, deepest first; $1 stays.
Function ${un}RemoveEmptyFolders
    StrLen $2 $1
    ${Do}
        ${GetParent} $0 $0
        StrCpy $3 $0 $2
        ${If} $3 != $1
        ${OrIf} $0 == $1
            ${ExitDo}
        ${EndIf}
        RMDir $0
    ${Loop}
FunctionEnd

Function ${un}ReturnFromUndo
    Delete "$INSTDIR\$Name"  ; this run's version, when it was written
    ${GetParent} "$INSTDIR\$Name" $0
    CreateDirectory $0
    Rename "$INSTDIR\${UNDO}\$Name" "$INSTDIR\$Name"
    StrCpy $0 "$INSTDIR\${UNDO}\$Name"
    StrCpy $1 "$INSTDIR\${UNDO}"
    Call ${un}RemoveEmptyFolders
FunctionEnd

; The trainer's own $Name comes back from setup-backup\ to its place, which is free now.
Function ${un}ReturnKept
    ${GetParent} "$INSTDIR\$Name" $0
    CreateDirectory $0
    ClearErrors
    Rename "$INSTDIR\${BACKUP}\$Name" "$INSTDIR\$Name"
    ${If} ${Errors}
        MessageBox MB_ICONEXCLAMATION "$(KeptNotReturned)" /SD IDOK
    ${EndIf}
    StrCpy $0 "$INSTDIR\${BACKUP}\$Name"
    StrCpy $1 "$INSTDIR\${BACKUP}"
    Call ${un}RemoveEmptyFolders
FunctionEnd

; Once the run has succeeded, the earlier files of ours in setup-undo\ are not needed.
Function ${un}DropUndo
    StrCpy $EachList "$PLUGINSDIR\undo.txt"
    GetFunctionAddress $EachFunction ${un}DropUndone
    Call ${un}ForEachName
    RMDir "$INSTDIR\${UNDO}"
FunctionEnd

Function ${un}DropUndone
    Delete /REBOOTOK "$INSTDIR\${UNDO}\$Name"
    StrCpy $0 "$INSTDIR\${UNDO}\$Name"
    StrCpy $1 "$INSTDIR\${UNDO}"
    Call ${un}RemoveEmptyFolders
FunctionEnd

; The folders that held $Name, when nothing else is left in them (the guide's).
Function ${un}RemoveFoldersOfName
    StrCpy $0 "$INSTDIR\$Name"
    StrCpy $1 $INSTDIR
    Call ${un}RemoveEmptyFolders
FunctionEnd

; Without administrator rights setup can write neither the uninstall entry nor the shortcuts for
; all users: it says so before it has changed anything.
Function ${un}StopWithoutAdministratorRights
    StrCpy $0 ""
    !ifdef ACCOUNT_TYPE_VARIABLE  ; the tests' stand-in: under Wine every program is an administrator
        ReadEnvStr $0 ${ACCOUNT_TYPE_VARIABLE}
    !endif
    ${If} $0 == ""
        UserInfo::GetAccountType
        Pop $0
    ${EndIf}
    ${If} $0 != Admin
        MessageBox MB_ICONSTOP "$(NotAdministrator)" /SD IDOK
        SetErrorLevel ${EXIT_NOT_ADMIN}
        Quit
    ${EndIf}
FunctionEnd
!macroend
!insertmacro SharedFunctions ""
!insertmacro SharedFunctions "un."

; Whether the list $ListFile holds $ListName, in any case (as Windows compares names):
; $ListFound 1 or 0.
Function ListHas
    Push $R0
    Push $R1
    StrCpy $ListFound 0
    ClearErrors
    FileOpen $R0 $ListFile r
    ${IfNot} ${Errors}
        ${Do}
            ClearErrors
            FileRead $R0 $R1
            ${If} ${Errors}
                ${ExitDo}
            ${EndIf}
            !insertmacro StripLineEnd $R1
            ${If} $R1 == $ListName
                StrCpy $ListFound 1
                ${ExitDo}
            ${EndIf}
        ${Loop}
        FileClose $R0
    ${EndIf}
    ClearErrors
    Pop $R1
    Pop $R0
FunctionEnd

; ---- What is installed ----

!macro DeleteShortcuts
    ; Both languages' names: an earlier run may have shown the other language.
    Delete "${START_MENU}\${CALIBRATION_SHORTCUT_RU}.lnk"
    Delete "${START_MENU}\${CALIBRATION_SHORTCUT_EN}.lnk"
    Delete "${START_MENU}\${CONSOLE_SHORTCUT_RU}.lnk"
    Delete "${START_MENU}\${CONSOLE_SHORTCUT_EN}.lnk"
    Delete "${START_MENU}\${GUIDE_SHORTCUT_RU}.lnk"
    Delete "${START_MENU}\${GUIDE_SHORTCUT_EN}.lnk"
!macroend

; Every file the run will write or remove is free, and then each one already in the folder is
; moved aside: the earlier installation's to setup-undo\, the trainer's own to setup-backup\.
; Until the entry is written, a run that stops puts all of them back (.onInstFailed).
Section "-set aside what is replaced"
    StrCpy $Phase moving
    Call WriteNewNames
    Delete "$PLUGINSDIR\kept-now.txt"
    FileOpen $0 "$PLUGINSDIR\kept-now.txt" w
    FileClose $0

    StrCpy $EachList "$PLUGINSDIR\new.txt"
    GetFunctionAddress $EachFunction StopWhileInUse
    Call ForEachName
    StrCpy $EachList "$PLUGINSDIR\installed.txt"
    Call ForEachName
    StrCpy $Name ${UNINSTALLER}
    Call StopWhileInUse
    StrCpy $Name ${FILE_LIST}
    Call StopWhileInUse

    StrCpy $EachList "$PLUGINSDIR\new.txt"
    GetFunctionAddress $EachFunction SetAsideReplaced
    Call ForEachName
    StrCpy $EachList "$PLUGINSDIR\installed.txt"
    GetFunctionAddress $EachFunction SetAsideStale
    Call ForEachName
    StrCpy $Name ${UNINSTALLER}
    Call MoveToUndo
    StrCpy $Name ${FILE_LIST}
    Call MoveToUndo
    StrCpy $Phase writing
SectionEnd

Section "-programs" SEC_PROGRAMS
    SetOutPath "$INSTDIR"
    File "${DIST_DIR}\trimdesk.exe"
    File "${DIST_DIR}\hbvtool.exe"
    !insertmacro InstallGuide
SectionEnd

Section "-HBV7.dll" SEC_HBV7
    SetOutPath "$INSTDIR"
    File "${DIST_DIR}\HBV7.dll"
SectionEnd

Section "-HBV5.dll" SEC_HBV5
    SetOutPath "$INSTDIR"
    File "${DIST_DIR}\HBV5.dll"
SectionEnd

Section "-shortcuts and uninstall entry"
    SetOutPath "$INSTDIR"  ; the shortcuts' start-in folder: trimdesk reads its markers there
    ClearErrors
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    ${IfNot} ${Errors}
        Call WriteFileList
    ${EndIf}
    ${If} ${Errors}
        StrCpy $FailureCode ${EXIT_IN_USE}
        Abort "$(NothingChanged)"
    ${EndIf}

    SectionGetSize ${SEC_PROGRAMS} $0
    ${If} $Model == HBV7
        SectionGetSize ${SEC_HBV7} $1
    ${Else}
        SectionGetSize ${SEC_HBV5} $1
    ${EndIf}
    IntOp $0 $0 + $1
    ClearErrors
    WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayName "$(DisplayName)"
    WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayVersion "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayIcon "$INSTDIR\trimdesk.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" UninstallString '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" QuietUninstallString '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" EstimatedSize $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoModify 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoRepair 1
    WriteRegStr HKLM "${UNINSTALL_KEY}" BoardModel $Model
    ${If} ${Errors}
        MessageBox MB_ICONSTOP "$(NotAdministrator)" /SD IDOK
        StrCpy $FailureCode ${EXIT_NOT_ADMIN}
        Abort "$(NothingChanged)"
    ${EndIf}

    ; From here on the new installation stands.
    Call DropUndo
    StrCpy $EachList "$PLUGINSDIR\installed.txt"
    GetFunctionAddress $EachFunction RemoveFoldersOfName
    Call ForEachName
    CreateDirectory "${DATA_FOLDER}"
    !insertmacro DeleteShortcuts
    CreateDirectory "${START_MENU}"
    CreateShortcut "${START_MENU}\$(CalibrationShortcut).lnk" "$INSTDIR\trimdesk.exe"
    CreateShortcut "${START_MENU}\$(ConsoleShortcut).lnk" "$SYSDIR\cmd.exe" "/k hbvtool --help"
    !ifdef GUIDE_INSTALLED
        CreateShortcut "${START_MENU}\$(GuideShortcut).lnk" "$INSTDIR\guide\index.html"
    !endif
SectionEnd

Function WriteNewNames
    FileOpen $0 "$PLUGINSDIR\new.txt" w
    FileWrite $0 "trimdesk.exe$\r$\nhbvtool.exe$\r$\n$Model.dll$\r$\n"
    !insertmacro WriteGuideNames $0
    FileClose $0
FunctionEnd

; $Name is about to be written: the earlier installation's file goes to setup-undo\, a file of
; the trainer's own to setup-backup\, where it waits for the uninstaller. A repair or an upgrade
; over our own installation keeps nothing.
Function SetAsideReplaced
    ${IfNot} ${FileExists} "$INSTDIR\$Name"
        Return
    ${EndIf}
    StrCpy $ListFile "$PLUGINSDIR\installed.txt"
    StrCpy $ListName $Name
    Call ListHas
    ${If} $ListFound == 1
        Call MoveToUndo
        Return
    ${EndIf}
    StrCpy $0 "$INSTDIR\${BACKUP}\$Name"
    ${GetParent} $0 $1
    ClearErrors
    ${If} ${FileExists} $0
        SetErrors  ; a copy kept earlier stays as it is
    ${Else}
        CreateDirectory $1
        Rename "$INSTDIR\$Name" $0
    ${EndIf}
    ${If} ${Errors}
        MessageBox MB_ICONSTOP "$(FileNotKept)" /SD IDOK
        StrCpy $FailureCode ${EXIT_NOT_KEPT}
        Abort "$(NothingChanged)"
    ${EndIf}
    DetailPrint "$(FileKept)"
    StrCpy $ListFile "$PLUGINSDIR\kept-now.txt"
    Call AppendToList
FunctionEnd

; $Name is the earlier installation's and this one has no such file (the other model's
; library, a page the guide no longer has): it goes as well.
Function SetAsideStale
    StrCpy $ListFile "$PLUGINSDIR\new.txt"
    StrCpy $ListName $Name
    Call ListHas
    ${If} $ListFound == 0
        Call MoveToUndo
    ${EndIf}
FunctionEnd

; The list beside the uninstaller: what this run installed, and every file of the trainer's own
; that waits in setup-backup\ (kept by this run or an earlier one). The error flag tells that
; it could not be written.
Function WriteFileList
    FileOpen $5 "$INSTDIR\${FILE_LIST}" w
    ${If} ${Errors}
        Return
    ${EndIf}
    FileWrite $5 "; ${PRODUCT} ${VERSION}: installed = written by setup, removed by the uninstaller;$\r$\n"
    FileWrite $5 "; kept = the trainer's own file, in ${BACKUP}\, that the uninstaller puts back$\r$\n"
    StrCpy $EachList "$PLUGINSDIR\new.txt"
    GetFunctionAddress $EachFunction WriteInstalledLine
    Call ForEachName
    StrCpy $EachList "$PLUGINSDIR\kept.txt"
    GetFunctionAddress $EachFunction WriteKeptLine
    Call ForEachName
    StrCpy $EachList "$PLUGINSDIR\kept-now.txt"
    Call ForEachName
    FileClose $5
FunctionEnd

Function WriteInstalledLine
    FileWrite $5 "installed $Name$\r$\n"
FunctionEnd

Function WriteKeptLine
    FileWrite $5 "kept $Name$\r$\n"
FunctionEnd

; The folder as the run found it: this run's files go, the earlier installation's and the
; trainer's own come back from setup-undo\ and setup-backup\.
Function RollBack
    ${If} $Phase == writing
        StrCpy $EachList "$PLUGINSDIR\new.txt"
        GetFunctionAddress $EachFunction RemoveWritten
        Call ForEachName
        Delete "$INSTDIR\${UNINSTALLER}"
        Delete "$INSTDIR\${FILE_LIST}"
    ${EndIf}
    StrCpy $EachList "$PLUGINSDIR\undo.txt"
    GetFunctionAddress $EachFunction ReturnFromUndo
    Call ForEachName
    RMDir "$INSTDIR\${UNDO}"
    StrCpy $EachList "$PLUGINSDIR\kept-now.txt"
    GetFunctionAddress $EachFunction ReturnKept
    Call ForEachName
    RMDir "$INSTDIR\${BACKUP}"
FunctionEnd

Function RemoveWritten
    Delete "$INSTDIR\$Name"
    Call RemoveFoldersOfName
FunctionEnd

Function .onInstFailed
    Call RollBack
    ${If} $FailureCode == ""
        StrCpy $FailureCode ${EXIT_IN_USE}  ; a file that could not be written
    ${EndIf}
    SetErrorLevel $FailureCode
FunctionEnd

; The finish page's offer: trimdesk started in the working folder, where it finds its markers.
Function StartCalibration
    SetOutPath "$INSTDIR"
    Exec '"$INSTDIR\trimdesk.exe"'
FunctionEnd

; ---- Choices and their checks ----

; The 32-bit and the 64-bit setup keep one uninstall entry: on 64-bit Windows both use the
; registry's 64-bit view, so each sees an installation made by the other (which would otherwise
; sit apart under WOW6432Node) and the rules on folders and versions hold across the two.
!macro UseOneRegistryView
    !if ${NSIS_PTR_SIZE} > 4
        SetRegView 64
    !else
        ${If} ${RunningX64}
            SetRegView 64
        ${EndIf}
    !endif
!macroend

Function .onInit
    SetShellVarContext all
    !insertmacro UseOneRegistryView
    Call StopWithoutAdministratorRights
    Call ReadPreviousInstallation
    Call StopOverNewerInstallation
    ${If} $INSTDIR == ""
        StrCpy $INSTDIR $PreviousFolder
    ${EndIf}
    Call ChooseModel
    ${If} ${Silent}
        Call CheckPlan
        ${If} $RefusalCode != 0
            SetErrorLevel $RefusalCode
            Quit
        ${EndIf}
        Call SelectModelSection
    ${EndIf}
FunctionEnd

Function ReadPreviousInstallation
    ReadRegStr $PreviousFolder HKLM "${UNINSTALL_KEY}" InstallLocation
    ReadRegStr $PreviousModel HKLM "${UNINSTALL_KEY}" BoardModel
    ReadRegStr $PreviousVersion HKLM "${UNINSTALL_KEY}" DisplayVersion
    StrCpy $ListFolder $PreviousFolder
    StrCpy $ListModel $PreviousModel
    Call ReadInstalledList
FunctionEnd

Function StopOverNewerInstallation
    ${If} $PreviousVersion == ""
        Return
    ${EndIf}
    ${VersionCompare} "${VERSION}" "$PreviousVersion" $0
    ${If} $0 != 2
        Return
    ${EndIf}
    ${GetParameters} $1
    ClearErrors
    ${GetOptions} $1 "/FORCE" $2
    ${If} ${Silent}
    ${AndIfNot} ${Errors}
        Return
    ${EndIf}
    MessageBox MB_ICONEXCLAMATION "$(NewerInstalled)" /SD IDOK
    SetErrorLevel ${EXIT_NEWER_INSTALLED}
    Quit
FunctionEnd

; The model: /MODEL= first, then the attached board, then the earlier installation's.
Function ChooseModel
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/MODEL=" $Detail
    ${IfNot} ${Errors}
        ; == ignores case, the library's file name is spelled one way.
        ${If} $Detail == HBV7
            StrCpy $Model HBV7
            Return
        ${ElseIf} $Detail == HBV5
            StrCpy $Model HBV5
            Return
        ${EndIf}
        MessageBox MB_ICONSTOP "$(UnknownModel)" /SD IDOK
        SetErrorLevel ${EXIT_INCOMPLETE}
        Quit
    ${EndIf}
    Call DetectAttachedBoard
    StrCpy $Model $DetectedModel
    ${If} $Model == ""
        StrCpy $Model $PreviousModel
    ${EndIf}
FunctionEnd

Function DetectAttachedBoard
    InitPluginsDir
    File "/oname=$PLUGINSDIR\boards.exe" "${BOARD_DETECTOR}"
    nsExec::ExecToStack /TIMEOUT=20000 '"$PLUGINSDIR\boards.exe" boards'
    Pop $0  ; exit status, or "error" / "timeout"
    Pop $1  ; one model a line
    StrCpy $DetectedModel ""
    ${If} $0 != 0
        Return
    ${EndIf}
    ${StrStr} $2 $1 HBV7
    ${StrStr} $3 $1 HBV5
    ${If} $2 != ""
    ${AndIf} $3 == ""
        StrCpy $DetectedModel HBV7
    ${ElseIf} $3 != ""
    ${AndIf} $2 == ""
        StrCpy $DetectedModel HBV5
    ${EndIf}
FunctionEnd

!macro Refuse code text
    StrCpy $RefusalCode ${code}
    StrCpy $Refusal "${text}"
    Return
!macroend

!macro NoteMarker name
    ${If} ${FileExists} "$INSTDIR\${name}"
        StrCpy $Detail "$Detail ${name}"
    ${EndIf}
!macroend

; Whether installing $Model into $INSTDIR would leave a trainer that works; sets $RefusalCode
; and $Refusal when not.
Function CheckPlan
    StrCpy $RefusalCode 0
    ${If} $INSTDIR == ""
        !insertmacro Refuse ${EXIT_INCOMPLETE} "$(NoFolder)"
    ${EndIf}
    ${If} $Model == ""
        !insertmacro Refuse ${EXIT_INCOMPLETE} "$(NoModel)"
    ${EndIf}
    ${If} $PreviousFolder != ""
    ${AndIf} $PreviousFolder != $INSTDIR
        !insertmacro Refuse ${EXIT_INSTALLED_ELSEWHERE} "$(InstalledElsewhere)"
    ${EndIf}

    ; HBV5.dll is itself an interface marker (capta.exe): beside another one trimdesk refuses
    ; the calibration.
    StrCpy $Detail ""
    ${If} $Model == HBV5
        !insertmacro NoteMarker fourpot.dll
        !insertmacro NoteMarker hostbus.dll
        !insertmacro NoteMarker rsport.dll
        !insertmacro NoteMarker simulator.exe
    ${EndIf}
    ${If} $Detail != ""
        !insertmacro Refuse ${EXIT_CONTRADICTORY} "$(MarkerConflict)"
    ${EndIf}

    ${If} $Model == HBV7
        StrCpy $OtherModel HBV5
    ${Else}
        StrCpy $OtherModel HBV7
    ${EndIf}
    ; The other model's library of the earlier installation goes with the model change; any
    ; other copy is the trainer's.
    ${If} ${FileExists} "$INSTDIR\$OtherModel.dll"
        StrCpy $ListFile "$PLUGINSDIR\installed.txt"
        StrCpy $ListName "$OtherModel.dll"
        Call ListHas
        ${If} $ListFound == 0
            StrCpy $Detail "$INSTDIR\$OtherModel.dll"
            !insertmacro Refuse ${EXIT_CONTRADICTORY} "$(ForeignDll)"
        ${EndIf}
    ${EndIf}
FunctionEnd

Function SelectModelSection
    ${If} $Model == HBV7
        !insertmacro SelectSection ${SEC_HBV7}
        !insertmacro UnselectSection ${SEC_HBV5}
    ${Else}
        !insertmacro SelectSection ${SEC_HBV5}
        !insertmacro UnselectSection ${SEC_HBV7}
    ${EndIf}
FunctionEnd

; ---- The board model page ----

Function ModelPageShow
    !insertmacro MUI_HEADER_TEXT "$(ModelTitle)" "$(ModelSubtitle)"
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 20u "$(ModelExplained)"
    Pop $0
    ${NSD_CreateRadioButton} 10u 26u 90% 12u "$(Hbv7Choice)"
    Pop $Hbv7Radio
    ${NSD_CreateRadioButton} 10u 42u 90% 12u "$(Hbv5Choice)"
    Pop $Hbv5Radio
    ${If} $DetectedModel != ""
        ${NSD_CreateLabel} 0 66u 100% 24u "$(BoardFound)"
    ${Else}
        ${NSD_CreateLabel} 0 66u 100% 24u "$(BoardNotFound)"
    ${EndIf}
    Pop $0
    ${If} $Model == HBV7
        ${NSD_Check} $Hbv7Radio
    ${ElseIf} $Model == HBV5
        ${NSD_Check} $Hbv5Radio
    ${EndIf}
    nsDialogs::Show
FunctionEnd

Function ModelPageLeave
    StrCpy $Model ""
    ${NSD_GetState} $Hbv7Radio $0
    ${NSD_GetState} $Hbv5Radio $1
    ${If} $0 == ${BST_CHECKED}
        StrCpy $Model HBV7
    ${ElseIf} $1 == ${BST_CHECKED}
        StrCpy $Model HBV5
    ${EndIf}
    Call CheckPlan
    ${If} $RefusalCode != 0
        MessageBox MB_ICONSTOP "$Refusal"
        Abort  ; stays on the page: the technician can choose again or go back
    ${EndIf}
    Call SelectModelSection
FunctionEnd

; ---- Uninstall: exactly what setup installed, then the trainer's own files back ----

Function un.onInit
    SetShellVarContext all
    !insertmacro UseOneRegistryView
    Call un.StopWithoutAdministratorRights
    ; The model only when the entry describes this folder's installation.
    ReadRegStr $PreviousFolder HKLM "${UNINSTALL_KEY}" InstallLocation
    ${If} $PreviousFolder == $INSTDIR
        ReadRegStr $Model HKLM "${UNINSTALL_KEY}" BoardModel
    ${EndIf}
FunctionEnd

; Nothing changes while a file of ours is in use; our files move aside into setup-undo\ first,
; so that one that cannot be moved stops the uninstaller with everything back in place and the
; entry kept (un.onUninstFailed).
Section "Uninstall"
    StrCpy $ListFolder $INSTDIR
    StrCpy $ListModel $Model
    Call un.ReadInstalledList
    StrCpy $EachList "$PLUGINSDIR\installed.txt"
    GetFunctionAddress $EachFunction un.StopWhileInUse
    Call un.ForEachName
    GetFunctionAddress $EachFunction un.MoveToUndo
    Call un.ForEachName

    StrCpy $EachList "$PLUGINSDIR\kept.txt"
    GetFunctionAddress $EachFunction un.ReturnKept
    Call un.ForEachName
    RMDir "$INSTDIR\${BACKUP}"
    Call un.DropUndo
    StrCpy $EachList "$PLUGINSDIR\installed.txt"
    GetFunctionAddress $EachFunction un.RemoveFoldersOfName
    Call un.ForEachName

    !insertmacro DeleteShortcuts
    RMDir "${START_MENU}"
    ${If} $PreviousFolder == $INSTDIR
        DeleteRegKey HKLM "${UNINSTALL_KEY}"
    ${EndIf}
    Delete "$INSTDIR\${FILE_LIST}"
    Delete "$INSTDIR\${UNINSTALLER}"
SectionEnd

Function un.onUninstFailed
    StrCpy $EachList "$PLUGINSDIR\undo.txt"
    GetFunctionAddress $EachFunction un.ReturnFromUndo
    Call un.ForEachName
    RMDir "$INSTDIR\${UNDO}"
    SetErrorLevel $FailureCode
FunctionEnd
