#!/usr/bin/env python3
"""Writes data/textures/sample_probe.hdr: a small synthetic sky light probe.

The picture is a vertical cross of six 32x32 cube faces (96x128 texels), stored as a
run-length encoded Radiance RGBE file: a blue sky brightening towards the horizon, a
sun well above the 32-unit luminance range, and a dim brown ground.

    python3 scripts/make-sample-probe.py [OUTPUT]
"""
import math
import sys

FACE = 32
SUN = (0.4, 0.6, 0.7)


def normalise(v):
    n = math.sqrt(sum(c * c for c in v))
    return tuple(c / n for c in v)


def radiance(d):
    """Linear RGB radiance arriving from unit direction d (y up)."""
    x, y, z = d
    sun = normalise(SUN)
    cos_sun = max(-1.0, min(1.0, sum(a * b for a, b in zip(d, sun))))
    angle = math.acos(cos_sun)
    if y >= 0.0:
        t = (1.0 - y) ** 3
        zenith = (0.15, 0.30, 0.80)
        horizon = (1.9, 1.8, 1.7)
        colour = [zenith[i] * (1.0 - t) + horizon[i] * t for i in range(3)]
    else:
        t = min(1.0, -y * 3.0)
        colour = [c * (1.0 - 0.8 * t) for c in (0.45, 0.36, 0.27)]
    glow = 6.0 * math.exp(-angle * 8.0)
    colour = [c + glow * w for c, w in zip(colour, (1.0, 0.9, 0.7))]
    if angle < 0.06:
        colour = [c + 80.0 * w for c, w in zip(colour, (1.0, 0.95, 0.85))]
    return colour


def face_direction(face, u, v):
    """Direction of cube face texel (u, v in -1..1, v down) in the usual cube layout."""
    return normalise({
        0: (1.0, -v, -u),
        1: (-1.0, -v, u),
        2: (u, 1.0, v),
        3: (u, -1.0, -v),
        4: (u, -v, 1.0),
        5: (-u, -v, -1.0),
    }[face])


# Column and row (in faces) of each face inside the cross; -Z hangs upside down.
CELL = {0: (2, 1), 1: (0, 1), 2: (1, 0), 3: (1, 2), 4: (1, 1), 5: (1, 3)}


def cross_picture():
    width, height = 3 * FACE, 4 * FACE
    pixels = [[(0.0, 0.0, 0.0)] * width for _ in range(height)]
    for face, (column, row) in CELL.items():
        for y in range(FACE):
            for x in range(FACE):
                u = 2.0 * (x + 0.5) / FACE - 1.0
                v = 2.0 * (y + 0.5) / FACE - 1.0
                colour = radiance(face_direction(face, u, v))
                if face == 5:
                    px, py = column * FACE + FACE - 1 - x, row * FACE + FACE - 1 - y
                else:
                    px, py = column * FACE + x, row * FACE + y
                pixels[py][px] = colour
    return width, height, pixels


def to_rgbe(colour):
    largest = max(colour)
    if largest < 1e-32:
        return (0, 0, 0, 0)
    mantissa, exponent = math.frexp(largest)
    scale = mantissa * 256.0 / largest
    return tuple(int(c * scale) for c in colour) + (exponent + 128,)


def encode_channel(values):
    """Radiance run-length form of one channel of a scan line."""
    out = bytearray()
    i, n = 0, len(values)
    while i < n:
        run = 1
        while i + run < n and run < 127 and values[i + run] == values[i]:
            run += 1
        if run >= 4:
            out += bytes((128 + run, values[i]))
            i += run
            continue
        start = i
        while i < n and i - start < 128:
            ahead = 1
            while i + ahead < n and ahead < 4 and values[i + ahead] == values[i]:
                ahead += 1
            if ahead >= 4:
                break
            i += 1
        out.append(i - start)
        out += bytes(values[start:i])
    return out


def write_probe(path):
    width, height, pixels = cross_picture()
    data = bytearray(b"#?RADIANCE\n# Vrenn sample light probe (synthetic sky)\n"
                     b"FORMAT=32-bit_rle_rgbe\n\n")
    data += b"-Y %d +X %d\n" % (height, width)
    for row in pixels:
        texels = [to_rgbe(c) for c in row]
        data += bytes((2, 2, width >> 8, width & 255))
        for channel in range(4):
            data += encode_channel([t[channel] for t in texels])
    with open(path, "wb") as out:
        out.write(data)


if __name__ == "__main__":
    write_probe(sys.argv[1] if len(sys.argv) > 1 else "data/textures/sample_probe.hdr")
