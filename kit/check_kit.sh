#!/usr/bin/env bash
# Checks that the files of a model kit name each other consistently:
#  - the one .ibs file passes the IBIS syntax check (ibis_check), its
#    [File Rev] is the version, and its [Algorithmic Model] has one
#    Executable line for 32 and one for 64 bits;
#  - each library named there is in the kit, is an ELF shared object of that
#    word size (i386 or x86-64) and exports AMI_Init, AMI_GetWave and
#    AMI_Close;
#  - the .ami file named there is in the kit, is headed by a model name the
#    libraries hold, and its description carries the version;
#  - the README names the version, the folder ends in -VERSION, SHA256SUMS
#    (if present) matches and lists every other file, and nothing else is
#    in the kit.
# Usage: check_kit.sh KIT_FOLDER VERSION IBIS_CHECK
set -uo pipefail
kit=$1
version=$2
ibis_check=$3
status=0
fail() {
    echo "check_kit: $*"
    status=1
}

mapfile -t ibis_files < <(cd "$kit" && ls -- *.ibs 2>/dev/null)
if [ ${#ibis_files[@]} -ne 1 ]; then
    echo "check_kit: $kit must hold exactly one .ibs file, not ${#ibis_files[@]}"
    exit 1
fi
ibs=${ibis_files[0]}
expected_files=("$ibs" README.md)

if ! executables=$("$ibis_check" --executables "$kit/$ibs"); then
    fail "the IBIS file does not pass the syntax check:"
    printf '%s\n' "$executables" | sed 's/^/    /'
    executables=
fi
file_rev=$(awk '/^\[File Rev\]/ {print $3}' "$kit/$ibs")
[ "$file_rev" = "$version" ] || fail "[File Rev] is '$file_rev', not $version"

seen_bits=
declare -A machine_of=([32]="Intel 80386" [64]="Advanced Micro Devices X86-64")
declare -A class_of=([32]=ELF32 [64]=ELF64)
while read -r bits platform library ami; do
    [ -n "$bits" ] || continue
    seen_bits="$seen_bits $bits"
    expected_files+=("$library" "$ami")
    if [ ! -f "$kit/$library" ]; then
        fail "$platform names $library, which is not in the kit"
        continue
    fi
    header=$(readelf -h "$kit/$library" 2>/dev/null)
    if ! grep -q "Class: *${class_of[$bits]}\$" <<<"$header" ||
        ! grep -q "Machine: *${machine_of[$bits]}\$" <<<"$header" ||
        ! grep -q "Type: *DYN" <<<"$header"; then
        fail "$library is not a ${machine_of[$bits]} shared object, as $platform says"
    fi
    exports=$(nm -D --defined-only "$kit/$library" 2>/dev/null | awk '{print $3}')
    for entry in AMI_Init AMI_GetWave AMI_Close; do
        grep -qx "$entry" <<<"$exports" || fail "$library does not export $entry"
    done
    if [ ! -f "$kit/$ami" ]; then
        fail "$platform names $ami, which is not in the kit"
        continue
    fi
    root=$(tr -s ' \t\n' '   ' <"$kit/$ami" | sed -n 's/^ *( *\([^ ()]*\).*/\1/p')
    if [ -z "$root" ] || ! grep -q -a -F -- "$root" "$kit/$library"; then
        fail "$ami is headed by '$root', a name $library does not hold"
    fi
    grep -q "model version ${version//./\\.}[.,]" "$kit/$ami" ||
        fail "$ami does not describe model version $version"
done <<<"$executables"
[ "$(tr ' ' '\n' <<<"$seen_bits" | sort | tr -d '\n')" = "3264" ] ||
    fail "the IBIS file needs one Executable for 32 and one for 64 bits, not [$seen_bits ]"

grep -q -F -- "$version" "$kit/README.md" 2>/dev/null || fail "README.md does not name version $version"
[[ $(basename "$kit") == *-"$version" ]] || fail "the kit's folder does not end in -$version"

if [ -f "$kit/SHA256SUMS" ]; then
    expected_files+=(SHA256SUMS)
    (cd "$kit" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
    listed=$(awk '{print $2}' "$kit/SHA256SUMS" | sort)
    present=$(find "$kit" -mindepth 1 -maxdepth 1 ! -name SHA256SUMS -printf '%f\n' | sort)
    [ "$listed" = "$present" ] || fail "SHA256SUMS does not list exactly the kit's other files"
fi
unexpected=$(comm -23 <(find "$kit" -mindepth 1 -maxdepth 1 -printf '%f\n' | sort) \
    <(printf '%s\n' "${expected_files[@]}" | sort -u) | tr '\n' ' ')
[ -z "$unexpected" ] || fail "files that do not belong in the kit: $unexpected"

[ $status -eq 0 ] && echo "check_kit: $kit is consistent (version $version)"
exit $status
