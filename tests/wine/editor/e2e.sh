#!/usr/bin/env bash
# Tagwright end to end, as a person would use it: in a Wine desktop under an X server of
# its own, driven with xdotool.  Opens a real profile through the open dialog, types a new
# description, saves from the File menu with the keyboard, saves under a new name, checks
# both files with Little CMS and iccdump; pastes with Ctrl+V and saves from the toolbar;
# saves through a symbolic link, into a profile another program replaced, and a 1 MB
# description; leaves an unsaved edit by Open (Cancel, No, Yes) and by Exit (Cancel, Yes);
# Save As after another program replaced or deleted the profile; a description stored as
# plain text, and in German a version 2 profile whose German localized name differs; floats the toolbar and
# docks it on the left, and opens the About box (version, copyright, centred).
# Screenshots go to BUILD/tests/wine/editor/e2e/.
#
# With "dpi" it runs the program at 144 and 192 DPI instead (a prefix of its own, whose
# LogPixels it sets), opens a profile and checks that the frame is scaled and that the
# texts and the edit box lie whole inside the view; then leaves an edit
# with Alt+F4, answered No.  Screenshots go to .../e2e-dpi/.
#
#   e2e.sh BUILD_DIR SOURCE_DIR [dpi]
set -euo pipefail

build=$(realpath "$1")
src=$(realpath "$2")
mode=${3:-}
exe=$build/editor/Tagwright.exe
probe=$build/tests/wine/editor/window_probe.exe
out=$build/tests/wine/editor/e2e${mode:+-$mode}
prefix=$build/wineprefix-e2e${mode:+-$mode}   # its own: the program's end takes the prefix's desktop along
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
  id=$(LC_ALL=C timeout 120 xdotool search --sync --name "^$1\$" 2>/dev/null | head -1) || true
  [ -n "$id" ] || fail "no window \"$1\""
  echo "$id"
}
gone() {
  for _ in $(seq 100); do
    LC_ALL=C xdotool search --name "^$1\$" >/dev/null 2>&1 || return 0
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
  while read -r name l t r b state; do   # "save enabled" reads as name and l
    rect[$name]="$l $t $r $b"
    rect[$name.state]=${state:-}
  done < <(tr -d '\r' <"$file")   # the probe writes text with CR LF
}
start_tagwright() {  # in the Wine desktop of size $1; waits for it and clicks into its client area
  "$src/scripts/wine-run" "$prefix" explorer "/desktop=$desktop,$1" "$exe" >>"$out/wine.log" 2>&1 &
  app_pid=$!
  frame=$(window Tagwright)
  sleep 2
  probe
  read -r cl ct cr cb <<<"${rect[client]}"
  xdotool mousemove $(( (cl + cr) / 2 )) $(( cb - 20 )) click 1
  sleep 0.5
}
drag() {  # from x1 y1 to x2 y2 with the left button, in steps as a hand would
  xdotool mousemove "$1" "$2" sleep 0.3 mousedown 1 sleep 0.3
  local i
  for i in 1 2 3 4 5 6 7 8; do
    xdotool mousemove $(( $1 + ($3 - $1) * i / 8 )) $(( $2 + ($4 - $2) * i / 8 )) sleep 0.1
  done
  xdotool sleep 0.3 mouseup 1 sleep 0.8
}
open_dialog=Open   # the open dialog's title in the language Wine runs in
open_profile() {  # File > Open, the path typed into the dialog
  keys alt+f Return
  window "$open_dialog" >/dev/null
  sleep 1
  enter_path "$open_dialog" "$(winpath "$1")"
}
enter_path() {  # types a path into the dialog $1 and confirms it; characters outside the
  # keyboard's map each get a key mapped just before they are typed, which Wine does not
  # always see in time, so a path the dialog refused is typed again (at most three times)
  local attempt
  for attempt in 1 2 3; do
    if LC_ALL=C.UTF-8 grep -qP '[^\x00-\x7F]' <<<"$2"; then
      xdotool type --delay $(( 120 * attempt )) "$2"   # slower at each attempt
    else
      xdotool type --delay 20 "$2"
    fi
    keys Return
    for _ in $(seq 30); do
      LC_ALL=C xdotool search --name "^$1\$" >/dev/null 2>&1 || return 0
      sleep 0.1
    done
    [ "$attempt" = 3 ] && break
    step "the dialog refused the typed path; typing it again"
    keys Return ctrl+a BackSpace   # the dialog's complaint, then the file name box
  done
  fail "window \"$1\" is still there"
}
question() {  # waits for the program's message box, captioned "Tagwright" as the frame is
  for _ in $(seq 100); do
    [ "$(xdotool search --name '^Tagwright$' 2>/dev/null | wc -l)" -ge 2 ] && { sleep 0.5; return 0; }
    sleep 0.1
  done
  fail "no question from Tagwright"
}
quit() {  # File > Exit, and the program's end
  keys alt+f Up Return
  quit_done
}
quit_done() {
  for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.2; done
  xdotool search --name '^Tagwright$' >/dev/null 2>&1 && fail "Exit left the window open"
  # The desktop closes by itself once its last program has gone.
  for _ in $(seq 100); do xdotool search --name 'Wine desktop' >/dev/null 2>&1 || break; sleep 0.2; done
}
description() {  # as Little CMS reads it; also checks the header's size field
  "$out/lcms_desc" "$1" || fail "Little CMS rejects $1"
}
iccdump_description() {
  iccdump -v 3 -t desc "$1" | sed -n 's/^    0x0000: //p' | head -1
}
tag() {  # FILE SIGNATURE: the tag's type, then "language-country text" for each localized record
  python3 - "$1" "$2" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
for i in range(struct.unpack('>I', data[128:132])[0]):
    sig, off, size = struct.unpack('>4sII', data[132 + 12 * i:144 + 12 * i])
    if sig == sys.argv[2].encode():
        tag = data[off:off + size]
        out = [tag[:4].decode()]
        if tag[:4] == b'mluc':
            for r in range(struct.unpack('>I', tag[8:12])[0]):
                lang, country, length, at = struct.unpack('>2s2sII', tag[16 + 12 * r:28 + 12 * r])
                out.append('%s-%s %s' % (lang.decode(), country.decode(), tag[at:at + length].decode('utf-16-be')))
        sys.stdout.buffer.write(('\n'.join(out) + '\n').encode('utf-8'))
PY
}

profile=$out/Display.icc
copy=$out/Studio.icc
cp /usr/share/color/icc/sRGB.icc "$profile"
chmod u+w "$profile"
[ "$(description "$profile")" = "sRGB" ] || fail "unexpected test profile"

if [ "$mode" = dpi ]; then
  for dpi in 144 192; do
    step "at $dpi DPI: start Tagwright and open a profile"
    "$src/scripts/wine-run" "$prefix" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    WINEPREFIX=$prefix wineserver -w
    desktop=tagwright_dpi_$$_$dpi
    start_tagwright 1280x1000
    open_profile "$profile"
    sleep 1.5
    probe
    import -window root "$out/tagwright-$dpi.png"
    step "screenshot $out/tagwright-$dpi.png"
    scaled() { echo $(( ($1 * dpi + 48) / 96 )); }
    read -r fl ft fr fb <<<"${rect[frame]}"
    read -r vl vt vr vb <<<"${rect[view]}"
    read -r el et er eb <<<"${rect[edit]}"
    [ $(( fr - fl )) -eq "$(scaled 400)" ] && [ $(( fb - ft )) -eq "$(scaled 300)" ] ||
      fail "the frame is not 400 x 300 scaled to $dpi DPI: ${rect[frame]}"
    [ $(( er - el )) -eq $(( $(scaled 360) - $(scaled 20) )) ] && [ $(( eb - et )) -eq $(( $(scaled 160) - $(scaled 60) )) ] ||
      fail "the edit box is not scaled to $dpi DPI: ${rect[edit]}"
    [ "$el" -ge "$vl" ] && [ "$et" -ge "$vt" ] && [ "$er" -le "$vr" ] && [ "$eb" -le "$vb" ] ||
      fail "the edit box ${rect[edit]} is not inside the view ${rect[view]}"
    # The labels and the file name: whatever is painted above the edit box keeps clear of
    # the view's edges and of the edit box, so nothing of it is cut.
    w=$(( vr - vl - 4 )) h=$(( et - vt - 2 ))
    read -r tw th tx ty < <(convert "$out/tagwright-$dpi.png" -crop "${w}x${h}+$(( vl + 2 ))+$(( vt + 2 ))" +repage \
      -fuzz 10% -trim -format '%w %h %X %Y\n' info: | tr -d '+')
    [ "$tw" -gt "$(scaled 100)" ] && [ "$th" -gt "$(scaled 20)" ] || fail "no texts above the edit box at $dpi DPI"
    [ "$tx" -gt 0 ] && [ "$ty" -gt 0 ] && [ $(( tx + tw )) -lt "$w" ] && [ $(( ty + th )) -lt "$h" ] ||
      fail "the texts touch the view's edge or the edit box at $dpi DPI: ${tw}x${th}+$tx+$ty in ${w}x$h"
    # Alt+F4 over an edit, answered No: the program ends and the profile stays as it was.
    keys ctrl+End
    xdotool type --delay 30 " unsaved"
    keys alt+F4
    question
    keys n
    quit_done
    [ "$(description "$profile")" = "sRGB" ] || fail "No saved the edit at Alt+F4"
  done
  step "passed"
  exit 0
fi

step "start Tagwright in Wine desktop $desktop"
start_tagwright 1024x768

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

step "Ctrl+V makes the toolbar's Save button usable at once, and it saves"
keys ctrl+End shift+ctrl+Home ctrl+c End ctrl+v
sleep 0.5
probe
[ "${rect[save]%% *}" = enabled ] || fail "the toolbar's Save button is still grey after Ctrl+V"
read -r tl tt tr tb <<<"${rect[toolbar]}"
xdotool mousemove $(( tl + 10 + 27 + 13 )) $(( (tt + tb) / 2 )) click 1   # gripper, Open, Save
sleep 1.5
doubled="Studio display, calibrated (copy)Studio display, calibrated (copy)"
[ "$(description "$copy")" = "$doubled" ] || fail "the toolbar's Save did not store the pasted text"

save() { keys alt+f Down Return; sleep 1.5; }

step "save through a symbolic link: the file it points to changes, the link stays"
mkdir -p "$out/real"
cp "$profile" "$out/real/Linked.icc"
ln -s real/Linked.icc "$out/Link.icc"
open_profile "$out/Link.icc"
keys ctrl+End
xdotool type --delay 30 " via link"
save
[ -L "$out/Link.icc" ] || fail "the link became a file"
[ "$(readlink "$out/Link.icc")" = real/Linked.icc ] || fail "the link points elsewhere"
[ "$(description "$out/real/Linked.icc")" = "Studio display, calibrated via link" ] || fail "the link's file was not saved"

step "a version 4 profile put in place of the open one is asked about and keeps its form"
open_profile "$profile"
keys ctrl+End
xdotool type --delay 30 " v4"
cp /usr/share/color/icc/colord/AdobeRGB1998.icc "$profile"
keys alt+f Down Return
sleep 1.5
shot changed-question.png
keys y
sleep 1.5
[ "$(description "$profile")" = "Studio display, calibrated v4" ] || fail "the replaced profile's description"
[ "$(xxd -s 8 -l 1 -p "$profile")" = 04 ] || fail "the replaced profile is no longer version 4"
[ "$(tag "$profile" desc | head -1)" = mluc ] || fail "the replaced profile's description is no longer localized"

step "a profile under Greek, Cyrillic, Chinese and emoji names, typed into the dialogs"
unicode_dir="$out/Ελληνικά Кириллица 中文 🎨"
mkdir -p "$unicode_dir"
cp /usr/share/color/icc/sRGB.icc "$unicode_dir/Οθόνη 显示器.icc"
chmod u+w "$unicode_dir/Οθόνη 显示器.icc"
open_profile "$unicode_dir/Οθόνη 显示器.icc"
keys ctrl+End
xdotool type --delay 30 " unicode"
save
[ "$(description "$unicode_dir/Οθόνη 显示器.icc")" = "sRGB unicode" ] || fail "the profile under a Unicode path was not saved"
xdotool type --delay 30 " copy"
for attempt in 1 2 3; do   # a name the dialog took with a character missing is typed again
  keys alt+f Down Down Return
  window "Save As" >/dev/null
  sleep 1
  enter_path "Save As" "Копия 中文"   # the dialog starts in the profile's folder
  sleep 1.5
  [ -f "$unicode_dir/Копия 中文.icc" ] && break
  step "the typed name did not arrive whole; Save As again"
  keys x BackSpace   # a change, so that Save As is enabled again
done
[ "$(description "$unicode_dir/Копия 中文.icc")" = "sRGB unicode copy" ] || fail "Save As to a Unicode name"

step "a version 4 description in Greek, Chinese and an emoji, typed and saved"
cp /usr/share/color/icc/colord/AdobeRGB1998.icc "$unicode_dir/v4.icc"
chmod u+w "$unicode_dir/v4.icc"
open_profile "$unicode_dir/v4.icc"
# Typed again when a character did not arrive (see enter_path).
for attempt in 1 2 3; do
  keys ctrl+End shift+ctrl+Home BackSpace
  xdotool type --delay 120 "Οθόνη 显示器 🎨"
  sleep 1
  save
  wide=$("$out/lcms_desc" "$unicode_dir/v4.icc" -w) || fail "Little CMS rejects the version 4 profile"
  [ "${wide#Οθόνη 显示器 🎨}" != "$wide" ] && break
  step "the typed text did not arrive whole; typing it again"
done
# Little CMS 2.14's wide reader hands over one stray unit after a surrogate pair: its text
# must begin with ours, and the record itself must hold exactly ours.
[ "${wide#Οθόνη 显示器 🎨}" != "$wide" ] || fail "Little CMS reads \"$wide\" from the version 4 profile"
tag "$unicode_dir/v4.icc" desc | grep -qxF "en-US Οθόνη 显示器 🎨" || fail "the en-US record does not hold the typed text exactly"

step "File > Open over an unsaved edit: Cancel keeps the edit, No leaves it, Yes saves it"
plain=$out/Plain.icc
other=$out/Other.icc
for f in "$plain" "$other"; do cp /usr/share/color/icc/sRGB.icc "$f"; chmod u+w "$f"; done
open_profile "$plain"
keys ctrl+End
xdotool type --delay 30 " edited"
keys alt+f Return
question
shot save-changes.png
keys Escape
sleep 1
xdotool search --name '^Open$' >/dev/null 2>&1 && fail "Cancel went on to the open dialog"
keys alt+f Return
question
keys n
window Open >/dev/null
sleep 1
enter_path Open "$(winpath "$other")"
[ "$(description "$plain")" = "sRGB" ] || fail "No saved the edit"
keys ctrl+End
xdotool type --delay 30 " kept"
keys alt+f Return
question
keys y
window Open >/dev/null
sleep 1
enter_path Open "$(winpath "$plain")"
[ "$(description "$other")" = "sRGB kept" ] || fail "Yes did not save the edit before Open"

step "Save As after another program replaced the profile: asked in words for a copy"
keys ctrl+End
xdotool type --delay 30 " replaced"
cp /usr/share/color/icc/colord/AdobeRGB1998.icc "$plain"
keys alt+f Down Down Return
window "Save As" >/dev/null
sleep 1
enter_path "Save As" "$(winpath "$out/FromReplaced")"
question
shot save-as-replaced.png
keys y
sleep 1.5
[ "$("$out/lcms_desc" "$out/FromReplaced.icc" -w)" = "sRGB replaced" ] || fail "Save As after a replacement"
[ "$(xxd -s 8 -l 1 -p "$out/FromReplaced.icc")" = 04 ] || fail "Save As did not copy the profile as it is now"

step "Save As after the profile was deleted: made from the profile as it was opened"
cp /usr/share/color/icc/sRGB.icc "$plain"
open_profile "$plain"
keys ctrl+End
xdotool type --delay 30 " rescued"
rm "$plain"
keys alt+f Down Down Return
window "Save As" >/dev/null
sleep 1
enter_path "Save As" "$(winpath "$out/Rescued")"
sleep 1.5
[ "$(description "$out/Rescued.icc")" = "sRGB rescued" ] || fail "Save As after a deletion"
[ "$(iccdump_description "$out/Rescued.icc")" = "sRGB rescued" ] || fail "iccdump reads another description after a deletion"
[ "$(wc -c <"$out/Rescued.icc")" -gt 3000 ] || fail "the rescued profile is not whole"

# Made profiles: a description stored as plain text and a version 2 profile with a localized
# name whose German record says something else than the description (as old makers' are),
# and a 1 MB description.
big=$out/Big.icc
python3 - "$out/PlainText.icc" "$out/Named.icc" "$big" <<'PY'
import struct, sys
def profile(path, tags, version=0x02100000):
    offset = 128 + 4 + 12 * len(tags)
    table, body = b'', b''
    for sig, data in tags:
        table += sig + struct.pack('>II', offset + len(body), len(data))
        body += data + bytes(-len(data) % 4)
    size = offset + len(body)
    header = struct.pack('>I4sI4s4s4s', size, bytes(4), version, b'mntr', b'RGB ', b'XYZ ') + bytes(12) + b'acsp' + bytes(28) + struct.pack('>iii', 0xF6D6, 0x10000, 0xD32D) + bytes(128 - 80)
    open(path, 'wb').write(header + struct.pack('>I', len(tags)) + table + body)
wtpt = b'XYZ ' + bytes(4) + struct.pack('>iii', 0xF351, 0x10000, 0x116CC)
desc = lambda t: b'desc' + bytes(4) + struct.pack('>I', len(t) + 1) + t + b'\0' + bytes(8) + bytes(2) + bytes([min(len(t) + 1, 67)]) + (t + bytes(67))[:67]
def mluc(records):
    head, texts = b'', b''
    start = 16 + 12 * len(records)
    for lang, country, text in records:
        data = text.encode('utf-16-be')
        head += lang + country + struct.pack('>II', len(data), start + len(texts))
        texts += data
    return b'mluc' + bytes(4) + struct.pack('>II', len(records), 12) + head + texts
profile(sys.argv[1], [(b'desc', b'text' + bytes(4) + b'Studio Monitor 2024\0'), (b'wtpt', wtpt)])
profile(sys.argv[2], [(b'desc', desc(b'sRGB')), (b'dscm', mluc([(b'en', b'US', 'sRGB'), (b'de', b'DE', 'sRGB deutsch')])), (b'wtpt', wtpt)])
profile(sys.argv[3], [(b'desc', desc((b"A very long description of a profile. " * 30000)[:1 << 20])), (b'wtpt', wtpt)])
PY

step "a description stored as plain text is shown whole and stays plain text"
open_profile "$out/PlainText.icc"
sleep 1
probe
[ "${rect[edit.state]:-0}" -eq 19 ] || fail "the edit box holds ${rect[edit.state]:-0} characters, not \"Studio Monitor 2024\""
shot plain-text.png
keys ctrl+End
xdotool type --delay 30 " v2"
save
[ "$(description "$out/PlainText.icc")" = "Studio Monitor 2024 v2" ] || fail "the plain text description was not saved whole"
[ "$(tag "$out/PlainText.icc" desc)" = text ] || fail "the plain text description changed its type"

step "a 1 MB description opens, takes typing and is saved whole"
[ "$(description "$big" | wc -c)" -eq $(( (1 << 20) + 1 )) ] || fail "unexpected 1 MB test profile"
open_profile "$big"
for _ in $(seq 20); do
  probe
  [ "${rect[edit.state]:-0}" -eq $(( 1 << 20 )) ] 2>/dev/null && break
  sleep 0.5
done
[ "${rect[edit.state]:-0}" -eq $(( 1 << 20 )) ] || fail "the edit box holds ${rect[edit.state]:-0} characters, not 1 MB"
read -r el et er eb <<<"${rect[edit]}"
xdotool mousemove $(( (el + er) / 2 )) $(( (et + eb) / 2 )) click 1
sleep 1
keys ctrl+End
xdotool type --delay 50 "END"
sleep 3
save
[ "$(description "$big" | tail -c 4)" = "END" ] || fail "the end of the 1 MB description was not saved"
[ "$(description "$big" | wc -c)" -eq $(( (1 << 20) + 4 )) ] || fail "the saved 1 MB description has another length"
shot long-description.png

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
probe
grep -qx 'aboutversion Tagwright 1.0.0.1' <(tr -d '\r' <"$out/probe.txt") || fail "About does not show version 1.0.0.1"
LC_ALL=C grep -q '^aboutcopyright Copyright .* 20[0-9][0-9] Veltro programs' <(tr -d '\r' <"$out/probe.txt") || fail "About has no copyright line"
read -r al at ar ab <<<"${rect[about]}"
read -r fl ft fr fb <<<"${rect[frame]}"
# Centred on the frame, but kept on the screen: the box is wider than the frame at its left edge.
cx=$(( (fl + fr - ar + al) / 2 )) cy=$(( (ft + fb - ab + at) / 2 ))
[ "$cx" -lt 0 ] && cx=0
[ $(( al - cx )) -ge -1 ] && [ $(( al - cx )) -le 1 ] && [ $(( at - cy )) -ge -1 ] && [ $(( at - cy )) -le 1 ] ||
  fail "About is not centred on the frame: ${rect[about]} on ${rect[frame]}"
keys Return
gone "About Tagwright"

step "File > Exit over an unsaved edit: Cancel stays, Yes saves and ends"
keys ctrl+End
xdotool type --delay 30 "!"
keys alt+f Up Return
question
keys Escape
sleep 1
xdotool search --name '^Tagwright$' >/dev/null 2>&1 || fail "Cancel ended the program"
keys alt+f Up Return
question
keys y
sleep 1
quit_done
[ "$(description "$big" | tail -c 5)" = "END!" ] || fail "Yes did not save before Exit"

step "in German, a version 2 profile's German name that is not the description is kept"
LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8 start_tagwright 1024x768
open_dialog=".*ffnen"   # "Öffnen", whose title Wine may give in another encoding
open_profile "$out/Named.icc"
sleep 1
probe
[ "${rect[edit.state]:-0}" -eq 4 ] || fail "the German run shows ${rect[edit.state]:-0} characters, not the description \"sRGB\""
keys ctrl+End
xdotool type --delay 30 " edited"
save
[ "$(description "$out/Named.icc")" = "sRGB edited" ] || fail "the German run did not save the description"
[ "$(tag "$out/Named.icc" dscm)" = $'mluc\nen-US sRGB edited\nde-DE sRGB deutsch' ] ||
  fail "the localized name lost its German record or did not follow the edit"
quit

step "passed"
