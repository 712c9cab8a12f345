// SPDX-License-Identifier: MIT
// The coordinate forms of a run: each side's points go to geocentric coordinates
// on their own ellipsoid before the fit, and the mapped test points come back into
// the target's form after it. With both forms xyz none of this runs.
#include <algorithm>
#include <cmath>
#include <limits>

#include "driver/steps.h"

namespace helmert7 {
namespace {

using geodesy::CoordinateForm;
using geodesy::FormKind;

// Beyond this many degrees of longitude from its central meridian a grid point's
// zone distorts more than surveyors accept.
constexpr double kZoneHalfWidthWarning = 3.5;

CoordinateForm form_of(const FormText& given) {
  try {
    return geodesy::parse_form(given.text.empty() ? "xyz" : given.text);
  } catch (const Failure& failure) {
    throw Failure(given.origin + ": " + failure.what());
  }
}

// Where a point of a file stands: "control.txt:7", named as the reader names it.
std::string file_line(const CoordinateText& input, std::size_t line) {
  return (input.path == "-" ? std::string("standard input") : input.path) + ":" +
         std::to_string(line);
}

// "the source point 2 (--inputsrc)", "control.txt:7: the source point 3 'P3'";
// `index` counts from 0, `line` is that of a point file's point.
std::string point_label(const CoordinateText& input, std::size_t index, std::string_view name,
                        std::size_t line) {
  std::string label = std::string("the ") + input.role + " point " + std::to_string(index + 1);
  if (!name.empty()) label += " " + in_quotes(name);
  return input.path.empty() ? label + " (" + input.origin + ")"
                            : file_line(input, line) + ": " + label;
}

// The label of point `index` of a list, with its name and line where its file gave them.
std::string list_label(const CoordinateText& input, const std::vector<std::string>& names,
                       const std::vector<std::size_t>& lines, std::size_t index) {
  return point_label(input, index, index < names.size() ? names[index] : std::string_view(),
                     index < lines.size() ? lines[index] : 0);
}

// The zone a grid point belongs in, for the warning: of the form's own zone width,
// 3-degree zones for gk with its one central meridian.
std::string zone_advice(const CoordinateForm& form, const ConvertedPoint& point) {
  const double longitude = geodesy::offset_from_meridian(point.central_meridian + point.offset, 0);
  const FormKind zoning = form.kind == FormKind::gk ? FormKind::gk3 : form.kind;
  const char* width = zoning == FormKind::gk6   ? "6-degree"
                      : zoning == FormKind::utm ? "UTM"
                                                : "3-degree";
  return std::string("it belongs in ") + width + " zone " +
         std::to_string(geodesy::zone_containing(zoning, longitude));
}

// The sine and cosine of the central meridian asked for last: the points of a
// chunk mostly share one.
class MeridianCache {
 public:
  const geodesy::SinCos& of(double degrees) {
    if (degrees != degrees_) {
      degrees_ = degrees;
      sincos_ = geodesy::sincos_degrees(degrees);
    }
    return sincos_;
  }

 private:
  double degrees_ = std::numeric_limits<double>::quiet_NaN();
  geodesy::SinCos sincos_;
};

// Nearer than this many degrees to its central meridian a point is near whatever
// the rounding, with no need of its offset: an atan2 and a remainder for every
// point took a tenth of a grid-to-grid run.
constexpr double kSurelyNear = 3.4;

// Whether geocentric `xyz` lies within kSurelyNear degrees of longitude of the
// meridian of `meridian`: its component across that meridian's plane is small
// beside the one along it.
bool surely_near(const Eigen::Vector3d& xyz, const geodesy::SinCos& meridian) {
  static const double kTangent = std::tan(kSurelyNear * 3.14159265358979323846 / 180);
  const double along = xyz.x() * meridian.cos + xyz.y() * meridian.sin;
  const double across = xyz.y() * meridian.cos - xyz.x() * meridian.sin;
  return along > 0 && std::fabs(across) < kTangent * along;
}

// What the conversion of a grid point finds of its place: its longitude is that
// of its geocentric coordinates.
void find_offset(const CoordinateForm& form, const Eigen::Vector3d& values,
                 const Eigen::Vector3d& xyz, MeridianCache& meridians, ConvertedPoint& converted) {
  if (!geodesy::is_grid(form.kind)) return;
  converted.central_meridian = geodesy::grid_central_meridian(form, values);
  if (surely_near(xyz, meridians.of(converted.central_meridian))) return;
  converted.offset =
      geodesy::offset_from_meridian(geodesy::longitude_of(xyz), converted.central_meridian);
}

bool is_far(const ConvertedPoint& point) {
  return std::fabs(point.offset) > kZoneHalfWidthWarning;
}

// How far from its central meridian a point lies: "4.25".
std::string offset_degrees(const ConvertedPoint& point) {
  return format_fixed(std::fabs(point.offset), 2);
}

// A side's points and what names them in messages; the meridian convergence of
// each grid point goes to `convergences` where it is given.
struct SidePoints {
  const CoordinateText& input;
  const std::vector<std::string>& names;
  const std::vector<std::size_t>& lines;
  CoordinateList& list;
  std::vector<double>* convergences = nullptr;
};

void note_convergence(const CoordinateForm& form, const Eigen::Vector3d& xyz,
                      const ConvertedPoint& place, const SidePoints& side) {
  if (!side.convergences || !geodesy::is_grid(form.kind)) return;
  const geodesy::Geodetic at = geodesy::geodetic_from_geocentric(form.ellipsoid, xyz);
  side.convergences->push_back(geodesy::meridian_convergence(
      form.ellipsoid, {at.latitude, at.longitude}, place.central_meridian));
}

void convert_list(const CoordinateForm& form, const SidePoints& side,
                  std::vector<std::string>& warnings) {
  CoordinateList& list = side.list;
  MeridianCache meridians;
  for (std::size_t i = 0; i + 2 < list.size(); i += 3) {
    const Eigen::Vector3d values(list[i], list[i + 1], list[i + 2]);
    const std::string label = list_label(side.input, side.names, side.lines, i / 3);
    try {
      const Eigen::Vector3d xyz = geodesy::to_geocentric(form, values);
      ConvertedPoint place;
      find_offset(form, values, xyz, meridians, place);
      if (is_far(place))
        warnings.push_back(label + " lies " + offset_degrees(place) +
                           " degrees of longitude from the central meridian " +
                           format_shortest(place.central_meridian) + " of " + form.text +
                           ", where the zone's distortion grows; " + zone_advice(form, place));
      note_convergence(form, xyz, place, side);
      for (int axis = 0; axis < 3; ++axis) list[i + axis] = xyz[axis];
    } catch (const Failure& failure) {
      throw Failure(label + ": " + failure.what());
    }
  }
}

// The zone prefix a mapped gk3 or gk6 point keeps: its own where source and target
// count zones alike, else the zone that holds it.
int kept_zone(const CoordinateForms& forms, const Eigen::Vector3d& values) {
  return forms.source.kind == forms.target.kind ? geodesy::zone_prefix_of(forms.source, values) : 0;
}

// The zone each test point of a coordinate text keeps.
std::vector<int> kept_zones(const Inputs& inputs) {
  const CoordinateList& list = inputs.test_list;
  std::vector<int> zones;
  for (std::size_t i = 0; i + 2 < list.size(); i += 3) {
    try {
      zones.push_back(kept_zone(inputs.test_forms, {list[i], list[i + 1], list[i + 2]}));
    } catch (const Failure& failure) {
      throw Failure(list_label(inputs.test, {}, {}, i / 3) + ": " + failure.what());
    }
  }
  return zones;
}

// The label of point `i` of a streamed chunk.
std::string chunk_label(const Inputs& inputs, const PointChunk& chunk, std::size_t i) {
  return point_label(inputs.test, chunk.before + i, chunk.names[i], chunk.lines[i]);
}

// Streamed test points described by name in the one warning; the rest are counted.
constexpr std::size_t kFarPointsDescribed = 3;

// A mapped test point's values in the target's form: latitude and longitude as
// angles of `style`, the rest "%f".
void append_values(const CoordinateForm& target, const Eigen::Vector3d& values,
                   geodesy::AngleStyle style, std::string& joined) {
  for (int axis = 0; axis < 3; ++axis) {
    if (!joined.empty()) joined += ',';
    joined += target.kind == FormKind::geodetic && axis < 2
                  ? geodesy::format_degrees(values[axis], style)
                  : format_number(values[axis]);
  }
}

// Piece `index` of a geodetic text, a latitude or longitude, as a decimal.
std::string angle_as_decimal(const CoordinateText& input, std::string_view piece,
                             std::size_t index) {
  if (geodesy::angle_style_of(piece) == geodesy::AngleStyle::decimal) return std::string(piece);
  try {
    std::string angle(piece);  // blanks are decoration, as in every coordinate text
    angle.erase(std::remove(angle.begin(), angle.end(), ' '), angle.end());
    return format_shortest(geodesy::read_degrees(trimmed(angle)));
  } catch (const Failure& failure) {
    throw Failure(std::string("cannot read the ") + input.role + " points (" + input.origin +
                  "): point " + std::to_string(index / 3 + 1) + ": " + failure.what());
  }
}

// Whether every point of a list lies within |x| <= 90, |y| <= 180, its x and its
// y each spread over at most kDegreesExtent.
constexpr double kDegreesExtent = 5;

bool looks_like_degrees(const CoordinateList& list) {
  if (list.size() < 3) return false;
  double low[2] = {list[0], list[1]}, high[2] = {list[0], list[1]};
  for (std::size_t i = 0; i + 2 < list.size(); i += 3) {
    if (!(std::fabs(list[i]) <= 90 && std::fabs(list[i + 1]) <= 180)) return false;
    for (int axis = 0; axis < 2; ++axis) {
      low[axis] = std::min(low[axis], list[i + axis]);
      high[axis] = std::max(high[axis], list[i + axis]);
    }
  }
  return high[0] - low[0] <= kDegreesExtent && high[1] - low[1] <= kDegreesExtent;
}

}  // namespace

CoordinateForms read_forms(const FormText& source, const FormText& target) {
  return {form_of(source), form_of(target)};
}

PointFields point_fields(const CoordinateForm& form) { return {form.kind == FormKind::geodetic}; }

std::string angles_as_decimals(const CoordinateText& input, const CoordinateForm& form,
                               std::vector<geodesy::AngleStyle>& styles) {
  if (form.kind != FormKind::geodetic) return input.text;
  const std::vector<std::string_view> pieces = comma_pieces(input.text);
  std::string text;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) text += ',';
    if (i % 3 == 0) styles.push_back(geodesy::angle_style_of(pieces[i]));
    text += i % 3 < 2 ? angle_as_decimal(input, pieces[i], i) : std::string(pieces[i]);
  }
  return text;
}

void convert_to_geocentric(Inputs& inputs) {
  convert_list(inputs.forms.source,
               {inputs.source, inputs.source_names, inputs.source_lines, inputs.source_list,
                &inputs.source_convergences},
               inputs.form_warnings);
  convert_list(inputs.forms.target,
               {inputs.target, inputs.target_names, inputs.target_lines, inputs.target_list,
                &inputs.target_convergences},
               inputs.form_warnings);
  inputs.test_zones = kept_zones(inputs);
  convert_list(inputs.test_forms.source, {inputs.test, {}, {}, inputs.test_list},
               inputs.form_warnings);
}

std::string joined_in_target_form(const Inputs& inputs, const PointMatrix& mapped) {
  std::string joined;
  for (Eigen::Index i = 0; i < mapped.rows(); ++i) {
    const std::size_t index = static_cast<std::size_t>(i);
    const int zone = index < inputs.test_zones.size() ? inputs.test_zones[index] : 0;
    const geodesy::AngleStyle style = index < inputs.test_styles.size()
                                          ? inputs.test_styles[index]
                                          : geodesy::AngleStyle::decimal;
    try {
      const CoordinateForm& target = inputs.test_forms.target;
      append_values(target, geodesy::from_geocentric(target, mapped.row(i).transpose(), zone),
                    style, joined);
    } catch (const Failure& failure) {
      throw Failure("the mapped " + list_label(inputs.test, {}, {}, index) + ": " + failure.what());
    }
  }
  return joined;
}

void test_points_to_geocentric(const Inputs& inputs, const PointChunk& chunk,
                               ConvertedPoint* converted) {
  MeridianCache meridians;
  for (std::size_t i = 0; i < chunk.points; ++i) {
    Eigen::Map<Eigen::Vector3d> point(chunk.xyz + 3 * i);
    try {
      const Eigen::Vector3d values = point;
      converted[i].zone = kept_zone(inputs.test_forms, values);
      point = geodesy::to_geocentric(inputs.test_forms.source, values);
      find_offset(inputs.test_forms.source, values, point, meridians, converted[i]);
    } catch (const Failure& failure) {
      throw Failure(chunk_label(inputs, chunk, i) + ": " + failure.what());
    }
  }
}

void note_far_test_points(Inputs& inputs, const PointChunk& chunk,
                          const ConvertedPoint* converted) {
  FarPoints& noted = inputs.far_test_points;
  for (std::size_t i = 0; i < chunk.points; ++i) {
    if (!is_far(converted[i]) || noted.count++ >= kFarPointsDescribed) continue;
    std::string place = file_line(inputs.test, chunk.lines[i]);
    if (!chunk.names[i].empty()) place += " " + in_quotes(chunk.names[i]);
    noted.described.push_back(place + " (" + offset_degrees(converted[i]) + " degrees from " +
                              format_shortest(converted[i].central_meridian) + "; " +
                              zone_advice(inputs.test_forms.source, converted[i]) + ")");
  }
}

void mapped_points_to_target_form(const Inputs& inputs, const PointChunk& chunk,
                                  const ConvertedPoint* converted) {
  for (std::size_t i = 0; i < chunk.points; ++i) {
    Eigen::Map<Eigen::Vector3d> point(chunk.xyz + 3 * i);
    try {
      point = geodesy::from_geocentric(inputs.test_forms.target, point, converted[i].zone);
    } catch (const Failure& failure) {
      throw Failure(chunk_label(inputs, chunk, i) + " once mapped: " + failure.what());
    }
  }
}

void warn_far_test_points(Inputs& inputs) {
  const FarPoints& far = inputs.far_test_points;
  if (far.count == 0) return;
  std::string described;
  for (const std::string& each : far.described) described += (described.empty() ? "" : ", ") + each;
  const std::size_t rest = far.count - far.described.size();
  inputs.form_warnings.push_back(
      std::to_string(far.count) + (far.count == 1 ? " test point lies" : " test points lie") +
      " more than " + format_shortest(kZoneHalfWidthWarning) +
      " degrees of longitude from the central meridian of " +
      inputs.test_forms.source.text + ", where the zone's distortion grows: " + described +
      (rest > 0 ? " and " + std::to_string(rest) + " more" : ""));
}

void warn_degrees_as_xyz(Inputs& inputs) {
  if (inputs.forms.convert() || !looks_like_degrees(inputs.source_list) ||
      !looks_like_degrees(inputs.target_list))
    return;
  inputs.form_warnings.push_back(
      "both sides look like latitude and longitude in degrees (every |x| <= 90 and |y| <= 180, "
      "x and y each spread over at most " +
      format_shortest(kDegreesExtent) +
      " units), fitted here as Cartesian coordinates: if they are degrees, give --srccoords "
      "geodetic:ELLIPSOID and --descoords geodetic:ELLIPSOID (such as "
      "geodetic:wgs84)");
}

}  // namespace helmert7
