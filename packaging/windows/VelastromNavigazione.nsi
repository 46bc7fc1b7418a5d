; The setup program of Velastrom di Navigazione: a per-user installation that
; needs no administrator rights.
;
; The program goes into the user's own programs folder, where its placement
; file (TavRolendiVelastromRoot.ini, written beside the executable) can be
; written, so the window keeps its place. The setup adds a Start-menu entry,
; an optional desktop shortcut and an entry in the installed-programs list;
; the uninstaller removes exactly these, the placement file with them. The
; shared product register below the Program Files folder belongs to the
; products and is never touched.
;
; Built by scripts/package:
;   makensis -INPUTCHARSET UTF8 -DPROGRAM=<VelastromNavigazione.exe>
;            -DRESOURCES=<resources folder> -DOUTFILE=<setup.exe> VelastromNavigazione.nsi
; The version and the company come from the program's version block, that is
; from resources/VelastromNavigazione.rc, which the program is built with.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!ifndef PROGRAM | RESOURCES | OUTFILE
  !error "define PROGRAM, RESOURCES and OUTFILE"
!endif

!define RESOURCE_SCRIPT "${RESOURCES}/VelastromNavigazione.rc"
!searchparse /file "${RESOURCE_SCRIPT}" `VALUE "CompanyName", "` COMPANY `"`
!searchparse /file "${RESOURCE_SCRIPT}" `VALUE "FileVersion", "` FILE_VERSION `"`
!searchparse /file "${RESOURCE_SCRIPT}" `VALUE "ProductVersion", "` PRODUCT_VERSION `"`

!define TITLE "Velastrom di Navigazione"
!define EXE "VelastromNavigazione.exe"
!define UNINSTALLER "Disinstalla.exe"
!define PLACEMENT_FILE "TavRolendiVelastromRoot.ini"
!define SHORTCUT "${TITLE}.lnk"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TavRolendiVelastrom"
; The company's folder in the user's programs folder; removed when it is left empty.
!define COMPANY_FOLDER "$LOCALAPPDATA\Programs\TavRolendi"

Name "${TITLE}"
OutFile "${OUTFILE}"
InstallDir "${COMPANY_FOLDER}\Velastrom"
BrandingText "${COMPANY}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

!include "MUI2.nsh"

!define MUI_ICON "${RESOURCES}/VelastromNavigazione.ico"
!define MUI_UNICON "${RESOURCES}/VelastromNavigazione.ico"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

; Not the usual advice to close other programs: nothing of the system is touched.
!define MUI_WELCOMEPAGE_TEXT "Questo programma installerà ${TITLE} per l'utente attuale, nella sua cartella dei programmi; non servono diritti di amministratore.$\r$\n$\r$\nPer proseguire, seleziona 'Avanti'."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Italian"

; The setup's own version block: the program's.
VIProductVersion "${PRODUCT_VERSION}"
VIFileVersion "${FILE_VERSION}"
VIAddVersionKey /LANG=${LANG_ITALIAN} "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=${LANG_ITALIAN} "FileDescription" "Installazione di ${TITLE}"
VIAddVersionKey /LANG=${LANG_ITALIAN} "FileVersion" "${FILE_VERSION}"
VIAddVersionKey /LANG=${LANG_ITALIAN} "LegalCopyright" ""
VIAddVersionKey /LANG=${LANG_ITALIAN} "ProductName" "${TITLE}"
VIAddVersionKey /LANG=${LANG_ITALIAN} "ProductVersion" "${PRODUCT_VERSION}"

Function .onInit
  SetShellVarContext current
FunctionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "${TITLE}" SectionProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  ; A placement file already there stays: the window keeps its place.
  File "/oname=${EXE}" "${PROGRAM}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  CreateShortcut "$SMPROGRAMS\${SHORTCUT}" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${TITLE}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${FILE_VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize ${SectionProgram} $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Collegamento sul desktop" SectionDesktop
  CreateShortcut "$DESKTOP\${SHORTCUT}" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0
SectionEnd

Section "Uninstall"
  Delete "$DESKTOP\${SHORTCUT}"
  Delete "$SMPROGRAMS\${SHORTCUT}"
  Delete "$INSTDIR\${EXE}"
  Delete "$INSTDIR\${PLACEMENT_FILE}"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Only when empty: whatever else the user put there stays.
  RMDir "$INSTDIR"
  RMDir "${COMPANY_FOLDER}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
