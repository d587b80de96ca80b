#!/usr/bin/env bash
# Runs `vrenn lightmaps` on a baked demo scene as users do: the output line, the three
# lightmaps (the size of the transfer textures, 8-bit RGBA), both paths agreeing within one
# 8-bit step, the sky angle and blend changing the light, and inputs that are refused with
# nothing written.
#   lightmaps-command-test.sh VRENN SOURCE_DIR
set -uo pipefail
vrenn=$1
source_dir=$2
source "$(dirname "$0")/../support/cli-checks.sh"
export SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen}

mkdir run
cp -r "$source_dir/data/effects" "$source_dir/data/materials" run/
"$vrenn" assets run >/dev/null && "$vrenn" mkscene scene.vmsh >/dev/null &&
    "$vrenn" bake scene.vmsh --rays 4 --out run >/dev/null || { echo "FAILED: set-up"; exit 1; }
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

for args in "--passes 2" "--angle x"; do
    "$vrenn" lightmaps run $args >/dev/null 2>&1
    check "$args is a usage error" test $? -eq 2
done
check "help" bash -c "'$vrenn' lightmaps --help | grep -q '^Usage: vrenn lightmaps \[RUNDIR\]'"

finish "lightmaps command"
