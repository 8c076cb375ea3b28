#!/usr/bin/env bash
# Checks the shipped programs of the Windows build without running them:
#  - setup.exe, the decompressor included, leaves room for the cabinet,
#    whose signature must start within the first 262,128 bytes of a package;
#  - no program that carries the cabinet reader holds the cabinet
#    signature itself (it would be taken for the package's cabinet);
#  - none imports a function that Windows 95 or NT 4 lacks: a newer one
#    must be looked up at run time.
# Two further checks run on their own:
#  - runtime: both import from the system DLLs of a bare Windows 95 / NT 4
#    only (no msvcrt.dll, which the first Windows 95 lacks) and have no TLS
#    directory (Windows before Vista sets static TLS up only for the
#    program itself, not for a library loaded later);
#  - code: their machine code runs on a 486: no cmov, fcomi/fucomi, long
#    nop (Pentium Pro and later), MMX or SSE instruction. The code's end comes from the link map beside each
#    file (FILE.map, symbol __shipped_code_end__): data follows it.
# The other shipped programs named in SHIPPED_EXTRA (blank-separated; the
# uninstaller) get every check but the size.
#   check_engine.sh SETUP_EXE UNPACK_DLL [all|size|contents|runtime|code] [MAX_BYTES]
set -u

if [ $# -lt 2 ] || [ $# -gt 4 ]; then
  echo "usage: $0 SETUP_EXE UNPACK_DLL [all|size|contents|runtime|code] [MAX_BYTES]" >&2
  exit 2
fi
SETUP=$1
UNPACK=$2
# all (default: size and contents), size (the size limit only), contents,
# runtime or code
MODE=${3:-all}
OBJDUMP=${OBJDUMP:-i686-w64-mingw32-objdump}
command -v "$OBJDUMP" >/dev/null || { echo "check_engine: $OBJDUMP not found" >&2; exit 2; }
# shellcheck disable=SC2206
PROGRAMS=("$SETUP" "$UNPACK" ${SHIPPED_EXTRA:-})
for f in "${PROGRAMS[@]}"; do
  [ -f "$f" ] || { echo "check_engine: $f is missing (has the Windows build run?)" >&2; exit 1; }
done

# The cabinet may start at offset 262,127 at the latest; the engine image
# comes before it. A tighter budget may be given.
MAX_ENGINE=${4:-262127}
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

if [ "$MODE" = runtime ]; then
  # Lower case; compared without regard to case.
  ALLOWED_DLLS="kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll comdlg32.dll"
  for f in "${PROGRAMS[@]}"; do
    name=$(basename "$f")
    if ! dump=$("$OBJDUMP" -p "$f" 2>&1); then
      echo "check_engine: $OBJDUMP cannot read $f: $dump" >&2
      bad=1
      continue
    fi
    dlls=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr -d '\r' | sort -u)
    [ -n "$dlls" ] || { echo "check_engine: $name imports no DLL at all?" >&2; bad=1; }
    for dll in $dlls; do
      lower=$(printf '%s' "$dll" | tr '[:upper:]' '[:lower:]')
      case " $ALLOWED_DLLS " in
        *" $lower "*) ;;
        *) echo "check_engine: $name imports $dll, which a bare Windows 95 or NT 4 may lack" >&2; bad=1 ;;
      esac
    done
    # The data directory line: "Entry 9 <address> <size> Thread Storage Directory [.tls]".
    tls=$(printf '%s\n' "$dump" | awk '/Thread Storage Directory/ { print $3 }')
    if [ -z "$tls" ]; then
      echo "check_engine: no data directory listing for $name" >&2
      bad=1
    elif [ "$((16#$tls))" -ne 0 ]; then
      echo "check_engine: $name has a TLS directory" >&2
      bad=1
    fi
    echo "check_engine: $name imports from ${dlls//$'\n'/ }"
  done
  [ $bad -eq 0 ] && echo "check_engine: passed"
  exit $bad
fi

if [ "$MODE" = code ]; then
  for f in "${PROGRAMS[@]}"; do
    name=$(basename "$f")
    end=$(sed -n 's/^[[:space:]]*\(0x[0-9a-fA-F]*\)[[:space:]]*__shipped_code_end__ = \..*/\1/p' "$f.map" 2>/dev/null)
    if [ -z "$end" ]; then
      echo "check_engine: no __shipped_code_end__ in $f.map (is $name a shipped program?)" >&2
      bad=1
      continue
    fi
    if ! code=$("$OBJDUMP" -d --no-show-raw-insn --stop-address="$end" "$f" 2>&1); then
      echo "check_engine: $OBJDUMP cannot disassemble $f: $code" >&2
      bad=1
      continue
    fi
    count=$(printf '%s\n' "$code" | grep -cE '^[[:space:]]*[0-9a-f]+:')
    # Instruction lines: "addr:<tab>mnemonic operands".
    later=$(printf '%s\n' "$code" | grep -E '^[[:space:]]*[0-9a-f]+:' |
      grep -E $'\t(cmov[a-z]*|fu?comip?|emms|nop[wl]|prefetch[a-z0-9]*|[lsm]fence|[ls]dmxcsr|movnti|clflush)([[:space:]]|$)|%x?mm[0-9]' || true)
    if [ "$count" -lt 100 ]; then
      echo "check_engine: only $count instructions disassembled in $name" >&2
      bad=1
    elif [ -n "$later" ]; then
      echo "check_engine: $name holds instructions a 486 cannot execute:" >&2
      printf '%s\n' "$later" | head -20 >&2
      bad=1
    else
      echo "check_engine: $name: $count instructions, all for the 486"
    fi
  done
  [ $bad -eq 0 ] && echo "check_engine: passed"
  exit $bad
fi

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

for f in "${PROGRAMS[@]}"; do
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
