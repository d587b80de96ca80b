#!/usr/bin/env bash
# Configures and builds Vrenn into a build folder (default: build).
#   scripts/build.sh [BUILD_DIR] [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
shift || true
generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
# Rebuilds in several checkouts reuse each other's objects when ccache is installed.
launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build_dir" "${generator[@]}" "${launcher[@]}" -DVRENN_WERROR=ON "$@"
cmake --build "$build_dir" --parallel "$(nproc)"
