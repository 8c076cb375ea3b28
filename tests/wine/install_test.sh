#!/usr/bin/env bash
# End-to-end tests of the install under Wine: packages with install scripts
# and application files, built with brikpack, installed as a user would;
# checked by the files, the install log and the registry they leave.
#   install_test.sh BUILD_DIR WIN32_DIR BRIKPACK
# Screenshots go to BUILD_DIR/screenshots/install_*.png.
set -u

WORK_NAME=wine-install
# shellcheck source=tests/wine/engine_lib.sh
. "$(dirname "$0")/engine_lib.sh" "$@"
need_files "$TOOLS/holdfile.exe" "$TOOLS/versioned1.exe" "$TOOLS/versioned2.exe" "$SHIPPED_ENU"

# Every install goes below C:\BriskTest.
TARGETS=$WINEPREFIX/drive_c/BriskTest
TARGETS_WIN='C:\BriskTest'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
rm -rf "$TARGETS"
wine reg delete "$UNINSTALL_KEY\\Brisk Sample" /f >/dev/null 2>&1 </dev/null
SHARED_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs'
for f in a b; do
  wine reg delete "$SHARED_KEY" /v "$TARGETS_WIN\\full\\bin\\$f.dll" /f >/dev/null 2>&1 </dev/null
done

# same_file SOURCE TARGET: same bytes and, to the two seconds of a DOS time,
# the same last write.
same_file() {
  cmp -s "$1" "$2" || fail "$2 differs from $1"
  local a b
  a=$(stat -c %Y "$1")
  b=$(stat -c %Y "$2")
  [ $((a - b)) -le 2 ] && [ $((b - a)) -le 2 ] || fail "$2 has the time $b, its source $a"
}

no_temporary_files() {
  local left
  left=$(find "$1" -iname 'bri*.tmp' 2>/dev/null)
  [ -z "$left" ] || fail "temporary files left: $left"
}

# --- A full install ---------------------------------------------------------------
step "a full install: nested folders, wildcards, an empty file, a large file, a versioned program"
install_project full
P=$WORK/full
mkdir -p "$P/Data/app/sub/deeper" "$P/Data/dll" "$P/Data/docs"
cp "$TOOLS/versioned2.exe" "$P/Data/app/app.exe"
printf 'deep' >"$P/Data/app/sub/deeper/deep.txt"
: >"$P/Data/app/empty.txt"
head -c 5242880 /dev/urandom >"$P/Data/docs/big.bin"
printf 'a' >"$P/Data/dll/a.dll"
printf 'b' >"$P/Data/dll/b.dll"
printf 'not listed' >"$P/Data/docs/unlisted.txt"
touch -d '2024-03-05 10:20:30' "$P/Data/app/sub/deeper/deep.txt" "$P/Data/dll/a.dll"
script full '[CopyFiles]
AppFiles=%InstallPath%
LibFiles=%InstallPath%\bin
[AppFiles]
app\*.*=*.*
docs\big.bin=docs\big.bin
[LibFiles]
dll\*.dll=*.*,128'
package full
run_install full
expect_final FINISH "Installation complete"
expect_end
I=$TARGETS/full
same_file "$P/Data/app/app.exe" "$I/app.exe"
same_file "$P/Data/app/sub/deeper/deep.txt" "$I/sub/deeper/deep.txt"
same_file "$P/Data/app/empty.txt" "$I/empty.txt"
same_file "$P/Data/docs/big.bin" "$I/docs/big.bin"
same_file "$P/Data/dll/a.dll" "$I/bin/a.dll"
same_file "$P/Data/dll/b.dll" "$I/bin/b.dll"
[ -e "$I/docs/unlisted.txt" ] && fail "a file no script names was installed"
no_temporary_files "$I"
[ -f "$I/UnInst.exe" ] || fail "UnInst.exe was not copied"
got=$(log_section full CopyFiles | sort)
want=$(for f in 'app.exe' 'bin\a.dll' 'bin\b.dll' 'docs\big.bin' 'empty.txt' 'sub\deeper\deep.txt'; do
  printf '%s\\full\\%s\n' "$TARGETS_WIN" "$f"
done | sort)
[ "$got" = "$want" ] || fail "[CopyFiles] of the log: $(echo $got), expected $(echo $want)"
got=$(log_section full CreateDirs)
want=$(printf '%s\n' "$TARGETS_WIN" "$TARGETS_WIN\\full" "$TARGETS_WIN\\full\\bin" "$TARGETS_WIN\\full\\docs" \
  "$TARGETS_WIN\\full\\sub" "$TARGETS_WIN\\full\\sub\\deeper")
[ "$(printf '%s\n' "$got" | sort)" = "$(printf '%s\n' "$want" | sort)" ] ||
  fail "[CreateDirs] of the log: $(echo $got)"
# Parents first.
printf '%s\n' "$got" | awk '{ for (i = 1; i < NR; i++) if (index(seen[i], $0 "\\") == 1) exit 1; seen[NR] = $0 }' ||
  fail "[CreateDirs] names a folder after one inside it: $(echo $got)"
got=$(log_section full CreateKeys)
[ "$got" = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brisk Sample" ] ||
  fail "[CreateKeys] of the log: $got"
got=$(reg_value "$UNINSTALL_KEY\\Brisk Sample" UninstallString)
[ "$got" = "\"$TARGETS_WIN\\full\\UnInst.exe\" \"$TARGETS_WIN\\full\\install.log\"" ] ||
  fail "UninstallString is $got"
got=$(reg_value "$UNINSTALL_KEY\\Brisk Sample" DisplayName)
[ "$got" = "Brisk Sample" ] || fail "DisplayName is $got"
# shared_counts: the SharedDLLs counts of the two shared files.
shared_counts() {
  printf '%s %s' "$(reg_value "$SHARED_KEY" "$TARGETS_WIN\\full\\bin\\a.dll")" \
    "$(reg_value "$SHARED_KEY" "$TARGETS_WIN\\full\\bin\\b.dll")"
}
[ "$(shared_counts)" = "0x1 0x1" ] || fail "shared counts after the first install: $(shared_counts)"
[ "$(log_section full SharedFiles | wc -l)" = 2 ] || fail "[SharedFiles] of the log: $(log_section full SharedFiles)"

step "the same package again: every file is there and the same, nothing is written"
before=$(cd "$I" && find . -type f ! -name install.log -printf '%p %i %T@\n' | sort)
run_install full
expect_final FINISH "Installation complete"
expect_end
after=$(cd "$I" && find . -type f ! -name install.log -printf '%p %i %T@\n' | sort)
[ "$before" = "$after" ] || fail "files were written again: $(diff <(echo "$before") <(echo "$after") | tr '\n' ' ')"
[ "$(shared_counts)" = "0x1 0x1" ] || fail "the same log counted its shared files again: $(shared_counts)"
for f in a b; do
  wine reg delete "$SHARED_KEY" /v "$TARGETS_WIN\\full\\bin\\$f.dll" /f >/dev/null 2>&1 </dev/null
done

step "a reinstall with RemoveOldReferences=1: the earlier install's shortcuts, empty folders and registration go"
install_project again "RemoveOldReferences=1"
printf 'again\n' >"$WORK/again/Data/again.txt"
script again '[CopyFiles]
Files=%InstallPath%
[Files]
again.txt=again.txt'
package again
I=$TARGETS/again
mkdir -p "$I/oldempty/inner" "$I/oldfull" "$TARGETS/links"
printf 'kept' >"$I/oldfull/user.txt"
printf 'link' >"$TARGETS/links/Old.lnk"
wine reg add "$UNINSTALL_KEY\\Brisk Old" /v DisplayName /d "Brisk Old" /f >/dev/null 2>&1 </dev/null
wine reg add 'HKLM\Software\BriskKeep' /v Kept /d yes /f >/dev/null 2>&1 </dev/null
printf '%s\r\n' '[Shortcuts]' "$TARGETS_WIN\\links\\Old.lnk=" '' '[CreateDirs]' "$TARGETS_WIN\\again\\oldempty=" \
  "$TARGETS_WIN\\again\\oldempty\\inner=" "$TARGETS_WIN\\again\\oldfull=" '' '[CreateKeys]' \
  'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Brisk Old=' 'HKLM\SOFTWARE\BriskKeep=' '' >"$I/install.log"
run_install again
expect_final FINISH "Installation complete"
expect_end
[ -e "$TARGETS/links/Old.lnk" ] && fail "the old shortcut stayed"
[ -e "$I/oldempty" ] && fail "the old empty folders stayed"
[ -f "$I/oldfull/user.txt" ] || fail "a folder that holds a file was removed"
wine reg query "$UNINSTALL_KEY\\Brisk Old" >/dev/null 2>&1 </dev/null && fail "the old registration stayed"
[ "$(reg_value 'HKLM\Software\BriskKeep' Kept)" = yes ] || fail "a key outside the uninstall list was deleted"
wine reg delete 'HKLM\Software\BriskKeep' /f >/dev/null 2>&1 </dev/null
[ "$(log_section again CopyFiles)" = "$TARGETS_WIN\\again\\again.txt" ] || fail "the new records are not in the log"
log_section again CreateDirs | grep -qx "$(printf '%s' "$TARGETS_WIN\\again\\oldfull" | sed 's/\\/\\\\/g')" ||
  fail "the old log lost its records"
[ -n "$(reg_value "$UNINSTALL_KEY\\Brisk Sample" UninstallString)" ] || fail "the reinstall did not register itself"

step "files beside the package (flag 64): a whole folder tree and a single renamed file"
install_project external
E=$WORK/extsrc
rm -rf "$E" && mkdir -p "$E/sub/deeper"
printf 'one' >"$E/one.txt"
printf 'two' >"$E/sub/two.dat"
printf 'three' >"$E/sub/deeper/three.txt"
printf 'single' >"$WORK/single.txt"
touch -d '2022-02-02 10:00:00' "$E/sub/deeper/three.txt"
script external '[CopyFiles]
Ext=%InstallPath%
[Ext]
%SourcePath%\extsrc\*.*=*.*,64
%SourcePath%\single.txt=renamed.txt,64'
package external
run_install external
expect_final FINISH "Installation complete"
expect_end
I=$TARGETS/external
same_file "$E/one.txt" "$I/one.txt"
same_file "$E/sub/two.dat" "$I/sub/two.dat"
same_file "$E/sub/deeper/three.txt" "$I/sub/deeper/three.txt"
same_file "$WORK/single.txt" "$I/renamed.txt"
no_temporary_files "$I"

# --- The overwrite rules ----------------------------------------------------------------
step "overwrite rules: older, newer, equal targets, flags 2, 16 and 32, Yes to all"
install_project rules
P=$WORK/rules
I=$TARGETS/rules
mkdir -p "$P/Data" "$I"
for f in older newer equal always keepnewer never; do printf 'new %s\n' "$f" >"$P/Data/$f.txt"; done
cp "$TOOLS/versioned1.exe" "$P/Data/app.exe"
touch -d '2024-06-01 12:00:00' "$P"/Data/*.txt
for f in older never; do printf 'old %s\n' "$f" >"$I/$f.txt"; touch -d '2023-01-01 12:00:00' "$I/$f.txt"; done
for f in newer always keepnewer; do printf 'old %s\n' "$f" >"$I/$f.txt"; touch -d '2025-01-01 12:00:00' "$I/$f.txt"; done
cp "$P/Data/equal.txt" "$I/equal.txt" && touch -d '2024-06-01 12:00:00' "$I/equal.txt"
# A newer version, although its file is older.
cp "$TOOLS/versioned2.exe" "$I/app.exe" && touch -d '2020-01-01 12:00:00' "$I/app.exe"
script rules '[CopyFiles]
Files=%InstallPath%
[Files]
app.exe=app.exe
older.txt=older.txt
newer.txt=newer.txt
equal.txt=equal.txt
always.txt=always.txt,2
keepnewer.txt=keepnewer.txt,16
never.txt=never.txt,34'
package rules
equal_inode=$(stat -c %i "$I/equal.txt")
run_install rules
C=$(expect_dialog "File version conflict" install_version_conflict.png) || exit 1
control_is "$C" 104 text "app.exe"
control_is "$C" 106 text "$TARGETS_WIN\\rules\\"
drive click "$C" 108 || fail "Yes to all"
expect_final FINISH "Installation complete"
expect_end
cmp -s "$TOOLS/versioned2.exe" "$I/app.exe" || fail "the newer version was replaced"
for f in older always; do
  [ "$(cat "$I/$f.txt")" = "new $f" ] || fail "$f.txt was not replaced"
done
for f in newer keepnewer never; do
  [ "$(cat "$I/$f.txt")" = "old $f" ] || fail "$f.txt was replaced"
done
[ "$(stat -c %i "$I/equal.txt")" = "$equal_inode" ] || fail "the equal file was written again"
no_temporary_files "$I"

# --- Cancel, damage, password ------------------------------------------------------------
step "cancel during a large file: the target that was there stays whole, nothing follows"
wine reg delete "$UNINSTALL_KEY\\Brisk Sample" /f >/dev/null 2>&1 </dev/null
install_project cancel
P=$WORK/cancel
I=$TARGETS/cancel
# A gigabyte of zeros: a small package that takes seconds to write out.
head -c 1073741824 /dev/zero >"$P/Data/huge.bin"
mkdir -p "$I" && printf 'the old file\n' >"$I/huge.bin"
script cancel '[CopyFiles]
Files=%InstallPath%
[Files]
huge.bin=huge.bin'
package cancel
run_install cancel
D=$(expect_dialog "Installing..." install_progress.png) || exit 1
drive click "$D" 103 || fail "Cancel"
answer_box "Brisk Sample" "Brisk Sample is not fully installed on your computer.
Do you want to abort the installation?" 6
drive wait-gone "$D" --timeout 60 || fail "the progress dialog stayed after the cancel"
expect_final NOTFINISH "Installation aborted"
expect_end
[ "$(cat "$I/huge.bin")" = "the old file" ] || fail "the cancelled install changed the existing target"
no_temporary_files "$I"
[ -n "$(reg_value "$UNINSTALL_KEY\\Brisk Sample" UninstallString)" ] && fail "a cancelled install registered itself"
rm -f "$WORK/cancel.exe" "$P/Data/huge.bin"

step "a damaged application file: the error, nothing damaged installed"
install_project damaged
P=$WORK/damaged
head -c 400000 /dev/urandom >"$P/Data/payload.bin"
script damaged '[CopyFiles]
Files=%InstallPath%
[Files]
payload.bin=payload.bin'
package damaged "" --compression none
# A byte in the middle of the file's data, well inside the cabinet, turned
# into another (a fixed value would be no change once in 256 runs).
size=$(stat -c %s "$WORK/damaged.exe")
at=$((size - 8 - 200000))
byte=$(od -An -tu1 -j "$at" -N1 "$WORK/damaged.exe" | tr -d ' ')
printf "\\$(printf %o $((byte ^ 255)))" | dd of="$WORK/damaged.exe" bs=1 seek="$at" conv=notrunc status=none
run_install damaged
expect_box "Brisk Sample" "Can't extract file \"$TARGETS_WIN\\damaged\\payload.bin\"."
expect_final NOTFINISH "Installation aborted"
expect_end
[ -e "$TARGETS/damaged/payload.bin" ] && fail "the damaged file was installed"
no_temporary_files "$TARGETS/damaged"

step "a protected package: the right password installs, none at all is refused"
install_project secret "PreInstallDialogSequence=DLG_PASSWORD"
P=$WORK/secret
printf 'secret data\n' >"$P/Data/secret.txt"
script secret '[CopyFiles]
Files=%InstallPath%
[Files]
secret.txt=secret.txt'
package secret "" --password "open sesame"
run_install secret
D=$(expect_dialog "Installation password") || exit 1
drive set-text "$D" 106 "open sesame" || fail "cannot type the password"
drive click "$D" 102 || fail "Next"
expect_final FINISH "Installation complete"
expect_end
same_file "$P/Data/secret.txt" "$TARGETS/secret/secret.txt"
rm -rf "$TARGETS/secret"
install_project nopassword
cp -r "$P/Data" "$WORK/nopassword/" && cp "$P/Presetup/App.ins" "$WORK/nopassword/Presetup/"
package nopassword "" --password "open sesame"
run_install nopassword
expect_box "Brisk Sample" "Incorrect password has been specified!"
expect_final NOTFINISH "Installation aborted"
expect_end
[ -e "$TARGETS/nopassword" ] && fail "an install without the password wrote something"

# --- Disk space ---------------------------------------------------------------------------
step "disk space: exactly enough passes, one kilobyte more is refused"
SPACE=$WORK/space-drive
mkdir -p "$SPACE"
if mount -t tmpfs -o size=64k tmpfs "$SPACE" 2>/dev/null; then
  ln -sfn "$SPACE" "$WINEPREFIX/dosdevices/q:"
  for extra in "" 1; do
    project space "$(settings "InsFiles=App
ExtraDiskSpace=$extra" 'InstallPath=Q:\space')"
    shipped_texts space
    mkdir -p "$WORK/space/Data" && head -c 65536 /dev/urandom >"$WORK/space/Data/fill.bin"
    script space '[CopyFiles]
Files=%InstallPath%
[Files]
fill.bin=fill.bin'
    package space
    run_install space
    if [ -z "$extra" ]; then
      expect_final FINISH "Installation complete"
      expect_end
      cmp -s "$WORK/space/Data/fill.bin" "$SPACE/space/fill.bin" || fail "the file that just fits was not installed"
      rm -rf "${SPACE:?}/space"
    else
      expect_box "Brisk Sample" "Insufficient free disk space!"
      expect_final NOTFINISH "Installation aborted"
      expect_end
      [ -e "$SPACE/space/fill.bin" ] && fail "an install without room wrote its file"
    fi
  done
  rm -f "$WINEPREFIX/dosdevices/q:"
  umount "$SPACE"
else
  step "  skipped: no size-limited folder can be mounted here"
fi

# --- Files in use ----------------------------------------------------------------------
# in_use_project NAME FILE: a package that replaces FILE, an older "old
# library" in the install folder that a program holds open; I is that folder.
in_use_project() {
  install_project "$1"
  I=$TARGETS/$1
  printf 'new library\n' >"$WORK/$1/Data/$2"
  mkdir -p "$I" && printf 'old library\n' >"$I/$2"
  touch -d '2020-01-01 12:00:00' "$I/$2"
  script "$1" "[CopyFiles]
Files=%InstallPath%
[Files]
$2=$2"
  package "$1"
  hold_file "$TARGETS_WIN\\$1\\$2"
}
SESSION_MANAGER='HKLM\System\CurrentControlSet\Control\Session Manager'
RUNONCE='HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce'
WININIT=$WINEPREFIX/drive_c/windows/wininit.ini
rm -f "$WININIT"

step "Windows 98, a long-named target in use: wininit.ini and the RunOnce rename"
in_use_project versions LongLibraryName.dll
set_windows_version win98
run_install versions
reboot_later install_reboot.png
set_windows_version ""
release_file
[ "$(cat "$I/LongLibraryName.dll")" = "old library" ] || fail "the file in use was replaced at once"
written=$(find "$I" -iname 'bri*.tmp')
[ "$(printf '%s\n' "$written" | grep -c .)" = 1 ] || fail "expected one file written beside the target: $written"
[ "$(cat "$written")" = "new library" ] || fail "the file written beside the target is not the new one"
[ -f "$WININIT" ] || fail "no wininit.ini"
rename=$(tr -d '\r' <"$WININIT")
step "  wininit.ini: $(printf '%s' "$rename" | tr '\n' '|')"
printf '%s\n' "$rename" | head -n 1 | grep -qx '\[Rename\]' || fail "wininit.ini does not start with [Rename]"
short_target=$(printf '%s\n' "$rename" | sed -n 's/^NUL=//p' | head -n 1)
[ -n "$short_target" ] || fail "wininit.ini deletes nothing"
printf '%s\n' "$rename" | grep -qi "^$(printf '%s' "$short_target" | sed 's/[\\.~]/\\&/g')=.*BRI[0-9A-F]*\.TMP$" ||
  fail "wininit.ini does not rename the new file to the target"
case "$short_target" in *LongLibraryName*) fail "the target's name in wininit.ini is not short" ;; esac
got=$(reg_value "$RUNONCE" "Rename $short_target")
[ "$got" = "command.com /c ren \"$short_target\" \"LongLibraryName.dll\"" ] ||
  fail "the RunOnce rename is \"$got\""
# Not restarted: the next case restarts, and must find only its own records.
wine reg delete "$RUNONCE" /v "Rename $short_target" /f >/dev/null 2>&1 </dev/null
rm -f "$WININIT" "$written"

step "NT, a target in use: written beside it, put in place by the restart"
in_use_project locked lib.dll
run_install locked
reboot_later
release_file
[ "$(cat "$I/lib.dll")" = "old library" ] || fail "the file in use was replaced at once"
wine reg query "$SESSION_MANAGER" /v PendingFileRenameOperations 2>/dev/null </dev/null | grep -qi 'locked\\lib.dll' ||
  fail "no delayed rename of lib.dll"
step "  restart"
wine wineboot -r >/dev/null 2>&1 </dev/null || fail "wineboot -r failed"
[ "$(cat "$I/lib.dll")" = "new library" ] || fail "the restart did not put the new file in place"
no_temporary_files "$I"

step "passed"
rm -rf "$TARGETS"
exit 0
