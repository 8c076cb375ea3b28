#!/usr/bin/env bash
# Signed packages end to end: a package signed with `brikpack sign` (a
# throw-away self-signed certificate made here) passes osslsigncode's own
# verification, is read by brikpack and installs under Wine; the same
# package with bytes appended after its signature is refused by the engine
# and by brikpack.
#   sign_test.sh BUILD_DIR WIN32_DIR BRIKPACK
set -u

WORK_NAME=wine-sign
# shellcheck source=tests/wine/engine_lib.sh
. "$(dirname "$0")/engine_lib.sh" "$@"
for tool in osslsigncode openssl; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/bootstrap.sh installs it)"
done

TARGETS=$WINEPREFIX/drive_c/BriskTest
TARGETS_WIN='C:\BriskTest'

step "a throw-away code-signing certificate; its key also with a password"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$WORK/key.pem" -out "$WORK/cert.pem" -days 2 \
  -subj "/CN=Brisk Test Signer" -addext extendedKeyUsage=codeSigning >"$WORK/openssl.out" 2>&1 ||
  fail "openssl cannot make a certificate: $(cat "$WORK/openssl.out")"
openssl rsa -in "$WORK/key.pem" -aes256 -passout pass:'key secret' -out "$WORK/key_locked.pem" \
  >>"$WORK/openssl.out" 2>&1 || fail "openssl cannot lock the key: $(cat "$WORK/openssl.out")"

# signed_package PAD: the package WORK/signedPAD.exe, whose size leaves the
# signing tool PAD bytes of padding to a multiple of 8 (its payload grows a
# byte at a time until it does), signed in place; the unsigned one is kept as WORK/unsignedPAD.exe.
signed_package() {
  local pad=$1 name=signed$1 P=$WORK/signed$1 size
  install_project "$name"
  printf 'signed data\r\n' >"$P/Data/readme.txt"
  head -c 70001 /dev/urandom >"$P/Data/payload.bin"
  script "$name" '[CopyFiles]
Files=%InstallPath%
[Files]
readme.txt=readme.txt
payload.bin=payload.bin'
  package "$name" "" --compression none
  for _ in $(seq 1 32); do
    [ $((($(stat -c %s "$WORK/$name.exe") + pad) % 8)) -eq 0 ] && break
    head -c 1 /dev/urandom >>"$P/Data/payload.bin"
    package "$name" "" --compression none
  done
  unsigned_size=$(stat -c %s "$WORK/$name.exe")
  [ $(((unsigned_size + pad) % 8)) -eq 0 ] || fail "$name: $unsigned_size bytes need other padding than $pad"
  cp "$WORK/$name.exe" "$WORK/unsigned$pad.exe"
  "$BRIKPACK" sign "$WORK/$name.exe" --cert "$WORK/cert.pem" --key "$WORK/key.pem" --name "Brisk Sample" \
    >"$WORK/sign.out" 2>"$WORK/sign.err" || fail "brikpack sign $name failed: $(cat "$WORK/sign.err")"
  [ -e "$WORK/$name.exe.part" ] && fail "brikpack sign left its temporary file"
  size=$(stat -c %s "$WORK/$name.exe")
  [ "$size" -gt "$unsigned_size" ] || fail "$name: the signed package is not larger ($size bytes)"
  # Beyond the engine's headers (checksum and certificate entry) every byte
  # of the package stays as it was.
  cmp -s -i 1024 -n $((unsigned_size - 1024)) "$WORK/unsigned$pad.exe" "$WORK/$name.exe" ||
    fail "$name: signing changed the package beyond its headers"
}

for pad in 0 5; do
  step "a package signed in place, $pad bytes of padding before the signature"
  signed_package $pad
  osslsigncode verify -CAfile "$WORK/cert.pem" -in "$WORK/signed$pad.exe" >"$WORK/verify.out" 2>&1 ||
    fail "osslsigncode does not accept the signature: $(tail -n 5 "$WORK/verify.out")"
  "$BRIKPACK" list "$WORK/signed$pad.exe" >"$WORK/list.out" 2>"$WORK/list.err" ||
    fail "brikpack list refuses the signed package: $(cat "$WORK/list.err")"
  grep -q 'Data\\payload.bin' "$WORK/list.out" || fail "brikpack list misses a file: $(cat "$WORK/list.out")"
  "$BRIKPACK" test "$WORK/signed$pad.exe" >/dev/null 2>"$WORK/list.err" ||
    fail "brikpack test refuses the signed package: $(cat "$WORK/list.err")"

  step "the signed package installs"
  rm -rf "$TARGETS/signed$pad"
  run_install "signed$pad"
  expect_final FINISH "Installation complete"
  expect_end
  for f in readme.txt payload.bin; do
    cmp -s "$WORK/signed$pad/Data/$f" "$TARGETS/signed$pad/$f" || fail "$f was not installed"
  done
done

step "bytes appended after the signature"
cp "$WORK/signed5.exe" "$WORK/appended.exe" && printf 'tail' >>"$WORK/appended.exe"
start_setup "$WORK/appended.exe"
expect_box "Error" "Invalid package size!
This package has been corrupted, installation impossible."
expect_end
if "$BRIKPACK" list "$WORK/appended.exe" >/dev/null 2>"$WORK/list.err"; then
  fail "brikpack list reads a package with bytes after its signature"
fi
grep -q 'damaged package' "$WORK/list.err" || fail "brikpack list: no clear message: $(cat "$WORK/list.err")"

step "a locked key: the right password signs into another file, a wrong one writes nothing"
"$BRIKPACK" sign "$WORK/unsigned5.exe" --cert "$WORK/cert.pem" --key "$WORK/key_locked.pem" --pass 'key secret' \
  --url "https://example.invalid/brisk" -o "$WORK/other.exe" >"$WORK/sign.out" 2>"$WORK/sign.err" ||
  fail "brikpack sign with the key's password failed: $(cat "$WORK/sign.err")"
[ "$(stat -c %s "$WORK/unsigned5.exe")" = "$unsigned_size" ] || fail "sign -o changed its input"
osslsigncode verify -CAfile "$WORK/cert.pem" -in "$WORK/other.exe" >"$WORK/verify.out" 2>&1 ||
  fail "osslsigncode does not accept the signature made with -o: $(tail -n 5 "$WORK/verify.out")"
cp "$WORK/unsigned5.exe" "$WORK/wrong.exe"
if "$BRIKPACK" sign "$WORK/wrong.exe" --cert "$WORK/cert.pem" --key "$WORK/key_locked.pem" --pass 'not it' \
  >"$WORK/sign.out" 2>"$WORK/sign.err"; then
  fail "brikpack sign signs with a wrong password"
fi
grep -q 'osslsigncode failed' "$WORK/sign.err" || fail "a wrong password: no clear message: $(tail -n 2 "$WORK/sign.err")"
cmp -s "$WORK/unsigned5.exe" "$WORK/wrong.exe" || fail "a failed signing changed the package"
[ -e "$WORK/wrong.exe.part" ] && fail "a failed signing left its temporary file"

step "all checks passed"
rm -rf "$TARGETS/signed0" "$TARGETS/signed5"
exit 0
