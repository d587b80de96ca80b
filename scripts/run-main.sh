#!/usr/bin/env bash
# Installs the dependencies, builds Vrenn and runs the main job: the vrenn tool
# converts the sample probe shipped in data/ into a DDS texture and describes both.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build
vrenn=$PWD/build/tools/vrenn
out=$PWD/build/out
mkdir -p "$out"
"$vrenn" image info data/textures/sample_probe.hdr
"$vrenn" image convert data/textures/sample_probe.hdr "$out/sample_probe.dds"
"$vrenn" image info "$out/sample_probe.dds"
echo "Wrote $out/sample_probe.dds"
