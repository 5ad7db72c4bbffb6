# What every shell test of the project shares. Source it, then:
#   check DESCRIPTION COMMAND...  runs the command and counts it passed or
#       failed; on failure prints the description, the command's output and
#       what check_details adds, when the test defines that function;
#   finish NAME                   prints the counts; its status is the test's.
passed=0
failed=0

check() {
    local what=$1 out
    shift
    out=$(mktemp)
    if "$@" >"$out" 2>&1; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $what"
        sed 's/^/    /' "$out" | head -40
        if declare -F check_details >/dev/null; then
            check_details
        fi
    fi
    rm -f "$out"
}

finish() {
    echo "$1: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
