#!/usr/bin/env bash
# Runs `vrenn import` on the fixtures of tests/data/tools/import: the files it writes, the last
# line, a re-import, a model the bake takes, and failures that write nothing.
#   import-command-test.sh VRENN SOURCE_DIR
set -uo pipefail
vrenn=$1
source "$(dirname "$0")/../support/cli-checks.sh"
cp -r "$2/tests/data/tools/import" fx && mkdir -p run/materials &&
    cp "$2/data/materials/materials.mtr" run/materials/
blocks() { grep -c '^[A-Za-z0-9_-]* {$' "$1"; }
import_fails() { # REASON ARGS...: one line with the reason, exit 1
    local reason=$1
    shift
    fails_cleanly 1 "vrenn: import: .*$reason" "$vrenn" import "$@"
}

cp run/materials/materials.mtr original.mtr
out=$("$vrenn" import fx/fixture.gltf --out run 2>stderr.txt)
check "last line" [ "$(tail -n 1 <<<"$out")" = "surfaces=2 triangles=14 scale=250" ]
check "no warnings" test ! -s stderr.txt
for f in models/fixture.vmsh textures/fixture/{StoneBox,Red}_{albedo,normal}.dds; do
    check "writes $f" test -s "run/$f"
done
check "albedo has its mips" [ "$("$vrenn" image info run/textures/fixture/StoneBox_albedo.dds |
    head -n 1)" = "format=4 width=2 height=2 depth=1 mips=2 faces=1" ]
check "surfaces name the materials" test "$("$vrenn" mesh info run/models/fixture.vmsh |
    grep -Ec '^surface [01] material=fixture_(StoneBox|Red) ')" -eq 2
check "old blocks kept, two new ones appended" bash -c "cmp -s original.mtr <(head -c $(stat -c %s original.mtr) run/materials/materials.mtr) &&
    [ $(($(blocks original.mtr) + 2)) -eq \$(grep -c '^[A-Za-z0-9_-]* {$' run/materials/materials.mtr) ]"
check "block uses the PRT lighting" bash -c "grep -A4 '^fixture_StoneBox {$' run/materials/materials.mtr |
    grep -q '\"diffuseMap\" texture \"textures/fixture/StoneBox_albedo.dds\"'"

# A re-import (another format, another scale) replaces the blocks instead of adding more.
cp run/materials/materials.mtr once.mtr
out=$("$vrenn" import fx/fixture.obj --out run --name fixture --scale 100)
check "reimport last line" [ "$(tail -n 1 <<<"$out")" = "surfaces=2 triangles=14 scale=100" ]
check "reimport replaces the blocks" cmp -s once.mtr run/materials/materials.mtr
check "reimport at scale 100: the floor spans 400 units" bash -c "'$vrenn' mesh info run/models/fixture.vmsh |
    awk '/^bounds=/ { sub(\"bounds=\", \"\"); d = \$4 - \$1 - 400; ok = d < 0.01 && -d < 0.01 } END { exit !ok }'"
# The bake takes the model: one polygon per box face and one for the floor.
out=$("$vrenn" bake run/models/fixture.vmsh --rays 1 --threads 2 --out baked)
check "bake packs the planar faces" matches "$out" '^atlas=[0-9]+x[0-9]+ polygons=7 '

# Files the model names: missing (a warning naming it), a FIFO, a texture outside the folder.
mkdir lost && cp fx/fixture.gltf fx/fixture.bin lost/
"$vrenn" import lost/fixture.gltf --out run2 --name lost >/dev/null 2>stderr.txt
check "missing texture warns and imports" grep -q '^vrenn: import: warning: lost_StoneBox: .*checker.png' stderr.txt
"$vrenn" import fx/named.obj --out run3 >/dev/null 2>stderr.txt
check "missing library is one warning naming it" \
    [ "$(cat stderr.txt)" = "vrenn: import: warning: fx/gone.mtl cannot be found; going on without it" ]
mkdir -p inner && cp fx/checker.png outside.png && mkfifo inner/pipe.mtl
printf 'newmtl A\nmap_Kd ../outside.png\n' >inner/lib.mtl
sed 's/gone.mtl/pipe.mtl/' fx/named.obj >inner/fifo.obj
sed 's/gone.mtl/lib.mtl/' fx/named.obj >inner/out.obj
timeout 20 "$vrenn" import inner/fifo.obj --out run3 >/dev/null 2>stderr.txt
check "a FIFO is refused, not waited on" grep -q 'pipe.mtl is not a regular file' stderr.txt
"$vrenn" import inner/out.obj --out run3 >/dev/null 2>stderr.txt
check "a texture outside the folder is refused" grep -q "outside.png lies outside the model's folder" stderr.txt
"$vrenn" import inner/out.obj --out run3 --allow-outside >/dev/null 2>stderr.txt
check "--allow-outside reads it" test ! -s stderr.txt
for f in tri.ply tri.stl; do
    check "imports $f" [ "$("$vrenn" import "fx/$f" --out run3 | tail -n 1)" = "surfaces=1 triangles=1 scale=500" ]
done

# Refusals: one line, exit 1, nothing written (no folders either), the script untouched.
head -c 4096 /dev/zero >zeros.lws
printf 'not a model\n' >bad.gltf
python3 -c "
import struct
b = bytearray(open('fx/fixture.glb', 'rb').read())
b[12:16] = struct.pack('<I', 2 << 30)
open('huge.glb', 'wb').write(b)"
cp run/materials/materials.mtr before.mtr
# The importer crashes on zeros.lws: its process dies, ours says so (a sanitizer build ends it
# with a status instead).
check "an importer crash is one line" import_fails 'the model importer' zeros.lws --any-format --out fresh
check "the crash is named" grep -Eq '(crashed \(signal 11\)|stopped with status [0-9]+) reading zeros.lws$' stderr.txt
while read -r bad reason; do
    check "refuses $bad" import_fails "$reason" "$bad" --out fresh
    check "refuses $bad over a run folder" import_fails "$reason" "$bad" --out run --name fixture
done <<'EOF_BAD'
zeros.lws not glTF (.gltf, .glb), OBJ, PLY or STL; --any-format
fx/inf.obj a vertex is not finite
huge.glb chunk 0 claims more bytes
fx/lines.obj no triangles
bad.gltf
missing.obj
EOF_BAD
check "nothing written" test ! -e fresh
check "script kept" cmp -s before.mtr run/materials/materials.mtr
check "usage error" usage_error '' "$vrenn" import fx/fixture.gltf --scale -1
check "no temporary files" test -z "$(find run -name '*.tmp*')"

# SIGTERM while the import works: the process ends by the signal, all or nothing written.
python3 -c "
n = 400
with open('big.obj', 'w') as f:
    f.writelines(f'v {x} {y} {(x * 7 + y * 13) % 5 * 0.1}\n' for y in range(n + 1) for x in range(n + 1))
    for a in (y * (n + 1) + x + 1 for y in range(n) for x in range(n)):
        f.write(f'f {a} {a + 1} {a + n + 2}\nf {a} {a + n + 2} {a + n + 1}\n')"
"$vrenn" import big.obj --out stopped >/dev/null 2>stderr.txt &
pid=$!
# The stop handlers are in place before the importer's child process starts: wait for it.
for _ in $(seq 200); do
    pgrep -P "$pid" >/dev/null && break
    sleep 0.05
done
kill -TERM "$pid"
wait "$pid"
check "SIGTERM ends the import by the signal" test $? -eq 143
# Stopped before the commit it says so and nothing is left; in the commit, all is written.
check "SIGTERM leaves all or nothing" bash -c '{ grep -q "stopped by signal 15" stderr.txt && [ ! -e stopped ]; } ||
    { [ -s stopped/models/big.vmsh ] && [ -s stopped/materials/materials.mtr ] &&
      [ -z "$(find stopped -name "*.tmp*")" ]; }'

# A failed write (a file size limit; a folder or FIFO for the script) names the system's
# reason and leaves no folder behind.
check "a failed write gives the reason" fails_cleanly 1 \
    'vrenn: import: cannot write full/models/big.vmsh: File too large$' \
    bash -c "trap '' XFSZ; ulimit -f 64; exec '$vrenn' import big.obj --out full"
check "a failed write leaves no folders" test ! -e full
mkdir -p blocked/materials/materials.mtr
check "a failed commit is one line" import_fails '' fx/tri.stl --out blocked
check "a failed commit leaves no folders" [ "$(find blocked | wc -l)" -eq 3 ]
mkdir -p piped/materials && mkfifo piped/materials/materials.mtr
check "a FIFO in the script's place is refused" fails_cleanly 1 'vrenn: import: .*materials.mtr: is not a regular file' \
    timeout 20 "$vrenn" import fx/tri.stl --out piped

finish import
