#!/usr/bin/env bash
# Regenerates the OpenEXR fixtures in this folder with oiiotool (package
# openimageio-tools), which writes each file and then decodes it again. Beside each
# fixture lies that decode as the codec is to give it back, *.exr.f32: 32-bit floats,
# four per pixel (R, G, B, A; alpha 1 where the file has none; a luminance file's Y in
# red, green and blue), rows from the top of the data window. CI does not need oiiotool:
# the files are committed.
# The content is uniform noise raised to the fourth power and scaled, so values spread
# from about 1e-6 to 40 (alpha from 0 to 1). Sizes are odd so that the last scan-line
# chunk and the last tiles are partial; one picture is taller than the 256 rows the
# codec decodes at a time, and one has its data window away from the origin.
# sky.exr and sky.hdr are one sky in both formats: our sample panorama (128 x 64),
# raised to the power 1.05 so that its values leave the Radiance format's grid, written as
# DWAB-compressed floats (as many published skies are), and oiiotool's Radiance copy of
# that file. Probes made from the two agree within the Radiance format's precision.
#   bash tests/data/fs/exr/make-exr-fixtures.sh
set -euo pipefail
cd "$(dirname "$0")"
rm -f ./*.exr ./*.exr.f32 sky.hdr
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

noise() { # seed size channels output-options...
    local seed=$1 size=$2 channels=$3
    shift 3
    oiiotool --pattern "noise:type=uniform:min=0:max=1:seed=$seed" "$size" "$channels" \
        --powc 4 --mulc 40 "$@"
}
rgba() { # seed size output-options...: colour as above, alpha plain noise
    local seed=$1 size=$2
    shift 2
    oiiotool --pattern "noise:type=uniform:min=0:max=1:seed=$seed" "$size" 3 --powc 4 \
        --mulc 40 --pattern "noise:type=uniform:min=0:max=1:seed=$((seed + 100))" "$size" 1 \
        --chappend --chnames R,G,B,A "$@"
}

# name: layout, compression, pixel type, channels
noise 1 23x37 3 -d half --compression none -o scan_none_half_rgb.exr
rgba 2 23x37 -d float --compression rle -o scan_rle_float_rgba.exr
noise 3 23x37 3 -d half --compression zips -o scan_zips_half_rgb.exr
noise 4 23x37 3 -d float --compression zip -o scan_zip_float_rgb.exr
rgba 5 23x37 -d half --compression piz -o scan_piz_half_rgba.exr
noise 6 23x37 3 -d float --compression pxr24 -o scan_pxr24_float_rgb.exr
noise 7 23x37 3 -d half --compression b44 -o scan_b44_half_rgb.exr
rgba 8 23x37 -d half --compression b44a -o scan_b44a_half_rgba.exr
noise 9 40x37 3 -d float --compression dwaa -o scan_dwaa_float_rgb.exr
noise 10 40x37 3 -d half --compression dwab -o scan_dwab_half_rgb.exr
noise 11 23x37 3 -d half --compression zip --tile 8 8 -o tile_zip_half_rgb.exr
rgba 12 23x37 -d float --compression piz --tile 16 4 -o tile_piz_float_rgba.exr
noise 13 40x37 3 -d float --compression dwab --tile 16 16 -o tile_dwab_float_rgb.exr
noise 14 7x5 1 -d half --compression zip -o scan_zip_half_y.exr
noise 15 3x300 3 -d float --compression zip -o scan_zip_float_tall.exr
noise 16 9x7 3 -d half --compression rle --origin +3+5 -o scan_rle_half_origin.exr

# A file with no colour or luminance channel.
oiiotool --pattern constant:color=0.5 4x4 1 --chnames Z -d float -o depth_only.exr

for exr in *.exr; do
    [ "$exr" = depth_only.exr ] && continue
    oiiotool --dumpdata "$exr" | python3 -c '
import struct, sys
out = bytearray()
for line in sys.stdin:
    line = line.strip()
    if not line.startswith("Pixel ("):
        continue
    values = [float(v) for v in line.split(":", 1)[1].split()]
    if len(values) == 1:
        values = values * 3 + [1.0]
    elif len(values) == 3:
        values = values + [1.0]
    out += struct.pack("<4f", *values)
sys.stdout.buffer.write(out)
' >"$exr.f32"
done

python3 ../../../../scripts/make-sample-panorama.py "$work/sample.hdr" 128
oiiotool "$work/sample.hdr" --powc 1.05 -d float --compression dwab -o sky.exr
oiiotool sky.exr -o sky.hdr
