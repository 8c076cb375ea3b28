#!/usr/bin/env bash
# Fails when a program or library of the Windows build imports a DLL that a
# bare Windows 95 / NT 4 does not have (a mingw runtime DLL, for example),
# or when there is nothing to check.
#   check_imports.sh WIN32_BUILD_DIR
set -u

if [ $# -ne 1 ] || [ ! -d "$1" ]; then
  echo "usage: $0 WIN32_BUILD_DIR" >&2
  exit 2
fi
OBJDUMP=${OBJDUMP:-i686-w64-mingw32-objdump}
command -v "$OBJDUMP" >/dev/null || { echo "check_imports: $OBJDUMP not found" >&2; exit 2; }

# Lower case; compared without regard to case.
ALLOWED="
kernel32.dll
user32.dll
gdi32.dll
advapi32.dll
comctl32.dll
comdlg32.dll
shell32.dll
ole32.dll
oleaut32.dll
version.dll
msvcrt.dll
"

# CMake's compiler probes under CMakeFiles are not ours.
mapfile -d '' FILES < <(find "$1" -path '*/CMakeFiles' -prune -o \
  -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0 | sort -z)
if [ ${#FILES[@]} -eq 0 ]; then
  echo "check_imports: no .exe or .dll under $1 (has the Windows build run?)" >&2
  exit 1
fi

bad=0
for f in "${FILES[@]}"; do
  # Test data named like a library (a deliberately broken decompressor).
  [ "$(head -c 2 "$f")" = MZ ] || continue
  if ! dump=$("$OBJDUMP" -p "$f" 2>&1); then
    echo "check_imports: $OBJDUMP cannot read $f: $dump" >&2
    bad=1
    continue
  fi
  dlls=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr -d '\r' | sort -u)
  rel=${f#"$1"/}
  for dll in $dlls; do
    lower=$(printf '%s' "$dll" | tr '[:upper:]' '[:lower:]')
    if ! printf '%s\n' "$ALLOWED" | grep -qxF "$lower"; then
      echo "check_imports: $rel imports $dll, which is not a system DLL of the target Windows versions" >&2
      bad=1
    fi
  done
  echo "$rel: ${dlls//$'\n'/ }"
done
[ $bad -eq 0 ] && echo "check_imports: ${#FILES[@]} files import system DLLs only"
exit $bad
