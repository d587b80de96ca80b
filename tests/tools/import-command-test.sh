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
