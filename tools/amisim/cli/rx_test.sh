#!/usr/bin/env bash
# The whole link from the command line: the transmitter, the channel and a
# receiver (the figures against receivers of known behaviour are the
# pipeline tests'). The kit's example receiver must open the eye; a link
# writes its files; wrong receiver options and receivers that fail give a
# clear message and the right exit status.
# Usage: rx_test.sh AMISIM MODEL FAKE_MODEL_DIR ARCH(32|64)
set -uo pipefail
amisim=$1
model=$2
fakes=$3
arch=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/../testing/cli_expect.sh"

# The value of a row of the last run's eye table: column 1 Rx input, 2 Rx
# output, 3 at the Rx clock.
eye_value() { awk -v row="$1" -v column="$2" 'index($0, row) == 3 { print $(NF - 3 + column) }' "$work/last.txt"; }
# a > b for numbers.
greater() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a + 0 > b + 0) }'; }

rx=$fakes/fake_rx_model.so
gain=$fakes/vendor_gain_model.so

# --- The default receiver is the kit's example beside the program, and it
# opens the eye of the pre-emphasised link over the built-in channel.
# AMISIM_EXAMPLE_RX=0: a build without the example (the sanitizer builds).
if [ "${AMISIM_EXAMPLE_RX:-1}" = 0 ]; then
    echo "the example receiver is not built here: its checks are left out"
else
    expect 0 "receiver: +.*/Example_Rx_$arch\.so" -- "$model" --set TX_Corner=1 --set TX_Preemph=1 \
        --out "$work/example" --rx
    check "the example's echo is its own" grep -q 'Rx AMI_Init output parameters' "$work/last.txt"
    input=$(eye_value "eye height at best phase" 1)
    output=$(eye_value "eye height at best phase" 2)
    clocked=$(eye_value "eye height at best phase" 3)
    check "the example Rx opens the eye: $input V at its input, $output V after it" \
        greater "$output" "$input"
    check "the eye at the example's clock ($clocked V) is more open than at its input" \
        greater "$clocked" "$input"
    check "the example's CDR returned ticks" grep -q -E 'Rx clock: [0-9]{4} ticks returned' "$work/last.txt"
    for file in impulse_rx.csv eye_before.svg eye_after.svg eye_clock.svg pulse.svg bathtub.svg report.svg; do
        check "$file written by a link run" test -s "$work/example/$file"
    done
    check "bathtub.csv has a column at the clock" grep -q '^phase_ui,offset_samples,before_V,after_V,at_clock_V$' \
        "$work/example/bathtub.csv"
    expect 0 "receiver: +.*/Example_Rx_$arch\.so" -- "$model" --out "$work/example" \
        --rx --rx-set DFE_Mode=off --bits 64
    check "--rx-set goes under the example's root name" grep -q 'rx parameters: (Example_Rx (DFE_Mode off))' \
        "$work/last.txt"
fi

echo 3.2e11 >"$work/delta.txt"
# A receiver that returns no ticks: the eye after it at its best phase.
expect 0 'none in the eye; the eye after the receiver is taken at its best phase' -- "$gain" \
    --channel "$work/delta.txt" --samples-per-bit 16 --bits 500 --rx "$rx" --rx-set T=0 \
    --out "$work/no-ticks"
check "no ticks: the clock's column is n/a" test "$(eye_value "eye width (UI)" 3)" = n/a
check "no ticks: results.json has no eye at the clock" \
    bash -c "! grep -q at_rx_clock '$work/no-ticks/results.json'"
check "no ticks: no eye_clock.svg" test ! -e "$work/no-ticks/eye_clock.svg"

# --- A library that is only an ELF header is refused with the loader's
# own words, whatever its word size.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\003\000\003\000' >"$work/i386.so"
expect 2 'the receiver cannot load the model: .*i386.so: file too short' -- "$model" --rx "$work/i386.so"

# --- Wrong receiver options and receivers that fail.
expect 2 '--rx-set sets the receiver.s parameters; it needs --rx' -- "$model" --rx-set a=1
expect 2 '--rx-params sets the receiver.s parameters; it needs --rx' -- "$model" --rx-params '(x)'
expect 2 'either --rx-params or --rx-set' -- --rx "$rx" --rx-params '(x)' --rx-set a=1
expect 2 "--rx-set: 'broken' is not NAME=VALUE" -- --rx "$rx" --rx-set broken
expect 2 '--rx given twice' -- --rx "$rx" --rx "$rx"
expect 2 'the receiver .*missing.so' -- "$model" --rx "$work/missing.so"
echo "not a library" >"$work/text.so"
expect 2 'the receiver .*not a shared library' -- "$model" --rx "$work/text.so"
expect 2 'has no AMI_Close' -- "$model" --rx "$fakes/vendor_no_close.so" --bits 64
expect 1 "the receiver's AMI_Init returned 0" -- "$model" --rx "$fakes/vendor_init_fails.so" \
    --rx-params '(x)' --bits 64
expect 1 "the receiver's AMI_GetWave returned 0 at sample 8192" -- "$model" \
    --rx "$fakes/vendor_getwave_fails.so" --bits 1000
expect 1 "the transmitter's AMI_GetWave returned 0 at sample 8192" -- "$fakes/vendor_getwave_fails.so" \
    --rx "$rx" --bits 1000

finish amisim_rx
