#!/usr/bin/env bash
# Runs `vrenn import` as users do on fixtures made by make-import-fixtures.py: the files it
# writes into a run folder, the last line, a re-import, a model the bake takes, and failures
# that write nothing.
#   import-command-test.sh VRENN MAKE_FIXTURES_PY PROJECT_SOURCE_DIR
set -uo pipefail
vrenn=$1
source "$(dirname "$0")/../support/cli-checks.sh"
python3 "$2" fx || { echo "FAILED: fixtures"; exit 1; }
mkdir -p run/materials && cp "$3/data/materials/materials.mtr" run/materials/

# fails_cleanly COMMAND...: exit status 1, one line on stderr, nothing on stdout.
fails_cleanly() {
    "$@" >stdout.txt 2>stderr.txt
    local status=$?
    [ "$status" -eq 1 ] && [ ! -s stdout.txt ] && [ "$(wc -l <stderr.txt)" -eq 1 ] &&
        grep -q "^vrenn: import" stderr.txt
}
blocks() { grep -c '^[A-Za-z0-9_-]* {$' run/materials/materials.mtr; }

cp run/materials/materials.mtr original.mtr
out=$("$vrenn" import fx/fixture.gltf --out run 2>stderr.txt)
check "import exits 0" test $? -eq 0
check "last line" [ "$(tail -n 1 <<<"$out")" = "surfaces=2 triangles=14 scale=250" ]
check "no warnings" test ! -s stderr.txt
for f in models/fixture.vmsh textures/fixture/StoneBox_albedo.dds textures/fixture/StoneBox_normal.dds \
    textures/fixture/Red_albedo.dds textures/fixture/Red_normal.dds; do
    check "writes $f" test -s "run/$f"
done
check "albedo has its mips" [ "$("$vrenn" image info run/textures/fixture/StoneBox_albedo.dds |
    head -n 1)" = "format=4 width=2 height=2 depth=1 mips=2 faces=1" ]
info=$("$vrenn" mesh info run/models/fixture.vmsh)
check "surfaces name the materials" test "$(grep -Ec '^surface [01] material=fixture_(StoneBox|Red) ' <<<"$info")" -eq 2
check "old blocks kept, new ones appended" cmp -s original.mtr <(head -c "$(stat -c %s original.mtr)" run/materials/materials.mtr)
check "two blocks added" test "$(blocks)" -eq "$(($(grep -c '^[A-Za-z0-9_-]* {$' original.mtr) + 2))"
check "block uses the PRT lighting" grep -A4 '^fixture_StoneBox {$' run/materials/materials.mtr |
    grep -q '"diffuseMap" texture "textures/fixture/StoneBox_albedo.dds"'

# A re-import (another format, another scale) replaces the blocks instead of adding more.
cp run/materials/materials.mtr once.mtr
out=$("$vrenn" import fx/fixture.obj --out run --name fixture --scale 100)
check "reimport last line" [ "$(tail -n 1 <<<"$out")" = "surfaces=2 triangles=14 scale=100" ]
check "reimport replaces the blocks" cmp -s once.mtr run/materials/materials.mtr

# The bake takes the model: one polygon per box face and one for the floor.
out=$("$vrenn" bake run/models/fixture.vmsh --rays 1 --threads 2 --out baked)
check "bake exits 0" test $? -eq 0
check "bake packs the planar faces" matches "$out" '^atlas=[0-9]+x[0-9]+ polygons=7 '

# Missing texture: a warning, and a plain albedo instead.
mkdir lost && cp fx/fixture.gltf fx/fixture.bin lost/
out=$("$vrenn" import lost/fixture.gltf --out run2 --name lost 2>stderr.txt)
check "missing texture still imports" test $? -eq 0
check "missing texture warns" grep -q '^vrenn: import: warning: lost_StoneBox: .*checker.png' stderr.txt

# Files the model names: a missing material library, a FIFO, a texture outside the folder.
printf 'mtllib %s\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nusemtl A\nf 1/1 2/1 3/1\n' gone.mtl >named.obj
out=$("$vrenn" import named.obj --out run3 2>stderr.txt)
check "missing library still imports" test $? -eq 0
check "missing library is one warning naming it" \
    [ "$(cat stderr.txt)" = "vrenn: import: warning: gone.mtl cannot be found; going on without it" ]
mkdir -p inner && cp fx/checker.png outside.png && mkfifo inner/pipe.mtl
printf 'newmtl A\nmap_Kd ../outside.png\n' >inner/lib.mtl
sed 's/gone.mtl/pipe.mtl/' named.obj >inner/fifo.obj
sed 's/gone.mtl/lib.mtl/' named.obj >inner/out.obj
out=$(timeout 20 "$vrenn" import inner/fifo.obj --out run3 2>stderr.txt)
check "a FIFO is refused, not waited on" grep -q 'pipe.mtl is not a regular file' stderr.txt
out=$("$vrenn" import inner/out.obj --out run3 2>stderr.txt)
check "a texture outside the folder is refused" grep -q "outside.png lies outside the model's folder" stderr.txt
out=$("$vrenn" import inner/out.obj --out run3 --allow-outside 2>stderr.txt)
check "--allow-outside reads it" test ! -s stderr.txt

# PLY and STL, and a format not tried here.
printf 'ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n2 0 0\n0 1 0\n3 0 1 2\n' >tri.ply
printf 'solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 2 0 0\nvertex 0 1 0\nendloop\nendfacet\nendsolid t\n' >tri.stl
for f in tri.ply tri.stl; do
    out=$("$vrenn" import "$f" --out run3)
    check "imports $f" [ "$(tail -n 1 <<<"$out")" = "surfaces=1 triangles=1 scale=500" ]
done
head -c 4096 /dev/zero >zeros.lws
printf 'v 1e39 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n' >inf.obj
check "refuses an untried format by name" fails_cleanly "$vrenn" import zeros.lws --out fresh
check "names the format rule" grep -q 'not glTF (.gltf, .glb), OBJ, PLY or STL; --any-format' stderr.txt
# The importer crashes on this file: its process dies, ours says so (a sanitizer build
# catches the fault and ends the process with a status instead).
check "an importer crash is one line" fails_cleanly "$vrenn" import zeros.lws --any-format --out fresh
check "the crash is named" grep -Eq '^vrenn: import: the model importer (crashed \(signal 11\)|stopped with status [0-9]+) reading zeros.lws$' stderr.txt
check "refuses a vertex that is not finite" fails_cleanly "$vrenn" import inf.obj --out fresh
check "names the vertex" grep -q 'a vertex is not finite' stderr.txt

# SIGTERM while the import works: the process ends by the signal, all or nothing written.
python3 - <<'PY'
n = 400
with open("big.obj", "w") as f:
    for y in range(n + 1):
        for x in range(n + 1):
            f.write(f"v {x} {y} {(x * 7 + y * 13) % 5 * 0.1}\n")
    for y in range(n):
        for x in range(n):
            a = y * (n + 1) + x + 1
            f.write(f"f {a} {a + 1} {a + n + 2}\nf {a} {a + n + 2} {a + n + 1}\n")
PY
"$vrenn" import big.obj --out stopped >/dev/null 2>stderr.txt &
pid=$!
# The stop handlers are in place before the importer's child process starts: wait for it.
for _ in $(seq 200); do
    pgrep -P "$pid" >/dev/null && break
    sleep 0.05
done
kill -TERM "$pid"
wait "$pid"
status=$?
check "SIGTERM ends the import by the signal" test "$status" -eq 143
check "SIGTERM says so" bash -c "grep -q 'stopped by signal 15' stderr.txt || [ -s stopped/models/big.vmsh ]"
# Stopped before the commit (the usual case) nothing is left; a signal that lands in the
# commit finds it completed: every new file and no temporary.
check "SIGTERM leaves all or nothing" bash -c '[ ! -e stopped ] ||
    { [ -s stopped/models/big.vmsh ] && [ -s stopped/materials/materials.mtr ] &&
      [ -z "$(find stopped -name "*.tmp*")" ]; }'

# A write that fails names the system's reason and leaves no folder behind: a file size
# limit stands in for a full disk, a folder in the material script's place for a rename.
(trap '' XFSZ; ulimit -f 64; "$vrenn" import big.obj --out full >stdout.txt 2>stderr.txt)
check "a failed write gives the reason" grep -q '^vrenn: import: cannot write full/models/big.vmsh: File too large$' stderr.txt
check "a failed write leaves no folders" test ! -e full
mkdir -p blocked/materials/materials.mtr
check "a failed commit is one line" fails_cleanly "$vrenn" import tri.stl --out blocked
check "a failed commit leaves no folders" [ "$(find blocked | wc -l)" -eq 3 ]

mkdir -p piped/materials && mkfifo piped/materials/materials.mtr
check "a FIFO in the script's place is refused" fails_cleanly timeout 20 "$vrenn" import tri.stl --out piped
check "names the script" grep -q 'materials.mtr: is not a regular file' stderr.txt

# A binary glTF whose JSON chunk claims 2 GB is refused before the importer reads it.
python3 -c "
import struct, sys
b = bytearray(open('fx/fixture.glb', 'rb').read())
b[12:16] = struct.pack('<I', 2 << 30)
open('huge.glb', 'wb').write(b)"
check "refuses a glb chunk longer than the file" fails_cleanly "$vrenn" import huge.glb --out fresh
check "names the chunk" grep -q 'chunk 0 claims more bytes' stderr.txt

# Failures: one line, exit 1, nothing written (no folders either), the script untouched.
printf 'not a model\n' >bad.gltf
cp run/materials/materials.mtr before.mtr
for bad in bad.gltf fx/lines.obj missing.obj; do
    check "refuses $bad" fails_cleanly "$vrenn" import "$bad" --out fresh
    check "refuses $bad over a run folder" fails_cleanly "$vrenn" import "$bad" --out run --name fixture
done
check "nothing written" test ! -e fresh
check "script kept" cmp -s before.mtr run/materials/materials.mtr
check "usage error" bash -c "'$vrenn' import fx/fixture.gltf --scale -1 2>/dev/null; [ \$? -eq 2 ]"
check "no temporary files" test -z "$(find run -name '*.tmp*')"

finish import
