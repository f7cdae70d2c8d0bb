#!/usr/bin/env bash
# Tagwright end to end, as a person would use it: in a Wine desktop under an X server of
# its own, driven with xdotool.  Opens a real profile through the open dialog, types a new
# description, saves from the File menu with the keyboard, saves under a new name, checks
# both files with Little CMS and iccdump, floats the toolbar and docks it on the left, and
# opens the About box.  Screenshots go to BUILD/tests/wine/editor/e2e/.
#
#   e2e.sh BUILD_DIR SOURCE_DIR
set -euo pipefail

build=$(realpath "$1")
src=$(realpath "$2")
exe=$build/editor/Tagwright.exe
probe=$build/tests/wine/editor/window_probe.exe
out=$build/tests/wine/editor/e2e
prefix=$build/wineprefix-e2e   # its own: the program's end takes the prefix's desktop along
desktop=tagwright_e2e_$$

rm -rf "$out"
mkdir -p "$out"

. "$src/scripts/x-server"
app_pid=
cleanup() {
  if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
    kill "$app_pid" 2>/dev/null || true
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  fi
  stop_x_server
}
trap cleanup EXIT

fail() {
  echo "e2e: FAILED: $*" >&2
  import -window root "$out/failure.png" 2>/dev/null || true
  exit 1
}
step() { echo "e2e: $*"; }

# An X server of our own, so that nothing else shows in the screenshots.
start_x_server own || fail "no X server"

cc -O2 -o "$out/lcms_desc" "$src/tests/wine/editor/lcms_desc.c" -llcms2 || fail "cannot build the Little CMS check"

winpath() { local p=${1//\//\\}; echo "Z:$p"; }
shot() { import -window root -crop 1024x768+0+0 +repage "$out/$1"; step "screenshot $out/$1"; }
keys() { for k in "$@"; do xdotool key "$k"; sleep 0.3; done; }

window() {  # waits for a top-level window titled exactly $1
  local id
  id=$(timeout 60 xdotool search --sync --name "^$1\$" 2>/dev/null | head -1) || true
  [ -n "$id" ] || fail "no window \"$1\""
  echo "$id"
}
gone() {
  for _ in $(seq 100); do
    xdotool search --name "^$1\$" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  fail "window \"$1\" is still there"
}

# Where the frame, its client area, the view and the toolbar are, in screen coordinates.
declare -A rect
probe() {
  local file=$out/probe.txt
  rm -f "$file"
  "$src/scripts/wine-run" "$prefix" explorer "/desktop=$desktop" "$probe" "$(winpath "$file")" >/dev/null 2>&1 &
  for _ in $(seq 200); do [ -s "$file" ] && break; sleep 0.1; done
  [ -s "$file" ] || fail "the window probe wrote nothing"
  sleep 0.2
  rect=()
  while read -r name l t r b state; do
    rect[$name]="$l $t $r $b"
    rect[$name.state]=${state:-}
  done < <(tr -d '\r' <"$file")   # the probe writes text with CR LF
}
drag() {  # from x1 y1 to x2 y2 with the left button, in steps as a hand would
  xdotool mousemove "$1" "$2" sleep 0.3 mousedown 1 sleep 0.3
  local i
  for i in 1 2 3 4 5 6 7 8; do
    xdotool mousemove $(( $1 + ($3 - $1) * i / 8 )) $(( $2 + ($4 - $2) * i / 8 )) sleep 0.1
  done
  xdotool sleep 0.3 mouseup 1 sleep 0.8
}
description() {  # as Little CMS reads it; also checks the header's size field
  "$out/lcms_desc" "$1" || fail "Little CMS rejects $1"
}
iccdump_description() {
  iccdump -v 3 -t desc "$1" | sed -n 's/^    0x0000: //p' | head -1
}

profile=$out/Display.icc
copy=$out/Studio.icc
cp /usr/share/color/icc/sRGB.icc "$profile"
chmod u+w "$profile"
[ "$(description "$profile")" = "sRGB" ] || fail "unexpected test profile"

step "start Tagwright in Wine desktop $desktop"
"$src/scripts/wine-run" "$prefix" explorer "/desktop=$desktop,1024x768" "$exe" >"$out/wine.log" 2>&1 &
app_pid=$!
frame=$(window Tagwright)
sleep 2
probe
read -r cl ct cr cb <<<"${rect[client]}"
xdotool mousemove $(( (cl + cr) / 2 )) $(( cb - 20 )) click 1
sleep 0.5

step "File > Open, type the path, Enter"
keys alt+f Return
window Open >/dev/null
sleep 1
xdotool type --delay 30 "$(winpath "$profile")"
keys Return
gone Open
sleep 1

step "type a new description"
keys ctrl+End shift+ctrl+Home
xdotool type --delay 30 "Studio display, calibrated"
sleep 0.5
shot main-window.png

step "File > Save from the keyboard"
keys alt+f Down Return
sleep 1.5
[ "$(description "$profile")" = "Studio display, calibrated" ] || fail "Save did not store the description"

step "File > Save As to a new name"
xdotool type --delay 30 " (copy)"
keys alt+f Down Down Return
window "Save As" >/dev/null
sleep 1
xdotool type --delay 30 "$(winpath "${copy%.icc}")"   # the dialog adds ".icc"
keys Return
gone "Save As"
sleep 1.5
[ -f "$copy" ] || fail "Save As made no file"
[ "$(description "$copy")" = "Studio display, calibrated (copy)" ] || fail "the copy's description"
[ "$(description "$profile")" = "Studio display, calibrated" ] || fail "Save As changed the original"
[ "$(iccdump_description "$copy")" = "Studio display, calibrated (copy)" ] || fail "iccdump reads another description in the copy"
[ "$(iccdump_description "$profile")" = "Studio display, calibrated" ] || fail "iccdump reads another description in the original"
[ "$(xdotool getwindowname "$frame")" = "Tagwright" ] || fail "the title changed"

step "drag the toolbar off its dock"
probe
[ "${rect[toolbar.state]}" = docked ] || fail "the toolbar does not start docked"
read -r tl tt tr tb <<<"${rect[toolbar]}"
drag $(( tl + 5 )) $(( (tt + tb) / 2 )) 640 480
probe
[ "${rect[toolbar.state]}" = floating ] || fail "the toolbar does not float"

step "dock it on the left"
read -r tl tt tr tb <<<"${rect[toolbar]}"
read -r cl ct cr cb <<<"${rect[client]}"
drag $(( tl + 5 )) $(( (tt + tb) / 2 )) $(( cl + 8 )) $(( (ct + cb) / 2 ))
probe
[ "${rect[toolbar.state]}" = docked ] || fail "the toolbar did not dock again"
read -r tl tt tr tb <<<"${rect[toolbar]}"
read -r cl ct cr cb <<<"${rect[client]}"
read -r vl vt vr vb <<<"${rect[view]}"
[ "$tl" -eq "$cl" ] && [ "$tt" -eq "$ct" ] || fail "the toolbar is not on the left: ${rect[toolbar]} in ${rect[client]}"
[ $(( tb - tt )) -gt $(( tr - tl )) ] || fail "the docked toolbar is not a column"
[ "$vl" -ge "$tr" ] || fail "the view overlaps the toolbar"
xdotool mousemove $(( (cl + cr) / 2 )) $(( cb - 20 ))
sleep 0.5
shot toolbar-left.png

step "Help > About"
keys alt+h Return
window "About Tagwright" >/dev/null
sleep 1
shot about.png
keys Return
gone "About Tagwright"

step "File > Exit"
keys alt+f Up Return
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.2; done
xdotool search --name '^Tagwright$' >/dev/null 2>&1 && fail "Exit left the window open"
# The desktop closes by itself once its last program has gone.
for _ in $(seq 100); do xdotool search --name 'Wine desktop' >/dev/null 2>&1 || break; sleep 0.2; done

step "passed"
