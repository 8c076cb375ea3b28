#!/usr/bin/env bash
# The starter project of `brikpack new`, as a new author meets it: built as
# it stands, installed under Wine through every page of its wizard, its
# placeholder program started from the install folder, and taken away again
# by its uninstaller.
#   starter_test.sh BUILD_DIR WIN32_DIR BRIKPACK
set -u

WORK_NAME=wine-starter
# shellcheck source=tests/wine/engine_lib.sh
. "$(dirname "$0")/engine_lib.sh" "$@"

NAME="Brisk Starter"
TARGET="$WINEPREFIX/drive_c/Brisk Starter Test"
TARGET_WIN='C:\Brisk Starter Test'
KEY="HKLM\\Software\\My Company\\$NAME"
UNINSTALL_KEY="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$NAME"
forget() {
  rm -rf "$TARGET"
  wine reg delete "$KEY" /f >/dev/null 2>&1 </dev/null
  wine reg delete "$UNINSTALL_KEY" /f >/dev/null 2>&1 </dev/null
}
forget
trap 'forget; cleanup' EXIT

step "brikpack new, check and build"
"$BRIKPACK" new "$WORK/starter" --name "$NAME" >"$WORK/new.out" 2>&1 || fail "brikpack new: $(cat "$WORK/new.out")"
"$BRIKPACK" check "$WORK/starter" >"$WORK/check.out" 2>&1 || fail "brikpack check: $(cat "$WORK/check.out")"
grep -q ' 0 errors, 0 warnings$' "$WORK/check.out" || fail "the starter project has findings: $(cat "$WORK/check.out")"
package starter
grep -q 'added the uninstaller' "$WORK/brikpack.out" || fail "brikpack did not add the uninstaller: $(cat "$WORK/brikpack.out")"

step "the wizard, page by page"
run_install starter
D=$(expect_dialog "Welcome!" starter_welcome.png) || exit 1
drive click "$D" 102 || fail "Next"
D=$(expect_dialog "License agreement") || exit 1
control_is "$D" 108 text "$(printf 'Replace this file with your program'"'"'s licence agreement.\n\nThe wizard'"'"'s licence page shows Presetup\\License.txt (or License.rtf, or\nLicense.Enu for one language); the user accepts it with Yes.')"
drive click "$D" 105 || fail "Yes"
D=$(expect_dialog "Readme information") || exit 1
drive click "$D" 102 || fail "Next"
D=$(expect_dialog "Select installation directory") || exit 1
control_is "$D" 106 text "C:\\Program Files\\My Company\\$NAME"
drive set-text "$D" 106 "$TARGET_WIN" || fail "cannot type the folder"
drive click "$D" 102 || fail "Next"
D=$(expect_dialog "Program group") || exit 1
control_is "$D" 106 text "$NAME"
drive click "$D" 102 || fail "Next"
D=$(expect_dialog "Start install") || exit 1
drive click "$D" 102 || fail "Next"
D=$(expect_dialog "Installation complete" starter_finish.png) || exit 1
drive click "$D" 104 || fail "OK"
expect_end

step "what it installed"
for f in MyApp.exe License.txt Readme.txt UnInst.exe install.log; do
  [ -f "$TARGET/$f" ] || fail "$TARGET_WIN\\$f is missing"
done
cmp -s "$TARGET/MyApp.exe" "$WORK/starter/Data/MyApp.exe" || fail "MyApp.exe differs from the project's"
[ "$(reg_value "$KEY" InstallPath)" = "$TARGET_WIN" ] || fail "the registry value InstallPath: $(reg_value "$KEY" InstallPath)"
[ "$(reg_value "$KEY" Version)" = "1.0" ] || fail "the registry value Version: $(reg_value "$KEY" Version)"
programs=$(winepath -u "$(wine cmd /c echo %ALLUSERSPROFILE% 2>/dev/null </dev/null | tr -d '\r\n')" 2>/dev/null </dev/null)
links=$(find "$WINEPREFIX/drive_c" -ipath "*/Programs/$NAME/*.lnk" 2>/dev/null | sed 's|.*/||' | sort | tr '\n' ',')
[ "$links" = "$NAME.lnk,Read Me.lnk," ] || fail "the Start menu group holds \"$links\" (profile $programs)"
command=$(reg_value "$UNINSTALL_KEY" UninstallString)
[ "$command" = "\"$TARGET_WIN\\UnInst.exe\" \"$TARGET_WIN\\install.log\"" ] || fail "UninstallString is $command"

step "the placeholder program runs"
wine "$TARGET/MyApp.exe" >"$WORK/app.out" 2>"$WORK/app.err" </dev/null &
app=$!
BACKGROUND="$BACKGROUND $app"
box=$(drive wait-window --title "$NAME" --class "#32770" --timeout 40) || fail "the placeholder program shows no box"
got=$(drive get-text "$box" 65535 | tr -d '\r' | sed '/^$/d')
[ "$got" = "$(printf 'This is the placeholder program of a new setup project.\nPut your program'"'"'s files into the project'"'"'s Data folder and name them in Presetup\\App.ins.')" ] ||
  fail "the placeholder program says \"$got\""
"$SCRIPTS/screenshot.sh" "$BUILD_DIR" "$SHOTS/starter_program.png" >/dev/null || fail "screenshot failed"
drive click "$box" 1 || fail "cannot click OK"
for _ in $(seq 1 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.2; done
kill -0 "$app" 2>/dev/null && fail "the placeholder program did not end"
wait "$app" || fail "the placeholder program ended with $?"

step "its uninstaller takes it away"
drive run-line "$command" >/dev/null || fail "cannot start $command"
window=$(drive wait-window --title "Uninstall $NAME" --class "#32770" --timeout 40) || fail "no uninstaller window"
for _ in $(seq 1 150); do drive state "$window" 6 | grep -q '^visible' && break; sleep 0.2; done
drive click "$window" 6 || fail "cannot answer Yes"
for _ in $(seq 1 150); do drive state "$window" 1 | grep -q '^visible' && break; sleep 0.2; done
drive click "$window" 1 || fail "cannot close the uninstaller"
for _ in $(seq 1 150); do [ -e "$TARGET" ] || break; sleep 0.2; done
[ -e "$TARGET" ] && fail "the install folder is still there: $(find "$TARGET" | tr '\n' ' ')"
[ -n "$(reg_value "$KEY" Version)" ] && fail "the registry value is still there"
links=$(find "$WINEPREFIX/drive_c" -ipath "*/Programs/$NAME*" 2>/dev/null)
[ -z "$links" ] || fail "the Start menu group is still there: $links"
step "passed"
