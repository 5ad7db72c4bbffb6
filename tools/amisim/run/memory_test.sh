#!/usr/bin/env bash
# A run streams: twenty times the bits must not take more memory. Runs the
# stand-in at two bit counts under /usr/bin/time and compares the largest
# resident set sizes. Keeping one waveform of the longer run would add
# 400000 bits x 32 samples x 8 bytes, about 100 MB.
# Usage: memory_test.sh AMISIM MODEL
set -uo pipefail
amisim=$1
model=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ ! -x /usr/bin/time ]; then
    echo "/usr/bin/time is missing (apt-get install time)"
    exit 1
fi
peak_kb() {
    /usr/bin/time -f '%M' -o "$work/rss" "$amisim" "$model" --set TX_Corner=1 --set TX_Preemph=1 \
        --bits "$1" --out "$work/out" >/dev/null 2>"$work/err" || { cat "$work/err"; exit 1; }
    cat "$work/rss"
}
small=$(peak_kb 20000)
large=$(peak_kb 400000)
echo "largest resident set: $small kB for 20000 bits, $large kB for 400000 bits"
# Allow for the allocator's and the kernel's noise: a quarter more and 4 MB.
if [ "$large" -gt $((small + small / 4 + 4096)) ]; then
    echo "memory grows with the number of bits"
    exit 1
fi
