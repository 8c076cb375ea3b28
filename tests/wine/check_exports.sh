#!/usr/bin/env bash
# Fails unless the DLL exports exactly the given names (undecorated).
#   check_exports.sh DLL NAME...
set -u
dll=$1; shift
[ -f "$dll" ] || { echo "check_exports: $dll not found" >&2; exit 1; }
actual=$(i686-w64-mingw32-objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' \
         | sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort | tr '\n' ' ')
expected=$(printf '%s\n' "$@" | sort | tr '\n' ' ')
if [ "$actual" != "$expected" ]; then
  echo "check_exports: $dll exports [$actual], expected [$expected]" >&2
  exit 1
fi
echo "$dll exports exactly: $expected"
