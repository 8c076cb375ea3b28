#!/usr/bin/env bash
# Saves the whole screen of a build folder's Wine session as a PNG:
#   screenshot.sh BUILD_DIR out.png
set -u

if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR out.png" >&2
  exit 2
fi
ENV_FILE=$1/wine-env.sh
OUT=$2
if [ ! -f "$ENV_FILE" ]; then
  echo "screenshot: no Wine session in $1 (run: scripts/wine-session.sh start $1)" >&2
  exit 2
fi
# shellcheck source=/dev/null
. "$ENV_FILE"
mkdir -p "$(dirname "$OUT")" || exit 1
if ! timeout 30 import -display "$DISPLAY" -window root "$OUT" </dev/null; then
  echo "screenshot: import failed for display $DISPLAY" >&2
  exit 1
fi
echo "screenshot: $OUT"
