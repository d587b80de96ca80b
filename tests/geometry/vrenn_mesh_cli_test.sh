#!/usr/bin/env bash
# Runs `vrenn mkscene`, `vrenn mesh info` and `vrenn mesh bsp` end to end and checks
# their output formats, exit statuses and error lines.
#   vrenn_mesh_cli_test.sh PATH_TO_VRENN
set -u
vrenn=$1
source "$(dirname "$0")/../support/cli-checks.sh"

out=$("$vrenn" mkscene scene.vmsh)
check "mkscene exits 0" test $? -eq 0
check "mkscene summary" matches "$out" '^surfaces=6 faces=[0-9]+ vertices=[0-9]+ indices=[0-9]+$'
faces=$(sed -E 's/.*faces=([0-9]+).*/\1/' <<<"$out")
"$vrenn" mkscene again.vmsh >/dev/null
check "mkscene is deterministic" cmp -s scene.vmsh again.vmsh

info=$("$vrenn" mesh info scene.vmsh)
check "info exits 0" test $? -eq 0
check "info first line" matches "$(head -1 <<<"$info")" '^surfaces=6 vertices=[0-9]+ indices=[0-9]+$'
check "info has six surface lines" test "$(grep -c '^surface ' <<<"$info")" -eq 6
check "info surface line" matches "$info" \
    '^surface 0 material=floor vertices=4 indices=6 streams=3 strides=20,12,24$'
check "info element lines" test "$(grep -Ec '^element stream=[0-9]+ usage=[0-9]+ index=[0-9]+ type=[0-9]+ count=[1-4] offset=[0-9]+$' <<<"$info")" -eq 30
check "info tangent element" matches "$info" '^element stream=2 usage=7 index=0 type=0 count=3 offset=12$'
check "info bounds last" matches "$(tail -1 <<<"$info")" '^bounds=-500 0 -400 500 [0-9.]+ 500$'

bsp=$("$vrenn" mesh bsp scene.vmsh --log bsp.log)
check "bsp exits 0" test $? -eq 0
check "bsp first line" matches "$(head -1 <<<"$bsp")" "^polygons=$faces nodes=[0-9]+ leaves=[0-9]+$"
check "bsp log starts with the matrix" matches "$(head -1 bsp.log)" '^poly intersection$'
check "bsp log has the leaves" grep -q '^leafs$' bsp.log
check "bsp log lists every polygon" test "$(sed -n '/^polys$/,/^nodes$/p' bsp.log | wc -l)" -eq $((faces + 2))

head -c 300 scene.vmsh >cut.vmsh
"$vrenn" mesh info cut.vmsh >stdout.txt 2>stderr.txt
check "damaged file exits 1" test $? -eq 1
check "damaged file: one line on stderr" test "$(wc -l <stderr.txt)" -eq 1
check "damaged file: what and why" \
    grep -Eq '^vrenn: mesh info: Failed to read mesh data: cut.vmsh \(surface [0-9]+: .+\)$' stderr.txt
check "damaged file: nothing on stdout" test ! -s stdout.txt

"$vrenn" mesh bsp absent.vmsh >stdout.txt 2>stderr.txt
check "missing file exits 1" test $? -eq 1
check "missing file: reason" grep -qx 'vrenn: mesh bsp: Failed to load absent.vmsh' stderr.txt

"$vrenn" mesh info >/dev/null 2>&1
check "usage error exits 2" test $? -eq 2
check "mesh help" matches "$("$vrenn" mesh --help)" 'vrenn mesh bsp FILE \[--log LOGFILE\]'
check "mkscene help" matches "$("$vrenn" mkscene --help)" 'vrenn mkscene OUT.vmsh'
"$vrenn" mkscene no/such/folder/scene.vmsh >/dev/null 2>stderr.txt
check "unwritable output exits 1" test $? -eq 1
check "unwritable output: why" grep -qx \
    'vrenn: mkscene: Failed to save mesh data: no/such/folder/scene.vmsh (cannot open it for writing: No such file or directory)' \
    stderr.txt

finish "vrenn mesh"
