#!/usr/bin/env bash
# Runs every fuzz target built in BUILD_DIR for SECONDS seconds each, starting from
# its seed corpus. Any crash, leak, out-of-bounds access or hang fails the run.
#   tests/fuzz/run-all.sh BUILD_DIR SECONDS
set -euo pipefail
build_dir=$(cd "$1" && pwd)
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in "$build_dir"/tests/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=${target##*/fuzz_}
    corpus=$work/$name
    mkdir -p "$corpus"
    if [ -d "$here/corpus/$name" ]; then cp -r "$here/corpus/$name/." "$corpus/"; fi
    echo "--- fuzzing $name for ${seconds}s"
    (cd "$work" && "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=65536 -print_final_stats=1 "$corpus" 2>&1 | tail -n 12)
done
