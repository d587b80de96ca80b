#!/usr/bin/env bash
# `vrenn probe`: a Radiance panorama becomes a probe's coefficients and sky cube; an OpenEXR
# sky makes its Radiance copy's probe; the window; bad input fails and writes nothing.
#   probe-command-test.sh VRENN SOURCE_DIR
set -uo pipefail
vrenn=$1
fixtures=$2/tests/data/fs/exr
source "$(dirname "$0")/../support/cli-checks.sh"

# write_hdr FILE WIDTH HEIGHT R G B E: a flat (not run-length) picture of one RGBE pixel.
write_hdr() {
    local pixel
    pixel=$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' "$4" "$5" "$6" "$7")
    {
        printf '#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y %d +X %d\n' "$3" "$2"
        for ((i = 0; i < $2 * $3; ++i)); do printf "$pixel"; done
    } >"$1"
}
# coefficient FILE LINE INDEX: number INDEX (from 0) of line LINE (from 1).
coefficient() { awk -v l="$2" -v i="$3" 'NR == l { print $(i + 1) }' "$1"; }
near() { awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { d = a - b; exit !(d < t && -d < t) }'; }
cube_is() { [ "$("$vrenn" image info "$1" | head -n 1)" = "format=12 width=$2 height=$2 depth=1 mips=1 faces=6" ]; }

# 50, 25 and 10 everywhere: above the 8-bit packing's default range of 32, so only the
# unclamped radiance gives the right constant term (value * sqrt(4 pi)).
write_hdr sky.hdr 64 32 200 100 40 134
check "help" bash -c "'$vrenn' probe --help | grep -q 'vrenn probe IMAGE.hdr|IMAGE.exr'"
out=$("$vrenn" probe sky.hdr --out run)
check "last line" [ "$(tail -n 1 <<<"$out")" = \
    "slot=0 width=64 height=32 coefficients=run/probes/probe0.sh sky=run/textures/sky/probe0.dds" ]
check "three lines of 25" awk 'NF != 25 { exit 1 } END { exit NR != 3 }' run/probes/probe0.sh
for line in "1 177.2454" "2 88.6227" "3 35.4491"; do
    set -- $line
    check "constant term of line $1" near "$(coefficient run/probes/probe0.sh "$1" 0)" "$2" 0.01
done
check "no other terms" awk '{ for (i = 2; i <= NF; ++i) if ($i > 0.5 || $i < -0.5) exit 1 }' \
    run/probes/probe0.sh
check "sky cube" cube_is run/textures/sky/probe0.dds 64
write_hdr wide.hdr 512 256 128 128 128 129
out=$("$vrenn" probe wide.hdr --out run --slot 1)
check "slot 1" matches "$(tail -n 1 <<<"$out")" "^slot=1 width=512 height=256 .*probe1.dds$"
check "face size a quarter of the width" cube_is run/textures/sky/probe1.dds 128

# One sky as OpenEXR and as its Radiance copy: the same probe within 1 % of each channel's
# largest coefficient (the Radiance format's 8-bit mantissas).
"$vrenn" probe "$fixtures/sky.exr" --out exr >exr.txt
"$vrenn" probe "$fixtures/sky.hdr" --out hdr >/dev/null
check "exr and hdr probes agree" bash -c "paste -d ' ' exr/probes/probe0.sh hdr/probes/probe0.sh |
    awk '{ n = NF / 2; big = 0; worst = 0
        for (i = 1; i <= n; ++i) { a = \$i < 0 ? -\$i : \$i; if (a > big) big = a }
        for (i = 1; i <= n; ++i) { d = \$i - \$(i + n); if (d < 0) d = -d; if (d > worst) worst = d }
        if (worst > 0.01 * big) exit 1 }'"
check "exr sky cube" cube_is exr/textures/sky/probe0.dds 64
check "dip reported" matches "$(head -n 1 exr.txt)" "^window=hann dip=-?0\.[0-9]{4} raw_dip=-0\.[0-9]{4}$"

# The window scales band l by (1 + cos(pi l / 5)) / 2; --window none writes the raw sums.
"$vrenn" probe "$fixtures/sky.exr" --out raw --window none >raw.txt
check "raw: no dip change" matches "$(head -n 1 raw.txt)" "^window=none dip=(-?0\.[0-9]{4}) raw_dip=\1$"
for band in "0 1" "2 0.904508" "20 0.0954915"; do
    set -- $band
    raw=$(coefficient raw/probes/probe0.sh 1 "$1")
    check "coefficient $1 windowed by $2" near "$(coefficient exr/probes/probe0.sh 1 "$1")" \
        "$(awk -v f="$2" -v r="$raw" 'BEGIN { print f * r }')" \
        "$(awk -v r="$raw" 'BEGIN { print 1e-5 * (r < 0 ? -r : r) + 1e-6 }')"
done

# Bad input: one line, exit 1, no new folder, the probe unchanged.
cp run/probes/probe0.sh before.sh
head -c 100 sky.hdr >truncated.hdr
write_hdr square.hdr 16 16 1 1 1 128
printf 'not a picture\n' >text.hdr
cp sky.hdr sky.jpg
# The largest Radiance values overflow the coefficients' floats; a panorama beyond 8192 x 4096
# is refused from its header.
write_hdr bright.hdr 16 8 255 255 255 255
printf '#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 4097 +X 8194\n' >huge.hdr
head -c 3000 "$fixtures/sky.exr" >cut.exr
cp "$fixtures/depth_only.exr" depth.exr
while read -r bad reason; do
    check "refuses $bad" fails_cleanly 1 "vrenn: probe.*$reason" "$vrenn" probe "$bad" --out fresh
    check "refuses $bad over a probe" fails_cleanly 1 "vrenn: probe" "$vrenn" probe "$bad" --out run
done <<'EOF_BAD'
missing.hdr
truncated.hdr
square.hdr
text.hdr
sky.jpg
bright.hdr too bright for a probe
huge.hdr 8194x4097 pixels, more than the 33554432 allowed
cut.exr cut short
depth.exr
EOF_BAD
check "nothing written" [ ! -e fresh ]
check "probe kept" cmp -s before.sh run/probes/probe0.sh
check "--slot 2 is a usage error" usage_error '--slot needs 0 or 1' "$vrenn" probe sky.hdr --slot 2
check "--window box is a usage error" usage_error '' "$vrenn" probe sky.hdr --window box
check "no temporary files" [ -z "$(find run -name '*.tmp*' -o -name '.*' -type f)" ]
check "a full disk fails cleanly" bash -c "ulimit -f 8; $(declare -f fails_cleanly);
    fails_cleanly 1 'vrenn: probe.*File too large' '$vrenn' probe sky.hdr --out full/run"
check "no folder left" [ ! -e full ]

finish probe
