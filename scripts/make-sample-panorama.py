#!/usr/bin/env python3
"""Writes a sample sky for `vrenn probe`: a Radiance HDR panorama in latitude-longitude layout
(twice as wide as high, row 0 looking up, the middle column looking at -z, three quarters
across at +x): a blue sky brightening towards the horizon, a dim brown ground and a small
sun disc far brighter than the rest, high in the +x, -z quarter of the sky.

    python3 scripts/make-sample-panorama.py OUTPUT.hdr [WIDTH]

WIDTH (default 512) is even; the height is half of it. Python 3 standard library only.
"""
import math
import sys

# Sun: direction (x, y, z, y up), angular radius in radians and radiance. At 40 degrees up
# and 0.05 rad in radius, the disc lights a surface facing it about three times as much as
# the rest of the sky does (the ground about twice), so shadows are clear.
SUN = (0.55, 0.64, -0.53)
SUN_RADIUS = 0.05
SUN_RADIANCE = (900.0, 820.0, 700.0)


def normalise(v):
    n = math.sqrt(sum(c * c for c in v))
    return tuple(c / n for c in v)


def radiance(d):
    """Linear RGB radiance arriving from unit direction d."""
    x, y, z = d
    sun = normalise(SUN)
    cos_sun = max(-1.0, min(1.0, sum(a * b for a, b in zip(d, sun))))
    angle = math.acos(cos_sun)
    if angle < SUN_RADIUS:
        return SUN_RADIANCE
    if y >= 0.0:
        t = (1.0 - y) ** 3
        zenith = (0.25, 0.45, 1.0)
        horizon = (1.1, 1.1, 1.05)
        colour = [zenith[i] * (1.0 - t) + horizon[i] * t for i in range(3)]
    else:
        t = min(1.0, -y * 4.0)
        colour = [c * (1.0 - 0.6 * t) for c in (0.5, 0.42, 0.32)]
    glow = 3.0 * math.exp(-angle * 6.0)
    return [c + glow * w for c, w in zip(colour, (1.0, 0.85, 0.6))]


def direction(u, v):
    """Direction of the panorama point (u, v), both 0 to 1 across and down the picture."""
    phi = 2.0 * math.pi * (u - 0.5)
    theta = math.pi * v
    return (math.sin(theta) * math.sin(phi), math.cos(theta), -math.sin(theta) * math.cos(phi))


def rgbe(colour):
    """One pixel's shared-exponent bytes."""
    top = max(colour)
    if top < 1e-32:
        return b"\0\0\0\0"
    mantissa, exponent = math.frexp(top)
    scale = mantissa * 256.0 / top
    return bytes([min(255, int(c * scale)) for c in colour] + [exponent + 128])


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    width = sys.argv[2] if len(sys.argv) == 3 else "512"
    width = int(width) if width.isdigit() else 0
    if width < 2 or width % 2:
        sys.exit("make-sample-panorama: WIDTH must be even and at least 2")
    height = width // 2
    rows = []
    for r in range(height):
        row = bytearray()
        for c in range(width):
            row += rgbe(radiance(direction((c + 0.5) / width, (r + 0.5) / height)))
        rows.append(bytes(row))
    header = b"#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n" + b"-Y %d +X %d\n" % (height, width)
    with open(sys.argv[1], "wb") as f:
        f.write(header + b"".join(rows))


if __name__ == "__main__":
    main()
