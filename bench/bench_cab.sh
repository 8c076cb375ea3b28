#!/usr/bin/env bash
# Times `brikpack extract` against `cabextract` on a cabinet of about 200 MB
# of varied data, MSZIP-compressed by gcab and stored, in alternating runs,
# and prints the ratio of the medians (above 1: brikpack is faster).
#   bench_cab.sh BRIKPACK [WORKDIR] [RUNS]
set -eu
. "$(dirname "$0")/common.sh"
brikpack=$1
work=${2:-/tmp/brik-bench-cab}
runs=${3:-5}
mb=${BRIK_BENCH_MB:-200}
rm -rf "$work"
make_corpus "$work/src" "$mb"
cd "$work"

printf '%-8s %12s %14s %14s %8s\n' method "size (MB)" "brikpack (s)" "cabextract (s)" ratio
for mode in mszip stored; do
  flag=""
  [ "$mode" = mszip ] && flag="-z"
  (cd src && gcab -c $flag "../$mode.cab" binaries.bin text.txt random.bin patterns.bin)
  "$brikpack" test "$mode.cab" >/dev/null || { echo "bench_cab: brikpack cannot read $mode.cab" >&2; exit 1; }
  ours=() theirs=()
  for _ in $(seq 1 "$runs"); do
    rm -rf out; ours+=("$(seconds "$brikpack" extract "$mode.cab" -d out)")
    rm -rf out; theirs+=("$(seconds cabextract -q -d out "$mode.cab")")
  done
  rm -rf out
  a=$(printf '%s\n' "${ours[@]}" | median)
  b=$(printf '%s\n' "${theirs[@]}" | median)
  size=$(du -m "$mode.cab" | cut -f1)
  printf '%-8s %12s %14.3f %14.3f %8.2f\n' "$mode" "$size" "$a" "$b" "$(awk -v a="$a" -v b="$b" 'BEGIN {print b / a}')"
done
# Copying the stored data's bytes, for scale.
s=$(seconds cp src/random.bin copy.bin); rm -f copy.bin
printf 'copy of one quarter (%d MB) with cp: %.3f s\n' $((mb / 4)) "$s"
rm -rf "$work"
