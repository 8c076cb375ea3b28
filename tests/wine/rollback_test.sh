#!/usr/bin/env bash
# A failed or cancelled install leaves the machine as it was: one package of
# new and replacing files, folders, registry values (new and changed), INI
# keys (in a new file and in one of the user's) and shortcuts is installed
# once per fault, each made real: a folder the copy needs blocked by a file
# (a file that cannot be created), a target in use (its move waits for the
# restart) with a failure after it, a registry key no system takes, an INI
# file another program holds, a shortcut that is refused after every other
# step, a drive that is full, and a cancel during the copy. After each: the
# message, every file the user had before with the same bytes, and the
# prefix (the drive_c tree, the software keys, the restart's list) as before
# the install. With RollbackOnFailure=0 what was done stays: the install log
# lists exactly what is on disk, and the uninstaller takes it away to the
# state before.
#   rollback_test.sh BUILD_DIR WIN32_DIR BRIKPACK
set -u

WORK_NAME=wine-rollback
# shellcheck source=tests/wine/engine_lib.sh
. "$(dirname "$0")/engine_lib.sh" "$@"
UNINST=$WIN32_DIR/src/uninstall/UnInst.exe
need_files "$UNINST" "$TOOLS/holdfile.exe" "$SHIPPED_ENU"

TARGETS="$WINEPREFIX/drive_c/Brisk Rollback"
TARGETS_WIN='C:\Brisk Rollback'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
USER_KEY='HKCU\Software\Brisk Rollback Before'
NEW_KEY='HKLM\Software\Brisk Rollback'
SESSION_MANAGER='HKLM\System\CurrentControlSet\Control\Session Manager'

forget() {
  rm -rf "$TARGETS"
  local key
  for key in "$UNINSTALL_KEY\\Brisk Sample" "$NEW_KEY" "$USER_KEY"; do
    wine reg delete "$key" /f >/dev/null 2>&1 </dev/null
  done
}
forget
trap 'forget; cleanup' EXIT

# The prefix as an uninstall must leave it, and the restart's list of moves
# (which an uninstall may add its own copy to).
files_and_keys() { "$SCRIPTS/prefix-state.sh" "$WORK/export.reg" || fail "cannot take the prefix's state"; }
prefix_state() {
  files_and_keys
  printf 'pending moves: '
  wine reg query "$SESSION_MANAGER" /v PendingFileRenameOperations 2>/dev/null </dev/null | tr -d '\r' | grep REG_
  echo
}

# The user's files: every file below the targets, with its digest.
user_files() { (cd "$TARGETS" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 -r md5sum); }

# user_state NAME: what the user had before the install into the folder
# of that name (I, IW as Windows names it): an old file the package
# replaces, a file of their own, an INI file with a comment and padded
# values, a registry value the package changes.
user_state() {
  I=$TARGETS/$1
  IW="$TARGETS_WIN\\$1"
  forget
  mkdir -p "$I"
  printf 'the old file 1\r\n' >"$I/old.txt"
  touch -d '2020-01-01 12:00:00' "$I/old.txt"
  printf 'my own notes\r\n' >"$I/notes.txt"
  printf '; my settings\r\n[Main]\r\nA = 1\r\n\r\n[Other]\r\nX=y\r\n' >"$I/user.ini"
  wine reg add "$USER_KEY" /v Val /d before /f >/dev/null 2>&1 </dev/null || fail "cannot make $USER_KEY"
}

# rollback_project NAME CONFIG-LINES SHORTCUT-LINES [FILES-LINES [REGISTRY-LINES]]:
# the package, into I; the uninstaller is ours (brikpack adds it).
rollback_project() {
  install_project "$1" "$2"
  local p=$WORK/$1
  rm "$p/Presetup/UnInst.exe"
  mkdir -p "$p/Data/sub/deep"
  printf 'new file\r\n' >"$p/Data/new.txt"
  printf 'the new file 2\r\n' >"$p/Data/old.txt"
  printf 'deep\r\n' >"$p/Data/sub/deep/new2.txt"
  script "$1" "[CopyFiles]
Files=%InstallPath%
[Files]
new.txt=new.txt
old.txt=old.txt,2
sub\\deep\\new2.txt=sub\\deep\\new2.txt
${4:-}
[AddReg]
New=$NEW_KEY\\Settings
Old=$USER_KEY
${5:-}
[New]
Left=10
[Old]
Val=changed
Added=new
[AddIni]
NewIni=%InstallPath%\\new.ini,Main
UserIni=%InstallPath%\\user.ini,Main
[NewIni]
K=v
[UserIni]
A=2
B=3
[Shortcuts]
Links=$IW\\menu
[Links]
Good=$IW\\new.txt
$3"
  package "$1"
}

# fault NAME BOX: the install of NAME fails with the message BOX, and leaves
# the user's files and the prefix as they were.
fault() {
  local name=$1 box=$2
  prefix_state >"$WORK/before.txt"
  user_files >"$WORK/files-before.txt"
  run_install "$name"
  expect_box "Brisk Sample" "$box"
  expect_final NOTFINISH "Installation aborted"
  expect_end
  release_file
  user_files >"$WORK/files-after.txt"
  diff "$WORK/files-before.txt" "$WORK/files-after.txt" >"$WORK/files.diff" ||
    fail "$name: the user's files changed: $(cat "$WORK/files.diff")"
  prefix_state >"$WORK/after.txt"
  diff "$WORK/before.txt" "$WORK/after.txt" >"$WORK/prefix.diff" ||
    fail "$name: the prefix differs from before the install: $(head -c 3000 "$WORK/prefix.diff")"
  step "  $name: the machine is as it was"
}

# A link name that leads out of its folder, refused after every other step.
LATE_LINK='..\..\evil=C:\windows\notepad.exe'
late_box() { printf 'Error creating shortcut "%s\\menu\\..\\..\\evil.lnk".' "$IW"; }

step "a shortcut refused after every other step: everything taken back"
user_state late
rollback_project late "" "$LATE_LINK"
fault late "$(late_box)"

step "a target in use, then a failure: the move waiting for the restart is taken back"
user_state held
rollback_project held "" "$LATE_LINK"
hold_file "$IW\\old.txt"
fault held "$(late_box)"

step "a file that cannot be created: a file of the user's where a folder goes"
user_state create
rollback_project create "" ""
printf 'in the way\r\n' >"$I/sub"
fault create "Can't extract file \"$IW\\sub\\deep\\new2.txt\"."

step "a registry key no system takes"
user_state registry
# No system takes a key name longer than 255 characters.
TOO_LONG=$(printf 'k%.0s' $(seq 1 300))
rollback_project registry "" "" "" "Nowhere=$NEW_KEY\\$TOO_LONG"
printf '[Nowhere]\r\nv=never\r\n' >>"$WORK/registry/Presetup/App.ins"
package registry
fault registry "Error on changing registry data!"

step "an INI file another program holds"
user_state ini
rollback_project ini "" ""
hold_file "$IW\\user.ini"
fault ini "Error on changing ini-file!"

step "an earlier install's log is kept, the new records go with the rest"
user_state relog
printf '[CopyFiles]\r\n%s\\earlier.txt=\r\n\r\n' "$IW" >"$I/install.log"
rollback_project relog "" "$LATE_LINK"
fault relog "$(late_box)"

step "a drive that fills up during the copy"
SPACE=$WORK/full-drive
mkdir -p "$SPACE"
if mount -t tmpfs -o size=128k tmpfs "$SPACE" 2>/dev/null; then
  ln -sfn "$SPACE" "$WINEPREFIX/dosdevices/r:"
  forget
  # The space check is told that less is needed than the copy writes.
  rollback_project full "ExtraDiskSpace=-1000" "" "zbig.bin=zbig.bin"
  head -c 400000 /dev/urandom >"$WORK/full/Data/zbig.bin"
  sed -i 's/^InstallPath=.*/InstallPath=R:\\full\r/' "$WORK/full/Presetup/Brik.ini"
  package full
  mkdir -p "$SPACE/full"
  printf 'the old file 1\r\n' >"$SPACE/full/old.txt"
  before=$(cd "$SPACE" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum; find . | LC_ALL=C sort)
  run_install full
  box=$(drive wait-window --title "Brisk Sample" --class "#32770" --timeout 40) || fail "no message box for the full drive"
  got=$(drive get-text "$box" 65535 | tr -d '\r')
  [ "$got" = 'Can'\''t extract file "R:\full\zbig.bin".' ] || fail "the full drive's box says \"$got\""
  step "  box: $got"
  drive click "$box" 1 || fail "cannot click OK on the box"
  expect_final NOTFINISH "Installation aborted"
  expect_end
  after=$(cd "$SPACE" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum; find . | LC_ALL=C sort)
  [ "$before" = "$after" ] || fail "the full drive is not as it was: $(diff <(echo "$before") <(echo "$after") | tr '\n' ' ')"
  rm -f "$WINEPREFIX/dosdevices/r:"
  umount "$SPACE"
else
  step "  skipped: no tmpfs can be mounted here"
fi

step "cancel during the copy: everything taken back"
user_state cancel
rollback_project cancel "" "" "zz.bin=zz.bin"
head -c 1073741824 /dev/zero >"$WORK/cancel/Data/zz.bin"
package cancel
rm -f "$WORK/cancel/Data/zz.bin"
prefix_state >"$WORK/before.txt"
user_files >"$WORK/files-before.txt"
run_install cancel
D=$(expect_dialog "Installing...") || exit 1
# Once the replaced file is in place, the big one is on its way.
for _ in $(seq 1 200); do
  [ "$(tr -d '\r' <"$I/old.txt")" = "the new file 2" ] && break
  sleep 0.1
done
drive click "$D" 103 || fail "Cancel"
answer_box "Brisk Sample" "Brisk Sample is not fully installed on your computer.
Do you want to abort the installation?" 6
expect_final NOTFINISH "Installation aborted"
expect_end
rm -f "$WORK/cancel.exe"
user_files >"$WORK/files-after.txt"
diff "$WORK/files-before.txt" "$WORK/files-after.txt" >"$WORK/files.diff" ||
  fail "cancel: the user's files changed: $(cat "$WORK/files.diff")"
prefix_state >"$WORK/after.txt"
diff "$WORK/before.txt" "$WORK/after.txt" >"$WORK/prefix.diff" ||
  fail "cancel: the prefix differs from before the install: $(head -c 3000 "$WORK/prefix.diff")"

step "RollbackOnFailure=0: what was done stays, the log lists it, the uninstaller takes it away"
forget
I=$TARGETS/keep
IW="$TARGETS_WIN\\keep"
mkdir -p "$I"
printf 'the old file 1\r\n' >"$I/old.txt"
touch -d '2020-01-01 12:00:00' "$I/old.txt"
files_and_keys >"$WORK/before.txt"
install_project keep "RollbackOnFailure=0"
P=$WORK/keep
rm "$P/Presetup/UnInst.exe"
mkdir -p "$P/Data/sub/deep"
printf 'new file\r\n' >"$P/Data/new.txt"
# The same size as the old file: the prefix's state lists sizes.
printf 'the new file 2\r\n' >"$P/Data/old.txt"
printf 'deep\r\n' >"$P/Data/sub/deep/new2.txt"
script keep "[CopyFiles]
Files=%InstallPath%
[Files]
new.txt=new.txt
old.txt=old.txt,2
sub\\deep\\new2.txt=sub\\deep\\new2.txt
[AddReg]
New=$NEW_KEY\\Settings
[New]
Left=10
[AddIni]
NewIni=%InstallPath%\\new.ini,Main
[NewIni]
K=v
[Shortcuts]
Links=$IW\\menu
[Links]
Good=$IW\\new.txt
$LATE_LINK"
package keep
run_install keep
expect_box "Brisk Sample" "$(late_box)"
expect_final NOTFINISH "Installation aborted"
expect_end
[ "$(tr -d '\r' <"$I/old.txt")" = "the new file 2" ] || fail "without rollback the replaced file came back"
# Every file on disk that was not there before is in the log, and every
# file the log names is on disk.
on_disk=$(cd "$TARGETS" && find keep -type f ! -name old.txt ! -name install.log ! -name UnInst.exe | sed 's|/|\\|g' |
  sed "s|^|$(printf '%s' "$TARGETS_WIN" | sed 's/\\/\\\\/g')\\\\|" | tr '[:upper:]' '[:lower:]' | LC_ALL=C sort)
logged=$( (log_section keep CopyFiles; log_section keep Shortcuts) | tr '[:upper:]' '[:lower:]' | LC_ALL=C sort)
[ "$on_disk" = "$logged" ] ||
  fail "the log names $(printf '%s' "$logged" | tr '\n' ' '), on disk: $(printf '%s' "$on_disk" | tr '\n' ' ')"
command=$(reg_value "$UNINSTALL_KEY\\Brisk Sample" UninstallString)
[ -n "$command" ] || fail "the uninstaller was not registered"
drive run-line "$command" >/dev/null || fail "cannot start $command"
window=$(drive wait-window --title "Uninstall Brisk Sample" --class "#32770" --timeout 40) || fail "no uninstaller window"
for _ in $(seq 1 300); do drive state "$window" 6 | grep -q '^visible' && break; sleep 0.2; done
drive click "$window" 6 || fail "cannot answer Yes"
for _ in $(seq 1 300); do drive state "$window" 1 | grep -q '^visible' && break; sleep 0.2; done
drive click "$window" 1 || fail "cannot click OK"
drive wait-gone "$window" --timeout 30 || fail "the uninstaller's window did not close"
for _ in $(seq 1 150); do [ -e "$I/UnInst.exe" ] || break; sleep 0.2; done
files_and_keys >"$WORK/after.txt"
diff "$WORK/before.txt" "$WORK/after.txt" >"$WORK/prefix.diff" ||
  fail "after the uninstall the prefix differs from before the install: $(head -c 3000 "$WORK/prefix.diff")"

step "passed"
exit 0
