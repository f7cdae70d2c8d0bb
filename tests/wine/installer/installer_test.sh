#!/usr/bin/env bash
# installer_test.sh ARCH WORKDIR
#
# Installs Tagwright-Setup.exe silently into a fresh Wine prefix of kind ARCH (win64: a
# 64-bit Windows, win32: a 32-bit one) under WORKDIR, checks the files, the shortcut, the
# registration and the association through the shell client (one of each bitness on win64),
# uninstalls silently and compares the registry with its state before the install.
#  - win64: someone else's entries sit beside ours under the association keys and must
#    survive; first a setup whose 32-bit library refuses to register must undo itself;
#    after the uninstall the .reg pair is checked the same way, with both libraries
#    registered by hand with regsvr32.
#    Then another program's handlers and Details lists are put where ours go, in both
#    registry views: an install and an uninstall leave them as they were. Details lists
#    that an earlier version of ours wrote are replaced by an install.
#  - win32: the setup runs twice, the second time over the first, as an upgrade does.
# Inputs come from the environment (tests/wine/installer/CMakeLists.txt sets them).
set -uo pipefail

arch=$1 work=$2
for v in WINE_RUN SETUP FAILING_SETUP HOLD_FILE TAGWRIGHT_EXE TAGWRIGHT_CLI_EXE TAGWRIGHT_CLI_X64 HUESHELL_X86 HUESHELL_X64 CLIENT_X86 CLIENT_X64 REG_DIR; do
  [ -n "${!v:-}" ] || { echo "$v is not set" >&2; exit 2; }
done
needed=("$SETUP" "$FAILING_SETUP" "$TAGWRIGHT_EXE" "$HUESHELL_X86" "$CLIENT_X86")
[ "$arch" = win64 ] && needed+=("$HUESHELL_X64" "$TAGWRIGHT_CLI_X64" "$CLIENT_X64")
for f in "${needed[@]}"; do
  [ -f "$f" ] || { echo "missing: $f (the 64-bit files come from the win64 tree: build it first)" >&2; exit 2; }
done

rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
export WINEARCH=$arch
# winemenubuilder would copy the Start-menu shortcut into the Linux user's own menus. Wine's
# debugger, started when any process of the prefix crashes, would write console settings
# into the registry; a crash of one of ours shows in its exit code and its report anyway.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
step() { echo "--- [${SECONDS}s] $*"; }
win() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }
run() { "$WINE_RUN" "$prefix" "$@"; }
# Waits for every process of the prefix, such as the uninstaller's copy of itself, to end.
settle() { WINEPREFIX=$prefix wineserver -w; }

tip_clsid='{4FF6B420-DAEF-4C5E-9467-AADA047A8CD9}'
menu_clsid='{A287BA08-76B5-43BD-BAD6-E642F9A49F95}'
thumbnail_clsid='{B8375335-1165-4272-B1EE-4C0764C78036}'
properties_clsid='{E56B8C6D-CDBB-44FA-97F2-F5E06331AF6A}'
preview_clsid='{5602683E-4967-4201-A5BA-12803EE1DFF6}'
full_details='prop:System.PropGroup.Description;System.Title;System.Copyright;Hueshell.Profile.DeviceClass;Hueshell.Profile.ColorSpace;Hueshell.Profile.ConnectionSpace;Hueshell.Profile.RenderingIntent;Hueshell.Profile.Version;Hueshell.Profile.Created;Hueshell.Profile.Manufacturer;Hueshell.Profile.Model;Hueshell.Profile.IdState;Hueshell.Profile.Health;Hueshell.Profile.GamutVolume;Hueshell.Profile.SrgbCoverage;Hueshell.Profile.DisplayP3Coverage;System.PropGroup.FileSystem;System.ItemNameDisplay;System.ItemFolderPathDisplay;System.Size;System.DateCreated;System.DateModified'
preview_details='prop:System.Title;Hueshell.Profile.DeviceClass;Hueshell.Profile.ColorSpace;Hueshell.Profile.Version;Hueshell.Profile.Created;Hueshell.Profile.Health;System.Size;System.DateModified'
srgb=/usr/share/color/icc/sRGB.icc
lab=/usr/share/color/icc/LCMSLABI.ICM

# Flattens a regedit export into sorted lines, "[key]" for each key and "[key] value" for
# each value, so that two exports compare line by line.
flatten() {
  iconv -f UTF-16LE -t UTF-8 "$1" | tr -d '\r' | sed '1s/^\xEF\xBB\xBF//' | awk '
    NR == 1 { next }
    cont { sub(/^ +/, ""); buf = buf $0 }
    !cont { buf = $0 }
    /\\$/ { sub(/\\$/, "", buf); cont = 1; next }
    { cont = 0 }
    buf ~ /^\[/ { key = buf; print key; next }
    buf != "" { print key " " buf }' | LC_ALL=C sort
}

# What Wine itself changes between two exports, whatever ran in between: its display driver
# writes the device class keys of the display adapters and the monitors anew (with the
# time as driver date) each time a program starts the desktop.
volatile='\\Control\\Class\\\{4D36E96[8E]-E325-11CE-BFC1-08002BE10318\}'
compare_registry() {  # BEFORE AFTER LABEL [ALLOWED]: ALLOWED matches lines that may be added
  local label=$3 allowed=${4:-}
  diff <(flatten "$1" | grep -Ev "$volatile") <(flatten "$2" | grep -Ev "$volatile") >"$work/$label.diff"
  local extra
  if [ -n "$allowed" ]; then
    extra=$(grep -E '^[<>] ' "$work/$label.diff" | grep -Ev "^> ($allowed)\$")
  else
    extra=$(grep -E '^[<>] ' "$work/$label.diff")
  fi
  if [ -n "$extra" ]; then
    fail "$label: the registry differs from its state before (< before, > after):"
    echo "$extra" | head -60
  fi
}

# The client's report for a working installation whose library is LIBRARY (Windows path).
expected_client() {  # BITS LIBRARY ENTRY-DIR|none
  local bits=$1 lib=$2 dir=$3
  echo "arch $bits"
  echo "progid Hueshell.ICCTip $tip_clsid"
  echo "progid Hueshell.ICCTip.1 $tip_clsid"
  echo "progid Hueshell.ICCMenu $menu_clsid"
  echo "progid Hueshell.ICCMenu.1 $menu_clsid"
  echo "progid Hueshell.ICCThumbnail $thumbnail_clsid"
  echo "progid Hueshell.ICCThumbnail.1 $thumbnail_clsid"
  echo "progid Hueshell.ICCProperties $properties_clsid"
  echo "progid Hueshell.ICCProperties.1 $properties_clsid"
  echo "progid Hueshell.ICCPreview $preview_clsid"
  echo "progid Hueshell.ICCPreview.1 $preview_clsid"
  echo "server $tip_clsid $lib Apartment"
  echo "server $menu_clsid $lib Apartment"
  echo "server $thumbnail_clsid $lib Both"
  echo "server $properties_clsid $lib Both"
  echo "server $preview_clsid $lib Apartment"
  # Without the setup (regsvr32 and the .reg pair) the property handler is not tied to the
  # extensions, nor the properties named in the Details pane.
  local handler=$properties_clsid details="$full_details $preview_details" listed="Hueshell profile preview"
  # The preview host of the library's bitness: the 32-bit one on 64-bit Windows.
  local appid='{6d2b5079-2f0b-48dd-ab7f-97cec514d30b}'
  [ "$bits" = 32 ] && [ "$arch" = win64 ] && appid='{534A1E02-D58F-44f0-B58B-36CBED287C7C}'
  if [ "$dir" = none ]; then
    handler=none details="none none" listed=none
    echo "approved $tip_clsid none"
    echo "approved $menu_clsid none"
    echo "approved $thumbnail_clsid none"
    echo "approved $properties_clsid none"
    echo "approved $preview_clsid none"
    for n in DisplayName DisplayVersion Publisher HelpLink UninstallString QuietUninstallString; do echo "entry $n none"; done
  else
    echo "approved $tip_clsid ICCTip Class"
    echo "approved $menu_clsid ICCMenu Class"
    echo "approved $thumbnail_clsid ICCThumbnail Class"
    echo "approved $properties_clsid ICCProperties Class"
    echo "approved $preview_clsid ICCPreview Class"
    echo "entry DisplayName Tagwright"
    echo "entry DisplayVersion 1.0.0.1"
    echo "entry Publisher Veltro programs"
    echo "entry HelpLink $dir\\README.txt"
    echo "entry UninstallString \"$dir\\Uninstall.exe\""
    echo "entry QuietUninstallString \"$dir\\Uninstall.exe\" /S"
  fi
  echo "handlers .icc tip $tip_clsid menu $menu_clsid thumbnail $thumbnail_clsid properties $handler"
  echo "details .icc $details"
  echo "preview .icc $preview_clsid listed $listed appid $appid"
  echo "tip $(win $srgb) $lib Description: sRGB\nClass: Monitor\nColor Space: RGB\nConnection Space: XYZ\nIntent: Perceptual"
  echo "menu $(win $srgb) Copy to Color Folder"
  echo "thumbnail $(win $srgb) $lib 256x256 argb"
  [ "$handler" = none ] || echo "properties $(win $srgb) $lib sRGB | Monitor | Absent"
  echo "handlers .ICM tip $tip_clsid menu $menu_clsid thumbnail $thumbnail_clsid properties $handler"
  echo "details .ICM $details"
  echo "preview .ICM $preview_clsid listed $listed appid $appid"
  echo "tip $(win $lab) $lib Description: little cms Relative L*a*b* identity profile\nClass: Monitor\nColor Space: Lab\nConnection Space: Lab\nIntent: Relative Colorimetric"
  echo "menu $(win $lab) Copy to Color Folder"
  echo "thumbnail $(win $lab) $lib 256x256 argb"
  [ "$handler" = none ] || echo "properties $(win $lab) $lib little cms Relative L*a*b* identity profile | Monitor | Absent"
}

check_client() {  # LABEL CLIENT BITS LIBRARY ENTRY-DIR|none
  local label=$1 client=$2
  run "$(win "$client")" "$(win $srgb)" "$(win $lab)" | tr -d '\r' >"$work/$label.out"
  local status=${PIPESTATUS[0]}
  expected_client "$3" "$4" "$5" >"$work/$label.expected"
  if ! diff "$work/$label.expected" "$work/$label.out" >"$work/$label.diff"; then
    fail "$label: the shell client's report differs (< expected, > got):"
    cat "$work/$label.diff"
  elif [ "$status" -ne 0 ]; then
    fail "$label: the shell client exited with $status"
  fi
}

same_file() {  # INSTALLED SOURCE
  if [ ! -f "$1" ]; then fail "not installed: $1"
  elif ! cmp -s "$1" "$2"; then fail "$1 is not $2"
  fi
}

install_dir='C:\Program Files\Tagwright'
unix_dir="$prefix/drive_c/Program Files/Tagwright"
shortcut="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Tagwright.lnk"

step "fresh $arch prefix"
if [ "$arch" = win64 ]; then
  # Entries of someone else beside ours: the uninstaller must leave them and their keys.
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_LOCAL_MACHINE\Software\Classes\SystemFileAssociations\.icc\shellex\ContextMenuHandlers\Other]' \
    '@="{0E5C8F2A-4B1D-4C2B-9D3E-2A7B6C5D4E3F}"' '' \
    '[HKEY_LOCAL_MACHINE\Software\Classes\SystemFileAssociations\.icm]' \
    '"PerceivedType"="document"' '' >"$work/others.reg"
  run regedit /S "$(win "$work/others.reg")" || fail "regedit could not import others.reg"
else
  run cmd /c exit 0 || fail "the prefix could not be made"
fi
run regedit /E "$(win "$work/before.reg")" || fail "regedit /E before"

if [ "$arch" = win64 ]; then
  step "a setup whose 32-bit library fails to register undoes itself"
  run "$(win "$FAILING_SETUP")" /S
  status=$?
  settle
  [ "$status" -eq 2 ] || fail "the failing setup exited with $status, not 2"
  [ ! -e "$unix_dir" ] || fail "the failing setup left files: $(cd "$unix_dir" && find . -mindepth 1)"
  [ ! -e "$shortcut" ] || fail "the failing setup left its shortcut"
  run regedit /E "$(win "$work/after-failure.reg")" || fail "regedit /E after the failing setup"
  compare_registry "$work/before.reg" "$work/after-failure.reg" failed-install
  installs=1
else
  # The second install goes over the first, as an upgrade does.
  installs=2
fi

for i in $(seq $installs); do
  step "silent install ($i)"
  run "$(win "$SETUP")" /S
  status=$?
  settle
  [ "$status" -eq 0 ] || fail "Tagwright-Setup.exe /S exited with $status"
done

step "files"
same_file "$unix_dir/Tagwright.exe" "$TAGWRIGHT_EXE"
[ -f "$unix_dir/Uninstall.exe" ] || fail "no Uninstall.exe"
if [ ! -f "$shortcut" ]; then
  fail "no Start-menu shortcut: $shortcut"
elif ! grep -qaF "$install_dir\Tagwright.exe" "$shortcut"; then
  fail "the Start-menu shortcut does not lead to $install_dir\Tagwright.exe"
fi
if [ "$arch" = win64 ]; then
  same_file "$unix_dir/tagwright-cli.exe" "$TAGWRIGHT_CLI_X64"
  same_file "$unix_dir/Hueshell.dll" "$HUESHELL_X64"
  same_file "$unix_dir/x86/Hueshell.dll" "$HUESHELL_X86"
  listing=$'Hueshell.dll\nHueshell.propdesc\nREADME.txt\nTagwright.exe\nUninstall.exe\ntagwright-cli.exe\nx86\nx86/Hueshell.dll'
else
  same_file "$unix_dir/tagwright-cli.exe" "$TAGWRIGHT_CLI_EXE"
  same_file "$unix_dir/Hueshell.dll" "$HUESHELL_X86"
  listing=$'Hueshell.dll\nHueshell.propdesc\nREADME.txt\nTagwright.exe\nUninstall.exe\ntagwright-cli.exe'
fi
got=$(cd "$unix_dir" 2>/dev/null && find . -mindepth 1 | sed 's|^\./||' | LC_ALL=C sort)
[ "$got" = "$listing" ] || fail "the installation folder holds"$'\n'"$got"$'\n'"instead of"$'\n'"$listing"

# The installed command-line tool draws through the system's PNG encoder.
run "$install_dir\\tagwright-cli.exe" plot "$(win $srgb)" -o "$(win "$work/installed.png")" >/dev/null
[ "$(head -c 4 "$work/installed.png" 2>/dev/null | tail -c 3)" = PNG ] ||
  fail "the installed tagwright-cli.exe drew no PNG"

step "registration and association, as the shell sees them"
if [ "$arch" = win64 ]; then
  check_client installed-64 "$CLIENT_X64" 64 "$install_dir\\Hueshell.dll" "$install_dir"
  check_client installed-32 "$CLIENT_X86" 32 "$install_dir\\x86\\Hueshell.dll" "$install_dir"
else
  check_client installed-32 "$CLIENT_X86" 32 "$install_dir\\Hueshell.dll" "$install_dir"
fi

step "silent uninstall"
run "$install_dir\\Uninstall.exe" /S
status=$?
settle
[ "$status" -eq 0 ] || fail "Uninstall.exe /S exited with $status"
[ ! -e "$unix_dir" ] || fail "the installation folder is still there: $(cd "$unix_dir" && find . -mindepth 1)"
[ ! -e "$shortcut" ] || fail "the Start-menu shortcut is still there"
run regedit /E "$(win "$work/after-uninstall.reg")" || fail "regedit /E after the uninstall"
compare_registry "$work/before.reg" "$work/after-uninstall.reg" uninstall

if [ "$arch" = win64 ]; then
  step "regsvr32 by hand and associate.reg"
  run regsvr32 /s "$(win "$HUESHELL_X64")" || fail "64-bit regsvr32"
  run 'C:\windows\syswow64\regsvr32.exe' /s "$(win "$HUESHELL_X86")" || fail "32-bit regsvr32"
  run regedit /S "$(win "$REG_DIR/associate.reg")" || fail "regedit could not import associate.reg"
  check_client associated-64 "$CLIENT_X64" 64 "$(win "$HUESHELL_X64")" none
  check_client associated-32 "$CLIENT_X86" 32 "$(win "$HUESHELL_X86")" none

  step "dissociate.reg and regsvr32 /u"
  run regedit /S "$(win "$REG_DIR/dissociate.reg")" || fail "regedit could not import dissociate.reg"
  run regsvr32 /s /u "$(win "$HUESHELL_X64")" || fail "64-bit regsvr32 /u"
  run 'C:\windows\syswow64\regsvr32.exe' /s /u "$(win "$HUESHELL_X86")" || fail "32-bit regsvr32 /u"
  settle
  run regedit /E "$(win "$work/after-dissociate.reg")" || fail "regedit /E after dissociate.reg"
  # A .reg file cannot delete a key only when it is empty: the emptied keys above the
  # handler entries may stay, and nothing else.
  compare_registry "$work/before.reg" "$work/after-dissociate.reg" dissociate \
    '\[(HKEY_LOCAL_MACHINE\\Software\\Classes|HKEY_CLASSES_ROOT)\\SystemFileAssociations\\\.ic[cm]\\shellex(\\ContextMenuHandlers)?\]'
fi

if [ "$arch" = win64 ]; then
  step "another program's handlers and Details lists, in both views, outlive an install and an uninstall"
  others='{7A1C3E55-0D2B-4F6A-8E91-3C4B5A6D7E8F}'
  sfa='[HKEY_LOCAL_MACHINE\Software\Classes\SystemFileAssociations'
  handlers='\Microsoft\Windows\CurrentVersion\PropertySystem\PropertyHandlers'
  # (First the emptied key that dissociate.reg leaves, which the uninstaller would take.)
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    "[-${sfa#[}\.icm\shellex\ContextMenuHandlers]" '' \
    "$sfa\.icc\shellex\{e357fccd-a995-4576-b01f-234630154e96}]" "@=\"$others\"" '' \
    "$sfa\.icm\shellex\{00021500-0000-0000-C000-000000000046}]" "@=\"$others\"" '' \
    "$sfa\.icm]" '"FullDetails"="prop:System.Title;System.Size"' '"PreviewDetails"="prop:System.Size"' '' \
    "[HKEY_LOCAL_MACHINE\Software$handlers\.icm]" "@=\"$others\"" '' \
    "[HKEY_LOCAL_MACHINE\Software\Wow6432Node$handlers\.icc]" "@=\"$others\"" '' >"$work/others2.reg"
  run regedit /S "$(win "$work/others2.reg")" || fail "regedit could not import others2.reg"
  run regedit /E "$(win "$work/before-others.reg")" || fail "regedit /E before-others"
  run "$(win "$SETUP")" /S || fail "the setup over another program's handlers"
  settle
  run regedit /E "$(win "$work/installed-others.reg")" || fail "regedit /E installed-others"
  theirs=$(flatten "$work/before-others.reg" | grep -F -e "$others" -e 'System.Size"')
  [ "$(echo "$theirs" | wc -l)" -eq 6 ] || fail "others2.reg did not give six values: $theirs"
  missing=$(LC_ALL=C comm -23 <(echo "$theirs") <(flatten "$work/installed-others.reg"))
  [ -z "$missing" ] || fail "the setup replaced another program's values:"$'\n'"$missing"
  run "$install_dir\\Uninstall.exe" /S || fail "the uninstall beside another program's handlers"
  settle
  run regedit /E "$(win "$work/after-others.reg")" || fail "regedit /E after-others"
  compare_registry "$work/before-others.reg" "$work/after-others.reg" others
fi

if [ "$arch" = win64 ]; then
  step "an upgrade replaces the Details lists an earlier version wrote, and the uninstall takes them"
  icc_key='HKEY_LOCAL_MACHINE\Software\Classes\SystemFileAssociations\.icc'
  earlier_full=${full_details/Hueshell.Profile.GamutVolume;Hueshell.Profile.SrgbCoverage;Hueshell.Profile.DisplayP3Coverage;/}
  earlier_preview=${preview_details/Hueshell.Profile.Health;/}
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' "[$icc_key]" "\"FullDetails\"=\"$earlier_full\"" \
    "\"PreviewDetails\"=\"$earlier_preview\"" '' >"$work/earlier.reg"
  run regedit /S "$(win "$work/earlier.reg")" || fail "regedit could not import earlier.reg"
  run "$(win "$SETUP")" /S || fail "the setup over an earlier version's lists"
  settle
  run regedit /E "$(win "$work/upgraded.reg")" || fail "regedit /E upgraded"
  for value in "\"FullDetails\"=\"$full_details\"" "\"PreviewDetails\"=\"$preview_details\""; do
    flatten "$work/upgraded.reg" | grep -qxF "[$icc_key] $value" || fail "the upgrade did not write $value"
  done
  run "$install_dir\\Uninstall.exe" /S || fail "the uninstall after the upgrade"
  settle
  run regedit /E "$(win "$work/after-upgrade.reg")" || fail "regedit /E after-upgrade"
  ! flatten "$work/after-upgrade.reg" | grep -qE '\.ic[cm]\] "(Full|Preview)Details"="prop:.*Hueshell' ||
    fail "the uninstall left a Details list of ours"
fi

if [ "$arch" = win32 ]; then
  # Run in place (_?=, which takes no quotes: a folder without spaces), the uninstaller is
  # the process that ends with the exit code.
  step "a silent uninstall that leaves a library in use for the restart exits with 3010"
  run "$(win "$SETUP")" /S '/D=C:\Tagwright' || fail "the setup into C:\Tagwright"
  settle
  run "$(win "$HOLD_FILE")" 'C:\Tagwright\Hueshell.dll' 60 >/dev/null 2>&1 &
  sleep 3  # the holder has opened the file
  run 'C:\Tagwright\Uninstall.exe' /S '_?=C:\Tagwright'
  status=$?
  WINEPREFIX=$prefix wineserver -k
  # Wine gives the low byte of the exit code: 3010 is 0xBC2.
  [ "$status" -eq $((3010 & 255)) ] || fail "the uninstall with a held library exited with $status, not 3010"
  [ -e "$prefix/drive_c/Tagwright/Hueshell.dll" ] && [ ! -e "$prefix/drive_c/Tagwright/Tagwright.exe" ] ||
    fail "the held library should stay for the restart and the rest go: $(ls "$prefix/drive_c/Tagwright")"
fi

settle
if [ "$failures" -eq 0 ]; then
  echo "installer $arch: all checks passed"
  exit 0
fi
echo "installer $arch: $failures check(s) failed (files in $work)"
exit 1
