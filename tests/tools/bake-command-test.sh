#!/usr/bin/env bash
# Runs `vrenn bake` on the generated demo scene as users do: its output lines, the files it
# writes (the same for every thread count), default.cfg's num_rays, the log, and failures
# that leave earlier files whole.
#   bake-command-test.sh VRENN
set -uo pipefail
vrenn=$1
source "$(dirname "$0")/../support/cli-checks.sh"

"$vrenn" mkscene scene.vmsh >/dev/null || { echo "FAILED: mkscene"; exit 1; }

# Four rays per texel keep the whole scene quick; the bake is the same otherwise.
out=$("$vrenn" bake scene.vmsh --rays 4 --threads 1 --out one --log bake.log 2>stderr.txt)
check "bake exits 0" test $? -eq 0
out_one=$out
check "last line" matches "$(tail -n 1 <<<"$out")" '^texels=[1-9][0-9]* samples=4 seconds=[0-9]+\.[0-9]+$'
check "atlas line" matches "$out" '^atlas=[0-9]+x[0-9]+ polygons=371 threads=1 rays=[0-9]+$'
check "no progress bar without a terminal" test ! -s stderr.txt
for f in shtex0.dds shtex1.dds shtex2.dds models/saved.vmsh; do
    check "writes $f" test -s "one/$f"
done
check "the log has the pack dump" grep -q '^poly intersection$' bake.log
check "the log has the placements" test "$(grep -Ec '^poly [0-9]+ [0-9]+ [0-9]+ [0-9]+\*[0-9]+(flip)?$' bake.log)" -eq 371
check "the log has the build time" grep -Eq '^build time: [0-9.e+-]+ seconds$' bake.log
texels=$(tail -n 1 <<<"$out" | sed -E 's/texels=([0-9]+).*/\1/')

"$vrenn" bake scene.vmsh --rays 4 --threads 3 --out three >/dev/null
check "three threads exit 0" test $? -eq 0
for f in shtex0.dds shtex1.dds shtex2.dds models/saved.vmsh; do
    check "$f is the same with 3 threads" cmp -s "one/$f" "three/$f"
done

# The saved model has texture-coordinate set 1 with four components.
info=$("$vrenn" mesh info one/models/saved.vmsh)
check "saved model loads" test $? -eq 0
check "saved model carries the atlas coordinates" \
    test "$(grep -c '^element stream=[0-9]* usage=2 index=1 type=0 count=4 offset=0$' <<<"$info")" -eq 6

# num_rays of default.cfg in the working directory; --rays wins over it.
mkdir cfg && printf 'num_rays "10"\n' >cfg/default.cfg
out=$(cd cfg && "$vrenn" bake ../scene.vmsh --threads 2)
check "num_rays from default.cfg" matches "$(tail -n 1 <<<"$out")" "^texels=$texels samples=9 "
check "writes into the working directory" test -s cfg/shtex2.dds
out=$(cd cfg && "$vrenn" bake ../scene.vmsh --rays 1 --ambient)
check "--rays wins" matches "$(tail -n 1 <<<"$out")" "^texels=$texels samples=1 "
check "ambient writes ambient.dds" test -s cfg/ambient.dds

# Failures: one line on standard error, non-zero exit, earlier files untouched.
cp one/shtex0.dds before.dds
"$vrenn" bake missing.vmsh --out one >stdout.txt 2>stderr.txt
check "missing model exits 1" test $? -eq 1
check "missing model: one line" test "$(wc -l <stderr.txt)" -eq 1
check "missing model: reason" grep -q 'missing.vmsh' stderr.txt
check "missing model: nothing on stdout" test ! -s stdout.txt
head -c 300 scene.vmsh >cut.vmsh
"$vrenn" bake cut.vmsh --out one >/dev/null 2>stderr.txt
check "damaged model exits 1" test $? -eq 1
check "damaged model: reason" grep -q 'Failed to read mesh data: cut.vmsh' stderr.txt
check "earlier output kept" cmp -s one/shtex0.dds before.dds
check "no temporary files left" test "$(ls one | wc -l)" -eq 4

# The bytes line sums the files written. --texel-size 8 gives about a quarter of the texels and
# a smaller atlas; texel_size of default.cfg means the same, --texel-size wins over it.
bytes=0
for f in shtex0.dds shtex1.dds shtex2.dds models/saved.vmsh; do
    bytes=$((bytes + $(stat -c %s "one/$f")))
done
check "bytes line" matches "$(tail -n 2 <<<"$out_one" | head -n 1)" "^bytes=$bytes \([0-9]+\.[0-9] MB\)$"
out=$("$vrenn" bake scene.vmsh --rays 1 --texel-size 8 --out coarse)
check "--texel-size 8 exits 0" test $? -eq 0
coarse=$(tail -n 1 <<<"$out" | sed -E 's/texels=([0-9]+).*/\1/')
check "--texel-size 8: under a third of the texels" test $((coarse * 3)) -lt "$texels"
area() { echo $(($(sed -nE 's/^atlas=([0-9]+)x([0-9]+) .*/\1*\2/p' <<<"$1"))); }
check "--texel-size 8: a smaller atlas" test "$(area "$out")" -lt "$(area "$out_one")"
mkdir coarsecfg && printf 'texel_size "8"\n' >coarsecfg/default.cfg
out=$(cd coarsecfg && "$vrenn" bake ../scene.vmsh --rays 1)
check "texel_size from default.cfg" matches "$(tail -n 1 <<<"$out")" "^texels=$coarse "
out=$(cd coarsecfg && "$vrenn" bake ../scene.vmsh --rays 1 --texel-size 4)
check "--texel-size wins" matches "$(tail -n 1 <<<"$out")" "^texels=$texels "
printf 'texel_size "0"\n' >coarsecfg/default.cfg
(cd coarsecfg && "$vrenn" bake ../scene.vmsh --rays 1 --out zero >/dev/null 2>stderr.txt)
check "texel_size 0 exits 1" test $? -eq 1
check "texel_size 0: reason" grep -qx 'vrenn: bake: texel_size in default.cfg must be a number of world units above 0, not "0"' coarsecfg/stderr.txt
check "texel_size 0: nothing baked" test ! -e coarsecfg/zero
for bad in 0 -4 nan inf 4x ""; do
    "$vrenn" bake scene.vmsh --texel-size "$bad" >/dev/null 2>&1
    check "--texel-size '$bad' is a usage error" test $? -eq 2
done

# A num_rays of default.cfg that is no whole number is refused, not read as its first digit.
mkdir badcfg && printf 'num_rays "1e40"\n' >badcfg/default.cfg
(cd badcfg && "$vrenn" bake ../scene.vmsh >/dev/null 2>stderr.txt)
check "num_rays 1e40 exits 1" test $? -eq 1
check "num_rays 1e40: reason" grep -q '^vrenn: bake: num_rays in default.cfg must be a whole number from 1 to [0-9]*, not "1e40"$' badcfg/stderr.txt
check "num_rays 1e40: nothing baked" test ! -e badcfg/shtex0.dds

# Bounces: a run folder's materials give the albedo (a note names those without one); a shard
# cannot bounce, and --albedo needs --bounces.
out=$("$vrenn" bake scene.vmsh --rays 16 --threads 1 --bounces 1 --out bounce 2>stderr.txt)
check "bounce exits 0" test $? -eq 0
check "bounce atlas line" matches "$out" '^atlas=[0-9]+x[0-9]+ polygons=371 threads=1 rays=[0-9]+ bounces=1$'
check "bounce: no materials, one note each" test "$(grep -c 'no albedo for material' stderr.txt)" -eq 6
"$vrenn" bake scene.vmsh --rays 16 --threads 1 --bounces 1 --albedo 0 --out dark >/dev/null 2>&1
check "albedo 0: no bounced light" test "$(cmp dark/shtex0.dds bounce/shtex0.dds | wc -l)" -eq 1
"$vrenn" bake scene.vmsh --bounces 1 --shard 1/2 --out parts >stdout.txt 2>stderr.txt
check "bounce with a shard exits 2" test $? -eq 2
check "bounce with a shard: reason" grep -q -- '--bounces above 0 does not go with --shard' stderr.txt
"$vrenn" bake scene.vmsh --albedo 0.5 --out parts >stdout.txt 2>stderr.txt
check "albedo alone exits 2" test $? -eq 2
"$vrenn" bake scene.vmsh --bounces 1 --albedo 1.5 --out parts >stdout.txt 2>stderr.txt
check "albedo 1.5 exits 2" test $? -eq 2
check "nothing written for refused bounces" test ! -e parts

# A target that cannot be replaced (a folder where the saved model goes) fails the bake
# before any file is replaced, and says which and why.
mkdir blocked && cp one/shtex*.dds blocked/ && mkdir -p blocked/models/saved.vmsh
"$vrenn" bake scene.vmsh --rays 1 --out blocked >stdout.txt 2>stderr.txt
check "blocked target exits 1" test $? -eq 1
check "blocked target: file and reason" \
    grep -qx 'vrenn: bake: PRT bake failed: could not write blocked/models/saved.vmsh: Is a directory' \
    stderr.txt
for f in shtex0.dds shtex1.dds shtex2.dds; do
    check "blocked target: $f kept" cmp -s one/$f blocked/$f
done
check "blocked target: nothing left beside" test "$(ls blocked | wc -l)" -eq 4

# A log that cannot be written fails the command with the system's reason.
"$vrenn" bake scene.vmsh --rays 1 --out logged --log /dev/full >/dev/null 2>stderr.txt
check "full log exits 1" test $? -eq 1
check "full log: reason" \
    grep -qx 'vrenn: bake: cannot write the log /dev/full: No space left on device' stderr.txt
"$vrenn" bake scene.vmsh --rays 1 --log no/folder/bake.log >/dev/null 2>stderr.txt
check "uncreatable log exits 1" test $? -eq 1
check "uncreatable log: reason" \
    grep -qx 'vrenn: bake: cannot write the log no/folder/bake.log: No such file or directory' \
    stderr.txt

# Shards of the demo scene, run as a scheduler runs them, merge into the bytes of one bake.
"$vrenn" bake scene.vmsh --rays 1 --out whole >/dev/null
for k in 2 1; do
    out=$("$vrenn" bake scene.vmsh --rays 1 --shard $k/2 --threads $k --out parts)
    check "shard $k/2 exits 0" test $? -eq 0
    check "shard $k/2 names its part" matches "$out" "^wrote parts/bake-$k-of-2.part$"
done
out=$("$vrenn" bake scene.vmsh --merge parts --out merged)
check "merge exits 0" test $? -eq 0
check "merge counts every texel" matches "$(tail -n 1 <<<"$out")" "^texels=$texels samples=1$"
for f in shtex0.dds shtex1.dds shtex2.dds models/saved.vmsh; do
    check "merged $f is the one bake's" cmp -s "whole/$f" "merged/$f"
done
"$vrenn" bake scene.vmsh --merge parts --texel-size 8 --out merged8 >/dev/null 2>stderr.txt
check "merge at another texel size exits 1" test $? -eq 1
check "merge at another texel size: reason" grep -q 'PRT merge refused: parts/bake-1-of-2.part was baked from another atlas' stderr.txt
rm parts/bake-1-of-2.part
"$vrenn" bake scene.vmsh --merge parts --out merged2 >stdout.txt 2>stderr.txt
check "merge with a part missing exits 1" test $? -eq 1
check "missing part: one line" grep -qx 'vrenn: bake: PRT merge refused: 1 of 2 parts missing in parts: bake-1-of-2.part' stderr.txt
check "missing part: nothing written" test ! -e merged2
"$vrenn" bake scene.vmsh --shard 0/2 >/dev/null 2>&1
check "--shard 0/2 is a usage error" test $? -eq 2
"$vrenn" bake scene.vmsh --shard 3/2 >/dev/null 2>&1
check "--shard 3/2 is a usage error" test $? -eq 2
"$vrenn" bake scene.vmsh --merge parts --rays 4 >/dev/null 2>&1
check "--merge with --rays is a usage error" test $? -eq 2

# SIGINT or SIGTERM during the walk: the bake stops, says so in one line, writes nothing,
# leaves the earlier files and no temporary, and ends by that signal.
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
    check "SIG$signal: one line" test "$(wc -l <stderr.txt)" -eq 1
    check "SIG$signal: says so" grep -q '^vrenn: bake: stopped by .*; no file was written$' stderr.txt
    check "SIG$signal: earlier file kept, nothing else" \
        bash -c 'cmp -s one/shtex0.dds stopped/shtex0.dds && test "$(ls -A stopped)" = shtex0.dds'
done

"$vrenn" bake scene.vmsh --rays 0 >/dev/null 2>&1
check "--rays 0 is a usage error" test $? -eq 2
"$vrenn" bake scene.vmsh --threads x >/dev/null 2>&1
check "--threads x is a usage error" test $? -eq 2
"$vrenn" bake >/dev/null 2>&1
check "no model is a usage error" test $? -eq 2
"$vrenn" bake --help | grep -q '^Usage: vrenn bake MODEL.vmsh'
check "help" test $? -eq 0

finish "bake command"
