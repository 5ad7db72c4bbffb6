#!/usr/bin/env bash
# Builds the model libraries and the stand-in for x86-64 and i386, without
# tests or benchmarks, into build/release-64 and build/release-32 (and dist/),
# after making sure the machine has what the build needs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-prerequisites.sh

for arch in 64 32; do
    echo "== build $arch-bit model and stand-in" >&2
    cmake -S . -B "build/release-$arch" -DAMI_ARCH="$arch" -DAMI_TESTS=OFF \
        -DAMI_BENCHMARKS=OFF >/dev/null
    cmake --build "build/release-$arch" -j"$(nproc)" >"build/release-$arch.log" 2>&1 || {
        cat "build/release-$arch.log" >&2
        exit 1
    }
done
