#!/usr/bin/env bash
# Runs every fuzz target built in BUILD_DIR for SECONDS seconds each, starting from
# its seed corpus (corpus/<name>, and what seed-<name>.sh adds). Any crash, leak,
# out-of-bounds access or hang fails the run, but for the import target one inside the
# model importer library: the program runs that library in a child process of its own and
# reports its crashes and hangs as a refusal, so those are listed, and only a fault whose
# innermost frame of ours or the library's is ours fails the run (for a hang, not counting
# the file reads the library calls back into).
#   tests/fuzz/run-all.sh BUILD_DIR SECONDS
set -euo pipefail
build_dir=$(cd "$1" && pwd)
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The innermost frame of a fault report with a source file of ours or inside the importer
# library; frames of the sanitizers, the fuzzing engine, their interceptors (built into the
# target without a source line) and the C and C++ libraries name neither. A hang's stack is
# wherever the alarm found it; inside one of the file reads the library keeps calling back
# into, the loop around it is the library's, so those frames are passed over. Each of those
# callbacks copies or moves within one file already in memory.
innermost_frame() {
    local frames
    frames=$(grep -E '^ +#[0-9]+ ' <<<"$1" |
        grep -F -e libassimp -e " $root/" | grep -vF " $root/build" || true)
    if grep -q 'libFuzzer: timeout' <<<"$1"; then
        frames=$(grep -vE 'MemoryStream::(Read|Seek|Tell|FileSize)' <<<"$frames" || true)
    fi
    head -n 1 <<<"$frames"
}

for target in "$build_dir"/tests/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=${target##*/fuzz_}
    corpus=$work/$name
    mkdir -p "$corpus"
    if [ -d "$here/corpus/$name" ]; then cp -r "$here/corpus/$name/." "$corpus/"; fi
    if [ -x "$here/seed-$name.sh" ]; then "$here/seed-$name.sh" "$corpus"; fi
    echo "--- fuzzing $name for ${seconds}s"
    if [ "$name" != import ]; then
        (cd "$work" && "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -max_len=65536 -print_final_stats=1 "$corpus" 2>&1 | tail -n 12)
        continue
    fi
    artifacts=$work/import-artifacts
    mkdir -p "$artifacts"
    # The run's own status reflects the library's contained faults (fork mode ends with the
    # code of the last one it ignored); what counts is where each saved input faults, below.
    # A run that did not reach its end fails.
    log=$work/import.log
    (cd "$work" && "$target" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1) || true
    tail -n 4 "$log"
    if ! grep -q '^INFO: exiting' "$log"; then
        echo "FAILED: the import fuzzer did not run to its end"
        exit 1
    fi
    for found in "$artifacts"/*; do
        [ -e "$found" ] || continue
        # A hang's stack is printed from the alarm's signal handler, which has been seen to
        # print no frame at all; such a hang is run again, up to three times in all.
        for try in 1 2 3; do
            report=$(cd "$work" && timeout 60 "$target" -timeout=10 -rss_limit_mb=2048 "$found" 2>&1 || true)
            frame=$(innermost_frame "$report")
            if [ -n "$frame" ] || ! grep -q 'libFuzzer: timeout' <<<"$report"; then break; fi
        done
        if ! grep -qE 'ERROR|SUMMARY' <<<"$report"; then
            # A hang near the time limit on a busy machine may not hang again.
            echo "not reproduced: $(basename "$found") runs clean on its own"
            continue
        fi
        if grep -q 'libassimp' <<<"$frame"; then
            echo "contained: $(basename "$found") faults inside the model importer library: $frame"
        else
            echo "FAILED: $(basename "$found") faults in our code: ${frame:-no frame}"
            grep -E 'ERROR|SUMMARY|^ +#' <<<"$report" | head -n 20
            exit 1
        fi
    done
done
