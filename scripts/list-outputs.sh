#!/usr/bin/env bash
# Lists what the build produced: native tools and the 32-bit Windows programs.
set -eu
build=${1:-build}
echo "Native programs ($build):"
find "$build" -path "$build/win32" -prune -o -path "$build/asan" -prune -o -path '*/CMakeFiles' -prune -o \
     -type f -perm -u+x ! -name '*.so' ! -name '*.sh' -print | sort | sed 's/^/  /'
if [ -d "$build/win32" ]; then
  echo "Windows programs ($build/win32):"
  find "$build/win32" -path '*/CMakeFiles' -prune -o -type f \( -name '*.exe' -o -name '*.dll' \) -print \
       | sort | sed 's/^/  /'
fi
setup=$build/win32/src/launcher/setup.exe
if [ -f "$setup" ]; then
  # Every package carries the engine before its cabinet, which must start
  # within the first 262,128 bytes.
  size=$(stat -c %s "$setup")
  dll=$(stat -c %s "$build/win32/src/unpack/unpack.dll")
  echo "Engine: setup.exe $size bytes with unpack.dll $dll bytes inside; room left before the cabinet: $((262128 - size)) bytes"
fi
