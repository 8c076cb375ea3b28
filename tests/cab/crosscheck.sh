#!/usr/bin/env bash
# Builds cabinets with gcab (stored and MSZIP) from files of the sizes where
# block and frame boundaries fall, extracts them with brikpack and with
# cabextract, and compares every file. The same cabinet behind a foreign
# program image must extract the same way (a setup package).
#   crosscheck.sh BRIKPACK WORKDIR
set -eu
brikpack=$1
work=$2
for tool in gcab cabextract; do
  command -v "$tool" >/dev/null || { echo "crosscheck: $tool is not installed" >&2; exit 1; }
done
rm -rf "$work"
mkdir -p "$work/src/sub/deeper"
cd "$work/src"

# Sizes around the 32 KB block size, empty and one-byte files, and a few MB
# of mixed data: text (compressible), zeros (long matches) and random bytes.
for n in 0 1 2 32767 32768 32769 65536 98305; do
  head -c "$n" /dev/urandom > "rand_$n.bin"
  seq 1 200000 | head -c "$n" > "text_$n.txt"
done
{ seq 1 300000; head -c 1500000 /dev/zero; head -c 1500000 /dev/urandom; seq 5 7 900000; } > sub/mixed.bin
for i in $(seq 1 60); do echo "small file $i" > "sub/deeper/f$i.txt"; done
cd ..

status=0
for mode in stored mszip; do
  flag=""
  [ "$mode" = mszip ] && flag="-z"
  cab="$work/$mode.cab"
  (cd src && find . -type f | sed 's|^\./||' | sort | xargs gcab -c $flag "$cab")
  rm -rf "ref_$mode" "out_$mode" "pkg_$mode"
  cabextract -q -d "ref_$mode" "$cab"
  "$brikpack" extract "$cab" -d "out_$mode" >/dev/null
  if ! diff -r "ref_$mode" "out_$mode"; then
    echo "crosscheck: $mode: brikpack and cabextract differ" >&2
    status=1
  fi
  # A program image in front: the first signature is the cabinet's.
  head -c 70000 /dev/urandom | sed 's/MSCF/MSCG/g' > "pkg_$mode.exe"
  cat "$cab" >> "pkg_$mode.exe"
  "$brikpack" extract "pkg_$mode.exe" -d "pkg_$mode" >/dev/null
  if ! diff -r "ref_$mode" "pkg_$mode"; then
    echo "crosscheck: $mode: package extraction differs" >&2
    status=1
  fi
  "$brikpack" test "$cab"
done
[ $status -eq 0 ] && rm -rf "$work"
exit $status
