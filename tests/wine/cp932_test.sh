#!/usr/bin/env bash
# The unit tests of double-byte case rules on the system's own rules: runs
# them from core_tests.exe under Wine in a Japanese locale, where Wine's ANSI
# code page is 932 (Shift-JIS). The locale is compiled into the build folder
# (LOCPATH), so the machine's locales stay as they are.
#   cp932_test.sh BUILD_DIR core_tests.exe
set -u

if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR core_tests.exe" >&2
  exit 2
fi
BUILD_DIR=$(cd "$1" && pwd) || exit 2
PROGRAM=$2
SCRIPTS=$(cd "$(dirname "$0")/../../scripts" && pwd) || exit 2
LOCALES=$BUILD_DIR/locale

if [ ! -d "$LOCALES/ja_JP.UTF-8" ]; then
  mkdir -p "$LOCALES" || exit 1
  # localedef warns about some of the locale's characters and still writes it.
  localedef -i ja_JP -f UTF-8 "$LOCALES/ja_JP.UTF-8" >/dev/null 2>&1
  [ -d "$LOCALES/ja_JP.UTF-8" ] || { echo "cp932_test: cannot compile the ja_JP locale (package locales)" >&2; exit 1; }
fi

OUT=$(LOCPATH=$LOCALES LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 \
      "$SCRIPTS/wine-run.sh" "$BUILD_DIR" "$PROGRAM" --gtest_filter='*DoubleByte*' 2>&1)
status=$?
printf '%s\n' "$OUT"
[ $status -eq 0 ] || exit $status
# A skipped test means the code page did not change: that is no pass.
if printf '%s\n' "$OUT" | grep -aq '^\[  SKIPPED \]'; then
  echo "cp932_test: the tests were skipped: Wine did not run with code page 932" >&2
  exit 1
fi
printf '%s\n' "$OUT" | grep -aq '^\[  PASSED  \] [1-9]' || { echo "cp932_test: no test ran" >&2; exit 1; }
