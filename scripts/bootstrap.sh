#!/usr/bin/env bash
# Installs everything the build and the tests need on a fresh Debian 12 machine.
# Idempotent: when every package is present it says so and does nothing.
set -u

NATIVE_PKGS="cmake make g++ clang libclang-rt-14-dev googletest zlib1g-dev libdeflate-dev"
# g++-mingw-w64-x86-64-win32: the 64-bit test vehicle, for machines that run
# no 32-bit code (README, "What the test suite runs").
CROSS_PKGS="g++-mingw-w64-i686 mingw-w64-tools binutils-mingw-w64-i686 libz-mingw-w64-dev g++-mingw-w64-x86-64-win32"
TOOL_PKGS="xvfb xauth x11-utils imagemagick cabextract gcab locales openssl osslsigncode"
WINE_PKGS="wine wine64 fonts-wine"
WINE32_PKGS="wine32:i386 libxrender1:i386 libxrandr2:i386 libxi6:i386 libxcursor1:i386 libxinerama1:i386 libxcomposite1:i386 libxfixes3:i386 libxxf86vm1:i386"
# With --bench (make bench), also what the benchmarks' corpus is made of
# (shared/bench/make-corpus.sh: Wine's programs stripped, documentation,
# scripts, icons and fonts of these packages).
BENCH_PKGS="binutils-mingw-w64-x86-64 manpages manpages-dev git-man git nodejs valgrind adwaita-icon-theme fonts-dejavu-core fonts-dejavu-extra cmake-data gdb python3.11"
[ "${1:-}" = "--bench" ] && TOOL_PKGS="$TOOL_PKGS $BENCH_PKGS"

log() { printf 'bootstrap: %s\n' "$*"; }

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
APT_OPTS="-y -q --no-install-recommends"

is_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing() {
  local out="" p
  for p in "$@"; do
    is_installed "$p" || out="$out $p"
  done
  printf '%s' "$out"
}

ALL="$NATIVE_PKGS $CROSS_PKGS $TOOL_PKGS $WINE_PKGS $WINE32_PKGS"
need=$(missing $ALL)
if [ -z "$need" ] && [ -x /usr/lib/wine/wine ]; then
  log "all build and test dependencies are present; nothing to do"
  exit 0
fi
log "missing packages:$need"

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  log "enabling the i386 architecture (32-bit Wine needs it)"
  $SUDO dpkg --add-architecture i386
fi

log "updating package indexes"
# One suite's i386 index may fail to download while a mirror syncs; the others
# are still usable, so a failed update is only a warning.
$SUDO apt-get update -q || log "warning: apt-get update reported errors; going on with the indexes it got"

need=$(missing $NATIVE_PKGS $CROSS_PKGS $TOOL_PKGS $WINE_PKGS)
if [ -n "$need" ]; then
  log "installing:$need"
  $SUDO apt-get install $APT_OPTS $need || { log "error: could not install:$need"; exit 1; }
fi

need=$(missing $WINE32_PKGS)
if [ -n "$need" ] || [ ! -x /usr/lib/wine/wine ]; then
  [ -n "$need" ] || need=" wine32:i386"
  log "installing the 32-bit part of Wine:$need"
  if $SUDO apt-get -s install $APT_OPTS $need >/dev/null 2>&1; then
    $SUDO apt-get install $APT_OPTS $need
  elif $SUDO apt-get -s install $APT_OPTS -t bookworm $need >/dev/null 2>&1; then
    $SUDO apt-get install $APT_OPTS -t bookworm $need
  else
    # amd64 libraries from the security suite can be newer than their i386
    # twins; Multi-Arch: same packages must match, so pin both architectures
    # of every such package to the i386 candidate.
    log "plain install is not possible; pinning Multi-Arch: same packages to their i386 candidates"
    pins=""
    closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts \
              --no-breaks --no-replaces --no-enhances wine32:i386 2>/dev/null \
              | grep -E '^[a-zA-Z0-9]' | sed 's/:i386$//' | sort -u)
    for pkg in $closure; do
      ma=$(apt-cache show "$pkg:i386" 2>/dev/null | awk -F': ' '/^Multi-Arch:/{print $2; exit}')
      [ "$ma" = "same" ] || continue
      inst=$(dpkg-query -W -f='${Version}' "$pkg:amd64" 2>/dev/null) || continue
      [ -n "$inst" ] || continue
      cand=$(apt-cache policy "$pkg:i386" | awk '/Candidate:/{print $2; exit}')
      [ -n "$cand" ] && [ "$cand" != "(none)" ] || continue
      if [ "$inst" != "$cand" ]; then
        pins="$pins $pkg:amd64=$cand $pkg:i386=$cand"
      fi
    done
    log "pins:$pins"
    $SUDO apt-get install $APT_OPTS -t bookworm --allow-downgrades --no-remove $need $pins \
      || { log "error: could not install the 32-bit part of Wine"; exit 1; }
  fi
fi

if [ ! -x /usr/lib/wine/wine ]; then
  log "error: /usr/lib/wine/wine is missing after the install"
  exit 1
fi
log "done"
