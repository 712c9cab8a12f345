// SPDX-License-Identifier: MIT
// The a priori standard deviations of a run: read from --srcsigma and --dessigma
// (or the configuration's srcsigma and dessigma), one value for all three axes or
// three in the side's own axes, and turned into each common point's covariance in
// geocentric axes: as given for xyz, through north, east and up at the point for
// the geodetic and grid forms (a grid's north taken as the meridian's). A point
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

// The covariance in geocentric axes of standard deviations along north, east and up.
Eigen::Matrix3d local_covariance(const geodesy::CoordinateForm& form,
                                 const Eigen::Vector3d& north_east_up,
                                 const Eigen::RowVector3d& geocentric) {
  const geodesy::Geodetic place =
      geodesy::geodetic_from_geocentric(form.ellipsoid, geocentric.transpose());
  const Eigen::Matrix3d rows = geodesy::north_east_up(place.latitude, place.longitude);
  return rows.transpose() * north_east_up.cwiseAbs2().asDiagonal() * rows;
}

Eigen::Matrix3d covariance_at(const geodesy::CoordinateForm& form, const Eigen::Vector3d& sigmas,
                              const Eigen::RowVector3d& geocentric) {
  if (form.kind == geodesy::FormKind::xyz) return sigmas.cwiseAbs2().asDiagonal();
  return local_covariance(form, north_east_up_order(form, sigmas), geocentric);
}

// A point's covariance from its file's columns: sx, sy, sz along the geocentric
// axes, sn, se, su through north, east and up; sigma as the option's one value, so
// that the same value weighs alike either way.
Eigen::Matrix3d column_covariance_at(const geodesy::CoordinateForm& form, SigmaAxes axes,
                                     const double* sigmas, const Eigen::RowVector3d& geocentric) {
  const Eigen::Vector3d given(sigmas[0], sigmas[1], sigmas[2]);
  if (axes == SigmaAxes::cartesian || form.kind == geodesy::FormKind::xyz)
    return given.cwiseAbs2().asDiagonal();
  return local_covariance(form, given, geocentric);
}

PointCovariances side_covariances(const geodesy::CoordinateForm& form,
                                  const Eigen::Vector3d& sigmas, const PointMatrix& points) {
  PointCovariances blocks;
  blocks.reserve(static_cast<std::size_t>(points.rows()));
  for (Eigen::Index i = 0; i < points.rows(); ++i)
    blocks.push_back(covariance_at(form, sigmas, points.row(i)));
  return blocks;
}

// The standard deviations of a side that are the columns of its point file.
struct SideColumns {
  const geodesy::CoordinateForm& form;
  const PointSigmas& sigmas;
  const std::vector<std::string>& names;  ///< of the file's points; empty when it has none
};

// Each network point's covariance from its side's file: found by name where the
// file names its points (the network may have left some out), else in file order.
PointCovariances file_covariances(const SideColumns& side, const PointMatrix& points,
                                  const Network& network) {
  std::unordered_map<std::string, std::size_t> index_of;
  for (std::size_t j = 0; j < side.names.size(); ++j) index_of[side.names[j]] = j;
  PointCovariances blocks;
  for (Eigen::Index i = 0; i < points.rows(); ++i) {
    const std::size_t j = index_of.empty()
                              ? static_cast<std::size_t>(i)
                              : index_of.at(network.names[static_cast<std::size_t>(i)]);
    blocks.push_back(column_covariance_at(side.form, side.sigmas.axes, &side.sigmas.values[3 * j],
                                          points.row(i)));
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
  PointPrecision precision;
  if (has_columns(inputs.target_file_sigmas)) {
    precision.target =
        file_covariances({inputs.forms.target, inputs.target_file_sigmas, inputs.target_names},
                         network.target, network);
  } else {
    precision.target = side_covariances(inputs.forms.target, *inputs.target_sigmas, network.target);
  }
  if (has_columns(inputs.source_file_sigmas)) {
    precision.source =
        file_covariances({inputs.forms.source, inputs.source_file_sigmas, inputs.source_names},
                         network.source, network);
  } else if (inputs.source_sigmas) {
    precision.source = side_covariances(inputs.forms.source, *inputs.source_sigmas, network.source);
  }
  return precision;
}

}  // namespace helmert7
