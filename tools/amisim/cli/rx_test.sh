#!/usr/bin/env bash
# The whole link from the command line: the transmitter, the channel and a
# receiver. Against a receiver of known behaviour (fake_rx_model: a delay of
# D samples, a gain G, clock ticks at a known phase P) the results are known
# in closed form; the kit's example receiver must open the eye; models of
# two word sizes are refused; wrong receiver options and failing receivers
# give a clear message and the right exit status.
# Usage: rx_test.sh AMISIM MODEL FAKE_MODEL_DIR ARCH(32|64)
# AMISIM_RUNNER, when set, is the command that runs AMISIM (an emulator).
set -uo pipefail
amisim=$1
model=$2
fakes=$3
arch=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/../testing/cli_expect.sh"

# check DESCRIPTION COMMAND...: a condition on what a run left.
check() {
    local what=$1
    shift
    if "$@"; then passed=$((passed + 1)); else
        failed=$((failed + 1)); echo "FAILED: $what"; fi
}

# The value of a row of the last run's eye table: column 1 Rx input, 2 Rx
# output, 3 at the Rx clock.
eye_value() { awk -v row="$1" -v column="$2" 'index($0, row) == 3 { print $(NF - 3 + column) }' "$work/last.txt"; }
# a OP b for numbers; == within the 6 digits the summary prints.
compare() { awk -v a="$1" -v op="$2" -v b="$3" 'BEGIN {
    if (op == "==") exit !((a - b) ^ 2 <= 1e-10 * b * b); if (op == ">") exit !(a + 0 > b + 0); exit 1 }'; }

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
        compare "$output" ">" "$input"
    check "the eye at the example's clock ($clocked V) is more open than at its input" \
        compare "$clocked" ">" "$input"
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

# --- A delay of 3 samples and a gain of 0.5: the combined impulse response
# is the transmitted one delayed and halved, every column (exact: halving
# is exact in binary), and the eye after the receiver is half the eye
# before it, as wide.
{
    echo "# time, through, one aggressor"
    for i in $(seq 0 199); do echo "$i.0e-12 $(( (i * 37) % 101 ))e8 $(( (i * 11) % 29 ))e7"; done
} >"$work/aggressor.txt"
expect 0 'rx parameters: \(Fake_Rx \(D 3\) \(G 0.5\)\)' -- "$model" --channel "$work/aggressor.txt" \
    --samples-per-bit 8 --bits 600 --set TX_Preemph=1 --rx "$rx" --rx-set D=3 --rx-set G=0.5 \
    --out "$work/delay"
check "impulse_rx.csv is impulse_after.csv delayed by 3 samples and halved, in every column" \
    awk -F, 'NR == FNR { for (c = 2; c <= NF; ++c) after[FNR, c] = $c; next }
             FNR == 1 { next }
             { for (c = 2; c <= NF; ++c) {
                   want = FNR - 3 >= 2 ? after[FNR - 3, c] / 2 : 0
                   if ($c + 0 != want + 0) { print "row " FNR " column " c ": " $c " != " want; bad = 1 } } }
             END { exit bad }' "$work/delay/impulse_after.csv" "$work/delay/impulse_rx.csv"
expect 0 'Rx clock' -- "$model" --set TX_Corner=1 --set TX_Preemph=1 --rx "$rx" --rx-set D=3 \
    --rx-set G=0.5 --out "$work/half"
check "the eye after a gain of 0.5 is half as high" \
    compare "$(eye_value "eye height at best phase" 2)" "==" \
    "$(awk -v h="$(eye_value "eye height at best phase" 1)" 'BEGIN { print h / 2 }')"
check "and as wide" compare "$(eye_value "eye width (UI)" 2)" "==" "$(eye_value "eye width (UI)" 1)"

# --- The eye is sampled at the ticks returned. Over a channel of one
# sample (the waveform is the NRZ stimulus itself, 16 samples a bit, the
# bit grid's centre in the middle of each bit), ticks at samples n = P
# (mod 16) put the sampling instants P samples after the middle of the
# bits: the phase is P/16 UI, the same at every tick, and the eye at the
# clock is open (1 V) over the 16 - |P| phases that stay inside the bit,
# closed (-1 V: a 1 and a 0 swapped) at the others.
echo 3.2e11 >"$work/delta.txt"
# P, the phase's sign and size (UI), the width (UI), the bathtub at -0.500, -0.250, +0.000,
# +0.250 and +0.438 UI
while read -r p sign phase width b1 b2 b3 b4 b5; do
    expect 0 "Rx sampling phase from the bit grid: mean [$sign]$phase UI, spread 0.0000 UI rms" -- \
        "$gain" --channel "$work/delta.txt" --samples-per-bit 16 --bits 2000 --rx "$rx" \
        --rx-set P="$p" --out "$work/ticks"
    check "P=$p: eye width at the clock $width UI" test "$(eye_value "eye width (UI)" 3)" = "$width"
    check "P=$p: the eye before the clock is open at every phase" \
        test "$(eye_value "eye width (UI)" 2)" = 1.000
    got=$(for row in -0.500 -0.250 +0.000 +0.250 +0.438; do eye_value "bathtub at $row UI" 3; done | xargs)
    check "P=$p: bathtub at the clock $got, wanted $b1 $b2 $b3 $b4 $b5" test "$got" = "$b1 $b2 $b3 $b4 $b5"
done <<EOT
0 + 0.0000 1.000 1 1 1 1 1
4 + 0.2500 0.750 1 1 1 -1 -1
-4 - 0.2500 0.750 -1 1 1 1 1
6 + 0.3750 0.625 1 1 1 -1 -1
-7 - 0.4375 0.562 -1 -1 1 1 1
EOT

# A receiver that returns no ticks: the eye after it at its best phase.
expect 0 'none in the eye; the eye after the receiver is taken at its best phase' -- "$gain" \
    --channel "$work/delta.txt" --samples-per-bit 16 --bits 500 --rx "$rx" --rx-set T=0 \
    --out "$work/no-ticks"
check "no ticks: the clock's column is n/a" test "$(eye_value "eye width (UI)" 3)" = n/a
check "no ticks: no eye_clock.svg" test ! -e "$work/no-ticks/eye_clock.svg"

# --- Models of two word sizes are refused before anything runs: the header
# of an i386 shared library is enough to tell.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\003\000\003\000' >"$work/i386.so"
printf '\177ELF\002\001\001\000\000\000\000\000\000\000\000\000\003\000\076\000' >"$work/x86_64.so"
other=$work/i386.so
[ "$arch" = 32 ] && other=$work/x86_64.so
expect 2 'must have one word size' -- "$model" --rx "$other"
expect 2 "the transmitter .* is a ($arch)-bit library and the receiver" -- "$model" --rx "$other"

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

echo "amisim_rx: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
