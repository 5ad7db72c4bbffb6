#!/usr/bin/env bash
# Builds the model for x86-64 and i386 and assembles the kit for model users:
# dist/Halvorin_7314_Tx-VERSION/ (both libraries, the .ami and .ibs files, a
# README and SHA256SUMS) and dist/Halvorin_7314_Tx-VERSION.tar.gz. The
# version is the CMake project's.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-release.sh
echo "== assemble the kit" >&2
cmake --build build/release-64 --target kit
