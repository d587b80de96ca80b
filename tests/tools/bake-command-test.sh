#!/usr/bin/env bash
# Runs `vrenn bake` on the demo scene: its lines, its files (shards merged the same), default.cfg,
# the log, bounces, and failures that keep earlier files.
#   bake-command-test.sh VRENN SOURCE_DIR
set -uo pipefail
vrenn=$1
source "$(dirname "$0")/../support/cli-checks.sh"
outputs="shtex0.dds shtex1.dds shtex2.dds models/saved.vmsh"
same_outputs() { for f in $outputs; do cmp -s "$1/$f" "$2/$f" || return 1; done; }
texels_of() { tail -n 1 <<<"$1" | sed -E 's/texels=([0-9]+).*/\1/'; }
"$vrenn" mkscene scene.vmsh >/dev/null || { echo "FAILED: mkscene"; exit 1; }

out_one=$("$vrenn" bake scene.vmsh --rays 4 --threads 1 --out one --log bake.log 2>stderr.txt)
check "bake exits 0" test $? -eq 0
check "atlas line" matches "$out_one" '^atlas=[0-9]+x[0-9]+ polygons=371 threads=1 rays=[0-9]+$'
check "bytes line sums the files" matches "$out_one" "^bytes=$(cd one && cat $outputs | wc -c) \([0-9]+\.[0-9] MB\)$"
check "last line" matches "$(tail -n 1 <<<"$out_one")" '^texels=[1-9][0-9]* samples=4 seconds=[0-9]+\.[0-9]+$'
check "no progress bar without a terminal" test ! -s stderr.txt
check "the log has the pack dump" grep -q '^poly intersection$' bake.log
check "the log has the placements" test "$(grep -Ec '^poly [0-9]+ [0-9]+ [0-9]+ [0-9]+\*[0-9]+(flip)?$' bake.log)" -eq 371
check "the log has the build time" grep -Eq '^build time: [0-9.e+-]+ seconds$' bake.log
texels=$(texels_of "$out_one")
check "saved model carries the atlas coordinates (set 1, four components)" \
    test "$("$vrenn" mesh info one/models/saved.vmsh | grep -c '^element stream=[0-9]* usage=2 index=1 type=0 count=4 offset=0$')" -eq 6

# default.cfg in the working directory gives num_rays and texel_size; the options win.
mkdir cfg coarsecfg && printf 'num_rays "10"\n' >cfg/default.cfg && printf 'texel_size "8"\n' >coarsecfg/default.cfg
out=$(cd cfg && "$vrenn" bake ../scene.vmsh --threads 2)
check "num_rays from default.cfg" matches "$(tail -n 1 <<<"$out")" "^texels=$texels samples=9 "
check "writes into the working directory" test -s cfg/shtex2.dds
out=$(cd cfg && "$vrenn" bake ../scene.vmsh --rays 1 --ambient)
check "--rays wins" matches "$(tail -n 1 <<<"$out")" "^texels=$texels samples=1 "
check "ambient writes ambient.dds" test -s cfg/ambient.dds
out=$("$vrenn" bake scene.vmsh --rays 1 --texel-size 8 --out coarse)
coarse=$(texels_of "$out")
check "--texel-size 8: under a third of the texels" test $((coarse * 3)) -lt "$texels"
area() { echo $(($(sed -nE 's/^atlas=([0-9]+)x([0-9]+) .*/\1*\2/p' <<<"$1"))); }
check "--texel-size 8: a smaller atlas" test "$(area "$out")" -lt "$(area "$out_one")"
out=$(cd coarsecfg && "$vrenn" bake ../scene.vmsh --rays 1)
check "texel_size from default.cfg" matches "$(tail -n 1 <<<"$out")" "^texels=$coarse "
out=$(cd coarsecfg && "$vrenn" bake ../scene.vmsh --rays 1 --texel-size 4)
check "--texel-size wins" matches "$(tail -n 1 <<<"$out")" "^texels=$texels "

# Settings of default.cfg refused, not read as their first digits: one line, nothing baked.
refused_setting() { # SETTING REASON
    rm -rf bad && mkdir bad && printf '%s\n' "$1" >bad/default.cfg &&
        (cd bad && fails_cleanly 1 "vrenn: bake: $2" "$vrenn" bake ../scene.vmsh) &&
        test -z "$(ls bad | grep -v '\.txt$\|default.cfg')"
}
check "texel_size 0 refused" refused_setting 'texel_size "0"' \
    'texel_size in default.cfg must be a number of world units above 0, not "0"$'
check "num_rays 1e40 refused" refused_setting 'num_rays "1e40"' \
    'num_rays in default.cfg must be a whole number from 1 to [0-9]*, not "1e40"$'

# Failures: one line, exit 1, earlier files untouched, no temporary; a folder where the saved
# model goes fails the bake before any file is replaced.
cp one/shtex0.dds before.dds
head -c 300 scene.vmsh >cut.vmsh
check "missing model" fails_cleanly 1 "vrenn: .*missing.vmsh" "$vrenn" bake missing.vmsh --out one
check "damaged model" fails_cleanly 1 "vrenn: .*Failed to read mesh data: cut.vmsh" \
    "$vrenn" bake cut.vmsh --out one
check "earlier output kept" cmp -s one/shtex0.dds before.dds
check "no temporary files left" test "$(ls one | wc -l)" -eq 4
mkdir blocked && cp one/shtex*.dds blocked/ && mkdir -p blocked/models/saved.vmsh
check "blocked target: file and reason" fails_cleanly 1 \
    'vrenn: bake: PRT bake failed: could not write blocked/models/saved.vmsh: Is a directory$' \
    "$vrenn" bake scene.vmsh --rays 1 --out blocked
check "blocked target: files kept, nothing beside" \
    bash -c 'for f in shtex0.dds shtex1.dds shtex2.dds; do cmp -s one/$f blocked/$f || exit 1; done
        [ "$(ls blocked | wc -l)" -eq 4 ]'
check "full log" fails_cleanly 1 'vrenn: bake: cannot write the log /dev/full: No space left on device$' \
    bash -c "'$vrenn' bake scene.vmsh --rays 1 --out logged --log /dev/full >/dev/null"
check "uncreatable log" fails_cleanly 1 \
    'vrenn: bake: cannot write the log no/folder/bake.log: No such file or directory$' \
    bash -c "'$vrenn' bake scene.vmsh --rays 1 --log no/folder/bake.log >/dev/null"

# Bounces: the materials give the albedo (a note for each material without one).
out=$("$vrenn" bake scene.vmsh --rays 16 --threads 1 --bounces 1 --out bounce 2>stderr.txt)
check "bounce atlas line" matches "$out" '^atlas=[0-9]+x[0-9]+ polygons=371 threads=1 rays=[0-9]+ bounces=1$'
check "bounce: no materials, one note each" test "$(grep -c 'no albedo for material' stderr.txt)" -eq 6
"$vrenn" bake scene.vmsh --rays 16 --threads 1 --bounces 1 --albedo 0 --out dark >/dev/null 2>&1
check "albedo 0 changes the transfer" bash -c '! cmp -s dark/shtex0.dds bounce/shtex0.dds'

# Usage errors: exit 2, nothing written.
while read -r args; do
    eval "set -- $args"
    check "bake $args is a usage error" usage_error '' "$vrenn" bake "$@"
done < <(grep -v '^#' "$2/tests/data/tools/bake-usage-errors.txt")
check "bounce with a shard: usage error" usage_error '--bounces above 0 does not go with --shard' \
    "$vrenn" bake scene.vmsh --bounces 1 --shard 1/2 --out parts
check "nothing written by usage errors" test ! -e parts
check "help" bash -c "'$vrenn' bake --help | grep -q '^Usage: vrenn bake MODEL.vmsh'"

# Shards merge into the bytes of one bake; a part of another atlas is refused.
"$vrenn" bake scene.vmsh --rays 1 --out whole >/dev/null
for k in 2 1; do
    out=$("$vrenn" bake scene.vmsh --rays 1 --shard $k/2 --threads $k --out parts)
    check "shard $k/2 names its part" matches "$out" "^wrote parts/bake-$k-of-2.part$"
done
out=$("$vrenn" bake scene.vmsh --merge parts --out merged)
check "merge counts every texel" matches "$(tail -n 1 <<<"$out")" "^texels=$texels samples=1$"
check "merged files are the one bake's" same_outputs whole merged
check "merge at another texel size" fails_cleanly 1 \
    'vrenn: bake: PRT merge refused: parts/bake-1-of-2.part was baked from another atlas' \
    "$vrenn" bake scene.vmsh --merge parts --texel-size 8 --out merged8
check "refused merge: nothing written" test ! -e merged8

# SIGINT or SIGTERM during the walk: one line, nothing written, ended by that signal.
for signal in TERM INT; do
    rm -rf stopped && mkdir stopped && cp one/shtex0.dds stopped/
    "$vrenn" bake scene.vmsh --rays 4096 --threads 1 --out stopped --log stop.log \
        >stdout.txt 2>stderr.txt &
    pid=$!
    for _ in $(seq 600); do
        grep -q '^poly intersection$' stop.log 2>/dev/null && break
        sleep 0.1
    done
    sleep 0.5
    kill -$signal $pid
    wait $pid
    status=$?
    check "SIG$signal: ends by the signal (got $status)" test $status -eq $((128 + $(kill -l $signal)))
    check "SIG$signal: says so in one line" test "$(wc -l <stderr.txt)" -eq 1 \
        -a "$(grep -c '^vrenn: bake: stopped by .*; no file was written$' stderr.txt)" -eq 1
    check "SIG$signal: earlier file kept, nothing else" \
        bash -c 'cmp -s one/shtex0.dds stopped/shtex0.dds && test "$(ls -A stopped)" = shtex0.dds'
done

finish "bake command"
