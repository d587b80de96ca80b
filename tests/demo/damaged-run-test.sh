#!/usr/bin/env bash
# Runs prtdemo and vrenn as a hostile user would: on damaged run folders and files, without
# a GL 4.5 device, with a log or a folder that cannot be written, on a full disk and stopped
# by a signal, each under a memory limit. Every run must end within seconds with a clear
# message and the right exit status, and leave the run folder whole (no temporary files,
# default.cfg readable).
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
    settings "$1" 'r_maxframes "4"' 'r_shotframe "3"'
    chmod -R a+rX "$1"
}
# settings DIR LINE...: each line replaces the setting of its name in DIR/default.cfg.
settings() {
    local dir=$1 line
    shift
    for line; do
        sed -i "/^${line%% *} /d" "$dir/default.cfg" && echo "$line" >>"$dir/default.cfg"
    done
}
closed() { test "$(tail -n 1 "$1/app.log" 2>/dev/null)" = "Application::ShutDown"; }

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
    check "$name: log closed" closed "$name"
    check "$name: no temporary files" test -z "$(find "$name" -name '*.tmp*' -o -name '*.old*')"
}

# Damaged data and refused settings: the run goes on without them, says so in the log (a
# value named as it was written; the help panel shows the same line), and ends normally.
# Each line: folder | baked | set-up run inside the folder | what the log says.
while IFS='|' read -r name baked setup text; do
    fresh "$name" $baked && (cd "$name" && eval "$setup") || check "$name: set-up" false
    demo_ends "$name" 0 "$text"
done <<'EOF_CASES'
healthy|baked|:|Wrote ScreenShot:shot0000.jpg
model-missing||:|Demo: no model to draw: models/saved.vmsh
model-cut|baked|rm models/saved.vmsh && head -c 300 ../scene.vmsh >models/saved.vmsh|Failed to read mesh data: models/saved.vmsh
transfer-cut|baked|rm shtex1.dds && head -c 200 ../baked/shtex1.dds >shtex1.dds|shtex1.dds
textures-cut||for f in textures/logo.dds textures/sky/builtin0.dds; do head -c 150 "$data/$f" >$f; done|textures/logo.dds
script-garbage||head -c 3000 "$data/textures/fonts/bigchars.dds" >materials/materials.mtr|MaterialMgr: materials/materials.mtr: 
config-cut||printf 'r_maxframes "4"\nr_fovy "6' >default.cfg|Application::ShutDown
config-garbage||{ printf 'r_maxframes "4"\n'; head -c 4096 "$data/textures/sky/builtin0.dds"; } >default.cfg|Application::ShutDown
lum-zero|baked|settings . 'max_scene_lum "0"'|Demo: the scene is drawn without lighting: max_scene_lum "0" is not a number above 0
transfer-shape|baked|rm shtex0.dds && cp "$data/textures/logo.dds" shtex0.dds|drawn without lighting: shtex0.dds is not 8 slices of four half floats
settings-as-written|baked|settings . 'r_rtsize "nan"' 'cam_start "3e38 3e38 3e38 0 0"'|Demo: r_rtsize "nan" is not a size of at least 256; HDR is off
bake-refused||settings . 'makebsp "1"' 'num_rays "lots"' 'model "models/scene.vmsh"' && mkdir models && cp ../scene.vmsh models/|PRT bake failed: num_rays "lots"
shot-link|baked|mkdir ../outside && ln -s ../outside/shot.jpg shot0000.jpg|Wrote ScreenShot:shot0001.jpg
script-folder||rm materials/2d.mtr && mkdir materials/2d.mtr|materials/2d.mtr
script-unclosed||python3 -c "print('m {' * 40000)" >materials/materials.mtr|
EOF_CASES
check "healthy: lit" bash -c "! grep -q 'Demo: no model\|missing' healthy/app.log"
for name in healthy config-cut config-garbage; do
    check "$name: settings saved whole" grep -q '^r_maxframes "4"$' $name/default.cfg
done
check "settings-as-written: cam_start named as written" grep -qF \
    'cam_start "3e38 3e38 3e38 0 0" places the camera farther than 1e7 units' \
    settings-as-written/app.log
# A screenshot name held by a link (even one leading nowhere) is skipped, never written
# through.
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
check "read-only: one line with the reason" bash -c "[ \$(wc -l <err.txt) -eq 1 ] &&
    grep -q '^prtdemo: cannot write .*app.log: Permission denied' err.txt"
check "read-only: settings untouched" cmp -s read-only/default.cfg settings.before
chmod u+w read-only

# A full disk (every write beyond nothing refused): the earlier settings stay whole.
fresh disk-full
cp disk-full/default.cfg settings.before
fsize=0 limited "$prtdemo" disk-full
check "disk-full: exit status 1" test $? -eq 1
check "disk-full: one line with the system's reason" bash -c "[ \$(wc -l <err.txt) -eq 1 ] &&
    grep -q '^prtdemo: .*File too large' err.txt"
check "disk-full: settings kept" cmp -s disk-full/default.cfg settings.before
check "disk-full: no screenshot, no temporary files" \
    test ! -e disk-full/shot0000.jpg -a -z "$(find disk-full -name '*.tmp*')"

# Room for the log and the settings but not the screenshot asked for.
fresh shot-refused baked
fsize=8 limited "$prtdemo" shot-refused
check "shot-refused: exit status 1" test $? -eq 1
check "shot-refused: reason" \
    grep -qx 'prtdemo: Could not Write ScreenShot:shot0000.jpg (File too large)' err.txt
check "shot-refused: log closed" closed shot-refused

# interrupted NAME SIGNAL LOGTEXT: prtdemo on NAME, sent SIGNAL 1.5 s after its log holds
# LOGTEXT (a busy machine, or a sanitizer build, may take many seconds to get there); it must
# end within 20 s of the signal, by that signal, the log closed.
interrupted() {
    (
        ulimit -v "$limit"
        exec "$prtdemo" "$1"
    ) >out.txt 2>err.txt &
    local demo=$! status
    for _ in $(seq 1200); do
        grep -qF "$3" "$1/app.log" 2>/dev/null && break
        sleep 0.1
    done
    sleep 1.5
    kill -"$2" "$demo"
    (
        for _ in $(seq 200); do
            kill -0 "$demo" 2>/dev/null || exit 0
            sleep 0.1
        done
        kill -KILL "$demo"
    ) >/dev/null 2>&1 &
    wait "$demo"
    status=$?
    check "$1: ended by SIG$2 (got $status)" test "$status" -eq $((128 + $(kill -l "$2")))
    check "$1: log closed" closed "$1"
}
# saved NAME LINE...: default.cfg was written back in name order and holds each line.
saved() {
    local dir=$1 line
    shift
    LC_ALL=C sort -c "$dir/default.cfg" || return 1
    for line; do grep -qxF "$line" "$dir/default.cfg" || return 1; done
}
# A stop signal in a long bake (minutes if nothing stopped it) or in the main loop ends the
# run as a quit does: the bake abandoned with nothing of it written, the settings saved.
fresh stop-bake
settings stop-bake 'makebsp "1"' 'num_rays "4096"' 'model "models/scene.vmsh"'
mkdir stop-bake/models && cp scene.vmsh stop-bake/models/
interrupted stop-bake TERM "PRT bake: baking models/scene.vmsh with 4096 rays per texel"
check "stop-bake: settings saved" saved stop-bake 'makebsp "1"' 'num_rays "4096"'
check "stop-bake: the bake stopped" grep -q '^PolyPack::bake: stopped on request' stop-bake/app.log
check "stop-bake: nothing of it written" test ! -e stop-bake/shtex0.dds
fresh stop-loop baked
settings stop-loop 'r_maxframes "0"'
interrupted stop-loop INT "Initilizing success"
check "stop-loop: settings saved" saved stop-loop 'r_maxframes "0"'
# A folder where a file should be is refused at once, never read as a file of gigabytes: a
# folder for default.cfg runs on the defaults (no frame limit, and its settings cannot be
# saved).
fresh config-folder
rm config-folder/default.cfg && mkdir config-folder/default.cfg
interrupted config-folder INT "Initilizing success"
check "config-folder: log names the folder" grep -qF "default.cfg" config-folder/app.log

# vrenn on damaged files: status 1 and one line.
tool_fails() { fails_cleanly 1 "vrenn: " bash -c "ulimit -v $limit; exec \"\$0\" \"\$@\"" "$vrenn" "$@"; }
head -c 100 "$data/textures/logo.dds" >cut.dds
head -c 300 "$data/textures/sample_probe.hdr" >cut.hdr
head -c 4096 "$data/textures/logo.dds" >garbage.jpg
head -c 300 scene.vmsh >cut.vmsh
mkdir dir.jpg dir.vmsh
for args in "image info cut.dds" "image info cut.hdr" "image info garbage.jpg" \
    "mesh info cut.vmsh" "bake missing.vmsh --out baked" "image info dir.jpg" "mesh info dir.vmsh"; do
    check "vrenn $args" tool_fails $args
done
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
check "full disk bake: one line with the system's reason" fails_cleanly 1 'vrenn: bake: .*File too large' \
    bash -c "trap '' XFSZ; ulimit -f 1; exec '$vrenn' bake scene.vmsh --rays 1 --out full/new >/dev/null"
check "full disk bake: no folder left" test ! -e full

finish "damaged run"
