#!/usr/bin/env bash
# Runs `vrenn lightmaps`, `vrenn compress` and `vrenn bake --merge --compress` on a baked demo
# scene as users do: the output lines, the three lightmaps (the atlas size, 8-bit RGBA), every
# path agreeing, the sky angle and blend changing the light, compressed files that are damaged
# or stale refused for the transfer textures, and refused inputs with nothing written.
#   lightmaps-command-test.sh VRENN SOURCE_DIR
set -uo pipefail
vrenn=$1
source_dir=$2
source "$(dirname "$0")/../support/cli-checks.sh"
export SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen}

mkdir run
cp -r "$source_dir/data/effects" "$source_dir/data/materials" run/
"$vrenn" assets run >/dev/null && "$vrenn" mkscene scene.vmsh >/dev/null || { echo "FAILED: set-up"; exit 1; }
# A sharded bake, compressed after the merge; the full transfer is tried first without it.
for k in 1 2; do "$vrenn" bake scene.vmsh --rays 16 --shard $k/2 --out parts >/dev/null 2>&1; done
out=$("$vrenn" bake scene.vmsh --merge parts --out run --compress 2>/dev/null)
check "merge --compress: compress line" matches "$(tail -n 1 <<<"$out")" "^texels=[0-9]+ clusters=256 components=7 "
mv run/shtex.cpca default.cpca
config() { printf 'model "models/%s"\nmax_scene_lum "%s"\n' "${2:-saved.vmsh}" "${3:-4}" >"$1/default.cfg"; }
config run
read -r w h < <("$vrenn" image info run/shtex0.dds | sed -nE '1s/.*width=([0-9]+) height=([0-9]+).*/\1 \2/p')

# The largest difference between two files' bytes (the same length).
maxdiff() {
    paste <(od -An -v -tu1 -w1 "$1") <(od -An -v -tu1 -w1 "$2") |
        awk '{ d = $1 - $2; if (d < 0) d = -d; if (d > m) m = d } END { print m + 0 }'
}
lightmaps() { ls "$1" | grep -c '^lightmap[0-2]\.dds$'; }

out=$("$vrenn" lightmaps run 2>stderr.txt)
check "last line" matches "$(tail -n 1 <<<"$out")" "^width=$w height=$h passes=1 seconds=[0-9]+\.[0-9]+$"
check "nothing on stderr" test ! -s stderr.txt
out=$(cd run && "$vrenn" lightmaps --passes 3 --out ../three)
check "three passes: last line" matches "$(tail -n 1 <<<"$out")" "^width=$w height=$h passes=3 "
for k in 0 1 2; do
    check "lightmap$k.dds is 8-bit RGBA of the atlas size" \
        matches "$("$vrenn" image info run/lightmap$k.dds)" "^format=4 width=$w height=$h depth=1 "
    check "lightmap$k.dds: both paths within one step" test "$(maxdiff run/lightmap$k.dds three/lightmap$k.dds)" -le 1
done
"$vrenn" lightmaps run --angle 1.5 --out turned >/dev/null
check "the turn changes the light" test "$(maxdiff run/lightmap0.dds turned/lightmap0.dds)" -gt 8
"$vrenn" lightmaps run --blend 1 --out blended >/dev/null
check "the blend changes the light" test "$(maxdiff run/lightmap0.dds blended/lightmap0.dds)" -gt 8

# --out creates its folder. With no runtime folder and no display, the window system
# library has nothing to say on a run that succeeds.
env -u XDG_RUNTIME_DIR -u SDL_VIDEODRIVER -u WAYLAND_DISPLAY -u DISPLAY \
    "$vrenn" lightmaps run --out new/deeper >/dev/null 2>stderr.txt
check "--out made" test "$(lightmaps new/deeper)" -eq 3
check "no runtime folder: nothing on stderr" test ! -s stderr.txt

# A probe the settings name but that cannot be used: the program's fall-back and reason.
cp -r run unusable
echo 'probe1 "probes/gone.sh"' >>unusable/default.cfg
"$vrenn" lightmaps unusable --blend 1 --out unusable-out >/dev/null 2>stderr.txt
check "unusable probe: exit 0" test $? -eq 0
check "unusable probe: the program's reason" test "$(cat stderr.txt)" = \
    'vrenn: lightmaps: warning: probe1 "probes/gone.sh" cannot be used (the file is not there); slot 1 keeps the built-in probe stpeters and its sky'
check "unusable probe: the built-in light" test "$(maxdiff blended/lightmap0.dds unusable-out/lightmap0.dds)" -eq 0

# Refused inputs: one line on stderr, exit 1, no lightmap written.
refused() { # REASON
    fails_cleanly 1 "vrenn: lightmaps: .*$1" "$vrenn" lightmaps bad --out none && test -z "$(ls none 2>/dev/null)"
}
cp -r run bad
mv bad/shtex1.dds shtex1.dds
check "missing shtex1.dds" refused "shtex1.dds is missing"
cp run/lightmap0.dds bad/shtex1.dds
check "shtex1.dds of 8-bit texels" refused "shtex1.dds is not 8 slices of four half floats"
cp shtex1.dds bad/shtex1.dds && config bad saved.vmsh 0
check "max_scene_lum 0" refused "max_scene_lum in default.cfg must be above 0"
cp scene.vmsh bad/models/plain.vmsh && config bad plain.vmsh
check "a model without set 1" refused "no texture-coordinate set 1"
config bad missing.vmsh
check "a missing model" refused "missing.vmsh"
check "the run folder's lightmaps stay" test "$(lightmaps bad)" -eq 3

# The three lightmaps are replaced together or not at all: a folder in lightmap1.dds's place
# fails the command before lightmap0.dds is replaced.
mkdir half && cp run/lightmap0.dds run/lightmap2.dds half/ && mkdir half/lightmap1.dds
check "a folder for lightmap1.dds" fails_cleanly 1 'vrenn: .*lightmap1.dds: Is a directory$' \
    "$vrenn" lightmaps run --angle 1.5 --out half
check "a folder for lightmap1.dds: the others kept, nothing beside" \
    bash -c 'cmp -s run/lightmap0.dds half/lightmap0.dds && cmp -s run/lightmap2.dds half/lightmap2.dds &&
        [ "$(ls half | wc -l)" -eq 3 ]'

check "--passes 2 is a usage error" usage_error '--passes is 1 or 3' "$vrenn" lightmaps run --passes 2
check "--angle x is a usage error" usage_error '' "$vrenn" lightmaps run --angle x
check "help" bash -c "'$vrenn' lightmaps --help | grep -q '^Usage: vrenn lightmaps \[RUNDIR\]'"

# The compressed transfer beside the full one; fewer clusters in a folder of its own.
cp default.cpca run/shtex.cpca
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
for k in 0 1 2; do
    d=$(rmsdiff run/lightmap$k.dds comp/lightmap$k.dds)
    echo "lightmap$k.dds: compressed against full: rms $d hundredths of a step"
    check "lightmap$k.dds: compressed near full" test "$d" -le 300
done

# Refused compressed files: one line on stderr, then the transfer textures light the scene.
fallback() { # DESCRIPTION REASON
    out=$("$vrenn" lightmaps run --out back 2>stderr.txt)
    check "$1: falls back to the full transfer" matches "$(tail -n 1 <<<"$out")" " seconds=[0-9.]+$"
    check "$1: one line with the reason" bash -c "[ \$(wc -l <stderr.txt) -eq 1 ] && grep -q '$2' stderr.txt"
    check "$1: the full path's lightmaps" cmp -s back/lightmap0.dds run/lightmap0.dds
    check "$1: --transfer compressed fails" fails_cleanly 1 "vrenn: .*$2" \
        "$vrenn" lightmaps run --transfer compressed --out back
}
printf '\x55' | dd of=run/shtex.cpca bs=1 seek=1000 conv=notrunc status=none
fallback "a damaged file" "shtex.cpca is damaged"
cp default.cpca run/shtex.cpca
"$vrenn" bake scene.vmsh --rays 9 --out run >/dev/null 2>&1
out=$("$vrenn" lightmaps run --transfer full 2>/dev/null)
check "--transfer full" matches "$(tail -n 1 <<<"$out")" " passes=1 seconds=[0-9.]+$"
fallback "an earlier bake's file" "made from other transfer files"

for args in "compress run --clusters 0" "compress run --components 16" \
    "bake scene.vmsh --shard 1/2 --compress --out run"; do
    check "$args is a usage error" usage_error '' "$vrenn" $args
done
mkdir empty
check "no transfer" fails_cleanly 1 "vrenn: " "$vrenn" compress empty
check "no transfer: nothing written" test ! -e empty/shtex.cpca

finish "lightmaps command"
