#!/usr/bin/env bash
# Mutation check of the test suite: applies each named small fault of the
# list (tests/mutations.txt) in turn to a copy of the tree, builds it for
# x86-64, runs the tests and reports the faults that no test caught.
#
# Usage: scripts/mutate.sh [LIST] [NAME-PATTERN]
#   LIST          the list of faults (default tests/mutations.txt)
#   NAME-PATTERN  run only the faults whose name matches this grep pattern
# Exit status: 0 when every fault was caught, 1 when some survived, 2 when
# the list is out of date (a fault's text is not found exactly once).
set -euo pipefail
cd "$(dirname "$0")/.."
list=${1:-tests/mutations.txt}
pattern=${2:-.}
jobs=$(nproc)
root=build/mutate
copy=$root/src
build=$root/build

# A private copy of the tree, so the working tree is never touched.
rm -rf "$copy"
mkdir -p "$copy"
git ls-files -co --exclude-standard | grep -v -E '^(build|dist)/' | tar -c -T - | tar -x -C "$copy"
# An interrupted run may have left objects of a mutated file behind, newer
# than the copied original: the files the list mutates are made newer still.
sed -n 's/^file: //p' "$list" | sort -u | while read -r file; do
    if [ -e "$copy/$file" ]; then touch "$copy/$file"; fi
done
cmake -S "$copy" -B "$build" -DAMI_ARCH=64 -DAMI_DIST=OFF -DAMI_BENCHMARKS=OFF >/dev/null
echo "== building the unmutated tree"
cmake --build "$build" -j"$jobs" >"$root/build.log" 2>&1 || { cat "$root/build.log"; exit 2; }
# Left out: valgrind and the tests that compare running times (IsLinear...):
# they take the longest, and no fault of the list is about them.
run_tests() {
    ctest --test-dir "$build" -j"$jobs" -E 'valgrind|IsLinear' --timeout 300 --stop-on-failure \
        >"$root/ctest.log" 2>&1
}
run_tests || { echo "the unmutated tree fails its tests:"; tail -n 20 "$root/ctest.log"; exit 2; }

# The list: blocks of "== name", "file: path", "from: text", "to: text".
names=() files=() froms=() tos=()
while IFS= read -r line; do
    case $line in
        "== "*) names+=("${line#== }") ;;
        "file: "*) files+=("${line#file: }") ;;
        "from: "*) froms+=("${line#from: }") ;;
        "to: "*) tos+=("${line#to: }") ;;
    esac
done <"$list"

caught=0
survived=()
stale=()
tried=0
for i in "${!names[@]}"; do
    name=${names[$i]}
    printf '%s\n' "$name" | grep -q -e "$pattern" || continue
    target=$copy/${files[$i]}
    from=${froms[$i]}
    to=${tos[$i]}
    original=$(cat "$target"; printf x)
    original=${original%x}
    rest=${original#*"$from"}
    if [ "$rest" = "$original" ] || [ "${rest#*"$from"}" != "$rest" ]; then
        stale+=("$name (${files[$i]}: the text is not there exactly once)")
        continue
    fi
    tried=$((tried + 1))
    printf '%s' "${original/"$from"/"$to"}" >"$target"
    if ! cmake --build "$build" -j"$jobs" >"$root/build.log" 2>&1; then
        verdict="caught (does not compile)"
        caught=$((caught + 1))
    elif run_tests; then
        verdict="SURVIVED"
        survived+=("$name")
    else
        first=$(sed -n -E 's/^[[:space:]]*[0-9]+ - ([^ ]+).*/\1/p' "$root/ctest.log" | head -n 1)
        verdict="caught by ${first:-a test}"
        caught=$((caught + 1))
    fi
    printf '%s' "$original" >"$target"
    printf '%-60s %s\n' "$name" "$verdict"
done
cmake --build "$build" -j"$jobs" >/dev/null 2>&1 || true

echo
echo "mutation score: $caught of $tried faults caught"
if [ ${#survived[@]} -gt 0 ]; then
    echo "survived:"
    printf '  %s\n' "${survived[@]}"
fi
if [ ${#stale[@]} -gt 0 ]; then
    echo "out of date:"
    printf '  %s\n' "${stale[@]}"
    exit 2
fi
[ ${#survived[@]} -eq 0 ]
