#!/usr/bin/env bash
# Starts or stops the Wine test session of one build folder:
#   wine-session.sh start BUILD_DIR
#   wine-session.sh stop BUILD_DIR
#
# A session is an Xvfb display of its own, a fresh 32-bit prefix in
# BUILD_DIR/wineprefix and a persistent wineserver, so that test steps do not
# "reboot" Wine between them. start writes BUILD_DIR/wine-env.sh, which the
# other scripts source. Both commands can be repeated; stop also cleans up
# after a start that failed half-way.
#
# Everything Wine prints goes to files under BUILD_DIR/wine-session: Wine's
# background services inherit their parent's output and would keep a pipe
# (ctest's, for example) open for ever.
set -u

usage() {
  echo "usage: $0 start|stop BUILD_DIR" >&2
  exit 2
}

[ $# -eq 2 ] || usage
ACTION=$1
mkdir -p "$2" || exit 1
BUILD_DIR=$(cd "$2" && pwd) || exit 1

ENV_FILE=$BUILD_DIR/wine-env.sh
SESSION_DIR=$BUILD_DIR/wine-session
PREFIX=$BUILD_DIR/wineprefix
SCRATCH=$SESSION_DIR/home

log() { printf 'wine-session: %s\n' "$*"; }
STARTING=0
fail() {
  printf 'wine-session: error: %s\n' "$*" >&2
  # A failed start leaves nothing running behind it.
  if [ "$STARTING" = 1 ]; then
    STARTING=0
    do_stop
  fi
  exit 1
}

now_ms() { date +%s%3N; }

# True while PID is a live process (zombies count as gone).
alive() {
  local state
  [ -n "$1" ] && [ -r "/proc/$1/stat" ] || return 1
  state=$(sed 's/^.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1)
  [ -n "$state" ] && [ "$state" != Z ] && [ "$state" != X ]
}

# True when PID is an Xvfb serving display NUM: a recorded pid may have been
# reused by now, and we must never kill someone else's process.
is_our_xvfb() {
  local pid=$1 num=$2
  alive "$pid" || return 1
  tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q "^Xvfb :$num "
}

# The environment every Wine command of the session runs with.
wine_env() {
  export WINEPREFIX=$PREFIX
  export WINEARCH=win32
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export HOME=$SCRATCH
  export XDG_CONFIG_HOME=$SCRATCH/.config
  export XDG_DATA_HOME=$SCRATCH/.local/share
  export XDG_CACHE_HOME=$SCRATCH/.cache
  export XDG_RUNTIME_DIR=$SCRATCH/.runtime
}

write_env_file() {
  local display=$1 xvfb_pid=$2 tmp=$ENV_FILE.tmp
  {
    echo "# Written by wine-session.sh; source it to reach the Wine test session."
    printf 'export DISPLAY=%q\n' ":$display"
    printf 'export BRIK_XVFB_DISPLAY=%q\n' "$display"
    printf 'export BRIK_XVFB_PID=%q\n' "$xvfb_pid"
    printf 'export WINEPREFIX=%q\n' "$WINEPREFIX"
    printf 'export WINEARCH=%q\n' "$WINEARCH"
    printf 'export WINEDEBUG=%q\n' "$WINEDEBUG"
    printf 'export WINEDLLOVERRIDES=%q\n' "$WINEDLLOVERRIDES"
    printf 'export HOME=%q\n' "$HOME"
    printf 'export XDG_CONFIG_HOME=%q\n' "$XDG_CONFIG_HOME"
    printf 'export XDG_DATA_HOME=%q\n' "$XDG_DATA_HOME"
    printf 'export XDG_CACHE_HOME=%q\n' "$XDG_CACHE_HOME"
    printf 'export XDG_RUNTIME_DIR=%q\n' "$XDG_RUNTIME_DIR"
  } >"$tmp" && mv -f "$tmp" "$ENV_FILE"
}

do_stop() {
  local display="" xvfb_pid=""
  if [ -f "$ENV_FILE" ]; then
    # Only the two values we need; the file may be from a half-done start.
    display=$(sed -n 's/^export BRIK_XVFB_DISPLAY=//p' "$ENV_FILE" | tail -n 1)
    xvfb_pid=$(sed -n 's/^export BRIK_XVFB_PID=//p' "$ENV_FILE" | tail -n 1)
  fi

  if [ -d "$PREFIX" ]; then
    wine_env
    mkdir -p "$SESSION_DIR"
    # -k kills every process of this prefix's server, then the server;
    # -w waits until it is gone.
    wineserver -k >>"$SESSION_DIR/stop.log" 2>&1 </dev/null
    timeout 30 wineserver -w >>"$SESSION_DIR/stop.log" 2>&1 </dev/null ||
      log "warning: the wineserver of $PREFIX did not end within 30 s"
  fi

  if [ -n "$display" ] && [ -n "$xvfb_pid" ]; then
    if is_our_xvfb "$xvfb_pid" "$display"; then
      kill "$xvfb_pid" 2>/dev/null
      for _ in $(seq 1 50); do
        alive "$xvfb_pid" || break
        sleep 0.1
      done
      if alive "$xvfb_pid"; then
        kill -9 "$xvfb_pid" 2>/dev/null
        sleep 0.2
      fi
    fi
    # Xvfb removes these itself unless it was killed hard or never got going.
    if ! is_our_xvfb "$xvfb_pid" "$display"; then
      if [ -f "/tmp/.X$display-lock" ]; then
        local owner
        owner=$(tr -d ' \n' <"/tmp/.X$display-lock" 2>/dev/null)
        if [ -z "$owner" ] || [ "$owner" = "$xvfb_pid" ] || ! alive "$owner"; then
          rm -f "/tmp/.X$display-lock" "/tmp/.X11-unix/X$display"
        fi
      fi
    fi
  fi
  rm -f "$ENV_FILE" "$ENV_FILE.tmp"
}

start_xvfb() {
  local num pid
  for num in $(seq 90 199); do
    [ -e "/tmp/.X$num-lock" ] && continue
    [ -e "/tmp/.X11-unix/X$num" ] && continue
    # setsid: the server must outlive the test step that starts it and must
    # not see signals meant for that step's process group.
    setsid Xvfb ":$num" -screen 0 1024x768x24 -nolisten tcp \
      >"$SESSION_DIR/xvfb-$num.log" 2>&1 </dev/null &
    pid=$!
    for _ in $(seq 1 100); do
      alive "$pid" || break
      if [ -S "/tmp/.X11-unix/X$num" ] && xdpyinfo -display ":$num" >/dev/null 2>&1; then
        XVFB_NUM=$num
        XVFB_PID=$pid
        return 0
      fi
      sleep 0.1
    done
    if alive "$pid"; then
      kill "$pid" 2>/dev/null
      fail "Xvfb :$num did not come up within 10 s (see $SESSION_DIR/xvfb-$num.log)"
    fi
    # Lost a race for this number with another server; try the next one.
    log "display :$num is taken, trying the next one"
  done
  fail "no free X display number between 90 and 199"
}

do_start() {
  local t0 t1 reg
  t0=$(now_ms)
  # A session left over from an earlier run would keep its old prefix.
  do_stop
  STARTING=1

  mkdir -p "$SESSION_DIR" || fail "cannot create $SESSION_DIR"
  rm -f "$SESSION_DIR"/*.log
  command -v Xvfb >/dev/null || fail "Xvfb is not installed (run scripts/bootstrap.sh)"
  command -v wine >/dev/null || fail "wine is not installed (run scripts/bootstrap.sh)"
  command -v xdpyinfo >/dev/null || fail "xdpyinfo is not installed (package x11-utils)"
  # Some virtual machines run 64-bit user code only: no 32-bit program, and
  # so no Windows program under Wine, can start there. The tests that need
  # one are then skipped with the reason, not failed: the environment file
  # says it to every script that sources it.
  local probe
  probe=$(timeout 60 wine --version 2>&1 </dev/null)
  if printf '%s' "$probe" | grep -q 'Exec format error'; then
    local reason="this machine cannot run 32-bit x86 programs (the kernel refuses them: Exec format error), so no Windows program can run under Wine here; the tests that need Wine are skipped"
    STARTING=0
    printf 'echo %q >&2\nexit 77\n' "wine-unavailable: $reason" >"$ENV_FILE" || fail "cannot write $ENV_FILE"
    log "$reason"
    exit 77
  fi

  start_xvfb
  wine_env
  rm -rf "$SCRATCH"
  mkdir -p "$SCRATCH" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  # Written now so that stop finds the display even if the rest fails.
  write_env_file "$XVFB_NUM" "$XVFB_PID" || fail "cannot write $ENV_FILE"
  export DISPLAY=:$XVFB_NUM
  log "Xvfb :$XVFB_NUM running (pid $XVFB_PID)"

  rm -rf "$PREFIX"
  mkdir -p "$PREFIX" || fail "cannot create $PREFIX"
  # Persistent before the first program: otherwise the server ends a second
  # after the last program and the next step boots a new "Windows".
  wineserver -p >"$SESSION_DIR/wineserver.log" 2>&1 </dev/null ||
    fail "wineserver -p failed (see $SESSION_DIR/wineserver.log)"
  wineboot -i >"$SESSION_DIR/wineboot.log" 2>&1 </dev/null ||
    fail "wineboot -i failed (see $SESSION_DIR/wineboot.log)"

  # Without a window manager Wine would wait for one at every window close;
  # without ShowCrashDialog=0 a crashing program hangs on Wine's error dialog.
  reg=$SESSION_DIR/session.reg
  printf '%s\r\n' 'REGEDIT4' '' \
    '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Managed"="N"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' '"ShowCrashDialog"=dword:00000000' '' >"$reg"
  wine regedit /S "Z:${reg//\//\\}" >"$SESSION_DIR/regedit.log" 2>&1 </dev/null ||
    fail "importing $reg failed (see $SESSION_DIR/regedit.log)"
  if ! wine reg query 'HKCU\Software\Wine\X11 Driver' /v Managed >"$SESSION_DIR/regcheck.log" 2>&1 </dev/null ||
    ! grep -q 'Managed.*N' "$SESSION_DIR/regcheck.log"; then
    fail "the session's registry settings did not take (see $SESSION_DIR/regcheck.log)"
  fi

  # Debian's Wine does not find its own fonts; dialogs would be laid out
  # with a wider substitute.
  if [ -d /usr/share/wine/fonts ]; then
    cp -f /usr/share/wine/fonts/* "$PREFIX/drive_c/windows/Fonts/" ||
      fail "cannot copy Wine's fonts into the prefix"
  else
    log "warning: /usr/share/wine/fonts is missing (package fonts-wine)"
  fi

  echo 'export BRIK_WINE_SESSION_READY=1' >>"$ENV_FILE"
  STARTING=0
  t1=$(now_ms)
  log "session ready in $(((t1 - t0) / 1000)).$(printf '%03d' $(((t1 - t0) % 1000))) s: DISPLAY=:$XVFB_NUM WINEPREFIX=$PREFIX"
  log "environment: $ENV_FILE"
}

case $ACTION in
  start) do_start ;;
  stop)
    do_stop
    log "session of $BUILD_DIR stopped"
    ;;
  *) usage ;;
esac
