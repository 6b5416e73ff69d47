#!/usr/bin/env bash
# Checks the include arrows of the product's folders:
# - a layer includes only itself and the layers below it: app -> ui -> core -> grid, http ->
#   platform (core may include grid and http; grid and http include neither each other nor core);
# - core/'s root (the configuration) includes none of core/'s subject folders: they register what
#   it reads instead;
# - no include circle crosses folders or holds more than three units (NAME.h with NAME.cpp).
# Lists every fault and fails when there is one.
#   tools/check-includes.sh [ROOT]      (default: the repository)
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

python3 - <<'PY'
import glob, os, re, sys

BELOW = {
    "platform": set(),
    "grid": {"platform"},
    "http": {"platform"},
    "core": {"grid", "http", "platform"},
    "ui": {"core", "grid", "http", "platform"},
    "app": {"ui", "core", "grid", "http", "platform"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([\w/]+)\.(h|cpp)"', re.M)
faults = []
edges = {}  # unit -> set of units it includes
for layer in BELOW:
    for path in sorted(glob.glob(layer + "/**/*.h", recursive=True) + glob.glob(layer + "/**/*.cpp", recursive=True)):
        unit = path.rsplit(".", 1)[0]
        edges.setdefault(unit, set())
        text = open(path, encoding="utf-8", errors="replace").read()
        for target, _ in INCLUDE.findall(text):
            top = target.split("/", 1)[0]
            if top not in BELOW:
                continue
            if top != layer and top not in BELOW[layer]:
                faults.append(f"{path}: includes {target}.h of {top}/, a layer above {layer}/")
            if layer == "core" and "/" not in unit[len("core/"):] and target.count("/") > 1 and top == "core":
                faults.append(f"{path}: core/'s root includes {target}.h of a subject folder")
            if target != unit:
                edges[unit].add(target)

# Strongly connected units (Tarjan), each circle once.
index, low, stack, on, order, circles = {}, {}, [], set(), [0], []


def visit(v):
    index[v] = low[v] = order[0]; order[0] += 1
    stack.append(v); on.add(v)
    for w in edges.get(v, ()):
        if w not in edges:
            continue
        if w not in index:
            visit(w); low[v] = min(low[v], low[w])
        elif w in on:
            low[v] = min(low[v], index[w])
    if low[v] == index[v]:
        group = []
        while True:
            w = stack.pop(); on.discard(w); group.append(w)
            if w == v:
                break
        if len(group) > 1:
            circles.append(sorted(group))


sys.setrecursionlimit(10000)
for v in sorted(edges):
    if v not in index:
        visit(v)
for group in circles:
    folders = {os.path.dirname(u) for u in group}
    if len(group) > 3 or len(folders) > 1:
        faults.append("include circle of " + ", ".join(group))
for f in faults:
    print(f)
print(f"check-includes: {len(faults)} faults")
sys.exit(1 if faults else 0)
PY
