#!/usr/bin/env python3
"""Draws docs/figures/sun-profile.png: the radiance a probe's SH series (bands 0-4) gives a
point sun, against the angle from the sun, raw and under the windows of `vrenn probe`,
relative to the peak. Computes the profile from the Legendre series (for a point light the
series depends only on that angle: sum over l of w_l (2l + 1) / (4 pi) P_l(cos angle)) and
draws it with ImageMagick's convert.

    python3 scripts/plot-sun-profile.py OUTPUT.png
"""
import math
import subprocess
import sys

BANDS = 5
WIDTH, HEIGHT = 720, 400
LEFT, RIGHT, TOP, BOTTOM = 70, 20, 40, 50  # margins in pixels
LOW, HIGH = -0.2, 1.0  # relative radiance shown


def legendre(l, x):
    p0, p1 = 1.0, x
    if l == 0:
        return p0
    for k in range(2, l + 1):
        p0, p1 = p1, ((2 * k - 1) * x * p1 - (k - 1) * p0) / k
    return p1


def hann(l):
    return 0.5 * (1.0 + math.cos(math.pi * l / BANDS))


def lanczos(l):
    x = l / BANDS
    return 1.0 if l == 0 else math.sin(math.pi * x) / (math.pi * x)


def profile(window):
    angles = [180.0 * i / 360 for i in range(361)]
    values = [sum(window(l) * (2 * l + 1) * legendre(l, math.cos(math.radians(a)))
                  for l in range(BANDS)) for a in angles]
    peak = values[0]
    return angles, [v / peak for v in values]


def to_pixel(angle, value):
    x = LEFT + (WIDTH - LEFT - RIGHT) * angle / 180.0
    y = TOP + (HEIGHT - TOP - BOTTOM) * (HIGH - value) / (HIGH - LOW)
    return x, y


def main():
    output = sys.argv[1]
    draw = []
    # Grid: value lines every 0.2, the -6 % bound dashed, angle ticks every 30 degrees.
    for i in range(7):
        value = LOW + 0.2 * i
        x0, y = to_pixel(0, value)
        x1, _ = to_pixel(180, value)
        colour = "black" if abs(value) < 1e-9 else "gray80"
        draw += ["-stroke", colour, "-draw", f"line {x0:.1f},{y:.1f} {x1:.1f},{y:.1f}",
                 "-stroke", "none", "-fill", "black", "-draw",
                 f"text {x0 - 45:.1f},{y + 5:.1f} '{value * 100:+.0f} %'"]
    x0, y = to_pixel(0, -0.06)
    x1, _ = to_pixel(180, -0.06)
    draw += ["-stroke", "orange", "-strokewidth", "1", "-draw",
             f"stroke-dasharray 6 4 line {x0:.1f},{y:.1f} {x1:.1f},{y:.1f}", "-stroke", "none",
             "-fill", "orange", "-draw", f"text {x1 - 70:.1f},{y - 6:.1f} '-6 %'"]
    for angle in range(0, 181, 30):
        x, y = to_pixel(angle, LOW)
        draw += ["-fill", "black", "-draw", f"text {x - 10:.1f},{y + 20:.1f} '{angle}'"]
    curves = [("raw (none)", lambda l: 1.0, "red"), ("lanczos", lanczos, "blue"),
              ("hann (default)", hann, "darkgreen")]
    for i, (name, window, colour) in enumerate(curves):
        angles, values = profile(window)
        points = " ".join("%.1f,%.1f" % to_pixel(a, v) for a, v in zip(angles, values))
        dip = min(values)
        draw += ["-fill", "none", "-stroke", colour, "-strokewidth", "2", "-draw",
                 f"polyline {points}", "-stroke", "none", "-fill", colour, "-draw",
                 f"text {WIDTH - 260},{TOP + 30 + 20 * i} '{name}: lowest {dip * 100:.1f} %'"]
    title = "A point sun through the SH series (bands 0-4), relative to its peak"
    draw += ["-fill", "black", "-draw", f"text {LEFT},{TOP - 15} '{title}'", "-draw",
             f"text {WIDTH / 2 - 90:.0f},{HEIGHT - 10} 'angle from the sun (degrees)'"]
    subprocess.run(["convert", "-size", f"{WIDTH}x{HEIGHT}", "xc:white", "-font", "DejaVu-Sans",
                    "-pointsize", "13", "-strokewidth", "1", *draw, "-strip",
                    output], check=True)


if __name__ == "__main__":
    main()
