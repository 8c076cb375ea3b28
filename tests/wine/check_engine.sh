#!/usr/bin/env bash
# Checks the shipped programs of the Windows build without running them:
#  - setup.exe, the decompressor included, leaves room for the cabinet,
#    whose signature must start within the first 262,128 bytes of a package;
#  - no program that carries the cabinet reader holds the cabinet
#    signature itself (it would be taken for the package's cabinet);
#  - none imports a function that Windows 95 or NT 4 lacks: a newer one
#    must be looked up at run time.
#   check_engine.sh SETUP_EXE UNPACK_DLL
set -u

if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  echo "usage: $0 SETUP_EXE UNPACK_DLL [all|size|contents]" >&2
  exit 2
fi
SETUP=$1
UNPACK=$2
# all (default), size (the size limit only) or contents (everything else)
MODE=${3:-all}
OBJDUMP=${OBJDUMP:-i686-w64-mingw32-objdump}
command -v "$OBJDUMP" >/dev/null || { echo "check_engine: $OBJDUMP not found" >&2; exit 2; }
for f in "$SETUP" "$UNPACK"; do
  [ -f "$f" ] || { echo "check_engine: $f is missing (has the Windows build run?)" >&2; exit 1; }
done

# The cabinet may start at offset 262,127 at the latest; the engine image
# comes before it.
MAX_ENGINE=262127
# Functions that Windows 95 or NT 4 do not export.
DENIED="
GetTickCount64
AddVectoredExceptionHandler
RemoveVectoredExceptionHandler
InitializeConditionVariable
SleepConditionVariableCS
SleepConditionVariableSRW
WakeConditionVariable
WakeAllConditionVariable
InitializeSRWLock
AcquireSRWLockExclusive
ReleaseSRWLockExclusive
AcquireSRWLockShared
ReleaseSRWLockShared
TryAcquireSRWLockExclusive
InitializeCriticalSectionEx
InitializeCriticalSectionAndSpinCount
TryEnterCriticalSection
GetModuleHandleExA
GetModuleHandleExW
SetThreadStackGuarantee
FlsAlloc
FlsGetValue
FlsSetValue
FlsFree
GetDiskFreeSpaceExA
GetDiskFreeSpaceExW
GetFileSizeEx
SetFilePointerEx
GetFileAttributesExA
IsDebuggerPresent
IsProcessorFeaturePresent
CreateWaitableTimerA
CreateWaitableTimerW
SetWaitableTimer
GetSystemTimePreciseAsFileTime
QueryFullProcessImageNameA
GetNativeSystemInfo
GlobalMemoryStatusEx
"

bad=0
size=$(stat -c %s "$SETUP")
if [ "$MODE" != contents ]; then
  if [ "$size" -gt $MAX_ENGINE ]; then
    echo "check_engine: $(basename "$SETUP") is $size bytes, more than $MAX_ENGINE: a package's cabinet would start too late" >&2
    bad=1
  else
    echo "check_engine: $(basename "$SETUP") is $size bytes (at most $MAX_ENGINE)"
  fi
  [ "$MODE" = size ] && exit $bad
fi

for f in "$SETUP" "$UNPACK"; do
  name=$(basename "$f")
  if LC_ALL=C grep -q -a -P 'MSCF\x00\x00\x00\x00' "$f"; then
    echo "check_engine: $name contains the cabinet signature" >&2
    bad=1
  fi
  if ! dump=$("$OBJDUMP" -p "$f" 2>&1); then
    echo "check_engine: $OBJDUMP cannot read $f: $dump" >&2
    bad=1
    continue
  fi
  # Import table lines: "<vma> <hint> <name>" under each "DLL Name:".
  imports=$(printf '%s\n' "$dump" | awk '
    /^[[:space:]]*DLL Name:/ { inside = 1; next }
    inside && /^[[:space:]]*$/ { inside = 0; next }
    inside && $2 ~ /^[0-9]+$/ && NF >= 3 { print $3 }' | tr -d '\r' | sort -u)
  if [ -z "$imports" ]; then
    echo "check_engine: no imported functions found in $name" >&2
    bad=1
    continue
  fi
  for fn in $imports; do
    if printf '%s\n' "$DENIED" | grep -qxF "$fn"; then
      echo "check_engine: $name imports $fn, which Windows 95 or NT 4 lacks (look it up at run time)" >&2
      bad=1
    fi
  done
  echo "check_engine: $name imports $(printf '%s\n' "$imports" | wc -l) functions"
done
[ $bad -eq 0 ] && echo "check_engine: passed"
exit $bad
