#!/usr/bin/env bash
# End-to-end tests of the setup engine under Wine: packages built with
# brikpack from small projects made here, run as a user would, checked by
# the message boxes they show and by what they leave in the temporary folder.
#   launcher_test.sh BUILD_DIR WIN32_DIR BRIKPACK
# Screenshots go to BUILD_DIR/screenshots/launcher_*.png.
set -u

WORK_NAME=wine-launcher
# shellcheck source=tests/wine/engine_lib.sh
. "$(dirname "$0")/engine_lib.sh" "$@"
need_files "$TOOLS/setup_nounpack.exe" "$TOOLS/setup_badunpack.exe" "$TOOLS/setup_noexports.exe" \
  "$TOOLS/setup_nomemory.exe" "$TOOLS/setup_doublefault.exe" "$TOOLS/markers/comctl32.dll" \
  "$TOOLS/osinfo.exe" "$TOOLS/holdmutex.exe"

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
expect_final FINISH
expect_end

step "ShowFinalDialog=0 ends silently"
project nofinal "$(settings "" "[Display]
ShowFinalDialog=0")"
package nofinal
start_setup "$WORK/nofinal.exe"
expect_end

step "a pre-install dialog that does not exist leads to DLG_NOTFINISH"
project predialog "[Config]
PreInstallDialogSequence=%ProgramName%
[Variables]
ProgramName=Brisk Sample"
package predialog
start_setup "$WORK/predialog.exe"
expect_box "Brisk Sample" 'Cannot show dialog "BRISK SAMPLE"!'
expect_final NOTFINISH
expect_end

step "NeedReboot puts DLG_REBOOT after the post-install dialogs"
project reboot "[Config]
NeedReboot=1
[Variables]
ProgramName=Brisk Sample"
package reboot
start_setup "$WORK/reboot.exe"
REBOOT=$(drive wait-window --title "Brisk Sample setup" --class "#32770" --timeout 40) || fail "no DLG_REBOOT"
# Pending from the settings: the first button is chosen; the only dialog of
# its sequence has no Back.
[ "$(drive state "$REBOOT" 106 | tr -d '\r')" = "visible enabled checked" ] || fail "DLG_REBOOT: 106 not chosen"
[ "$(drive state "$REBOOT" 101 | tr -d '\r')" = "hidden enabled unchecked" ] || fail "DLG_REBOOT: Back shown"
"$SCRIPTS/screenshot.sh" "$BUILD_DIR" "$SHOTS/dialog_reboot.png" >/dev/null || fail "screenshot failed"
# "Later" clears the pending restart: the run ends in DLG_FINISH, no restart.
drive check "$REBOOT" 107 || fail "cannot choose 'later'"
# Never Next while a restart is chosen: it would end the Wine session.
control_is "$REBOOT" 107 state "visible enabled checked"
control_is "$REBOOT" 106 state "visible enabled unchecked"
drive click "$REBOOT" 102 || fail "cannot click Next"
expect_final FINISH
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
expect_final FINISH
expect_end

step "CheckMutex while the mutex exists"
project checkmutex "$(settings "CheckMutex=BriskTestMutex")"
package checkmutex
wine "$TOOLS/holdmutex.exe" BriskTestMutex 120 >"$WORK/holdmutex.out" 2>"$WORK/holdmutex.err" </dev/null &
MUTEX_PID=$!
BACKGROUND="$BACKGROUND $MUTEX_PID"
wait_ready "$WORK/holdmutex.out" || fail "holdmutex did not start"
start_setup "$WORK/checkmutex.exe"
expect_box "Brisk Sample" "ENU: Brisk Sample is running."
expect_end
kill "$MUTEX_PID" 2>/dev/null
wait "$MUTEX_PID" 2>/dev/null

step "CheckAdminRights as an administrator"
project admin "$(settings "CheckAdminRights=1")"
package admin
start_setup "$WORK/admin.exe"
expect_final FINISH
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
expect_final FINISH
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
expect_final FINISH -
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
# No script names them: the install walks the package and writes nothing.
expect_final FINISH
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
expect_final FINISH
expect_end

# --- The wizard -------------------------------------------------------------------
SHIPPED_ENU=$SCRIPTS/../resources/Enu.lng
[ -f "$SHIPPED_ENU" ] || fail "$SHIPPED_ENU is missing"
# wizard_project NAME SETTINGS: a project with the shipped English texts,
# whose final dialog names the install folder.
wizard_project() {
  project "$1" "$2"
  sed 's/^106=%ProgramName% has been installed.*$/106=Installed in [%InstallPath%]\r/' "$SHIPPED_ENU" \
    >"$WORK/$1/Presetup/Enu.lng" || fail "cannot copy Enu.lng"
}
QUESTION='Brisk Sample is not fully installed on your computer.
Do you want to abort the installation?'

step "the walk: Back hidden first, Back walks back, the cancel question, Next on the last"
wizard_project walk "$(settings "PreInstallDialogSequence=dlg_welcome , dlg_license, dlg_dir")"
printf 'The license text.\r\n' >"$WORK/walk/Presetup/License.txt"
# The last section of the settings is [Variables].
printf 'InstallPath=%%ProgramFiles%%\\Brisk Sample\r\n' >>"$WORK/walk/Presetup/Brik.ini"
package walk
start_setup "$WORK/walk.exe"
D=$(expect_dialog "Welcome!" dialog_welcome.png) || exit 1
control_is "$D" 101 state "hidden enabled unchecked"
control_is "$D" 102 text "&Next >"
# Escape and the close box ask; No keeps the dialog.
drive command "$D" 2 || fail "cannot press Escape"
answer_box "Brisk Sample" "$QUESTION" 7
drive close "$D" || fail "cannot close"
answer_box "Brisk Sample" "$QUESTION" 7
control_is "$D" 102 state "visible enabled unchecked"
drive click "$D" 102 || fail "Next"
D=$(expect_dialog "License agreement" dialog_license.png) || exit 1
control_is "$D" 101 state "visible enabled unchecked"
control_is "$D" 108 text "The license text."
drive click "$D" 101 || fail "Back"
D=$(expect_dialog "Welcome!") || exit 1
drive click "$D" 102 || fail "Next"
D=$(expect_dialog "License agreement") || exit 1
drive click "$D" 105 || fail "Yes"
D=$(expect_dialog "Select installation directory" dialog_dir.png) || exit 1
control_is "$D" 105 text " Installation directory "
control_is "$D" 107 state "visible enabled unchecked"
# The link control is there, created hidden.
control_is "$D" 152 state "hidden enabled unchecked"
control_is "$D" 106 text 'C:\Program Files\Brisk Sample'
# Browse opens the folder browser with the dialog's texts; Cancel leaves the
# folder as it was.
drive click "$D" 107 || fail "Browse"
B=$(drive wait-window --title "Select directory" --class "#32770" --timeout 40) || fail "no folder browser"
"$SCRIPTS/screenshot.sh" "$BUILD_DIR" "$SHOTS/dialog_dir_browse.png" >/dev/null || fail "screenshot failed"
drive click "$B" 2 || fail "cannot cancel the folder browser"
drive wait-gone "$B" --timeout 30 || fail "the folder browser did not close"
control_is "$D" 106 text 'C:\Program Files\Brisk Sample'
# Create makes a folder under the selected one and opens the browser again
# on it; OK takes it into the edit, and the variable waits for Next.
rm -rf "$WINEPREFIX/drive_c/Brisk Browse" && mkdir -p "$WINEPREFIX/drive_c/Brisk Browse" || fail "cannot make the folder to browse"
drive set-text "$D" 106 'C:\Brisk Browse' || fail "cannot type the folder"
drive click "$D" 107 || fail "Browse"
B=$(drive wait-window --title "Select directory" --class "#32770" --timeout 40) || fail "no folder browser"
control_is "$B" 100 text "Create..."
drive press "$B" 100 || fail "cannot press Create"
Q=$(drive wait-window --title "Create directory" --class "#32770" --timeout 40) || fail "no new-folder query"
control_is "$Q" 100 text "Name"
drive set-text "$Q" 101 "Made Here" || fail "cannot name the folder"
drive click "$Q" 102 || fail "cannot confirm the name"
drive wait-gone "$B" --timeout 30 || fail "the first browser stayed"
B=$(drive wait-window --title "Select directory" --class "#32770" --timeout 40) || fail "the browser did not reopen"
"$SCRIPTS/screenshot.sh" "$BUILD_DIR" "$SHOTS/dialog_dir_browse_created.png" >/dev/null || fail "screenshot failed"
drive click "$B" 1 || fail "cannot take the folder"
drive wait-gone "$B" --timeout 30 || fail "the browser did not close"
control_is "$D" 106 text 'C:\Brisk Browse\Made Here'
[ -d "$WINEPREFIX/drive_c/Brisk Browse/Made Here" ] || fail "Create made no folder"
drive set-text "$D" 106 '  C:\Brisk Walk\  ' || fail "cannot type the folder"
drive click "$D" 102 || fail "Next"
D=$(expect_dialog "Installation complete" dialog_finish.png) || exit 1
control_is "$D" 106 text 'Installed in [C:\Brisk Walk]'
# The final dialog ends at once on Escape: no question.
drive command "$D" 2 || fail "cannot press Escape"
drive wait-gone "$D" --timeout 30 || fail "the final dialog stayed"
expect_end

step "the license's No and Escape end the walk as Cancel, without the question"
wizard_project license "$(settings "PreInstallDialogSequence=DLG_LICENSE,DLG_WELCOME")"
package license
for button in 106 escape; do
  start_setup "$WORK/license.exe"
  D=$(expect_dialog "License agreement") || exit 1
  if [ "$button" = escape ]; then drive command "$D" 2; else drive click "$D" "$button"; fi || fail "cannot press $button"
  D=$(expect_dialog "Installation aborted" dialog_notfinish.png) || exit 1
  drive click "$D" 104 || fail "OK"
  expect_end
done

step "Yes to the cancel question ends the walk"
start_setup "$WORK/walk.exe"
D=$(expect_dialog "Welcome!") || exit 1
cancel_walk "$D" "Brisk Sample" "$QUESTION" "Installation aborted"

step "texts: quoted values, the caption rule, a missing id keeps its resource text"
project texts "$(settings "PreInstallDialogSequence=DLG_START")" Enu.lng '[Dialogs]
Caption=Common caption
Title=Common title
102=Onward
[DLG_START]
105="  two  ""quoted""  " dropped
[DLG_FINISH]
Caption=Own caption
106=%ProgramName%||done'
package texts
start_setup "$WORK/texts.exe"
# Title of [Dialogs] is its last entry without a number: it ends as the caption.
D=$(expect_dialog "Common title" dialog_start.png) || exit 1
control_is "$D" 105 text '  two  "quoted"  '
control_is "$D" 102 text "Onward"
control_is "$D" 103 text ""
drive click "$D" 102 || fail "Next"
D=$(expect_dialog "Own caption") || exit 1
control_is "$D" 106 text $'Brisk Sample\ndone'
control_is "$D" 104 text "OK"
drive click "$D" 104 || fail "OK"
expect_end

step "DialogPosition codes"
# offset CODE AREA SIZE: where a dialog goes on one axis.
offset() {
  case $1 in
    0) echo $(($2 / 16)) ;;
    1) echo $((($2 - $3) / 2)) ;;
    2) echo $(($2 - $2 / 16 - $3)) ;;
    *) echo 0 ;;
  esac
}
# Xvfb's screen, 1024 x 768, has no task bar: the work area is the screen.
for codes in 0,2 2,0 1,9 9,1; do
  project position "$(settings "" "[Display]
DialogPosition=$codes")"
  package position
  start_setup "$WORK/position.exe"
  D=$(expect_dialog "Brisk Sample setup") || exit 1
  read -r left top right bottom <<<"$(drive rect "$D" | tr -d '\r')"
  expected="$(offset "${codes%,*}" 1024 $((right - left))) $(offset "${codes#*,}" 768 $((bottom - top)))"
  [ "$left $top" = "$expected" ] || fail "DialogPosition=$codes: at $left $top, expected $expected"
  step "  $codes: at $left,$top"
  drive click "$D" 104 || fail "OK"
  expect_end
done

step "title band: Brik.bmp, a named bitmap, a missing one, none"
# pixel X Y: the screen's colour there, rrggbb.
pixel() {
  "$SCRIPTS/screenshot.sh" "$BUILD_DIR" "$WORK/band.png" >/dev/null || fail "screenshot failed"
  convert "$WORK/band.png" -format "%[hex:p{$1,$2}]" info: 2>/dev/null | cut -c1-6 | tr 'A-F' 'a-f'
}
# band_case "FILE=rrggbb..." DIALOG-BITMAP EXPECTED: the colour inside the
# band; "face" is the dialog's own background. (The band's last column and
# row, which keep the face colour, lie under the frame and the line below.)
band_case() {
  local b inner face
  project band "$(settings "" "[Display]
ShowDialogTitle=0
[DialogBitmap]
DLG_FINISH=$2")"
  for b in $1; do
    convert -size 8x8 "xc:#${b#*=}" "BMP3:$WORK/band/Presetup/${b%%=*}" || fail "cannot draw $b"
  done
  package band
  start_setup "$WORK/band.exe"
  D=$(expect_dialog "Brisk Sample setup") || exit 1
  read -r left top right bottom <<<"$(drive rect "$D" 100 | tr -d '\r')"
  inner=$(pixel $(((left + right) / 2)) $(((top + bottom) / 2)))
  face=$(pixel $((left + 4)) $((bottom + 30)))
  [ "$3" = face ] && set -- "$1" "$2" "$face"
  [ "$inner" = "$3" ] || fail "band with [$1] and DialogBitmap \"$2\": $inner, expected $3"
  step "  [$1] \"$2\": $inner"
  drive click "$D" 104 || fail "OK"
  expect_end
}
band_case "Brik.bmp=ff0000" "" ff0000
band_case "Brik.bmp=ff0000 Own.bmp=0000ff" "Own.bmp" 0000ff
band_case "Brik.bmp=ff0000" "Missing.bmp" ff0000
# A name that climbs out of a folder is not loaded, though it would reach a
# bitmap of the setup folder here.
band_case "Brik.bmp=ff0000 Own.bmp=0000ff" "sub\\..\\Own.bmp" ff0000
band_case "" "" face

step "DLG_PASSWORD: a wrong password clears the field and stays; Back keeps the typed one"
wizard_project password "$(settings "PreInstallDialogSequence=DLG_WELCOME,DLG_PASSWORD")"
package password "" --password "open sesame"
start_setup "$WORK/password.exe"
D=$(expect_dialog "Welcome!") || exit 1
drive click "$D" 102 || fail "Next"
D=$(expect_dialog "Installation password" dialog_password.png) || exit 1
drive set-text "$D" 106 "typed before Back" || fail "cannot type"
drive click "$D" 101 || fail "Back"
D=$(expect_dialog "Welcome!") || exit 1
drive click "$D" 102 || fail "Next"
D=$(expect_dialog "Installation password") || exit 1
control_is "$D" 106 text "typed before Back"
drive set-text "$D" 106 "wrong" || fail "cannot type"
drive click "$D" 102 || fail "Next"
expect_box "Brisk Sample" "Incorrect password!"
control_is "$D" 106 text ""
drive set-text "$D" 106 "open sesame" || fail "cannot type"
drive click "$D" 102 || fail "Next"
# The install checks the password again: it passes.
D=$(expect_dialog "Installation complete") || exit 1
drive click "$D" 104 || fail "OK"
expect_end

step "DLG_GROUP: both Programs menus, each folder once; a chosen one fills the edit"
menu_folder() {
  local win
  win=$(wine cmd /c echo "$1" 2>/dev/null </dev/null | tr -d '\r\n')
  printf '%s/Microsoft/Windows/Start Menu/Programs' "$(winepath -u "$win" 2>/dev/null </dev/null | tr -d '\r\n')"
}
COMMON_MENU=$(menu_folder '%ALLUSERSPROFILE%')
USER_MENU=$(menu_folder '%APPDATA%')
mkdir -p "$COMMON_MENU/Brisk Both" "$COMMON_MENU/Brisk Common" "$USER_MENU/Brisk Both" "$USER_MENU/Brisk User" ||
  fail "cannot make the menu folders"
wizard_project group "$(settings "PreInstallDialogSequence=DLG_GROUP")"
printf 'ProgramGroup=Brisk Group\r\n' >>"$WORK/group/Presetup/Brik.ini"
sed -i 's/^106=Installed in .*$/106=Group [%ProgramGroup%]\r/' "$WORK/group/Presetup/Enu.lng"
package group
start_setup "$WORK/group.exe"
D=$(expect_dialog "Program group" dialog_group.png) || exit 1
control_is "$D" 106 text "Brisk Group"
items=$(drive items "$D" 107 | tr -d '\r' | grep '^Brisk ' | tr '\n' ',')
[ "$items" = "Brisk Both,Brisk Common,Brisk User," ] || fail "DLG_GROUP lists \"$items\""
index=$(drive items "$D" 107 | tr -d '\r' | grep -n -x 'Brisk User' | cut -d: -f1)
drive select "$D" 107 $((index - 1)) || fail "cannot choose a group"
control_is "$D" 106 text "Brisk User"
drive click "$D" 102 || fail "Next"
D=$(expect_dialog "Installation complete") || exit 1
control_is "$D" 106 text "Group [Brisk User]"
drive click "$D" 104 || fail "OK"
expect_end
rm -rf "$COMMON_MENU/Brisk Both" "$COMMON_MENU/Brisk Common" "$USER_MENU/Brisk Both" "$USER_MENU/Brisk User"

step "DLG_LANGUAGE: the language chosen reaches the next dialog, the main window and the next message box"
wizard_project language "$(settings "Languages=ENU,DEU
AutoSelectLanguage=0
PreInstallDialogSequence=DLG_LANGUAGE,DLG_WELCOME" "[Display]
ShowMainWindow=1")" 
printf '%s\n' '[Strings]' 'LanguageName=Deutsch' '1=DEU: Abbrechen?' '[Dialogs]' 'Caption=DEU %ProgramName%' \
  '[DLG_WELCOME]' 'Title=Willkommen!' '105=DEU: Willkommen bei %ProgramName%.' | sed 's/$/\r/' \
  >"$WORK/language/Presetup/Deu.lng"
package language
start_setup "$WORK/language.exe"
D=$(expect_dialog "Choose language" dialog_language.png) || exit 1
languages=$(drive items "$D" 106 | tr -d '\r')
[ "$(printf '%s\n' "$languages" | wc -l)" -eq 2 ] || fail "DLG_LANGUAGE lists \"$languages\""
index=$(printf '%s\n' "$languages" | grep -n -i 'german\|deutsch' | cut -d: -f1)
[ -n "$index" ] || fail "no German among \"$languages\""
drive select "$D" 106 $((index - 1)) || fail "cannot choose German"
drive click "$D" 102 || fail "Next"
D=$(expect_dialog "Willkommen!") || exit 1
control_is "$D" 105 text "DEU: Willkommen bei Brisk Sample."
drive wait-window --title "DEU Brisk Sample" --class BrikMainWindow --timeout 10 >/dev/null ||
  fail "the main window keeps its caption"
cancel_walk "$D" "Brisk Sample" "DEU: Abbrechen?" "DEU Brisk Sample"

step "texts files: the language's own first, an empty one counts as missing, rich text by its marker; the folder question on Next only"
wizard_project documents "$(settings "PreInstallDialogSequence=DLG_README,DLG_LICENSE,DLG_DIR")"
printf 'InstallPath=C:\\Brisk Documents\r\n' >>"$WORK/documents/Presetup/Brik.ini"
printf 'Readme of the language.\r\n' >"$WORK/documents/Presetup/Readme.ENU"
printf 'Readme for all.\r\n' >"$WORK/documents/Presetup/Readme.txt"
: >"$WORK/documents/Presetup/License.ENU"
printf '{\\RTF1\\ansi {\\b Rich} license.\\par}' >"$WORK/documents/Presetup/License.rtf"
printf 'Plain license.\r\n' >"$WORK/documents/Presetup/License.txt"
package documents
start_setup "$WORK/documents.exe"
D=$(expect_dialog "Readme information" dialog_readme.png) || exit 1
control_is "$D" 106 text "Readme of the language."
drive click "$D" 102 || fail "Next"
D=$(expect_dialog "License agreement") || exit 1
control_is "$D" 108 text "Rich license."
drive click "$D" 105 || fail "Yes"
D=$(expect_dialog "Select installation directory") || exit 1
# Blanks only: the folder stays as it was.
drive set-text "$D" 106 '   ' || fail "cannot type"
drive click "$D" 101 || fail "Back"
D=$(expect_dialog "License agreement") || exit 1
drive click "$D" 105 || fail "Yes"
D=$(expect_dialog "Select installation directory") || exit 1
control_is "$D" 106 text 'C:\Brisk Documents'
# An existing folder: Back stores it without a question, Next asks.
drive set-text "$D" 106 'C:\windows\' || fail "cannot type"
drive click "$D" 101 || fail "Back"
D=$(expect_dialog "License agreement") || exit 1
drive click "$D" 105 || fail "Yes"
D=$(expect_dialog "Select installation directory") || exit 1
control_is "$D" 106 text 'C:\windows'
drive click "$D" 102 || fail "Next"
answer_box "Brisk Sample" 'The folder C:\windows already exists.
Do you want to install Brisk Sample into it anyway?' 7
control_is "$D" 106 state "visible enabled unchecked"
drive click "$D" 102 || fail "Next"
answer_box "Brisk Sample" 'The folder C:\windows already exists.
Do you want to install Brisk Sample into it anyway?' 6
D=$(expect_dialog "Installation complete") || exit 1
control_is "$D" 106 text 'Installed in [C:\windows]'
drive click "$D" 104 || fail "OK"
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
BOX=$(drive wait-window --title "Brisk Sample setup" --class "#32770" --timeout 40) || fail "no final dialog over the background"
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
drive click "$BOX" 104 || fail "cannot close the final dialog"
drive wait-gone "$BOX" --timeout 30 || fail "the final dialog did not close"
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
BOX=$(drive wait-window --title "Brisk Sample setup" --class "#32770" --timeout 40) || fail "no final dialog over the background"
MAIN=$(drive wait-window --class "BrikMainWindow" --timeout 10) || fail "the background window is not shown"
"$SCRIPTS/screenshot.sh" "$BUILD_DIR" "$SHOTS/launcher_background_tiled.png" >/dev/null || fail "screenshot failed"
read -r left top right bottom <<<"$(drive client-rect "$MAIN" | tr -d '\r')" || fail "cannot read the client area"
drive click "$BOX" 104 || fail "cannot close the final dialog"
drive wait-gone "$BOX" --timeout 30 || fail "the final dialog did not close"
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
expect_final FINISH
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
