#!/usr/bin/env bash
# End-to-end tests of the setup engine under Wine: packages built with
# brikpack from small projects made here, run as a user would, checked by
# the message boxes they show and by what they leave in the temporary folder.
#   launcher_test.sh BUILD_DIR WIN32_DIR BRIKPACK
# BUILD_DIR holds the Wine session (scripts/wine-session.sh), WIN32_DIR is the
# Windows build (setup.exe, the test engines and tools), BRIKPACK the native
# package builder. Screenshots go to BUILD_DIR/screenshots/launcher_*.png.
set -u

if [ $# -ne 3 ]; then
  echo "usage: $0 BUILD_DIR WIN32_DIR BRIKPACK" >&2
  exit 2
fi
BUILD_DIR=$(cd "$1" && pwd) || exit 2
WIN32_DIR=$(cd "$2" && pwd) || exit 2
BRIKPACK=$3
SCRIPTS=$(cd "$(dirname "$0")/../../scripts" && pwd) || exit 2
SETUP=$WIN32_DIR/src/launcher/setup.exe
TOOLS=$WIN32_DIR/tests/launcher
BRIKDRIVE=$WIN32_DIR/tests/win32/brikdrive.exe
TESTDLG=$WIN32_DIR/tests/win32/testdlg.exe
WORK=$BUILD_DIR/wine-launcher
SHOTS=$BUILD_DIR/screenshots

for f in "$SETUP" "$TOOLS/setup_nounpack.exe" "$TOOLS/setup_badunpack.exe" "$TOOLS/setup_noexports.exe" \
  "$TOOLS/setup_nomemory.exe" "$TOOLS/setup_doublefault.exe" "$TOOLS/markers/comctl32.dll" \
  "$TOOLS/osinfo.exe" "$TOOLS/holdmutex.exe" "$BRIKDRIVE" "$TESTDLG" "$BRIKPACK"; do
  [ -f "$f" ] || { echo "launcher_test: $f is missing (has the build run?)" >&2; exit 1; }
done
[ -f "$BUILD_DIR/wine-env.sh" ] || { echo "launcher_test: no Wine session in $BUILD_DIR" >&2; exit 1; }
# shellcheck source=/dev/null
. "$BUILD_DIR/wine-env.sh"

rm -rf "$WORK"
mkdir -p "$WORK" "$SHOTS" || exit 1

BACKGROUND=""
cleanup() {
  local p
  for p in $BACKGROUND; do kill "$p" 2>/dev/null; done
  set_windows_version ""
}
trap cleanup EXIT

T0=$(date +%s%3N)
step() {
  local ms=$(($(date +%s%3N) - T0))
  printf 'launcher_test: [%d.%03d s] %s\n' $((ms / 1000)) $((ms % 1000)) "$*"
}

fail() {
  echo "launcher_test: FAILED: $*" >&2
  local f
  for f in "$WORK"/*.err; do
    [ -s "$f" ] && { echo "--- $f" >&2; tail -n 20 "$f" >&2; }
  done
  "$SCRIPTS/screenshot.sh" "$BUILD_DIR" "$SHOTS/launcher_failure.png" >&2
  exit 1
}

drive() {
  BRIK_WINE_TIMEOUT=${DRIVE_TIMEOUT:-60} "$SCRIPTS/wine-run.sh" "$BUILD_DIR" "$BRIKDRIVE" "$@" \
    2>"$WORK/drive.err"
}

winpath() { printf 'Z:%s' "${1//\//\\}"; }

# The temporary folder of the session's user, as a Unix path.
TEMP_WIN=$(wine cmd /c echo %TEMP% 2>/dev/null </dev/null | tr -d '\r\n')
TEMP_UNIX=$(winepath -u "$TEMP_WIN" 2>/dev/null </dev/null | tr -d '\r\n')
[ -d "$TEMP_UNIX" ] || fail "cannot find the temporary folder ($TEMP_WIN -> $TEMP_UNIX)"
step "temporary folder $TEMP_WIN"

# --- Projects and packages ----------------------------------------------------

ENU_STRINGS='[Strings]
LanguageName=English
10=ENU: %ProgramName% needs administration rights.
13=ENU: %ProgramName% does not run on this system.
14=ENU: Version %s or newer is needed for %ProgramName%.
15=ENU: %ProgramName% is running.'

# project NAME SETTINGS [LANGUAGE-FILE TEXT]...: a project folder with the
# settings file and language files given (lines end in CR LF, as the engine
# wants). Enu.lng is ENU_STRINGS unless given.
project() {
  local name=$1 settings=$2 dir=$WORK/$1
  shift 2
  rm -rf "$dir"
  mkdir -p "$dir/Presetup" || fail "cannot create $dir"
  printf '%s\n' "$settings" | sed 's/$/\r/' >"$dir/Presetup/Brik.ini"
  printf '%s\n' "$ENU_STRINGS" | sed 's/$/\r/' >"$dir/Presetup/Enu.lng"
  while [ $# -ge 2 ]; do
    printf '%s\n' "$2" | sed 's/$/\r/' >"$dir/Presetup/$1"
    shift 2
  done
}

# package NAME [STUB] [brikpack options...]: builds WORK/NAME.exe from the
# project of that name.
package() {
  local name=$1 stub=${2:-$SETUP}
  shift 2 2>/dev/null || shift $#
  if ! "$BRIKPACK" build "$WORK/$name" -o "$WORK/$name.exe" --stub "$stub" "$@" \
    >"$WORK/brikpack.out" 2>"$WORK/brikpack.err"; then
    fail "brikpack build $name failed: $(cat "$WORK/brikpack.err")"
  fi
}

# --- Running the engine -------------------------------------------------------

# The entries of the temporary folder, less the scratch folders of the unit
# tests, which may run at the same time in the same Wine prefix.
temp_entries() {
  ls -A "$TEMP_UNIX" | grep -v '^briktest-' | sort
}

SETUP_PID=""
start_setup() {
  SNAPSHOT=$(temp_entries)
  wine "$1" >"$WORK/setup.out" 2>"$WORK/setup.err" </dev/null &
  SETUP_PID=$!
  BACKGROUND="$BACKGROUND $SETUP_PID"
}

# expect_box CAPTION TEXT [SHOT]: the next message box of the engine; its text
# is compared line by line (a CR in the text starts a line as well). Clicks OK.
expect_box() {
  local caption=$1 text=$2 shot=${3:-} box got
  box=$(drive wait-window --title "$caption" --class "#32770" --timeout 40) ||
    fail "no message box titled \"$caption\" (expected: $text)"
  got=$(drive get-text "$box" 65535) || fail "cannot read the text of the box"
  got=$(printf '%s' "$got" | tr '\r' '\n' | sed '/^$/d')
  [ "$got" = "$text" ] || fail "the box \"$caption\" says \"$got\", expected \"$text\""
  [ -n "$shot" ] && { "$SCRIPTS/screenshot.sh" "$BUILD_DIR" "$SHOTS/$shot" >/dev/null || fail "screenshot failed"; }
  step "  box \"$caption\": $(printf '%s' "$got" | tr '\n' '|')"
  drive click "$box" 1 || fail "cannot click OK on the box"
  drive wait-gone "$box" --timeout 30 || fail "the box did not close"
}

# expect_end: the engine ends by itself with exit code 0 and leaves the
# temporary folder as it found it.
expect_end() {
  local status after
  for _ in $(seq 1 600); do
    kill -0 "$SETUP_PID" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$SETUP_PID" 2>/dev/null && fail "the engine did not end within 60 s"
  wait "$SETUP_PID"
  status=$?
  SETUP_PID=""
  [ "$status" -eq 0 ] || fail "the engine ended with exit code $status"
  after=$(temp_entries)
  [ "$after" = "$SNAPSHOT" ] ||
    fail "the temporary folder changed: $(diff <(printf '%s\n' "$SNAPSHOT") <(printf '%s\n' "$after") | tr '\n' ' ')"
}

# set_windows_version VERSION: the Windows version Wine shows the test
# package and osinfo.exe (by their program names, so that other tests in the
# session keep theirs); empty: Wine's default again.
VERSION_PROGRAMS="versions.exe osinfo.exe"
set_windows_version() {
  local program key
  for program in $VERSION_PROGRAMS; do
    key="HKCU\\Software\\Wine\\AppDefaults\\$program"
    if [ -n "$1" ]; then
      wine reg add "$key" /v Version /d "$1" /f >/dev/null 2>&1 </dev/null ||
        fail "cannot set Wine's Windows version of $program to $1"
    else
      wine reg delete "$key" /f >/dev/null 2>&1 </dev/null
    fi
  done
}

# settings [CONFIG-LINES] [MORE-SECTIONS]: a settings file with these [Config]
# lines, the program name and further sections.
settings() {
  printf '[Config]\n%s\n[Variables]\nProgramName=Brisk Sample\n%s\n' "${1:-}" "${2:-}"
}

# --- A package with bytes appended ----------------------------------------------
step "bytes appended to a package"
# A setup file whose name starts with a point goes with the setup folder.
project plain "$(settings)" ".settings" "[x]"
package plain
cp "$WORK/plain.exe" "$WORK/appended.exe" && printf 'tail' >>"$WORK/appended.exe"
start_setup "$WORK/appended.exe"
expect_box "Error" "Invalid package size!
This package has been corrupted, installation impossible." launcher_invalid_size.png
expect_end

# --- The whole run without dialogs: the outcome decides the final dialog ----------
step "a run with nothing to do ends in DLG_FINISH"
start_setup "$WORK/plain.exe"
expect_box "Brisk Sample" 'Cannot show dialog "DLG_FINISH"!'
expect_end

step "ShowFinalDialog=0 ends silently"
project nofinal "$(settings "" "[Display]
ShowFinalDialog=0")"
package nofinal
start_setup "$WORK/nofinal.exe"
expect_end

step "a pre-install dialog that cannot be shown leads to DLG_NOTFINISH"
project predialog "[Config]
PreInstallDialogSequence=dlg_welcome, %ProgramName%
[Variables]
ProgramName=Brisk Sample"
package predialog
start_setup "$WORK/predialog.exe"
expect_box "Brisk Sample" 'Cannot show dialog "DLG_WELCOME"!'
expect_box "Brisk Sample" 'Cannot show dialog "DLG_NOTFINISH"!'
expect_end

step "NeedReboot puts DLG_REBOOT after the post-install dialogs"
project reboot "[Config]
NeedReboot=1
[Variables]
ProgramName=Brisk Sample"
package reboot
start_setup "$WORK/reboot.exe"
expect_box "Brisk Sample" 'Cannot show dialog "DLG_REBOOT"!'
expect_box "Brisk Sample" 'Cannot show dialog "DLG_NOTFINISH"!'
expect_end

# --- Languages ------------------------------------------------------------------
step "no Languages key: English only, although Deu.lng is there"
project nolang "$(settings "SupportedOS=9x")" Deu.lng '[Strings]
13=DEU: %ProgramName% läuft hier nicht.'
package nolang
start_setup "$WORK/nolang.exe"
expect_box "Brisk Sample" "ENU: Brisk Sample does not run on this system." launcher_refusal.png
expect_end

step "Languages=DEU: the German file"
project deu "[Config]
Languages=DEU
SupportedOS=9x
[Variables]
ProgramName=Brisk Sample" Deu.lng '[Strings]
13=DEU: %ProgramName% laeuft hier nicht.'
package deu
start_setup "$WORK/deu.exe"
expect_box "Brisk Sample" "DEU: Brisk Sample laeuft hier nicht."
expect_end

step "Languages=DEU,ENU with automatic selection: the user's English"
project auto "[Config]
Languages=DEU, ENU
SupportedOS=9x
[Variables]
ProgramName=Brisk Sample" Deu.lng '[Strings]
13=DEU: %ProgramName% laeuft hier nicht.'
package auto
start_setup "$WORK/auto.exe"
expect_box "Brisk Sample" "ENU: Brisk Sample does not run on this system."
expect_end

# --- Windows versions -------------------------------------------------------------
# One package: SupportedOS admits the 9x platform and XP, MinOSVersion asks
# for 4.10, so each version takes a different way.
project versions "[Config]
SupportedOS=9x,xp
MinOSVersion=4.10
[Display]
ShowFinalDialog=0
[Variables]
ProgramName=Brisk Sample"
package versions
while read -r version kind prefix outcome; do
  step "Windows version $version"
  set_windows_version "$version"
  BRIK_WINE_TIMEOUT=60 "$SCRIPTS/wine-run.sh" "$BUILD_DIR" "$TOOLS/osinfo.exe" >"$WORK/osinfo.out" \
    2>"$WORK/osinfo.err" || fail "osinfo.exe failed under $version"
  tr -d '\r' <"$WORK/osinfo.out" >"$WORK/osinfo.txt"
  grep -qx "kind=$kind" "$WORK/osinfo.txt" || fail "$version: kind is not $kind: $(tr '\n' ' ' <"$WORK/osinfo.txt")"
  description=$(sed -n 's/^description=//p' "$WORK/osinfo.txt")
  prefix=${prefix//_/ }
  case $description in
    "$prefix"*) ;;
    *) fail "$version: description \"$description\" does not start with \"$prefix\"" ;;
  esac
  step "  $description"
  start_setup "$WORK/versions.exe"
  case $outcome in
    unsupported) expect_box "Brisk Sample" "ENU: Brisk Sample does not run on this system." ;;
    tooold) expect_box "Brisk Sample" "ENU: Version 4.10 or newer is needed for Brisk Sample." ;;
    runs) ;;
  esac
  expect_end
done <<'EOF'
win95 1 Windows_95_4.0. tooold
win98 2 Windows_98_4.10. runs
winme 5 Windows_Me_4.90. runs
nt40 3 Windows_NT_4.0. unsupported
win2k 4 Windows_2000_5.0. unsupported
winxp 6 Windows_XP_5.01. runs
EOF
set_windows_version ""

# --- Already running ---------------------------------------------------------------
step "CheckWindow while a window of that title exists"
project checkwindow "$(settings "CheckWindow=Brisk Test Dialog")"
package checkwindow
wine "$TESTDLG" >"$WORK/testdlg.out" 2>"$WORK/testdlg.err" </dev/null &
DIALOG_PID=$!
BACKGROUND="$BACKGROUND $DIALOG_PID"
DLG=$(drive wait-window --title "Brisk Test Dialog" --class "#32770" --timeout 30) || fail "testdlg did not appear"
start_setup "$WORK/checkwindow.exe"
expect_box "Brisk Sample" "ENU: Brisk Sample is running."
expect_end
drive click "$DLG" 2 || fail "cannot close testdlg"
wait "$DIALOG_PID" 2>/dev/null

step "CheckWindow without such a window"
start_setup "$WORK/checkwindow.exe"
expect_box "Brisk Sample" 'Cannot show dialog "DLG_FINISH"!'
expect_end

step "CheckMutex while the mutex exists"
project checkmutex "$(settings "CheckMutex=BriskTestMutex")"
package checkmutex
wine "$TOOLS/holdmutex.exe" BriskTestMutex 120 >"$WORK/holdmutex.out" 2>"$WORK/holdmutex.err" </dev/null &
MUTEX_PID=$!
BACKGROUND="$BACKGROUND $MUTEX_PID"
for _ in $(seq 1 300); do
  grep -q ready "$WORK/holdmutex.out" 2>/dev/null && break
  sleep 0.1
done
grep -q ready "$WORK/holdmutex.out" || fail "holdmutex did not start"
start_setup "$WORK/checkmutex.exe"
expect_box "Brisk Sample" "ENU: Brisk Sample is running."
expect_end
kill "$MUTEX_PID" 2>/dev/null
wait "$MUTEX_PID" 2>/dev/null

step "CheckAdminRights as an administrator"
project admin "$(settings "CheckAdminRights=1")"
package admin
start_setup "$WORK/admin.exe"
expect_box "Brisk Sample" 'Cannot show dialog "DLG_FINISH"!'
expect_end

# --- Pre-run programs ---------------------------------------------------------------
step "a pre-run program that ends with 1 ends the setup silently"
project prerun "$(settings "" "[PreRunApp]
1=cmd.exe,/c exit 0
2=cmd.exe,/c exit 1
3=cmd.exe,/c exit 0")"
package prerun
start_setup "$WORK/prerun.exe"
expect_end

step "pre-run programs that end with 0 let the setup go on"
project prerunok "$(settings "" "[PreRunApp]
1=cmd.exe,/c exit 0")"
package prerunok
start_setup "$WORK/prerunok.exe"
expect_box "Brisk Sample" 'Cannot show dialog "DLG_FINISH"!'
expect_end

# --- The decompressor resource ----------------------------------------------------------
while read -r engine message; do
  step "engine $engine"
  rm -rf "$WORK/$engine"
  cp -r "$WORK/plain" "$WORK/$engine"
  package "$engine" "$TOOLS/$engine.exe"
  start_setup "$WORK/$engine.exe"
  expect_box "Error" "${message//_/ }"
  expect_end
done <<'EOF'
setup_nounpack Can't_extract_UNPACK.DLL
setup_badunpack Can't_load_unpack_library
setup_noexports Important_functions_was_not_found_in_the_unpack_library
setup_nomemory Out_of_memory
setup_doublefault Out_of_memory
EOF

# --- Stored names that would leave the setup folder -----------------------------
# brikpack never writes such names, so this package is put together here:
# the engine, a stored cabinet and the trailer.
le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16 & 65535)); }
# hand_package OUT NAME1 DATA1 NAME2 DATA2: two files in one folder, one
# stored data block, no checksums.
hand_package() {
  local out=$1 n1=$2 d1=$3 n2=$4 d2=$5 length
  local files_at=$((36 + 8)) names=$((${#n1} + 1 + ${#n2} + 1))
  local data_at=$((36 + 8 + 32 + names)) size=$((${#d1} + ${#d2}))
  local total=$((data_at + 8 + size))
  {
    printf 'MSCF'; le32 0; le32 $total; le32 0; le32 $files_at; le32 0
    printf '\x03\x01'; le16 1; le16 2; le16 0; le16 0; le16 0
    le32 $data_at; le16 1; le16 0
    le32 ${#d1}; le32 0; le16 0; le16 0x5021; le16 0x6000; le16 0x20; printf '%s\0' "$n1"
    le32 ${#d2}; le32 ${#d1}; le16 0; le16 0x5021; le16 0x6000; le16 0x20; printf '%s\0' "$n2"
    le32 0; le16 $size; le16 $size; printf '%s%s' "$d1" "$d2"
  } >"$WORK/cab.bin"
  { cp "$SETUP" "$out" && cat "$WORK/cab.bin" >>"$out"; } || fail "cannot write $out"
  length=$(stat -c %s "$out")
  { le32 $size; le32 "$length"; } >>"$out"
}
while read -r name; do
  step "a stored name that leaves the setup folder: $name"
  hand_package "$WORK/climb.exe" 'Presetup\Brik.ini' '[Config]' "$name" 'planted'
  start_setup "$WORK/climb.exe"
  expect_box "Error" "Can't extract presetup files!"
  expect_end
done <<'EOF'
Presetup\..\planted.txt
Presetup\C:\planted.txt
Presetup\\\server\share\planted.txt
EOF
# The same package with a harmless second name passes, so the refusals above
# come from the names.
hand_package "$WORK/climb.exe" 'Presetup\Brik.ini' $'[Variables]\r\nProgramName=Brisk Sample\r\n' \
  'Presetup\Sub\planted.txt' 'planted'
start_setup "$WORK/climb.exe"
expect_box "Brisk Sample" 'Cannot show dialog "DLG_FINISH"!'
expect_end

# --- Device names and a package without its settings file --------------------------
# brikpack refuses device names when it builds, so these come by hand too.
while read -r name; do
  step "a stored device name: $name"
  hand_package "$WORK/device.exe" 'Presetup\Brik.ini' '[Config]' "$name" 'planted'
  start_setup "$WORK/device.exe"
  expect_box "Error" "Can't extract presetup files!"
  expect_end
done <<'EOF'
Presetup\NUL
Presetup\con.txt
Presetup\Sub\Com1\planted.txt
Presetup\lpt9. .
EOF

step "setup files without Brik.ini"
hand_package "$WORK/nosettings.exe" 'Presetup\Enu.lng' $'[Strings]\r\nLanguageName=English\r\n' \
  'Presetup\Other.ini' $'[Config]\r\n'
start_setup "$WORK/nosettings.exe"
expect_box "Error" "Can't extract presetup files!"
expect_end

# --- A damaged file table --------------------------------------------------------------
# The first file's size off by one: no checksum covers the file list, and a
# lenient reader would write the setup files short or shifted. The engine
# refuses the package before it writes any of them.
step "a package whose file table is damaged"
cp "$WORK/plain.exe" "$WORK/damaged.exe" || fail "cannot copy plain.exe"
base=$(grep -obUaP 'MSCF\x00\x00\x00\x00' "$WORK/damaged.exe" | head -1 | cut -d: -f1)
folders=$(od -An -tu2 -j $((base + 26)) -N2 "$WORK/damaged.exe" | tr -d ' ')
entry=$((base + 36 + 8 * folders))
low=$(od -An -tu1 -j "$entry" -N1 "$WORK/damaged.exe" | tr -d ' ')
printf "\\$(printf %o $((low ^ 1)))" | dd of="$WORK/damaged.exe" bs=1 seek="$entry" conv=notrunc status=none ||
  fail "cannot damage the package"
start_setup "$WORK/damaged.exe"
drive wait-window --title "Error" --class "#32770" --timeout 40 >/dev/null || fail "no error box for the damaged package"
# While the message is up, the setup folder holds the unpack library alone.
written=$(comm -13 <(printf '%s\n' "$SNAPSHOT") <(temp_entries) | while read -r entry; do
  find "$TEMP_UNIX/$entry" -type f ! -iname unpack.dll; done)
[ -z "$written" ] || fail "setup files were written from a damaged package: $written"
expect_box "Error" "Can't extract presetup files!"
expect_end

# --- Install work that cannot be done yet ---------------------------------------------
step "a package with application files"
project withdata "$(settings)"
mkdir -p "$WORK/withdata/Data" && printf 'data' >"$WORK/withdata/Data/readme.txt"
package withdata
start_setup "$WORK/withdata.exe"
expect_box "Brisk Sample" "This setup program cannot install files yet."
expect_box "Brisk Sample" 'Cannot show dialog "DLG_NOTFINISH"!'
expect_end

# --- The init window under the logo ---------------------------------------------------
step "init window and logo with a large Presetup folder"
project large "$(settings)"
# Compressed text, so that the library has work to do for a while.
head -c 15000000 /dev/urandom | base64 >"$WORK/large/Presetup/Big.txt"
package large
convert -size 360x180 gradient:'#1c4f9c-#6fa8ff' -fill '#f0b040' -draw 'rectangle 30,60 130,150' \
  -fill '#3cc846' -draw 'polygon 60,10 100,10 100,50 120,50 80,95 40,50 60,50' \
  "BMP3:$WORK/logo.bmp" || fail "cannot draw logo.bmp"
start_setup "$WORK/large.exe"
INIT=$(DRIVE_TIMEOUT=90 drive wait-window --title "Brisk Installer initializing..." --class "#32770" --timeout 60) ||
  fail "the init window did not appear"
"$SCRIPTS/screenshot.sh" "$BUILD_DIR" "$SHOTS/launcher_init_window.png" >/dev/null || fail "screenshot failed"
step "  init window $INIT"
expect_box "Brisk Sample" 'Cannot show dialog "DLG_FINISH"!'
expect_end

# --- The background window -------------------------------------------------------
# Shown before the first dialog: the gradient from the settings' colours, a
# static bitmap anchored at the bottom-right corner with its green ring left
# transparent, the title; the system commands of Alt+F4 and the system menu
# change nothing.
step "the background window"
project background '[Config]
[Variables]
ProgramName=Brisk Sample
MainTitle=Brisk Sample||Setup
[Display]
ShowMainWindow=1
GradientTopColor=$004010
GradientBottomColor=$FF4010
MainTitleShadow=1
[StaticBitmap]
1=corner.bmp,10,10,3,$00FF00'
convert -size 20x20 xc:'#00ff00' -fill '#ff0000' -draw 'rectangle 4,4,15,15' \
  "BMP3:$WORK/background/Presetup/corner.bmp" || fail "cannot draw corner.bmp"
package background
start_setup "$WORK/background.exe"
BOX=$(drive wait-window --title "Brisk Sample" --class "#32770" --timeout 40) || fail "no message box over the background"
MAIN=$(drive wait-window --class "BrikMainWindow" --timeout 10) || fail "the background window is not shown"
"$SCRIPTS/screenshot.sh" "$BUILD_DIR" "$SHOTS/launcher_background.png" >/dev/null || fail "screenshot failed"
read -r left top right bottom <<<"$(drive client-rect "$MAIN" | tr -d '\r')" || fail "cannot read the client area"
step "  client area $left,$top - $right,$bottom"
# pixel X Y: the screenshot's colour at a screen position, as "R,G,B".
pixel() {
  convert "$SHOTS/launcher_background.png" -format '%[fx:int(255*p{'"$1,$2"'}.r)],%[fx:int(255*p{'"$1,$2"'}.g)],%[fx:int(255*p{'"$1,$2"'}.b)]' info: 2>/dev/null
}
expect_pixel() {
  local got
  got=$(pixel "$1" "$2")
  [ "$got" = "$3" ] || fail "$4: the pixel at $1,$2 is $got, expected $3"
}
# The last of the (height div 3) bands stops one step short of the bottom
# colour: blue 255 * (n - 1) / n, rounded, which is 254 for any height the
# screen can have here.
expect_pixel $((right - 40)) $((top + 1)) "16,64,0" "top colour"
expect_pixel $((left + 5)) $((bottom - 1)) "16,64,254" "bottom band"
expect_pixel $((right - 20)) $((bottom - 20)) "255,0,0" "static bitmap at the bottom-right corner"
ring=$(pixel $((right - 29)) $((bottom - 29)))
[ "$ring" != "0,255,0" ] || fail "the static bitmap's transparent colour was drawn"
expect_pixel $((right - 5)) $((bottom - 5)) "$(pixel $((left + 5)) $((bottom - 5)))" "right of the static bitmap"
# The title with its shadow: a blue title (the default colour) somewhere in
# its first line.
title=$(convert "$SHOTS/launcher_background.png" -crop "200x30+$((left + 20))+$((top + 20))" +repage \
  -fill black +opaque '#0000ff' -format '%[fx:int(mean*w*h*3+0.5)]' info: 2>/dev/null)
[ "${title:-0}" -gt 0 ] || fail "no title drawn at the top-left corner"
# Alt+F4 and the system menu's Close, Minimize and Move.
for message in "0x104 0x73 0x20000001" "0x112 0xF060 0" "0x112 0xF020 0" "0x112 0xF010 0"; do
  # shellcheck disable=SC2086
  drive send "$MAIN" $message >/dev/null || fail "the background window did not take message $message"
done
style=$(drive style "$MAIN" | tr -d '\r') || fail "the background window is gone after Alt+F4 and Close"
step "  $style"
style=${style#style=}
style=$((${style%% *}))
((style & 0x10000000)) || fail "the background window was hidden"
((style & 0x20000000)) && fail "the background window was minimised"
((style & 0x01000000)) || fail "the background window is not maximised"
# Neither box: the caption would show a minimise button beside a maximise box.
((style & 0x00030000)) && fail "the background window has a minimise or maximise box"
# Left of the close box, where those buttons would be drawn, the caption is
# of one colour.
colours=$(convert "$SHOTS/launcher_background.png" -crop "40x$((top - 6))+$((right - 62))+3" +repage \
  -format '%k' info: 2>/dev/null)
[ "$colours" = 1 ] || fail "buttons beside the close box in the caption ($colours colours there)"
drive click "$BOX" 1 || fail "cannot click OK on the box"
drive wait-gone "$BOX" --timeout 30 || fail "the box did not close"
expect_end

step "a tiled background; a static bitmap named outside the setup folder is not drawn"
project tiled '[Config]
[Variables]
ProgramName=Brisk Sample
[Display]
ShowMainWindow=1
ShowMainTitle=0
BackgroundBitmap=tile.bmp
[StaticBitmap]
1=..\planted.bmp,0,0,3'
# Tiles 30 x 20: a yellow left half, a cyan right half.
convert -size 30x20 xc:'#00ffff' -fill '#ffff00' -draw 'rectangle 0,0,14,19' \
  "BMP3:$WORK/tiled/Presetup/tile.bmp" || fail "cannot draw tile.bmp"
package tiled
# Beside the setup folder, where "..\" leads from it.
convert -size 40x40 xc:'#ff0000' "BMP3:$TEMP_UNIX/planted.bmp" || fail "cannot plant planted.bmp"
start_setup "$WORK/tiled.exe"
BOX=$(drive wait-window --title "Brisk Sample" --class "#32770" --timeout 40) || fail "no message box over the background"
MAIN=$(drive wait-window --class "BrikMainWindow" --timeout 10) || fail "the background window is not shown"
"$SCRIPTS/screenshot.sh" "$BUILD_DIR" "$SHOTS/launcher_background_tiled.png" >/dev/null || fail "screenshot failed"
read -r left top right bottom <<<"$(drive client-rect "$MAIN" | tr -d '\r')" || fail "cannot read the client area"
drive click "$BOX" 1 || fail "cannot click OK on the box"
drive wait-gone "$BOX" --timeout 30 || fail "the box did not close"
expect_end
rm -f "$TEMP_UNIX/planted.bmp"
shot_pixel() {
  convert "$SHOTS/launcher_background_tiled.png" \
    -format '%[fx:int(255*p{'"$1,$2"'}.r)],%[fx:int(255*p{'"$1,$2"'}.g)],%[fx:int(255*p{'"$1,$2"'}.b)]' info: 2>/dev/null
}
# The tile's colour at a client position.
tile_colour() { if (($1 % 30 < 15)); then echo 255,255,0; else echo 0,255,255; fi; }
width=$((right - left))
height=$((bottom - top))
# The last column and row are cut by the client's edges; the corner the
# planted bitmap would take shows tiles.
for point in "5 5" "20 5" "35 25" "50 45" "$((width - 1)) $((height - 1))" "$((width - 20)) $((height - 20))"; do
  read -r x y <<<"$point"
  got=$(shot_pixel $((left + x)) $((top + y)))
  [ "$got" = "$(tile_colour "$x")" ] || fail "tiled background: the pixel at client $x,$y is $got, expected $(tile_colour "$x")"
done

# --- Libraries planted beside the package ----------------------------------------
# Windows looks for a library that is not one of its known system libraries
# in the program's own folder first; native-first overrides make Wine search
# the same way for these names. A marker leaves NAME.dll.loaded when loaded
# at run time and NAME.dll.static when bound as an import at start.
step "system libraries planted beside the package are not loaded"
rm -rf "$WORK/planted" && mkdir -p "$WORK/planted" || fail "cannot create $WORK/planted"
cp "$WORK/plain.exe" "$TOOLS/markers/"*.dll "$WORK/planted/" || fail "cannot plant the libraries"
WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}comctl32,riched32,version,uxtheme=n,b" \
  start_setup "$WORK/planted/plain.exe"
expect_box "Brisk Sample" 'Cannot show dialog "DLG_FINISH"!'
expect_end
# Wine's own user32 imports version.dll, so Wine binds a planted one before
# any program code runs; Windows' user32 does not. What the engine itself
# imports is checked in its import table (win32.imports).
loaded=$(cd "$WORK/planted" && ls -- *.loaded *.static 2>/dev/null | grep -vx 'version.dll.static' | tr '\n' ' ')
[ -z "$loaded" ] || fail "planted libraries were loaded: $loaded"
# The markers themselves work: loaded by a program beside them, they leave
# their mark.
cp "$TOOLS/osinfo.exe" "$WORK/planted/" || fail "cannot copy osinfo.exe"
WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}uxtheme=n,b" \
  timeout 60 wine "$WORK/planted/osinfo.exe" --load uxtheme.dll >"$WORK/osinfo.out" 2>"$WORK/osinfo.err" </dev/null
[ -f "$WORK/planted/uxtheme.dll.loaded" ] || fail "the uxtheme.dll marker leaves no mark when loaded"

step "passed"
