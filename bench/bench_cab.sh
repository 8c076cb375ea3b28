#!/usr/bin/env bash
# Times `brikpack extract` against `cabextract` and `gcab -x` on cabinets of
# the benchmark corpus (common.sh: the application-like tree of thousands of
# files when shared/ is beside the repository), MSZIP-compressed by gcab and
# stored, in alternating runs, and prints the ratios of the medians (above 1:
# brikpack is faster).
#   bench_cab.sh BRIKPACK [WORKDIR] [RUNS]
# The corpus and its cabinets are kept in $BRIK_BENCH_CACHE (make bench:
# build/bench-corpus) and made again only when make-corpus.sh changes.
set -eu
. "$(dirname "$0")/common.sh"
brikpack=$(bench_brikpack "${1:-}")
work=$(absolute "${2:-/tmp/brik-bench-cab}")
runs=${3:-5}
cache=$(absolute "${BRIK_BENCH_CACHE:-$bench_repo/build/bench-corpus}")
for tool in cabextract gcab; do
  command -v $tool >/dev/null || { echo "bench_cab: $tool is not installed (scripts/bootstrap.sh installs it)" >&2; exit 1; }
done
rm -rf "$work"
mkdir -p "$work" "$cache"
bench_corpus "$cache" "$work"
describe_corpus
cd "$work"

# The cabinets of the cached corpus are cached with it.
where=$cache
[ "$corpus" = "$cache/corpus" ] || where=$work
for mode in mszip stored; do
  [ -f "$where/$mode.cab" ] && continue
  flag=""
  [ "$mode" = mszip ] && flag="-z"
  mapfile -d '' files < <(corpus_files)
  (cd "$corpus" && gcab -c $flag "$where/$mode.cab.part" "${files[@]}") && mv "$where/$mode.cab.part" "$where/$mode.cab"
done

printf '%-8s %10s %14s %16s %10s %10s %10s\n' method "size (MB)" "brikpack (s)" "cabextract (s)" "gcab -x (s)" "ratio cx" "ratio gcab"
for mode in mszip stored; do
  cab="$where/$mode.cab"
  "$brikpack" test "$cab" >/dev/null || { echo "bench_cab: brikpack cannot read $cab" >&2; exit 1; }
  ours=() cx=() gc=()
  for _ in $(seq 1 "$runs"); do
    rm -rf out; ours+=("$(seconds "$brikpack" extract "$cab" -d out)")
    rm -rf out; cx+=("$(seconds cabextract -q -d out "$cab")")
    rm -rf out; mkdir out; gc+=("$(seconds gcab -x -C out "$cab")")
  done
  rm -rf out
  a=$(printf '%s\n' "${ours[@]}" | median)
  b=$(printf '%s\n' "${cx[@]}" | median)
  c=$(printf '%s\n' "${gc[@]}" | median)
  size=$(du -m "$cab" | cut -f1)
  printf '%-8s %10s %14.3f %16.3f %10.3f %10.2f %10.2f\n' "$mode" "$size" "$a" "$b" "$c" \
    "$(awk -v a="$a" -v b="$b" 'BEGIN {print b / a}')" "$(awk -v a="$a" -v c="$c" 'BEGIN {print c / a}')"
done
printf 'ratios: time of the other tool / time of brikpack, median of %d runs each\n' "$runs"
# Copying the corpus's bytes, for scale.
s=$(seconds cp -r "$corpus" copy); rm -rf copy
printf 'copy of the corpus with cp -r: %.3f s\n' "$s"
cd /
rm -rf "$work"
