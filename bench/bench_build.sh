#!/usr/bin/env bash
# Times `brikpack build` against `gcab -c -z` on the benchmark corpus
# (common.sh: the application-like tree of thousands of files when shared/
# is beside the repository; it is the project's Data folder), in alternating
# runs, and prints the ratios of the medians: time (above 1: brikpack is
# faster) and size (below 1: brikpack's package is smaller than gcab's
# cabinet). Both use MSZIP; brikpack also reads every program's version and
# every font's name for [FileInfo], as a real build does.
#   bench_build.sh BRIKPACK [WORKDIR] [RUNS]
# The corpus is kept in $BRIK_BENCH_CACHE (make bench: build/bench-corpus).
set -eu
. "$(dirname "$0")/common.sh"
brikpack=$(bench_brikpack "${1:-}")
work=$(absolute "${2:-/tmp/brik-bench-build}")
runs=${3:-5}
cache=$(absolute "${BRIK_BENCH_CACHE:-$bench_repo/build/bench-corpus}")
command -v gcab >/dev/null || { echo "bench_build: gcab is not installed (scripts/bootstrap.sh installs it)" >&2; exit 1; }
rm -rf "$work"
mkdir -p "$work/project/Presetup" "$cache"
bench_corpus "$cache" "$work"
describe_corpus
cd "$work"
# The corpus is the Data folder as it is, through a link: the builder follows
# the project's own Data folder, and nothing is copied.
ln -s "$corpus" project/Data
printf '[Config]\r\nLanguages=Enu\r\n' > project/Presetup/Brik.ini
printf '[Strings]\r\nLanguageName=English\r\n' > project/Presetup/Enu.lng
# The smallest stub the builder takes: an MZ header pointing at "PE\0\0".
{ printf 'MZ'; head -c 58 /dev/zero; printf '\100\000\000\000PE\000\000'; head -c 60 /dev/zero; } > stub.exe
mapfile -d '' files < <(corpus_files)

"$brikpack" build project -o package.exe --stub stub.exe >/dev/null || { echo "bench_build: brikpack build failed" >&2; exit 1; }
ours=() theirs=()
for _ in $(seq 1 "$runs"); do
  rm -f package.exe; ours+=("$(seconds "$brikpack" build project -o package.exe --stub stub.exe)")
  rm -f gcab.cab; theirs+=("$(cd "$corpus" && seconds gcab -c -z "$work/gcab.cab" "${files[@]}")")
done
"$brikpack" test package.exe >/dev/null || { echo "bench_build: the package does not test OK" >&2; exit 1; }
a=$(printf '%s\n' "${ours[@]}" | median)
b=$(printf '%s\n' "${theirs[@]}" | median)
ours_size=$(stat -c %s package.exe)
theirs_size=$(stat -c %s gcab.cab)
input=$(find "$corpus/" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}')
printf '%-10s %10s %12s %10s\n' tool "time (s)" "size (MB)" "MB/s"
printf '%-10s %10.3f %12.1f %10.1f\n' brikpack "$a" "$(awk -v s="$ours_size" 'BEGIN {print s / 1048576}')" "$(awk -v t="$a" -v n="$input" 'BEGIN {print n / 1048576 / t}')"
printf '%-10s %10.3f %12.1f %10.1f\n' "gcab -z" "$b" "$(awk -v s="$theirs_size" 'BEGIN {print s / 1048576}')" "$(awk -v t="$b" -v n="$input" 'BEGIN {print n / 1048576 / t}')"
printf 'time ratio (gcab / brikpack, median of %d): %.2f\n' "$runs" "$(awk -v a="$a" -v b="$b" 'BEGIN {print b / a}')"
printf 'size ratio (brikpack / gcab): %.4f\n' "$(awk -v a="$ours_size" -v b="$theirs_size" 'BEGIN {print a / b}')"
cd /
rm -rf "$work"
