#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang under AddressSanitizer
# and UndefinedBehaviorSanitizer (build/fuzz) and runs each for a bounded
# time, starting from the seed corpus kept in tests/fuzz/corpus. Reports, per
# target, the executions, executions per second and the coverage reached
# (libFuzzer's cov: edges and ft: features). New inputs go to
# build/fuzz/corpus/<target> and are used again by the next run; an input
# that breaks a target is saved in build/fuzz/artifacts/<target>/ (replay it
# with build/64/tests/fuzz/<target>_replay FILE, or with the fuzzer).
#
# Usage: scripts/fuzz.sh [SECONDS-PER-TARGET] [TARGET...]   (default 60 s, all)
# Exit status: 0 when no target failed, 1 otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
build=build/fuzz
jobs=$(nproc)

for compiler in clang clang++; do
    command -v "$compiler" >/dev/null 2>&1 || {
        echo "fuzz: $compiler is missing (scripts/install-prerequisites.sh installs it)" >&2
        exit 1
    }
done
echo "== build fuzz"
CC=clang CXX=clang++ cmake -S . -B "$build" -DAMI_ARCH=64 -DAMI_FUZZ=ON -DAMI_TESTS=OFF \
    -DAMI_BENCHMARKS=OFF -DAMI_DIST=OFF -DAMI_SANITIZE=address -DAMI_WERROR=ON \
    -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
    >/dev/null
cmake --build "$build" -j"$jobs" >"$build.log" 2>&1 || {
    cat "$build.log"
    exit 1
}

if [ $# -gt 0 ]; then
    targets=("$@")
else
    targets=()
    for program in "$build"/tests/fuzz/*_fuzz; do
        name=${program##*/}
        targets+=("${name%_fuzz}")
    done
fi

status=0
printf '%-22s %10s %9s %7s %7s %7s  %s\n' target execs execs/s cov ft corpus result
for target in "${targets[@]}"; do
    work=$build/corpus/$target
    artifacts=$build/artifacts/$target
    log=$build/$target.log
    mkdir -p "$work" "$artifacts"
    # New inputs go to the first folder; the repository's seeds are only read.
    if ASAN_OPTIONS=detect_leaks=1 "$build/tests/fuzz/${target}_fuzz" -max_total_time="$seconds" \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" \
        "$work" "tests/fuzz/corpus/$target" >"$log" 2>&1; then
        result=ok
    else
        result="FAILED: $(ls -t "$artifacts" | head -n 1)"
        status=1
    fi
    done_line=$(grep -E '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE|INITED)' "$log" | tail -n 1 || true)
    cov=$(sed -n -E 's/.* cov: ([0-9]+).*/\1/p' <<<"$done_line")
    ft=$(sed -n -E 's/.* ft: ([0-9]+).*/\1/p' <<<"$done_line")
    corpus=$(sed -n -E 's/.* corp: ([0-9]+).*/\1/p' <<<"$done_line")
    execs=$(sed -n -E 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$log")
    per_second=$(sed -n -E 's/^stat::average_exec_per_sec: *([0-9]+).*/\1/p' "$log")
    printf '%-22s %10s %9s %7s %7s %7s  %s\n' "$target" "${execs:-?}" "${per_second:-?}" \
        "${cov:-?}" "${ft:-?}" "${corpus:-?}" "$result"
    if [ "$result" != ok ]; then
        grep -E 'ERROR|SUMMARY|check failed|runtime error' "$log" | head -n 5 | sed 's/^/    /'
    fi
done
exit $status
