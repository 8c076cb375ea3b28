#!/usr/bin/env bash
# End-to-end test of the window driver: drives testdlg.exe under Wine with
# brikdrive.exe through its dialog and message box, and checks that a wait
# for a window that never comes fails instead of hanging.
#   driver_test.sh BUILD_DIR TOOLS_DIR
# BUILD_DIR holds the Wine session (scripts/wine-session.sh), TOOLS_DIR
# brikdrive.exe and testdlg.exe. The screenshot of the message box goes to
# BUILD_DIR/screenshots/driver_messagebox.png.
set -u

if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR TOOLS_DIR" >&2
  exit 2
fi
BUILD_DIR=$(cd "$1" && pwd) || exit 2
TOOLS_DIR=$(cd "$2" && pwd) || exit 2
SCRIPTS=$(cd "$(dirname "$0")/../../scripts" && pwd) || exit 2
BRIKDRIVE=$TOOLS_DIR/brikdrive.exe
TESTDLG=$TOOLS_DIR/testdlg.exe
WORK=$BUILD_DIR/wine-driver
SHOT=$BUILD_DIR/screenshots/driver_messagebox.png

for f in "$BRIKDRIVE" "$TESTDLG"; do
  [ -f "$f" ] || { echo "driver_test: $f is missing (has the Windows build run?)" >&2; exit 1; }
done
[ -f "$BUILD_DIR/wine-env.sh" ] || { echo "driver_test: no Wine session in $BUILD_DIR" >&2; exit 1; }
# shellcheck source=/dev/null
. "$BUILD_DIR/wine-env.sh"

rm -rf "$WORK"
mkdir -p "$WORK" "$(dirname "$SHOT")" || exit 1
rm -f "$SHOT"

# Wine's processes write into files only: its services inherit their
# parent's output and would keep a pipe to ctest open.
DIALOG_PID=""
WAITER_PID=""
cleanup() {
  local p
  for p in $DIALOG_PID $WAITER_PID; do
    kill "$p" 2>/dev/null
  done
}
trap cleanup EXIT

T0=$(date +%s%3N)
elapsed() {
  local ms=$(($(date +%s%3N) - T0))
  printf '%d.%03d s' $((ms / 1000)) $((ms % 1000))
}

fail() {
  echo "driver_test: FAILED: $*" >&2
  local f
  for f in "$WORK"/*.out "$WORK"/*.err; do
    [ -s "$f" ] && { echo "--- $f" >&2; cat "$f" >&2; }
  done
  "$SCRIPTS/screenshot.sh" "$BUILD_DIR" "$BUILD_DIR/screenshots/driver_failure.png" >&2
  exit 1
}

step() { echo "driver_test: [$(elapsed)] $*"; }

# brikdrive ARGS...: runs one driver command; its stdout is the function's.
# A driver command that has to wait has its own --timeout; the outer bound
# only catches a driver that hangs.
drive() {
  BRIK_WINE_TIMEOUT=${DRIVE_TIMEOUT:-60} "$SCRIPTS/wine-run.sh" "$BUILD_DIR" "$BRIKDRIVE" "$@" \
    2>"$WORK/drive.err"
}

# Windows path of a file, by Wine's drive Z: that maps the whole machine.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Waits for a background Unix process and sets STATUS to its exit status.
wait_background() {
  local pid=$1 what=$2
  for _ in $(seq 1 600); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && fail "$what did not end within 60 s"
  wait "$pid"
  STATUS=$?
}

TEXT='Hello from brikdrive, 42!'
IDC_TEXT=102
IDC_SHOW=103
IDOK=1
IDCANCEL=2
MSGBOX_TEXT=65535

# --- A wait for a window that never comes fails, and says why.
step "wait-window for a missing window, 1 s timeout"
DRIVE_TIMEOUT=30 drive wait-window --title "No Such Window" --timeout 1 >"$WORK/missing.out" &&
  fail "wait-window succeeded for a window that does not exist"
grep -q 'timed out after 1.0 s waiting for a window with title "No Such Window"' "$WORK/drive.err" ||
  fail "wait-window's timeout message is unclear: $(cat "$WORK/drive.err")"
step "  failed as expected: $(head -n 1 "$WORK/drive.err")"

# --- OK path: dialog, message box, exit code.
step "starting testdlg.exe"
wine "$TESTDLG" >"$WORK/testdlg.out" 2>"$WORK/testdlg.err" </dev/null &
DIALOG_PID=$!

DLG=$(drive wait-window --title "Brisk Test Dialog" --class "#32770" --timeout 30) ||
  fail "the test dialog did not appear"
step "dialog $DLG"

drive list "$DLG" >"$WORK/dialog-controls.out" || fail "list of the dialog failed"
cat "$WORK/dialog-controls.out"
for expected in "$IDC_TEXT	Edit" "$IDC_SHOW	Button" "$IDOK	Button" "$IDCANCEL	Button" "101	Static"; do
  grep -q "^$expected	" "$WORK/dialog-controls.out" ||
    fail "the dialog has no control \"$expected\""
done
grep -q "^$IDC_SHOW	Button	[^	]*	Show\$" "$WORK/dialog-controls.out" ||
  fail "the Show button's text is not listed"

drive set-text "$DLG" "$IDC_TEXT" "$TEXT" || fail "set-text failed"
GOT=$(drive get-text "$DLG" "$IDC_TEXT") || fail "get-text failed"
[ "$GOT" = "$TEXT" ] || fail "the edit control holds \"$GOT\", expected \"$TEXT\""

step "clicking Show"
drive click "$DLG" "$IDC_SHOW" || fail "click on Show failed"
BOX=$(drive wait-window --title "Brisk Test Message" --class "#32770" --timeout 30) ||
  fail "the message box did not appear"
step "message box $BOX"
drive list "$BOX" || fail "list of the message box failed"
GOT=$(drive get-text "$BOX" "$MSGBOX_TEXT") || fail "get-text of the message box failed"
[ "$GOT" = "$TEXT" ] || fail "the message box says \"$GOT\", expected \"$TEXT\""

"$SCRIPTS/screenshot.sh" "$BUILD_DIR" "$SHOT" || fail "screenshot failed"
SIZE=$(identify -format '%wx%h' "$SHOT") || fail "$SHOT is not a readable image"
COLOURS=$(convert "$SHOT" -format '%k' info:) || fail "cannot count the colours of $SHOT"
[ "$SIZE" = 1024x768 ] || fail "$SHOT is $SIZE, expected the whole 1024x768 screen"
[ "$COLOURS" -gt 1 ] || fail "$SHOT is blank ($COLOURS colour)"
step "screenshot $SHOT: $SIZE, $COLOURS colours"

drive click "$BOX" "$IDOK" || fail "click on the message box's OK failed"
drive wait-gone "$BOX" --timeout 30 || fail "the message box did not close"
drive click "$DLG" "$IDOK" || fail "click on OK failed"
wait_background "$DIALOG_PID" "testdlg.exe"
DIALOG_PID=""
[ "$STATUS" -eq ${#TEXT} ] ||
  fail "testdlg.exe ended with $STATUS, expected ${#TEXT} (the length of the text after OK)"
step "testdlg.exe ended with $STATUS after OK"

# --- Cancel path, started and awaited by the driver itself.
step "starting testdlg.exe with brikdrive start"
PID=$(drive start "$(winpath "$TESTDLG")") || fail "brikdrive start failed"
[[ $PID =~ ^[0-9]+$ ]] || fail "brikdrive start printed \"$PID\", expected a process id"
DLG=$(drive wait-window --title "Brisk Test Dialog" --pid "$PID" --timeout 30) ||
  fail "the dialog of process $PID did not appear"
step "process $PID, dialog $DLG"

drive click "$DLG" 999 && fail "a click on a control that does not exist succeeded"
grep -q "has no control with id 999" "$WORK/drive.err" ||
  fail "the message for a missing control is unclear: $(cat "$WORK/drive.err")"

# The waiter must hold the process before the click ends it, or the exit
# code is gone; it says so on stderr.
wine "$BRIKDRIVE" wait-process "$PID" --timeout 30 >"$WORK/waiter.out" 2>"$WORK/waiter.err" </dev/null &
WAITER_PID=$!
for _ in $(seq 1 300); do
  grep -q "waiting for process $PID" "$WORK/waiter.err" && break
  kill -0 "$WAITER_PID" 2>/dev/null || break
  sleep 0.1
done
grep -q "waiting for process $PID" "$WORK/waiter.err" || fail "brikdrive wait-process did not start waiting"
drive click "$DLG" "$IDCANCEL" || fail "click on Cancel failed"
wait_background "$WAITER_PID" "brikdrive wait-process"
WAITER_PID=""
[ "$STATUS" -eq 0 ] || fail "brikdrive wait-process failed with $STATUS"
CODE=$(tr -d '\r\n' <"$WORK/waiter.out")
[ "$CODE" = 200 ] || fail "wait-process reported exit code \"$CODE\", expected 200 after Cancel"
step "process $PID ended with $CODE after Cancel"

step "passed"
