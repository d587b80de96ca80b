#!/usr/bin/env bash
# Checks `vrenn image info` and `vrenn image convert`: their output line, exit codes,
# one-line errors, and default.cfg's max_env_lum.
#   image-command-test.sh VRENN REPOSITORY_ROOT
set -uo pipefail
vrenn=$1
root=$2
data=$root/tests/data/fs
source "$(dirname "$0")/../support/cli-checks.sh"

info_is() { # file, expected first line
    local out
    out=$("$vrenn" image info "$1") && [ "$(head -n 1 <<<"$out")" = "$2" ]
}

# fails_cleanly STATUS COMMAND...: exits with STATUS, one line on stderr, nothing on stdout.
fails_cleanly() {
    local want=$1
    shift
    "$@" >stdout.txt 2>stderr.txt
    local status=$?
    [ "$status" -eq "$want" ] && [ ! -s stdout.txt ] && [ "$(wc -l <stderr.txt)" -eq 1 ] &&
        grep -q "^vrenn: cannot" stderr.txt
}

check "help" bash -c "'$vrenn' image --help | grep -q 'vrenn image info FILE'"
check "sample probe" info_is "$root/data/textures/sample_probe.hdr" \
    "format=4 width=32 height=32 depth=1 mips=1 faces=6"
check "DDS with mips" info_is "$data/im_rgb_mips.dds" \
    "format=3 width=8 height=8 depth=1 mips=4 faces=1"
check "DXT1" info_is "$data/im_dxt1.dds" "format=20 width=16 height=16 depth=1 mips=5 faces=1"
check "flat HDR" info_is "$data/im_flat.hdr" "format=4 width=6 height=5 depth=1 mips=1 faces=1"
check "grey JPEG" info_is "$data/cjpeg_gray.jpg" "format=1 width=33 height=17 depth=1 mips=1 faces=1"
check "colour JPEG" info_is "$data/cjpeg_progressive.jpg" \
    "format=3 width=33 height=17 depth=1 mips=1 faces=1"

check "convert HDR to DDS" "$vrenn" image convert "$root/data/textures/sample_probe.hdr" probe.dds
check "converted cube" info_is probe.dds "format=4 width=32 height=32 depth=1 mips=1 faces=6"
check "convert JPEG to DDS" "$vrenn" image convert "$data/cjpeg_color.jpg" colour.dds
check "converted JPEG" info_is colour.dds "format=3 width=33 height=17 depth=1 mips=1 faces=1"
check "palette PNG" info_is "$data/im_png_palette_trns.png" \
    "format=4 width=13 height=7 depth=1 mips=1 faces=1"
check "convert PNG to DDS" "$vrenn" image convert "$data/im_png_interlaced.png" png.dds
check "converted PNG" info_is png.dds "format=4 width=13 height=7 depth=1 mips=1 faces=1"
check "PNG does not write" fails_cleanly 1 "$vrenn" image convert png.dds out.png
check "tiled OpenEXR" info_is "$data/exr/tile_piz_float_rgba.exr" \
    "format=16 width=23 height=37 depth=1 mips=1 faces=1"
check "convert OpenEXR to DDS" "$vrenn" image convert "$data/exr/scan_dwab_half_rgb.exr" exr.dds
check "converted OpenEXR" info_is exr.dds "format=16 width=40 height=37 depth=1 mips=1 faces=1"
check "cut OpenEXR" bash -c "head -c 2000 '$data/exr/scan_zip_float_rgb.exr' >cut.exr;
    '$vrenn' image info cut.exr 2>&1 >/dev/null | grep -q '^vrenn: .*OpenEXR: the file is cut short'"

head -c 400 "$data/cjpeg_color.jpg" >truncated.jpg
head -c 200 "$data/im_rgba.dds" >truncated.dds
head -c 150 "$data/im_rle_square.hdr" >truncated.hdr
head -c 100 "$data/im_png_rgb.png" >truncated.png
for bad in truncated.jpg truncated.dds truncated.hdr truncated.png missing.dds picture.DDS noextension; do
    check "info $bad" fails_cleanly 1 "$vrenn" image info "$bad"
done
check "convert to a codec that cannot write" fails_cleanly 1 \
    "$vrenn" image convert "$data/im_rgba.dds" out.hdr
check "convert from a broken file" fails_cleanly 1 "$vrenn" image convert truncated.hdr out.dds
check "nothing written by failed conversions" bash -c '! ls out.* 2>/dev/null | grep -q .'
# A folder given for a file is refused at once with the reason; paths the user gives are
# their own, even when they climb above the working directory.
mkdir -p folder.jpg folder.vmsh sub
check "folder for an image" fails_cleanly 1 "$vrenn" image info folder.jpg
check "folder's reason" grep -q ": is a directory$" stderr.txt
check "folder for a model" bash -c "'$vrenn' mesh info folder.vmsh 2>&1 >/dev/null |
    grep -qx 'vrenn: mesh info: Failed to load folder.vmsh (is a directory)'"
check "a path above the working directory" bash -c "cd sub && '$vrenn' image info ../colour.dds |
    grep -q '^format=3 width=33'"

# The reason of a load failure does not depend on a usable temporary folder.
check "reason without a temporary folder" bash -c \
    "TMPDIR=/nonexistent '$vrenn' image info truncated.jpg 2>&1 | grep -q 'Premature end of JPEG file'"

# A write the system refuses gives the system's reason and keeps the earlier file: a file
# size limit, and a full disk where a small file system can be mounted.
echo earlier >full.dds
(
    trap '' XFSZ
    ulimit -f 4
    exec "$vrenn" image convert "$root/data/textures/sample_probe.hdr" full.dds
) >/dev/null 2>stderr.txt
check "refused write exits 1" test $? -eq 1
check "refused write: the system's reason" grep -q 'File too large' stderr.txt
check "refused write: earlier file kept" test "$(cat full.dds)" = earlier
check "refused write: nothing left beside" test "$(ls full.dds* | wc -l)" -eq 1
mkdir small
if unshare -m mount -t tmpfs -o size=16k tmpfs small 2>/dev/null; then
    unshare -m bash -c "mount -t tmpfs -o size=16k tmpfs small && cd small &&
        '$vrenn' image convert '$root/data/textures/sample_probe.hdr' full.dds" 2>stderr.txt
    check "full disk: the system's reason" \
        grep -qx 'vrenn: cannot write full.dds: .*No space left on device.*' stderr.txt
fi

check "usage error" bash -c "'$vrenn' image info 2>/dev/null; [ \$? -eq 2 ]"

# max_env_lum from default.cfg in the working directory changes the packed bytes.
"$vrenn" image convert "$data/im_flat.hdr" range32.dds
echo 'max_env_lum "0.25"' >default.cfg
"$vrenn" image convert "$data/im_flat.hdr" range025.dds
check "max_env_lum applies" bash -c '! cmp -s range32.dds range025.dds'

finish "vrenn image"
