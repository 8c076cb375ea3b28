# Shared by the benchmark scripts (sourced, not run).

# Writes the benchmark corpus into DIR: about MB megabytes, a quarter each of
# program binaries, text, random bytes, and zeros with patterns.
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

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
seconds() { local s e; s=$(date +%s.%N); "$@" >/dev/null 2>&1; e=$(date +%s.%N); awk -v s="$s" -v e="$e" 'BEGIN {print e - s}'; }
