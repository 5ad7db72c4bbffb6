#!/usr/bin/env bash
# The API reference covers the public headers and nothing else:
#  - every exported name (EXPORTED_NAMES_FILE) and every type the headers
#    declare (typedef struct/union/AMI_CODE_ENUM, or of a plain type) has an
#    entry, i.e. stands in backticks in a heading of the reference;
#  - every name in backticks in a heading is such a name or a header's file
#    name, so no entry outlives what it describes;
#  - every constant the headers declare (an enumerator) is named in the
#    reference, and every constant-like name there (CAPITALS_WITH_UNDERSCORES)
#    is such a constant or a macro the headers define. Constants are not
#    exported symbols, so the list of exported names does not hold them.
# Usage: check_api_reference.sh API_MD EXPORTED_NAMES_FILE HEADER...
set -euo pipefail
reference=$1
names_file=$2
shift 2
status=0

# report_names HEADING NAMES: when there are names, prints them under the
# heading and marks the check failed.
report_names() {
    if [ -n "$2" ]; then
        echo "$1"
        printf '  %s\n' $2
        status=1
    fi
}

declared=$( (grep -v -e '^#' -e '^$' "$names_file"
    sed -n -E 's/^typedef (struct|union) ([A-Za-z_][A-Za-z0-9_]*) .*/\2/p;
               s/^typedef AMI_CODE_ENUM\(([A-Za-z_][A-Za-z0-9_]*)\).*/\1/p;
               s/^typedef [A-Za-z_][A-Za-z0-9_]* ([A-Za-z_][A-Za-z0-9_]*);.*/\1/p' "$@"
    for header in "$@"; do basename "$header"; done) | sort -u)
entries=$( (grep '^#' "$reference" || true) | (grep -o '`[^`]*`' || true) | tr -d '`' | sort -u)

missing=$(comm -23 <(printf '%s\n' "$declared") <(printf '%s\n' "$entries"))
stale=$(comm -13 <(printf '%s\n' "$declared") <(printf '%s\n' "$entries"))
report_names "no entry in $reference for:" "$missing"
report_names "entries in $reference for names the headers do not declare or export:" "$stale"

constants=$(sed -n -E 's/^[[:space:]]+([A-Z][A-Z0-9_]*)[[:space:]]*=.*/\1/p' "$@" | sort -u)
macros=$(sed -n -E 's/^#[[:space:]]*define[[:space:]]+([A-Za-z_][A-Za-z0-9_]*).*/\1/p' "$@" | sort -u)
named=$( (grep -o -E '\b[A-Z][A-Z0-9]*(_[A-Z0-9]+)+\b' "$reference" || true) | sort -u)
report_names "constants $reference does not name:" \
    "$(comm -23 <(printf '%s\n' "$constants") <(printf '%s\n' "$named"))"
report_names "constants named in $reference that the headers do not define:" \
    "$(comm -13 <(printf '%s\n' "$constants" "$macros" | sort -u) <(printf '%s\n' "$named"))"
[ $status -eq 0 ] && echo "$reference: $(printf '%s\n' "$declared" | wc -l) names, each with an entry;" \
    "$(printf '%s\n' "$constants" | wc -l) constants, each named"
exit $status
