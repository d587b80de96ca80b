#!/usr/bin/env bash
# Checks `vrenn image info` and `vrenn image convert`: their output line, exit codes,
# one-line errors, and default.cfg's max_env_lum.
#   image-command-test.sh VRENN REPOSITORY_ROOT
set -uo pipefail
vrenn=$1
root=$2
data=$root/tests/data/fs
source "$(dirname "$0")/../support/cli-checks.sh"
probe=$root/data/textures/sample_probe.hdr

info_is() { # FILE FORMAT WIDTH HEIGHT MIPS FACES
    [ "$("$vrenn" image info "$1" | head -n 1)" = "format=$2 width=$3 height=$4 depth=1 mips=$5 faces=$6" ]
}
check "help" bash -c "'$vrenn' image --help | grep -q 'vrenn image info FILE'"
# Each file's first line (the decoders are checked in tests/fs), and for some a conversion
# to DDS that describes itself alike.
while read -r file convert format width height mips faces; do
    file=$root/$file
    check "info $file" info_is "$file" "$format" "$width" "$height" "$mips" "$faces"
    [ "$convert" = - ] && continue
    check "convert $file" "$vrenn" image convert "$file" "$convert"
    check "converted $file" info_is "$convert" "$format" "$width" "$height" "$mips" "$faces"
done < <(grep -v '^#' "$root/tests/data/tools/image-info.txt")

head -c 400 "$data/cjpeg_color.jpg" >truncated.jpg
head -c 150 "$data/im_rle_square.hdr" >truncated.hdr
head -c 2000 "$data/exr/scan_zip_float_rgb.exr" >cut.exr
mkdir -p folder.jpg folder.vmsh sub
for bad in truncated.jpg truncated.hdr missing.dds picture.DDS noextension; do
    check "info $bad" fails_cleanly 1 "vrenn: cannot" "$vrenn" image info "$bad"
done
check "cut OpenEXR" fails_cleanly 1 'vrenn: .*OpenEXR: the file is cut short' "$vrenn" image info cut.exr
check "folder for an image" fails_cleanly 1 'vrenn: cannot.*: is a directory$' "$vrenn" image info folder.jpg
check "folder for a model" fails_cleanly 1 'vrenn: mesh info: Failed to load folder.vmsh (is a directory)$' \
    "$vrenn" mesh info folder.vmsh
check "PNG does not write" fails_cleanly 1 "vrenn: cannot" "$vrenn" image convert png.dds out.png
check "convert to a codec that cannot write" fails_cleanly 1 "vrenn: cannot" \
    "$vrenn" image convert "$data/im_rgba.dds" out.hdr
check "convert from a broken file" fails_cleanly 1 "vrenn: cannot" "$vrenn" image convert truncated.hdr out.dds
check "nothing written by failed conversions" bash -c '! ls out.* 2>/dev/null | grep -q .'
check "a path above the working directory" bash -c "cd sub && '$vrenn' image info ../colour.dds |
    grep -q '^format=3 width=33'"
check "reason without a temporary folder" bash -c \
    "TMPDIR=/nonexistent '$vrenn' image info truncated.jpg 2>&1 | grep -q 'Premature end of JPEG file'"

# A refused write gives the system's reason and keeps the earlier file.
echo earlier >full.dds
check "refused write: the system's reason" fails_cleanly 1 "vrenn: cannot write full.dds: .*File too large" \
    bash -c "trap '' XFSZ; ulimit -f 4; exec '$vrenn' image convert '$probe' full.dds"
check "refused write: earlier file kept, nothing beside" bash -c '[ "$(cat full.dds)" = earlier ] &&
    [ "$(ls full.dds* | wc -l)" -eq 1 ]'
check "usage error" usage_error '' "$vrenn" image info

# max_env_lum from default.cfg in the working directory changes the packed bytes.
"$vrenn" image convert "$data/im_flat.hdr" range32.dds
echo 'max_env_lum "0.25"' >default.cfg
"$vrenn" image convert "$data/im_flat.hdr" range025.dds
check "max_env_lum applies" bash -c '! cmp -s range32.dds range025.dds'

finish "vrenn image"
