#!/usr/bin/env bash
# brikpack plan against the install it describes: a package with files in
# nested folders, registry values, an INI key in the Windows folder, a
# shortcut and the uninstall registration is planned for Windows XP, then
# installed under Wine shown as Windows XP; everything the plan names must be
# where it says, with the data it says.
#   plan_test.sh BUILD_DIR WIN32_DIR BRIKPACK
set -u

WORK_NAME=wine-plan
# shellcheck source=tests/wine/engine_lib.sh
. "$(dirname "$0")/engine_lib.sh" "$@"
# The package's program name, whose Windows version the test sets.
VERSION_PROGRAMS="plan.exe"
need_files "$SHIPPED_ENU"

TARGETS=$WINEPREFIX/drive_c/BriskPlanTest
TARGETS_WIN='C:\BriskPlanTest'
KEY='HKLM\Software\BriskPlanTest'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\BriskPlanTest'
INI_FILE=$(winepath -u 'C:\windows\briskplan.ini' 2>/dev/null </dev/null)
forget() {
  wine reg delete "$KEY" /f >/dev/null 2>&1 </dev/null
  wine reg delete "$UNINSTALL_KEY" /f >/dev/null 2>&1 </dev/null
  rm -rf "$TARGETS"
  [ -n "$INI_FILE" ] && rm -f "$INI_FILE"
}
trap 'cleanup; forget' EXIT
forget

step "a package with nested files, registry values, an INI key and a shortcut"
install_project plan "UninstallKey=BriskPlanTest"
P=$WORK/plan
mkdir -p "$P/Data/app/sub/deeper" "$P/Data/docs"
printf 'app' >"$P/Data/app/app.txt"
printf 'deep' >"$P/Data/app/sub/deeper/deep.txt"
printf 'doc' >"$P/Data/docs/guide.txt"
script plan "[CopyFiles]
AppFiles=%InstallPath%
DocFiles=%InstallPath%\\help
[AppFiles]
app\\*.*=*.*
[DocFiles]
docs\\guide.txt=manual.txt
[AddReg]
Values=$KEY\\Values
[Values]
Folder=%InstallPath%
Text=said \"hello\" \\ once
[AddIni]
Ini=%Windows%\\briskplan.ini,Paths
[Ini]
Install=%InstallPath%\\sub
[Shortcuts]
Links=%InstallPath%\\Links
[Links]
Plan App=%InstallPath%\\app.txt,,%InstallPath%"
package plan

step "the plan for Windows XP"
"$BRIKPACK" plan "$WORK/plan.exe" --windows xp --json >"$WORK/plan.json" 2>"$WORK/plan.err" ||
  fail "brikpack plan failed: $(cat "$WORK/plan.err")"

set_windows_version winxp
run_install plan
expect_final FINISH "Installation complete"
expect_end

step "everything planned is where the plan says"
python3 - "$WORK/plan.json" "$WINEPREFIX/drive_c" "$P" >"$WORK/registry.txt" 2>"$WORK/check.err" <<'PY' ||
import json, os, sys

plan = json.load(open(sys.argv[1], encoding="utf-8"))
drive_c, project = sys.argv[2], sys.argv[3]

def unix(path):
    """A C: path as the prefix holds it; Wine's names ignore case."""
    assert path[:3].upper() == "C:\\", path
    here = drive_c
    for part in path[3:].split("\\"):
        names = {n.lower(): n for n in os.listdir(here)} if os.path.isdir(here) else {}
        here = os.path.join(here, names.get(part.lower(), part))
    return here

def check(ok, what):
    if not ok:
        sys.exit("plan_test: " + what)

def counted(group, n):
    check(len(plan[group]) == n, "%d %s planned, expected %d: %s" % (len(plan[group]), group, n, plan[group]))

check(plan["windows"] == "xp", "the plan is for " + plan["windows"])
counted("files", 3)
for f in plan["files"]:
    check(f["refused"] is None, "a file is refused: %s" % f)
    source = os.path.join(project, *f["source"].split("\\"))
    target = unix(f["target"])
    check(os.path.isfile(target), "no file at the planned " + f["target"])
    check(open(source, "rb").read() == open(target, "rb").read(), f["target"] + " is not " + f["source"])
counted("ini", 1)
for e in plan["ini"]:
    lines = open(unix(e["file"]), encoding="cp1252").read().splitlines()
    check("[%s]" % e["section"] in lines and "%s=%s" % (e["key"], e["data"]) in lines,
          "%s has not [%s] %s=%s: %s" % (e["file"], e["section"], e["key"], e["data"], lines))
counted("shortcuts", 1)
for s in plan["shortcuts"]:
    check(os.path.isfile(unix(s["link"])), "no shortcut at the planned " + s["link"])
counted("registry", 2)
counted("uninstall", 1)
# The registry is read by the shell test: key, value name and data a line.
for r in plan["registry"]:
    print("%s\t%s\t%s" % (r["key"], r["name"], r["data"]))
u = plan["uninstall"][0]
print("%s\t%s\t%s" % (u["key"], "DisplayName", u["displayName"]))
print("%s\t%s\t%s" % (u["key"], "UninstallString", u["uninstallString"]))
PY
  fail "the install differs from its plan: $(cat "$WORK/check.err")"

while IFS=$'\t' read -r key name data; do
  got=$(reg_value "$key" "$name")
  [ "$got" = "$data" ] || fail "registry $key\\$name is \"$got\", the plan says \"$data\""
  step "  $key\\$name = $data"
done <"$WORK/registry.txt"
[ "$(wc -l <"$WORK/registry.txt")" -eq 4 ] || fail "the plan names $(wc -l <"$WORK/registry.txt") registry values, expected 4"

step "all checks passed"
