#!/usr/bin/env bash
# prtdemo and vrenn on damaged run folders and files, without a GL 4.5 device, unwritable,
# on a full disk, stopped by a signal, under a memory limit: each run ends within seconds
# with a clear message and the right status, and leaves the run folder whole.
#   damaged-run-test.sh PRTDEMO VRENN DATA_DIR
set -uo pipefail
prtdemo=$1
vrenn=$2
data=$3
source "$(dirname "$0")/../support/cli-checks.sh"
chmod 755 "$work" # a run as another user must reach its folders

# Virtual memory per run (KiB): well above a healthy run's, far below a runaway reservation.
limit=${VRENN_MEMORY_LIMIT:-1572864}
export SDL_VIDEODRIVER=offscreen LP_NUM_THREADS=2

# limited COMMAND...: under the memory and time limits, and a file size limit of $fsize
# blocks when set (a full disk); standard error to err.txt through a pipe, output to out.txt.
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

# fresh NAME [baked]: a run folder of four frames with a screenshot of the third; baked adds
# the baked scene (linked: the program only reads it).
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

# demo_ends NAME STATUS LOGTEXT: prtdemo on NAME ends with STATUS, one line on standard error
# if it failed, LOGTEXT in the closed log, nothing left behind.
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
# value named as written), and ends normally. Folder | baked | set-up | what the log says.
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
settings-as-written|baked|settings . 'r_rtsize "nan"' 'cam_start "3e38 3e38 3e38 0 0"'|Demo: r_rtsize "nan" is not a size of at least 256; HDR is off
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
check "shot-link: nothing written through the link" test ! -e outside/shot.jpg

# Failures of the machine: the run ends with a failure status and says why.
fresh no-device
MESA_GL_VERSION_OVERRIDE=3.3 demo_ends no-device 1 "Couldn't Create Any GL Device!"
check "no-device: reason" grep -q '^prtdemo: the renderer could not be started: ' err.txt
check "no-device: no success line" bash -c "! grep -q 'Initilizing success' no-device/app.log"

# demo_fails NAME REGEX [RUNNER...]: prtdemo on NAME ends with status 1 and one line on
# standard error that starts with a match of REGEX.
demo_fails() {
    local name=$1 reason=$2 status
    shift 2
    limited "$@" "$prtdemo" "$name"
    status=$?
    check "$name: status 1 (got $status), one line: $reason" test "$status" -eq 1 \
        -a "$(wc -l <err.txt)" -eq 1 -a "$(grep -c -- "^$reason" err.txt)" -eq 1
}
fresh log-full
ln -s /dev/full log-full/app.log
demo_fails log-full "prtdemo: cannot write .*app.log: No space left on device$"
check "log-full: the rest was done" test -s log-full/shot0000.jpg

# A run folder the program cannot write to: as another user when run by root.
fresh read-only
cp read-only/default.cfg settings.before
as_other=()
if [ "$(id -u)" -eq 0 ]; then
    as_other=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
else
    chmod a-w read-only
fi
demo_fails read-only 'prtdemo: cannot write .*app.log: Permission denied' "${as_other[@]}"
check "read-only: settings untouched" cmp -s read-only/default.cfg settings.before
chmod u+w read-only

# A full disk: the earlier settings stay whole, no screenshot, no temporary files.
fresh disk-full
cp disk-full/default.cfg settings.before
fsize=0 demo_fails disk-full 'prtdemo: .*File too large'
check "disk-full: settings kept" cmp -s disk-full/default.cfg settings.before
check "disk-full: nothing left" test ! -e disk-full/shot0000.jpg -a -z "$(find disk-full -name '*.tmp*')"

# Room for the log and the settings but not the screenshot asked for.
fresh shot-refused baked
fsize=8 demo_fails shot-refused 'prtdemo: Could not Write ScreenShot:shot0000.jpg (File too large)$'
check "shot-refused: log closed" closed shot-refused

# interrupted NAME SIGNAL LOGTEXT: prtdemo on NAME, sent SIGNAL 1.5 s after its log holds
# LOGTEXT, ends within 20 s by that signal, the log closed.
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
# A stop signal in a long bake or in the main loop ends the run as a quit does: the bake
# abandoned with nothing of it written, the settings saved.
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
# A folder for default.cfg is refused at once (never read as a file of gigabytes): the run
# goes on with the defaults.
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
for args in "image info cut.dds" "image info cut.hdr" "image info garbage.jpg" "mesh info cut.vmsh"; do
    check "vrenn $args" tool_fails $args
done
# Too little memory at any point of a bake: one line and status 1 (or the loader's refusal,
# 127), never an abort.
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
