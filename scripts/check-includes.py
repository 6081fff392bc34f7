#!/usr/bin/env python3
"""Checks every #include of the tree against the map's rules.

The rules are the two tables between the "include rules" markers of
docs/ARCHITECTURE.md: which part may include which, and which system and
library headers each part may use. A file belongs to the part whose folder
is the longest prefix of its path; a public header (KELVRA_PUBLIC_HEADERS)
includes only public headers. Prints one line per forbidden include,
"file:line: #include ... -- rule", and exits 1 when there is any.

Usage: check-includes.py [TREE]   (default: the tree this script is in)
"""
import fnmatch
import os
import re
import sys

FOLDERS = ("engine", "show", "tools", "tests", "bench", "fuzz", "examples")
SOURCE = re.compile(r"\.(c|cc|cpp|h|hpp|inc)$")
INCLUDE = re.compile(r'^\s*#\s*include\s*(?:([<"])([^>"]+)[>"]|([A-Za-z_][A-Za-z0-9_]*))')
MAP = "docs/ARCHITECTURE.md"


def cells(row):
    return [c.strip() for c in row.strip().strip("|").split("|")]


def ticked(cell):
    return re.findall(r"`([^`]+)`", cell)


def read_rules(tree):
    """The parts table and the header sets table of the map."""
    with open(os.path.join(tree, MAP), encoding="utf-8") as f:
        text = f.read()
    m = re.search(r"<!-- include rules -->(.*?)<!-- end of include rules -->", text, re.S)
    if not m:
        sys.exit(f"{MAP}: no <!-- include rules --> section")
    tables, current = [], None
    for line in m.group(1).splitlines():
        if line.startswith("|"):
            if current is None:
                current = []
                tables.append(current)
            current.append(cells(line))
        else:
            current = None
    if len(tables) != 2:
        sys.exit(f"{MAP}: the include rules need two tables (parts, header sets), found {len(tables)}")
    parts = {}
    for row in tables[0][2:]:
        name = ticked(row[0])[0]
        parts[name] = {"folders": ticked(row[1]), "may": ticked(row[3]), "headers": ticked(row[4])}
    sets = {ticked(row[0])[0]: ticked(row[1]) for row in tables[1][2:]}
    for name, part in parts.items():
        for s in part["headers"]:
            if s not in sets and s != "*":
                sys.exit(f"{MAP}: part {name} names an unknown header set {s}")
        for p in part["may"]:
            if "/" not in p and p not in parts and p not in ("*", "kelvra"):
                sys.exit(f"{MAP}: part {name} names an unknown part {p}")
    return parts, sets


def public_headers(tree):
    """KELVRA_PUBLIC_HEADERS of engine/CMakeLists.txt, every platform's."""
    with open(os.path.join(tree, "engine/CMakeLists.txt"), encoding="utf-8") as f:
        text = re.sub(r"#.*", "", f.read())
    found = set()
    for m in re.finditer(r"(?:set|list\(APPEND)\s*\(?\s*KELVRA_PUBLIC_HEADERS\b([^)]*)\)", text):
        found.update(w for w in m.group(1).split() if w.endswith(".h"))
    return found


def part_of(path, parts):
    best, length = None, -1
    for name, part in parts.items():
        for folder in part["folders"]:
            if (path == folder.rstrip("/") or path.startswith(folder)) and len(folder) > length:
                best, length = name, len(folder)
    return best


def resolve(tree, includer, name):
    """The tree path a quoted include reaches, or None: beside the file,
    then from the tree's root (KelvraInternal), then tests/common."""
    for base in (os.path.dirname(includer), "", "tests/common"):
        candidate = os.path.normpath(os.path.join(base, name))
        if not candidate.startswith("..") and os.path.isfile(os.path.join(tree, candidate)):
            return candidate
    return None


def header_allowed(name, sets_named, sets):
    for s in sets_named:
        if s == "*":
            return True
        for pattern in sets[s]:
            if pattern == "(no extension)":
                if "." not in name and "/" not in name:
                    return True
            elif fnmatch.fnmatchcase(name, pattern):
                return True
    return False


def check(tree):
    parts, sets = read_rules(tree)
    public = public_headers(tree)
    problems = []
    for top in FOLDERS:
        for root, dirs, files in os.walk(os.path.join(tree, top)):
            dirs[:] = sorted(d for d in dirs if d not in ("node_modules", "corpus"))
            for file in sorted(files):
                if not SOURCE.search(file):
                    continue
                path = os.path.relpath(os.path.join(root, file), tree)
                part = part_of(path, parts)
                if part is None:
                    problems.append(f"{path}: in no part of the map")
                    continue
                rule = parts[part]
                with open(os.path.join(tree, path), encoding="utf-8", errors="replace") as f:
                    lines = f.read().splitlines()
                for number, line in enumerate(lines, 1):
                    m = INCLUDE.match(line)
                    if not m:
                        continue
                    kind, name, macro = m.groups()
                    shown = kind + name + (">" if kind == "<" else '"') if kind else macro
                    why = judge(tree, path, part, rule, kind, name or macro, parts, sets, public)
                    if why:
                        problems.append(f"{path}:{number}: #include {shown} -- {why}")
    return problems


def judge(tree, path, part, rule, kind, name, parts, sets, public):
    """None when the include is allowed, else the rule it breaks."""
    may = rule["may"]
    if "*" in may and "*" in rule["headers"]:
        return None
    if kind == "<" and name.startswith("kelvra/"):
        header = name[len("kelvra/"):]
        if header not in public:
            return f"<kelvra/{header}> is not a public header (KELVRA_PUBLIC_HEADERS)"
        if "kelvra" in may or "*" in may:
            return None
        target = part_of("engine/" + header, parts)
        if target in may:
            return None
        return f"part {part} may include {', '.join(may)}, not <kelvra/...>"
    if kind == '"':
        target_path = resolve(tree, path, name)
        if target_path is None:
            return f"part {part}: \"{name}\" is no file of the tree"
        target = part_of(target_path, parts)
        if path.startswith("engine/") and path[7:] in public and target_path[7:] not in public:
            return f"the public header {path} includes {target_path}, which is not public (an installed engine lacks it)"
        if "*" in may or target == part or target in may or target_path in may:
            return None
        if target_path.startswith("engine/") and "kelvra" in may:
            return f"part {part} reaches the engine only as <kelvra/...>, not \"{name}\""
        return f"part {part} may include {', '.join(may) or 'only itself'}, not part {target} ({target_path})"
    if header_allowed(name, rule["headers"], sets):
        return None
    return f"part {part} may use the headers {', '.join(rule['headers'])}, not {name}"


def main():
    tree = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    problems = check(tree)
    for p in problems:
        print(p)
    if problems:
        print(f"{len(problems)} include(s) break the map's rules ({MAP}, include rules)")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
