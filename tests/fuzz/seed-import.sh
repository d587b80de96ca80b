#!/usr/bin/env bash
# Seeds the import target: our own fixtures and the small glTF, OBJ and PLY models of
# Debian's assimp-testmodels, each prefixed with the byte that picks its format.
#   seed-import.sh CORPUS_DIR
set -euo pipefail
corpus=$1
here=$(cd "$(dirname "$0")" && pwd)
fixtures=$(mktemp -d)
trap 'rm -rf "$fixtures"' EXIT
python3 "$here/../tools/make-import-fixtures.py" "$fixtures" >/dev/null
n=0
seed() { # FILE FORMAT_BYTE
    [ "$(stat -c %s "$1")" -le 65000 ] || return 0
    { printf "\\$(printf %03o "$2")"; cat "$1"; } >"$corpus/seed-$n"
    n=$((n + 1))
}
models=/usr/share/assimp/models
for f in "$fixtures"/*.gltf $(find "$models/glTF2" -name '*.gltf' 2>/dev/null | head -n 60); do seed "$f" 0; done
for f in "$fixtures"/*.glb $(find "$models/glTF2" -name '*.glb' 2>/dev/null | head -n 30); do seed "$f" 1; done
for f in "$fixtures"/*.obj $(find "$models/OBJ" -name '*.obj' 2>/dev/null | head -n 40); do seed "$f" 2; done
for f in $(find "$models/PLY" -name '*.ply' 2>/dev/null | head -n 40); do seed "$f" 3; done
echo "seeded $n files"
