#!/usr/bin/env bash
# The main job: builds the sample package (samples/BriskSample) with brikpack
# and runs it under Wine on a display of its own, as a user would: it walks
# the wizard with Next (Yes on the license), answers each message box with
# OK and saves a screenshot of every screen it meets.
#   run-sample.sh BUILD_DIR
# Output: BUILD_DIR/sample/BriskSample.exe (the package, with logo.bmp beside
# it) and BUILD_DIR/sample/screens/*.png. Ends with the engine's exit code.
set -u

[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
BUILD=$(cd "$1" && pwd) || exit 2
ROOT=$(cd "$(dirname "$0")/.." && pwd) || exit 2
OUT=$BUILD/sample
SCREENS=$OUT/screens
BRIKPACK=$BUILD/src/builder/brikpack
SETUP=$BUILD/win32/src/launcher/setup.exe
BRIKDRIVE=$BUILD/win32/tests/win32/brikdrive.exe
PACKAGE=$OUT/BriskSample.exe

say() { printf 'sample: %s\n' "$*"; }
die() { printf 'sample: error: %s\n' "$*" >&2; exit 1; }

for f in "$BRIKPACK" "$SETUP" "$BRIKDRIVE"; do
  [ -f "$f" ] || die "$f is missing (has the build run?)"
done
rm -rf "$SCREENS"
mkdir -p "$SCREENS" || die "cannot create $SCREENS"

# The sample as it is, with a large media file made here (not kept in the
# repository), so that the progress dialog stays long enough to be seen, and
# the program's own font, made from one of Wine's under a name of its own.
PROJECT=$OUT/project
rm -rf "$PROJECT"
cp -r "$ROOT/samples/BriskSample" "$PROJECT" || die "cannot copy the sample"
head -c 125829120 /dev/urandom >"$PROJECT/Data/Media/Intro.dat" || die "cannot make the media file"
FONT_FACE="Brisk Notes Sans"
mkdir -p "$PROJECT/Data/Fonts"
python3 "$ROOT/scripts/rename-font.py" /usr/share/wine/fonts/tahoma.ttf "$PROJECT/Data/Fonts/BriskNotes.ttf" \
  "$FONT_FACE" || die "cannot make the sample's font"
"$BRIKPACK" build "$PROJECT" -o "$PACKAGE" --stub "$SETUP" || die "brikpack build failed"
say "package $PACKAGE ($(stat -c %s "$PACKAGE") bytes, engine $(stat -c %s "$SETUP"))"
# What the wizard costs the engine: the bytes its source files own in the
# link map (make size lists every module). Code the optimiser moved into a
# caller counts with the caller.
if report=$(python3 "$ROOT/scripts/size-report.py" "$BUILD/win32" 2>/dev/null); then
  wizard=$(printf '%s\n' "$report" | awk '/^setup.exe/ { on = 1 } /^unpack.dll/ { on = 0 }
    on && $4 ~ /^(Dialogs|DialogRules|UrlLink|kpShell|ShellRules|MainWindow|BackgroundLayout)\.cpp$/ {
      sum += $1; list = list " " $4 "=" $1 } END { print sum + 0 list }')
  say "the wizard's modules in the engine: ${wizard%% *} bytes (${wizard#* }), besides its dialog templates"
  install=$(printf '%s\n' "$report" | awk '/^setup.exe/ { on = 1 } /^unpack.dll/ { on = 0 }
    on && $4 ~ /^(Install|FileCopy|FileOps|InstallLog|Reboot|Scripts|WorkLists|CopyRules|Unpacker|ProgressLink)\.cpp$/ {
      sum += $1; list = list " " $4 "=" $1 } END { print sum + 0 list }')
  say "the install's modules in the engine: ${install%% *} bytes (${install#* })"
fi
# The logo lies beside the package, as a setup author ships it on a disc.
# The name is written with the first font at hand (Wine's own, normally).
font=$(ls /usr/share/wine/fonts/tahomabd.ttf /usr/share/wine/fonts/tahoma.ttf /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf 2>/dev/null | head -n 1)
caption=()
[ -n "$font" ] && caption=(-font "$font" -fill white -pointsize 34 -draw "text 180,128 'Brisk Notes'")
convert -size 440x200 gradient:'#0a2a66-#3f7fd8' \
  -fill '#f2b233' -draw 'roundrectangle 40,80 150,175 10,10' \
  -fill '#47c24f' -draw 'polygon 75,20 115,20 115,75 140,75 95,125 50,75 75,75' \
  "${caption[@]}" "BMP3:$OUT/logo.bmp" || say "no logo (ImageMagick's convert failed)"

"$ROOT/scripts/wine-session.sh" start "$OUT" >/dev/null || die "cannot start the Wine session"
trap '"$ROOT/scripts/wine-session.sh" stop "$OUT" >/dev/null' EXIT
# shellcheck source=/dev/null
. "$OUT/wine-env.sh"

shot() { "$ROOT/scripts/screenshot.sh" "$OUT" "$SCREENS/$1" >/dev/null && say "  screen $SCREENS/$1"; }
drive() { BRIK_WINE_TIMEOUT=30 "$ROOT/scripts/wine-run.sh" "$OUT" "$BRIKDRIVE" "$@" 2>/dev/null; }

# The prefix before the install, to show that the uninstall leaves it so.
"$ROOT/scripts/prefix-state.sh" "$OUT/export.reg" >"$OUT/prefix-before.txt" || die "cannot take the prefix's state"

say "running it under Wine"
wine "$PACKAGE" >"$OUT/setup.out" 2>"$OUT/setup.err" </dev/null &
pid=$!
# The logo and the init window come first; the unpacking is quick, so the
# first screenshot is taken as soon as the init window is there.
if drive wait-window --title "Brisk Installer initializing..." --class "#32770" --timeout 30 >/dev/null; then
  shot 01-init.png
fi
n=2
while kill -0 "$pid" 2>/dev/null; do
  box=$(drive wait-window --class "#32770" --timeout 5) || continue
  title=$(drive get-text "$box" | tr -d "\r") || continue
  [ "$title" = "Brisk Installer initializing..." ] && continue
  # The progress dialog: at once, while it is there; it ends by itself.
  if [ "$title" = "Installing..." ]; then
    shot "$(printf '%02d' $n)-progress.png"
    say "  dialog \"$title\""
    drive wait-gone "$box" --timeout 120 >/dev/null
    n=$((n + 1))
    continue
  fi
  # A wizard dialog has its title band, control 100; a message box has none.
  if drive get-text "$box" 100 >/dev/null; then
    # Painted once it is shown: give the title band a moment.
    sleep 0.5
    shot "$(printf '%02d' $n)-dialog.png"
    if [ -n "$title" ]; then say "  dialog \"$title\""; else say "  message window"; fi
  else
    text=$(drive get-text "$box" 65535 | tr '\r\n' '  ')
    shot "$(printf '%02d' $n)-box.png"
    say "  box \"$title\": $text"
  fi
  # Next, the license's Yes, the final dialog's OK, a message box's OK.
  for button in 102 105 104 1 2; do
    drive click "$box" $button >/dev/null && break
  done
  drive wait-gone "$box" --timeout 10 >/dev/null
  n=$((n + 1))
  [ $n -gt 20 ] && { kill "$pid"; die "too many windows"; }
done
wait "$pid"
status=$?
say "the engine ended with exit code $status"

# What the install changed besides its files: read back from the system.
READLINK=$BUILD/win32/tests/launcher/readlink.exe
HASFONT=$BUILD/win32/tests/launcher/hasfont.exe
query() { wine reg query "$@" 2>/dev/null </dev/null | tr -d '\r' | sed -n 's/^[ \t]*\([^ \t].*REG_.*\)/\1/p'; }
say "registry values:"
for key in 'HKLM\Software\Brisk Sample Software\Brisk Notes' 'HKLM\Software\Brisk Beispiel-Software\Brisk Notes'; do
  query "$key" | sed "s/^/sample:   $(printf '%s' "$key" | sed 's/[\\&]/\\&/g')  /"
done
say "shortcuts:"
find "$WINEPREFIX/drive_c" -path '*Brisk Notes*' -name '*.lnk' 2>/dev/null | while read -r link; do
  windows=$(winepath -w "$link" 2>/dev/null </dev/null)
  say "  $windows"
  [ -f "$READLINK" ] && wine "$READLINK" "$windows" 2>/dev/null </dev/null | tr -d '\r' | sed 's/^/sample:     /'
done
say "font:"
query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts' /v "$FONT_FACE (TrueType)" | sed 's/^/sample:   /'
if [ -f "$HASFONT" ]; then
  say "  the system's font list: $(wine "$HASFONT" "$FONT_FACE" 2>/dev/null </dev/null | tr -d '\r')"
fi
[ "$status" -eq 0 ] || exit $status

# The uninstall, started as Windows starts it from the list of programs: the
# registered command as it stands; Yes to its question, OK to its end.
say "uninstalling it"
UNINSTALL_LIST='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
command=""
for key in $(wine reg query "$UNINSTALL_LIST" 2>/dev/null </dev/null | tr -d '\r' | grep -i 'Brisk' | tr ' ' '\001'); do
  key=${key//$'\001'/ }
  command=$(query "$key" /v UninstallString | sed 's/^UninstallString[ \t]*REG_SZ[ \t]*//')
  [ -n "$command" ] && { say "  $key: $command"; break; }
done
[ -n "$command" ] || die "no uninstall command registered"
drive run-line "$command" >/dev/null || die "cannot start $command"
window=$(drive wait-window --class "#32770" --timeout 30) || die "no uninstaller window"
sleep 0.5
shot "$(printf '%02d' $n)-uninstall.png"
say "  uninstaller: $(drive get-text "$window" 102 | tr '\r\n' '  ')"
drive click "$window" 6 >/dev/null || die "cannot answer the uninstaller"
n=$((n + 1))
for _ in $(seq 1 300); do
  drive state "$window" 1 | grep -q '^visible' && break
  sleep 0.2
done
shot "$(printf '%02d' $n)-uninstalled.png"
say "  uninstaller: $(drive get-text "$window" 102 | tr '\r\n' '  ')"
drive click "$window" 1 >/dev/null
drive wait-gone "$window" --timeout 30 >/dev/null
# The uninstaller's copy ends, and the original's file goes, a moment later.
sleep 2
"$ROOT/scripts/prefix-state.sh" "$OUT/export.reg" >"$OUT/prefix-after.txt" || die "cannot take the prefix's state"
if diff "$OUT/prefix-before.txt" "$OUT/prefix-after.txt" >"$OUT/prefix.diff"; then
  say "the prefix is clean again: its files and registry are as before the install"
  say "  (the uninstaller's copy in the temporary folder goes at the next restart)"
else
  say "the prefix differs from before the install ($OUT/prefix.diff):"
  head -n 20 "$OUT/prefix.diff" | sed 's/^/sample:   /'
  exit 1
fi
exit 0
