#!/usr/bin/env bash
# Assembles the model kit from the files of dist/: a folder
# Halvorin_7314_Tx-VERSION with both libraries, the .ami and .ibs files, the
# users' README (with the IBIS file's notes) and SHA256SUMS, checked with
# check_kit.sh, and the same folder as a reproducible .tar.gz beside it.
# Usage: assemble_kit.sh VERSION DIST_DIR README IBIS_CHECK OUT_DIR
set -euo pipefail
version=$1
dist=$2
readme=$3
ibis_check=$4
out=$5
here=$(cd "$(dirname "$0")" && pwd)

model=Halvorin_7314_Tx
name=$model-$version
kit=$out/$name
files=("$model.ibs" "$model.ami" "${model}_32.so" "${model}_64.so")
for file in "${files[@]}"; do
    if [ ! -f "$dist/$file" ]; then
        echo "assemble_kit: $dist/$file is missing; build both word sizes first (scripts/kit.sh)" >&2
        exit 77
    fi
done

rm -rf "$kit" "$kit.tar.gz"
mkdir -p "$kit"
for file in "${files[@]}"; do
    cp "$dist/$file" "$kit/$file"
done

# The README quotes the IBIS file's notes, the one place the analog numbers
# are written out.
notes=$(awk '/^\[Notes\]/ {inside = 1; next} /^\[/ {inside = 0} inside' "$kit/$model.ibs")
awk -v notes="$notes" '$0 == "%IBIS_NOTES%" {print "```"; print notes; print "```"; next} {print}' \
    "$readme" >"$kit/README.md"

(cd "$kit" && sha256sum "${files[@]}" README.md >SHA256SUMS)
"$here/check_kit.sh" "$kit" "$version" "$ibis_check"

# Same bytes for the same files: sorted names, no owners, one time for all
# (SOURCE_DATE_EPOCH, else the time of the last commit), gzip without a
# time stamp.
stamp=${SOURCE_DATE_EPOCH:-$(git -C "$here" log -1 --format=%ct 2>/dev/null || echo 0)}
tar --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$stamp" \
    -C "$out" -cf - "$name" | gzip -n >"$kit.tar.gz"
echo "$kit"
echo "$kit.tar.gz"
