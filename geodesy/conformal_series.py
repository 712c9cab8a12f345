#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Derives the series of ellipsoid.cpp that take the geodetic latitude phi to the
# conformal chi and back, to order n^6 in the third flattening n:
#   chi = phi + sum_j b_j sin(2 j phi),   phi = chi + sum_j d_j sin(2 j chi).
# chi = gd(psi), psi = asinh(tan phi) - e atanh(e sin phi): expanded about
# gd(asinh(tan phi)) = phi in powers of e^2 = 4n/(1+n)^2; then reversed by
# Lagrange's formula. Trigonometric polynomials are Laurent polynomials in
# z = exp(i phi). Needs sympy; takes some seconds.
import sympy as sp

n, z = sp.symbols("n z")
ORDER = 6
s, c = (z - 1 / z) / (2 * sp.I), (z + 1 / z) / 2


def truncated(expr):
    expr = sp.expand(expr)
    return sp.expand(sum(expr.coeff(n, k) * n**k for k in range(ORDER + 1)))


def d_dphi(expr):
    return sp.expand(sp.I * z * sp.diff(expr, z))


def sines(expr):
    return [sp.expand(2 * sp.I * expr.coeff(z, 2 * j)) for j in range(1, ORDER + 1)]


e2 = sp.series(4 * n / (1 + n) ** 2, n, 0, ORDER + 1).removeO()
# e atanh(e sin phi) = sum_k e^(2k) sin^(2k-1) phi / (2k - 1)
shift, e2k = 0, 1
for k in range(1, ORDER + 1):
    e2k = truncated(e2k * e2)
    shift += e2k * sp.expand(s ** (2 * k - 1)) / (2 * k - 1)
shift = truncated(shift)
# The derivatives of gd at asinh(tan phi), in phi: cos phi, then cos phi d/dphi.
gd = [None, sp.expand(c)]
for m in range(2, ORDER + 1):
    gd.append(sp.expand(c * d_dphi(gd[-1])))
chi_minus_phi, power = 0, 1
for m in range(1, ORDER + 1):
    power = truncated(power * -shift)
    chi_minus_phi += truncated(power * gd[m]) / sp.factorial(m)
b = sines(truncated(chi_minus_phi))

# Lagrange: phi = chi - F(phi) gives phi = chi + sum_m D^(m-1) (-F(chi))^m / m!
F = sp.expand(sum(bj * (z ** (2 * j) - z ** (-2 * j)) / (2 * sp.I) for j, bj in enumerate(b, 1)))
phi_minus_chi, power = 0, 1
for m in range(1, ORDER + 1):
    power = truncated(power * -F)
    term = power
    for _ in range(m - 1):
        term = d_dphi(term)
    phi_minus_chi += term / sp.factorial(m)
d = sines(truncated(phi_minus_chi))

for name, series in (("to_conformal", b), ("from_conformal", d)):
    print(name)
    for j, coefficient in enumerate(series, 1):
        print(f"  {j}: {truncated(coefficient)}")
