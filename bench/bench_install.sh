#!/usr/bin/env bash
# Times a whole install of the benchmark corpus (common.sh: the application-
# like tree of thousands of files when shared/ is beside the repository)
# under Wine, without dialogs, against Wine's own extrac32 extracting the
# same cabinet into the same prefix, in alternating runs, and prints the
# medians and their ratio (install / extrac32; the bar is 0.8 or less).
#   bench_install.sh BUILD_DIR [RUNS]
# BUILD_DIR holds brikpack (src/builder) and the Windows build (win32). The
# corpus is kept in $BRIK_BENCH_CACHE (make bench: build/bench-corpus).
set -eu
. "$(dirname "$0")/common.sh"
build=$(absolute "${1:?usage: $0 BUILD_DIR [RUNS]}")
runs=${2:-5}
brikpack=$(bench_brikpack "$build/src/builder/brikpack")
setup=$build/win32/src/launcher/setup.exe
[ -f "$setup" ] || { echo "bench_install: $setup is missing (make build)" >&2; exit 1; }
cache=$(absolute "${BRIK_BENCH_CACHE:-$bench_repo/build/bench-corpus}")
work=$build/bench-install
rm -rf "$work"
mkdir -p "$work" "$cache"
bench_corpus "$cache" "$work"
describe_corpus

# The project: every file of the corpus into one folder, nothing asked.
project=$work/project
mkdir -p "$project/Presetup"
cp -al "$corpus" "$project/Data" 2>/dev/null || cp -a "$corpus" "$project/Data"
printf '%s\r\n' '[Config]' 'InsFiles=App' '[Display]' 'ShowFinalDialog=0' '[Variables]' 'ProgramName=Bench' \
  'InstallPath=C:\bench\install' >"$project/Presetup/Brik.ini"
printf '%s\r\n' '[CopyFiles]' 'All=%InstallPath%' '[All]' '*.*=*.*' >"$project/Presetup/App.ins"
cp "$bench_repo/resources/Enu.lng" "$project/Presetup/Enu.lng"
"$brikpack" build "$project" -o "$work/bench.exe" --stub "$setup" >/dev/null
# The package's cabinet, as a file of its own for extrac32: it starts at the
# first "MSCF" after the engine and its header says how long it is.
offset=$(grep -obUaP 'MSCF\x00\x00\x00\x00' "$work/bench.exe" | tail -n 1 | cut -d: -f1)
length=$(od -An -tu4 -j $((offset + 8)) -N4 "$work/bench.exe" | tr -d ' ')
tail -c +$((offset + 1)) "$work/bench.exe" | head -c "$length" >"$work/bench.cab"
printf 'package %s bytes, cabinet %s bytes\n' "$(stat -c %s "$work/bench.exe")" "$length"

"$bench_repo/scripts/wine-session.sh" start "$work" >/dev/null
trap '"$bench_repo/scripts/wine-session.sh" stop "$work" >/dev/null' EXIT
# shellcheck source=/dev/null
. "$work/wine-env.sh"
drive_c=$WINEPREFIX/drive_c
cab_win="Z:${work//\//\\}\\bench.cab"

# Prints the install's wall time and, after it, the time from the moment
# the install folder appears (the copy phase is next) to the end.
install_once() {
  local s c e
  rm -rf "$drive_c/bench/install"
  s=$(date +%s.%N)
  wine "$work/bench.exe" >/dev/null 2>&1 &
  local pid=$!
  c=
  while kill -0 "$pid" 2>/dev/null; do
    [ -d "$drive_c/bench/install" ] && { c=$(date +%s.%N); break; }
    sleep 0.01
  done
  wait "$pid" || { echo "bench_install: the install failed" >&2; return 1; }
  e=$(date +%s.%N)
  [ -n "$c" ] || { echo "bench_install: the install folder never appeared" >&2; return 1; }
  [ "$(find "$drive_c/bench/install" -type f | wc -l)" = "$(find "$corpus" -type f | wc -l)" ] ||
    { echo "bench_install: the install did not write every file" >&2; return 1; }
  awk -v s="$s" -v c="$c" -v e="$e" 'BEGIN {print e - s, e - c}'
}
extrac32_once() {
  rm -rf "$drive_c/bench/extrac32"
  mkdir -p "$drive_c/bench/extrac32"
  seconds wine extrac32 /Y /E /L 'C:\bench\extrac32' "$cab_win"
}

# One of each first, unmeasured: the prefix's caches warm up.
install_once >/dev/null
extrac32_once >/dev/null
ours=()
copies=()
theirs=()
for _ in $(seq 1 "$runs"); do
  read -r whole copy < <(install_once)
  ours+=("$whole")
  copies+=("$copy")
  theirs+=("$(extrac32_once)")
done
a=$(printf '%s\n' "${ours[@]}" | median)
c=$(printf '%s\n' "${copies[@]}" | median)
b=$(printf '%s\n' "${theirs[@]}" | median)
printf 'install (s) %.2f   extrac32 (s) %.2f   ratio install/extrac32 %.2f (bar: 0.80), median of %d runs each\n' \
  "$a" "$b" "$(awk -v a="$a" -v b="$b" 'BEGIN {print a / b}')" "$runs"
# Before its copy phase the install shows its two status messages for at
# least 750 ms each, as its users are promised, and pauses after the setup
# files; extrac32 has nothing of the kind to do. The copy phase alone, from
# the install folder's appearance to the end of the process:
printf 'copy phase to the end (s) %.2f   ratio to extrac32 %.2f   before it (s) %.2f\n' \
  "$c" "$(awk -v c="$c" -v b="$b" 'BEGIN {print c / b}')" "$(awk -v a="$a" -v c="$c" 'BEGIN {print a - c}')"
