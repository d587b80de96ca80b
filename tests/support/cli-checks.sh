# Shared by the shell tests that run the vrenn command as users do. Sourced, it
# makes a scratch folder (removed on exit) and enters it, and provides:
#   check DESCRIPTION COMMAND...   counts a failure when COMMAND fails
#   matches TEXT REGEX             true when TEXT matches the extended REGEX
#   fails_cleanly STATUS PREFIX COMMAND...
#                                  true when COMMAND exits with STATUS, writes nothing to
#                                  standard output and one line starting with PREFIX (a basic
#                                  regex) to standard error, kept in stderr.txt
#   usage_error REASON COMMAND...  true when COMMAND exits with status 2, writes nothing to
#                                  standard output and REASON (a basic regex) to standard error
#   finish NAME                    reports and exits 1 if any check failed
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0

check() {
    local what=$1
    shift
    if ! "$@"; then
        echo "FAILED: $what" >&2
        failures=$((failures + 1))
    fi
}

matches() { grep -Eq "$2" <<<"$1"; }

fails_cleanly() {
    local want=$1 prefix=$2 status
    shift 2
    "$@" >stdout.txt 2>stderr.txt
    status=$?
    [ "$status" -eq "$want" ] && [ ! -s stdout.txt ] && [ "$(wc -l <stderr.txt)" -eq 1 ] &&
        grep -q "^$prefix" stderr.txt
}

usage_error() {
    local reason=$1
    shift
    "$@" >stdout.txt 2>stderr.txt
    [ $? -eq 2 ] && [ ! -s stdout.txt ] && grep -q -- "$reason" stderr.txt
}

finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed"
        exit 1
    fi
    echo "all $1 checks passed"
    exit 0
}
