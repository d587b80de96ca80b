#!/usr/bin/env bash
# Regenerates the image fixtures in this folder with programs we did not write:
# ImageMagick (convert; package imagemagick) writes the DDS and Radiance files and
# cjpeg (package libjpeg-turbo-progs) the JPEG files. Beside each fixture lies that
# tool's own decode of it, which the tests compare against pixel for pixel:
#   *.rgb / *.rgba  8-bit pixels of a DDS file's top level, as ImageMagick reads them
#   *.f32           32-bit float RGB of a Radiance file, as ImageMagick reads them
#                   (colour space left as stored, so the values stay linear)
#   *.pnm           djpeg's decode of a JPEG file (P6 colour or P5 grey)
# The content is pseudo-random plasma with fixed seeds; regenerating with other tool
# versions may change the bytes, which is fine as long as fixture and decode match.
#   bash tests/data/fs/make-fixtures.sh
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# DDS: 24-bit RGB with a full mip chain, 32-bit RGBA without mips, DXT1 and DXT5.
convert -seed 1 -size 8x8 plasma: -define dds:compression=none im_rgb_mips.dds
convert 'im_rgb_mips.dds[0]' -depth 8 rgb:im_rgb_mips.rgb
convert -seed 2 -size 8x6 plasma: \( -size 8x6 gradient:white-black \) -alpha off \
    -compose copy_opacity -composite -define dds:compression=none -define dds:mipmaps=0 \
    im_rgba.dds
convert im_rgba.dds -depth 8 rgba:im_rgba.rgba
convert -seed 3 -size 16x16 plasma: -define dds:compression=dxt1 im_dxt1.dds
convert -seed 4 -size 12x8 plasma: -alpha set -define dds:compression=dxt5 im_dxt5.dds

# Radiance: run-length encoded (width 8 or more) cross-shaped and square pictures,
# flat (width below 8) plain and cross-shaped ones. Raising the plasma to the fourth
# power spreads the values over many exponents.
hdr() { # seed size name [comment]
    convert -seed "$1" -size "$2" plasma: -evaluate pow 4 ${4+-set comment "$4"} "$3.hdr"
    convert "$3.hdr" -set colorspace sRGB -define quantum:format=floating-point -depth 32 \
        "rgb:$3.f32"
}
hdr 5 24x32 im_rle_cross
hdr 6 16x12 im_rle_square
hdr 7 6x5 im_flat
hdr 8 6x8 im_flat_cross
# A first comment line of over 300 bytes that holds a resolution-like text.
hdr 10 10x9 im_rle_comment "made from -Y 1 +X 1 $(printf '%0300d' 0)"

# JPEG from an 8-bit plasma of odd size: 4:2:0 colour, grey, progressive, 4:4:4 with
# restart markers; and a CMYK file written by ImageMagick.
convert -seed 9 -size 33x17 plasma: -depth 8 "ppm:$work/source.ppm"
cjpeg -quality 85 -outfile cjpeg_color.jpg "$work/source.ppm"
cjpeg -grayscale -quality 90 -outfile cjpeg_gray.jpg "$work/source.ppm"
cjpeg -progressive -quality 80 -outfile cjpeg_progressive.jpg "$work/source.ppm"
cjpeg -sample 1x1 -restart 1 -optimize -outfile cjpeg_444_restart.jpg "$work/source.ppm"
convert "$work/source.ppm" -colorspace CMYK im_cmyk.jpg
for jpeg in cjpeg_*.jpg; do djpeg -pnm -outfile "${jpeg%.jpg}.pnm" "$jpeg"; done

# PNG, written by ImageMagick from odd-sized plasma in each colour type: grey, grey
# with alpha, RGB, RGBA, 16-bit RGB, 16-bit grey with alpha, a palette, a palette with
# transparency, a 2-bit grey, and interlaced RGBA. Beside each lies ImageMagick's own
# RGBA decode of it: 8-bit (*.png.rgba), or for 16-bit files 16-bit big-endian
# (*.png.rgba16), which the tests round to 8 bits themselves.
convert -seed 11 -size 13x7 plasma: "$work/plasma.png"
convert -size 13x7 gradient:white-black "$work/ramp.png"
withAlpha() {
    convert "$work/plasma.png" "$work/ramp.png" -alpha off -compose copy_opacity -composite "$@"
}
convert "$work/plasma.png" -colorspace Gray -define png:color-type=0 -depth 8 im_png_grey.png
withAlpha -colorspace Gray -define png:color-type=4 -depth 8 im_png_grey_alpha.png
convert "$work/plasma.png" -define png:color-type=2 -depth 8 im_png_rgb.png
withAlpha -define png:color-type=6 -depth 8 im_png_rgba.png
convert "$work/plasma.png" -define png:color-type=2 -depth 16 im_png_rgb16.png
withAlpha -colorspace Gray -define png:color-type=4 -depth 16 im_png_grey_alpha16.png
convert "$work/plasma.png" -colors 20 -define png:color-type=3 im_png_palette.png
withAlpha -channel A -threshold 50% +channel -colors 20 -define png:color-type=3 \
    png8:im_png_palette_trns.png
convert "$work/plasma.png" -colorspace Gray -depth 2 -define png:color-type=0 \
    -define png:bit-depth=2 im_png_grey2.png
withAlpha -define png:color-type=6 -depth 8 -interlace PNG im_png_interlaced.png
for png in im_png_*.png; do
    case $png in
    *16.png) convert "$png" -depth 16 -endian MSB "rgba:$png.rgba16" ;;
    *) convert "$png" -depth 8 "rgba:$png.rgba" ;;
    esac
done
