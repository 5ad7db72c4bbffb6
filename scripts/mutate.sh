#!/usr/bin/env bash
# Mutation check of the test suite: applies each named small fault of the
# list (tests/mutations.txt) in turn to a copy of the tree, builds it for
# x86-64, runs the tests and reports the faults that no test caught.
#
# Usage: scripts/mutate.sh [--check | --sample N [--seed S]] [LIST] [NAME-PATTERN]
#   --check       only check that every fault still applies to the working
#                 tree (quick; a test runs it, so an edit that moves a text
#                 the list names fails at once and not in the next sample)
#   --sample N    try only N faults, drawn at random (seeded by S) from those
#                 the pattern selects; CI draws a few with a new seed each run
#   LIST          the list of faults (default tests/mutations.txt)
#   NAME-PATTERN  run only the faults whose name matches this grep pattern
# Every fault of the list is checked to apply (its text found exactly once)
# whether it is tried or not. Exit status: 0 when every fault tried was
# caught, 1 when some survived, 2 when the list is out of date or the
# unmutated tree fails its tests.
set -euo pipefail
cd "$(dirname "$0")/.."
sample=0
seed=1
check=0
while [ $# -gt 0 ]; do
    case $1 in
        --check) check=1; shift ;;
        --sample) sample=$2; shift 2 ;;
        --seed) seed=$2; shift 2 ;;
        *) break ;;
    esac
done
list=${1:-tests/mutations.txt}
pattern=${2:-.}
jobs=$(nproc)
root=build/mutate
copy=$root/src
build=$root/build

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

# Each fault's text must be in its file exactly once (the private copy below
# holds the same files).
applies() {
    local target=${files[$1]} from=${froms[$1]} original rest
    [ -f "$target" ] || return 1
    original=$(cat "$target"; printf x)
    original=${original%x}
    rest=${original#*"$from"}
    [ "$rest" != "$original" ] && [ "${rest#*"$from"}" = "$rest" ]
}
stale=()
report_stale() {
    echo "out of date:"
    printf '  %s\n' "${stale[@]}"
    exit 2
}
selected=()
for i in "${!names[@]}"; do
    if ! applies "$i"; then
        stale+=("${names[$i]} (${files[$i]}: the text is not there exactly once)")
    elif printf '%s\n' "${names[$i]}" | grep -q -e "$pattern"; then
        selected+=("$i")
    fi
done
if [ "$check" -eq 1 ]; then
    if [ ${#stale[@]} -gt 0 ]; then report_stale; fi
    echo "all ${#names[@]} faults of $list apply"
    exit 0
fi

# A private copy of the tree, so the working tree is never touched.
rm -rf "$copy"
mkdir -p "$copy"
git ls-files -co --exclude-standard | grep -v -E '^(build|dist)/' | tar -c -T - | tar -x -C "$copy"
# An interrupted run may have left objects of a mutated file behind, newer
# than the copied original: the files the list mutates are made newer still.
sed -n 's/^file: //p' "$list" | sort -u | while read -r file; do
    if [ -e "$copy/$file" ]; then touch "$copy/$file"; fi
done
# The copy's own dist/ holds the example receiver beside the stand-in, where
# the stand-in's tests look for it.
cmake -S "$copy" -B "$build" -DAMI_ARCH=64 -DAMI_BENCHMARKS=OFF >/dev/null
echo "== building the unmutated tree"
cmake --build "$build" -j"$jobs" >"$root/build.log" 2>&1 || { cat "$root/build.log"; exit 2; }
# Left out: valgrind and the tests that compare running times (IsLinear...):
# they take the longest, and no fault of the list is about them; and the
# check of the list itself, which any applied fault fails.
run_tests() {
    ctest --test-dir "$build" -j"$jobs" -E 'valgrind|IsLinear|mutation_list_current' --timeout 300 --stop-on-failure \
        >"$root/ctest.log" 2>&1
}
run_tests || { echo "the unmutated tree fails its tests:"; tail -n 20 "$root/ctest.log"; exit 2; }

if [ "$sample" -gt 0 ]; then
    mapfile -t selected < <(printf '%s\n' "${selected[@]}" |
        awk -v seed="$seed" 'BEGIN { srand(seed) } { print rand() "\t" $0 }' |
        sort -n | head -n "$sample" | cut -f 2)
    echo "== a sample of ${#selected[@]} of the faults (seed $seed)"
fi

caught=0
survived=()
tried=0
for i in "${selected[@]}"; do
    name=${names[$i]}
    target=$copy/${files[$i]}
    from=${froms[$i]}
    to=${tos[$i]}
    original=$(cat "$target"; printf x)
    original=${original%x}
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
if [ ${#stale[@]} -gt 0 ]; then report_stale; fi
[ ${#survived[@]} -eq 0 ]
