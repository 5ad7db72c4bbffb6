#!/usr/bin/env bash
# The API reference covers the public headers and nothing else:
#  - every exported name (EXPORTED_NAMES_FILE) and every type the headers
#    declare (typedef struct/union/AMI_CODE_ENUM, or of a plain type) has an
#    entry, i.e. stands in backticks in a heading of the reference;
#  - every name in backticks in a heading is such a name or a header's file
#    name, so no entry outlives what it describes.
# Usage: check_api_reference.sh API_MD EXPORTED_NAMES_FILE HEADER...
set -euo pipefail
reference=$1
names_file=$2
shift 2
status=0

declared=$( (grep -v -e '^#' -e '^$' "$names_file"
    sed -n -E 's/^typedef (struct|union) ([A-Za-z_][A-Za-z0-9_]*) .*/\2/p;
               s/^typedef AMI_CODE_ENUM\(([A-Za-z_][A-Za-z0-9_]*)\).*/\1/p;
               s/^typedef [A-Za-z_][A-Za-z0-9_]* ([A-Za-z_][A-Za-z0-9_]*);.*/\1/p' "$@"
    for header in "$@"; do basename "$header"; done) | sort -u)
entries=$( (grep '^#' "$reference" || true) | (grep -o '`[^`]*`' || true) | tr -d '`' | sort -u)

missing=$(comm -23 <(printf '%s\n' "$declared") <(printf '%s\n' "$entries"))
stale=$(comm -13 <(printf '%s\n' "$declared") <(printf '%s\n' "$entries"))
if [ -n "$missing" ]; then
    echo "no entry in $reference for:"
    printf '  %s\n' $missing
    status=1
fi
if [ -n "$stale" ]; then
    echo "entries in $reference for names the headers do not declare or export:"
    printf '  %s\n' $stale
    status=1
fi
[ $status -eq 0 ] && echo "$reference: $(printf '%s\n' "$declared" | wc -l) names, each with an entry"
exit $status
