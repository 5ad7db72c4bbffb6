#!/usr/bin/env bash
# Formatting (clang-format), static analysis (cppcheck, clang-tidy) of the
# project's own C and C++ sources. Usage: lint.sh BUILD_DIR (with compile_commands.json)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/64}
status=0

mapfile -t sources < <(git ls-files -co --exclude-standard -- '*.c' '*.cpp' '*.h')
# clang-tidy reads the library and the stand-in; tests and benchmarks live
# beside them and are left to the compilers' warnings and cppcheck.
mapfile -t library_sources < <(printf '%s\n' "${sources[@]}" |
    grep -E '^(model|tree|blocks|common|tools)/.*\.(c|cpp)$' |
    grep -v -E '_(test|bench)\.cpp$|/fake_models/' || true)

echo "clang-format: ${#sources[@]} files"
clang-format --dry-run --Werror "${sources[@]}" || status=1

echo "cppcheck"
cppcheck --quiet --error-exitcode=1 --enable=warning,performance,portability \
    --inline-suppr --suppress=missingIncludeSystem --library=googletest \
    --project="$build/compile_commands.json" \
    -i"$build" -i/usr/src/googletest || status=1

echo "clang-tidy: ${#library_sources[@]} files"
if [ ${#library_sources[@]} -gt 0 ]; then
    # One file per run, as many runs at once as there are cores.
    printf '%s\0' "${library_sources[@]}" |
        xargs -0 -n 1 -P "$(nproc)" clang-tidy --quiet -p "$build" --warnings-as-errors='*' \
            2>/dev/null || status=1
fi

exit $status
