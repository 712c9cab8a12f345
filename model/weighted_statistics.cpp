// SPDX-License-Identifier: MIT
// The statistics of a weighted adjustment: the global test of the variance factor,
// Baarda's data snooping with the a priori variance factor, the redundancy numbers,
// the minimal detectable biases and their effect on the parameters and on mapped
// points, and the covariances scaled by the a posteriori and the a priori factor.
// Only the diagonal blocks of the discrepancies' cofactor matrix are needed: the
// weights are block diagonal, one 3-by-3 block per point.
#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/normal.hpp>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "model/model.h"

namespace helmert7 {
namespace {

// A change of the correction parameters as one of the reported parameters.
ParameterVector reported_change(const ParameterVector& params, const ParameterVector& change,
                                RotationModel model) {
  if (model == RotationModel::small) return change;
  ParameterVector reported = change;
  reported.segment<3>(3) = angle_jacobian(rotation_matrix(params)) * change.segment<3>(3);
  return reported;
}

// The centred source point farthest from the centroid: the network's edge.
Eigen::RowVector3d edge_point(const PointMatrix& centred) {
  Eigen::Index farthest = 0;
  centred.rowwise().squaredNorm().maxCoeff(&farthest);
  return centred.row(farthest);
}

// The derivatives of points mapped at the centroid and at the network's edge.
struct Probes {
  Eigen::Matrix<double, 3, 7> centroid, edge;
};

// What one point's three components contribute: w, redundancy numbers, MDBs and
// the MDBs' effects.
void add_point_reliability(const WeightedAdjustment& adjustment, Eigen::Index i,
                           const Probes& probes, WeightedStatistics& s) {
  const AdjustmentResult& result = adjustment.result;
  const Eigen::Matrix3d& weight = adjustment.weights[static_cast<std::size_t>(i)];
  const Eigen::RowVector3d at = adjustment.adjusted_source.row(i);
  const Eigen::Matrix<double, 3, 7> block =
      design_block(at(0), at(1), at(2), result.params, result.model);
  const Eigen::Matrix<double, 7, 3> gain = result.normal_inverse * block.transpose() * weight;
  // Qdd M^-1 = I - A N^-1 A' M^-1, and M^-1 Qdd M^-1.
  const Eigen::Matrix3d redundancy_block = Eigen::Matrix3d::Identity() - block * gain;
  const Eigen::Matrix3d snooping_block = weight * redundancy_block;
  const Eigen::Vector3d weighted = weight * adjustment.discrepancies.segment<3>(3 * i);
  for (int c = 0; c < 3; ++c) {
    const Eigen::Index k = 3 * i + c;
    const double h = snooping_block(c, c);
    const double root = h > 0.0 ? std::sqrt(h) : std::numeric_limits<double>::quiet_NaN();
    s.redundancy_numbers(k) = redundancy_block(c, c);
    s.w(k) = weighted(c) / root;
    s.mdb(k) = s.noncentrality / root;
    const ParameterVector change = gain.col(c) * s.mdb(k);
    s.parameter_effects.row(k) = reported_change(result.params, change, result.model).transpose();
    s.centroid_effects(k) = (probes.centroid * change).norm();
    s.edge_effects(k) = (probes.edge * change).norm();
  }
}

void set_reliability(const WeightedAdjustment& adjustment, WeightedStatistics& s) {
  const Eigen::Index n = adjustment.adjusted_source.rows();
  s.w.resize(3 * n);
  s.redundancy_numbers.resize(3 * n);
  s.mdb.resize(3 * n);
  s.parameter_effects.resize(3 * n, 7);
  s.centroid_effects.resize(3 * n);
  s.edge_effects.resize(3 * n);
  const AdjustmentResult& result = adjustment.result;
  const Eigen::RowVector3d edge = edge_point(adjustment.adjusted_source);
  const Probes probes{design_block(0, 0, 0, result.params, result.model),
                      design_block(edge(0), edge(1), edge(2), result.params, result.model)};
  for (Eigen::Index i = 0; i < n; ++i) add_point_reliability(adjustment, i, probes, s);
  s.outliers = outlier_points(s.w, s.critical_value);
}

}  // namespace

GlobalTest global_test(double weighted_sum, Eigen::Index redundancy) {
  GlobalTest test;
  test.statistic = weighted_sum;
  if (redundancy < 1) {
    test.lower = test.upper = std::numeric_limits<double>::quiet_NaN();
    return test;
  }
  const boost::math::chi_squared distribution(static_cast<double>(redundancy));
  test.lower = boost::math::quantile(distribution, kGlobalTestAlpha / 2.0);
  test.upper = boost::math::quantile(distribution, 1.0 - kGlobalTestAlpha / 2.0);
  test.passed = test.lower <= weighted_sum && weighted_sum <= test.upper;
  return test;
}

double baarda_critical_value(double alpha0) {
  return boost::math::quantile(boost::math::normal(), 1.0 - alpha0 / 2.0);
}

double detection_noncentrality(double alpha0) {
  return baarda_critical_value(alpha0) +
         boost::math::quantile(boost::math::normal(), kDetectionPower);
}

WeightedStatistics weighted_statistics(const WeightedAdjustment& adjustment,
                                       const CentredTransformation& mapping,
                                       const TestPoints& test) {
  const AdjustmentResult& result = adjustment.result;
  WeightedStatistics s;
  const Eigen::Index n = adjustment.adjusted_source.rows();
  s.redundancy = redundancy(n);
  s.global = global_test(adjustment.weighted_sum, s.redundancy);
  s.alpha0 = per_component_alpha(kOutlierAlpha, n);
  s.critical_value = baarda_critical_value(s.alpha0);
  s.noncentrality = detection_noncentrality(s.alpha0);
  set_reliability(adjustment, s);
  const ParameterCovariance scaled = parameter_covariance(result);
  s.covariance = reported_covariance(result.params, scaled, result.model);
  s.unit_covariance = reported_covariance(result.params, result.normal_inverse, result.model);
  s.prediction_errors = prediction_errors(mapping, scaled, test);
  s.unit_prediction_errors = prediction_errors(mapping, result.normal_inverse, test);
  return s;
}

Fit assess_weighted_fit(const Network& network, const WeightedAdjustment& adjustment,
                        const TestPoints& test) {
  Fit fit = assess_fit(network, adjustment.result, test);
  WeightedStatistics statistics = weighted_statistics(adjustment, fit.mapping, test);
  FitStatistics& shared = fit.statistics;
  shared.standardized = statistics.w;
  shared.alpha0 = statistics.alpha0;
  shared.critical_value = statistics.critical_value;
  shared.outliers = statistics.outliers;
  shared.largest_w = 0;
  for (const double w : statistics.w) {
    if (std::isfinite(w)) shared.largest_w = std::max(shared.largest_w, std::fabs(w));
  }
  const double rms = std::sqrt(adjustment.discrepancies.squaredNorm() /
                               static_cast<double>(statistics.redundancy));
  // The assessment compares sigma0 with lengths: the weighted sigma0 has no unit.
  FitAssessment& a = fit.assessment;
  a.fits_to_rounding = rms <= a.rounding_floor;
  if (a.fits_to_rounding) shared.outliers.clear();
  if (fit.mapping.model == RotationModel::exact) a.exact_sigma0 = rms;
  a.small_model_worse = fit.mapping.model == RotationModel::small && rms > a.exact_sigma0;
  fit.weighted = WeightedFit{adjustment, std::move(statistics), rms};
  return fit;
}

}  // namespace helmert7
