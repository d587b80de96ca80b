#!/usr/bin/env bash
# Runs prtdemo and vrenn as a hostile user would: on damaged run folders and files, without
# a GL 4.5 device, with a log or a folder that cannot be written and on a full disk, each
# under a memory limit. Every run must end within seconds with a clear message and the
# right exit status, and leave the run folder whole (no temporary files, default.cfg
# readable).
#   damaged-run-test.sh PRTDEMO VRENN DATA_DIR
set -uo pipefail
prtdemo=$1
vrenn=$2
data=$3
source "$(dirname "$0")/../support/cli-checks.sh"
chmod 755 "$work" # a run as another user must reach its folders

# Virtual memory for each run (KiB): a healthy lit run needs well under it, llvmpipe
# included; a file that makes a program reserve gigabytes fails under it. Sanitizer builds
# set VRENN_MEMORY_LIMIT=unlimited.
limit=${VRENN_MEMORY_LIMIT:-1572864}
export SDL_VIDEODRIVER=offscreen LP_NUM_THREADS=2

# limited COMMAND...: runs COMMAND under the memory limit and a time limit, and under a
# file size limit of $fsize blocks when that is set (a full disk: writes refused, the
# signal ignored); standard error goes to err.txt through a pipe, standard output to
# out.txt.
limited() {
    (
        ulimit -v "$limit"
        if [ -n "${fsize:-}" ]; then
            trap '' XFSZ
            ulimit -f "$fsize"
        fi
        exec timeout -k 5 60 "$@"
    ) 2>&1 >out.txt | cat >err.txt
    return "${PIPESTATUS[0]}"
}

# The scene, baked with one ray per texel.
"$vrenn" mkscene scene.vmsh >/dev/null &&
    "$vrenn" bake scene.vmsh --rays 1 --out baked >/dev/null || { echo "FAILED: bake"; exit 1; }

# fresh NAME [baked]: a run folder made from the repository's data that stops after four
# frames and asks for a screenshot of the third; with baked, the baked scene (linked, not
# copied: the program only reads it).
fresh() {
    rm -rf "$1" && cp -r "$data" "$1" || return 1
    rm -f "$1"/app.log "$1"/shot*.jpg "$1"/shtex*.dds && rm -rf "$1"/models
    if [ "${2:-}" = baked ]; then
        mkdir "$1/models" && ln baked/models/saved.vmsh "$1/models/saved.vmsh" &&
            ln baked/shtex*.dds "$1/"
    fi
    printf 'r_maxframes "4"\nr_shotframe "3"\n' >"$1/settings"
    grep -v '^r_maxframes \|^r_shotframe ' "$1/default.cfg" >>"$1/settings"
    mv "$1/settings" "$1/default.cfg"
    chmod -R a+rX "$1"
}

# demo_ends NAME STATUS LOGTEXT: prtdemo ran on NAME and ended with STATUS; the log has
# LOGTEXT and closes with the shut-down line; one line on standard error when it failed,
# none otherwise; nothing left behind.
demo_ends() {
    local name=$1 want=$2 text=$3 status
    limited "$prtdemo" "$name"
    status=$?
    check "$name: exit status $want (got $status)" test "$status" -eq "$want"
    if [ "$want" -eq 0 ]; then
        check "$name: nothing on standard error" test ! -s err.txt
    else
        check "$name: one line on standard error" \
            test "$(wc -l <err.txt)" -eq 1 -a "$(grep -c '^prtdemo: ' err.txt)" -eq 1
    fi
    if [ -n "$text" ]; then check "$name: log says '$text'" grep -qF -- "$text" "$name/app.log"; fi
    check "$name: log closed" test "$(tail -n 1 "$name/app.log" 2>/dev/null)" = "Application::ShutDown"
    check "$name: no temporary files" test -z "$(find "$name" -name '*.tmp*' -o -name '*.old*')"
}

fresh healthy baked
demo_ends healthy 0 "Wrote ScreenShot:shot0000.jpg"
check "healthy: lit" bash -c "! grep -q 'Demo: no model\|missing' healthy/app.log"
check "healthy: settings saved" grep -q '^r_shotframe "3"$' healthy/default.cfg

# Damaged data: the run goes on without it, says so in the log, and ends normally.
fresh model-missing
demo_ends model-missing 0 "Demo: no model to draw: models/saved.vmsh"
fresh model-cut baked
rm model-cut/models/saved.vmsh && head -c 300 scene.vmsh >model-cut/models/saved.vmsh
demo_ends model-cut 0 "Failed to read mesh data: models/saved.vmsh"
fresh transfer-cut baked
rm transfer-cut/shtex1.dds && head -c 200 baked/shtex1.dds >transfer-cut/shtex1.dds
demo_ends transfer-cut 0 "shtex1.dds"
fresh textures-cut
for f in textures/logo.dds textures/sky/builtin0.dds; do
    head -c 150 "$data/$f" >"textures-cut/$f"
done
demo_ends textures-cut 0 "textures/logo.dds"
fresh script-garbage
head -c 3000 "$data/textures/fonts/bigchars.dds" >script-garbage/materials/materials.mtr
demo_ends script-garbage 0 "MaterialMgr: materials/materials.mtr: "
fresh config-cut
printf 'r_maxframes "4"\nr_fovy "6' >config-cut/default.cfg
demo_ends config-cut 0 "Application::ShutDown"
check "config-cut: settings saved whole" grep -q '^r_maxframes "4"$' config-cut/default.cfg
fresh config-garbage
{ printf 'r_maxframes "4"\n'; head -c 4096 "$data/textures/sky/builtin0.dds"; } >config-garbage/default.cfg
demo_ends config-garbage 0 "Application::ShutDown"
check "config-garbage: settings saved readable" grep -q '^r_maxframes "4"$' config-garbage/default.cfg

# Lighting refused: the model is still drawn in neutral light, the log says why (the help
# panel shows the same line), and a value is named as it was written.
fresh lum-zero baked
sed -i 's/^max_scene_lum .*/max_scene_lum "0"/' lum-zero/default.cfg
demo_ends lum-zero 0 'Demo: the scene is drawn without lighting: max_scene_lum "0" is not a number above 0'
fresh transfer-shape baked
rm transfer-shape/shtex0.dds && cp "$data/textures/logo.dds" transfer-shape/shtex0.dds
demo_ends transfer-shape 0 "drawn without lighting: shtex0.dds is not 8 slices of four half floats"
fresh settings-as-written baked
sed -i -e '/^r_rtsize \|^cam_start /d' settings-as-written/default.cfg
printf 'r_rtsize "nan"\ncam_start "3e38 3e38 3e38 0 0"\n' >>settings-as-written/default.cfg
demo_ends settings-as-written 0 'Demo: r_rtsize "nan" is not a size of at least 256; HDR is off'
check "settings-as-written: cam_start named as written" grep -qF \
    'cam_start "3e38 3e38 3e38 0 0" places the camera farther than 1e7 units' \
    settings-as-written/app.log
fresh bake-refused
sed -i -e '/^makebsp \|^num_rays \|^model /d' bake-refused/default.cfg
printf 'makebsp "1"\nnum_rays "lots"\nmodel "models/scene.vmsh"\n' >>bake-refused/default.cfg
mkdir -p bake-refused/models && cp scene.vmsh bake-refused/models/
demo_ends bake-refused 0 'PRT bake failed: num_rays "lots"'
# A screenshot name held by a link (even one leading nowhere) is skipped, never written
# through.
fresh shot-link baked
mkdir outside && ln -s ../outside/shot.jpg shot-link/shot0000.jpg
demo_ends shot-link 0 "Wrote ScreenShot:shot0001.jpg"
check "shot-link: nothing written through the link" test ! -e outside/shot.jpg

# Failures of the machine: the run ends with a failure status and says why.
fresh no-device
MESA_GL_VERSION_OVERRIDE=3.3 demo_ends no-device 1 "Couldn't Create Any GL Device!"
check "no-device: reason" grep -q '^prtdemo: the renderer could not be started: ' err.txt
check "no-device: no success line" bash -c "! grep -q 'Initilizing success' no-device/app.log"

fresh log-full
ln -s /dev/full log-full/app.log
limited "$prtdemo" log-full
check "log-full: exit status 1" test $? -eq 1
check "log-full: reason" grep -qx "prtdemo: cannot write .*app.log: No space left on device" err.txt
check "log-full: the rest was done" test -s log-full/shot0000.jpg

# A run folder the program cannot write to: as another user when run by root (who may
# write anywhere), otherwise with the write permission taken away.
fresh read-only
cp read-only/default.cfg settings.before
if [ "$(id -u)" -eq 0 ]; then
    as_other=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
else
    as_other=()
    chmod a-w read-only
fi
limited "${as_other[@]}" "$prtdemo" read-only
check "read-only: exit status 1" test $? -eq 1
check "read-only: one line" test "$(wc -l <err.txt)" -eq 1
check "read-only: reason" grep -q "^prtdemo: cannot write .*app.log: Permission denied" err.txt
check "read-only: settings untouched" cmp -s read-only/default.cfg settings.before
chmod u+w read-only

# A full disk (every write beyond nothing refused): the earlier settings stay whole.
fresh disk-full
cp disk-full/default.cfg settings.before
fsize=0 limited "$prtdemo" disk-full
check "disk-full: exit status 1" test $? -eq 1
check "disk-full: one line" test "$(wc -l <err.txt)" -eq 1
check "disk-full: the system's reason" grep -q '^prtdemo: .*File too large' err.txt
check "disk-full: settings kept" cmp -s disk-full/default.cfg settings.before
check "disk-full: no screenshot" test ! -e disk-full/shot0000.jpg
check "disk-full: no temporary files" test -z "$(find disk-full -name '*.tmp*')"

# Room for the log and the settings but not the screenshot asked for.
fresh shot-refused baked
fsize=8 limited "$prtdemo" shot-refused
check "shot-refused: exit status 1" test $? -eq 1
check "shot-refused: reason" \
    grep -qx 'prtdemo: Could not Write ScreenShot:shot0000.jpg (File too large)' err.txt
check "shot-refused: log closed" \
    test "$(tail -n 1 shot-refused/app.log)" = "Application::ShutDown"

# A folder where a file should be is refused at once, never read as a file of gigabytes: a
# folder for default.cfg runs on the defaults (no frame limit: an interrupt ends it, and its
# settings cannot be saved); a folder for the 2D material script leaves the overlays without
# their materials.
# The interrupt comes once the program is up (its log says so; a busy machine, or a sanitizer
# build, may take many seconds to get there), and a program still running 30 seconds later is
# killed.
fresh config-folder
rm config-folder/default.cfg && mkdir config-folder/default.cfg
(
    ulimit -v "$limit"
    exec "$prtdemo" config-folder
) >out.txt 2>err.txt &
demo=$!
for _ in $(seq 1200); do
    grep -qF "Initilizing success" config-folder/app.log 2>/dev/null && break
    sleep 0.1
done
kill -INT "$demo"
(
    for _ in $(seq 300); do
        kill -0 "$demo" 2>/dev/null || exit 0
        sleep 0.1
    done
    kill -KILL "$demo"
) >/dev/null 2>&1 &
wait "$demo"
status=$?
check "config-folder: ended by the interrupt (got $status)" test "$status" -eq 130
check "config-folder: log names the folder" grep -qF "default.cfg" config-folder/app.log
check "config-folder: log closed" \
    test "$(tail -n 1 config-folder/app.log 2>/dev/null)" = "Application::ShutDown"
fresh script-folder
rm script-folder/materials/2d.mtr && mkdir script-folder/materials/2d.mtr
demo_ends script-folder 0 "materials/2d.mtr"
# A script of 40,000 unclosed blocks loads in one pass.
fresh script-unclosed
python3 -c "print('m {' * 40000)" >script-unclosed/materials/materials.mtr
demo_ends script-unclosed 0 ""

# vrenn on damaged files: status 1 and one line naming the file.
# tool_fails DESCRIPTION COMMAND...
tool_fails() {
    local what=$1
    shift
    limited "$vrenn" "$@"
    check "$what: exit status 1" test $? -eq 1
    check "$what: one line" test "$(wc -l <err.txt)" -eq 1 -a "$(grep -c '^vrenn: ' err.txt)" -eq 1
}
head -c 100 "$data/textures/logo.dds" >cut.dds
head -c 300 "$data/textures/sample_probe.hdr" >cut.hdr
head -c 4096 "$data/textures/logo.dds" >garbage.jpg
head -c 300 scene.vmsh >cut.vmsh
tool_fails "image info cut.dds" image info cut.dds
tool_fails "image info cut.hdr" image info cut.hdr
tool_fails "image info garbage.jpg" image info garbage.jpg
tool_fails "mesh info cut.vmsh" mesh info cut.vmsh
tool_fails "bake of a missing model" bake missing.vmsh --out baked
mkdir dir.jpg dir.vmsh
tool_fails "image info of a folder" image info dir.jpg
tool_fails "mesh info of a folder" mesh info dir.vmsh
check "baked files kept" test "$(ls baked | wc -l)" -eq 4
# Too little memory at any point of a bake: one line and exit status 1 (or, below what the
# libraries need, the loader's refusal), never an abort. Sanitizer builds reserve too much
# address space to run under a limit.
if [ "$limit" != unlimited ]; then
    for tight in $(seq 36000 4000 60000); do
        (
            ulimit -v "$tight"
            exec "$vrenn" bake scene.vmsh --rays 1 --out tight
        ) >/dev/null 2>err.txt
        status=$?
        case $status in
        0 | 127) ;;
        1) check "bake in $tight KiB: one line" test "$(wc -l <err.txt)" -eq 1 ;;
        *) check "bake in $tight KiB: no abort (got $status: $(head -c 100 err.txt))" false ;;
        esac
    done
fi
# A full disk under a bake: the system's reason, and no folder or temporary left behind.
fsize=1 limited "$vrenn" bake scene.vmsh --rays 1 --out full/new
check "full disk bake: exit status 1" test $? -eq 1
check "full disk bake: one line with the system's reason" \
    test "$(grep -c '^vrenn: bake: .*File too large' err.txt)" -eq 1 -a "$(wc -l <err.txt)" -eq 1
check "full disk bake: no folder left" test ! -e full

finish "damaged run"
