#!/usr/bin/env bash
# Runs one Windows program in the Wine session of a build folder:
#   wine-run.sh BUILD_DIR program.exe [args...]
# prints what it wrote to stdout and stderr and exits with its exit code.
# BRIK_WINE_TIMEOUT (seconds, default 300) bounds the run.
#
# The program writes into files, not pipes: Wine services it starts inherit
# its output and would hold a pipe open after it ends.
set -u

if [ $# -lt 2 ]; then
  echo "usage: $0 BUILD_DIR program.exe [args...]" >&2
  exit 2
fi
BUILD_DIR=$1
PROGRAM=$2
shift 2
TIMEOUT=${BRIK_WINE_TIMEOUT:-300}

ENV_FILE=$BUILD_DIR/wine-env.sh
if [ ! -f "$ENV_FILE" ]; then
  echo "wine-run: no Wine session in $BUILD_DIR (run: scripts/wine-session.sh start $BUILD_DIR)" >&2
  exit 2
fi
# shellcheck source=/dev/null
. "$ENV_FILE"
if [ "${BRIK_WINE_SESSION_READY:-0}" != 1 ]; then
  echo "wine-run: the Wine session in $BUILD_DIR did not finish starting (see $BUILD_DIR/wine-session)" >&2
  exit 2
fi
if [ ! -f "$PROGRAM" ]; then
  echo "wine-run: $PROGRAM does not exist (has the Windows build run?)" >&2
  exit 2
fi

OUT=$(mktemp "${TMPDIR:-/tmp}/wine-run.out.XXXXXX") || exit 2
ERR=$(mktemp "${TMPDIR:-/tmp}/wine-run.err.XXXXXX") || exit 2
trap 'rm -f "$OUT" "$ERR"' EXIT

# --kill-after: a program that ignores the polite signal still goes.
start=$(date +%s)
timeout --kill-after=5 "$TIMEOUT" wine "$PROGRAM" "$@" >"$OUT" 2>"$ERR" </dev/null
rc=$?
elapsed=$(($(date +%s) - start))

cat "$OUT"
cat "$ERR" >&2
if [ $rc -eq 124 ] || { [ $rc -eq 137 ] && [ $elapsed -ge "$TIMEOUT" ]; }; then
  echo "wine-run: $(basename "$PROGRAM") did not end within $TIMEOUT s and was killed" >&2
  exit 124
fi
exit $rc
