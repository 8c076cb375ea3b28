#!/usr/bin/env bash
# Prints the state of a Wine prefix as an uninstall must leave it: every
# entry of drive_c (type, path, and the size of a file) but the temporary
# folders, then the registry's software keys (HKLM and HKCU) less Wine's own
# bookkeeping (its settings, and the network cards it lists when a program
# first asks after a restart). Two states taken before an install and after
# its uninstall are equal when nothing of it remains.
# Run with the Wine session's environment (WINEPREFIX and the rest) set.
#   prefix-state.sh SCRATCH-FILE
set -u
[ $# -eq 1 ] || { echo "usage: $0 SCRATCH-FILE" >&2; exit 2; }
[ -d "${WINEPREFIX:-}/drive_c" ] || { echo "prefix-state: no Wine prefix in WINEPREFIX" >&2; exit 2; }
scratch=$1

(cd "$WINEPREFIX/drive_c" && find . \( -ipath './users/*/temp' -o -ipath './windows/temp' \) -prune -o \
  \( -type f -printf 'f %p %s\n' -o -printf '%y %p\n' \) | LC_ALL=C sort)
for root in 'HKLM\Software' 'HKCU\Software'; do
  rm -f "$scratch"
  wine reg export "$root" "$(winepath -w "$scratch" 2>/dev/null </dev/null)" /y >/dev/null 2>&1 </dev/null ||
    { echo "prefix-state: cannot export $root" >&2; exit 1; }
  iconv -f UTF-16LE -t UTF-8 "$scratch" | tr -d '\r' |
    awk '/^\[/ { skip = ($0 ~ /^\[HKEY_[A-Z_]+\\Software\\Wine(\\|\])/ || $0 ~ /\\NetworkCards(\\|\])/) } !skip'
done
rm -f "$scratch"
