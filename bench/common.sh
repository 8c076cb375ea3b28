# Shared by the benchmark scripts (sourced, not run).

# The repository: the folder above bench/.
bench_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# The path made absolute: the scripts change folder, a relative program path
# given on the command line would then name nothing.
absolute() {
  case $1 in
    /*) printf '%s\n' "$1" ;;
    *) printf '%s/%s\n' "$PWD" "$1" ;;
  esac
}

# The package tool from the first argument, absolute and checked.
bench_brikpack() {
  local path
  path=$(absolute "${1:?usage: $0 BRIKPACK [WORKDIR] [RUNS]}")
  [ -x "$path" ] || { echo "$0: $1 is not a program (build it first: make build)" >&2; exit 1; }
  printf '%s\n' "$path"
}

# Writes the synthetic corpus into DIR: about MB megabytes, a quarter each of
# program binaries, text, random bytes, and zeros with patterns. Four big
# files: it times the codecs, not the per-file work of an install.
make_corpus() {
  local dir=$1 mb=$2 quarter
  quarter=$((mb * 1024 * 1024 / 4))
  mkdir -p "$dir"
  find /usr/lib /usr/bin -type f -size +100k 2>/dev/null | sort | xargs cat 2>/dev/null \
    | head -c "$quarter" > "$dir/binaries.bin" || true
  seq 1 100000000 | head -c "$quarter" > "$dir/text.txt"
  head -c "$quarter" /dev/urandom > "$dir/random.bin"
  { head -c $((quarter / 2)) /dev/zero; yes 'the quick brown fox 0123456789' | head -c $((quarter / 2)); } \
    > "$dir/patterns.bin"
}

# Sets `corpus` to the folder of files to time: the application-like tree
# that shared/bench/make-corpus.sh builds beside the repository (about
# 200 MB in thousands of files, as an install holds), built once and kept in
# CACHE; without that script, the synthetic corpus written below WORK.
# `corpus_kind` says which, for the report. BRIK_BENCH_CORPUS_SCRIPT names
# the script where the repository has no shared/ beside it (a worktree).
bench_corpus() {
  local cache=$1 work=$2 script stamp
  script=${BRIK_BENCH_CORPUS_SCRIPT:-"$bench_repo/../shared/bench/make-corpus.sh"}
  corpus="$cache/corpus"
  corpus_kind="application tree"
  if [ -f "$script" ]; then
    stamp=$(sha256sum < "$script" | cut -c1-16)
    if [ -d "$corpus" ] && [ "$(cat "$cache/corpus.stamp" 2>/dev/null)" = "$stamp" ]; then return 0; fi
    rm -rf "$corpus" "$corpus.manifest" "$cache/corpus.stamp" "$cache"/*.cab
    mkdir -p "$cache"
    echo "building the benchmark corpus in $corpus (once; later runs reuse it)" >&2
    if bash "$script" "$corpus" >&2; then
      echo "$stamp" > "$cache/corpus.stamp"
      return 0
    fi
    rm -rf "$corpus" "$corpus.manifest"
    echo "note: $script failed (see above)" >&2
  else
    echo "note: $script not found" >&2
  fi
  echo "note: timing the synthetic corpus instead: four files, ${BRIK_BENCH_MB:-200} MB in all," \
       "which leaves out the per-file cost that dominates a real install" >&2
  corpus="$work/synthetic"
  corpus_kind="synthetic, 4 files"
  make_corpus "$corpus" "${BRIK_BENCH_MB:-200}"
}

# One line on the corpus: files, bytes and, for the application tree, the
# manifest's digest to compare between machines or days.
describe_corpus() {
  local files bytes digest=""
  files=$(find "$corpus" -type f | wc -l)
  bytes=$(find "$corpus" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}')
  [ -f "$corpus.manifest" ] && digest=", manifest sha256 $(sha256sum < "$corpus.manifest" | cut -c1-16)"
  printf 'corpus (%s): %d files, %.1f MB%s\n' "$corpus_kind" "$files" "$(awk -v b="$bytes" 'BEGIN {print b / 1048576}')" "$digest"
}

# The corpus's files as relative paths, NUL-separated, in a stable order.
corpus_files() { (cd "$corpus" && find . -type f -printf '%P\0' | sort -z); }

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
# The wall time of a command in seconds; a failing command stops the benchmark.
seconds() {
  local s e
  s=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || { echo "benchmark: failed: $*" >&2; return 1; }
  e=$(date +%s.%N)
  awk -v s="$s" -v e="$e" 'BEGIN {print e - s}'
}
