#!/usr/bin/env bash
# The sample end to end: scripts/run-sample.sh (what `make run` does) on the
# build, with a small media file, in a Wine session of its own. It must
# build the sample without a finding of brikpack's, walk every screen, end
# with the prefix clean after the uninstall, and show on its way what the
# sample is there to show: the language asked and kept, the COM class
# registered, the shared library counted, the program's first start.
#   sample_test.sh BUILD_DIR
set -u

NAME=sample_test
[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
BUILD_DIR=$(cd "$1" && pwd) || exit 2
ROOT=$(cd "$(dirname "$0")/../.." && pwd) || exit 2
OUT=$BUILD_DIR/wine-sample
LOG=$OUT.log

fail() {
  echo "$NAME: FAILED: $*" >&2
  echo "--- the run's output ($LOG):" >&2
  tail -n 60 "$LOG" >&2
  exit 1
}

rm -rf "$OUT"
BRIK_SAMPLE_MEDIA_MB=4 bash "$ROOT/scripts/run-sample.sh" "$BUILD_DIR" "$OUT" >"$LOG" 2>&1
status=$?
if [ $status -eq 77 ]; then
  # The machine runs no 32-bit program: skipped, with the session's reason.
  cat "$LOG" >&2
  exit 77
fi
[ $status -eq 0 ] || fail "run-sample.sh ended with exit code $status"

# has TEXT WHAT: a line of the run's output holds TEXT.
has() { grep -qF -- "$1" "$LOG" || fail "$2 (no line with \"$1\")"; }

has "0 errors, 0 warnings" "brikpack check finds fault with the sample"
has "the engine ended with exit code 0" "the install did not end well"
# Every screen of the wizard, the installed program and the uninstaller,
# each once, in order.
screens=$(find "$OUT/screens" -name '*.png' -printf '%f\n' | LC_ALL=C sort | sed -n 's/^[0-9][0-9]-\(.*\)\.png$/\1/p' | grep -v '^message$' | tr '\n' ' ')
expected="language welcome license readme folder group start finish notes uninstall uninstalled "
# The init window and the progress dialog come and go by themselves: one
# missed between two looks is no fault.
seen=${screens#init }
seen=${seen/progress /}
[ "$seen" = "$expected" ] || fail "the screens were \"$screens\", expected \"$expected\""
# The programs with their version resources, the shared one too.
grep -qE '^sample:   BriskNotes\.exe  [0-9]+ bytes  version 1\.2\.0\.0$' "$LOG" || fail "the program's version is not 1.2.0.0"
grep -qE '^sample:   BriskSpell\.dll  [0-9]+ bytes  version 2\.1\.0\.3$' "$LOG" || fail "the shared library's version is not 2.1.0.3"
has 'Brisk Notes  Language    REG_SZ    ENU' "the language chosen is not the one the install kept"
has 'InprocServer32  (Default)    REG_SZ    C:\Program Files\Brisk Sample Software\Brisk Notes\BriskNotesShell.dll' \
  "the COM library's class is not registered"
has 'BriskNotes.Shell\CLSID  (Default)    REG_SZ    {24C6739F-2A78-46ED-851C-19793A7C6F3A}' \
  "the COM library's name is not registered"
has 'C:\Program Files\Common Files\Brisk Sample Software\BriskSpell.dll    REG_DWORD    0x1' \
  "the shared library is not counted once in SharedDLLs"
# The first start ran after the INI step: it found the shared library
# through the settings the install wrote.
has 'Spelling: Brisk Spelling 2.1 (shared)' "the program's first start did not write its welcome page"
has 'Brisk Notes Sans (TrueType)    REG_SZ    BriskNotes.ttf' "the font is not registered"
has '\Desktop\Brisk Notes.lnk' "no shortcut on the desktop"
has 'Start Menu\Programs\Brisk Notes\Uninstall Brisk Notes.lnk' "no uninstall shortcut in the program group"
has "Brisk Notes runs" "the installed program shows no window"
has "the prefix is clean again" "the uninstall left the prefix changed"
echo "$NAME: passed ($(printf "%s" "$screens" | wc -w) screens)"
