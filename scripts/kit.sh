#!/usr/bin/env bash
# Builds the model for x86-64 and i386 and assembles the kit for model users:
# dist/Halvorin_7314_Tx-VERSION/ (both libraries, the .ami and .ibs files, a
# README and SHA256SUMS) and dist/Halvorin_7314_Tx-VERSION.tar.gz. The
# version is the CMake project's.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-prerequisites.sh

for arch in 32 64; do
    echo "== build $arch-bit model" >&2
    cmake -S . -B "build/release-$arch" -DAMI_ARCH="$arch" -DAMI_TESTS=OFF \
        -DAMI_BENCHMARKS=OFF >/dev/null
    cmake --build "build/release-$arch" -j"$(nproc)" >"build/release-$arch.log" 2>&1 || {
        cat "build/release-$arch.log" >&2
        exit 1
    }
done
echo "== assemble the kit" >&2
cmake --build build/release-64 --target kit
