#!/usr/bin/env bash
# Models that misbehave, run by the stand-in: each is reported with its file,
# entry point, call and what happened; the run keeps what it had measured
# (the tables, results.json marked incomplete with the details), exits 1 and
# leaves no host process behind.
# Usage: containment_test.sh AMISIM MODEL FAKE_MODEL_DIR
set -uo pipefail
amisim=$1
model=$2
fakes=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/../testing/cli_expect.sh"

# The fakes are copied into this test's folder, so that the hosts that load
# them name this folder on their command line, and only theirs.
for fake in model_crashes_in_init model_crashes_at_call_3 model_hangs_in_getwave model_exits \
    model_overruns_clock_times; do
    cp "$fakes/$fake.so" "$work/"
done
details() { /usr/bin/python3 -c "import json,sys; r=json.load(open(sys.argv[1]));
f=r['failure_details'] or {}; print(r['complete'], f.get('model'), f.get('entry_point'), f.get('call'), f.get('what'), f.get('array'))" "$1"; }

# ROLE FAKE EXTRA-OPTIONS | the message | what results.json says
while IFS='|' read -r role fake options message recorded; do
    if [ "$role" = tx ]; then
        models=("$work/$fake.so" --params '(Misbehaving)')
    else
        models=("$model" --rx "$work/$fake.so" --rx-params '(Misbehaving)')
    fi
    # shellcheck disable=SC2086
    expect 1 "$message" -- "${models[@]}" --bits 2000 --bits-per-call 64 $options \
        --out "$work/$fake"
    check "$fake: results.json says $recorded" test "$(details "$work/$fake/results.json")" = "$recorded"
done <<'EOT'
tx|model_crashes_in_init||model_crashes_in_init.so: AMI_Init \(call 1, .*\) was ended by signal 11|False transmitter AMI_Init 1 signal None
tx|model_crashes_at_call_3||AMI_GetWave \(call 3, 2048 samples\) was ended by signal 11|False transmitter AMI_GetWave 3 signal None
tx|model_exits||model_exits.so: AMI_GetWave .*exit|False transmitter AMI_GetWave 2 exit None
rx|model_overruns_clock_times||clock_times|False receiver AMI_GetWave 1 overrun clock_times
rx|model_hangs_in_getwave|--call-limit 0.3|model_hangs_in_getwave.so: AMI_GetWave .*0.3|False receiver AMI_GetWave 2 hang None
EOT

# A run that stopped in the stream prints what it measured before.
expect 1 'incomplete: .*call 3' -- "$work/model_crashes_at_call_3.so" --params '(Misbehaving)' \
    --bits 2000 --bits-per-call 64 --out "$work/partial"
check "the tables of the partial run are printed" grep -q '^eye over 2 UI' "$work/last.txt"

sleep 0.2
check "no host process is left" bash -c "! pgrep -f '[a]misim-host-[36][24] $work/'"
finish amisim_containment
