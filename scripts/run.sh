#!/usr/bin/env bash
# Builds the model and the stand-in simulator for x86-64 and i386, then runs
# the model as a channel simulator would, with pre-emphasis on, over the
# built-in channel. Extra arguments go to amisim (see dist/amisim --help).
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
echo "== dist/amisim --set TX_Corner=1 --set TX_Preemph=1 $*" >&2
exec dist/amisim --set TX_Corner=1 --set TX_Preemph=1 "$@"
