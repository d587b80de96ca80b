#!/usr/bin/env bash
# prtdemo in a real X window (Xvfb) driven with xdotool as a user would: keys, the mouse, a
# resize from outside, Escape; its log and screenshots say what happened. Skipped (77)
# without Xvfb or xdotool.
#   xwindow-test.sh PRTDEMO VRENN
set -uo pipefail
prtdemo=$1
vrenn=$2
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || {
    echo "Xvfb or xdotool is not installed"
    exit 77
}
source "$(dirname "$0")/../support/cli-checks.sh"
unset SDL_VIDEODRIVER

# The demo scene lightly baked, a level start facing -z: moving and turning show at the end.
"$vrenn" init run >/dev/null && "$vrenn" mkscene run/models/scene.vmsh >/dev/null &&
    "$vrenn" bake run/models/scene.vmsh --rays 4 --out run >/dev/null 2>&1 || exit 1
sed -i '1i cam_start "0 200 0 0 0"' run/default.cfg

# A server of our own on a free display, gone with the test.
mkfifo display.fifo
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>display.fifo >xvfb.log 2>&1 &
xvfb=$!
display=""
read -r -t 30 display <display.fifo
[ -n "$display" ] || { cat xvfb.log; echo "FAILED: Xvfb did not start"; exit 1; }
export DISPLAY=":$display"
demo=""
trap '[ -n "$demo" ] && kill "$demo" 2>/dev/null; kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT

wait_log() {
    for _ in $(seq 600); do
        grep -Eq "$1" run/app.log 2>/dev/null && return 0
        sleep 0.1
    done
    echo "no line matching '$1' in app.log" >&2
    return 1
}
key() { xdotool key --window "$wid" "$@"; sleep 0.5; }
shot_is() { matches "$("$vrenn" image info "run/shot000$1.jpg")" "width=$2 height=$3"; }

"$prtdemo" run >demo.out 2>&1 &
demo=$!
wid=$(xdotool search --sync --onlyvisible --name '^Vrenn$' | head -n 1)
check "the window is shown" test -n "$wid"
xdotool windowfocus --sync "$wid"
check "the program starts" wait_log "Initilizing success"
sleep 1

key r # the sky stands still
xdotool keydown --window "$wid" w
sleep 1
xdotool keyup --window "$wid" w
xdotool mousemove --window "$wid" 320 240 mousemove_relative --sync 80 0
sleep 0.5
for k in space l h m c F1; do key "$k"; done
for line in "help panel off" "wire frame on" "HDR off" "diffuse only on" "cross-fade towards probe 1"; do
    check "$line" wait_log "^Demo: $line$"
done
check "F1 screenshot" wait_log "Wrote ScreenShot:shot0000.jpg"
check "first shot 640x480" shot_is 0 640 480
xdotool windowsize --sync "$wid" 900 500
check "the frame follows the new size" wait_log "drawable is now 900x500"
sleep 0.5
key F1
check "screenshot after the resize" wait_log "Wrote ScreenShot:shot0001.jpg"
check "the shot has the new size" shot_is 1 900 500

key Escape
status=1
for _ in $(seq 300); do
    if ! kill -0 "$demo" 2>/dev/null; then
        wait "$demo"
        status=$?
        demo=""
        break
    fi
    sleep 0.1
done
check "Escape ends the program with status 0" test "$status" -eq 0
check "the camera moved and turned" bash -c "grep -E 'camera ended at \(.*\) looking along' run/app.log |
    grep -v 'at (0, 200, 0)' | grep -qv 'along (0, 0, -1)'"
[ "$failures" -eq 0 ] || { tail -n 40 run/app.log; cat demo.out; }
finish "real window"
