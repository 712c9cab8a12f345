// SPDX-License-Identifier: MIT
// The a priori standard deviations of a run: read from --srcsigma and --dessigma
// (or the configuration's srcsigma and dessigma), one value for all three axes or
// three in the side's own axes, and turned into each common point's covariance in
// geocentric axes: as given for xyz, through north, east and up at the point for
// the geodetic and grid forms (a grid's north taken as the meridian's).
#include <cmath>
#include <stdexcept>

#include "driver/steps.h"

namespace helmert7 {
namespace {

std::string shown_text(const std::string& text) {
  const Excerpt shown = excerpt_of(text);
  return "'" + shown.text + "'" + (shown.cut ? "..." : "");
}

// The standard deviations along north, east and up of the three given in the
// order of the form's values: latitude or northing first, but easting first in UTM.
Eigen::Vector3d north_east_up_order(const geodesy::CoordinateForm& form,
                                    const Eigen::Vector3d& given) {
  if (form.kind == geodesy::FormKind::utm) return {given(1), given(0), given(2)};
  return given;
}

Eigen::Matrix3d covariance_at(const geodesy::CoordinateForm& form, const Eigen::Vector3d& sigmas,
                              const Eigen::RowVector3d& geocentric) {
  if (form.kind == geodesy::FormKind::xyz) return sigmas.cwiseAbs2().asDiagonal();
  const geodesy::Geodetic place =
      geodesy::geodetic_from_geocentric(form.ellipsoid, geocentric.transpose());
  const Eigen::Matrix3d rows = geodesy::north_east_up(place.latitude, place.longitude);
  const Eigen::Vector3d local = north_east_up_order(form, sigmas);
  return rows.transpose() * local.cwiseAbs2().asDiagonal() * rows;
}

PointCovariances side_covariances(const geodesy::CoordinateForm& form,
                                  const Eigen::Vector3d& sigmas, const PointMatrix& points) {
  PointCovariances blocks;
  blocks.reserve(static_cast<std::size_t>(points.rows()));
  for (Eigen::Index i = 0; i < points.rows(); ++i)
    blocks.push_back(covariance_at(form, sigmas, points.row(i)));
  return blocks;
}

}  // namespace

std::optional<Eigen::Vector3d> read_sigmas(const FormText& given) {
  if (given.text.empty()) return std::nullopt;
  const std::string usage = given.origin +
                            " takes one standard deviation or three, comma-separated, in "
                            "metres (0.005 or 0.003,0.003,0.008), not " +
                            shown_text(given.text);
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
                    shown_text(given.text));
  }
  return values.size() == 1 ? Eigen::Vector3d::Constant(values[0])
                            : Eigen::Vector3d(values[0], values[1], values[2]);
}

void read_standard_deviations(Inputs& inputs) {
  inputs.source_sigmas = read_sigmas(inputs.source_sigma);
  inputs.target_sigmas = read_sigmas(inputs.target_sigma);
  if (inputs.source_sigmas && !inputs.target_sigmas) {
    throw Failure("the source points' standard deviations (" + inputs.source_sigma.origin +
                  ") need the target points' too (--dessigma, or dessigma in the "
                  "configuration file): they weigh the fit");
  }
}

PointPrecision point_precision(const Inputs& inputs, const Network& network) {
  PointPrecision precision;
  precision.target = side_covariances(inputs.forms.target, *inputs.target_sigmas, network.target);
  if (inputs.source_sigmas) {
    precision.source = side_covariances(inputs.forms.source, *inputs.source_sigmas, network.source);
  }
  return precision;
}

}  // namespace helmert7
