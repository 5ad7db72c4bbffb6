#!/usr/bin/env bash
# Builds the model and the stand-in simulator for x86-64 and i386, then runs
# the model as a channel simulator would, with pre-emphasis on, over the
# built-in channel. Extra arguments go to amisim (see dist/amisim --help).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-release.sh
echo "== dist/amisim --set TX_Corner=1 --set TX_Preemph=1 $*" >&2
exec dist/amisim --set TX_Corner=1 --set TX_Preemph=1 "$@"
