#!/usr/bin/env bash
# Installs the dependencies, builds Vrenn, makes and bakes the demo scene into data/ with one
# bounce of interreflected light (only when the baked files are missing, older than the scene
# or baked otherwise) and runs the demonstration in
# viewing mode. With a display it opens a window (Escape quits). Without one it renders
# off-screen in a copy of data/ whose configuration uses a fixed time step, places the camera
# above the courtyard's open side, ends the run once the exposure has settled (three
# seconds of frames) and takes a screenshot of the last frame.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build
prtdemo=$PWD/build/src/demo/prtdemo
vrenn=$PWD/build/tools/vrenn

# The scene and its bake. The build draws the textures (vrenn assets).
mkdir -p data/models
scene=data/models/scene.vmsh
[ -f "$scene" ] || "$vrenn" mkscene "$scene"
stale=0
for baked in data/shtex0.dds data/shtex1.dds data/shtex2.dds data/models/saved.vmsh; do
    if [ ! -f "$baked" ] || [ "$baked" -ot "$scene" ]; then stale=1; fi
done
# How the files were baked; another bake of them is stale too.
bake_args="--rays 256 --bounces 1"
stamp=data/models/bake-args
if [ "$(cat "$stamp" 2>/dev/null)" != "$bake_args" ]; then stale=1; fi
if [ "$stale" = 1 ]; then
    echo "Baking $scene (256 rays per texel, one bounce)..."
    # The bounce takes the surfaces' albedo from data/materials/materials.mtr and its textures.
    "$vrenn" bake "$scene" $bake_args --out data
    echo "$bake_args" >"$stamp"
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ "${SDL_VIDEODRIVER:-}" != offscreen ]; then
    "$prtdemo" data
    exit 0
fi

run=$PWD/build/headless-run
rm -rf "$run"
cp -r data "$run"
rm -f "$run"/shot*.jpg "$run/app.log"
frames=60
sed -i "s/^r_maxframes .*/r_maxframes \"$frames\"/; s/^r_shotframe .*/r_shotframe \"$frames\"/" \
    "$run/default.cfg"
sed -i '/^r_fixedstep /d; /^cam_start /d' "$run/default.cfg"
printf 'r_fixedstep "0.05"\ncam_start "0 300 -390 180 -22"\n' >> "$run/default.cfg"
SDL_VIDEODRIVER=offscreen "$prtdemo" "$run"
tail -n 3 "$run/app.log"
if [ ! -f "$run/shot0000.jpg" ]; then
    echo "run-main: prtdemo left no screenshot; see $run/app.log" >&2
    exit 1
fi
"$vrenn" image info "$run/shot0000.jpg"
echo "Screenshot: $run/shot0000.jpg"
