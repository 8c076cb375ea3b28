#!/usr/bin/env python3
"""Prints the bytes of the shipped Windows programs and what each source file
costs in them: `make size`.

    size-report.py WIN32_BUILD_DIR

The figures come from each program's link map (FILE.map, written by its link;
cmake/Shipped.cmake): every function and every named datum is a section of
its own there, so each input section is one symbol with its size. After
link-time optimisation all of them come from one compiler output, so a
symbol is traced back to its source file by name: through the ordinary
(not link-time optimised) Windows libraries of the same build, whose objects
list their local symbols too, and through the programs' own objects.
What is left is shown by kind: C++ library templates, string literals and
other unnamed constants, our runtime, libgcc, imports, resources. A
function that was inlined costs where it was inlined into; an inline
function of a header that several files define is shown with the first.
"""
import collections
import os
import re
import subprocess
import sys

NM = os.environ.get("NM", "i686-w64-mingw32-nm")
GCC_NM = os.environ.get("GCC_NM", "i686-w64-mingw32-gcc-nm-win32")
CXXFILT = os.environ.get("CXXFILT", "i686-w64-mingw32-c++filt")

# Program, its file, its objects' folder, the ordinary libraries whose
# shipped variants it is made of.
PROGRAMS = [("setup.exe", "src/launcher/setup.exe", "src/launcher/CMakeFiles/setup.dir",
             ["launcher", "ui", "ui_core", "config_win32", "config", "crypto", "cab", "util"]),
            ("unpack.dll", "src/unpack/unpack.dll", "src/unpack/CMakeFiles/unpack.dir", ["cab", "util"]),
            # Travels inside the package's cabinet, not before it.
            ("UnInst.exe", "src/uninstall/UnInst.exe", "CMakeFiles/UnInst.dir",
             ["uninstall", "uninstall_core", "install", "install_core", "ui", "ui_core", "config_win32", "config",
              "util"])]
SUFFIX = re.compile(r"(\.(lto_priv|isra|constprop|part|cold|localalias)(\.\d+)?)+$")


def symbol_files(build, program_dir, libs):
    """Mangled name (without the leading underscore) -> source file name."""
    owners = {}

    def scan(tool, paths):
        paths = [p for p in paths if os.path.exists(p)]
        if not paths:
            return
        out = subprocess.run([tool, "--defined-only", "-A"] + paths, capture_output=True, text=True).stdout
        for line in out.splitlines():
            # "archive:member:address type name" or "object:address type name"
            head, _, rest = line.partition(" ")
            fields = line.split()
            if len(fields) < 3:
                continue
            name = fields[-1]
            member = head.rstrip(":").split(":")[-2 if head.count(":") >= 2 else 0]
            source = os.path.basename(member)
            source = re.sub(r"\.obj$", "", source)
            if name.startswith("_"):
                name = name[1:]
            owners.setdefault(name, source)

    libraries = []
    for root, _, files in os.walk(build):
        for f in files:
            if f.startswith("libbrik_") and f[len("libbrik_"):-2] in libs and f.endswith(".a"):
                libraries.append((libs.index(f[len("libbrik_"):-2]), os.path.join(root, f)))
    scan(NM, [path for _, path in sorted(libraries)])
    objects = []
    for root, _, files in os.walk(os.path.join(build, program_dir)):
        objects += [os.path.join(root, f) for f in files if f.endswith(".obj")]
    scan(GCC_NM, sorted(objects))
    return owners


def demangle(names):
    if not names:
        return {}
    out = subprocess.run([CXXFILT], input="\n".join(names), capture_output=True, text=True).stdout.splitlines()
    return dict(zip(names, out))


def input_sections(map_path):
    """(output section, input section name, size, input file) from a GNU ld map."""
    with open(map_path, encoding="utf-8", errors="replace") as f:
        lines = f.read().split("Linker script and memory map", 1)[1].splitlines()
    output = None
    pending = None
    entry = re.compile(r"^ (\S+)\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(.+)$")
    alone = re.compile(r"^ (\.\S+)$")
    cont = re.compile(r"^\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(.+)$")
    for line in lines:
        top = re.match(r"^(\.\w+)\s", line)
        if top:
            output = top.group(1)
            continue
        m = entry.match(line)
        if m and not m.group(1).startswith("*"):
            yield output, m.group(1), int(m.group(2), 16), m.group(3).strip()
            pending = None
            continue
        m = alone.match(line)
        if m:
            pending = m.group(1)
            continue
        m = cont.match(line)
        if m and pending:
            yield output, pending, int(m.group(1), 16), m.group(2).strip()
        pending = None


def module_of(section, source_file, owners, readable):
    name = section.split("$", 1)[1] if "$" in section else ""
    name = SUFFIX.sub("", name)
    if "ltrans" not in source_file:
        base = os.path.basename(source_file)
        if "(" in base:
            library, member = base[:-1].split("(", 1)
            if library.startswith("lib") and library.endswith(".a") and "brik" not in library:
                lib = library[3:-2]
                return "imports" if section.startswith(".idata") else "lib" + lib
            base = member
        return re.sub(r"\.(obj|o)$", "", base)
    if not name or name.startswith("CSWTCH") or name.startswith(".") or name.startswith("LC"):
        return "(string literals, switch tables and other unnamed constants)"
    if name in owners:
        return owners[name]
    pretty = readable.get(name, name)
    if pretty.startswith(("std::", "__gnu_cxx::", "vtable for std::", "operator")) or name.startswith("_ZSt"):
        return "(C++ library templates)"
    if name.startswith("_ZNSt") or name.startswith("_ZNKSt") or name.startswith("_ZZNSt"):
        return "(C++ library templates)"
    return "(other: %s)" % pretty[:60]


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    build = sys.argv[1]
    status = 0
    for label, path, program_dir, libs in PROGRAMS:
        image = os.path.join(build, path)
        link_map = image + ".map"
        if not os.path.exists(image) or not os.path.exists(link_map):
            print("size: %s or its link map is missing (has the Windows build run?)" % image, file=sys.stderr)
            status = 1
            continue
        owners = symbol_files(build, program_dir, libs)
        sections = list(input_sections(link_map))
        readable = demangle(sorted({SUFFIX.sub("", s.split("$", 1)[1]) for _, s, _, f in sections
                                    if "$" in s and "ltrans" in f}))
        by_module = collections.defaultdict(lambda: collections.Counter())
        for output, section, size, source in sections:
            if size == 0 or output in (None, ".bss") or output.startswith((".debug", ".zdebug", ".stab")):
                continue
            kind = {".text": "code+const", ".data": "data", ".rsrc": "resources"}.get(output, output.lstrip("."))
            by_module[module_of(section, source, owners, readable)][kind] += size
        kinds = ["code+const", "data"]
        print("%s: %d bytes (%s)" % (label, os.path.getsize(image), image))
        print("  %9s %8s %8s  %s" % ("bytes", "code", "data", "module"))
        rows = sorted(by_module.items(), key=lambda item: -sum(item[1].values()))
        for module, counts in rows:
            total = sum(counts.values())
            print("  %9d %8d %8d  %s" % (total, counts["code+const"], counts["data"], module))
        counted = sum(sum(c.values()) for c in by_module.values())
        print("  %9d                     headers, alignment padding" % (os.path.getsize(image) - counted))
        print()
    return status


if __name__ == "__main__":
    sys.exit(main())
