// SPDX-License-Identifier: MIT
// The a priori standard deviations of a run: read from --srcsigma and --dessigma
// (or the configuration's srcsigma and dessigma), one value for all three axes or
// three in the side's own axes, and turned into each common point's covariance in
// geocentric axes: as given for xyz, through north, east and up at the point for
// the geodetic and grid forms (a grid's north and east along its own axes). A point
// file's columns give each of its points its own, which take the place of the
// option's for that side.
#include <cmath>
#include <stdexcept>
#include <unordered_map>

#include "driver/steps.h"

namespace helmert7 {
namespace {

// The standard deviations along north, east and up of the three given in the
// order of the form's values: latitude or northing first, but easting first in UTM.
Eigen::Vector3d north_east_up_order(const geodesy::CoordinateForm& form,
                                    const Eigen::Vector3d& given) {
  if (form.kind == geodesy::FormKind::utm) return {given(1), given(0), given(2)};
  return given;
}

// A side as its points' covariances need it: its form, the names of its list's
// points (none where it gives none) and their meridian convergences (grid forms).
struct SideFrame {
  const geodesy::CoordinateForm& form;
  const std::vector<std::string>& names;
  const std::vector<double>& convergences;
};

// The place in its side's list of each of `count` network points: found by name
// where the points were paired by name (the network may have left some out).
std::vector<std::size_t> list_places(const SideFrame& side, const Network& network,
                                     Eigen::Index count) {
  std::vector<std::size_t> places(static_cast<std::size_t>(count));
  if (!network.pairing.by_name) {
    for (std::size_t i = 0; i < places.size(); ++i) places[i] = i;
    return places;
  }
  std::unordered_map<std::string, std::size_t> index_of;
  for (std::size_t j = 0; j < side.names.size(); ++j) index_of[side.names[j]] = j;
  for (std::size_t i = 0; i < places.size(); ++i) places[i] = index_of.at(network.names[i]);
  return places;
}

// The rows north, east and up at a point; a grid's north and east turned by the
// meridian convergence, so that they run along the grid's own axes.
Eigen::Matrix3d local_axes(const SideFrame& side, std::size_t place,
                           const Eigen::RowVector3d& geocentric) {
  Eigen::Matrix3d rows = geodesy::north_east_up_at(side.form.ellipsoid, geocentric.transpose());
  if (place >= side.convergences.size()) return rows;
  const geodesy::SinCos turn = geodesy::sincos_degrees(side.convergences[place]);
  const Eigen::RowVector3d north = rows.row(0), east = rows.row(1);
  rows.row(0) = turn.cos * north + turn.sin * east;
  rows.row(1) = turn.cos * east - turn.sin * north;
  return rows;
}

// Standard deviations along the geocentric axes, or along north, east and up.
struct AxisSigmas {
  Eigen::Vector3d values;
  bool local = false;
};

Eigen::Matrix3d covariance_at(const SideFrame& side, const AxisSigmas& sigmas,
                              std::size_t place, const Eigen::RowVector3d& geocentric) {
  if (!sigmas.local) return sigmas.values.cwiseAbs2().asDiagonal();
  const Eigen::Matrix3d rows = local_axes(side, place, geocentric);
  return rows.transpose() * sigmas.values.cwiseAbs2().asDiagonal() * rows;
}

// Each network point's covariance from the option's standard deviations, in the
// side's own axes.
PointCovariances side_covariances(const SideFrame& side, const Eigen::Vector3d& given,
                                  const PointMatrix& points, const Network& network) {
  const bool local = side.form.kind != geodesy::FormKind::xyz;
  const AxisSigmas sigmas{local ? north_east_up_order(side.form, given) : given, local};
  const std::vector<std::size_t> places = list_places(side, network, points.rows());
  PointCovariances blocks;
  for (Eigen::Index i = 0; i < points.rows(); ++i) {
    const std::size_t place = places[static_cast<std::size_t>(i)];
    blocks.push_back(covariance_at(side, sigmas, place, points.row(i)));
  }
  return blocks;
}

// Each network point's covariance from its side's file: sx, sy, sz along the
// geocentric axes, sn, se, su through north, east and up; sigma as the option's
// one value, so that the same value weighs alike either way.
PointCovariances file_covariances(const SideFrame& side, const PointSigmas& columns,
                                  const PointMatrix& points, const Network& network) {
  const bool local =
      columns.axes != SigmaAxes::cartesian && side.form.kind != geodesy::FormKind::xyz;
  const std::vector<std::size_t> places = list_places(side, network, points.rows());
  PointCovariances blocks;
  for (Eigen::Index i = 0; i < points.rows(); ++i) {
    const std::size_t j = places[static_cast<std::size_t>(i)];
    const Eigen::Vector3d given(columns.values[3 * j], columns.values[3 * j + 1],
                                columns.values[3 * j + 2]);
    blocks.push_back(covariance_at(side, {given, local}, j, points.row(i)));
  }
  return blocks;
}

bool has_columns(const PointSigmas& sigmas) { return sigmas.axes != SigmaAxes::none; }

const char* column_names(SigmaAxes axes) {
  if (axes == SigmaAxes::cartesian) return "sx, sy, sz";
  return axes == SigmaAxes::north_east_up ? "sn, se, su" : "sigma";
}

// A side's columns, checked against its option and its form.
void check_side(const CoordinateText& input, const PointSigmas& columns,
                const std::optional<Eigen::Vector3d>& given, const FormText& origin,
                const geodesy::CoordinateForm& form) {
  if (!has_columns(columns)) return;
  const std::string file = std::string("the ") + input.role + " point file " +
                           in_quotes(input.path) + " gives standard deviations in its columns " +
                           column_names(columns.axes);
  if (given) throw Failure(file + ", and " + origin.origin + " gives them too: give a side's once");
  if (columns.axes == SigmaAxes::north_east_up && form.kind == geodesy::FormKind::xyz)
    throw Failure(file +
                  ", along north, east and up, but its points are geocentric x, y, z "
                  "(no --srccoords or --descoords form): give sx, sy, sz or sigma");
}

}  // namespace

std::optional<Eigen::Vector3d> read_sigmas(const FormText& given) {
  if (given.text.empty()) return std::nullopt;
  const std::string usage = given.origin +
                            " takes one standard deviation or three, comma-separated, in "
                            "metres (0.005 or 0.003,0.003,0.008), not " +
                            quoted_excerpt(given.text);
  CoordinateList values;
  try {
    values = read_numbers(given.text);
  } catch (const std::logic_error&) {
    throw Failure(usage);
  }
  if (values.size() != 1 && values.size() != 3) throw Failure(usage);
  for (const double value : values) {
    if (!(value > 0.0) || !std::isfinite(value))
      throw Failure(given.origin + ": a standard deviation must be positive and finite, not " +
                    quoted_excerpt(given.text));
  }
  return values.size() == 1 ? Eigen::Vector3d::Constant(values[0])
                            : Eigen::Vector3d(values[0], values[1], values[2]);
}

void read_standard_deviations(Inputs& inputs) {
  inputs.source_sigmas = read_sigmas(inputs.source_sigma);
  inputs.target_sigmas = read_sigmas(inputs.target_sigma);
}

bool is_weighted(const Inputs& inputs) {
  return inputs.target_sigmas || has_columns(inputs.target_file_sigmas);
}

void check_standard_deviations(const Inputs& inputs) {
  check_side(inputs.source, inputs.source_file_sigmas, inputs.source_sigmas, inputs.source_sigma,
             inputs.forms.source);
  check_side(inputs.target, inputs.target_file_sigmas, inputs.target_sigmas, inputs.target_sigma,
             inputs.forms.target);
  const bool source = inputs.source_sigmas || has_columns(inputs.source_file_sigmas);
  if (source && !is_weighted(inputs)) {
    const std::string origin = inputs.source_sigmas
                                   ? inputs.source_sigma.origin
                                   : "the columns of " + in_quotes(inputs.source.path);
    throw Failure("the source points' standard deviations (" + origin +
                  ") need the target points' too (--dessigma, or dessigma in the "
                  "configuration file): they weigh the fit");
  }
}

PointPrecision point_precision(const Inputs& inputs, const Network& network) {
  const SideFrame source{inputs.forms.source, inputs.source_names, inputs.source_convergences};
  const SideFrame target{inputs.forms.target, inputs.target_names, inputs.target_convergences};
  PointPrecision precision;
  precision.target =
      has_columns(inputs.target_file_sigmas)
          ? file_covariances(target, inputs.target_file_sigmas, network.target, network)
          : side_covariances(target, *inputs.target_sigmas, network.target, network);
  if (has_columns(inputs.source_file_sigmas)) {
    precision.source =
        file_covariances(source, inputs.source_file_sigmas, network.source, network);
  } else if (inputs.source_sigmas) {
    precision.source = side_covariances(source, *inputs.source_sigmas, network.source, network);
  }
  return precision;
}

}  // namespace helmert7
