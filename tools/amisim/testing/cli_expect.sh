# The stand-in's command-line tests source this file, with $amisim (the
# program) and $work (a scratch folder) set.
. "$(dirname "${BASH_SOURCE[0]}")/../../../tests/support/shell_check.sh"

# expect STATUS PATTERN -- ARGS...: the exit status and a line of the output,
# which stays in $work/last.txt for further checks.
expect() {
    local status=$1 pattern=$2
    shift 3
    local actual
    "$amisim" "$@" >"$work/last.txt" 2>&1
    actual=$?
    if [ "$actual" -eq "$status" ] && grep -q -E -- "$pattern" "$work/last.txt"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: amisim $* (exit $actual, wanted $status and /$pattern/)"
        head -40 "$work/last.txt" | sed 's/^/    /'
    fi
}
