#!/usr/bin/env bash
# Screenshots of what the user sees of the message routines: the start-up
# logo, the status window over the background window and an error box, shown
# by uishow.exe under Wine. Checks that the logo is on screen exactly as its
# bitmap, where the program says it is, and that the error box says what it
# was given.
#   ui_screens.sh BUILD_DIR TOOLS_DIR
# BUILD_DIR holds the Wine session (scripts/wine-session.sh), TOOLS_DIR
# uishow.exe and brikdrive.exe. The pictures go to BUILD_DIR/screenshots:
# ui_logo.png, ui_message_window.png, ui_error_box.png.
set -u

if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR TOOLS_DIR" >&2
  exit 2
fi
BUILD_DIR=$(cd "$1" && pwd) || exit 2
TOOLS_DIR=$(cd "$2" && pwd) || exit 2
SCRIPTS=$(cd "$(dirname "$0")/../../scripts" && pwd) || exit 2
WORK=$BUILD_DIR/wine-ui-screens
SHOTS=$BUILD_DIR/screenshots

for f in "$TOOLS_DIR/uishow.exe" "$TOOLS_DIR/brikdrive.exe"; do
  [ -f "$f" ] || { echo "ui_screens: $f is missing (has the Windows build run?)" >&2; exit 1; }
done
[ -f "$BUILD_DIR/wine-env.sh" ] || { echo "ui_screens: no Wine session in $BUILD_DIR" >&2; exit 1; }
# shellcheck source=/dev/null
. "$BUILD_DIR/wine-env.sh"

rm -rf "$WORK"
mkdir -p "$WORK" "$SHOTS" || exit 1
rm -f "$SHOTS"/ui_logo.png "$SHOTS"/ui_message_window.png "$SHOTS"/ui_error_box.png
# The logo lies beside the program, as beside a downloaded setup.
cp "$TOOLS_DIR/uishow.exe" "$WORK/" || exit 1

SHOW_PID=""
cleanup() { [ -n "$SHOW_PID" ] && kill "$SHOW_PID" 2>/dev/null; }
trap cleanup EXIT

winpath() { printf 'Z:%s' "${1//\//\\}"; }

fail() {
  echo "ui_screens: FAILED: $*" >&2
  local f
  for f in "$WORK"/*.out "$WORK"/*.err; do
    [ -s "$f" ] && { echo "--- $f" >&2; cat "$f" >&2; }
  done
  "$SCRIPTS/screenshot.sh" "$BUILD_DIR" "$SHOTS/ui_failure.png" >&2
  exit 1
}

drive() {
  BRIK_WINE_TIMEOUT=60 "$SCRIPTS/wine-run.sh" "$BUILD_DIR" "$TOOLS_DIR/brikdrive.exe" "$@" \
    2>"$WORK/drive.err"
}

# Waits up to 60 s for a file that uishow writes.
wait_file() {
  for _ in $(seq 1 600); do
    [ -s "$1" ] && return 0
    kill -0 "$SHOW_PID" 2>/dev/null || fail "uishow.exe ended before writing $(basename "$1")"
    sleep 0.1
  done
  fail "uishow.exe did not write $(basename "$1") within 60 s"
}

shoot() {
  # Lets the X server catch up with the last paint.
  sleep 0.5
  "$SCRIPTS/screenshot.sh" "$BUILD_DIR" "$1" >/dev/null || fail "screenshot $1 failed"
  local colours
  colours=$(convert "$1" -format '%k' info:) || fail "cannot read $1"
  [ "$colours" -gt 1 ] || fail "$1 is blank"
  echo "ui_screens: $1 ($colours colours)"
}

BRIK_WINE_TIMEOUT=60 "$SCRIPTS/wine-run.sh" "$BUILD_DIR" "$WORK/uishow.exe" --make-logo \
  "$(winpath "$WORK/logo.bmp")" >"$WORK/make-logo.out" 2>"$WORK/make-logo.err" ||
  fail "uishow.exe --make-logo failed"
[ -s "$WORK/logo.bmp" ] || fail "no logo.bmp was written"

wine "$WORK/uishow.exe" "$(winpath "$WORK")" >"$WORK/uishow.out" 2>"$WORK/uishow.err" </dev/null &
SHOW_PID=$!

# --- The logo, pixel for pixel where the program put it.
wait_file "$WORK/logo.ready"
read -r L T R B < <(tr -d '\r' <"$WORK/logo.ready")
shoot "$SHOTS/ui_logo.png"
convert "$SHOTS/ui_logo.png" -crop "$((R - L))x$((B - T))+$L+$T" +repage "$WORK/logo-on-screen.png" ||
  fail "cannot cut the logo out of the screenshot"
DIFF=$(compare -metric AE "$WORK/logo-on-screen.png" "$WORK/logo.bmp" null: 2>&1)
[ "$DIFF" = 0 ] || fail "the logo on screen differs from logo.bmp in $DIFF pixels"
echo "ui_screens: the logo at $L,$T-$R,$B matches logo.bmp"
touch "$WORK/logo.go"

# --- The status window over the background window.
wait_file "$WORK/message.ready"
read -r L T R B < <(tr -d '\r' <"$WORK/message.ready")
echo "ui_screens: status window at $L,$T-$R,$B"
shoot "$SHOTS/ui_message_window.png"
touch "$WORK/message.go"

# --- An error box with the program's caption.
BOX=$(drive wait-window --title "Brisk Installer Demo" --class "#32770" --timeout 30) ||
  fail "the error box did not appear"
TEXT=$(drive get-text "$BOX" 65535) || fail "cannot read the error box"
EXPECTED=$'Invalid package size!\rThis package has been corrupted, installation impossible.'
[ "$TEXT" = "$EXPECTED" ] || fail "the error box says \"$TEXT\""
shoot "$SHOTS/ui_error_box.png"
drive click "$BOX" 1 || fail "cannot click OK"

for _ in $(seq 1 300); do
  kill -0 "$SHOW_PID" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$SHOW_PID" 2>/dev/null && fail "uishow.exe did not end after OK"
wait "$SHOW_PID"
STATUS=$?
SHOW_PID=""
[ "$STATUS" -eq 0 ] || fail "uishow.exe ended with $STATUS"
echo "ui_screens: passed"
