// SPDX-License-Identifier: MIT
// The coordinate forms of a run: each side's points go to geocentric coordinates
// on their own ellipsoid before the fit, and the mapped test points come back into
// the target's form after it. With both forms xyz none of this runs.
#include <cmath>

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

// "the source point 3 'P3' in 'control.txt'", "the test point 2 (--inputtest)"
std::string point_label(const CoordinateText& input, const std::vector<std::string>& names,
                        std::size_t index) {
  std::string label = std::string("the ") + input.role + " point " + std::to_string(index + 1);
  if (index < names.size()) label += " " + in_quotes(names[index]);
  return label + (input.path.empty() ? " (" + input.origin + ")" : " in " + in_quotes(input.path));
}

// The zone a grid point belongs in, for the warning: of the form's own zone width,
// 3-degree zones for gk with its one central meridian.
std::string zone_advice(const CoordinateForm& form, double longitude) {
  const FormKind zoning = form.kind == FormKind::gk ? FormKind::gk3 : form.kind;
  const char* width = zoning == FormKind::gk6   ? "6-degree"
                      : zoning == FormKind::utm ? "UTM"
                                                : "3-degree";
  return std::string("it belongs in ") + width + " zone " +
         std::to_string(geodesy::zone_containing(zoning, longitude));
}

void warn_far_from_meridian(const CoordinateForm& form, const Eigen::Vector3d& values,
                            const std::string& label, std::vector<std::string>& warnings) {
  if (form.kind == FormKind::xyz || form.kind == FormKind::geodetic) return;
  const geodesy::GridPlace place = geodesy::grid_place(form, values);
  const double offset =
      geodesy::offset_from_meridian(place.position.longitude, place.central_meridian);
  if (std::fabs(offset) <= kZoneHalfWidthWarning) return;
  warnings.push_back(label + " lies " + format_fixed(std::fabs(offset), 2) +
                     " degrees of longitude from the central meridian " +
                     format_shortest(place.central_meridian) + " of " + form.text +
                     ", where the "
                     "zone's distortion grows; " +
                     zone_advice(form, place.position.longitude));
}

void convert_list(const CoordinateForm& form, const CoordinateText& input,
                  const std::vector<std::string>& names, CoordinateList& list,
                  std::vector<std::string>& warnings) {
  for (std::size_t i = 0; i + 2 < list.size(); i += 3) {
    const Eigen::Vector3d values(list[i], list[i + 1], list[i + 2]);
    const std::string label = point_label(input, names, i / 3);
    try {
      warn_far_from_meridian(form, values, label, warnings);
      const Eigen::Vector3d xyz = geodesy::to_geocentric(form, values);
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
      zones.push_back(kept_zone(inputs.forms, {list[i], list[i + 1], list[i + 2]}));
    } catch (const Failure& failure) {
      throw Failure(point_label(inputs.test, {}, i / 3) + ": " + failure.what());
    }
  }
  return zones;
}

// A mapped (geocentric) test point in the target's form; `index` counts from 0.
Eigen::Vector3d in_target_form(const Inputs& inputs, const Eigen::Vector3d& xyz, int zone,
                               std::size_t index) {
  try {
    return geodesy::from_geocentric(inputs.forms.target, xyz, zone);
  } catch (const Failure& failure) {
    throw Failure("the mapped " + point_label(inputs.test, {}, index) + ": " + failure.what());
  }
}

}  // namespace

CoordinateForms read_forms(const FormText& source, const FormText& target) {
  return {form_of(source), form_of(target)};
}

void convert_to_geocentric(Inputs& inputs) {
  if (inputs.forms.target.kind == FormKind::geodetic && !inputs.test.path.empty())
    throw Failure("a test point file cannot yet be mapped into geodetic coordinates (" +
                  inputs.forms.target.text + "): give the test points as a coordinate text");
  convert_list(inputs.forms.source, inputs.source, inputs.source_names, inputs.source_list,
               inputs.form_warnings);
  convert_list(inputs.forms.target, inputs.target, inputs.target_names, inputs.target_list,
               inputs.form_warnings);
  inputs.test_zones = kept_zones(inputs);
  convert_list(inputs.forms.source, inputs.test, {}, inputs.test_list, inputs.form_warnings);
}

std::string joined_in_target_form(const Inputs& inputs, const PointMatrix& mapped) {
  const CoordinateForm& target = inputs.forms.target;
  std::string joined;
  for (Eigen::Index i = 0; i < mapped.rows(); ++i) {
    const std::size_t index = static_cast<std::size_t>(i);
    const int zone = index < inputs.test_zones.size() ? inputs.test_zones[index] : 0;
    const Eigen::Vector3d values = in_target_form(inputs, mapped.row(i).transpose(), zone, index);
    for (int axis = 0; axis < 3; ++axis) {
      if (!joined.empty()) joined += ',';
      joined += target.kind == FormKind::geodetic && axis < 2
                    ? geodesy::format_degrees(values[axis], geodesy::AngleStyle::decimal)
                    : format_number(values[axis]);
    }
  }
  return joined;
}

std::vector<int> test_points_to_geocentric(const Inputs& inputs, double* xyz, std::size_t points,
                                           std::size_t first) {
  if (!inputs.forms.convert()) return {};
  std::vector<int> zones(points);
  for (std::size_t i = 0; i < points; ++i) {
    Eigen::Map<Eigen::Vector3d> point(xyz + 3 * i);
    try {
      zones[i] = kept_zone(inputs.forms, point);
      point = geodesy::to_geocentric(inputs.forms.source, point);
    } catch (const Failure& failure) {
      throw Failure(point_label(inputs.test, {}, first - 1 + i) + ": " + failure.what());
    }
  }
  return zones;
}

void mapped_points_to_target_form(const Inputs& inputs, const std::vector<int>& zones, double* xyz,
                                  std::size_t first) {
  for (std::size_t i = 0; i < zones.size(); ++i) {
    Eigen::Map<Eigen::Vector3d> point(xyz + 3 * i);
    point = in_target_form(inputs, point, zones[i], first - 1 + i);
  }
}

}  // namespace helmert7
