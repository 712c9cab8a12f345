#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Makes the bundled example: eight common points and three test points near Wuhan,
geocentric (WGS 84 ellipsoid), mapped into a second frame by known parameters.

Full-coordinate model, coordinate-frame convention, small angles:
    target = t + (1 + m) * S * source,   S = [[1, ez, -ey], [-ez, 1, ex], [ey, -ex, 1]]
with t = (-86.123, 52.457, 101.988) m, ex = 1.8", ey = -2.4", ez = 3.1", m = 4.2 ppm,
plus Gaussian noise of 3 mm per target coordinate of the common points. All
coordinates are given to the millimetre; with eight points the centroids then have
an exact six-decimal form, which keeps the PROJ cross-check in the tests tight.
Rerunning this script rewrites source.txt, target.txt, test.txt, truth.txt and
example.ini identically (fixed seed).
"""
import math
import random

ARCSEC = math.pi / (180 * 3600)
T = (-86.123, 52.457, 101.988)
EX, EY, EZ = 1.8 * ARCSEC, -2.4 * ARCSEC, 3.1 * ARCSEC
M = 4.2e-6
NOISE = 0.003


def geocentric(lat_deg, lon_deg, h):
    a, f = 6378137.0, 1 / 298.257223563
    e2 = f * (2 - f)
    lat, lon = math.radians(lat_deg), math.radians(lon_deg)
    n = a / math.sqrt(1 - e2 * math.sin(lat) ** 2)
    return ((n + h) * math.cos(lat) * math.cos(lon),
            (n + h) * math.cos(lat) * math.sin(lon),
            (n * (1 - e2) + h) * math.sin(lat))


def helmert(p):
    x, y, z = p
    k = 1 + M
    return (T[0] + k * ((x + EZ * y) - EY * z),
            T[1] + k * ((-(EZ * x) + y) + EX * z),
            T[2] + k * ((EY * x - EX * y) + z))


def text(points):
    return ",".join("%.3f" % v for p in points for v in p)


def main():
    rng = random.Random(20261208)
    common = [geocentric(30.2 + 0.4 * rng.random(), 114.0 + 0.5 * rng.random(),
                         20 + 300 * rng.random()) for _ in range(8)]
    tests = [geocentric(30.3 + 0.2 * rng.random(), 114.1 + 0.3 * rng.random(),
                        50 + 100 * rng.random()) for _ in range(3)]
    source = [tuple(round(v, 3) for v in p) for p in common]
    target = [tuple(round(v + rng.gauss(0, NOISE), 3) for v in helmert(p)) for p in source]
    test = [tuple(round(v, 3) for v in p) for p in tests]
    truth = [helmert(p) for p in test]

    for name, points in (("source", source), ("target", target), ("test", test),
                         ("truth", truth)):
        with open(name + ".txt", "w") as f:
            f.write(text(points) + "\n")
    with open("example.ini", "w") as f:
        f.write("# helmert7 example: eight common points and three test points\n")
        f.write("src = " + text(source) + "\n")
        f.write("des = " + text(target) + "\n")
        f.write("test = " + text(test) + "\n")


if __name__ == "__main__":
    main()
