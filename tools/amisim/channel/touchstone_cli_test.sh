#!/usr/bin/env bash
# Touchstone channels from the command line: the built-in line written as a
# 4-port pair and a 2-port by amisim_line_touchstone (its closed form), run
# end to end against the model and compared with the built-in channel; and
# wrong files and port lists, each a clear message and exit status 2.
# Usage: touchstone_cli_test.sh AMISIM MODEL LINE_TOUCHSTONE
set -uo pipefail
amisim=$1
model=$2
writer=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/../testing/cli_expect.sh"

"$writer" "$work/pair.s4p" 10e6 50e9 MA || exit 1
"$writer" "$work/line.s2p" 10e6 50e9 DB || exit 1
out="--out $work/out"

# The pair end to end: the report of the conversion, then the run.
expect 0 'channel: +.*pair.s4p: Touchstone version 1, 4 ports, 5001 frequencies from 0 Hz to 50 GHz' \
    -- "$model" $out --channel "$work/pair.s4p" --bits 2000
expect 0 'through: +Sdd21 with --ports 1,3,2,4 \(in: 1 \+, 3 -; out: 2 \+, 4 -\)' -- "$model" $out \
    --channel "$work/pair.s4p" --bits 2000
expect 0 'band: +up to 50 GHz \(data to 50 GHz, Nyquist 160 GHz\), raised-cosine taper from 40 GHz' \
    -- "$model" $out --channel="$work/pair.s4p" --bits 2000
expect 0 'DC: +1 \(the file.s 0 Hz point' -- "$model" $out --channel "$work/pair.s4p" --bits 2000
expect 0 'AMI_GetWave: 64000 samples in 8 calls' -- "$model" $out --channel "$work/pair.s4p" --bits 2000
# The samples kept before t = 0 carry their own, negative, times.
lead=$(sed -n 's/.*, the first \([0-9]*\) before t = 0/\1/p' "$work/last.txt")
check "impulse_before.csv starts $lead samples before t = 0" awk -F, -v lead="$lead" \
    'NR == 2 { t0 = $1 } NR == 2 + lead { t = $1 } END { exit !(lead > 0 && t0 < 0 && t == 0) }' \
    "$work/out/impulse_before.csv"
expect 0 'through: +S21 with --ports 1,2' -- "$model" $out --channel "$work/line.s2p" --bits 200
expect 0 'DB in GHz' -- "$model" $out --channel "$work/line.s2p" --bits 200

# The line's cursors are the built-in channel's: main and first post-cursor
# within 0.5% of the main cursor (the built-in one is sampled from the
# same closed form in the time domain).
cursors() { "$amisim" "$model" $out "$@" --bits 200 |
    awk '/^  main cursor/ { m = $3 } /^  first post-cursor/ { p = $3 } END { print m, p }'; }
read -r main post < <(cursors)
for file in pair.s4p line.s2p; do
    read -r file_main file_post < <(cursors --channel "$work/$file")
    check "$file cursors $file_main $file_post, built-in $main $post" \
        awk -v a="$main" -v b="$file_main" -v c="$post" -v d="$file_post" \
        'BEGIN { exit !(a > 0.4 && (a - b)^2 < (0.005 * a)^2 && (c - d)^2 < (0.005 * a)^2) }' 
done

# Wrong port lists and files.
expect 2 'pair.s4p: --ports 1,2,3: a 4-port file needs P1\+,P1-,P2\+,P2-' -- "$model" $out \
    --channel "$work/pair.s4p" --ports 1,2,3
expect 2 'is zero at every frequency; check the file.s port numbering' -- "$model" $out \
    --channel "$work/pair.s4p" --ports 1,2,3,4
head -7 "$work/pair.s4p" >"$work/cut.s4p"
expect 2 'cut.s4p:7: the file ends inside the record for 0 GHz begun on line 5: 25 of 33 values' -- "$model" \
    $out --channel "$work/cut.s4p"
printf '# GHz S RI R 50\n1 0 0 1 0 1 0 0 0\n2 0 0 NaN 0 1 0 0 0\n' >"$work/nan.s2p"
expect 2 "nan.s2p:3: 'NaN' is not a finite number" -- "$model" $out --channel "$work/nan.s2p"
printf '! no extension\n# MHz S MA R 50\n1 0 0 1 0 1 0 0 0\n' >"$work/ports.txt"
expect 2 'ports.txt:3: a version 1 file says its number of ports by its extension' -- "$model" \
    $out --channel "$work/ports.txt"
expect 2 '--ports applies to Touchstone channels only' -- "$model" $out --ports 1,2
expect 2 'cannot open the Touchstone file' -- "$model" $out --channel "$work/missing.s4p"

finish amisim_touchstone_cli
