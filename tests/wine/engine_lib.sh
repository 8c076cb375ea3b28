# The helpers of the engine's end-to-end tests: running packages under Wine
# and answering their windows through brikdrive. A test script sets
# WORK_NAME (its folder below BUILD_DIR) and sources this file with its own
# arguments:
#   SCRIPT BUILD_DIR WIN32_DIR BRIKPACK
# BUILD_DIR holds the Wine session (scripts/wine-session.sh), WIN32_DIR is the
# Windows build (setup.exe, the test engines and tools), BRIKPACK the native
# package builder.
# shellcheck shell=bash

TEST_NAME=$(basename "$0" .sh)
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
WORK=$BUILD_DIR/$WORK_NAME
SHOTS=$BUILD_DIR/screenshots

# need_files FILE...: the test's programs and tools, built.
need_files() {
  local f
  for f in "$@"; do
    [ -f "$f" ] || { echo "$TEST_NAME: $f is missing (has the build run?)" >&2; exit 1; }
  done
}
need_files "$SETUP" "$BRIKDRIVE" "$TESTDLG" "$BRIKPACK"
[ -f "$BUILD_DIR/wine-env.sh" ] || { echo "$TEST_NAME: no Wine session in $BUILD_DIR" >&2; exit 1; }
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
  printf '%s: [%d.%03d s] %s\n' "$TEST_NAME" $((ms / 1000)) $((ms % 1000)) "$*"
}

fail() {
  echo "$TEST_NAME: FAILED: $*" >&2
  local f
  for f in "$WORK"/*.err; do
    [ -s "$f" ] && { echo "--- $f" >&2; tail -n 20 "$f" >&2; }
  done
  "$SCRIPTS/screenshot.sh" "$BUILD_DIR" "$SHOTS/${TEST_NAME}_failure.png" >&2
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
15=ENU: %ProgramName% is running.
[Dialogs]
Caption=%ProgramName% setup
[DLG_PROGRESS]
Title=Installing
[DLG_FINISH]
106=FINISH
[DLG_NOTFINISH]
106=NOTFINISH'

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
# tests and the output captures of their test framework (gte*.tmp), which may
# run at the same time in the same Wine prefix.
temp_entries() {
  ls -A "$TEMP_UNIX" | grep -v -e '^briktest-' -e '^gte[0-9A-Fa-f]*\.tmp$' | sort
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

# answer_box CAPTION TEXT BUTTON: the next message box, answered with the
# button of that id (6 Yes, 7 No).
answer_box() {
  local caption=$1 text=$2 button=$3 box got
  box=$(drive wait-window --title "$caption" --class "#32770" --timeout 40) ||
    fail "no message box titled \"$caption\" (expected: $text)"
  got=$(drive get-text "$box" 65535) || fail "cannot read the text of the box"
  got=$(printf '%s' "$got" | tr '\r' '\n' | sed '/^$/d')
  [ "$got" = "$text" ] || fail "the box \"$caption\" says \"$got\", expected \"$text\""
  step "  box \"$caption\": $(printf '%s' "$got" | tr '\n' '|'), answered $button"
  drive click "$box" "$button" || fail "cannot answer the box"
  drive wait-gone "$box" --timeout 30 || fail "the box did not close"
}

# expect_dialog CAPTION [SHOT]: the next wizard dialog of that caption;
# prints its handle.
expect_dialog() {
  local dialog
  dialog=$(drive wait-window --title "$1" --class "#32770" --timeout 40) || fail "no dialog titled \"$1\""
  [ -n "${2:-}" ] && { "$SCRIPTS/screenshot.sh" "$BUILD_DIR" "$SHOTS/$2" >/dev/null || fail "screenshot failed"; }
  step "  dialog \"$1\"" >&2
  printf '%s' "$dialog"
}

# control_is DIALOG ID WHAT EXPECTED: the control's text (WHAT text) or its
# state (WHAT state, as brikdrive prints it).
control_is() {
  local got
  if [ "$3" = text ]; then got=$(drive get-text "$1" "$2"); else got=$(drive state "$1" "$2"); fi
  got=$(printf '%s' "$got" | tr -d '\r')
  [ "$got" = "$4" ] || fail "control $2 of \"$(drive get-text "$1" | tr -d '\r')\": $3 \"$got\", expected \"$4\""
}

# cancel_walk DIALOG QUESTION-CAPTION QUESTION FINAL-CAPTION: Cancel on the
# dialog, Yes to the cancel question, then the not-finished dialog closed
# with OK and the engine's end.
cancel_walk() {
  local final
  drive click "$1" 103 || fail "Cancel"
  answer_box "$2" "$3" 6
  final=$(expect_dialog "$4") || exit 1
  drive click "$final" 104 || fail "OK"
  expect_end
}

# expect_final KIND [CAPTION]: the final dialog, DLG_FINISH (KIND FINISH) or
# DLG_NOTFINISH (NOTFINISH), as the language file ENU_STRINGS names them;
# closed with its single button. CAPTION "-": a package without language
# file, whose dialog has neither caption nor texts.
expect_final() {
  local kind=$1 caption=${2:-Brisk Sample setup} dialog got
  if [ "$caption" = "-" ]; then
    # Without a caption: the dialog window with the single button, once the
    # init window has gone.
    for _ in $(seq 1 160); do
      dialog=$(drive wait-window --class "#32770" --timeout 40) || fail "no final dialog"
      drive get-text "$dialog" 104 >/dev/null && break
      dialog=""
      sleep 0.25
    done
    [ -n "$dialog" ] || fail "no final dialog"
  else
    dialog=$(drive wait-window --title "$caption" --class "#32770" --timeout 40) ||
      fail "no dialog titled \"$caption\" (expected DLG_$kind)"
    got=$(drive get-text "$dialog" 106 | tr -d '\r') || fail "the dialog has no text 106: not a final dialog"
    [ "$got" = "$kind" ] || fail "the final dialog says \"$got\", expected $kind"
  fi
  step "  final dialog $kind"
  drive click "$dialog" 104 || fail "cannot click OK on the final dialog"
  drive wait-gone "$dialog" --timeout 30 || fail "the final dialog did not close"
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

# --- Install packages -----------------------------------------------------------
# A test that installs sets TARGETS (the folder below which its packages
# install, as a Unix path) and TARGETS_WIN (the same as Windows names it).

SHIPPED_ENU=$SCRIPTS/../resources/Enu.lng

# shipped_texts NAME: the shipped English texts into the project, with final
# dialogs that say FINISH and NOTFINISH.
shipped_texts() {
  awk '{ line = $0; sub(/\r$/, "", line) } line ~ /^\[/ { section = line }
       section == "[DLG_FINISH]" && /^106=/ { print "106=FINISH\r"; next }
       section == "[DLG_NOTFINISH]" && /^106=/ { print "106=NOTFINISH\r"; next }
       { print }' "$SHIPPED_ENU" >"$WORK/$1/Presetup/Enu.lng" || fail "cannot copy Enu.lng"
}

# install_project NAME [CONFIG-LINES] [MORE-SECTIONS]: a project with the
# shipped English texts (the final dialogs say FINISH and NOTFINISH), an
# uninstaller stand-in, the script App.ins (write it to WORK/NAME/Presetup)
# and the install folder C:\BriskTest\NAME.
install_project() {
  local name=$1 dir=$WORK/$1
  project "$name" "$(settings "InsFiles=App
Uninstall=1
${2:-}" "InstallPath=$TARGETS_WIN\\$name
${3:-}")"
  shipped_texts "$name"
  cp "$TESTDLG" "$dir/Presetup/UnInst.exe" || fail "cannot copy the uninstaller stand-in"
  mkdir -p "$dir/Data"
}

# script NAME TEXT: the project's App.ins.
script() { printf '%s\n' "$2" | sed 's/$/\r/' >"$WORK/$1/Presetup/App.ins"; }

# log_section NAME SECTION: the names of a section of the install log of
# C:\BriskTest\NAME, one a line.
log_section() {
  tr -d '\r' <"$TARGETS/$1/install.log" | awk -v want="[$2]" '
    /^\[/ { on = ($0 == want); next }
    on && NF { sub(/=.*/, ""); print }'
}

# reg_value KEY NAME: the data of a registry value, as reg query prints it.
# The name goes through the environment: awk -v would read its backslashes
# as escapes.
reg_value() {
  wine reg query "$1" /v "$2" 2>/dev/null </dev/null | tr -d '\r' |
    VALUE_NAME=$2 awk '{ name = ENVIRON["VALUE_NAME"]
      line = $0; sub(/^[ \t]+/, "", line)
      if (index(line, name) != 1) next
      rest = substr(line, length(name) + 1)
      if (rest !~ /^[ \t]+REG_/) next
      sub(/^[ \t]+REG_[A-Z_]+[ \t]*/, "", rest); print rest; exit }'
}

# run_install NAME: starts the package WORK/NAME.exe.
run_install() {
  start_setup "$WORK/$1.exe"
}

# fails_with NAME BOX: the install of NAME shows the error box, ends as not
# finished, and runs none of the steps after the failed one: the
# package's last program would leave TARGETS/NAME/ran.txt.
fails_with() {
  run_install "$1"
  expect_box "Brisk Sample" "$2"
  expect_final NOTFINISH "Installation aborted"
  expect_end
  [ -e "$TARGETS/$1/ran.txt" ] && fail "the programs ran after the failed step"
}

# The reboot question, answered "later"; then the final dialog.
reboot_later() {
  local dialog
  dialog=$(expect_dialog "Reboot computer?" "${1:-}") || exit 1
  control_is "$dialog" 106 state "visible enabled checked"
  drive check "$dialog" 107 || fail "cannot choose to reboot later"
  drive click "$dialog" 102 || fail "Next"
  expect_final FINISH "Installation complete"
  expect_end
}

# wait_ready OUTPUT: true once a test tool started in the background has
# said "ready" in its output file (within 20 s).
wait_ready() {
  for _ in $(seq 1 100); do
    grep -q ready "$1" 2>/dev/null && return 0
    sleep 0.2
  done
  return 1
}

# hold_file WINDOWS-PATH: a program keeps the file open (no deleting, no
# replacing) until release_file.
HOLD_PID=""
hold_file() {
  wine "$TOOLS/holdfile.exe" "$1" 300 >"$WORK/hold.out" 2>"$WORK/hold.err" </dev/null &
  HOLD_PID=$!
  BACKGROUND="$BACKGROUND $HOLD_PID"
  wait_ready "$WORK/hold.out" || fail "holdfile did not open $1: $(cat "$WORK/hold.err")"
}
release_file() {
  kill "$HOLD_PID" 2>/dev/null
  wait "$HOLD_PID" 2>/dev/null
  HOLD_PID=""
}

# --- Uninstalls -------------------------------------------------------------------
# A test that uninstalls sets UNINSTALL_KEY (the system's list of programs)
# and CAPTION (the uninstaller's window title).

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
