#!/usr/bin/env bash
# The stand-in simulator from the command line: the model end to end, another
# vendor's model, and input that is wrong in many ways, each of which must
# give a clear message and a non-zero exit, never a crash.
# Usage: cli_test.sh AMISIM MODEL FAKE_MODEL_DIR
set -uo pipefail
amisim=$1
model=$2
fakes=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/../testing/cli_expect.sh"

out="--out $work/out"
expect 0 'Usage: amisim' -- --help
expect 0 '--waves' -- --help
expect 0 'AMI_GetWave: 131072 samples in 16 calls' -- "$model" $out
for file in impulse_before.csv impulse_after.csv bathtub.csv eye_before.svg eye_after.svg \
    pulse.svg bathtub.svg; do
    check "$file written" test -s "$work/out/$file"
done
check "no waveform CSVs without --waves" test ! -e "$work/out/wave_before.csv"
check "no error-rate page without the analysis" test ! -e "$work/out/report_ber.svg"
check "bathtub.csv has a row a phase" test "$(wc -l <"$work/out/bathtub.csv")" -eq 33

# The summary of a run: the parameters as sent, the bits left out of a
# short run (the figures themselves are the pipeline tests').
run=(--set TX_Corner=1 --set TX_Preemph=1)
expect 0 'parameters: \(Halvorin_7314_Tx \(TX_Corner 1\) \(TX_Preemph 1\)\)' -- "$model" $out \
    "${run[@]}" --bits 64
expect 0 'the first 32 left out, fewer than the 129 the channel needs' -- "$model" $out \
    "${run[@]}" --bits 64
check "results.json written beside the report" test -s "$work/out/results.json"

# The convolution: chosen by the channel's length, or as asked.
expect 0 'convolution: direct sums over 4096 taps' -- "$model" $out "${run[@]}" \
    --convolution direct
expect 0 'convolution: FFT overlap-add, 32768-point transforms' -- "$model" $out --bits 16
expect 0 'run: 512 samples through the channel \(FFT overlap-add\)' -- "$model" $out \
    --bits 16 --convolution fft
expect 2 "--convolution: 'fast' is not one of auto, direct, fft" -- --convolution fast

# Every sample on request, as many rows as samples and a header.
expect 0 'wave_before.csv, wave_after.csv' -- "$model" --out "$work/waves" --bits 40 --waves
check "wave_after.csv holds every sample" test "$(wc -l <"$work/waves/wave_after.csv")" -eq 1281
check "wave_before.csv holds every sample" test "$(wc -l <"$work/waves/wave_before.csv")" -eq 1281

# A run whose stderr is not a terminal shows no progress bar.
errors=$("$amisim" "$model" $out --bits 2000 2>&1 >/dev/null)
check "nothing on stderr without a terminal" test -z "$errors"

# Another vendor's model, with its own root name and parameter.
expect 0 'Vendor_Gain \(G 2\)' -- "$fakes/vendor_gain_model.so" $out --set G=2 --bits 64
expect 1 'AMI_Init returned 0' -- "$fakes/vendor_init_fails.so" $out --bits 64
expect 1 'refusing to start' -- "$fakes/vendor_init_fails.so" $out --params '(x)' --bits 64
expect 2 'has no AMI_Close' -- "$fakes/vendor_no_close.so" $out
expect 1 "AMI_GetWave returned 0 at sample 8192" -- "$fakes/vendor_getwave_fails.so" $out --bits 1000
check "a run that failed leaves results.json marked incomplete" \
    grep -q '"complete": false' "$work/out/results.json"

# Wrong libraries.
expect 2 'cannot open|No such file' -- "$work/missing.so"
echo "not a library" >"$work/text.so"
expect 2 'not a shared library' -- "$work/text.so"
expect 2 'not an IBIS-AMI model' -- "$fakes/vendor_not_a_model.so"

# Wrong options.
expect 2 'unknown option' -- --frobnicate
expect 2 'needs a value' -- --bits
expect 2 "--bits: 'many' is not a whole number" -- --bits many
expect 2 "--bits: '20000000000' is not a whole number from 1 to 10000000000" -- --bits 20000000000
expect 2 "--samples-per-bit: '0'" -- --samples-per-bit 0
expect 2 "--sample-interval: '-1e-12'" -- --sample-interval -1e-12
expect 2 "--sample-interval: 'nan'" -- --sample-interval nan
expect 2 "--prbs: '8'" -- --prbs 8
expect 2 'not NAME=VALUE' -- --set TX_Corner
expect 2 'either --params or --set' -- --params '(x)' --set a=1
expect 2 'more than one model' -- a.so b.so
expect 2 'at most 4194304 are allowed in one AMI_GetWave call' -- --bits-per-call 100000 \
    --samples-per-bit 64

# Wrong channel files.
expect 2 'cannot open the channel file' -- "$model" --channel "$work/none.txt"
printf '# only a comment\n\n' >"$work/empty.txt"
expect 2 'no samples' -- "$model" --channel "$work/empty.txt"
printf '1e9\n2e9\nabc\n' >"$work/word.txt"
expect 2 "word.txt:3: 'abc' is not a number" -- "$model" --channel "$work/word.txt"
printf '0 1e9 0\n1e-12 2e9\n' >"$work/ragged.txt"
expect 2 'ragged.txt:2: 2 columns where the first data line has 3' -- "$model" --channel "$work/ragged.txt"
printf '0,1e11\n1e-12,5e10\n2e-12,1e10\n' >"$work/timed.txt"
expect 2 'differs from --sample-interval' -- "$model" --channel "$work/timed.txt" \
    --sample-interval 2e-12
expect 0 'simulation: 1e-12 s per sample' -- "$model" $out --channel "$work/timed.txt" --bits 16

# A channel file with aggressors: every column goes through AMI_Init.
{
    echo "# time, through, two aggressors"
    for i in $(seq 0 99); do echo "$i.0e-12 1e9 5e8 -5e8"; done
} >"$work/aggressors.txt"
expect 0 '100 samples, time column, 2 aggressor' -- "$model" $out --channel "$work/aggressors.txt" \
    --samples-per-bit 8 --bits 32 --set TX_Preemph=1
check "impulse_after.csv has the aggressor columns" \
    grep -q '^time_s,through,aggressor_1,aggressor_2$' "$work/out/impulse_after.csv"

# The error-rate analysis: its files; the jitter and noise a model's .ami
# file beside it declares, the command line's values over them; wrong values.
expect 0 'errors at the decisions' -- "$model" --out "$work/ber" --bits 2000 --rx-noise 0.05
for file in ber_time_bathtub.csv ber_voltage_bathtub.csv ber_contours.csv tie_histogram.csv \
    report_ber.svg; do
    check "$file written" test -s "$work/ber/$file"
done
mkdir "$work/ami"
cp "$model" "$work/ami/Some_Tx_64.so"
printf '(Some_Tx (Reserved_Parameters\n (Tx_Rj (Usage Info) (Type Float) (Value 2e-13))\n (Rx_Noise (Usage Info) (Type Float) (Value 0.01))))\n' >"$work/ami/Some_Tx.ami"
expect 0 'Tx_Rj = 2e-13 s \(Value\) from .*Some_Tx.ami' -- "$work/ami/Some_Tx_64.so" $out --bits 2000
expect 0 'Tx_Rj = 0.01 UI = 1e-12 s \(command line\)' -- "$work/ami/Some_Tx_64.so" $out --bits 2000 \
    --tx-rj 0.01UI
check "the command line's Tx_Rj in results.json" \
    grep -q -E '"rj_s": (1e-12|9.99999999999999[0-9]*e-13)' "$work/out/results.json"
check "the file's Rx_Noise in results.json" grep -q '"rx_noise_v": 0.01' "$work/out/results.json"
for i in $(seq 0 63); do echo "2e8"; done >"$work/coupling.txt"
expect 0 'aggressor 1: ' -- "$model" $out --bits 2000 --aggressor "$work/coupling.txt"
expect 2 'sinusoidal jitter needs its frequency: give --tx-sj-frequency' -- "$model" --tx-sj 1e-12
expect 2 "--rx-rj: 'fast' is not a time in seconds" -- --rx-rj fast
expect 2 "--rx-noise: '-1' is not a voltage" -- --rx-noise -1
expect 2 "--target-ber: '0.5' is not an error rate" -- --target-ber 0.5
expect 2 'cannot open the channel file' -- "$model" --aggressor "$work/none.txt"

finish amisim_cli
