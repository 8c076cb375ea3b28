#!/usr/bin/env bash
# End-to-end tests of the registry and INI changes of an install under Wine:
# a package whose script adds and deletes registry values and keys and adds
# INI entries, checked by the registry (reg query), the INI files and the
# install log. Every key the test makes is deleted when it ends.
#   changes_reg_test.sh BUILD_DIR WIN32_DIR BRIKPACK
set -u

WORK_NAME=wine-changes-reg
# shellcheck source=tests/wine/engine_lib.sh
. "$(dirname "$0")/engine_lib.sh" "$@"
need_files "$SHIPPED_ENU" "$TOOLS/holdfile.exe" "$TOOLS/writemark.exe"

TARGETS=$WINEPREFIX/drive_c/BriskRegTest
TARGETS_WIN='C:\BriskRegTest'
BASE='HKLM\Software\BriskRegTest'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\BriskRegTest'
reg() { wine reg "$@" >/dev/null 2>&1 </dev/null; }
TOP='HKCU\BriskRegTop'
forget_keys() {
  reg delete "$BASE" /f
  reg delete "$UNINSTALL_KEY" /f
  reg delete "$TOP" /f
}
trap 'cleanup; forget_keys' EXIT
forget_keys
rm -rf "$TARGETS"

# What the user had before the install.
reg add "$BASE\\Values" /v keep /d old /f || fail "cannot prepare the registry"
reg add "$BASE\\Values" /v over /d old /f
reg add "$BASE\\Del\\Gone" /f
reg add "$BASE\\Del" /v Gone /d "a value named like the key" /f
reg add "$BASE\\Del" /v val /d "to delete" /f
reg add "$BASE\\Del" /v stays /d "not named" /f
reg add "$BASE\\Del\\Tree\\Sub" /v below /d "a sub-key's value" /f
reg add "$BASE\\Del\\Long" /f
reg add "$TOP" /v mine /d "a root's direct child" /f
mkdir -p "$TARGETS/reg" || fail "cannot create $TARGETS/reg"
printf '[Opts]\r\nKeep=old\r\nOver=old\r\n' >"$TARGETS/reg/old.ini"

step "a script that adds and deletes registry values and keys and adds INI entries"
install_project reg "UninstallKey=BriskRegTest"
printf 'a' >"$WORK/reg/Data/a.txt"
script reg "[CopyFiles]
Files=%InstallPath%
[Files]
a.txt=a.txt
[AddReg]
Values=$BASE\\Values
Deep=$BASE\\New1\\New2\\New3
[Values]
\\=Hello
bin=01 02 ff,2
odd=0102f,2
dword=4294967295,1
notnum=abc,1
keep=new,0,32
over=new
fresh=new,0,32
'a\\b'=quoted
nolog=unlogged,0,1
[Deep]
v=deep
[DelReg]
Del=$BASE\\Del
Spelled=HKEY_LOCAL_MACHINE\\${BASE#HKLM\\}\\Del
Root=HKCU
[Del]
Gone=
val=
Tree=
[Spelled]
Long=
[Root]
BriskRegTop=
[AddIni]
NewIni=%InstallPath%\\new.ini,Main
OldIni=%InstallPath%\\old.ini,Opts
[NewIni]
A=1
B=two words
[OldIni]
Keep=new,32
Over=new
Added=yes"
package reg
cat "$WORK/brikpack.out" "$WORK/brikpack.err" | grep -qF "DelReg of $TOP in [Root]: a registry root's direct child" ||
  fail "brikpack does not warn of the DelReg of a root's direct child: $(cat "$WORK/brikpack.err")"
run_install reg
expect_final FINISH "Installation complete"
expect_end

step "the values, as the registry holds them"
V="$BASE\\Values"
for check in "bin|0102FF" "odd|0102" "dword|0xffffffff" "notnum|0x0" "keep|old" "over|new" "fresh|new" \
  'a\b|quoted' "nolog|unlogged"; do
  name=${check%%|*}
  got=$(reg_value "$V" "$name")
  [ "$got" = "${check#*|}" ] || fail "value $name is \"$got\", expected \"${check#*|}\""
done
got=$(wine reg query "$V" /ve 2>/dev/null </dev/null | tr -d '\r' | grep REG_SZ | sed 's/.*REG_SZ[ \t]*//')
[ "$got" = Hello ] || fail "the default value is \"$got\", expected Hello"
[ "$(reg_value "$BASE\\New1\\New2\\New3" v)" = deep ] || fail "the value three new keys deep is missing"

step "the deletions: a key before a value of its name, then a value"
reg query "$BASE\\Del\\Gone" && fail "the key Gone was not deleted"
[ "$(reg_value "$BASE\\Del" Gone)" = "a value named like the key" ] || fail "the value named like the key was deleted"
[ -z "$(reg_value "$BASE\\Del" val)" ] || fail "the value val was not deleted"
[ "$(reg_value "$BASE\\Del" stays)" = "not named" ] || fail "a value the script does not name was deleted"
[ "$(reg_value "$BASE\\Del\\Tree\\Sub" below)" = "a sub-key's value" ] || fail "a key with sub-keys was deleted"
reg query "$BASE\\Del\\Long" && fail "the key under a spelled-out root was not deleted"
[ "$(reg_value "$TOP" mine)" = "a root's direct child" ] || fail "a root's direct child was deleted"

step "the log: new values and keys only, outermost first"
LOG=$TARGETS/reg/install.log
got=$(log_section reg AddReg)
want=$(printf '%s\n' "$V\\" "$V\\bin" "$V\\odd" "$V\\dword" "$V\\notnum" "$V\\fresh" "$V\\'a\\b'" \
  "$BASE\\New1\\New2\\New3\\v")
[ "$got" = "$want" ] || fail "[AddReg] of the log: $(echo $got), expected $(echo $want)"
grep -qxF "$V\\=Hello"$'\r' "$LOG" || fail "the default value's record has not its data"
grep -qxF "$V\\bin=01 02 ff"$'\r' "$LOG" || fail "the binary value's record has not its data"
got=$(log_section reg CreateKeys | grep -v Uninstall)
want=$(printf '%s\n' "$BASE\\New1" "$BASE\\New1\\New2" "$BASE\\New1\\New2\\New3")
[ "$got" = "$want" ] || fail "[CreateKeys] of the log: $(echo $got), expected $(echo $want)"

step "the INI files: a new one written and logged twice, an existing one with flag 32"
[ "$(tr -d '\r' <"$TARGETS/reg/new.ini")" = "$(printf '[Main]\nA=1\nB=two words\n')" ] ||
  fail "new.ini holds: $(cat "$TARGETS/reg/new.ini")"
[ "$(tr -d '\r' <"$TARGETS/reg/old.ini")" = "$(printf '[Opts]\nKeep=old\nOver=new\nAdded=yes\n')" ] ||
  fail "old.ini holds: $(cat "$TARGETS/reg/old.ini")"
I=$TARGETS_WIN\\reg
got=$(log_section reg CopyFiles)
want=$(printf '%s\n' "$I\\a.txt" "$I\\new.ini")
[ "$got" = "$want" ] || fail "[CopyFiles] of the log: $(echo $got), expected $(echo $want)"
got=$(log_section reg AddIni)
want=$(printf '%s\n' "$I\\new.ini,Main,A,NewSection" "$I\\new.ini,Main,B,NewSection" "$I\\old.ini,Opts,Added")
[ "$got" = "$want" ] || fail "[AddIni] of the log: $(echo $got), expected $(echo $want)"
grep -qxF "$I\\new.ini,Main,B,NewSection=two words"$'\r' "$LOG" || fail "the INI record has not its data"

# --- Changes that fail -----------------------------------------------------------------
# failing_project NAME SCRIPT [CONFIG-LINES]: a package whose script ends with a
# program.
failing_project() {
  install_project "$1" "${3:-}"
  cp "$TOOLS/writemark.exe" "$WORK/$1/Data/writemark.exe"
  script "$1" "[CopyFiles]
Files=%InstallPath%
[Files]
writemark.exe=writemark.exe
$2
[RunApp]
1=%InstallPath%\\writemark.exe,\"%InstallPath%\\ran.txt\""
  package "$1"
}

step "a registry value that cannot be written stops the changes there"
# With the rollback off, so that what the step wrote before the failure can
# be seen where it stopped (tests/wine/rollback_test.sh takes it back).
# No system takes a key name longer than 255 characters.
TOO_LONG=$(printf 'k%.0s' $(seq 1 300))
failing_project badreg "[AddReg]
Values=$BASE\\Failing
Nowhere=$BASE\\$TOO_LONG
Later=$BASE\\Later
[Values]
first=written
[Nowhere]
v=never
[Later]
v=never
[DelReg]
Del=$BASE\\Del
[Del]
stays=
[AddIni]
Ini=%InstallPath%\\never.ini,Main
[Ini]
A=1" "RollbackOnFailure=0"
fails_with badreg "Error on changing registry data!"
[ "$(reg_value "$BASE\\Failing" first)" = written ] || fail "the change before the failure was undone"
[ -z "$(reg_value "$BASE\\Later" v)" ] || fail "a value after the failure was written"
[ "$(reg_value "$BASE\\Del" stays)" = "not named" ] || fail "the deletions ran after the failure"
[ -e "$TARGETS/badreg/never.ini" ] && fail "the INI step ran after the registry failure"

step "an INI file held by another program, and one that cannot be created"
failing_project heldini "[AddIni]
Ini=%InstallPath%\\held.ini,Main
[Ini]
A=1"
mkdir -p "$TARGETS/heldini"
printf '[Main]\r\nA=0\r\n' >"$TARGETS/heldini/held.ini"
hold_file "$TARGETS_WIN\\heldini\\held.ini"
fails_with heldini "Error on changing ini-file!"
release_file
[ "$(tr -d '\r' <"$TARGETS/heldini/held.ini")" = "$(printf '[Main]\nA=0')" ] || fail "the held INI file changed"
failing_project noini "[AddIni]
Ini=%InstallPath%\\writemark.exe\\sub\\new.ini,Main
[Ini]
A=1"
fails_with noini "Error on changing ini-file!"

step "passed"
