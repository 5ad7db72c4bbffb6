#!/usr/bin/env bash
# Builds the model library for x86-64 and i386, an AddressSanitizer and
# UndefinedBehaviorSanitizer build and a ThreadSanitizer build, runs every
# test in each, tries a sample of the listed faults against the tests, runs
# each fuzzer for 10 s, and checks formatting and static analysis.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-prerequisites.sh

jobs=$(nproc)
summary=()
passed=0
failed=0

configure_and_build() {
    local name=$1
    shift
    echo "== build $name"
    cmake -S . -B "build/$name" -DAMI_WERROR=ON "$@" >/dev/null
    cmake --build "build/$name" -j"$jobs" >"build/$name.log" 2>&1 || {
        cat "build/$name.log"
        exit 1
    }
}

run_tests() {
    local name=$1 log
    echo "== test $name"
    log="build/$name-tests.log"
    if ctest --test-dir "build/$name" -j"$jobs" --output-on-failure >"$log" 2>&1; then
        :
    else
        cat "$log"
    fi
    tail -n 1 <(grep 'tests passed' "$log") || true
    local total fails
    total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log")
    fails=$(sed -n 's/.* \([0-9]*\) tests failed out of.*/\1/p' "$log")
    passed=$((passed + ${total:-0} - ${fails:-0}))
    failed=$((failed + ${fails:-1}))
}

configure_and_build 64 -DAMI_ARCH=64
configure_and_build 32 -DAMI_ARCH=32
configure_and_build sanitize -DAMI_ARCH=64 -DAMI_SANITIZE=address -DAMI_DIST=OFF -DAMI_BENCHMARKS=OFF
configure_and_build tsan -DAMI_ARCH=64 -DAMI_SANITIZE=thread -DAMI_DIST=OFF -DAMI_BENCHMARKS=OFF
run_tests 64
run_tests 32
run_tests sanitize
run_tests tsan

# A few of the listed faults, a sample drawn anew for each commit (its hash
# seeds it), each of which a test must catch; this also keeps the list and
# scripts/mutate.sh working (the unmutated tree must pass, every fault must
# still apply). Repeat a run with scripts/mutate.sh --sample 4 --seed SEED.
echo "== mutation sample"
seed=$((16#$(git rev-parse --short=7 HEAD 2>/dev/null || echo 1)))
if scripts/mutate.sh --sample 4 --seed "$seed" >build/mutate.log 2>&1; then
    passed=$((passed + 1))
    grep -E 'seed|caught|score' build/mutate.log
else
    cat build/mutate.log
    failed=$((failed + 1))
fi

# A short run of every fuzzer, from the corpus in tests/fuzz/corpus.
echo "== fuzz"
if scripts/fuzz.sh 10; then
    passed=$((passed + 1))
else
    failed=$((failed + 1))
fi

echo "== lint"
lint_status=0
scripts/lint.sh build/64 || lint_status=1

echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$lint_status" -eq 0 ]
