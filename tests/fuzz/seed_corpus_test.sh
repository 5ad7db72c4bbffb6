#!/usr/bin/env bash
# The kept seed corpus (tests/fuzz/corpus/<target>/seed-*) is exactly what
# make_seed_corpus.py writes: no seed missing, left over or different.
# Inputs that the fuzzers found, kept under other names, are not compared.
# Usage: seed_corpus_test.sh FUZZ_DIR
set -euo pipefail
fuzz=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$fuzz/make_seed_corpus.py" "$work/written"
mkdir "$work/kept"
(cd "$fuzz/corpus" && find . -type f -name 'seed-*' -exec cp --parents {} "$work/kept" \;)
diff -rq "$work/written" "$work/kept"
echo "$(find "$work/kept" -type f | wc -l) seeds, each what make_seed_corpus.py writes"
