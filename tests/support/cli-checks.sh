# Shared by the shell tests that run the vrenn command as users do. Sourced, it
# makes a scratch folder (removed on exit) and enters it, and provides:
#   check DESCRIPTION COMMAND...   counts a failure when COMMAND fails
#   matches TEXT REGEX             true when TEXT matches the extended REGEX
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

finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed"
        exit 1
    fi
    echo "all $1 checks passed"
    exit 0
}
