#!/usr/bin/env bash
# Lists what is too large in the product's folders, at any depth: a source file over 500 lines,
# a unit over 700 (NAME.h with NAME.cpp, and any .cpp of the same folder without a header of its
# own that includes NAME.h first and defines members of a class of it: the class's other
# pieces), and a function over 60 lines, found by counting braces. A table of data may be
# exempt: a line "// size-check: data table" just above a braced initialiser leaves it out of
# every count; the mark above anything else (a function body, a class) is listed as a fault.
# Fails when something is listed in an enforced folder; the others are reported only.
#   tools/check-sizes.sh [folder...]      (default: core http grid ui app platform)
set -euo pipefail
cd "$(dirname "$0")/.."
enforced="${LARKSPAN_SIZE_ENFORCED:-core http grid ui app platform}"
folders=("$@")
[ ${#folders[@]} -gt 0 ] || folders=(core http grid ui app platform)

python3 - "$enforced" "${folders[@]}" <<'PY'
import glob, os, re, sys

MAX_FILE, MAX_UNIT, MAX_FUNCTION = 500, 700, 60
MARKER = "size-check: data table"
enforced = sys.argv[1].split()
folders = sys.argv[2:]
# A function body opens after ")" and the words that may follow a parameter list.
FUNCTION_HEAD = re.compile(r"\)\s*(const|override|final|noexcept|mutable|->\s*[\w:<>,*&\s]+)*\s*$")
NOT_FUNCTION = re.compile(r"^\s*(namespace|class|struct|enum|union)\b|=\s*$|\[\]\s*=")


def code_only(text):
    """The text with comments, strings and character literals blanked, lines kept."""
    out, i, n = [], 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i)); i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j])); i = j
        elif c == 'R' and text.startswith('R"', i):
            m = re.match(r'R"([^(]*)\(', text[i:])
            end = text.find(")" + m.group(1) + '"', i) if m else -1
            j = n if end < 0 else end + len(m.group(1)) + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j])); i = j
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(c + " " * (j - i - 1) + (c if j < n else "")); i = j + 1
        else:
            out.append(c); i += 1
    return "".join(out)


def scan(path):
    text = open(path, encoding="utf-8", errors="replace").read()
    lines = text.split("\n")
    code = code_only(text)
    marked = {k + 2 for k, line in enumerate(lines) if MARKER in line}  # 1-based line after it
    exempt_lines, functions, faults = 0, [], []
    stack = []  # (kind, line, name); kind is "function", "exempt" or "other"
    head, line = "", 1
    pending_exempt = False
    for c in code:
        if c == "\n":
            line += 1
            if line in marked:
                pending_exempt = True
            head += " "
        elif c == "{":
            inside = any(k in ("function", "exempt") for k, _, _ in stack)
            if pending_exempt and not inside:
                pending_exempt = False
                if (FUNCTION_HEAD.search(head) or NOT_FUNCTION.search(head)) and not re.search(r"=\s*$", head):
                    faults.append((line, "the mark of a data table stands above no initialiser"))
                    stack.append(("other", line, ""))
                else:
                    stack.append(("exempt", line, ""))
            elif not inside and FUNCTION_HEAD.search(head) and not NOT_FUNCTION.search(head):
                name = re.findall(r"([~\w:]+(?:operator\s*\S+?)?)\s*\(", head)
                stack.append(("function", line, name[0] if name else "?"))
            else:
                stack.append(("other", line, ""))
            head = ""
        elif c == "}":
            if stack:
                kind, start, name = stack.pop()
                length = line - start + 1
                if kind == "exempt":
                    exempt_lines += length
                elif kind == "function" and length > MAX_FUNCTION:
                    functions.append((start, name, length))
            head = ""
        elif c == ";":
            head = ""
        else:
            head += c
    counted = len(lines) - (1 if text.endswith("\n") else 0) - exempt_lines
    return counted, functions, faults


def first_include(path):
    """The header named by a file's first project include ("core/store/SiteStore.h")."""
    for line in open(path, encoding="utf-8", errors="replace"):
        m = re.match(r'#include "([\w/]+\.h)"', line)
        if m:
            return m.group(1)
    return None


def defines_members(path, header):
    """Whether the file defines members of a class that the header declares."""
    if not os.path.exists(header):
        return False
    classes = re.findall(r"^\s*(?:class|struct)\s+(\w+)[^;]*$", open(header, encoding="utf-8", errors="replace").read(), re.M)
    text = open(path, encoding="utf-8", errors="replace").read()
    return any(re.search(r"\b" + c + r"::~?\w+\s*\(", text) for c in classes)


failures = reported = 0


def report(folder, finding):
    global failures, reported
    if any(folder == e or folder.startswith(e + "/") for e in enforced):
        print(finding); failures += 1
    else:
        print(finding + " [reported, not yet enforced]"); reported += 1


for folder in folders:
    paths = sorted(glob.glob(folder + "/**/*.cpp", recursive=True) + glob.glob(folder + "/**/*.h", recursive=True))
    units = {}  # folder/NAME -> [(path, lines)]
    for path in paths:
        counted, functions, faults = scan(path)
        if counted > MAX_FILE:
            report(folder, f"{path}: {counted} lines (over {MAX_FILE})")
        for start, name, length in functions:
            report(folder, f"{path}:{start}: {name} has {length} lines (over {MAX_FUNCTION})")
        for start, why in faults:
            report(folder, f"{path}:{start}: {why}")
        stem = path.rsplit(".", 1)[0]
        if path.endswith(".cpp") and not os.path.exists(stem + ".h"):
            # A piece of another class: counted with the unit of the header it includes first,
            # when that header lies in the same folder.
            header = first_include(path)
            if header and os.path.dirname(header) == os.path.dirname(os.path.normpath(path)) and \
                    defines_members(path, header):
                stem = header[:-2]
        units.setdefault(stem, []).append((path, counted))
    for stem, members in sorted(units.items()):
        total = sum(n for _, n in members)
        if total > MAX_UNIT:
            names = ", ".join(os.path.basename(p) for p, _ in members)
            report(folder, f"{stem}: {total} lines in {names} (over {MAX_UNIT})")
print(f"check-sizes: {failures} over the limits in {' '.join(f for f in folders if f in enforced) or 'no enforced folder'}"
      f", {reported} reported elsewhere")
sys.exit(1 if failures else 0)
PY
