#!/usr/bin/env bash
# The transmitter and the receiver in hosts of their own word sizes: every
# pairing of the 32-bit and 64-bit builds of the model and of the example
# receiver gives the figures, responses, waveforms and pictures of the
# all-64-bit link run in the stand-in's own process, bit for bit, and
# --in-process refuses a 32-bit model.
# Needs the 32-bit builds in dist/; skipped (77) when they are missing.
# Usage: mixed_word_sizes_test.sh DIST
set -uo pipefail
dist=$1
for file in amisim amisim-host-32 Halvorin_7314_Tx_32.so Halvorin_7314_Tx_64.so Example_Rx_32.so \
    Example_Rx_64.so; do
    if [ ! -e "$dist/$file" ]; then
        echo "skipped: $dist/$file is not built"
        exit 77
    fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/../../../tests/support/shell_check.sh"

link=(--set TX_Corner=-1 --set TX_Preemph=1 --rx-set DFE_Taps=3 --bits 3000 --waves
      --channel "$(dirname "$0")/../examples/line_pair.s4p")
# The printed report without what names the files or times the run.
figures() { grep -v -e '^model:' -e '^receiver:' -e '^run:' -e 'ns/sample' -e '^files:' \
    -e '^results:' "$1"; }
check "the all-64-bit link runs in the stand-in's process" bash -c "'$dist/amisim' --in-process \
    '$dist/Halvorin_7314_Tx_64.so' --rx '$dist/Example_Rx_64.so' ${link[*]@Q} \
    --out '$work/in-process' >'$work/in-process.txt' 2>&1"
for tx in 64 32; do
    for rx in 64 32; do
        check "Tx $tx-bit with Rx $rx-bit runs" bash -c "'$dist/amisim' '$dist/Halvorin_7314_Tx_$tx.so' \
            --rx '$dist/Example_Rx_$rx.so' ${link[*]@Q} --out '$work/$tx-$rx' >'$work/$tx-$rx.txt' 2>&1"
        check "Tx $tx-bit with Rx $rx-bit reports the figures of the link in one process" \
            diff <(figures "$work/in-process.txt") <(figures "$work/$tx-$rx.txt")
        for file in impulse_after.csv impulse_rx.csv wave_before.csv wave_after.csv bathtub.csv \
            eye_before.svg eye_after.svg eye_clock.svg pulse.svg bathtub.svg; do
            check "Tx $tx-bit with Rx $rx-bit: $file as in one process" \
                cmp "$work/in-process/$file" "$work/$tx-$rx/$file"
        done
    done
done
check "--in-process refuses a 32-bit model" bash -c "! '$dist/amisim' --in-process \
    '$dist/Halvorin_7314_Tx_32.so' --out '$work/refused' 2>&1 | grep -q 'leave --in-process out'; \
    [ \${PIPESTATUS[0]} -eq 2 ]"
finish amisim_mixed_word_sizes
