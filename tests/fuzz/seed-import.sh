#!/usr/bin/env bash
# Seeds the import target: our own fixtures and the small glTF, OBJ and PLY models of
# Debian's assimp-testmodels, each prefixed with the byte that picks its format.
#   seed-import.sh CORPUS_DIR
set -euo pipefail
corpus=$1
fixtures=$(cd "$(dirname "$0")/../data/tools/import" && pwd)
models=/usr/share/assimp/models
n=0
seed() { # FORMAT_BYTE FILE...
    local format=$1 f
    shift
    for f; do
        [ "$(stat -c %s "$f")" -le 65000 ] || continue
        { printf "\\$(printf %03o "$format")"; cat "$f"; } >"$corpus/seed-$n"
        n=$((n + 1))
    done
}
seed 0 "$fixtures"/*.gltf $(find "$models/glTF2" -name '*.gltf' 2>/dev/null | head -n 60)
seed 1 "$fixtures"/*.glb $(find "$models/glTF2" -name '*.glb' 2>/dev/null | head -n 30)
seed 2 "$fixtures"/*.obj $(find "$models/OBJ" -name '*.obj' 2>/dev/null | head -n 40)
seed 3 "$fixtures"/*.ply $(find "$models/PLY" -name '*.ply' 2>/dev/null | head -n 40)
echo "seeded $n files"
