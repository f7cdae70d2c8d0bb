; Tagwright-Setup.exe: installs Tagwright and the Hueshell shell extension, and ties the
; extension's info tip, context-menu command, thumbnail and property handler to .icc and
; .icm files.
;
; Built by CMake (installer/CMakeLists.txt):
;   makensis -DVERSION=1.0.0.1 -DOUTFILE=... -DTAGWRIGHT_EXE=... -DTAGWRIGHT_CLI_EXE=... \
;            -DTAGWRIGHT_CLI_X64=... -DHUESHELL_X86=... -DHUESHELL_X64=... -DHUESHELL_PROPDESC=... Tagwright.nsi
;
; Layout of an installation:
;   64-bit Windows: $PROGRAMFILES64\Tagwright\Tagwright.exe
;                   $PROGRAMFILES64\Tagwright\tagwright-cli.exe    the command-line tool, 64-bit
;                   $PROGRAMFILES64\Tagwright\Hueshell.dll       64-bit, for Explorer
;                   $PROGRAMFILES64\Tagwright\x86\Hueshell.dll   32-bit, for 32-bit programs' file dialogs
;                   $PROGRAMFILES64\Tagwright\Hueshell.propdesc   the property schema
;   32-bit Windows: $PROGRAMFILES\Tagwright\Tagwright.exe
;                   $PROGRAMFILES\Tagwright\tagwright-cli.exe
;                   $PROGRAMFILES\Tagwright\Hueshell.dll
;                   README.txt, Uninstall.exe beside them
; Each library registers itself (regsvr32, which calls its DllRegisterServer) in the registry
; view of its own bitness. The pages show what happens in words; every step, command and exit
; code goes into a log in the user's temporary folder (Tagwright-Setup.log,
; Tagwright-Uninstall.log).
;
; Silent mode: Tagwright-Setup.exe /S [/D=folder], Uninstall.exe /S. Exit codes: 0 done;
; 2 a library could not be registered (everything undone); 32 Tagwright is running (nothing
; changed: close it first); 3010 done, but files in use go only at the next restart.

Unicode true
!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh

!ifndef VERSION
  !error "define VERSION (four numbers, e.g. 1.0.0.1)"
!endif
!ifndef OUTFILE
  !define OUTFILE "Tagwright-Setup.exe"
!endif
!ifndef TAGWRIGHT_EXE
  !error "define TAGWRIGHT_EXE: the path of Tagwright.exe"
!endif
!ifndef TAGWRIGHT_CLI_EXE
  !error "define TAGWRIGHT_CLI_EXE: the path of tagwright-cli.exe"
!endif
!ifndef TAGWRIGHT_CLI_X64
  !error "define TAGWRIGHT_CLI_X64: the path of the 64-bit tagwright-cli.exe"
!endif
!ifndef HUESHELL_X86
  !error "define HUESHELL_X86: the path of the 32-bit Hueshell.dll"
!endif
!ifndef HUESHELL_X64
  !error "define HUESHELL_X64: the path of the 64-bit Hueshell.dll"
!endif
!ifndef HUESHELL_PROPDESC
  !error "define HUESHELL_PROPDESC: the path of Hueshell.propdesc"
!endif

!define PRODUCT "Tagwright"
!define PUBLISHER "Veltro programs"
!define EXIT_TAGWRIGHT_RUNNING 32       ; ERROR_SHARING_VIOLATION
!define EXIT_RESTART_NEEDED 3010        ; ERROR_SUCCESS_REBOOT_REQUIRED
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define CLSID_ICCTIP "{4FF6B420-DAEF-4C5E-9467-AADA047A8CD9}"
!define CLSID_ICCMENU "{A287BA08-76B5-43BD-BAD6-E642F9A49F95}"
!define CLSID_ICCTHUMBNAIL "{B8375335-1165-4272-B1EE-4C0764C78036}"
!define CLSID_ICCPROPERTIES "{E56B8C6D-CDBB-44FA-97F2-F5E06331AF6A}"
!define CLSID_ICCPREVIEW "{5602683E-4967-4201-A5BA-12803EE1DFF6}"
; The shell asks the handler registered under this interface's ID for a file's info tip.
!define IID_IQUERYINFO "{00021500-0000-0000-C000-000000000046}"
; ... and the one registered under IThumbnailProvider's ID for its thumbnail.
!define IID_ITHUMBNAILPROVIDER "{e357fccd-a995-4576-b01f-234630154e96}"
; ... and the one registered under IPreviewHandler's ID for the preview pane.
!define IID_IPREVIEWHANDLER "{8895b1c6-b41f-4c1c-a562-0d564250836f}"
; The preview handlers that the preview host may load, by CLSID, in each registry view. The
; key is the system's: only our value goes again.
!define PREVIEW_HANDLERS "Software\Microsoft\Windows\CurrentVersion\PreviewHandlers"
!define PREVIEW_NAME "Hueshell profile preview"

; Where the handlers go. Explorer collects a file's handlers from the key of the ProgID that
; the extension names (HKCR\.icc's default value) and, whatever that ProgID is, from
; SystemFileAssociations\<extension>. The ProgID differs between machines (Windows' own
; "icmfile", an editor the user chose, none at all) and changes when the user picks another
; program, so handlers written under it would vanish with the next choice, or would land in
; another application's file type and go with its uninstaller. SystemFileAssociations belongs
; to the extension alone. It is also one of the keys that the 64-bit and 32-bit registry
; views share, so 32-bit programs' file dialogs see the same entries and then find the CLSID,
; which is per view, pointing at the 32-bit library.
!define ASSOC_ROOT "Software\Classes\SystemFileAssociations"

; Where the policy EnforceShellExtensionSecurity is set, Explorer loads only the extensions
; listed here. It is written in both registry views on 64-bit Windows, for the 64-bit
; Explorer and for 32-bit programs. The key is the system's: only our values go again.
!define APPROVED_KEY "Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved"

; The property handler of an extension: one per extension for the whole system, in each
; registry view. Ours is written when the extension has none, or has ours already; another
; program's stays, and so do the keys when it is gone.
!define PROPERTY_HANDLERS "Software\Microsoft\Windows\CurrentVersion\PropertySystem\PropertyHandlers"
; What the Details pane shows of a profile (FullDetails: the pane of a selected file and the
; Properties dialog's Details page; PreviewDetails: the pane's short form).
; Each list is its first and last properties with those of the version between them.
!define FULL_HEAD "prop:System.PropGroup.Description;System.Title;System.Copyright;Hueshell.Profile.DeviceClass;Hueshell.Profile.ColorSpace;Hueshell.Profile.ConnectionSpace;Hueshell.Profile.RenderingIntent;Hueshell.Profile.Version;Hueshell.Profile.Created;Hueshell.Profile.Manufacturer;Hueshell.Profile.Model;Hueshell.Profile.IdState;"
!define FULL_TAIL "System.PropGroup.FileSystem;System.ItemNameDisplay;System.ItemFolderPathDisplay;System.Size;System.DateCreated;System.DateModified"
!define PREVIEW_HEAD "prop:System.Title;Hueshell.Profile.DeviceClass;Hueshell.Profile.ColorSpace;Hueshell.Profile.Version;Hueshell.Profile.Created;"
!define PREVIEW_TAIL "System.Size;System.DateModified"
!define FULL_DETAILS "${FULL_HEAD}Hueshell.Profile.Health;Hueshell.Profile.GamutVolume;Hueshell.Profile.SrgbCoverage;Hueshell.Profile.DisplayP3Coverage;${FULL_TAIL}"
!define PREVIEW_DETAILS "${PREVIEW_HEAD}Hueshell.Profile.Health;${PREVIEW_TAIL}"
; The lists earlier versions wrote, which an upgrade replaces with the ones above (only where
; they still stand as written) and an uninstall takes back.
!define FULL_DETAILS_1 "${FULL_HEAD}${FULL_TAIL}"
!define FULL_DETAILS_2 "${FULL_HEAD}Hueshell.Profile.Health;${FULL_TAIL}"
!define PREVIEW_DETAILS_1 "${PREVIEW_HEAD}${PREVIEW_TAIL}"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
; The progress pages show a bar and one line in words; the details go into the log.
ShowInstDetails nevershow
ShowUninstDetails nevershow
SetCompressor /SOLID lzma
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright © 2026 ${PUBLISHER}"

Var LogFile

; --- Pages ---------------------------------------------------------------------------------

!define MUI_ICON "${__FILEDIR__}\..\editor\res\Tagwright.ico"
!define MUI_UNICON "${__FILEDIR__}\..\editor\res\Tagwright.ico"
!define MUI_ABORTWARNING

!define MUI_WELCOMEPAGE_TITLE "Welcome to the ${PRODUCT} ${VERSION} Setup"
!define MUI_WELCOMEPAGE_TEXT "Setup will install on this computer:$\r$\n$\r$\n\
- Tagwright, an editor for the description of ICC colour profiles (.icc, .icm files);$\r$\n$\r$\n\
- Hueshell, an extension of Explorer for those profiles: an info tip, the context-menu \
command $\"Copy to Color Folder$\", gamut thumbnails and the Details pane;$\r$\n$\r$\n\
- tagwright-cli, a command-line tool that changes descriptions in bulk.$\r$\n$\r$\n\
Close Tagwright if it is running, then click Next to continue."
!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE CloseTagwright
!insertmacro MUI_PAGE_DIRECTORY
; The progress page stays until Next, so that its last line can be read.
!define MUI_FINISHPAGE_NOAUTOCLOSE
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "${PRODUCT} has been installed. Open a profile with Tagwright, or \
point at one in Explorer to see its info tip.$\r$\n$\r$\nSetup's log: $LogFile"
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT}"
!define MUI_FINISHPAGE_RUN_FUNCTION StartAsUser
!define MUI_FINISHPAGE_LINK "Read the README"
!define MUI_FINISHPAGE_LINK_LOCATION "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_TEXT_REBOOT "A file that Explorer or another program is using can only be \
replaced when Windows restarts. ${PRODUCT} is installed; the new Explorer extension takes over \
after the restart."
!define MUI_FINISHPAGE_TEXT_REBOOTNOW "Restart now"
!define MUI_FINISHPAGE_TEXT_REBOOTLATER "I will restart later"
!insertmacro MUI_PAGE_FINISH

!define MUI_PAGE_CUSTOMFUNCTION_LEAVE un.CloseTagwright
!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_UNFINISHPAGE_NOAUTOCLOSE
!insertmacro MUI_UNPAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT_REBOOT "${PRODUCT} is removed, but files that Explorer or another \
program is using can only be deleted when Windows restarts. They go then, and so does their folder."
!define MUI_FINISHPAGE_TEXT_REBOOTNOW "Restart now"
!define MUI_FINISHPAGE_TEXT_REBOOTLATER "I will restart later"
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "English"


; --- Pieces shared by the installer and the uninstaller -----------------------------------

; One line of the log.
!macro Log TEXT
  FileOpen $R9 $LogFile a
  FileSeek $R9 0 END
  FileWrite $R9 "${TEXT}$\r$\n"
  FileClose $R9
!macroend

; What the progress page says, in words; the log gets it too.
!macro Status TEXT
  SetDetailsPrint textonly
  DetailPrint "${TEXT}"
  SetDetailsPrint none
  !insertmacro Log "${TEXT}"
!macroend

; A running Tagwright holds its program file, which can then be neither replaced nor removed:
; the user is asked to close it. Cancel (and a silent setup) ends here with nothing changed.
!macro DefineCloseTagwright UN WHAT
Function ${UN}CloseTagwright
  retry:
  ${IfNot} ${FileExists} "$INSTDIR\${PRODUCT}.exe"
    Return
  ${EndIf}
  ClearErrors
  FileOpen $0 "$INSTDIR\${PRODUCT}.exe" a
  ${IfNot} ${Errors}
    FileClose $0
    Return
  ${EndIf}
  !insertmacro Log "$INSTDIR\${PRODUCT}.exe is in use: ${PRODUCT} is running"
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${PRODUCT} is running.$\r$\n$\r$\nSave your work \
in it and close it, then click Retry. Cancel ends the ${WHAT} without changing anything." /SD IDCANCEL IDRETRY retry
  !insertmacro Log "Ended: ${PRODUCT} is running (exit code ${EXIT_TAGWRIGHT_RUNNING})"
  SetErrorLevel ${EXIT_TAGWRIGHT_RUNNING}
  Quit
FunctionEnd
!macroend
!insertmacro DefineCloseTagwright "" "setup"
!insertmacro DefineCloseTagwright "un." "uninstall"

; A silent run that left files for the next restart says so in its exit code.
!macro ReportRestart
  ${If} ${RebootFlag}
    !insertmacro Status "Files in use are replaced or removed when Windows restarts."
    ${If} ${Silent}
      SetErrorLevel ${EXIT_RESTART_NEEDED}
    ${EndIf}
  ${EndIf}
!macroend

; Runs regsvr32 (the one of bitness BITS: 32 or 64) with ARGS on DLL; $0 gets its exit code,
; or "not started". On 64-bit Windows this 32-bit installer sees the 32-bit System32 (really
; SysWOW64); the 64-bit regsvr32 is reached with file system redirection turned off.
!macro RunRegsvr32 BITS ARGS DLL
  ClearErrors
  StrCpy $0 "not started"
  !if ${BITS} == 64
    ${DisableX64FSRedirection}
    ExecWait '"$SYSDIR\regsvr32.exe" ${ARGS} "${DLL}"' $0
    ${EnableX64FSRedirection}
  !else
    ExecWait '"$SYSDIR\regsvr32.exe" ${ARGS} "${DLL}"' $0
  !endif
  !insertmacro Log "regsvr32 (${BITS}-bit) ${ARGS} ${DLL}: exit code $0"
!macroend

; Deletes HKLM\KEY when it has neither subkeys nor values (/ifempty looks at both): others
; may keep entries of their own beside ours, and those stay with the key that holds them.
!macro DropKeyIfUnused KEY
  DeleteRegKey /ifempty HKLM "${KEY}"
!macroend

; Deletes a value of HKLM\KEY only when it still holds what the setup wrote there.
!macro DeleteValueIfOurs KEY NAME OURS
  ReadRegStr $1 HKLM "${KEY}" "${NAME}"
  ${If} $1 == "${OURS}"
    DeleteRegValue HKLM "${KEY}" "${NAME}"
  ${EndIf}
!macroend

; Writes a value of HKLM\KEY only when it is empty or already ours: another program's stays.
!macro WriteValueIfFree KEY NAME OURS
  ReadRegStr $1 HKLM "${KEY}" "${NAME}"
  ${If} $1 == ""
  ${OrIf} $1 == "${OURS}"
    WriteRegStr HKLM "${KEY}" "${NAME}" "${OURS}"
  ${Else}
    !insertmacro Log "${KEY} keeps $1"
  ${EndIf}
!macroend

; Replaces a value of HKLM\KEY that still holds what an earlier version of ours wrote.
!macro UpgradeValue KEY NAME EARLIER OURS
  ReadRegStr $1 HKLM "${KEY}" "${NAME}"
  ${If} $1 == "${EARLIER}"
    WriteRegStr HKLM "${KEY}" "${NAME}" "${OURS}"
  ${EndIf}
!macroend

; A handler key's default value when it is ours, then the key when nothing else is in it.
!macro ReleaseHandler KEY OURS
  !insertmacro DeleteValueIfOurs "${KEY}" "" "${OURS}"
  !insertmacro DropKeyIfUnused "${KEY}"
!macroend

; The handler entries of one extension that still hold ours; the keys above them only when
; they became empty.
!macro Dissociate EXT
  !insertmacro DeleteValueIfOurs "${ASSOC_ROOT}\${EXT}" "FullDetails" "${FULL_DETAILS}"
  !insertmacro DeleteValueIfOurs "${ASSOC_ROOT}\${EXT}" "PreviewDetails" "${PREVIEW_DETAILS}"
  !insertmacro DeleteValueIfOurs "${ASSOC_ROOT}\${EXT}" "FullDetails" "${FULL_DETAILS_1}"
  !insertmacro DeleteValueIfOurs "${ASSOC_ROOT}\${EXT}" "FullDetails" "${FULL_DETAILS_2}"
  !insertmacro DeleteValueIfOurs "${ASSOC_ROOT}\${EXT}" "PreviewDetails" "${PREVIEW_DETAILS_1}"
  !insertmacro ReleaseHandler "${ASSOC_ROOT}\${EXT}\shellex\${IID_IQUERYINFO}" "${CLSID_ICCTIP}"
  !insertmacro ReleaseHandler "${ASSOC_ROOT}\${EXT}\shellex\ContextMenuHandlers\Hueshell" "${CLSID_ICCMENU}"
  !insertmacro ReleaseHandler "${ASSOC_ROOT}\${EXT}\shellex\${IID_ITHUMBNAILPROVIDER}" "${CLSID_ICCTHUMBNAIL}"
  !insertmacro ReleaseHandler "${ASSOC_ROOT}\${EXT}\shellex\${IID_IPREVIEWHANDLER}" "${CLSID_ICCPREVIEW}"
  !insertmacro DropKeyIfUnused "${ASSOC_ROOT}\${EXT}\shellex\ContextMenuHandlers"
  !insertmacro DropKeyIfUnused "${ASSOC_ROOT}\${EXT}\shellex"
  !insertmacro DropKeyIfUnused "${ASSOC_ROOT}\${EXT}"
!macroend

!macro Approve
  WriteRegStr HKLM "${APPROVED_KEY}" "${CLSID_ICCTIP}" "ICCTip Class"
  WriteRegStr HKLM "${APPROVED_KEY}" "${CLSID_ICCMENU}" "ICCMenu Class"
  WriteRegStr HKLM "${APPROVED_KEY}" "${CLSID_ICCTHUMBNAIL}" "ICCThumbnail Class"
  WriteRegStr HKLM "${APPROVED_KEY}" "${CLSID_ICCPROPERTIES}" "ICCProperties Class"
  WriteRegStr HKLM "${APPROVED_KEY}" "${CLSID_ICCPREVIEW}" "ICCPreview Class"
!macroend

!macro Disapprove
  DeleteRegValue HKLM "${APPROVED_KEY}" "${CLSID_ICCTIP}"
  DeleteRegValue HKLM "${APPROVED_KEY}" "${CLSID_ICCMENU}"
  DeleteRegValue HKLM "${APPROVED_KEY}" "${CLSID_ICCTHUMBNAIL}"
  DeleteRegValue HKLM "${APPROVED_KEY}" "${CLSID_ICCPROPERTIES}"
  DeleteRegValue HKLM "${APPROVED_KEY}" "${CLSID_ICCPREVIEW}"
!macroend

; The Approved list, the property handlers and the preview handler's entry, in the current
; registry view. The keys above the property handlers go only when nothing is left in them,
; as on a system that had none before.
!macro Withdraw
  !insertmacro Disapprove
  !insertmacro DeleteValueIfOurs "${PREVIEW_HANDLERS}" "${CLSID_ICCPREVIEW}" "${PREVIEW_NAME}"
  !insertmacro ReleaseHandler "${PROPERTY_HANDLERS}\.icc" "${CLSID_ICCPROPERTIES}"
  !insertmacro ReleaseHandler "${PROPERTY_HANDLERS}\.icm" "${CLSID_ICCPROPERTIES}"
  !insertmacro DropKeyIfUnused "${PROPERTY_HANDLERS}"
  !insertmacro DropKeyIfUnused "Software\Microsoft\Windows\CurrentVersion\PropertySystem"
!macroend

; Undoes an installation, or the part of one that an interrupted setup made. The association
; goes first, so that the shell stops asking for the classes before they are unregistered;
; each library is unregistered while its file is still there. Only what the setup put in
; place is removed: files of other origin in the folder keep it.
!macro DefineRemoveInstallation UN
Function ${UN}RemoveInstallation
  !insertmacro Dissociate ".icc"
  !insertmacro Dissociate ".icm"
  !insertmacro DropKeyIfUnused "${ASSOC_ROOT}"
  !insertmacro Withdraw
  ${If} ${RunningX64}
    SetRegView 32
    !insertmacro Withdraw
    SetRegView 64
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\Hueshell.propdesc"
    System::Call 'propsys::PSUnregisterPropertySchema(w "$INSTDIR\Hueshell.propdesc") i.r0'
  ${EndIf}

  Delete "$SMPROGRAMS\${PRODUCT}.lnk"

  ${If} ${RunningX64}
    ${If} ${FileExists} "$INSTDIR\Hueshell.dll"
      !insertmacro RunRegsvr32 64 "/s /u" "$INSTDIR\Hueshell.dll"
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\x86\Hueshell.dll"
      !insertmacro RunRegsvr32 32 "/s /u" "$INSTDIR\x86\Hueshell.dll"
    ${EndIf}
  ${ElseIf} ${FileExists} "$INSTDIR\Hueshell.dll"
    !insertmacro RunRegsvr32 32 "/s /u" "$INSTDIR\Hueshell.dll"
  ${EndIf}

  ; A file still in use (a library that Explorer holds, the running program) goes at the
  ; next restart, and then so do the folders. A folder cannot go while it is this
  ; process's working directory, which SetOutPath made it.
  SetOutPath "$TEMP"
  Delete /REBOOTOK "$INSTDIR\x86\Hueshell.dll"
  Delete /REBOOTOK "$INSTDIR\Hueshell.dll"
  Delete /REBOOTOK "$INSTDIR\${PRODUCT}.exe"
  Delete /REBOOTOK "$INSTDIR\tagwright-cli.exe"
  Delete "$INSTDIR\Hueshell.propdesc"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\Uninstall.exe"
  ${If} ${RebootFlag}
    RMDir /REBOOTOK "$INSTDIR\x86"
    RMDir /REBOOTOK "$INSTDIR"
  ${Else}
    RMDir "$INSTDIR\x86"
    RMDir "$INSTDIR"
  ${EndIf}

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
FunctionEnd
!macroend
!insertmacro DefineRemoveInstallation ""
!insertmacro DefineRemoveInstallation "un."

; The registry view and the shortcut folder this setup works in. The libraries' own
; registration is done by regsvr32 in the view of each library's bitness; what the setup
; writes itself goes into the system's native view (the Approved list into both).
!macro SelectContext
  SetShellVarContext all
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
!macroend


; --- Installer -----------------------------------------------------------------------------

; Setup runs elevated, and so would a program it started: Tagwright with an administrator's
; rights, which Explorer could not drop files on.  Explorer, which runs as the user, starts
; it instead.
Function StartAsUser
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\${PRODUCT}.exe"'
FunctionEnd

Function .onInit
  !insertmacro SelectContext
  StrCpy $LogFile "$TEMP\${PRODUCT}-Setup.log"
  Delete $LogFile
  !insertmacro Log "${PRODUCT} ${VERSION} setup"
  ; /D=folder on the command line has already set $INSTDIR.
  ${If} $INSTDIR == ""
    ${If} ${RunningX64}
      StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
    ${Else}
      StrCpy $INSTDIR "$PROGRAMFILES\${PRODUCT}"
    ${EndIf}
  ${EndIf}
  Call CloseTagwright
FunctionEnd

; Puts the library SRC into DIR. A library that Explorer has loaded cannot be overwritten
; but can be renamed: an earlier copy that is in use is moved aside and goes at the next
; restart, and the new one takes its place at once.
!macro PutLibrary SRC DIR
  SetOutPath "${DIR}"
  Delete "${DIR}\Hueshell.dll"
  ${If} ${FileExists} "${DIR}\Hueshell.dll"
    GetTempFileName $1 "${DIR}"
    Delete $1
    Rename "${DIR}\Hueshell.dll" $1
    Delete /REBOOTOK $1
    !insertmacro Log "${DIR}\Hueshell.dll is in use: moved aside to $1 until the next restart"
  ${EndIf}
  File "/oname=Hueshell.dll" "${SRC}"
!macroend

; Registers one library; a failure undoes the whole setup and ends it (exit code 2).
!macro Register BITS DLL
  !insertmacro RunRegsvr32 ${BITS} "/s" "${DLL}"
  ${If} ${Errors}
  ${OrIf} $0 != 0
    !insertmacro Log "Failed: ${DLL} could not be registered; undoing the setup"
    MessageBox MB_OK|MB_ICONSTOP "The Explorer extension ${DLL} could not be registered (regsvr32: $0).$\r$\n$\r$\nSetup has removed ${PRODUCT} again. The details are in $LogFile." /SD IDOK
    Call RemoveInstallation
    Abort
  ${EndIf}
!macroend

; The handlers and the Details lists of one extension, where no other program's are.
!macro Associate EXT
  !insertmacro WriteValueIfFree "${ASSOC_ROOT}\${EXT}\shellex\${IID_IQUERYINFO}" "" "${CLSID_ICCTIP}"
  !insertmacro WriteValueIfFree "${ASSOC_ROOT}\${EXT}\shellex\ContextMenuHandlers\Hueshell" "" "${CLSID_ICCMENU}"
  !insertmacro WriteValueIfFree "${ASSOC_ROOT}\${EXT}\shellex\${IID_ITHUMBNAILPROVIDER}" "" "${CLSID_ICCTHUMBNAIL}"
  !insertmacro WriteValueIfFree "${ASSOC_ROOT}\${EXT}\shellex\${IID_IPREVIEWHANDLER}" "" "${CLSID_ICCPREVIEW}"
  !insertmacro UpgradeValue "${ASSOC_ROOT}\${EXT}" "FullDetails" "${FULL_DETAILS_1}" "${FULL_DETAILS}"
  !insertmacro UpgradeValue "${ASSOC_ROOT}\${EXT}" "FullDetails" "${FULL_DETAILS_2}" "${FULL_DETAILS}"
  !insertmacro UpgradeValue "${ASSOC_ROOT}\${EXT}" "PreviewDetails" "${PREVIEW_DETAILS_1}" "${PREVIEW_DETAILS}"
  !insertmacro WriteValueIfFree "${ASSOC_ROOT}\${EXT}" "FullDetails" "${FULL_DETAILS}"
  !insertmacro WriteValueIfFree "${ASSOC_ROOT}\${EXT}" "PreviewDetails" "${PREVIEW_DETAILS}"
!macroend

; What the property handler needs in the current registry view, besides its class: the
; handlers' entries, the Approved list, and the mark that it saves through the destination
; stream the shell offers (ManualSafeSave), on the class key its library registered; and
; the preview handler's entry in the list the preview host loads from.
!macro Enlist
  !insertmacro WriteValueIfFree "${PREVIEW_HANDLERS}" "${CLSID_ICCPREVIEW}" "${PREVIEW_NAME}"
  !insertmacro WriteValueIfFree "${PROPERTY_HANDLERS}\.icc" "" "${CLSID_ICCPROPERTIES}"
  !insertmacro WriteValueIfFree "${PROPERTY_HANDLERS}\.icm" "" "${CLSID_ICCPROPERTIES}"
  !insertmacro Approve
  WriteRegDWORD HKLM "Software\Classes\CLSID\${CLSID_ICCPROPERTIES}" "ManualSafeSave" 1
!macroend

Section "Tagwright and Hueshell"
  SetDetailsPrint none
  !insertmacro Log "Installing into $INSTDIR"
  !insertmacro Status "Copying Tagwright, the Explorer extension and tagwright-cli..."
  SetOutPath "$INSTDIR"
  File "/oname=${PRODUCT}.exe" "${TAGWRIGHT_EXE}"
  ${If} ${RunningX64}
    File "/oname=tagwright-cli.exe" "${TAGWRIGHT_CLI_X64}"
  ${Else}
    File "/oname=tagwright-cli.exe" "${TAGWRIGHT_CLI_EXE}"
  ${EndIf}
  File "/oname=README.txt" "${__FILEDIR__}\..\README.md"
  ${If} ${RunningX64}
    !insertmacro PutLibrary "${HUESHELL_X64}" "$INSTDIR"
    !insertmacro PutLibrary "${HUESHELL_X86}" "$INSTDIR\x86"
  ${Else}
    !insertmacro PutLibrary "${HUESHELL_X86}" "$INSTDIR"
  ${EndIf}
  SetOutPath "$INSTDIR"
  File "/oname=Hueshell.propdesc" "${HUESHELL_PROPDESC}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  !insertmacro Status "Registering the Explorer extension..."
  ${If} ${RunningX64}
    !insertmacro Register 64 "$INSTDIR\Hueshell.dll"
    !insertmacro Register 32 "$INSTDIR\x86\Hueshell.dll"
  ${Else}
    !insertmacro Register 32 "$INSTDIR\Hueshell.dll"
  ${EndIf}

  !insertmacro Status "Adding the info tip, menu, thumbnail and Details pane of .icc and .icm files..."
  !insertmacro Associate ".icc"
  !insertmacro Associate ".icm"
  !insertmacro Enlist
  ${If} ${RunningX64}
    SetRegView 32
    !insertmacro Enlist
    SetRegView 64
  ${EndIf}
  ; Names the handler's own properties for Explorer. Without the schema the values are still
  ; served, but Explorer has no label for them; the setup goes on and says so.
  System::Call 'propsys::PSRegisterPropertySchema(w "$INSTDIR\Hueshell.propdesc") i.r0'
  ${If} $0 != 0
    !insertmacro Log "The property schema could not be registered (PSRegisterPropertySchema: $0)."
  ${EndIf}
  ; Explorer reads the handlers when it needs them, but caches file type information.
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'   ; SHCNE_ASSOCCHANGED

  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${PRODUCT}.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "HelpLink" "$INSTDIR\README.txt"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "$INSTDIR\README.txt"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Readme" "$INSTDIR\README.txt"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PRODUCT}.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  !insertmacro ReportRestart
  !insertmacro Status "Done."
SectionEnd


; --- Uninstaller ---------------------------------------------------------------------------

Function un.onInit
  !insertmacro SelectContext
  StrCpy $LogFile "$TEMP\${PRODUCT}-Uninstall.log"
  Delete $LogFile
  !insertmacro Log "${PRODUCT} ${VERSION} uninstall from $INSTDIR"
  Call un.CloseTagwright
FunctionEnd

Section "Uninstall"
  SetDetailsPrint none
  !insertmacro Status "Removing Tagwright and its Explorer extension..."
  Call un.RemoveInstallation
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
  !insertmacro ReportRestart
  !insertmacro Status "Done."
SectionEnd
