#!/usr/bin/env bash
# Checks what a built model or toolkit library shows to the loader:
#  - it depends on libc and libm (and the dynamic loader) only;
#  - it needs no symbol version newer than GLIBC_2.17, so it loads on Linux
#    systems with glibc 2.17 or later;
#  - it exports exactly the names listed in the given file, all with C linkage.
# With --toolkit the names of the sections marked "(model only)" are left
# out: a toolkit library must not define them at all, since a model built on
# the toolkit defines its own entry points. A static archive (.a) is checked
# for the names it defines only: it must define every listed name and none
# of the others of the file.
# Usage: check_library_linkage.sh [--toolkit] LIBRARY EXPORTED_NAMES_FILE
set -euo pipefail
toolkit=0
if [ "${1:-}" = --toolkit ]; then
    toolkit=1
    shift
fi
library=$1
names_file=$2
status=0

# The names of the file; with --toolkit, without the model's own sections.
listed_names() {
    awk -v toolkit="$toolkit" '
        /^#/ { model_only = ($0 ~ /\(model only\)/); next }
        /^$/ { next }
        !(toolkit && model_only) { print }' "$names_file" | sort
}

# report_names HEADING NAMES: when there are names, prints them under the
# heading and marks the check failed.
report_names() {
    if [ -n "$2" ]; then
        echo "$1"
        printf '  %s\n' $2
        status=1
    fi
}

if [[ $library == *.a ]]; then
    defined=$(nm --defined-only -g "$library" 2>/dev/null | awk 'NF == 3 {print $3}' | sort -u)
    expected=$(listed_names)
    all_listed=$(toolkit=0 listed_names)
    missing=$(comm -13 <(printf '%s\n' "$defined") <(printf '%s\n' "$expected"))
    foreign=$(comm -12 <(printf '%s\n' "$defined") <(comm -23 <(printf '%s\n' "$all_listed") <(printf '%s\n' "$expected")))
    report_names "names not defined:" "$missing"
    report_names "names of the model defined in the toolkit:" "$foreign"
    if [ $status -eq 0 ]; then
        echo "$library: defines the $(printf '%s\n' "$expected" | wc -l) listed names"
    fi
    exit $status
fi

needed=$(readelf -d "$library" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
for dependency in $needed; do
    case $dependency in
        libc.so.6 | libm.so.6 | ld-linux.so.2 | ld-linux-x86-64.so.2) ;;
        *)
            echo "unexpected run-time dependency: $dependency"
            status=1
            ;;
    esac
done

newest_allowed=2.17
too_new=$(objdump -T "$library" | grep -o 'GLIBC_[0-9][0-9.]*' | sort -u |
    while read -r version; do
        number=${version#GLIBC_}
        if [ "$(printf '%s\n%s\n' "$number" "$newest_allowed" | sort -V | tail -n 1)" != "$newest_allowed" ]; then
            echo "$version"
        fi
    done)
if [ -n "$too_new" ]; then
    echo "symbols need a glibc newer than $newest_allowed:"
    objdump -T "$library" | grep -F -e "$too_new" | awk '{print "  " $NF " " $(NF-1)}'
    status=1
fi

exported=$(nm -D --defined-only "$library" | awk '{print $3}' | sort)
expected=$(listed_names)
mangled=$(printf '%s\n' "$exported" | grep '^_Z' || true)
report_names "C++-mangled names are exported:" "$mangled"
missing=$(comm -13 <(printf '%s\n' "$exported") <(printf '%s\n' "$expected"))
extra=$(comm -23 <(printf '%s\n' "$exported") <(printf '%s\n' "$expected"))
report_names "names not exported:" "$missing"
report_names "names exported that should stay hidden:" "$extra"
if [ $status -eq 0 ]; then
    echo "$library: depends on [$(echo $needed)], exports $(printf '%s\n' "$exported" | wc -l) names"
fi
exit $status
