#!/usr/bin/env bash
# End-to-end tests of the copy phase's failures under Wine: a refused target,
# two files of the package for one target, a full disk behind the writers,
# and an error raised on the copy thread. Each failure ends as not finished,
# with what the install log says matching what is on the disk.
#   copy_test.sh BUILD_DIR WIN32_DIR BRIKPACK
set -u

WORK_NAME=wine-copy
# shellcheck source=tests/wine/engine_lib.sh
. "$(dirname "$0")/engine_lib.sh" "$@"
need_files "$TOOLS/holdfile.exe" "$TOOLS/writemark.exe" "$SHIPPED_ENU"

TARGETS=$WINEPREFIX/drive_c/BriskCopy
TARGETS_WIN='C:\BriskCopy'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
rm -rf "$TARGETS"
wine reg delete "$UNINSTALL_KEY\\Brisk Sample" /f >/dev/null 2>&1 </dev/null

# box_naming CAPTION NAME: the next message box of the engine names NAME
# (its whole text is shown); clicks OK.
box_naming() {
  local box got
  box=$(drive wait-window --title "$1" --class "#32770" --timeout 40) || fail "no message box naming $2"
  got=$(drive get-text "$box" 65535 | tr '\r' ' ') || fail "cannot read the text of the box"
  step "  box \"$1\": $got"
  case "$got" in *"$2"*) ;; *) fail "the box says \"$got\", not naming $2" ;; esac
  drive click "$box" 1 || fail "cannot click OK on the box"
  drive wait-gone "$box" --timeout 30 || fail "the box did not close"
}

# log_matches_disk NAME: every file the install log of NAME lists is on the
# disk (a failed install may have left its log, or none at all).
log_matches_disk() {
  local log=$TARGETS/$1/install.log record unix
  [ -f "$log" ] || return 0
  while IFS= read -r record; do
    unix=$(winepath -u "$record" 2>/dev/null </dev/null)
    [ -f "$unix" ] || fail "install.log lists $record, which is not on the disk"
  done < <(log_section "$1" CopyFiles)
}

# copy_project NAME SCRIPT: a package whose script ends with a program that
# leaves ran.txt in the install folder, were it run.
copy_project() {
  install_project "$1"
  cp "$TOOLS/writemark.exe" "$WORK/$1/Data/writemark.exe"
  script "$1" "$2
[RunApp]
1=%InstallPath%\\writemark.exe,\"%InstallPath%\\ran.txt\""
}

# --- A refused target fails the install -------------------------------------------
step "a target outside every folder: the install stops there, names it and runs nothing after it"
copy_project refused '[CopyFiles]
Files=%InstallPath%
[Files]
a.txt=a.txt
b.dll=..\..\windows\evil.dll
c.txt=c.txt
writemark.exe=writemark.exe'
P=$WORK/refused
printf 'a' >"$P/Data/a.txt"
printf 'b' >"$P/Data/b.dll"
printf 'c' >"$P/Data/c.txt"
package refused
run_install refused
box_naming "Brisk Sample" 'evil.dll'
expect_final NOTFINISH "Installation aborted"
expect_end
[ -e "$WINEPREFIX/drive_c/windows/evil.dll" ] && fail "the refused file was written outside"
[ -e "$TARGETS/refused/c.txt" ] && fail "the copy went on after the refused file"
[ -e "$TARGETS/refused/ran.txt" ] && fail "the programs ran after the refused file"
[ -n "$(reg_value "$UNINSTALL_KEY\\Brisk Sample" UninstallString)" ] && fail "the failed install registered itself"
log_matches_disk refused

# --- Two files, one target ---------------------------------------------------------
step "two files of the package for one target: written in order, the one the scripts name later stays, nothing asked"
# Stored in the order one\, two\; other.txt is named the other way round.
copy_project same '[CopyFiles]
Files=%InstallPath%
[Files]
one\same.txt=same.txt
two\same.txt=same.txt
two\other.txt=other.txt
one\other.txt=other.txt
writemark.exe=writemark.exe'
P=$WORK/same
mkdir -p "$P/Data/one" "$P/Data/two"
printf 'the earlier file, newer' >"$P/Data/one/same.txt"
printf 'the later file, older' >"$P/Data/two/same.txt"
printf 'named last, stored first' >"$P/Data/one/other.txt"
printf 'named first, stored last' >"$P/Data/two/other.txt"
# The later file is the older one: decided against the earlier one as if
# that were the user's, it would be kept, or the version question asked.
touch -d '2024-05-01 12:00:00' "$P/Data/one/same.txt" "$P/Data/two/other.txt"
touch -d '2020-05-01 12:00:00' "$P/Data/two/same.txt" "$P/Data/one/other.txt"
package same
run_install same
expect_final FINISH "Installation complete"
expect_end
[ "$(cat "$TARGETS/same/same.txt")" = 'the later file, older' ] ||
  fail "same.txt holds \"$(cat "$TARGETS/same/same.txt")\", not the later file"
[ "$(cat "$TARGETS/same/other.txt")" = 'named last, stored first' ] ||
  fail "other.txt holds \"$(cat "$TARGETS/same/other.txt")\", not the file the scripts name last"
[ "$(log_section same CopyFiles | grep -c 'same.txt$')" = 1 ] || fail "the log lists same.txt not exactly once"
[ "$(log_section same CopyFiles | grep -c 'other.txt$')" = 1 ] || fail "the log lists other.txt not exactly once"
[ -e "$TARGETS/same/ran.txt" ] || fail "the programs did not run"

# --- A full disk behind the writers ---------------------------------------------------
# A drive of its own, too small for the package's second folder: the disk
# space check looks at the install folder's drive only.
TINY=$WORK/tiny
TINY_LINK=$WINEPREFIX/dosdevices/t:
mkdir -p "$TINY"
if mount -t tmpfs -o size=256k tmpfs "$TINY" 2>/dev/null; then
  ln -sfn "$TINY" "$TINY_LINK"
  step "a full disk while new files are written behind the walk: the log lists only what is on the disk"
  copy_project full '[CopyFiles]
Files=%InstallPath%
Tiny=T:\tiny
[Files]
a.txt=a.txt
writemark.exe=writemark.exe
[Tiny]
big.bin=big.bin
z.txt=z.txt'
  P=$WORK/full
  printf 'a' >"$P/Data/a.txt"
  head -c 600000 /dev/urandom >"$P/Data/big.bin"
  printf 'z' >"$P/Data/z.txt"
  package full
  run_install full
  box_naming "Brisk Sample" 'big.bin'
  expect_final NOTFINISH "Installation aborted"
  expect_end
  [ -e "$TINY/tiny/big.bin" ] && fail "the file the disk could not hold was left behind"
  log_section full CopyFiles | grep -q 'big.bin$' && fail "install.log lists big.bin, which was never written"
  log_matches_disk full
  [ -e "$TARGETS/full/ran.txt" ] && fail "the programs ran after the full disk"
  rm -f "$TINY_LINK"
  umount "$TINY"
else
  step "a full disk: skipped, no tmpfs can be mounted here"
fi

# --- A damaged block -----------------------------------------------------------------
step "a damaged block: the message names the file being written when it failed"
install_project damaged
script damaged '[CopyFiles]
Files=%InstallPath%
[Files]
*.bin=*.*'
P=$WORK/damaged
# Stored blocks of 32 KB: the first holds a.bin and the start of b.bin, the
# second the rest of b.bin and c.bin, which is the block damaged below.
for f in a b c; do head -c 20000 /dev/urandom >"$P/Data/$f.bin"; done
package damaged "" --compression none
size=$(stat -c %s "$WORK/damaged.exe")
# The cabinet's last block is the second: its last byte but one, in c.bin.
at=$((size - 8 - 2))
byte=$(od -An -tu1 -j "$at" -N1 "$WORK/damaged.exe" | tr -d ' ')
printf "\\$(printf %o $((byte ^ 255)))" | dd of="$WORK/damaged.exe" bs=1 seek="$at" conv=notrunc status=none
run_install damaged
expect_box "Brisk Sample" "Can't extract file \"$TARGETS_WIN\\damaged\\b.bin\"."
expect_final NOTFINISH "Installation aborted"
expect_end
[ -e "$TARGETS/damaged/b.bin" ] && fail "the file of the damaged block was installed"
log_matches_disk damaged

# --- An error raised on the copy thread ---------------------------------------------
step "an install log that cannot be opened for writing: the install fails as not finished, the run ends normally"
copy_project heldlog '[CopyFiles]
Files=%InstallPath%
[Files]
a.txt=a.txt
writemark.exe=writemark.exe'
printf 'a' >"$WORK/heldlog/Data/a.txt"
package heldlog
mkdir -p "$TARGETS/heldlog"
printf '[CopyFiles]\r\n' >"$TARGETS/heldlog/install.log"
hold_file "$TARGETS_WIN\\heldlog\\install.log"
run_install heldlog
box_naming "Brisk Sample" 'install.log'
expect_final NOTFINISH "Installation aborted"
expect_end
release_file
[ -e "$TARGETS/heldlog/ran.txt" ] && fail "the programs ran after the failed copy"

step "passed"
