#!/usr/bin/env python3
"""Checks that includes point down the layers only (ARCHITECTURE.md, section 1).

Usage: check_layers.py [TREE]   (default: the repo this script lives in)

Prints one line per violation, FILE:LINE: RULE: #include "X", and exits 1 if there is any.
"""
import os
import re
import sys

SOURCE_EXTENSIONS = {".h", ".hpp", ".cpp", ".cc", ".c", ".S", ".in"}

# The fake tree the layer check's own test runs on: full of planted violations.
FIXTURE_DIR = "tests/tools/layer_fixture"

# Headers below the readers that hold data alone, no reading code, so the data kit may share
# them without sharing a reader.
DATAKIT_ALLOWED = {
    "platform/win/font8x8.h",  # the 8x8 glyph table the data kit draws its fonts from
}

# (folders the rule applies to, folders they must not include, rule text, allowed targets)
RULES = [
    (("engine/common", "engine/include"), ("engine/pc", "platform"),
     "engine/common and engine/include must not include engine/pc or platform", set()),
    (("game", "frontend"), ("platform",),
     "game and frontend must not include platform", set()),
    # The layers call down only: frontend, game, engine, platform.
    (("engine",), ("game", "frontend"),
     "engine must not include game or frontend", set()),
    (("game",), ("frontend",),
     "game must not include frontend", set()),
    (("platform",), ("engine", "game", "frontend"),
     "platform must not include engine, game or frontend", set()),
    (("patcher",), ("engine", "game", "frontend"),
     "patcher must not include engine, game or frontend", set()),
    (("tools/datakit",), ("engine", "game", "frontend", "patcher", "platform"),
     "tools/datakit must not include a reader", DATAKIT_ALLOWED),
]

INCLUDE = re.compile(r'^\s*#\s*include\s*(?:"([^"]+)"|<([^>]+)>)')


def under(path, folders):
    return any(path == f or path.startswith(f + "/") for f in folders)


def targets(tree, src, name, quoted):
    """Tree paths an include may name: from the repo root and, when quoted, from the
    including file's own folder. Paths that leave the tree are dropped."""
    found = []
    if quoted or name.split("/")[0] in os.listdir(tree):
        found.append(os.path.normpath(name))
    if quoted:
        found.append(os.path.normpath(os.path.join(os.path.dirname(src), name)))
    return [p for p in found if p != ".." and not p.startswith("../") and not os.path.isabs(p)]


def sources(tree):
    for top, dirs, files in os.walk(tree):
        rel_top = os.path.relpath(top, tree)
        rel_top = "" if rel_top == "." else rel_top + "/"
        dirs[:] = sorted(
            d for d in dirs
            if not d.startswith(".")
            and not (rel_top == "" and d.startswith("build"))
            and rel_top + d != FIXTURE_DIR
            and not os.path.exists(os.path.join(top, d, "CMakeCache.txt")))
        for f in sorted(files):
            if os.path.splitext(f)[1] in SOURCE_EXTENSIONS:
                yield rel_top + f


def check_file(tree, src):
    with open(os.path.join(tree, src), encoding="utf-8", errors="replace") as fh:
        for number, line in enumerate(fh, 1):
            m = INCLUDE.match(line)
            if not m:
                continue
            quoted = m.group(1) is not None
            name = m.group(1) if quoted else m.group(2)
            shown = f'"{name}"' if quoted else f"<{name}>"
            for folders, banned, text, allowed in RULES:
                if not under(src, folders):
                    continue
                hits = [t for t in targets(tree, src, name, quoted)
                        if under(t, banned) and t not in allowed]
                if hits:
                    yield f"{src}:{number}: {text}: #include {shown}"
                    break


def main(argv):
    if len(argv) > 2:
        print("usage: check_layers.py [TREE]", file=sys.stderr)
        return 2
    default = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    tree = os.path.abspath(argv[1] if len(argv) == 2 else default)
    if not os.path.isdir(tree):
        print(f"check_layers.py: no such folder: {tree}", file=sys.stderr)
        return 2
    files = list(sources(tree))
    violations = [v for src in files for v in check_file(tree, src)]
    for v in violations:
        print(v)
    if violations:
        print(f"layer check: {len(files)} files, {len(violations)} violations")
        return 1
    print(f"layer check: {len(files)} files, no violations")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
