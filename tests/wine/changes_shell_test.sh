#!/usr/bin/env bash
# End-to-end tests of the install's shortcuts and programs under Wine:
# packages built with brikpack whose scripts create shortcuts and run
# programs; the links are read back through the shell's link object, the
# programs by the files they leave, and both through the install log and
# the registry.
#   changes_shell_test.sh BUILD_DIR WIN32_DIR BRIKPACK
set -u

WORK_NAME=wine-changes-shell
# shellcheck source=tests/wine/engine_lib.sh
. "$(dirname "$0")/engine_lib.sh" "$@"
need_files "$TOOLS/readlink.exe" "$TOOLS/writemark.exe" "$SHIPPED_ENU"

TARGETS=$WINEPREFIX/drive_c/BriskShell
TARGETS_WIN='C:\BriskShell'
RUNONCE='HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce'
rm -rf "$TARGETS"

# runonce_ours: "name<TAB>data" of each RunOnce value that names our folder.
runonce_ours() {
  wine reg query "$RUNONCE" 2>/dev/null </dev/null | tr -d '\r' |
    awk '$2 == "REG_SZ" && index($0, "BriskShell") { name = $1; sub(/^[ \t]*[^ \t]+[ \t]+REG_SZ[ \t]+/, ""); print name "\t" $0 }'
}
forget_runonce() {
  local name
  for name in $(runonce_ours | cut -f1); do
    wine reg delete "$RUNONCE" /v "$name" /f >/dev/null 2>&1 </dev/null
  done
}
forget_runonce
trap 'forget_runonce; cleanup' EXIT

# link_fields WINDOWS-PATH: what the link holds, one "name=value" a line.
link_fields() {
  BRIK_WINE_TIMEOUT=30 "$SCRIPTS/wine-run.sh" "$BUILD_DIR" "$TOOLS/readlink.exe" "$1" 2>"$WORK/readlink.err" |
    tr -d '\r' || fail "cannot read the link $1"
}
# link_is WINDOWS-PATH FIELD=VALUE...: the link holds these fields.
link_is() {
  local link=$1 fields want
  fields=$(link_fields "$link")
  shift
  for want in "$@"; do
    printf '%s\n' "$fields" | grep -qxF -- "$want" || fail "the link $link: no \"$want\" in: $(echo $fields)"
  done
}

# --- Shortcuts and programs -----------------------------------------------------
step "shortcuts with every field, without logging, kept and replaced; programs waited for, after the restart, a folder"
install_project shell "NeedReboot=1"
P=$WORK/shell
I=$TARGETS/shell
IW="$TARGETS_WIN\\shell"
cp "$TOOLS/writemark.exe" "$P/Data/writemark.exe"
mkdir -p "$P/Data/docs" && printf 'docs\n' >"$P/Data/docs/readme.txt"
# Links that were there before the install.
mkdir -p "$I"
printf 'not a link, kept\n' >"$I/Kept.lnk"
printf 'not a link, replaced\n' >"$I/Replaced.lnk"
script shell '[CopyFiles]
AppFiles=%InstallPath%
[AppFiles]
writemark.exe=writemark.exe
docs\readme.txt=docs\readme.txt
[Shortcuts]
Links=C:\BriskShell\Menu\Group One
Quiet=C:\BriskShell\Quiet
Here=%InstallPath%
[Links]
App=%InstallPath%\writemark.exe,"C:\My Files\a b.txt" -x,"%InstallPath%","%InstallPath%\writemark.exe",2,$0641,3,"Writes, then ends"
Max=%InstallPath%\writemark.exe,,,,,,2
[Quiet]
Silent=%InstallPath%\writemark.exe,,,,,,1,,1
[Here]
Kept=%InstallPath%\writemark.exe,,,,,,,,32
Replaced=%InstallPath%\writemark.exe,-new
[RunApp]
1=%InstallPath%\writemark.exe,"%InstallPath%\ran now.txt" second,C:\BriskShell,0,"Running, please wait"
2=%InstallPath%\writemark.exe,"%InstallPath%\after restart.txt",,,,1,1
3=%InstallPath%\docs,,,,,0,1'
package shell
run_install shell
drive wait-window --title "Reboot computer?" --class "#32770" --timeout 60 >/dev/null || fail "no reboot question"
# The step waited for the program: its file is there before the install ends.
[ -f "$I/ran now.txt" ] || fail "the program was not waited for (no \"ran now.txt\" when the install ended)"
got=$(tr -d '\r' <"$I/ran now.txt")
want="argc=3
folder=$TARGETS_WIN
arg=second"
[ "$got" = "$want" ] || fail "the program ran with: $(echo $got)"
reboot_later
[ -e "$I/after restart.txt" ] && fail "the after-restart program ran now"
# The folder entry opened the folder now, restart or not.
folder=$(drive wait-window --title docs --timeout 30) || fail "the folder entry did not open its folder"
drive close "$folder" || fail "cannot close the folder's window"
drive wait-gone "$folder" --timeout 30 || fail "the folder's window did not close"

link_is "$TARGETS_WIN\\Menu\\Group One\\App.lnk" "target=$IW\\writemark.exe" 'arguments="C:\My Files\a b.txt" -x' \
  "folder=$IW" "icon=$IW\\writemark.exe,2" "hotkey=$((0x0641))" "show=7" "description=Writes, then ends"
link_is "$TARGETS_WIN\\Menu\\Group One\\Max.lnk" "target=$IW\\writemark.exe" "arguments=" "show=3" "hotkey=0"
link_is "$TARGETS_WIN\\Quiet\\Silent.lnk" "target=$IW\\writemark.exe" "show=1"
link_is "$IW\\Replaced.lnk" "target=$IW\\writemark.exe" "arguments=-new" "show=1"
[ "$(cat "$I/Kept.lnk")" = "not a link, kept" ] || fail "the existing link with flag 32 was changed"

got=$(log_section shell Shortcuts | sort)
want=$(printf '%s\n' "$TARGETS_WIN\\Menu\\Group One\\App.lnk" "$TARGETS_WIN\\Menu\\Group One\\Max.lnk")
[ "$got" = "$want" ] || fail "[Shortcuts] of the log: $(echo $got), expected $(echo $want)"
got=$(log_section shell CreateDirs)
printf '%s\n' "$got" | grep -qxF "$TARGETS_WIN\\Menu" || fail "[CreateDirs] lacks the new menu folder: $(echo $got)"
printf '%s\n' "$got" | grep -qxF "$TARGETS_WIN\\Menu\\Group One" || fail "[CreateDirs] lacks the group: $(echo $got)"
printf '%s\n' "$got" | grep -qiF 'Quiet' && fail "[CreateDirs] holds the folder of an unlogged link: $(echo $got)"

got=$(runonce_ours)
[ "$(printf '%s\n' "$got" | grep -c .)" = 1 ] || fail "RunOnce values of the install: $(echo $got), expected one"
printf '%s\n' "$got" | grep -qE '^Run[0-9]+'$'\t' || fail "the RunOnce value is not named Run and a number: $got"
want="\"$IW\\writemark.exe\" \"$IW\\after restart.txt\""
[ "$(printf '%s\n' "$got" | cut -f2-)" = "$want" ] || fail "the RunOnce command is $(printf '%s' "$got" | cut -f2-), expected $want"
forget_runonce

# --- An after-restart program without a pending restart runs now ------------------
step "an after-restart program runs now when no restart is pending"
install_project now
script now '[RunApp]
1=C:\BriskShell\shell\writemark.exe,"C:\BriskShell\now\ran.txt",,,,1,1'
package now
run_install now
expect_final FINISH "Installation complete"
expect_end
[ -f "$TARGETS/now/ran.txt" ] || fail "the program did not run"
[ -z "$(runonce_ours)" ] || fail "a RunOnce value was written: $(runonce_ours)"

# --- A shortcut that leads out of its folder ---------------------------------------
step "a shortcut name that leads out of its folder fails the install before the programs"
install_project badlink
script badlink '[Shortcuts]
Links=C:\BriskShell\badlink\sub
[Links]
..\..\evil=C:\BriskShell\shell\writemark.exe
[RunApp]
1=C:\BriskShell\shell\writemark.exe,"C:\BriskShell\badlink\ran.txt"'
package badlink
fails_with badlink "Error creating shortcut \"$TARGETS_WIN\\badlink\\sub\\..\\..\\evil.lnk\"."
[ -e "$TARGETS/evil.lnk" ] && fail "the link was written outside its folder"
step "passed"
