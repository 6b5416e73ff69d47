#!/usr/bin/env bash
# tools/check-sizes.sh on made-up sources: what it must list, what it must leave out, and its
# exit status for enforced and reported folders.
set -euo pipefail
script="$(cd "$(dirname "$0")/../.." && pwd)/tools/check-sizes.sh"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/src"

body() { for ((i = 0; i < $1; ++i)); do echo "    x += $i;"; done; }
{
  # 61 lines from brace to brace; a brace in a string, a character and a comment is not counted.
  echo 'int longOne(int x) {'; echo '    const char* s = "}}"; char c = '"'"'{'"'"'; // }'; body 58; echo '}'
  # 60 lines: within the limit.
  echo 'int fits(int x) const {'; body 58; echo '}'
  echo '// size-check: data table'
  echo 'const Entry table[] = {'; body 80; echo '};'
  echo '// size-check: data table'
  echo 'std::vector<Entry> catalog(const Config& c) {'; body 80; echo '}'
  echo 'struct Inline {'; echo '    void member() override {'; body 61; echo '    }'; echo '};'
} > "$dir/src/a.cpp"
body 501 > "$dir/src/long.h"
{ body 480; echo '// size-check: data table'; echo 'int t[] = {'; body 40; echo '};'; } > "$dir/src/table.h"

fail() { echo "FAIL: $*"; echo "$out"; exit 1; }
set +e
out=$(LARKSPAN_SIZE_ENFORCED="$dir/src" "$script" "$dir/src"); status=$?
set -e
[ $status -eq 1 ] || fail "exit status $status for an enforced folder"
grep -qx "$dir/src/a.cpp:1: longOne has 61 lines (over 60)" <<<"$out" || fail "longOne not listed"
grep -q "a.cpp:[0-9]*: member has 63 lines" <<<"$out" || fail "the inline member not listed"
# The table's body starts on line 123; catalog is listed only for its mark.
grep -q "fits\|a.cpp:123:\|catalog has" <<<"$out" && fail "a short function or a marked table listed"
# The mark above catalog's body exempts nothing: it is a fault of its own.
grep -qx "$dir/src/a.cpp:206: the mark of a data table stands above no initialiser" <<<"$out" ||
  fail "the mark above a function not listed as a fault"
grep -qx "$dir/src/long.h: 501 lines (over 500)" <<<"$out" || fail "long.h not listed"
grep -q "table.h" <<<"$out" && fail "a file within the limit without its marked table listed"
[ "$(grep -c '(over' <<<"$out")" -eq 3 ] || fail "not exactly three findings"

out=$(LARKSPAN_SIZE_ENFORCED="" "$script" "$dir/src") || fail "a folder that is only reported failed"
grep -q "long.h: 501 lines (over 500) \[reported, not yet enforced\]" <<<"$out" || fail "not reported"
# Without arguments every source folder is scanned and enforced, app/ among them.
mkdir -p "$dir/repo/tools" "$dir/repo/app"
cp "$script" "$dir/repo/tools/"
body 501 > "$dir/repo/app/long.cpp"
set +e
out=$(env -u LARKSPAN_SIZE_ENFORCED "$dir/repo/tools/check-sizes.sh"); status=$?
set -e
[ $status -eq 1 ] || fail "exit status $status for a long file in app/ by default"
grep -qx "app/long.cpp: 501 lines (over 500)" <<<"$out" || fail "app/ not scanned by default"

# A unit is NAME.h with NAME.cpp and the .cpp of the folder, without a header of its own, that
# defines members of a class of NAME.h, which it includes first: 404 + 201 + 201 lines here.
decls() { for ((i = $1; i < $2; ++i)); do echo "    int f$i();"; done; }
defs() { for ((i = $1; i < $2; ++i)); do echo "int X::f$i() { return $i; }"; done; }
{ echo '#pragma once'; echo 'class X {'; echo 'public:'; decls 0 400; echo '};'; } > "$dir/repo/app/x.h"
{ echo '#include "app/x.h"'; defs 0 200; } > "$dir/repo/app/x.cpp"
{ echo '#include "app/x.h"'; defs 200 400; } > "$dir/repo/app/y.cpp"
out=$(env -u LARKSPAN_SIZE_ENFORCED "$dir/repo/tools/check-sizes.sh") && fail "a unit over 700 lines passed"
grep -qx "app/x: 806 lines in x.cpp, x.h, y.cpp (over 700)" <<<"$out" || fail "the unit of x.h not listed"
grep -q "app/[xy]\.\|app/y:" <<<"$out" && fail "a file of the unit listed on its own"
echo "check-sizes test passed"
