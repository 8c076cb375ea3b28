#!/usr/bin/env bash
# End-to-end tests of the uninstaller under Wine: a package built with
# brikpack (which adds UnInst.exe) installs one change of every kind; the
# uninstall key's command is started as the registry holds it, its window
# answered, and the whole prefix (the drive_c tree and a registry export)
# compared with the state before the install. Then: a file of the user's,
# a file held open until a restart, a second run, a missing log.
# The test runs alone: another test's files in the prefix would be
# differences.
#   uninstaller_test.sh BUILD_DIR WIN32_DIR BRIKPACK
set -u

WORK_NAME=wine-uninstaller
# shellcheck source=tests/wine/engine_lib.sh
. "$(dirname "$0")/engine_lib.sh" "$@"
UNINST=$WIN32_DIR/src/uninstall/UnInst.exe
need_files "$UNINST" "$TOOLS/comserver.dll" "$TOOLS/writemark.exe" "$TOOLS/holdfile.exe" "$TOOLS/hasfont.exe" \
  "$SHIPPED_ENU" /usr/share/wine/fonts/tahoma.ttf

TARGETS="$WINEPREFIX/drive_c/Brisk Uninstall"
TARGETS_WIN='C:\Brisk Uninstall'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
SHARED_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs'
FONTS_KEY='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts'
MARKS='HKLM\Software\Brisk Test\Servers'
PRE_KEY='HKLM\Software\Brisk Uninstall Before'
PRE_INI="$WINEPREFIX/drive_c/windows/briskpre.ini"
FONTS=$WINEPREFIX/drive_c/windows/Fonts
CAPTION="Remove Brisk Sample"

forget() {
  rm -rf "$TARGETS" "$PRE_INI" "$FONTS/BriskUT.ttf"
  local key
  for key in "$UNINSTALL_KEY\\Brisk Sample" 'HKLM\Software\Brisk Uninstall' "$PRE_KEY" 'HKLM\Software\Brisk Test' \
    'HKCU\Software\Brisk Uninstall Unrooted' 'HKCU\HKEY_LOCAL_MACHINE'; do
    wine reg delete "$key" /f >/dev/null 2>&1 </dev/null
  done
  wine reg delete "$SHARED_KEY" /v "$TARGETS_WIN\\app\\bin\\kept.dll" /f >/dev/null 2>&1 </dev/null
  wine reg delete "$FONTS_KEY" /v "Brisk Uninstall Sans (TrueType)" /f >/dev/null 2>&1 </dev/null
}
forget
trap 'forget; cleanup' EXIT

# The prefix as the comparison sees it (scripts/prefix-state.sh).
prefix_state() { "$SCRIPTS/prefix-state.sh" "$WORK/export.reg" || fail "cannot take the prefix's state"; }

# compare_with BEFORE-FILE WHAT: the prefix equals the saved state.
compare_with() {
  prefix_state >"$WORK/after.txt"
  diff "$1" "$WORK/after.txt" >"$WORK/prefix.diff" ||
    fail "$2: the prefix differs from before the install: $(head -c 3000 "$WORK/prefix.diff")"
}

# uninstall_command: the uninstall key's command, as the registry holds it.
uninstall_command() { reg_value "$UNINSTALL_KEY\\Brisk Sample" UninstallString; }

# start_uninstall COMMAND-LINE: starts it as Windows starts a registered
# command.
start_uninstall() {
  drive run-line "$1" >/dev/null || fail "cannot start $1: $(cat "$WORK/drive.err")"
}

# uninstall_window TEXT BUTTON [SHOT]: the uninstaller's window once it shows
# the button (6 when it asks, 1 at the end), saying TEXT; prints its handle.
uninstall_window() {
  local window got
  window=$(drive wait-window --title "$CAPTION" --class "#32770" --timeout 40) ||
    fail "no uninstaller window (expected: $1)"
  for _ in $(seq 1 300); do
    drive state "$window" "$2" | grep -q '^visible' && break
    sleep 0.2
  done
  got=$(drive get-text "$window" 102 | tr -d '\r')
  [ "$got" = "$1" ] || fail "the uninstaller says \"$got\", expected \"$1\""
  [ -n "${3:-}" ] && { "$SCRIPTS/screenshot.sh" "$BUILD_DIR" "$SHOTS/$3" >/dev/null || fail "screenshot failed"; }
  step "  uninstaller: $(printf '%s' "$got" | tr '\n' '|')" >&2
  printf '%s' "$window"
}

# finish_uninstall TEXT LIST [SHOT]: the final word and the list under it
# (lines of the read-only box, in order); OK closes it.
finish_uninstall() {
  local window got
  window=$(uninstall_window "$1" 1 "${3:-}") || exit 1
  got=$(drive get-text "$window" 104 | tr -d '\r' | sed '/^$/d')
  [ "$got" = "$2" ] || fail "the uninstaller lists \"$got\", expected \"$2\""
  drive click "$window" 1 || fail "cannot click OK"
  drive wait-gone "$window" --timeout 30 || fail "the uninstaller's window did not close"
}

# copies_left: the uninstaller's copies waiting in the temporary folder.
copies_left() { find "$TEMP_UNIX" -maxdepth 2 -ipath '*/~BrikUn*' 2>/dev/null; }

# wait_removed PATH: the path goes within 30 s (the copy deletes the
# original once that has ended).
wait_removed() {
  for _ in $(seq 1 150); do
    [ -e "$1" ] || return 0
    sleep 0.2
  done
  fail "$1 is still there: $(find "$1" | head -20 | tr '\n' ' ')"
}

# --- The whole install taken back ----------------------------------------------------
step "an install with every record kind, taken back by the registered command"
install_project app
P=$WORK/app
I=$TARGETS/app
IW="$TARGETS_WIN\\app"
# brikpack brings the uninstaller: the project has none of its own.
rm "$P/Presetup/UnInst.exe"
printf '%s\r\n' '[Uninstall.Strings]' '1=Remove %ProgramName%' '2=Remove %ProgramName% and everything it installed?' \
  >>"$P/Presetup/Enu.lng"
# The uninstaller's bitmap, beside the log after the install.
python3 - "$P/Presetup/UnBrik.bmp" <<'PY' || fail "cannot make UnBrik.bmp"
import struct, sys
w, h = 48, 96
pixels = b''.join(bytes(c for x in range(w) for c in (255 - 2 * y, 120 + x, 40 + 2 * x)) for y in range(h))
header = struct.pack('<2sIHHI', b'BM', 54 + len(pixels), 0, 0, 54)
info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
open(sys.argv[1], 'wb').write(header + info + pixels)
PY
mkdir -p "$P/Data/docs/deep" "$P/Data/bin"
cp "$TOOLS/writemark.exe" "$P/Data/app.exe"
printf 'deep\n' >"$P/Data/docs/deep/readme.txt"
cp "$TOOLS/comserver.dll" "$P/Data/bin/server.dll"
printf 'shared\n' >"$P/Data/bin/shared.dll"
printf 'kept\n' >"$P/Data/bin/kept.dll"
python3 "$SCRIPTS/rename-font.py" /usr/share/wine/fonts/tahoma.ttf "$P/Data/BriskUT.ttf" "Brisk Uninstall Sans" ||
  fail "cannot make the font"
RAN_UNIX=$WORK/uninstall-ran.txt
RAN=$(winpath "$RAN_UNIX")
script app "[CopyFiles]
AppFiles=%InstallPath%
BinFiles=%InstallPath%\\bin
FontFiles=%Fonts%
[AppFiles]
app.exe=app.exe
docs\\deep\\readme.txt=docs\\deep\\readme.txt
[BinFiles]
bin\\server.dll=server.dll,4
bin\\shared.dll=shared.dll,128
bin\\kept.dll=kept.dll,128
[FontFiles]
BriskUT.ttf=BriskUT.ttf,8
[AddReg]
Deep=HKLM\\Software\\Brisk Uninstall\\Settings\\Window
Before=$PRE_KEY
Unrooted=Software\\Brisk Uninstall Unrooted\\Window
SpelledOut=HKEY_LOCAL_MACHINE\\Software\\Brisk Uninstall\\Spelled Out
[Deep]
Left=10
[Before]
Added=by the install
[Unrooted]
Top=20
[SpelledOut]
Width=30
[AddIni]
NewIni=%InstallPath%\\app.ini,Main
OldIni=C:\\windows\\briskpre.ini,Added
[NewIni]
Key=value
[OldIni]
Key=added
[Shortcuts]
Menu=$TARGETS_WIN\\Menu\\Brisk Sample
[Menu]
App=%InstallPath%\\app.exe
[Uninstall.RunApp]
1=%InstallPath%\\app.exe,\"$RAN\" uninstalling"
# What was there before: a key and an INI file of the user's, another
# program's count on a shared file.
# Our test server's marks live in a key of their own, which a real server's
# unregistration would take away with everything else of it.
wine reg add "$MARKS" /f >/dev/null 2>&1 </dev/null || fail "cannot make $MARKS"
wine reg add "$PRE_KEY" /v Own /d "the user's" /f >/dev/null 2>&1 </dev/null || fail "cannot make $PRE_KEY"
# Written as the INI engine writes a file (a blank line after each section),
# so that the same contents are the same bytes.
printf '[Own]\r\nKey=mine\r\n\r\n' >"$PRE_INI"
mkdir -p "$I/bin"
printf 'kept\n' >"$I/bin/kept.dll"
touch -r "$P/Data/bin/kept.dll" "$I/bin/kept.dll"
wine reg add "$SHARED_KEY" /v "$IW\\bin\\kept.dll" /t REG_DWORD /d 1 /f >/dev/null 2>&1 </dev/null ||
  fail "cannot count the shared file"
rm -f "$RAN_UNIX"
prefix_state >"$WORK/before.txt"

package app
grep -q "added the uninstaller" "$WORK/brikpack.out" || fail "brikpack did not say that it added the uninstaller"
run_install app
expect_final FINISH "Installation complete"
expect_end
cmp -s "$UNINST" "$I/UnInst.exe" || fail "the install did not copy our uninstaller"
[ "$(reg_value "$MARKS" "$IW\\bin\\server.dll")" = registered ] || fail "the COM server did not register"
[ "$(reg_value "$SHARED_KEY" "$IW\\bin\\kept.dll")" = 0x2 ] || fail "the shared file was not counted again"
[ -f "$FONTS/BriskUT.ttf" ] || fail "the font was not installed"
[ -f "$TARGETS/Menu/Brisk Sample/App.lnk" ] || fail "the shortcut was not made"
# A key without a root lies under HKCU; a root spelled out is that root. The
# log names both resolved, so that the uninstaller takes them back.
[ "$(reg_value 'HKCU\Software\Brisk Uninstall Unrooted\Window' Top)" = 20 ] || fail "the unrooted value is not under HKCU"
[ "$(reg_value 'HKLM\Software\Brisk Uninstall\Spelled Out' Width)" = 30 ] ||
  fail "the value under HKEY_LOCAL_MACHINE is not under HKLM"
grep -qxF 'HKCU\Software\Brisk Uninstall Unrooted\Window\Top=20'$'\r' "$I/install.log" ||
  fail "the unrooted value's record does not name its root: $(grep -a Top "$I/install.log")"
grep -qxF 'HKLM\Software\Brisk Uninstall\Spelled Out\Width=30'$'\r' "$I/install.log" ||
  fail "the spelled-out root's record is not resolved: $(grep -a Width "$I/install.log")"
log_section app CreateKeys | grep -qxF 'HKCU\Software\Brisk Uninstall Unrooted' ||
  fail "the unrooted key's creation is not logged with its root"
cp "$I/install.log" "$WORK/install.log.copy"

command=$(uninstall_command)
[ "$command" = "\"$IW\\UnInst.exe\" \"$IW\\install.log\"" ] || fail "UninstallString is $command"
start_uninstall "$command"
window=$(uninstall_window "Remove Brisk Sample and everything it installed?" 6 uninstall_question.png) || exit 1
drive click "$window" 6 || fail "cannot answer Yes"
finish_uninstall "Brisk Sample was removed from your computer." "" uninstall_done.png
got=$(tr -d '\r' <"$RAN_UNIX" 2>/dev/null | grep '^arg=') || fail "the uninstall section's program did not run"
[ "$got" = "arg=uninstalling" ] || fail "the uninstall section's program ran with $got"
rm -f "$RAN_UNIX"
# The folders of kept.dll were there before: they stay.
wait_removed "$I/UnInst.exe"
[ -n "$(copies_left)" ] || fail "no copy of the uninstaller waits in the temporary folder"
compare_with "$WORK/before.txt" "after the uninstall"
[ "$(cat "$PRE_INI" | tr -d '\r')" = "$(printf '[Own]\nKey=mine')" ] || fail "the user's INI file changed: $(cat "$PRE_INI")"
BRIK_WINE_TIMEOUT=30 "$SCRIPTS/wine-run.sh" "$BUILD_DIR" "$TOOLS/hasfont.exe" "Brisk Uninstall Sans" >/dev/null 2>&1 &&
  fail "the font is still listed by the system"

step "the restart takes the uninstaller's copies away"
wine wineboot -r >/dev/null 2>&1 </dev/null || fail "wineboot -r failed"
[ -z "$(copies_left)" ] || fail "copies of the uninstaller are left after the restart: $(copies_left)"

# install_small_app: the program and a file two folders down, installed.
install_small_app() {
  script app "[CopyFiles]
AppFiles=%InstallPath%
[AppFiles]
app.exe=app.exe
docs\\deep\\readme.txt=docs\\deep\\readme.txt"
  package app
  run_install app
  expect_final FINISH "Installation complete"
  expect_end
}

# --- What the user had, a file in use, a second run -------------------------------
step "a file of the user's stays with its folder; a file held open goes at the restart"
forget
install_small_app
cp "$I/install.log" "$WORK/install.log.copy"
printf 'my notes\n' >"$I/docs/notes.txt"
hold_file "$IW\\docs\\deep\\readme.txt"
start_uninstall "$(uninstall_command)"
window=$(uninstall_window "Remove Brisk Sample and everything it installed?" 6) || exit 1
drive click "$window" 6 || fail "cannot answer Yes"
finish_uninstall "Brisk Sample was removed, apart from the items listed below.
Some files are in use. Restart Windows to complete the removal." \
"$IW\\docs\\deep\\readme.txt (removed when Windows restarts)
$IW\\docs\\deep (removed when Windows restarts)
$IW\\docs (kept: it holds what the install did not make)
$IW (kept: it holds what the install did not make)
$TARGETS_WIN (kept: it holds what the install did not make)" uninstall_kept.png
release_file
[ "$(cat "$I/docs/notes.txt")" = "my notes" ] || fail "the user's file was touched"
wait_removed "$I/UnInst.exe"
[ -e "$I/app.exe" ] && fail "the program's file was not removed"
[ -e "$I/install.log" ] && fail "the log was not removed"
[ -n "$(uninstall_command)" ] && fail "the registration was not removed"
wine wineboot -r >/dev/null 2>&1 </dev/null || fail "wineboot -r failed"
[ -e "$I/docs/deep" ] && fail "the held file or its folder is still there after the restart"
[ "$(cat "$I/docs/notes.txt")" = "my notes" ] || fail "the user's file did not survive the restart"

step "a second run with the same log: nothing left, nothing changed"
mkdir -p "$WORK/again"
cp "$UNINST" "$WORK/again/UnInst.exe"
cp "$WORK/install.log.copy" "$WORK/again/install.log"
prefix_state >"$WORK/before.txt"
start_uninstall "\"$(winpath "$WORK/again/UnInst.exe")\" \"$(winpath "$WORK/again/install.log")\""
# The program's name, with its registration gone, is the log's folder's;
# no registration vouches for the log, so it touches no key and no folder
# outside its own, and says so.
NOT_VOUCHED="the install's registration does not vouch for this log"
finish_uninstall "Nothing of again is left to remove." \
"Not undone: [CreateKeys] HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brisk Sample=: $NOT_VOUCHED
Not undone: [CreateDirs] $TARGETS_WIN=: $NOT_VOUCHED
Not undone: [CreateDirs] $IW=: $NOT_VOUCHED
Not undone: [CreateDirs] $IW\\docs=: $NOT_VOUCHED
Not undone: [CreateDirs] $IW\\docs\\deep=: $NOT_VOUCHED"
compare_with "$WORK/before.txt" "after the second run"
rm -rf "$TARGETS"

# --- A run that fails half-way ----------------------------------------------------
step "a failure keeps the registration and a log of what is left; the next run finishes without counting twice"
script app "[CopyFiles]
AppFiles=%InstallPath%
BinFiles=%InstallPath%\\bin
[AppFiles]
app.exe=app.exe
[BinFiles]
bin\\server.dll=server.dll,4
bin\\kept.dll=kept.dll,128"
mkdir -p "$I/bin"
cp "$P/Data/bin/kept.dll" "$I/bin/kept.dll"
touch -r "$P/Data/bin/kept.dll" "$I/bin/kept.dll"
wine reg add "$SHARED_KEY" /v "$IW\\bin\\kept.dll" /t REG_DWORD /d 1 /f >/dev/null 2>&1 </dev/null ||
  fail "cannot count the shared file"
wine reg add "$MARKS" /f >/dev/null 2>&1 </dev/null || fail "cannot make $MARKS"
prefix_state >"$WORK/before.txt"
package app
run_install app
expect_final FINISH "Installation complete"
expect_end
# Our test server cannot unregister without its mark.
wine reg delete "$MARKS" /v "$IW\\bin\\server.dll" /f >/dev/null 2>&1 </dev/null || fail "cannot remove the mark"
start_uninstall "$(uninstall_command)"
window=$(uninstall_window "Remove Brisk Sample and everything it installed?" 6) || exit 1
drive click "$window" 6 || fail "cannot answer Yes"
finish_uninstall "Brisk Sample was removed, apart from the items listed below." \
"$IW\\bin\\server.dll (could not be removed)" uninstall_failed.png
[ "$(reg_value "$SHARED_KEY" "$IW\\bin\\kept.dll")" = 0x1 ] || fail "the shared count is not back to 1"
[ -e "$I/app.exe" ] && fail "the program's file was not removed"
[ -f "$I/install.log" ] || fail "the log was removed although a record failed"
# (A file's record holds its size and time.)
got=$(tr -d '\r' <"$I/install.log" | grep -v '^\[' | grep -v '^$' | grep -v -e '^Charset=' -e '^[0-9]*=' |
  sed 's/=.*/=/' | sort)
# The server that failed keeps its file; the folders were there before.
want=$(printf '%s\n' "$IW\\bin\\server.dll=" "$IW\\bin\\server.dll=" "$UNINSTALL_KEY\\Brisk Sample=" | sed 's/HKLM\\Software/HKLM\\SOFTWARE/' | sort)
[ "$got" = "$want" ] || fail "the log after the failure holds: $(echo $got), expected $(echo $want)"
wine reg add "$MARKS" /v "$IW\\bin\\server.dll" /d registered /f >/dev/null 2>&1 </dev/null || fail "cannot mark"
start_uninstall "$(uninstall_command)"
window=$(uninstall_window "Remove Brisk Sample and everything it installed?" 6) || exit 1
drive click "$window" 6 || fail "cannot answer Yes"
finish_uninstall "Brisk Sample was removed from your computer." ""
wait_removed "$I/UnInst.exe"
compare_with "$WORK/before.txt" "after the second, complete run"
rm -rf "$TARGETS"

# --- Windows 98 --------------------------------------------------------------------
step "Windows 98: a file in use goes by wininit.ini, the folders and the uninstaller's copy by RunOnce"
RUNONCE='HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce'
WININIT=$WINEPREFIX/drive_c/windows/wininit.ini
# removals: "name<TAB>command" of the RunOnce values that remove folders.
removals() {
  wine reg query "$RUNONCE" 2>/dev/null </dev/null | tr -d '\r' |
    awk '/^[ \t]+Remove / { line = $0; sub(/^[ \t]+/, "", line); n = index(line, "    REG_SZ    ")
      if (n) print substr(line, 1, n - 1) "\t" substr(line, n + 14) }'
}
forget_9x() {
  local name
  removals | cut -f1 | while read -r name; do
    wine reg delete "$RUNONCE" /v "$name" /f >/dev/null 2>&1 </dev/null
  done
  rm -f "$WININIT"
  rm -rf "$TEMP_UNIX"/~BrikUn* "$TARGETS"
}
forget_9x
trap 'forget_9x; forget; cleanup' EXIT
VERSION_PROGRAMS="app.exe UnInst.exe"
set_windows_version win98
install_small_app
hold_file "$IW\\docs\\deep\\readme.txt"
start_uninstall "$(uninstall_command)"
window=$(uninstall_window "Remove Brisk Sample and everything it installed?" 6) || exit 1
drive click "$window" 6 || fail "cannot answer Yes"
finish_uninstall "Brisk Sample was removed from your computer.
Some files are in use. Restart Windows to complete the removal." \
"$IW\\docs\\deep\\readme.txt (removed when Windows restarts)
$IW\\docs\\deep (removed when Windows restarts)
$IW\\docs (removed when Windows restarts)
$IW (removed when Windows restarts)
$TARGETS_WIN (removed when Windows restarts)" uninstall_win98.png
release_file
wait_removed "$I/UnInst.exe"
set_windows_version ""
[ -f "$WININIT" ] || fail "no wininit.ini"
rename=$(tr -d '\r' <"$WININIT")
step "  wininit.ini: $(printf '%s' "$rename" | tr '\n' '|')"
printf '%s\n' "$rename" | head -n 1 | grep -qx '\[Rename\]' || fail "wininit.ini does not start with [Rename]"
deletes=$(printf '%s\n' "$rename" | sed -n 's/^NUL=//p')
# The held file and the uninstaller's copy, both by their short names.
[ "$(printf '%s\n' "$deletes" | grep -c .)" = 2 ] || fail "wininit.ini deletes: $(echo $deletes)"
printf '%s\n' "$deletes" | grep -qi '\\README\.TXT$' || fail "wininit.ini does not delete the held file"
printf '%s\n' "$deletes" | grep -qi '\\UNINST\.EXE$' || fail "wininit.ini does not delete the uninstaller's copy"
printf '%s\n' "$deletes" | grep -q ' ' && fail "a name in wininit.ini is not short: $(echo $deletes)"
got=$(removals)
step "  RunOnce: $(printf '%s' "$got" | tr '\n\t' '| ')"
[ "$(printf '%s\n' "$got" | grep -c .)" = 5 ] || fail "expected the four folders and the copy's folder: $got"
printf '%s\n' "$got" | awk -F '\t' '{ want = "command.com /c rd \"" substr($1, 8) "\""; if ($2 != want) exit 1 }' ||
  fail "a RunOnce removal is not \"command.com /c rd\" of its own short folder: $got"
forget_9x
VERSION_PROGRAMS="versions.exe osinfo.exe"

# --- Logs that are not there or not logs ----------------------------------------
step "a missing log and a file that is not an install log: an error box, nothing changed"
mkdir -p "$WORK/tools"
cp "$UNINST" "$WORK/tools/UnInst.exe"
TOOL=$(winpath "$WORK/tools/UnInst.exe")
prefix_state >"$WORK/before.txt"
start_uninstall "\"$TOOL\" \"$(winpath "$WORK/tools/install.log")\""
expect_box "Error" "Cannot read the install log \"$(winpath "$WORK/tools/install.log")\". Nothing was removed."
printf '[Something]\r\nElse=1\r\n' >"$WORK/tools/other.ini"
start_uninstall "\"$TOOL\" \"$(winpath "$WORK/tools/other.ini")\""
expect_box "Error" "\"$(winpath "$WORK/tools/other.ini")\" is not an install log. Nothing was removed."
compare_with "$WORK/before.txt" "after the refused logs"
[ -f "$WORK/tools/UnInst.exe" ] || fail "the uninstaller removed itself without a log"

# --- Hostile logs ------------------------------------------------------------------
# What a local user could put in a log: records of every kind pointing at
# system files, the user's documents, other programs' keys, values, INI
# keys, a shortcut and a link. Nothing of it is touched, and the
# uninstaller says why.
USER_DIR=$WINEPREFIX/drive_c/Brisk User
USER_WIN='C:\Brisk User'
PLANTED=$WINEPREFIX/drive_c/Brisk Planted
PLANTED_WIN='C:\Brisk Planted'
OTHER_KEY="$UNINSTALL_KEY\\Brisk Other"
RUN_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
WINLOGON='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Winlogon'
OTHER_INI=$WINEPREFIX/drive_c/windows/briskother.ini
forget_hostile() {
  rm -rf "$USER_DIR" "$PLANTED" "$OTHER_INI"
  wine reg delete "$OTHER_KEY" /f >/dev/null 2>&1 </dev/null
  wine reg delete "$RUN_KEY" /v BriskOther /f >/dev/null 2>&1 </dev/null
}
trap 'forget_hostile; forget_9x; forget; cleanup' EXIT
forget_hostile
mkdir -p "$USER_DIR/Empty" "$PLANTED"
printf 'my letter\n' >"$USER_DIR/letter.doc"
printf 'my notes\n' >"$USER_DIR/notes.txt"
printf 'a shortcut of the user\n' >"$USER_DIR/Other.lnk"
printf '[Other]\r\nKey=theirs\r\n\r\n' >"$OTHER_INI"
wine reg add "$OTHER_KEY" /v DisplayName /d "Brisk Other" /f >/dev/null 2>&1 </dev/null || fail "cannot make $OTHER_KEY"
wine reg add "$RUN_KEY" /v BriskOther /d 'C:\other.exe' /f >/dev/null 2>&1 </dev/null || fail "cannot make the Run value"
SHELL_BEFORE=$(reg_value "$WINLOGON" Shell)
ln -s "$USER_DIR" "$PLANTED/link" || fail "cannot make the link"
cp "$UNINST" "$PLANTED/UnInst.exe"
RAN_UNIX=$WORK/hostile-ran.txt
rm -f "$RAN_UNIX"
SYS='C:\windows\system32'
# hostile_records: one record of each kind, as [Section] then name=value.
hostile_records() {
  printf '%s\r\n' '[Display]' 'Charset=0' '' '[RunApp]' "1=$IW\\..\\..\\windows\\system32\\cmd.exe,/c echo ran>\"$(winpath "$RAN_UNIX")\"" \
    "2=$(winpath "$TOOLS/writemark.exe"),\"$(winpath "$RAN_UNIX")\" ran" '' \
    '[Shortcuts]' "$USER_WIN\\notes.txt=" "$USER_WIN\\Other.lnk=" '' \
    '[RegServers]' "$SYS\\shell32.dll=" '' \
    '[RegFonts]' 'Tahoma (TrueType)=C:\windows\Fonts\tahoma.ttf' '' \
    '[SharedFiles]' "$SYS\\kernel32.dll=" '' \
    '[AddReg]' "$WINLOGON\\Shell=$SHELL_BEFORE" "$RUN_KEY\\BriskOther=C:\\other.exe" '' \
    '[AddIni]' 'C:\windows\briskother.ini,Other,Key=theirs' '' \
    '[CopyFiles]' "$SYS\\kernel32.dll=" "$USER_WIN\\notes.txt=12,01D9ABCDEF012345" "$USER_WIN\\letter.doc=" \
    "$PLANTED_WIN\\link\\letter.doc=" 'C:\windows\Fonts\tahoma.ttf=' '' \
    '[CreateKeys]' "$OTHER_KEY=" '' \
    '[CreateDirs]' "$USER_WIN\\Empty=" ''
}

step "hostile logs: a log no registration vouches for does nothing outside what it can prove"
hostile_records >"$PLANTED/install.log"
prefix_state >"$WORK/before.txt"
CAPTION="Uninstall Brisk Planted"
start_uninstall "\"$PLANTED_WIN\\UnInst.exe\" \"$PLANTED_WIN\\install.log\""
window=$(uninstall_window "Nothing of Brisk Planted is left to remove." 1 uninstall_planted.png) || exit 1
got=$(drive get-text "$window" 104 | tr -d '\r' | sed '/^$/d')
drive click "$window" 1 || fail "cannot click OK"
drive wait-gone "$window" --timeout 30 || fail "the uninstaller's window did not close"
records=$(hostile_records | tr -d '\r' | grep -v -e '^\[' -e '^$' -e '^Charset=')
[ "$(printf '%s\n' "$got" | grep -c '^Not undone: ')" = "$(printf '%s\n' "$records" | grep -c .)" ] ||
  fail "not every record is listed as not undone: $got"
for want in "\\[RunApp\\] 2=.*: the install's registration does not vouch for this log" \
  "\\[Shortcuts\\] .*notes.txt=: not a shortcut" "\\[Shortcuts\\] .*Other.lnk=: not a file the install wrote" \
  "\\[CopyFiles\\] .*notes.txt=12,.*: not a file the install wrote, or changed since" \
  "\\[CopyFiles\\] .*link.letter.doc=: not a file the install wrote" \
  "\\[AddReg\\] .*Winlogon.Shell=.*: the install's registration does not vouch" \
  "\\[CreateKeys\\] .*Brisk Other=: the install's registration does not vouch"; do
  printf '%s\n' "$got" | grep -q -- "$want" || fail "the list does not say \"$want\": $got"
done
[ -e "$RAN_UNIX" ] && fail "a program of the planted log ran"
compare_with "$WORK/before.txt" "after a planted log"
[ -f "$PLANTED/install.log" ] || fail "the planted log was removed"

step "hostile logs: a log changed after the install removes nothing"
CAPTION="Remove Brisk Sample"
forget_hostile_log() { rm -rf "$PLANTED"; }
forget_hostile_log
install_small_app
cp "$I/install.log" "$WORK/install.log.copy"
printf '[CopyFiles]\r\n%s\r\n\r\n' "$USER_WIN\\letter.doc=" >>"$I/install.log"
prefix_state >"$WORK/before.txt"
start_uninstall "$(uninstall_command)"
expect_box "Error" "This install log was changed after the install. Nothing was removed."
compare_with "$WORK/before.txt" "after a changed log"
# The same log as the install wrote it is taken back as ever.
cp "$WORK/install.log.copy" "$I/install.log"
start_uninstall "$(uninstall_command)"
window=$(uninstall_window "Remove Brisk Sample and everything it installed?" 6) || exit 1
drive click "$window" 6 || fail "cannot answer Yes"
finish_uninstall "Brisk Sample was removed from your computer." ""
wait_removed "$I/UnInst.exe"
[ "$(cat "$USER_DIR/letter.doc")" = "my letter" ] || fail "the user's letter was touched"

step "hostile logs: a log planted in the target folder is ignored by RemoveOldReferences and not merged"
rm -rf "$TARGETS"
mkdir -p "$I"
prefix_state >"$WORK/before.txt"
printf '%s\r\n' '[Shortcuts]' "$USER_WIN\\Other.lnk=" '' '[CreateDirs]' "$USER_WIN\\Empty=" '' \
  '[CreateKeys]' "$OTHER_KEY=" '' '[CopyFiles]' "$USER_WIN\\letter.doc=" '' >"$I/install.log"
settings "InsFiles=App
Uninstall=1
RemoveOldReferences=1" "InstallPath=$IW" | sed 's/$/\r/' >"$P/Presetup/Brik.ini"
install_small_app
[ -f "$USER_DIR/Other.lnk" ] || fail "RemoveOldReferences deleted the user's shortcut"
[ -d "$USER_DIR/Empty" ] || fail "RemoveOldReferences removed the user's folder"
[ "$(reg_value "$OTHER_KEY" DisplayName)" = "Brisk Other" ] || fail "RemoveOldReferences deleted another program's key"
grep -qi -e 'letter.doc' -e 'Brisk Other' "$I/install.log" && fail "the planted records went into the new log: $(cat "$I/install.log")"
start_uninstall "$(uninstall_command)"
window=$(uninstall_window "Remove Brisk Sample and everything it installed?" 6) || exit 1
drive click "$window" 6 || fail "cannot answer Yes"
finish_uninstall "Brisk Sample was removed from your computer." ""
wait_removed "$I/UnInst.exe"
compare_with "$WORK/before.txt" "after the install over a planted log and its uninstall"
rm -rf "$TARGETS"

step "a log of 20,000 records with one that fails keeps what is left in one pass"
mkdir -p "$PLANTED"
cp "$UNINST" "$PLANTED/UnInst.exe"
# Our test server cannot unregister without its mark: the record fails.
cp "$TOOLS/comserver.dll" "$PLANTED/server.dll"
# Its record holds its size and time, as an install writes them (FILETIME:
# 100 ns since 1601).
stamp=$(python3 -c 'import os, sys; s = os.stat(sys.argv[1]); print("%d,%X" % (s.st_size, s.st_mtime_ns // 100 + 116444736000000000))' "$PLANTED/server.dll")
python3 - "$PLANTED/install.log" "$PLANTED_WIN" "$stamp" <<'PY' || fail "cannot write the long log"
import sys
path, folder, stamp = sys.argv[1:]
lines = ["[CopyFiles]"] + ["%s\\gone%05d.txt=1,1" % (folder, n) for n in range(20000)]
lines += ["%s\\server.dll=%s" % (folder, stamp), "", "[RegServers]", "%s\\server.dll=" % folder, ""]
open(path, "w", newline="").write("\r\n".join(lines) + "\r\n")
PY
CAPTION="Uninstall Brisk Planted"
start_uninstall "\"$PLANTED_WIN\\UnInst.exe\" \"$PLANTED_WIN\\install.log\""
window=$(uninstall_window "Do you want to remove Brisk Planted and all of its components?" 6) || exit 1
drive click "$window" 6 || fail "cannot answer Yes"
# The harness's wait for the final word (a minute) bounds the run.
finish_uninstall "Brisk Planted was removed, apart from the items listed below." \
"$PLANTED_WIN\\server.dll (could not be removed)"
got=$(tr -d '\r' <"$PLANTED/install.log" | grep -v -e '^$')
[ "$got" = "$(printf '[CopyFiles]\n%s\n[RegServers]\n%s' "$PLANTED_WIN\\server.dll=$stamp" "$PLANTED_WIN\\server.dll=")" ] ||
  fail "the log after the run holds: $(echo $got | head -c 300)"
[ -f "$PLANTED/server.dll" ] || fail "the server that failed lost its file"
CAPTION="Remove Brisk Sample"
step "passed"
