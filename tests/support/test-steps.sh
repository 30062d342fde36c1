# The checks of the shell-driven tests, sourced by each after it has set $work:
#   fail <what>                   counts a failed check and goes on ($failures, from 0)
#   step <description> <command>  runs a step the rest depends on; on failure prints its output
#                                 ($work/step.log) and ends the test
failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}
step() {
    description=$1
    shift
    "$@" >"$work/step.log" 2>&1 || {
        echo "FAILED: $description"
        cat "$work/step.log"
        exit 1
    }
}
