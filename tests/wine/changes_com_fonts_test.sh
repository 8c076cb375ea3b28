#!/usr/bin/env bash
# End-to-end tests of the install's COM servers and fonts under Wine:
# packages built with brikpack whose files carry the COM and font flags.
# Servers of ours leave a mark in the registry when they register; fonts are
# read back through the system's font enumeration, the fonts key and the
# install log. A server in use is registered by the restart (wineboot -r).
#   changes_com_fonts_test.sh BUILD_DIR WIN32_DIR BRIKPACK
set -u

WORK_NAME=wine-changes-com-fonts
# shellcheck source=tests/wine/engine_lib.sh
. "$(dirname "$0")/engine_lib.sh" "$@"
need_files "$TOOLS/comserver.dll" "$TOOLS/comfails.dll" "$TOOLS/comprogram.exe" "$TOOLS/demo.tlb" \
  "$TOOLS/hasfont.exe" "$TOOLS/holdfile.exe" "$TOOLS/writemark.exe" "$SHIPPED_ENU" /usr/share/wine/fonts/tahoma.ttf

TARGETS="$WINEPREFIX/drive_c/Brisk Com"
TARGETS_WIN='C:\Brisk Com'
RUNONCE='HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce'
MARKS='HKLM\Software\Brisk Test\Servers'
TYPELIB='HKCR\TypeLib\{6B0D2F5E-8A41-4C1E-9D3A-2F7E5B9C1A01}'
FONTS_KEY='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts'
FONTS=$WINEPREFIX/drive_c/windows/Fonts
SYSTEM=$WINEPREFIX/drive_c/windows/system32
FACES="Brisk Test Sans|Brisk Test Registered|Brisk Test Unique|Brisk Test Busy"

# The registry and files of earlier runs in this prefix.
forget() {
  local name
  rm -rf "$TARGETS" "$FONTS"/Bris*.ttf "$FONTS"/Bris*.TTF
  wine reg delete 'HKLM\Software\Brisk Test' /f >/dev/null 2>&1 </dev/null
  wine reg delete "$TYPELIB" /f >/dev/null 2>&1 </dev/null
  for name in "Brisk Test Sans" "Brisk Test Registered" "Brisk Test Unique" "Brisk Test Busy"; do
    wine reg delete "$FONTS_KEY" /v "$name (TrueType)" /f >/dev/null 2>&1 </dev/null
  done
  for name in $(wine reg query "$RUNONCE" 2>/dev/null </dev/null | tr -d '\r' | awk '$1 ~ /^Reg[0-9]+$/ { print $1 }'); do
    wine reg delete "$RUNONCE" /v "$name" /f >/dev/null 2>&1 </dev/null
  done
  [ -f "$WORK/regsvr32.exe" ] && cp "$WORK/regsvr32.exe" "$SYSTEM/regsvr32.exe"
}
cp "$SYSTEM/regsvr32.exe" "$WORK/regsvr32.exe" || fail "cannot keep the system's regsvr32.exe"
forget
trap 'forget; cleanup' EXIT

# marked WINDOWS-PATH: the server at that path has registered itself.
marked() { [ "$(reg_value "$MARKS" "$1")" = registered ]; }
# font FACE FILE: a copy of a TrueType font that calls itself FACE.
font() {
  python3 "$SCRIPTS/rename-font.py" /usr/share/wine/fonts/tahoma.ttf "$2" "$1" || fail "cannot make the font $1"
}
# listed FACE: the system's font enumeration lists the face.
listed() {
  BRIK_WINE_TIMEOUT=30 "$SCRIPTS/wine-run.sh" "$BUILD_DIR" "$TOOLS/hasfont.exe" "$1" >/dev/null 2>&1
}

# --- COM servers ---------------------------------------------------------------------
step "a library, a program and a type library register; a failed one is reported; the system's regsvr32 provided"
install_project com
P=$WORK/com
I=$TARGETS/com
IW="$TARGETS_WIN\\com"
cp "$TOOLS/comserver.dll" "$TOOLS/comfails.dll" "$TOOLS/comprogram.exe" "$TOOLS/demo.tlb" "$P/Data/"
cp "$TOOLS/comserver.dll" "$P/Data/quiet.dll"
# The package brings regsvr32.exe for a system without one.
printf 'the package'"'"'s regsvr32\n' >"$P/Presetup/regsvr32.exe"
rm -f "$SYSTEM/regsvr32.exe"
script com '[CopyFiles]
AppFiles=%InstallPath%
[AppFiles]
comserver.dll=comserver.dll,4
comprogram.exe=comprogram.exe,4
demo.tlb=demo.tlb,4
comfails.dll=comfails.dll,4
quiet.dll=quiet.dll,5'
package com
run_install com
expect_box "Brisk Sample" "Cannot register COM server!
After install try to register it manually:
regsvr32.exe \"$IW\\comfails.dll\"" com_failed.png
expect_final FINISH "Installation complete"
expect_end
[ "$(cat "$SYSTEM/regsvr32.exe" 2>/dev/null)" = "the package's regsvr32" ] ||
  fail "the package's regsvr32.exe was not copied into the system folder that lacked one"
cp "$WORK/regsvr32.exe" "$SYSTEM/regsvr32.exe"
for server in comserver.dll comprogram.exe quiet.dll; do
  marked "$IW\\$server" || fail "$server did not register"
done
marked "$IW\\comfails.dll" && fail "the failing library left a mark"
got=$(wine reg query "$TYPELIB\\1.0\\0\\win32" /ve 2>/dev/null </dev/null | tr -d '\r' | sed -n 's/.*REG_SZ[ \t]*//p')
[ "$got" = "$IW\\demo.tlb" ] || fail "the type library is registered at \"$got\", expected $IW\\demo.tlb"
got=$(log_section com RegServers | sort)
want=$(printf '%s\n' "$IW\\comfails.dll" "$IW\\comprogram.exe" "$IW\\comserver.dll" "$IW\\demo.tlb" | sort)
[ "$got" = "$want" ] || fail "[RegServers] of the log: $(echo $got), expected $(echo $want)"

step "a system that has regsvr32.exe keeps its own"
install_project keep
cp "$TOOLS/comserver.dll" "$WORK/keep/Data/"
printf 'the package'"'"'s regsvr32\n' >"$WORK/keep/Presetup/regsvr32.exe"
script keep '[CopyFiles]
AppFiles=%InstallPath%
[AppFiles]
comserver.dll=comserver.dll,4'
package keep
run_install keep
expect_final FINISH "Installation complete"
expect_end
cmp -s "$SYSTEM/regsvr32.exe" "$WORK/regsvr32.exe" || fail "the system's regsvr32.exe was replaced"
marked "$TARGETS_WIN\\keep\\comserver.dll" || fail "comserver.dll did not register"

step "a server in use: written beside it, registered at the logon after the restart"
install_project busy
cp "$TOOLS/comserver.dll" "$WORK/busy/Data/"
script busy '[CopyFiles]
AppFiles=%InstallPath%
[AppFiles]
comserver.dll=comserver.dll,6'
package busy
B=$TARGETS/busy
BW="$TARGETS_WIN\\busy"
mkdir -p "$B"
printf 'old library\n' >"$B/comserver.dll"
hold_file "$BW\\comserver.dll"
run_install busy
reboot_later
release_file
[ "$(cat "$B/comserver.dll")" = "old library" ] || fail "the server in use was replaced at once"
marked "$BW\\comserver.dll" && fail "the server in use was registered before the restart"
got=$(wine reg query "$RUNONCE" 2>/dev/null </dev/null | tr -d '\r' | awk '$1 ~ /^Reg[0-9]+$/' |
  sed 's/^[ \t]*Reg[0-9]*[ \t]*REG_SZ[ \t]*//')
want="\"C:\\windows\\system32\\regsvr32.exe\" /s \"$BW\\comserver.dll\""
[ "$(printf '%s' "$got" | tr 'A-Z' 'a-z')" = "$(printf '%s' "$want" | tr 'A-Z' 'a-z')" ] ||
  fail "the RunOnce registration is \"$got\", expected $want"
log_section busy RegServers | grep -qxF "$BW\\comserver.dll" || fail "the registration at the restart is not logged"
step "  restart"
wine wineboot -r >/dev/null 2>&1 </dev/null || fail "wineboot -r failed"
cmp -s "$B/comserver.dll" "$TOOLS/comserver.dll" || fail "the restart did not put the new server in place"
marked "$BW\\comserver.dll" || fail "the server was not registered at the logon after the restart"

# --- Fonts -------------------------------------------------------------------------
step "a new font, one registered already, one whose file name is taken, one in use"
install_project fonts
F=$WORK/fonts
font "Brisk Test Sans" "$F/Data/BriskTS.ttf"
font "Brisk Test Registered" "$F/Data/BriskTR.ttf"
font "Brisk Test Unique" "$F/Data/BriskTU.ttf"
font "Brisk Test Busy" "$F/Data/BriskTB.ttf"
cp "$TOOLS/writemark.exe" "$F/Data/"
script fonts '[CopyFiles]
AppFiles=%InstallPath%
FontFiles=%Fonts%
[AppFiles]
writemark.exe=writemark.exe
[FontFiles]
BriskTS.ttf=BriskTS.ttf,8
BriskTR.ttf=BriskTR.ttf,8
BriskTU.ttf=BriskTU.ttf,8
BriskTB.ttf=BriskTB.ttf,8
[RunApp]
1=%InstallPath%\writemark.exe,"%InstallPath%\ran.txt"'
package fonts
# Registered already, under its name with " (TrueType)": an older file.
printf 'old registered font\n' >"$FONTS/BriskTR.ttf"
touch -d 2001-01-01 "$FONTS/BriskTR.ttf"
wine reg add "$FONTS_KEY" /v "Brisk Test Registered (TrueType)" /d BriskTR.ttf /f >/dev/null 2>&1 </dev/null
# Registered, its file in use.
printf 'old busy font\n' >"$FONTS/BriskTB.ttf"
touch -d 2001-01-01 "$FONTS/BriskTB.ttf"
wine reg add "$FONTS_KEY" /v "Brisk Test Busy (TrueType)" /d BriskTB.ttf /f >/dev/null 2>&1 </dev/null
# Not a font of the system's, under the name of one of ours.
printf 'somebody else'"'"'s file\n' >"$FONTS/BriskTU.ttf"
touch -d 2001-01-01 "$FONTS/BriskTU.ttf"
hold_file 'C:\windows\Fonts\BriskTB.ttf'
run_install fonts
reboot_later
release_file
[ -f "$TARGETS/fonts/ran.txt" ] || fail "the programs did not run after the fonts"

cmp -s "$FONTS/BriskTS.ttf" "$F/Data/BriskTS.ttf" || fail "the new font is not in the fonts folder"
[ "$(reg_value "$FONTS_KEY" "Brisk Test Sans (TrueType)")" = BriskTS.ttf ] ||
  fail "the fonts key has \"$(reg_value "$FONTS_KEY" "Brisk Test Sans (TrueType)")\" for the new font"
listed "Brisk Test Sans" || fail "the font enumeration does not list the new font"

cmp -s "$FONTS/BriskTR.ttf" "$F/Data/BriskTR.ttf" || fail "the registered font's file was not replaced"
[ "$(reg_value "$FONTS_KEY" "Brisk Test Registered (TrueType)")" = BriskTR.ttf ] || fail "the registered font's entry changed"

[ "$(cat "$FONTS/BriskTU.ttf")" = "somebody else's file" ] || fail "the unrelated file under the font's name was overwritten"
unique=$(reg_value "$FONTS_KEY" "Brisk Test Unique (TrueType)")
printf '%s' "$unique" | grep -qE '^Bris[0-9A-V]{4}\.ttf$' || fail "the font under a taken name is registered as \"$unique\""
cmp -s "$FONTS/$unique" "$F/Data/BriskTU.ttf" || fail "the font under a taken name is not in $unique"
listed "Brisk Test Unique" || fail "the font enumeration does not list the font under a new name"

[ "$(cat "$FONTS/BriskTB.ttf")" = "old busy font" ] || fail "the font in use was replaced at once"
wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations 2>/dev/null </dev/null |
  grep -qi 'Fonts\\BriskTB.ttf' || fail "no replacement at the restart of the font in use"

got=$(log_section fonts RegFonts | sort)
want=$(printf '%s\n' "Brisk Test Sans (TrueType)" "Brisk Test Unique (TrueType)")
[ "$got" = "$want" ] || fail "[RegFonts] of the log: $(echo $got), expected $(echo $want)"
got=$(tr -d '\r' <"$TARGETS/fonts/install.log" | awk '/^\[RegFonts\]/ { on = 1; next } /^\[/ { on = 0 } on && /^Brisk Test Sans/')
[ "$got" = "Brisk Test Sans (TrueType)=C:\\windows\\Fonts\\BriskTS.ttf" ] || fail "the log's font record is \"$got\""
got=$(log_section fonts CopyFiles | grep -iF 'C:\windows\Fonts\' | sort)
want=$(printf '%s\n' 'C:\windows\Fonts\BriskTS.ttf' "C:\\windows\\Fonts\\$unique" | sort)
[ "$(printf '%s' "$got" | tr 'A-Z' 'a-z')" = "$(printf '%s' "$want" | tr 'A-Z' 'a-z')" ] ||
  fail "[CopyFiles] of the log names these fonts: $(echo $got), expected $(echo $want)"
step "  restart"
wine wineboot -r >/dev/null 2>&1 </dev/null || fail "wineboot -r failed"
cmp -s "$FONTS/BriskTB.ttf" "$F/Data/BriskTB.ttf" || fail "the restart did not put the font in use in place"

step "a font the package cannot name fails the install before the programs"
install_project badfont
printf 'not a font\n' >"$WORK/badfont/Data/Broken.ttf"
script badfont '[CopyFiles]
FontFiles=%Fonts%
[FontFiles]
Broken.ttf=Broken.ttf,8
[RunApp]
1=C:\Brisk Com\fonts\writemark.exe,"C:\Brisk Com\badfont\ran.txt"'
package badfont
fails_with badfont "Can not register font \"C:\\windows\\Fonts\\Broken.ttf\"!"
[ -e "$FONTS/Broken.ttf" ] && fail "the broken font was left in the fonts folder"

step "a font from disk has no registry name: it is copied and logged, not registered, and the install completes"
install_project extfont
printf 'a' >"$WORK/extfont/Data/a.txt"
mkdir -p "$TARGETS/source"
font "Brisk Test External" "$TARGETS/source/BriskTE.ttf"
script extfont '[CopyFiles]
FontFiles=%Fonts%
[FontFiles]
C:\Brisk Com\source\BriskTE.ttf=BriskTE.ttf,72'
package extfont
run_install extfont
expect_final FINISH "Installation complete"
expect_end
cmp -s "$FONTS/BriskTE.ttf" "$TARGETS/source/BriskTE.ttf" || fail "the font from disk is not in the fonts folder"
log_section extfont CopyFiles | grep -qixF 'C:\windows\Fonts\BriskTE.ttf' ||
  fail "the font from disk is not logged: $(log_section extfont CopyFiles)"
[ -z "$(log_section extfont RegFonts)" ] || fail "an unnamed font was logged as registered"
wine reg query "$FONTS_KEY" /ve 2>/dev/null </dev/null | grep -qi BriskTE && fail "the font went into the fonts key's default value"
step "passed"
