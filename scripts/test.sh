#!/usr/bin/env bash
# Installs the dependencies, builds Vrenn with warnings as errors and runs every test.
#   scripts/test.sh [BUILD_DIR] [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build_dir=${1:-build}
shift || true
bash scripts/build.sh "$build_dir" "$@"
export SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen}
ctest --test-dir "$build_dir" --output-on-failure --parallel "$(nproc)"
