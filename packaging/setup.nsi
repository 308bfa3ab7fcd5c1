; The trainer PC's setup program: trimdesk.exe, hbvtool.exe and the library of the trainer's
; board model into the trainer's working folder, Start-menu entries and an uninstall entry.
; make_setup.cmake builds it:
;   makensis -INPUTCHARSET UTF8 -DTARGET=x86-unicode|amd64-unicode -DVERSION=1.2.3
;            -DDIST_DIR=... -DICON=... -DOUTPUT=...exe -DGUIDE_NSH=... [-DBOARD_DETECTOR=...]
; Silent: setup.exe /S [/MODEL=HBV7|HBV5] [/FORCE] [/D=FOLDER]  (NSIS wants /D last)
; The calibration files in C:\sys_kvel\ belong to the operator: setup creates that folder when
; it is missing and touches nothing in it, ever.

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
; The program that says which boards are attached; the tests build setups with a stand-in.
!ifndef BOARD_DETECTOR
    !define BOARD_DETECTOR "${DIST_DIR}\hbvtool.exe"
!endif

; Exit status of a refusal in silent mode; nothing has been changed then.
!define EXIT_INCOMPLETE 2       ; no folder, no model, or an unknown /MODEL
!define EXIT_CONTRADICTORY 3    ; the folder and the model would make a contradictory trainer
!define EXIT_NEWER_INSTALLED 4  ; an older setup over a newer installation, without /FORCE
!define EXIT_INSTALLED_ELSEWHERE 5

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
Var RemoveOtherDll     ; 1: the other model's library is ours from the earlier installation
Var RefusalCode        ; 0 when the plan holds
Var Refusal
Var Detail             ; what a refusal names
Var Hbv7Radio
Var Hbv5Radio

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

Section "-other model's library"
    ${If} $RemoveOtherDll == 1
        Delete "$INSTDIR\$OtherModel.dll"
        ${If} ${FileExists} "$INSTDIR\$OtherModel.dll"
            StrCpy $Detail "$INSTDIR\$OtherModel.dll"
            MessageBox MB_ICONSTOP "$(OtherDllStays)" /SD IDOK
            SetErrorLevel ${EXIT_CONTRADICTORY}
            Abort  ; before anything else was copied
        ${EndIf}
    ${EndIf}
SectionEnd

Section "-programs" SEC_PROGRAMS
    SetOutPath "$INSTDIR"
    File "${DIST_DIR}\trimdesk.exe"
    File "${DIST_DIR}\hbvtool.exe"
    !insertmacro InstallGuide
    CreateDirectory "${DATA_FOLDER}"
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
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    !insertmacro DeleteShortcuts
    CreateDirectory "${START_MENU}"
    CreateShortcut "${START_MENU}\$(CalibrationShortcut).lnk" "$INSTDIR\trimdesk.exe"
    CreateShortcut "${START_MENU}\$(ConsoleShortcut).lnk" "$SYSDIR\cmd.exe" "/k hbvtool --help"
    !ifdef GUIDE_INSTALLED
        CreateShortcut "${START_MENU}\$(GuideShortcut).lnk" "$INSTDIR\guide\index.html"
    !endif

    SectionGetSize ${SEC_PROGRAMS} $0
    ${If} $Model == HBV7
        SectionGetSize ${SEC_HBV7} $1
    ${Else}
        SectionGetSize ${SEC_HBV5} $1
    ${EndIf}
    IntOp $0 $0 + $1
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
SectionEnd

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
; and $Refusal when not, and $RemoveOtherDll.
Function CheckPlan
    StrCpy $RefusalCode 0
    StrCpy $RemoveOtherDll 0
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
    ${If} ${FileExists} "$INSTDIR\$OtherModel.dll"
        ${If} $PreviousModel == $OtherModel
            StrCpy $RemoveOtherDll 1
        ${Else}
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

; ---- Uninstall: exactly what setup installed ----

Function un.onInit
    SetShellVarContext all
    !insertmacro UseOneRegistryView
    ; The model only when the entry describes this folder's installation.
    ReadRegStr $PreviousFolder HKLM "${UNINSTALL_KEY}" InstallLocation
    ${If} $PreviousFolder == $INSTDIR
        ReadRegStr $Model HKLM "${UNINSTALL_KEY}" BoardModel
    ${EndIf}
FunctionEnd

Section "Uninstall"
    Delete "$INSTDIR\trimdesk.exe"
    Delete "$INSTDIR\hbvtool.exe"
    ${If} $Model == HBV7
    ${OrIf} $Model == HBV5
        Delete "$INSTDIR\$Model.dll"
    ${EndIf}
    !insertmacro UninstallGuide
    !insertmacro DeleteShortcuts
    RMDir "${START_MENU}"
    ${If} $PreviousFolder == $INSTDIR
        DeleteRegKey HKLM "${UNINSTALL_KEY}"
    ${EndIf}
    Delete "$INSTDIR\${UNINSTALLER}"
SectionEnd
