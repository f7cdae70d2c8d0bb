#!/usr/bin/env bash
# setup_pages.sh WORKDIR
#
# Tagwright-Setup.exe as a person runs it, in a fresh 64-bit Wine prefix, in a Wine desktop
# under an X server of its own, driven with xdotool: every page of the setup and of the
# uninstaller is saved as a screenshot in WORKDIR (looked at by whoever changes them).
#  - the welcome, folder, progress and finish pages; Finish with "Start Tagwright" starts it;
#  - with Tagwright running, a silent setup ends with exit code 32 and changes nothing, and
#    the uninstaller asks to close it, then goes on (Retry);
#  - a library that another program holds open is left for the next restart, which the
#    uninstaller's last page says and offers.
# Inputs come from the environment (tests/wine/installer/CMakeLists.txt sets them).
set -uo pipefail

work=$1
for v in WINE_RUN SETUP HOLD_FILE SCRIPTS; do
  [ -n "${!v:-}" ] || { echo "$v is not set" >&2; exit 2; }
done
rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
export WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d"
desktop=setup_pages_$$

. "$SCRIPTS/x-server"
cleanup() {
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  stop_x_server
}
trap cleanup EXIT

fail() {
  echo "setup pages: FAILED: $*" >&2
  import -window root "$work/failure.png" 2>/dev/null || true
  exit 1
}
step() { echo "--- [${SECONDS}s] $*"; }
run() { "$WINE_RUN" "$prefix" "$@"; }
win() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }
shot() { import -window root -crop 800x600+0+0 +repage "$work/$1"; step "screenshot $work/$1"; }
keys() { for k in "$@"; do xdotool key "$k"; sleep 0.4; done; }
count() { xdotool search --name "^$1\$" 2>/dev/null | wc -l; }
windows() {  # waits until N windows are titled exactly $2
  for _ in $(seq 300); do
    [ "$(count "$2")" -ge "$1" ] && { sleep 1; return 0; }
    sleep 0.2
  done
  fail "no window \"$2\""
}
gone() {
  for _ in $(seq 300); do
    [ "$(count "$1")" -eq 0 ] && return 0
    sleep 0.2
  done
  fail "window \"$1\" is still there"
}
in_desktop() { run explorer "/desktop=$desktop,800x600" "$@"; }
to_the_end() {  # WIZARD N NAME LOG: page N (NAME), then the progress page once LOG ends, the last page
  shot "$1-$2-$3.png"
  keys Return
  finished "$4"
  shot "$1-$(( $2 + 1 ))-progress.png"
  keys Return
  sleep 1
  shot "$1-$(( $2 + 2 ))-finish.png"
}
log_of() { find "$prefix/drive_c/users" -name "$1" 2>/dev/null | head -1; }
finished() {  # waits for the last line of the log $1, written when the work is done
  local log
  for _ in $(seq 600); do
    log=$(log_of "$1")
    [ -n "$log" ] && tr -d '\r' <"$log" | grep -qx 'Done.' && { sleep 1; return 0; }
    sleep 0.2
  done
  fail "$1 does not end with Done."
}

start_x_server own || fail "no X server"
install_dir='C:\Program Files\Tagwright'
unix_dir="$prefix/drive_c/Program Files/Tagwright"

step "fresh win64 prefix"
run cmd /c exit 0 || fail "the prefix could not be made"

step "the setup's pages"
in_desktop "$(win "$SETUP")" >/dev/null 2>&1 &
windows 1 "Tagwright Setup"
shot setup-1-welcome.png
keys Return
sleep 1
to_the_end setup 2 folder Tagwright-Setup.log
keys Return    # Finish, with "Start Tagwright" ticked
gone "Tagwright Setup"
windows 1 Tagwright
[ -f "$unix_dir/README.txt" ] || fail "no README.txt"
grep -q 'regsvr32 (64-bit) /s .*Hueshell.dll: exit code 0' "$(log_of Tagwright-Setup.log)" ||
  fail "the setup's log does not record the registration"

step "with Tagwright running, a silent setup fails with exit code 32 and changes nothing"
before=$(cd "$unix_dir" && find . -type f -newer README.txt | wc -l)
run "$(win "$SETUP")" /S
status=$?
[ "$status" -eq 32 ] || fail "the silent setup exited with $status, not 32"
[ "$(cd "$unix_dir" && find . -type f -newer README.txt | wc -l)" -eq "$before" ] || fail "the refused setup changed files"

step "the uninstaller asks to close Tagwright"
run "$(win "$HOLD_FILE")" "$install_dir\\x86\\Hueshell.dll" 120 >/dev/null 2>&1 &
in_desktop "$install_dir\\Uninstall.exe" >/dev/null 2>&1 &
windows 1 "Tagwright Uninstall"
shot uninstall-1-running.png
in_desktop taskkill /im Tagwright.exe >/dev/null 2>&1   # closes its window, as a person would
for _ in $(seq 100); do [ "$(count Tagwright)" -eq 0 ] && break; sleep 0.2; done
keys Return    # Retry
sleep 1
to_the_end uninstall 2 confirm Tagwright-Uninstall.log
[ ! -e "$unix_dir/Tagwright.exe" ] || fail "Tagwright.exe was not removed"
[ -e "$unix_dir/x86/Hueshell.dll" ] || fail "the held library is gone: nothing was left for the restart"
keys Down Return   # "I want to manually reboot later", Finish
gone "Tagwright Uninstall"
step "passed"
