// SPDX-License-Identifier: MIT
// Coordinate forms: their texts, their zones, and each point's way to and from
// geocentric coordinates.
#include <charconv>
#include <cmath>

#include "geodesy/directions.h"
#include "numtext/numtext.h"

namespace helmert7::geodesy {
namespace {

constexpr double kUtmScale = 0.9996;
constexpr double kGridFalseEasting = 500000;
constexpr double kUtmSouthFalseNorthing = 10000000;

struct FormShape {
  const char* name;
  FormKind kind;
  std::size_t fields;
  const char* usage;
};

constexpr FormShape kShapes[] = {
    {"xyz", FormKind::xyz, 1, "xyz"},
    {"geodetic", FormKind::geodetic, 2, "geodetic:ELLIPSOID"},
    {"gk", FormKind::gk, 3, "gk:ELLIPSOID:LON0"},
    {"gk3", FormKind::gk3, 2, "gk3:ELLIPSOID"},
    {"gk6", FormKind::gk6, 2, "gk6:ELLIPSOID"},
    {"utm", FormKind::utm, 3, "utm:ZONE:ELLIPSOID (ZONE such as 50N or 33S)"},
};

[[noreturn]] void refuse_form(std::string_view text, const std::string& why) {
  throw Failure("coordinate form " + in_quotes(text) + ": " + why);
}

const FormShape& shape_of(std::string_view text, std::string_view name) {
  for (const FormShape& shape : kShapes)
    if (name == shape.name) return shape;
  std::string forms;
  for (const FormShape& shape : kShapes)
    forms += std::string(forms.empty() ? "" : ", ") + shape.usage;
  refuse_form(text, "unknown form; the forms are " + forms);
}

Ellipsoid form_ellipsoid(std::string_view text, std::string_view field) {
  try {
    return ellipsoid_named(field);
  } catch (const Failure& failure) {
    refuse_form(text, failure.what());
  }
}

double read_central_meridian(std::string_view text, std::string_view field) {
  double value = 0;
  const char* end = field.data() + field.size();
  const auto [stop, error] = std::from_chars(field.data(), end, value);
  if (error != std::errc() || stop != end || !(std::fabs(value) <= 360))
    refuse_form(text, "LON0 " + in_quotes(field) + " is not a longitude in degrees");
  return value;
}

// "50N" or "33s": the zone number, 1 to 60, and its hemisphere.
void read_utm_zone(std::string_view text, std::string_view field, CoordinateForm& form) {
  const char hemisphere = field.empty() ? '\0' : field.back();
  const std::string_view digits = field.substr(0, field.empty() ? 0 : field.size() - 1);
  const auto [stop, error] =
      std::from_chars(digits.data(), digits.data() + digits.size(), form.utm_zone);
  const bool north = hemisphere == 'N' || hemisphere == 'n';
  const bool south = hemisphere == 'S' || hemisphere == 's';
  if (error != std::errc() || stop != digits.data() + digits.size() || !(north || south) ||
      form.utm_zone < 1 || form.utm_zone > 60)
    refuse_form(text, "zone " + in_quotes(field) + " is not 1 to 60 with N or S, such as 50N");
  form.south = south;
  form.central_meridian = 6.0 * form.utm_zone - 183;
}

GridProjection projection_of(const CoordinateForm& form, double central_meridian) {
  if (form.kind == FormKind::utm)
    return {kUtmScale, central_meridian, kGridFalseEasting,
            form.south ? kUtmSouthFalseNorthing : 0};
  return {1, central_meridian, kGridFalseEasting, 0};
}

// A Gauss-Krueger easting split into the zone number in front (0 for none) and
// the easting proper. Eastings of a zone stay within 0 to 10^6 m, so what lies
// above holds a zone number.
struct ZonedEasting {
  int zone;
  double easting;
};

ZonedEasting split_zone_prefix(const CoordinateForm& form, const Eigen::Vector3d& values) {
  const double easting = values[1];
  if (form.kind == FormKind::utm || !(easting >= kZonePrefixUnit)) return {0, easting};
  const double zone = std::floor(easting / kZonePrefixUnit);
  if (zone > 1000) throw Failure("easting " + format_number(easting) + " lies off the ellipsoid");
  return {static_cast<int>(zone), easting - zone * kZonePrefixUnit};
}

// A zone number in front of a gk easting must be the 3- or 6-degree zone of LON0.
void check_zone_meridian(const CoordinateForm& form, int zone, double easting) {
  for (const FormKind kind : {FormKind::gk3, FormKind::gk6})
    if (offset_from_meridian(gk_central_meridian(kind, zone), form.central_meridian) == 0) return;
  throw Failure("zone " + std::to_string(zone) + " in front of easting " + format_number(easting) +
                " is neither the 3- nor the 6-degree zone of central meridian " +
                format_shortest(form.central_meridian) + " (" + form.text + ")");
}

// A grid point's central meridian (its zone's for gk3 and gk6, whose prefix must
// be there) and its grid coordinates without the zone prefix.
struct ZonedGrid {
  double central_meridian;
  GridPoint grid;
};

ZonedGrid zoned_grid(const CoordinateForm& form, const Eigen::Vector3d& values) {
  const ZonedEasting split = split_zone_prefix(form, values);
  double central_meridian = form.central_meridian;
  if (is_zoned(form.kind)) {
    if (split.zone == 0)
      throw Failure("easting " + format_number(values[1]) + " has no zone number in front (" +
                    form.text + " needs one, such as 39500000.000 in zone 39)");
    if (split.zone > (form.kind == FormKind::gk3 ? 120 : 60))
      throw Failure("zone " + std::to_string(split.zone) + " of easting " +
                    format_number(values[1]) + " does not exist in " + form.text);
    central_meridian = gk_central_meridian(form.kind, split.zone);
  } else if (form.kind == FormKind::gk && split.zone != 0) {
    check_zone_meridian(form, split.zone, values[1]);
  }
  return {central_meridian, form.kind == FormKind::utm ? GridPoint{values[1], values[0]}
                                                       : GridPoint{values[0], split.easting}};
}

// A grid point's three values in `form`, the zone in front of a gk3 or gk6 easting.
Eigen::Vector3d grid_values(const CoordinateForm& form, const GridPoint& grid, int zone,
                            double height) {
  if (form.kind == FormKind::utm) return {grid.easting, grid.northing, height};
  const double prefix = is_zoned(form.kind) ? zone * kZonePrefixUnit : 0;
  return {grid.northing, grid.easting + prefix, height};
}

// The same from a geodetic point: gk3 and gk6 use `zone`, or where it is 0 the zone
// holding the point.
Eigen::Vector3d grid_values_of(const CoordinateForm& form, const Geodetic& point, int zone) {
  const bool zoned = is_zoned(form.kind);
  if (zoned && zone == 0) zone = zone_containing(form.kind, point.longitude);
  const double central_meridian =
      zoned ? gk_central_meridian(form.kind, zone) : form.central_meridian;
  const GridPoint grid = tm_forward(form.ellipsoid, projection_of(form, central_meridian),
                                    {point.latitude, point.longitude});
  return grid_values(form, grid, zone, point.height);
}

}  // namespace

CoordinateForm parse_form(std::string_view text) {
  const std::vector<std::string_view> fields = split_colons(text);
  const FormShape& shape = shape_of(text, fields[0]);
  if (fields.size() != shape.fields) refuse_form(text, std::string("expected ") + shape.usage);
  CoordinateForm form;
  form.text = std::string(text);
  form.kind = shape.kind;
  if (form.kind == FormKind::utm) {
    read_utm_zone(text, fields[1], form);
    form.ellipsoid = form_ellipsoid(text, fields[2]);
  } else if (form.kind != FormKind::xyz) {
    form.ellipsoid = form_ellipsoid(text, fields[1]);
  }
  if (form.kind == FormKind::gk) form.central_meridian = read_central_meridian(text, fields[2]);
  return form;
}

double gk_central_meridian(FormKind kind, int zone) {
  return kind == FormKind::gk3 ? 3.0 * zone : 6.0 * zone - 3;
}

int zone_containing(FormKind kind, double longitude) {
  const double east = offset_from_meridian(longitude, 180) + 180;  // in (0, 360]
  const double from_greenwich = east == 360 ? 0 : east;            // in [0, 360)
  switch (kind) {
    case FormKind::gk3: {
      const int zone = static_cast<int>(std::floor((from_greenwich + 1.5) / 3));
      return zone == 0 ? 120 : zone;
    }
    case FormKind::gk6:
      return static_cast<int>(std::floor(from_greenwich / 6)) + 1;
    case FormKind::utm: {
      // longitude + 180 with the longitude in [-180, 180)
      const double from_west = from_greenwich < 180 ? from_greenwich + 180 : from_greenwich - 180;
      return static_cast<int>(std::floor(from_west / 6)) + 1;
    }
    default:
      return 0;
  }
}

int zone_prefix_of(const CoordinateForm& form, const Eigen::Vector3d& values) {
  return is_grid(form.kind) ? split_zone_prefix(form, values).zone : 0;
}

double grid_central_meridian(const CoordinateForm& form, const Eigen::Vector3d& values) {
  return zoned_grid(form, values).central_meridian;
}

Eigen::Vector3d to_geocentric(const CoordinateForm& form, const Eigen::Vector3d& values) {
  if (form.kind == FormKind::xyz) return values;
  if (form.kind == FormKind::geodetic) {
    check_latitude(values[0]);
    check_longitude(values[1]);
    return geocentric_from_geodetic(form.ellipsoid, {values[0], values[1], values[2]});
  }
  const ZonedGrid zoned = zoned_grid(form, values);
  detail::Direction direction =
      detail::tm_inverse(form.ellipsoid, projection_of(form, zoned.central_meridian), zoned.grid);
  direction.longitude =
      detail::turned_east(direction.longitude, detail::meridian_sincos(zoned.central_meridian));
  return detail::geocentric_from_direction(form.ellipsoid, direction, values[2]);
}

Eigen::Vector3d from_geocentric(const CoordinateForm& form, const Eigen::Vector3d& xyz, int zone) {
  if (form.kind == FormKind::xyz) return xyz;
  if (form.kind == FormKind::geodetic) {
    const Geodetic point = geodetic_from_geocentric(form.ellipsoid, xyz);
    return {point.latitude, point.longitude, point.height};
  }
  detail::DirectionHeight point;
  if (!detail::direction_from_geocentric(form.ellipsoid, xyz, point))
    return grid_values_of(form, geodetic_from_geocentric(form.ellipsoid, xyz), zone);
  const bool zoned = is_zoned(form.kind);
  if (zoned && zone == 0) zone = zone_containing(form.kind, longitude_of(xyz));
  const double central_meridian =
      zoned ? gk_central_meridian(form.kind, zone) : form.central_meridian;
  const detail::Direction offset{
      point.direction.tan_latitude,
      detail::turned_west(point.direction.longitude, detail::meridian_sincos(central_meridian))};
  // 90 degrees out and beyond, the angles decide (and refuse).
  if (!(offset.longitude.cos > 0))
    return grid_values_of(form, geodetic_from_geocentric(form.ellipsoid, xyz), zone);
  return grid_values(
      form, detail::tm_forward(form.ellipsoid, projection_of(form, central_meridian), offset), zone,
      point.height);
}

}  // namespace helmert7::geodesy
