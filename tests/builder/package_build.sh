#!/usr/bin/env bash
# Builds a sample setup project with brikpack and checks the package from
# outside: cabextract finds and tests the cabinet inside the executable and
# extracts the same files as brikpack, which gives back the project's bytes;
# two builds are identical; the trailer is right; a protected package
# extracts with its password and fails cleanly with a wrong one; extracting
# over existing files neither leaves temporary files nor follows links.
#   package_build.sh BRIKPACK WORKDIR
set -eu
brikpack=$1
work=$2
command -v cabextract >/dev/null || { echo "package_build: cabextract is not installed" >&2; exit 1; }
rm -rf "$work"
mkdir -p "$work"
cd "$work"

# The smallest stub the builder takes: an MZ header pointing at "PE\0\0".
{ printf 'MZ'; head -c 58 /dev/zero; printf '\100\000\000\000PE\000\000'; head -c 60 /dev/zero; } > stub.exe

mkdir -p project/Presetup project/Data/sub/deeper
printf '[Config]\r\nLanguages=Enu\r\nInsFiles=App\r\n\r\n[Display]\r\nMainTitleFont="Arial,20"\r\n' > project/Presetup/Brik.ini
printf '[Strings]\r\nLanguageName=English\r\n' > project/Presetup/Enu.lng
printf '[CopyFiles]\r\nCopyApp=%%InstallPath%%\r\n\r\n[CopyApp]\r\n*.*=\r\n' > project/Presetup/App.ins
cd project/Data
# Sizes where blocks end, empty and one-byte files, text whose last block
# compresses to literals only, random bytes and long runs.
for n in 0 1 32767 32768 32769 65537; do
  head -c "$n" /dev/urandom > "rand_$n.bin"
  seq 1 200000 | head -c "$n" > "text_$n.txt"
done
seq 1 100000 | head -c 40000 > literals.txt
{ seq 1 200000; head -c 300000 /dev/zero; head -c 300000 /dev/urandom; } > sub/mixed.bin
for i in $(seq 1 40); do echo "small file $i" > "sub/deeper/f$i.txt"; done
cd ../..

status=0
fail() { echo "package_build: $*" >&2; status=1; }

for mode in mszip none; do
  "$brikpack" build project -o "pkg_$mode.exe" --stub stub.exe --compression "$mode" >/dev/null
  "$brikpack" build project -o "again_$mode.exe" --stub stub.exe --compression "$mode" --threads 1 >/dev/null
  cmp -s "pkg_$mode.exe" "again_$mode.exe" || fail "$mode: two builds differ"
  cabextract -t "pkg_$mode.exe" >/dev/null || fail "$mode: cabextract -t fails"
  rm -rf "ref_$mode" "out_$mode"
  cabextract -q -d "ref_$mode" "pkg_$mode.exe" || fail "$mode: cabextract cannot extract"
  "$brikpack" extract "pkg_$mode.exe" -d "out_$mode" >/dev/null || fail "$mode: brikpack cannot extract"
  diff -r "ref_$mode" "out_$mode" >/dev/null || fail "$mode: cabextract and brikpack extract different files"
  diff -r project/Data "out_$mode/Data" >/dev/null || fail "$mode: the Data files differ from the project's"
  for f in Enu.lng App.ins; do
    cmp -s "project/Presetup/$f" "out_$mode/Presetup/$f" || fail "$mode: Presetup/$f differs"
  done
  grep -q '^\[FileInfo\]' "out_$mode/Presetup/Brik.ini" || fail "$mode: no [FileInfo] in the packaged settings"
  # The trailer: Presetup size, then the trailer's own offset.
  size=$(stat -c %s "pkg_$mode.exe")
  read -r presetup offset < <(tail -c 8 "pkg_$mode.exe" | od -An -tu4)
  [ "$offset" -eq $((size - 8)) ] || fail "$mode: trailer offset $offset, file size $size"
  want=$(cat out_$mode/Presetup/* | wc -c)
  [ "$presetup" -eq "$want" ] || fail "$mode: trailer Presetup size $presetup, files hold $want"
done

# Extracting again over the same files replaces them and leaves no temporary
# file; a linked folder below the target folder is refused, nothing written
# through it.
"$brikpack" extract pkg_mszip.exe -d out_mszip >/dev/null || fail "extract over existing files fails"
diff -r project/Data out_mszip/Data >/dev/null || fail "extract over existing files: the Data files differ"
[ -z "$(find out_mszip -name '~brik*')" ] || fail "extract left temporary files"
rm -rf over elsewhere
mkdir -p over elsewhere
ln -s "$PWD/elsewhere" over/Data
if "$brikpack" extract pkg_mszip.exe -d over 2> link.txt >/dev/null; then fail "extract wrote through a linked Data folder"; fi
grep -q 'is a link' link.txt || fail "linked Data folder: no clear message: $(cat link.txt)"
[ -z "$(ls -A elsewhere)" ] || fail "extract wrote into the folder a link points to"
# A damaged file table: the first file's size off by one. Nothing in the
# cabinet format covers it, but a setup package is held to the builder's
# layout: list, test and extract refuse it and write nothing.
cp pkg_mszip.exe damaged.exe
base=$(grep -obUaP 'MSCF\x00\x00\x00\x00' damaged.exe | head -1 | cut -d: -f1)
folders=$(od -An -tu2 -j $((base + 26)) -N2 damaged.exe | tr -d ' ')
entry=$((base + 36 + 8 * folders))
low=$(od -An -tu1 -j "$entry" -N1 damaged.exe | tr -d ' ')
printf "\\$(printf %o $((low ^ 1)))" | dd of=damaged.exe bs=1 seek="$entry" conv=notrunc status=none
for command in list test extract; do
  rm -rf damaged_out
  where=()
  [ "$command" = extract ] && where=(-d damaged_out)
  if "$brikpack" "$command" damaged.exe "${where[@]}" > /dev/null 2> damaged.txt; then
    fail "damaged: $command passes"
  fi
  grep -q 'damaged package' damaged.txt || fail "damaged: $command: no clear message: $(cat damaged.txt)"
  [ ! -e damaged_out ] || fail "damaged: $command wrote files"
done

# A data block whose checksum was zeroed ("not computed" in the format) and a
# byte of it flipped: our builder computes every checksum, so in a package
# the 0 is checked like any other and test refuses it.
cp pkg_none.exe zeroed.exe
base=$(grep -obUaP 'MSCF\x00\x00\x00\x00' zeroed.exe | head -1 | cut -d: -f1)
folders=$(od -An -tu2 -j $((base + 26)) -N2 zeroed.exe | tr -d ' ')
block=$((base + $(od -An -tu4 -j $((base + 36 + 8 * (folders - 1))) -N4 zeroed.exe | tr -d ' ')))
dd if=/dev/zero of=zeroed.exe bs=1 seek="$block" count=4 conv=notrunc status=none
low=$(od -An -tu1 -j $((block + 18)) -N1 zeroed.exe | tr -d ' ')
printf "\\$(printf %o $((low ^ 1)))" | dd of=zeroed.exe bs=1 seek=$((block + 18)) conv=notrunc status=none
if "$brikpack" test zeroed.exe > /dev/null 2> zeroed.txt; then fail "zeroed checksum: test passes a flipped byte"; fi
grep -q 'checksum' zeroed.txt || fail "zeroed checksum: no clear message: $(cat zeroed.txt)"

# A protected package: the right password extracts, a wrong one fails.
password='Pässwörd'
"$brikpack" build project -o protected.exe --stub stub.exe --password "$password" >/dev/null
rm -rf prot_out
"$brikpack" extract protected.exe -d prot_out --password "$password" >/dev/null || fail "protected: extraction with the password fails"
diff -r project/Data prot_out/Data >/dev/null || fail "protected: the Data files differ"
grep -q '^PswCheckHash=[0-9A-F]\{64\}' prot_out/Presetup/Brik.ini || fail "protected: no check hash"
if "$brikpack" extract protected.exe -d wrong_out --password 'Passwort' 2> wrong.txt >/dev/null; then
  fail "protected: a wrong password extracts"
fi
grep -q 'wrong password' wrong.txt || fail "protected: no clear message for a wrong password: $(cat wrong.txt)"
[ ! -e wrong_out/Data ] || fail "protected: a wrong password wrote Data files"
if "$brikpack" test protected.exe 2> none.txt >/dev/null; then fail "protected: test without a password passes"; fi
grep -q 'password-protected' none.txt || fail "protected: no message without a password: $(cat none.txt)"
"$brikpack" list protected.exe 2>&1 | head -n 1 | grep -q '^password-protected package' ||
  fail "protected: list does not say that the package is protected"
"$brikpack" list pkg_mszip.exe 2>&1 | grep -q 'password-protected' && fail "list calls a plain package protected"

# check: the build's findings without a package.
"$brikpack" check project >check.out 2>check.err || fail "check: a good project fails: $(cat check.err)"
grep -q ', 0 errors' check.out || fail "check: no summary: $(cat check.out)"
ls ./*.part >/dev/null 2>&1 && fail "check: wrote a package"
mkdir -p broken/Presetup
printf '[Config]\r\nLanguages=Enu\r\n' >broken/Presetup/Setup.ini
if "$brikpack" check broken >check.out 2>check.err; then fail "check: a project without Brik.ini passes"; fi
grep -q 'Brik.ini: error: the settings file is missing' check.err || fail "check: no error for the missing settings: $(cat check.err)"

# new: a starter project that passes its own checks; an author's folder is
# never written into.
"$brikpack" new starter --name "Brisk Starter" >new.out 2>&1 || fail "new: $(cat new.out)"
"$brikpack" check starter >check.out 2>check.err || fail "new: the starter fails its check: $(cat check.err)"
grep -q ', 0 errors, 0 warnings$' check.out || fail "new: the starter has findings: $(cat check.err)"
grep -q '^ProgramName=Brisk Starter' starter/Presetup/Brik.ini || fail "new: the name is not the program's"

# plan: a package and the project it was built from plan alike, every Data
# file into the install folder of Windows XP's Program Files.
"$brikpack" plan pkg_mszip.exe --json --set 'InstallPath=%ProgramFiles%\Demo' >plan_pkg.json 2>plan.err || fail "plan: fails on a package: $(cat plan.err)"
"$brikpack" plan project --json --set 'InstallPath=%ProgramFiles%\Demo' >plan_prj.json 2>plan.err || fail "plan: fails on the project: $(cat plan.err)"
cmp -s plan_pkg.json plan_prj.json || fail "plan: the package and its project plan differently"
python3 - plan_pkg.json "$(find project/Data -type f | wc -l)" <<'PY' || fail "plan: the JSON plan is not what the install does"
import json, sys
plan = json.load(open(sys.argv[1]))
files = plan["files"]
assert plan["windows"] == "xp" and len(files) == int(sys.argv[2]), (plan["windows"], len(files))
assert all(f["target"].startswith("C:\\Program Files\\") and f["refused"] is None for f in files), files
PY
"$brikpack" plan protected.exe | grep -q 'password-protected: the install asks for the password first' ||
  fail "plan: a protected package is not planned without its password, or not said to be protected"
"$brikpack" plan project --windows 95 | grep -q '^  App.9x  absent' || fail "plan: Windows 95 reads no .9x script"

# The command line: help on standard output with exit 0, and every mistake
# named on standard error with exit 2 and the command's synopsis.
while IFS='|' read -r want args message; do
  got=0
  # shellcheck disable=SC2086
  "$brikpack" $args >cli.out 2>cli.err || got=$?
  [ "$got" = "$want" ] || fail "brikpack $args: exit $got, expected $want"
  if [ "$want" = 0 ]; then
    grep -qF -- "$message" cli.out || fail "brikpack $args: no \"$message\" on standard output: $(cat cli.out)"
    [ -s cli.err ] && fail "brikpack $args: wrote to standard error: $(cat cli.err)"
  else
    grep -qF -- "$message" cli.err || fail "brikpack $args: no \"$message\" on standard error: $(cat cli.err)"
  fi
done <<'CASES'
0|--help|brikpack COMMAND --help
0|build --help|usage: brikpack build PROJECT -o OUT.exe
0|extract -d x --help|-d DIR
0|help list|usage: brikpack list FILE
2||usage: brikpack new
2|frob|unknown command "frob"
2|build project|brikpack build: missing -o OUT.exe
2|build -o x.exe|brikpack build: missing PROJECT
2|build project -o x.exe --compresion none|unknown option --compresion (did you mean --compression?)
2|build project -o|-o needs a value
2|build project -o x.exe --threads many|--threads needs a number, not "many"
2|list|brikpack list: missing FILE
2|list a.exe b.exe|unexpected argument b.exe
2|list a.exe -o x|-o is not an option of list
2|check|brikpack check: missing PROJECT
2|check project --stub x|--stub is not an option of check
0|check --help|writing nothing
2|new|brikpack new: missing DIR
1|new project|is not empty: a new project goes into a new or empty folder
1|new fresh --name a:b|the name cannot hold ":"
2|extract pkg_mszip.exe|brikpack extract: missing -d DIR
2|test pkg_mszip.exe --bogus|unknown option --bogus
0|sign --help|usage: brikpack sign PACKAGE --cert CERT --key KEY
2|sign --cert c.pem --key k.pem|brikpack sign: missing PACKAGE
2|sign pkg_mszip.exe --key k.pem|brikpack sign: missing --cert CERT
2|sign pkg_mszip.exe --cert c.pem|brikpack sign: missing --key KEY
2|sign pkg_mszip.exe --cert c.pem --key k.pem --password x|--password is not an option of sign
2|sign pkg_mszip.exe --cert c.pem --key k.pem --pass|--pass needs a value
2|plan|brikpack plan: missing PACKAGE or PROJECT
2|plan project --windows vista|unknown --windows value "vista" (95, 98, me, nt4, 2000 or xp)
2|plan project --windows|--windows needs a value
2|plan project --set InstallPath|--set needs VAR=VALUE, not "InstallPath"
2|plan project --json -o x|-o is not an option of plan
0|plan --help|--windows KIND
1|plan project --language JPN|offers no language JPN
CASES

[ -e fresh ] && fail "new: a refused name left a folder"

# sign without osslsigncode on PATH: how to install it, and the package as it was.
: >c.pem
: >k.pem
cp pkg_mszip.exe unsigned.exe
got=0
PATH=/nonexistent "$brikpack" sign unsigned.exe --cert c.pem --key k.pem >cli.out 2>cli.err || got=$?
[ "$got" = 1 ] || fail "sign without osslsigncode: exit $got, expected 1"
for message in 'osslsigncode is not installed' 'apt-get install osslsigncode'; do
  grep -qF "$message" cli.err || fail "sign without osslsigncode: no \"$message\": $(cat cli.err)"
done
cmp -s pkg_mszip.exe unsigned.exe || fail "sign without osslsigncode changed the package"

[ $status -eq 0 ] && { echo "package_build: all checks passed"; cd /; rm -rf "$work"; }
exit $status
