#!/usr/bin/env bash
# Installs the dependencies, builds Vrenn and runs the demonstration in data/.
# With a display it opens a window (Escape quits). Without one it renders off-screen
# in a copy of data/ whose configuration ends the run after 120 frames and takes a
# screenshot of frame 60, then describes that screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build
prtdemo=$PWD/build/src/demo/prtdemo
vrenn=$PWD/build/tools/vrenn

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ "${SDL_VIDEODRIVER:-}" != offscreen ]; then
    "$prtdemo" data
    exit 0
fi

run=$PWD/build/headless-run
rm -rf "$run"
cp -r data "$run"
sed -i 's/^r_maxframes .*/r_maxframes "120"/; s/^r_shotframe .*/r_shotframe "60"/' "$run/default.cfg"
SDL_VIDEODRIVER=offscreen "$prtdemo" "$run"
tail -n 3 "$run/app.log"
"$vrenn" image info "$run/shot0000.jpg"
echo "Screenshot: $run/shot0000.jpg"
