#!/usr/bin/env bash
# Times `brikpack extract` against `cabextract` on a cabinet of about 200 MB
# of varied data, MSZIP-compressed by gcab and stored, in alternating runs,
# and prints the ratio of the medians (above 1: brikpack is faster).
#   bench_cab.sh BRIKPACK [WORKDIR] [RUNS]
set -eu
brikpack=$1
work=${2:-/tmp/brik-bench-cab}
runs=${3:-5}
mb=${BRIK_BENCH_MB:-200}
rm -rf "$work"
mkdir -p "$work/src"
cd "$work/src"

# A quarter each: program binaries, text, random bytes, zeros and patterns.
quarter=$((mb * 1024 * 1024 / 4))
find /usr/lib /usr/bin -type f -size +100k 2>/dev/null | sort | xargs cat 2>/dev/null | head -c "$quarter" > binaries.bin || true
seq 1 100000000 | head -c "$quarter" > text.txt
head -c "$quarter" /dev/urandom > random.bin
{ head -c $((quarter / 2)) /dev/zero; yes 'the quick brown fox 0123456789' | head -c $((quarter / 2)); } > patterns.bin
cd ..

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
seconds() { local s e; s=$(date +%s.%N); "$@" >/dev/null 2>&1; e=$(date +%s.%N); awk -v s="$s" -v e="$e" 'BEGIN {print e - s}'; }

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
