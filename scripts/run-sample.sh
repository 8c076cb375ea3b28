#!/usr/bin/env bash
# The main job: builds the sample package (samples/BriskSample, with its own
# programs from the Windows build) with brikpack and runs it under Wine on a
# display of its own, as a user would: it walks the wizard with Next
# (English in the language list, Yes on the license), answers each message
# box with OK and saves a screenshot of every screen it meets. Then it shows
# what the install made, uninstalls it with the registered command and shows
# that the prefix is as before.
#   run-sample.sh BUILD_DIR [OUT_DIR]
# Output (OUT_DIR, by default BUILD_DIR/sample): BriskSample.exe (the
# package, with logo.bmp beside it), the Wine session of the run and
# screens/NN-NAME.png. Ends with the engine's exit code, or 1 when brikpack
# finds fault with the sample or the prefix is not clean after the uninstall.
# BRIK_SAMPLE_MEDIA_MB sets the size of the large media file (default 120):
# a test needs no progress dialog that stays long.
set -u

[ $# -eq 1 ] || [ $# -eq 2 ] || { echo "usage: $0 BUILD_DIR [OUT_DIR]" >&2; exit 2; }
BUILD=$(cd "$1" && pwd) || exit 2
ROOT=$(cd "$(dirname "$0")/.." && pwd) || exit 2
OUT=${2:-$BUILD/sample}
mkdir -p "$OUT" && OUT=$(cd "$OUT" && pwd) || exit 2
SCREENS=$OUT/screens
BRIKPACK=$BUILD/src/builder/brikpack
SETUP=$BUILD/win32/src/launcher/setup.exe
BRIKDRIVE=$BUILD/win32/tests/win32/brikdrive.exe
PACKAGE=$OUT/BriskSample.exe

say() { printf 'sample: %s\n' "$*"; }
die() { printf 'sample: error: %s\n' "$*" >&2; exit 1; }

PROGRAMS=$BUILD/win32/samples/BriskSample/src
MEDIA_MB=${BRIK_SAMPLE_MEDIA_MB:-120}
case $MEDIA_MB in ''|*[!0-9]*) echo "sample: BRIK_SAMPLE_MEDIA_MB must be a number of megabytes" >&2; exit 2 ;; esac

for f in "$BRIKPACK" "$SETUP" "$BRIKDRIVE" "$PROGRAMS/BriskNotes.exe" "$PROGRAMS/BriskNotesShell.dll" \
  "$PROGRAMS/BriskSpell.dll"; do
  [ -f "$f" ] || die "$f is missing (has the build run?)"
done
rm -rf "$SCREENS"
mkdir -p "$SCREENS" || die "cannot create $SCREENS"

# The sample as it is, with its programs from the Windows build, a large
# media file made here (not kept in the repository), so that the progress
# dialog stays long enough to be seen, and the program's own font, made from
# one of Wine's under a name of its own.
PROJECT=$OUT/project
rm -rf "$PROJECT"
cp -r "$ROOT/samples/BriskSample" "$PROJECT" || die "cannot copy the sample"
rm -rf "$PROJECT/src"
cp "$PROGRAMS/BriskNotes.exe" "$PROGRAMS/BriskNotesShell.dll" "$PROGRAMS/BriskSpell.dll" "$PROJECT/Data/" ||
  die "cannot copy the sample's programs"
head -c $((MEDIA_MB * 1048576)) /dev/urandom >"$PROJECT/Data/Media/Intro.dat" || die "cannot make the media file"
FONT_FACE="Brisk Notes Sans"
mkdir -p "$PROJECT/Data/Fonts"
python3 "$ROOT/scripts/rename-font.py" /usr/share/wine/fonts/tahoma.ttf "$PROJECT/Data/Fonts/BriskNotes.ttf" \
  "$FONT_FACE" || die "cannot make the sample's font"
# The uninstaller's bitmap, drawn like the logo below.
convert -size 64x128 gradient:'#0a2a66-#3f7fd8' \
  -fill '#f2b233' -draw 'roundrectangle 8,70 56,118 6,6' \
  -fill '#47c24f' -draw 'polygon 24,12 40,12 40,42 52,42 32,66 12,42 24,42' -colors 64 -type Palette -compress None \
  "BMP3:$PROJECT/Presetup/UnBrik.bmp" || say "no uninstaller bitmap (ImageMagick's convert failed)"
# The builder's checks: the sample shows every capability, and no slip.
"$BRIKPACK" check "$PROJECT" >"$OUT/check.out" 2>&1
check_status=$?
if [ $check_status -ne 0 ] || grep -q ': \(warning\|error\): ' "$OUT/check.out"; then
  sed 's/^/sample:   /' "$OUT/check.out" >&2
  die "brikpack check finds fault with the sample"
fi
say "brikpack check: $(tail -n 1 "$OUT/check.out")"
"$BRIKPACK" build "$PROJECT" -o "$PACKAGE" --stub "$SETUP" >"$OUT/build.out" 2>&1 ||
  { cat "$OUT/build.out" >&2; die "brikpack build failed"; }
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

session_status=0
"$ROOT/scripts/wine-session.sh" start "$OUT" >"$OUT/wine-session.out" 2>&1 || session_status=$?
if [ "$session_status" -eq 77 ]; then
  # No 32-bit program can run on this machine: the session says why.
  cat "$OUT/wine-session.out" >&2
  exit 77
fi
[ "$session_status" -eq 0 ] || { cat "$OUT/wine-session.out" >&2; die "cannot start the Wine session"; }
trap '"$ROOT/scripts/wine-session.sh" stop "$OUT" >/dev/null' EXIT
# shellcheck source=/dev/null
. "$OUT/wine-env.sh"

shot() { "$ROOT/scripts/screenshot.sh" "$OUT" "$SCREENS/$1" >/dev/null && say "  screen $SCREENS/$1"; }
drive() { BRIK_WINE_TIMEOUT=30 "$ROOT/scripts/wine-run.sh" "$OUT" "$BRIKDRIVE" "$@" 2>/dev/null; }

# Every Windows has the list of shared libraries' counts; a new Wine prefix
# gets it only with the first count, and an uninstall that takes the last
# count back leaves the list, as on Windows.
wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs' /f >/dev/null 2>&1 </dev/null ||
  die "cannot make the list of shared libraries"
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
# A screen's file name: its number and what it shows, named after the
# wizard's English titles; others after their own title.
screen_name() {
  case $1 in
    "Choose language") echo language ;;
    "Welcome!") echo welcome ;;
    "License agreement") echo license ;;
    "Readme information") echo readme ;;
    "Select installation directory") echo folder ;;
    "Program group") echo group ;;
    "Start install") echo start ;;
    "Installation complete") echo finish ;;
    *) printf '%s' "$1" | tr '[:upper:]' '[:lower:]' | tr -cs '[:lower:][:digit:]' '-' | sed 's/^-//; s/-$//' ;;
  esac
}
n=2
while kill -0 "$pid" 2>/dev/null; do
  box=$(drive wait-window --class "#32770" --timeout 5) || continue
  title=$(drive get-text "$box" | tr -d "\r") || continue
  [ "$title" = "Brisk Installer initializing..." ] && continue
  # The progress dialog: at once, while it is there; it ends by itself.
  if [ "$title" = "Installing..." ]; then
    shot "$(printf '%02d' $n)-progress.png"
    say "  dialog \"$title\""
    drive wait-gone "$box" --timeout 300 >/dev/null
    n=$((n + 1))
    continue
  fi
  # A wizard dialog has its title band, control 100, and a status message
  # its icon there; a message box has none, but its text, control 65535.
  if drive get-text "$box" 100 >/dev/null; then
    if [ -z "$title" ]; then
      # A status message goes by itself, and the progress dialog may follow
      # at once and be gone in a few seconds: no button to try, no pause.
      sleep 0.1
      shot "$(printf '%02d' $n)-message.png"
      say "  message window"
      drive wait-gone "$box" --timeout 30 >/dev/null
      n=$((n + 1))
      continue
    fi
    # The language list: English, chosen as a user would, so that the
    # choice is what the install then speaks.
    if english=$(drive items "$box" 106 2>/dev/null | tr -d '\r' | grep -n '^English' | head -n 1 | cut -d: -f1) &&
      [ -n "$english" ]; then
      drive select "$box" 106 $((english - 1)) >/dev/null || say "  cannot choose English"
    fi
    # Painted once it is shown: give the title band a moment.
    sleep 0.5
    shot "$(printf '%02d' $n)-$(screen_name "$title").png"
    say "  dialog \"$title\""
  elif drive get-text "$box" 65535 >/dev/null; then
    text=$(drive get-text "$box" 65535 | tr '\r\n' '  ')
    shot "$(printf '%02d' $n)-box.png"
    say "  box \"$title\": $text"
  else
    # A status message that was gone before it could be told apart.
    continue
  fi
  # Next, the license's Yes, the final dialog's OK, a message box's OK.
  for button in 102 105 104 1 2; do
    drive click "$box" $button >/dev/null && break
  done
  drive wait-gone "$box" --timeout 10 >/dev/null
  n=$((n + 1))
  [ $n -gt 40 ] && { kill "$pid"; die "too many windows"; }
done
wait "$pid"
status=$?
say "the engine ended with exit code $status"

# What the install made: read back from the system.
READLINK=$BUILD/win32/tests/launcher/readlink.exe
HASFONT=$BUILD/win32/tests/launcher/hasfont.exe
CLSID='{24C6739F-2A78-46ED-851C-19793A7C6F3A}'
query() { wine reg query "$@" 2>/dev/null </dev/null | tr -d '\r' | sed -n 's/^[ \t]*\([^ \t].*REG_.*\)/\1/p'; }
# Indented lines of our output, after a heading.
indent() {
  local prefix
  prefix=$(printf '%s' "${1:-}" | sed 's/[\\&/]/\\&/g')
  sed "s/^/sample:   $prefix/"
}
# The company's name, and so the key, is the chosen language's.
for APP in 'Brisk Sample Software\Brisk Notes' 'Brisk Beispiel-Software\Brisk Notes'; do
  INSTALL_WIN=$(query "HKLM\\Software\\$APP" /v InstallPath | sed 's/^InstallPath[ \t]*REG_SZ[ \t]*//')
  [ -n "$INSTALL_WIN" ] && break
done
INSTALL_DIR=""
[ -n "$INSTALL_WIN" ] && INSTALL_DIR=$(winepath -u "$INSTALL_WIN" 2>/dev/null </dev/null)
SPELL_WIN=$(query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs" | grep -i 'BriskSpell.dll' |
  sed 's/[ \t]*REG_DWORD.*//')
# The files below a folder (or one file), each with its size and, for a
# program or library, the fixed file version of its version resource: what
# the builder lists in [FileInfo] and the install compares.
list_files() {
  python3 - "$1" <<'PY'
import os, struct, sys
top = sys.argv[1]
if os.path.isdir(top):
    paths = sorted(os.path.relpath(os.path.join(d, f), top) for d, _, fs in os.walk(top) for f in fs)
else:
    top, paths = os.path.dirname(top), [os.path.basename(top)]
for path in paths:
    data = open(os.path.join(top, path), 'rb').read()
    line = '%s  %d bytes' % (path.replace('/', '\\'), len(data))
    at = data.find(struct.pack('<I', 0xFEEF04BD)) if path.lower().endswith(('.exe', '.dll')) else -1
    if at >= 0:
        ms, ls = struct.unpack_from('<II', data, at + 8)
        line += '  version %d.%d.%d.%d' % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    print(line)
PY
}
say "files in $INSTALL_WIN:"
[ -n "$INSTALL_DIR" ] && [ -d "$INSTALL_DIR" ] && list_files "$INSTALL_DIR" | indent
say "the shared library: ${SPELL_WIN:-none}"
[ -n "$SPELL_WIN" ] && list_files "$(winepath -u "$SPELL_WIN" 2>/dev/null </dev/null)" | indent
say "registry values:"
for key in "HKLM\\Software\\$APP" "HKCU\\Software\\$APP\\Window"; do
  query "$key" | indent "$key  "
done
say "INI entries of BriskNotes.ini:"
[ -n "$INSTALL_DIR" ] && tr -d '\r' <"$INSTALL_DIR/BriskNotes.ini" 2>/dev/null | sed '/^$/d' | indent
say "shortcuts:"
# The desktop is a link out of the prefix, to the session's home.
{ find "$WINEPREFIX/drive_c/users" -path '*Brisk Notes*' -name '*.lnk' 2>/dev/null
  ls -d "$WINEPREFIX"/drive_c/users/*/Desktop/'Brisk Notes.lnk' 2>/dev/null; } | LC_ALL=C sort -u | while read -r link; do
  windows=$(winepath -w "$link" 2>/dev/null </dev/null)
  say "  $windows"
  [ -f "$READLINK" ] && wine "$READLINK" "$windows" 2>/dev/null </dev/null | tr -d '\r' | indent "  "
done
say "SharedDLLs count:"
query 'HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs' | grep -i 'BriskSpell' | indent
say "COM registration:"
query "HKCR\\CLSID\\$CLSID\\InprocServer32" | indent "HKCR\\CLSID\\$CLSID\\InprocServer32  "
query 'HKCR\BriskNotes.Shell\CLSID' | indent 'HKCR\BriskNotes.Shell\CLSID  '
say "font:"
query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts' /v "$FONT_FACE (TrueType)" | indent
if [ -f "$HASFONT" ]; then
  say "  the system's font list: $(wine "$HASFONT" "$FONT_FACE" 2>/dev/null </dev/null | tr -d '\r')"
fi
say "the first start's welcome page (Welcome.txt):"
[ -n "$INSTALL_DIR" ] && tr -d '\r' <"$INSTALL_DIR/Welcome.txt" 2>/dev/null | sed '/^$/d' | indent
[ "$status" -eq 0 ] || exit $status

# The program as the user then finds it: its welcome page, in its own font.
if [ -n "$INSTALL_WIN" ] && notes=$(drive start "$INSTALL_WIN\\BriskNotes.exe"); then
  if window=$(drive wait-window --title "Brisk Notes" --class BriskNotesWindow --pid "$notes" --timeout 30); then
    sleep 0.5
    shot "$(printf '%02d' $n)-notes.png"
    n=$((n + 1))
    say "  Brisk Notes runs"
    drive close "$window" >/dev/null
  else
    say "  Brisk Notes shows no window"
  fi
  drive wait-process "$notes" --timeout 30 >/dev/null || say "  Brisk Notes did not end"
fi

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
