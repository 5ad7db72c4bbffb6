#!/usr/bin/env bash
# The modulation from the command line: where it comes from (a receiver's
# .ami file, the command line over it) and what the run says of it, the
# model told through the parameter its file ties to the modulation, the
# files of a PAM4 run, and options that cannot be, each with its message and
# exit status 2. The figures are the pipeline tests'.
# Usage: modulation_test.sh AMISIM MODEL FAKE_MODEL_DIR
set -uo pipefail
amisim=$1
model=$2
fakes=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/../testing/cli_expect.sh"

# A receiver whose file declares PAM4 with thresholds, and a parameter of
# its own tied to the modulation (the fake receiver ignores it).
mkdir "$work/pam"
cp "$fakes/fake_rx_model.so" "$work/pam/Pam_Rx.so"
cat >"$work/pam/Pam_Rx.ami" <<'EOF'
(Pam_Rx
    (Reserved_Parameters
        (AMI_Version (Usage Info) (Type String) (Value "7.1"))
        (Modulation (Usage Info) (Type String) (Value "PAM4"))
        (PAM4_Mapping (Usage Info) (Type String) (Value "Gray"))
        (PAM4_LowerThreshold (Usage Info) (Type Float) (Value -0.12))
        (PAM4_CenterThreshold (Usage Info) (Type Float) (Value 0.0))
        (PAM4_UpperThreshold (Usage Info) (Type Float) (Value 0.12)))
    (Model_Specific
        (Line_Modulation (Usage In) (Type String) (List "NRZ" "PAM4") (Default "NRZ"))))
EOF
link=("$model" --rx "$work/pam/Pam_Rx.so" --rx-set D=3 --bits 3000)

expect 0 'modulation: PAM4 \(the models. files\), levels -0.5 -0.1667 \+0.1667 \+0.5 V, 2 bits a symbol, Gray mapping' \
    -- "${link[@]}" --out "$work/file"
check "the file's thresholds, from the highest eye" \
    grep -q 'thresholds: upper 0.12 V (file), centre 0 V (file), lower -0.12 V (file)' "$work/last.txt"
check "the simulation in symbols" grep -q '32 samples per symbol (10 GBd, 20 Gb/s), 3000 PAM4 symbols' \
    "$work/last.txt"
check "the tied parameter set" grep -q "the receiver's Line_Modulation set to PAM4" "$work/last.txt"
check "and sent under the root name of the model's echo" grep -q 'rx parameters: (Fake_Rx (D 3) (Line_Modulation PAM4))' "$work/last.txt"
check "a table of the three eyes at the clock" \
    grep -q -E '^at Rx clock: PAM4 eyes +upper +centre +lower$' "$work/last.txt"
check "results.json: the thresholds and their source" python3 -c "
import json, sys
m = json.load(open('$work/file/results.json'))['modulation']
sys.exit(not (m['thresholds_v'] == [-0.12, 0, 0.12] and m['threshold_sources'] == ['file'] * 3))"
check "bathtub.csv: a column a place and eye" \
    grep -q '^phase_ui,offset_samples,before_upper_V,before_centre_V,before_lower_V,after_upper_V' \
    "$work/file/bathtub.csv"

expect 0 'thresholds from the command line override the file.s' -- "${link[@]}" \
    --thresholds -0.1,0.01,0.1 --mapping natural --rx-noise 0.01 --out "$work/command"
check "the command line's thresholds" \
    grep -q 'thresholds: upper 0.1 V (command line), centre 0.01 V (command line)' "$work/last.txt"
check "natural mapping from the command line" \
    grep -q 'natural mapping from the command line overrides the file.s Gray' "$work/last.txt"
check "the symbol and bit error rates" grep -q -E '^  bit error rate +[0-9.e+-]+ +[0-9.e+-]+$' \
    "$work/last.txt"
check "ber_contours.csv: each eye's" grep -q '^phase_ui,lower_lower_0.001,lower_upper_0.001' \
    "$work/command/ber_contours.csv"

expect 0 'NRZ from the command line overrides the file.s PAM4' -- "${link[@]}" --modulation NRZ \
    --rx-set Line_Modulation=PAM4 --out "$work/nrz"
check "the file's thresholds left out for NRZ" \
    grep -q "the file's thresholds and eye offsets left out: they are for PAM4" "$work/last.txt"
check "a tied parameter given that disagrees is said" \
    grep -q "the receiver's Line_Modulation is PAM4 (as given), but the run is NRZ" "$work/last.txt"
check "NRZ's eye table" grep -q -E '^eye over 2 UI +Rx input' "$work/last.txt"

expect 0 'simulation: 1.5625e-12 s per sample, 32 samples per symbol \(20 GBd, 40 Gb/s\)' -- \
    "$model" --modulation pam4 --symbol-rate 20e9 --bits 500 --out "$work/rate"

expect 2 "--modulation: 'PAM33' is not NRZ, PAM4 or PAM<n> for n from 2 to 32" -- --modulation PAM33
expect 2 "--mapping: 'binary' is not gray or natural" -- --mapping binary
expect 2 "--thresholds: '0.1,,0.2' is not a list of volts" -- --thresholds 0.1,,0.2
expect 2 'the modulation: 2 thresholds for the 3 eyes of PAM4' -- "$model" --modulation PAM4 \
    --thresholds -0.1,0.1
expect 2 'the modulation: thresholds not finite or not ascending' -- "$model" --thresholds 0.1,0,-0.1 \
    --modulation PAM4
expect 2 '--symbol-rate and --sample-interval both set the sample interval' -- "$model" \
    --symbol-rate 10e9 --sample-interval 1e-12

finish amisim_modulation
