// SPDX-License-Identifier: MIT
// Ellipsoids by name or by numbers, with the constants the projections need.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <initializer_list>

#include "geodesy/geodesy.h"
#include "numtext/numtext.h"

namespace helmert7::geodesy {
namespace {

struct NamedEllipsoid {
  const char* name;
  double a;
  double inverse_flattening;
};

constexpr NamedEllipsoid kNamed[] = {
    {"wgs84", 6378137.0, 298.257223563},    {"grs80", 6378137.0, 298.257222101},
    {"cgcs2000", 6378137.0, 298.257222101}, {"krassovsky", 6378245.0, 298.3},
    {"iag1975", 6378140.0, 298.257},
};

// sum of coefficients[i] * x^i by Horner's rule.
double polynomial(double x, std::initializer_list<double> coefficients) {
  double sum = 0;
  for (auto c = std::rbegin(coefficients); c != std::rend(coefficients); ++c) sum = sum * x + *c;
  return sum;
}

// Krueger's series to order n^6 in the third flattening (Karney 2011, eqs. 35
// and 36): alpha takes the conformal to the rectifying latitude, beta back.
void set_series(Ellipsoid& e) {
  const double n = e.n;
  const double n2 = n * n, n3 = n2 * n, n4 = n3 * n, n5 = n4 * n, n6 = n5 * n;
  e.alpha = {0,
             n * polynomial(n, {75600, -100800, 47250, 34440, -66675, 31564}) / 151200,
             n2 * polynomial(n, {524160, -1161216, 748608, 863232, -1983433}) / 1935360,
             n3 * polynomial(n, {184464, -533952, 406647, 670412}) / 725760,
             n4 * polynomial(n, {2230245, -7732800, 6601661}) / 7257600,
             n5 * polynomial(n, {3438171, -13675556}) / 7983360,
             n6 * 212378941 / 319334400};
  e.beta = {0,
            n * polynomial(n, {1209600, -1612800, 932400, -6720, -382725, 384796}) / 2419200,
            n2 * polynomial(n, {80640, 258048, -1174656, 1695744, -1118711}) / 3870720,
            n3 * polynomial(n, {12852, -15984, -16929, 22276}) / 362880,
            n4 * polynomial(n, {197865, -158400, -830251}) / 7257600,
            n5 * polynomial(n, {453717, -435388}) / 15966720,
            n6 * 20648693 / 638668800};
  // The conformal latitude chi from the geodetic phi and back, as sines of 2 j phi
  // and 2 j chi (conformal_series.py derives them by Lagrange's reversion).
  e.to_conformal = {0,
                    n * polynomial(n, {-9450, 3150, 6300, -8610, 3360, 4642}) / 4725,
                    n2 * polynomial(n, {1575, -1008, -1365, 2712, -1522}) / 945,
                    n3 * polynomial(n, {-4914, 4590, 4536, -12686}) / 2835,
                    n4 * polynomial(n, {55665, -68040, -49664}) / 28350,
                    n5 * polynomial(n, {-72666, 109598}) / 31185,
                    n6 * 444337 / 155925};
  e.from_conformal = {0,
                      n * polynomial(n, {1350, -450, -1350, 1740, 390, -2854}) / 675,
                      n2 * polynomial(n, {2205, -1512, -4767, 8112, 2323}) / 945,
                      n3 * polynomial(n, {10584, -11016, -34074, 73814}) / 2835,
                      n4 * polynomial(n, {192555, -268920, -799144}) / 28350,
                      n5 * polynomial(n, {413226, -724190}) / 31185,
                      n6 * 601676 / 22275};
  // The meridian's length over 2 pi, to order n^6.
  e.rectifying_radius = e.a / (1 + n) * polynomial(n2, {1, 1.0 / 4, 1.0 / 64, 1.0 / 256});
}

bool read_whole_number(std::string_view text, double& value) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && stop == end && std::isfinite(value);
}

std::string lower_case(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

}  // namespace

Ellipsoid make_ellipsoid(std::string name, double a, double rf) {
  if (!(a > 0 && std::isfinite(a)) || !(rf > 1 && std::isfinite(rf)))
    throw Failure("ellipsoid " + in_quotes(name) +
                  ": needs a semi-major axis above 0 and an inverse flattening above 1");
  Ellipsoid e;
  e.name = std::move(name);
  e.a = a;
  e.inverse_flattening = rf;
  e.f = 1 / rf;
  e.e2 = e.f * (2 - e.f);
  e.e = std::sqrt(e.e2);
  e.n = e.f / (2 - e.f);
  set_series(e);
  return e;
}

std::string known_ellipsoids() {
  std::string list;
  for (const NamedEllipsoid& named : kNamed) list += std::string(named.name) + ", ";
  return list + "or A/RF such as 6378140/298.257";
}

Ellipsoid ellipsoid_named(std::string_view text) {
  const std::string lower = lower_case(text);
  for (const NamedEllipsoid& named : kNamed)
    if (lower == named.name) return make_ellipsoid(named.name, named.a, named.inverse_flattening);
  const std::size_t slash = text.find('/');
  double a = 0, rf = 0;
  if (slash != std::string_view::npos && read_whole_number(text.substr(0, slash), a) &&
      read_whole_number(text.substr(slash + 1), rf))
    return make_ellipsoid(std::string(text), a, rf);
  throw Failure("unknown ellipsoid " + in_quotes(text) + "; known: " + known_ellipsoids());
}

}  // namespace helmert7::geodesy
