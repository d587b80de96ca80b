#!/usr/bin/env bash
# Runs `vrenn bake --merge --compress`, `vrenn compress` and the compressed path of
# `vrenn lightmaps` on a baked demo scene as users do: the result line, the same bytes at any
# thread count, lightmaps near the full path's, and compressed files that are damaged or
# belong to an earlier bake refused with one line, the transfer textures lighting the scene
# instead.
#   compress-command-test.sh VRENN SOURCE_DIR
set -uo pipefail
vrenn=$1
source_dir=$2
source "$(dirname "$0")/../support/cli-checks.sh"
export SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen}

mkdir run
cp -r "$source_dir/data/effects" "$source_dir/data/materials" run/
"$vrenn" assets run >/dev/null && "$vrenn" mkscene scene.vmsh >/dev/null || { echo "FAILED: set-up"; exit 1; }
printf 'model "models/saved.vmsh"\nmax_scene_lum "4"\n' >run/default.cfg
# A sharded bake, compressed after the merge.
for k in 1 2; do "$vrenn" bake scene.vmsh --rays 16 --shard $k/2 --out parts >/dev/null 2>&1; done
out=$("$vrenn" bake scene.vmsh --merge parts --out run --compress 2>/dev/null)
check "merge --compress: compress line" matches "$(tail -n 1 <<<"$out")" "^texels=[0-9]+ clusters=256 components=7 "
cp run/shtex.cpca default.cpca

# Fewer clusters in a folder of its own (the same transfer files), at 1 and 2 threads.
mkdir small
cp -r run/default.cfg run/models small/
ln run/shtex0.dds run/shtex1.dds run/shtex2.dds small/
out=$("$vrenn" compress small --clusters 16 --components 3 --threads 1 2>stderr.txt)
check "compress: last line" matches "$out" \
    "^texels=[0-9]+ clusters=16 components=3 rms=[0-9.e+-]+ worst=[0-9.e+-]+ relative_rms=[0-9.e+-]+ bytes_before=[0-9]+ bytes_after=[0-9]+ ratio=[0-9.]+ seconds=[0-9.]+$"
check "compress: progress on stderr" grep -q "^compress: refining round 3 of 3" stderr.txt
before=$(sed -E 's/.*bytes_before=([0-9]+).*/\1/' <<<"$out")
after=$(sed -E 's/.*bytes_after=([0-9]+).*/\1/' <<<"$out")
check "compress: bytes_after is the file's size" test "$after" -eq "$(stat -c %s small/shtex.cpca)"
check "compress: at least 6 times smaller" test "$before" -ge $((6 * after))
cp small/shtex.cpca one-thread.cpca
"$vrenn" compress small --clusters 16 --components 3 --threads 2 >/dev/null 2>&1
check "same bytes at 1 and 2 threads" cmp -s one-thread.cpca small/shtex.cpca

# The root mean square difference of two lightmaps' colour bytes where either drew, in
# hundredths of an 8-bit step.
rmsdiff() {
    paste <(od -An -v -tu1 -w4 "$1") <(od -An -v -tu1 -w4 "$2") |
        awk 'NR > 32 && ($4 > 0 || $8 > 0) {
                 for (c = 1; c <= 3; ++c) { d = $c - $(c + 4); s += d * d; ++n }
             } END { print int(100 * sqrt(s / n)) }'
}
out=$("$vrenn" lightmaps run --out comp 2>stderr.txt)
check "compressed is the default" matches "$(tail -n 1 <<<"$out")" " passes=1 seconds=[0-9.]+ transfer=compressed$"
check "compressed: nothing on stderr" test ! -s stderr.txt
out=$("$vrenn" lightmaps run --passes 3 --out full 2>stderr.txt)
check "--passes 3 draws the transfer textures" matches "$(tail -n 1 <<<"$out")" " passes=3 seconds=[0-9.]+$"
out=$("$vrenn" lightmaps run --transfer full --out full 2>stderr.txt)
check "--transfer full" matches "$(tail -n 1 <<<"$out")" " passes=1 seconds=[0-9.]+$"
for k in 0 1 2; do
    d=$(rmsdiff full/lightmap$k.dds comp/lightmap$k.dds)
    echo "lightmap$k.dds: compressed against full: rms $d hundredths of a step"
    check "lightmap$k.dds: compressed near full" test "$d" -le 300
done

# Refused compressed files: one line on stderr, then the transfer textures light the scene.
fallback() { # DESCRIPTION REASON
    out=$("$vrenn" lightmaps run --out back 2>stderr.txt)
    check "$1: falls back to the full transfer" matches "$(tail -n 1 <<<"$out")" " seconds=[0-9.]+$"
    check "$1: one line with the reason" bash -c "[ \$(wc -l <stderr.txt) -eq 1 ] && grep -q '$2' stderr.txt"
    check "$1: the full path's lightmaps" cmp -s back/lightmap0.dds full/lightmap0.dds
    check "$1: --transfer compressed fails" fails_cleanly 1 "vrenn: .*$2" \
        "$vrenn" lightmaps run --transfer compressed --out back
}
printf '\x55' | dd of=run/shtex.cpca bs=1 seek=1000 conv=notrunc status=none
fallback "a damaged file" "shtex.cpca is damaged"
head -c 5000 default.cpca >run/shtex.cpca
fallback "a truncated file" "truncated"
cp default.cpca run/shtex.cpca
"$vrenn" bake scene.vmsh --rays 9 --out run >/dev/null 2>&1
"$vrenn" lightmaps run --transfer full --out full >/dev/null 2>&1
fallback "an earlier bake's file" "made from other transfer files"

for args in "compress run --clusters 0" "compress run --components 16" \
    "bake scene.vmsh --shard 1/2 --compress --out run"; do
    "$vrenn" $args >/dev/null 2>&1
    check "$args is a usage error" test $? -eq 2
done
mkdir empty
check "no transfer" fails_cleanly 1 "vrenn: " "$vrenn" compress empty
check "no transfer: nothing written" test ! -e empty/shtex.cpca

finish compress
