#!/usr/bin/env bash
# Runs one fuzz target: replays the seeds, then tries RUNS new inputs. New
# corpus entries go to a scratch folder, never into the source tree.
set -eu
fuzzer=$1 seeds=$2 work=$3 runs=${4:-10000}
rm -rf "$work" && mkdir -p "$work"
exec "$fuzzer" -runs="$runs" -max_len=16384 -artifact_prefix="$work/" "$work" "$seeds"
