// SPDX-License-Identifier: MIT
// What the adjustment report says of the coordinate forms: each in words and as a
// PROJ definition, the PROJ pipeline between them, and what heights of 0 leave
// undetermined.
#include <cmath>

#include "report/report.h"

namespace helmert7 {
namespace {

using geodesy::CoordinateForm;
using geodesy::FormKind;

// Heights within this of 0 (metres) were given as 0: a round trip through
// geocentric coordinates leaves nanometres.
constexpr double kZeroHeight = 1e-4;
// A motion is poorly determined by the horizontal components when its standard
// error without the heights grows more than this many times.
constexpr double kWeakGrowth = 10;

using geodesy::is_grid;
using geodesy::is_zoned;

// A whole number without an exponent (500000, not 5e+05), else the shortest text.
std::string plain(double value) {
  return value == std::floor(value) && std::fabs(value) < 1e15 ? format_fixed(value, 0)
                                                              : format_shortest(value);
}

std::string ellipsoid_terms(const geodesy::Ellipsoid& ellipsoid) {
  return "+a=" + plain(ellipsoid.a) + " +rf=" + plain(ellipsoid.inverse_flattening);
}

std::string ellipsoid_words(const geodesy::Ellipsoid& ellipsoid) {
  return "on " + ellipsoid.name + " (a = " + plain(ellipsoid.a) +
         " m, 1/f = " + plain(ellipsoid.inverse_flattening) + ")";
}

double central_meridian(const ZonedForm& side) {
  return is_zoned(side.form.kind) ? geodesy::gk_central_meridian(side.form.kind, side.zone)
                                  : side.form.central_meridian;
}

// False easting of a Gauss-Krueger zone with its number in front, as the tool writes it.
double false_easting(const ZonedForm& side) {
  return 500000 + (is_zoned(side.form.kind) ? side.zone * geodesy::kZonePrefixUnit : 0);
}

std::string grid_words(const ZonedForm& side) {
  const CoordinateForm& form = side.form;
  if (form.kind == FormKind::utm) {
    return "UTM zone " + std::to_string(form.utm_zone) + (form.south ? "S" : "N") +
           ", easting, northing (m) and h: transverse Mercator, scale 0.9996, false easting "
           "500000 m" + (form.south ? ", false northing 10000000 m" : "") + ", ";
  }
  const std::string meridian = plain(central_meridian(side));
  if (form.kind == FormKind::gk) {
    return "Gauss-Krueger, x (north), y (east) (m) and h: transverse Mercator, central meridian " +
           meridian + ", scale 1, false easting 500000 m, ";
  }
  return std::string("Gauss-Krueger, ") + (form.kind == FormKind::gk3 ? "3" : "6") +
         "-degree zones, x (north), y (east) with the zone number in front (m) and h; the "
         "PROJ definition holds zone " + std::to_string(side.zone) + " (central meridian " +
         meridian + ", false easting " + plain(false_easting(side)) +
         " m), that of the network's centroid, ";
}

std::string joined_motions(const std::vector<geodesy::LocalMotion>& motions) {
  static const char* const kNames[] = {
      "the shift to the north", "the shift to the east", "the shift along the up direction",
      "the turn about the north axis", "the turn about the east axis",
      "the turn about the up axis", "the scale"};
  std::string text;
  for (std::size_t i = 0; i < motions.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == motions.size() ? " and " : ", ") +
            std::string(kNames[static_cast<int>(motions[i])]);
  }
  return text;
}

// Which sides' heights are all 0: "source", "target", "source and target", or "".
std::string flat_sides(const Network& network, const geodesy::CoordinateForms& forms) {
  const auto flat = [](const CoordinateForm& form, const PointMatrix& points) {
    return form.kind != FormKind::xyz &&
           geodesy::ellipsoidal_heights(form.ellipsoid, points).cwiseAbs().maxCoeff() <= kZeroHeight;
  };
  const bool source = flat(forms.source, network.source);
  const bool target = flat(forms.target, network.target);
  return source && target ? "source and target" : source ? "source" : target ? "target" : "";
}

const char kHeightsNote[] =
    "heights: must be ellipsoidal, above the ellipsoid; normal or orthometric heights put "
    "the geoid's undulation into the translation and the scale (a 30 m undulation moves "
    "each coordinate by up to 30 m)\n";

std::string columns_of(FormKind kind) {
  switch (kind) {
    case FormKind::xyz: return "x y z";
    case FormKind::geodetic: return "latitude longitude h";
    case FormKind::utm: return "easting northing h";
    default: return "x y h";
  }
}

// Which zones the pipeline's grids hold, where a side counts zones.
std::string zone_note(const ZonedForm& source, const ZonedForm& target) {
  std::string zones;
  for (const ZonedForm* side : {&source, &target}) {
    if (side->zone == 0) continue;
    zones += std::string(zones.empty() ? "" : " and ") + (side == &source ? "source" : "target") +
             " zone " + std::to_string(side->zone);
  }
  return zones.empty() ? zones
                       : "; its grids are " + zones +
                             ", eastings with the zone number in front (points of another zone "
                             "need that zone's +lon_0 and +x_0)";
}

}  // namespace

ZonedForm zoned_form(const CoordinateForm& form, const Eigen::RowVector3d& centroid) {
  if (!is_zoned(form.kind)) return {form, 0};
  const double longitude =
      geodesy::geodetic_from_geocentric(form.ellipsoid, centroid.transpose()).longitude;
  return {form, geodesy::zone_containing(form.kind, longitude)};
}

std::string form_in_words(const ZonedForm& side) {
  const CoordinateForm& form = side.form;
  switch (form.kind) {
    case FormKind::xyz:
      return "Cartesian x, y, z (geocentric X, Y, Z in metres where the other side has a form)";
    case FormKind::geodetic:
      return "geodetic latitude, longitude (degrees) and ellipsoidal height h (m) " +
             ellipsoid_words(form.ellipsoid);
    default:
      return grid_words(side) + ellipsoid_words(form.ellipsoid);
  }
}

std::string proj_definition(const ZonedForm& side) {
  const CoordinateForm& form = side.form;
  const std::string ellipsoid = ellipsoid_terms(form.ellipsoid);
  switch (form.kind) {
    case FormKind::xyz:
      return "";
    case FormKind::geodetic:
      return "+proj=longlat " + ellipsoid;
    case FormKind::utm:
      return "+proj=utm +zone=" + std::to_string(form.utm_zone) + (form.south ? " +south " : " ") +
             ellipsoid + " +units=m";
    default:
      return "+proj=tmerc +lat_0=0 +lon_0=" + plain(central_meridian(side)) +
             " +k=1 +x_0=" + plain(false_easting(side)) + " +y_0=0 " + ellipsoid +
             " +units=m +axis=neu";
  }
}

std::string proj_pipeline(const ZonedForm& source, const ZonedForm& target,
                          const std::string& helmert) {
  std::string text = "+proj=pipeline";
  const FormKind from = source.form.kind, to = target.form.kind;
  if (from == FormKind::geodetic) text += " +step +proj=axisswap +order=2,1";
  if (is_grid(from)) text += " +step +inv " + proj_definition(source);
  if (from != FormKind::xyz) text += " +step +proj=cart " + ellipsoid_terms(source.form.ellipsoid);
  text += " +step " + helmert;
  if (to != FormKind::xyz) text += " +step +inv +proj=cart " + ellipsoid_terms(target.form.ellipsoid);
  if (is_grid(to)) text += " +step " + proj_definition(target);
  if (to == FormKind::geodetic) text += " +step +proj=axisswap +order=2,1";
  return text;
}

std::string flat_heights_note(const Network& network, const geodesy::CoordinateForms& forms) {
  const std::string sides = flat_sides(network, forms);
  if (sides.empty()) return "";
  const bool target = sides != "source";
  const std::vector<geodesy::LocalMotion> weak = geodesy::motions_without_heights(
      (target ? forms.target : forms.source).ellipsoid, target ? network.target : network.source,
      kWeakGrowth);
  return "every height of the " + sides + " points is 0: the fit is two-dimensional in effect; " +
         (weak.empty() ? "the network is wide enough for the horizontal coordinates alone to "
                         "determine every parameter"
                       : "the horizontal coordinates alone leave " + joined_motions(weak) +
                             " at the network's centroid poorly determined (their standard "
                             "errors grow more than " + format_shortest(kWeakGrowth) +
                             "-fold without the heights)");
}

std::string forms_section(const Network& network, const geodesy::CoordinateForms& forms) {
  if (!forms.convert()) return "";
  std::string text = "\n## Coordinate forms\n";
  const ZonedForm sides[] = {zoned_form(forms.source, network.ave_src),
                             zoned_form(forms.target, network.ave_tar)};
  const char* const roles[] = {"source", "target"};
  for (int i = 0; i < 2; ++i) {
    text += std::string(roles[i]) + " (" + sides[i].form.text + "): " + form_in_words(sides[i]) + "\n";
    const std::string definition = proj_definition(sides[i]);
    if (!definition.empty()) text += std::string(roles[i]) + " in PROJ: " + definition + "\n";
  }
  const std::string note = flat_heights_note(network, forms);
  return text + kHeightsNote + (note.empty() ? "" : note + "\n");
}

std::string pipeline_section(const Network& network, const geodesy::CoordinateForms& forms,
                             const std::string& helmert) {
  if (!forms.convert()) return "";
  const ZonedForm source = zoned_form(forms.source, network.ave_src);
  const ZonedForm target = zoned_form(forms.target, network.ave_tar);
  return "\n## PROJ pipeline from the source form to the target form (cct)\n"
         "points go in as the tool reads the source's (" + columns_of(source.form.kind) +
         ") and come out as it writes the target's (" + columns_of(target.form.kind) +
         "), angles in degrees" + zone_note(source, target) + "\n" +
         proj_pipeline(source, target, helmert) + "\n";
}

}  // namespace helmert7
