#!/usr/bin/env bash
# dist/amisim given the 32-bit model runs it through the 32-bit stand-in and
# gets the same figures, waveforms and pictures as the 64-bit model, bit for
# bit. Usage: hand_over_test.sh DIST
set -uo pipefail
dist=$1
for file in amisim amisim-i386 Halvorin_7314_Tx_32.so Halvorin_7314_Tx_64.so; do
    if [ ! -e "$dist/$file" ]; then
        echo "skipped: $dist/$file is not built"
        exit 77
    fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A channel from a file, so that both runs start from the same bits (the
# built-in channel comes from each word size's own libm), and short (48
# samples), so that both builds sum the convolution directly: the i386
# build has no FFT, and the direct sums are the same on both word sizes.
awk 'BEGIN { for (n = 0; n < 48; n++) printf "%.17g\n", 4e10 * exp(-n / 9.0) * (1 - exp(-n / 3.0)) }' \
    >"$work/channel.txt"
args=(--set TX_Corner=-1 --set TX_Preemph=1 --bits 600 --samples-per-bit 16 --waves
      --channel "$work/channel.txt")
"$dist/amisim" "$dist/Halvorin_7314_Tx_64.so" "${args[@]}" --out "$work/64" >"$work/64.txt" 2>&1 || {
    cat "$work/64.txt"; exit 1; }
"$dist/amisim" "$dist/Halvorin_7314_Tx_32.so" "${args[@]}" --out "$work/32" >"$work/32.txt" 2>&1 || {
    cat "$work/32.txt"; exit 1; }
if ! grep -q '^convolution: direct sums over 48 taps' "$work/64.txt"; then
    echo "the 64-bit run did not sum directly"
    exit 1
fi
# The reports differ only in the model's path, the timings and the folder.
filter() { grep -v -e '^model:' -e '^run:' -e 'ns/sample' -e '^files:' -e '^report:' -e '^results:' "$1"; }
if ! diff <(filter "$work/64.txt") <(filter "$work/32.txt"); then
    echo "the 32-bit run reports differently"
    exit 1
fi
# Both word sizes compute bit-identical waveforms, eyes and pictures.
for file in impulse_after.csv wave_before.csv wave_after.csv bathtub.csv eye_before.svg \
    eye_after.svg pulse.svg bathtub.svg; do
    cmp "$work/64/$file" "$work/32/$file" || exit 1
done

# A Touchstone channel: only the 64-bit stand-in reads it (the conversion
# needs its FFT), so it converts the file, hands the impulse response over
# in a temporary channel file and removes that file afterwards. Both word
# sizes then measure the same pulse response.
mkdir "$work/tmp"
touchstone=(--channel "$(dirname "$0")/../examples/line_pair.s4p" --ports 1,3,2,4 --samples-per-bit 8
            --sample-interval 12.5e-12 --bits 300 --convolution direct)
TMPDIR="$work/tmp" "$dist/amisim" "$dist/Halvorin_7314_Tx_32.so" "${touchstone[@]}" \
    --out "$work/ts32" >"$work/ts32.txt" 2>&1 || { cat "$work/ts32.txt"; exit 1; }
"$dist/amisim" "$dist/Halvorin_7314_Tx_64.so" "${touchstone[@]}" --out "$work/ts64" \
    >"$work/ts64.txt" 2>&1 || { cat "$work/ts64.txt"; exit 1; }
if ! grep -q '^channel (converted for the other stand-in): .*line_pair.s4p: Touchstone' \
    "$work/ts32.txt" || ! grep -q '^channel: .*amisim-channel-.*time column' "$work/ts32.txt"; then
    echo "the 32-bit run did not get the converted channel"
    cat "$work/ts32.txt"
    exit 1
fi
if [ -n "$(ls -A "$work/tmp")" ]; then
    echo "the temporary channel file was left behind: $(ls "$work/tmp")"
    exit 1
fi
pulse() { sed -n '/^pulse response/,/^$/p' "$1"; }
if ! diff <(pulse "$work/ts64.txt") <(pulse "$work/ts32.txt") || [ -z "$(pulse "$work/ts32.txt")" ]; then
    echo "the 32-bit run measures the Touchstone channel differently"
    exit 1
fi
echo "hand-over: 32-bit model ran through amisim-i386 with identical results, Touchstone too"

# The whole link with both models 32-bit: handed over with the receiver's
# options, run with the 32-bit example receiver, the same results as the
# 64-bit link. A 64-bit transmitter with a 32-bit receiver is refused.
if [ -e "$dist/Example_Rx_32.so" ] && [ -e "$dist/Example_Rx_64.so" ]; then
    link=("${args[@]}" --rx --rx-set DFE_Taps=3)
    "$dist/amisim" "$dist/Halvorin_7314_Tx_64.so" "${link[@]}" --out "$work/link64" \
        >"$work/link64.txt" 2>&1 || { cat "$work/link64.txt"; exit 1; }
    "$dist/amisim" "$dist/Halvorin_7314_Tx_32.so" "${link[@]}" --out "$work/link32" \
        >"$work/link32.txt" 2>&1 || { cat "$work/link32.txt"; exit 1; }
    grep -q 'receiver: .*/Example_Rx_32\.so' "$work/link32.txt" || {
        echo "the 32-bit link did not run the 32-bit example receiver"; exit 1; }
    grep -q 'rx parameters: (Example_Rx (DFE_Taps 3))' "$work/link32.txt" || {
        echo "the receiver's options were not handed over"; exit 1; }
    filter_link() { filter "$1" | grep -v -e '^receiver:' -e 'AMI_GetWave:'; }
    if ! diff <(filter_link "$work/link64.txt") <(filter_link "$work/link32.txt"); then
        echo "the 32-bit link reports differently"
        exit 1
    fi
    for file in impulse_rx.csv wave_after.csv bathtub.csv eye_clock.svg; do
        cmp "$work/link64/$file" "$work/link32/$file" || exit 1
    done
    if "$dist/amisim" "$dist/Halvorin_7314_Tx_64.so" --rx "$dist/Example_Rx_32.so" \
        >"$work/mixed.txt" 2>&1; then
        echo "a 64-bit transmitter with a 32-bit receiver was not refused"; exit 1
    fi
    grep -q 'must have one word size' "$work/mixed.txt" || { cat "$work/mixed.txt"; exit 1; }
    echo "hand-over: the 32-bit link ran through amisim-i386 with identical results"
fi
