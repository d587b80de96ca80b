#!/usr/bin/env bash
# Configures and builds Vrenn into a build folder (default: build).
#   scripts/build.sh [BUILD_DIR] [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
shift || true
generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
cmake -S . -B "$build_dir" "${generator[@]}" -DVRENN_WERROR=ON "$@"
cmake --build "$build_dir" --parallel "$(nproc)"
