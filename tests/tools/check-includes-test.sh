#!/usr/bin/env bash
# tools/check-includes.sh on a made-up tree: what it must list and what it must let pass.
set -euo pipefail
script="$(cd "$(dirname "$0")/../.." && pwd)/tools/check-includes.sh"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
mkdir -p platform http core/a core/b core/c ui app
write() { local p=$1; shift; { echo "#include \"$p.h\""; for i in "$@"; do echo "#include \"$i.h\""; done; } > "$p.cpp"; echo "#pragma once" > "$p.h"; }
write platform/Text
write http/Url platform/Text core/a/One          # up a layer
write core/Config core/a/One                      # the root names a subject
write core/a/One core/a/Two platform/Text
write core/a/Two core/a/One                       # a circle of two in one folder: allowed
write core/b/P core/c/Q
write core/c/Q core/b/P                           # a circle across folders
write core/c/R core/c/S
write core/c/S core/c/T
write core/c/T core/c/U
write core/c/U core/c/R                           # a circle of four
write ui/Window core/a/One http/Url
write app/main ui/Window

fail() { echo "FAIL: $*"; echo "$out"; exit 1; }
set +e
out=$("$script" "$dir"); status=$?
set -e
[ $status -eq 1 ] || fail "exit status $status"
grep -qx "http/Url.cpp: includes core/a/One.h of core/, a layer above http/" <<<"$out" || fail "up a layer"
grep -qx "core/Config.cpp: core/'s root includes core/a/One.h of a subject folder" <<<"$out" || fail "root"
grep -qx "include circle of core/b/P, core/c/Q" <<<"$out" || fail "circle across folders"
grep -qx "include circle of core/c/R, core/c/S, core/c/T, core/c/U" <<<"$out" || fail "circle of four"
[ "$(grep -c . <<<"$out")" -eq 5 ] || fail "not exactly four faults and the count"
echo "check-includes test passed"
