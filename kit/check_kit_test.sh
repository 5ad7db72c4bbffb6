#!/usr/bin/env bash
# The kit's consistency check against faults: a kit assembled from dist/
# passes, and each fault injected into a copy of it fails with the message
# of the check that catches it. Skipped (77) without both libraries in dist/.
# Usage: check_kit_test.sh VERSION DIST_DIR README IBIS_CHECK TOOLKIT_LIBRARY
set -uo pipefail
version=$1
dist=$2
readme=$3
ibis_check=$4
toolkit=$5
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
model=Halvorin_7314_Tx
passed=0
failed=0

"$here/assemble_kit.sh" "$version" "$dist" "$readme" "$ibis_check" "$work/good" >"$work/log" 2>&1
case $? in
    0) passed=$((passed + 1)) ;;
    77) cat "$work/log"; exit 77 ;;
    *) echo "FAILED: the assembled kit does not pass"; cat "$work/log"; exit 1 ;;
esac
good=$work/good/$model-$version
if [ -s "$good.tar.gz" ] && tar -tzf "$good.tar.gz" | grep -q "^$model-$version/SHA256SUMS$"; then
    passed=$((passed + 1))
else
    failed=$((failed + 1))
    echo "FAILED: the archive does not hold the kit's folder"
fi

renew_sums() {
    (cd "$kit" && find . -maxdepth 1 -type f ! -name SHA256SUMS -printf '%f\0' |
        sort -z | xargs -0 sha256sum >"$work/sums" && mv "$work/sums" SHA256SUMS)
}

# fault NAME PATTERN COMMAND...: COMMAND edits a fresh copy of the kit in
# $kit (checksums are renewed afterwards unless NAME starts with checksum_
# or sums_); the check must fail with a line matching PATTERN.
fault() {
    local name=$1 pattern=$2
    shift 2
    kit=$work/$name/$model-$version
    rm -rf "${work:?}/$name"
    mkdir -p "$work/$name"
    cp -r "$good" "$kit"
    "$@"
    if [[ $name != checksum_* && $name != sums_* ]]; then
        renew_sums
    fi
    local output
    if ! output=$("$here/check_kit.sh" "$kit" "$version" "$ibis_check" 2>&1) &&
        grep -q -E -- "$pattern" <<<"$output"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $name not caught by /$pattern/:"
        sed 's/^/    /' <<<"$output"
    fi
}
edit() { sed -i "$1" "$kit/$2"; }
remove() { rm "$kit/$1"; }
put() { cp "$1" "$kit/$2"; }

# A copy with renewed checksums and nothing else changed passes.
kit=$work/copy/$model-$version
mkdir -p "$work/copy" && cp -r "$good" "$kit" && renew_sums
if "$here/check_kit.sh" "$kit" "$version" "$ibis_check" >/dev/null; then passed=$((passed + 1)); else
    failed=$((failed + 1)); echo "FAILED: an unchanged copy does not pass"; fi

fault libraries_swapped 'not a Intel 80386 shared object' \
    edit 's/Linux_gcc_32 Halvorin_7314_Tx_32.so/Linux_gcc_32 Halvorin_7314_Tx_64.so/' $model.ibs
fault library_missing "names ${model}_32.so, which is not in the kit" remove ${model}_32.so
fault parameter_file_missing "names $model.ami, which is not in the kit" remove $model.ami
fault library_without_entry_points 'does not export AMI_Init' put "$toolkit" ${model}_64.so
fault ami_of_another_model "is headed by 'Other_Model'" edit "s/^($model/(Other_Model/" $model.ami
fault ami_version 'does not describe model version' edit "s/model version $version/model version 0.0.1/" $model.ami
fault file_rev "\\[File Rev\\] is '0.0.1'" edit "s/^\\[File Rev\\] .*/[File Rev]      0.0.1/" $model.ibs
fault readme_version "README.md does not name version" edit "s/$version/X.Y.Z/g" README.md
fault ibis_syntax 'does not pass the syntax check' edit 's/Linux_gcc_64/Linux_gcc_x86_64/' $model.ibs
fault one_word_size 'one Executable for 32 and one for 64' edit '/Linux_gcc_32/d' $model.ibs
fault stray_file 'do not belong in the kit: notes.txt' put /dev/null notes.txt
fault checksum_mismatch 'SHA256SUMS does not match' edit 's/model kit/model kit!/' README.md
fault sums_incomplete 'SHA256SUMS does not list exactly' edit '/README.md/d' SHA256SUMS
output=$(cp -r "$good" "$work/unversioned" && "$here/check_kit.sh" "$work/unversioned" "$version" "$ibis_check" 2>&1)
if [ $? -ne 0 ] && grep -q 'does not end in' <<<"$output"; then passed=$((passed + 1)); else
    failed=$((failed + 1)); echo "FAILED: unversioned folder not caught"; fi

echo "check_kit: $passed passed, $failed failed"
[ $failed -eq 0 ]
