#!/usr/bin/env bash
# End-to-end tests of links in the target tree under Wine, which shows a Unix
# symbolic link inside its drive as a reparse point, as Windows shows a
# junction or a symbolic link. A folder below the install folder, or a file
# where the package puts one, is a link to a folder outside: the install
# writes, replaces and deletes nothing through it and fails naming the path;
# links put in place of what an install made are never followed by its
# uninstall, which lists them as kept. The files outside are hashed before
# and after.
#   links_test.sh BUILD_DIR WIN32_DIR BRIKPACK
set -u

WORK_NAME=wine-links
# shellcheck source=tests/wine/engine_lib.sh
. "$(dirname "$0")/engine_lib.sh" "$@"
UNINST=$WIN32_DIR/src/uninstall/UnInst.exe
need_files "$UNINST" "$TOOLS/writemark.exe" "$SHIPPED_ENU"

TARGETS="$WINEPREFIX/drive_c/Brisk Links"
TARGETS_WIN='C:\Brisk Links'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
CAPTION="Remove Brisk Sample"
# The user's folders outside the prefix's drive, where the links lead.
OUTSIDE=$WORK/outside

forget() {
  # rm does not follow the links: what they lead to stays.
  rm -rf "$TARGETS"
  wine reg delete "$UNINSTALL_KEY\\Brisk Sample" /f >/dev/null 2>&1 </dev/null
}
forget
trap 'forget; cleanup' EXIT

# outside_state: every entry below OUTSIDE, each file with its hash and time.
outside_state() {
  (cd "$OUTSIDE" && find . -mindepth 1 | sort | while read -r f; do
    if [ -f "$f" ]; then
      printf '%s %s %s\n' "$f" "$(sha256sum <"$f" | cut -c1-64)" "$(stat -c %Y "$f")"
    else
      printf '%s\n' "$f"
    fi
  done)
}

# user_files NAME: OUTSIDE/NAME, holding the user's b.txt and mine.txt,
# older than anything the packages bring.
user_files() {
  mkdir -p "$OUTSIDE/$1" || fail "cannot make $OUTSIDE/$1"
  printf "the user's b\n" >"$OUTSIDE/$1/b.txt"
  printf "the user's own\n" >"$OUTSIDE/$1/mine.txt"
  touch -d '2001-02-03 04:05:06' "$OUTSIDE/$1/b.txt" "$OUTSIDE/$1/mine.txt"
}

# link_project NAME LINK TO FILE SCRIPT: a package installing into
# C:\Brisk Links\NAME, where LINK (below that folder) is a link to TO (below
# OUTSIDE/NAME; empty: the folder itself). Data holds a.txt and FILE (a
# path below it, empty for none); SCRIPT follows the copy of the test
# program, which RunApp starts last to leave ran.txt.
link_project() {
  local name=$1 link=$2 to=$3 file=$4
  install_project "$name"
  cp "$TOOLS/writemark.exe" "$WORK/$name/Data/writemark.exe"
  printf 'new a\n' >"$WORK/$name/Data/a.txt"
  if [ -n "$file" ]; then
    mkdir -p "$(dirname "$WORK/$name/Data/$file")"
    printf 'new %s\n' "$file" >"$WORK/$name/Data/$file"
  fi
  script "$name" "[CopyFiles]
Files=%InstallPath%
[Files]
writemark.exe=writemark.exe
a.txt=a.txt
$5
[RunApp]
1=%InstallPath%\\writemark.exe,\"%InstallPath%\\ran.txt\""
  package "$name"
  user_files "$name"
  mkdir -p "$(dirname "$TARGETS/$name/$link")"
  ln -s "$OUTSIDE/$name${to:+/$to}" "$TARGETS/$name/$link" || fail "cannot make the link $link"
}

# refused NAME LINK BOX: the install of NAME fails with BOX and changes
# nothing outside; the link is still there.
refused() {
  local before
  before=$(outside_state)
  fails_with "$1" "$3"
  [ "$(outside_state)" = "$before" ] ||
    fail "$1: the files outside changed: $(diff <(printf '%s\n' "$before") <(outside_state) | tr '\n' ' ')"
  [ -L "$TARGETS/$1/$2" ] || fail "$1: the link $2 is gone"
}

# wait_removed PATH: the path goes within 30 s (the uninstaller's copy
# deletes the original once that has ended).
wait_removed() {
  for _ in $(seq 1 150); do
    [ -e "$1" ] || return 0
    sleep 0.2
  done
  fail "$1 is still there"
}

# link_refused PATH LINK: the engine's words for a path refused for a link.
link_refused() {
  printf '"%s" is not changed: "%s" is a link (symbolic link or junction) to another place, and nothing is written or deleted through one.' "$1" "$2"
}

# --- The install ------------------------------------------------------------------
step "a linked folder below the install folder: no file replaced, created or given a folder through it"
# name, the package's file below the link (an older one of that name is
# there), the file the box names
for c in "older sub/b.txt" "new sub/c.txt" "deeper sub/new/d.txt"; do
  # shellcheck disable=SC2086
  set -- $c
  link_project "$1" sub "" "$2" "${2//\//\\}=${2//\//\\}"
  refused "$1" sub "Can't extract file \"$TARGETS_WIN\\$1\\${2//\//\\}\"."
  [ -e "$OUTSIDE/$1/c.txt" ] || [ -e "$OUTSIDE/$1/new" ] && fail "$1: a file or folder was made outside"
done

step "a linked file where the package puts one: not written through"
link_project file b.txt mine.txt b.txt "b.txt=b.txt"
refused file b.txt "Can't extract file \"$TARGETS_WIN\\file\\b.txt\"."

step "the other steps: an INI file, a file to delete and a shortcut's folder through a link"
link_project ini sub "" "" "[AddIni]
Ini=%InstallPath%\\sub\\b.txt,Main
[Ini]
A=1"
refused ini sub "$(link_refused "$TARGETS_WIN\\ini\\sub\\b.txt" "$TARGETS_WIN\\ini\\sub")"
link_project delete sub "" "" "[DelFiles]
Old=%InstallPath%\\sub
[Old]
b.txt="
refused delete sub "$(link_refused "$TARGETS_WIN\\delete\\sub\\b.txt" "$TARGETS_WIN\\delete\\sub")"
link_project shortcut sub "" "" "[Shortcuts]
Menu=%InstallPath%\\sub\\Group
[Menu]
App=%InstallPath%\\writemark.exe"
refused shortcut sub "$(link_refused "$TARGETS_WIN\\shortcut\\sub\\Group\\App.lnk" "$TARGETS_WIN\\shortcut\\sub")"
[ -e "$OUTSIDE/shortcut/Group" ] && fail "the shortcut's folder was made outside"
link_project log install.log mine.txt "" ""
refused log install.log "$(link_refused "$TARGETS_WIN\\log\\install.log" "$TARGETS_WIN\\log\\install.log")"

# --- The uninstall ----------------------------------------------------------------
step "links put in place of what the install made: the uninstall deletes nothing through them and lists them"
install_project undo
P=$WORK/undo
I=$TARGETS/undo
IW="$TARGETS_WIN\\undo"
# brikpack brings the uninstaller: the project has none of its own.
rm "$P/Presetup/UnInst.exe"
printf '%s\r\n' '[Uninstall.Strings]' '1=Remove %ProgramName%' '2=Remove %ProgramName% and everything it installed?' \
  >>"$P/Presetup/Enu.lng"
mkdir -p "$P/Data/sub" "$P/Data/logs"
for f in a.txt sub/b.txt sub/mine.txt logs/l.txt; do printf 'installed %s\n' "$f" >"$P/Data/$f"; done
script undo '[CopyFiles]
Files=%InstallPath%
[Files]
a.txt=a.txt
sub\b.txt=sub\b.txt
sub\mine.txt=sub\mine.txt
logs\l.txt=logs\l.txt'
package undo
run_install undo
expect_final FINISH "Installation complete"
expect_end
# The folder sub now leads to the user's files of the same names, logs to an
# empty folder of the user's (a folder the restart would take), a.txt to a
# file of the user's.
user_files undo
mkdir -p "$OUTSIDE/undo/empty"
rm -rf "$I/sub" "$I/logs" "$I/a.txt"
{ ln -s "$OUTSIDE/undo" "$I/sub" && ln -s "$OUTSIDE/undo/empty" "$I/logs" && ln -s "$OUTSIDE/undo/mine.txt" "$I/a.txt"; } ||
  fail "cannot make the links"
before=$(outside_state)
start_uninstall "$(uninstall_command)"
window=$(uninstall_window "Remove Brisk Sample and everything it installed?" 6) || exit 1
drive click "$window" 6 || fail "cannot answer Yes"
window=$(uninstall_window "Brisk Sample was removed, apart from the items listed below." 1 links_uninstall.png) || exit 1
# The order of the lines is the uninstall's; what they say is the test's.
got=$(drive get-text "$window" 104 | tr -d '\r' | sed '/^$/d' | sort)
want=$(printf '%s (kept: it holds what the install did not make)\n' "$IW" "$IW\\a.txt" "$IW\\logs" "$IW\\sub" \
  "$IW\\sub\\b.txt" "$IW\\sub\\mine.txt" | sort)
[ "$got" = "$want" ] || fail "the uninstaller lists \"$got\", expected \"$want\""
drive click "$window" 1 || fail "cannot click OK"
drive wait-gone "$window" --timeout 30 || fail "the uninstaller's window did not close"
wait_removed "$I/UnInst.exe"
[ "$(outside_state)" = "$before" ] ||
  fail "the uninstall changed files outside: $(diff <(printf '%s\n' "$before") <(outside_state) | tr '\n' ' ')"
for link in sub logs a.txt; do [ -L "$I/$link" ] || fail "the link $link is gone"; done
# Nothing waits for the restart: it takes the uninstaller's copy and nothing
# of the user's.
wine wineboot -r >/dev/null 2>&1 </dev/null || fail "wineboot -r failed"
[ "$(outside_state)" = "$before" ] || fail "the restart changed files outside"
step "passed"
