// SPDX-License-Identifier: MIT
// The statistics of a converged adjustment: the covariance of the parameters and
// their correlations, standardized residuals and Pope's tau test, the origin-based
// (Bursa-Wolf) and pivoted (Molodensky-Badekas) forms of the parameters, the
// small-angle model's error, and the propagation of the covariance to mapped points.
#include <boost/math/distributions/students_t.hpp>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "model/model.h"

namespace helmert7 {
namespace {

// The parameters with the translations set to zero: k R x alone.
ParameterVector without_translation(const ParameterVector& params) {
  ParameterVector rotation_and_scale = params;
  rotation_and_scale.head<3>().setZero();
  return rotation_and_scale;
}

// The exact model's inverse in both conventions, with standard errors from the
// covariance of the origin-based parameters (in the correction parameters).
void set_exact_inverse(const ParameterCovariance& origin_covariance, FitStatistics& fit) {
  constexpr RotationModel exact = RotationModel::exact;
  fit.inverse = exact_inverse_parameters(fit.origin);
  const ParameterCovariance covariance = exact_inverse_covariance(fit.origin, origin_covariance);
  fit.inverse_errors = standard_errors(reported_covariance(fit.inverse, covariance, exact));
  fit.inverse_position_vector = position_vector_parameters(fit.inverse, exact);
  fit.inverse_position_vector_errors = position_vector_errors(fit.inverse, covariance, exact);
}

}  // namespace

ParameterCovariance parameter_covariance(const AdjustmentResult& result) {
  return result.sigma0 * result.sigma0 * result.normal_inverse;
}

Eigen::VectorXd standardized_residuals(const PointMatrix& source, const Eigen::VectorXd& residuals,
                                       const AdjustmentResult& result) {
  Eigen::VectorXd standardized(residuals.size());
  for (Eigen::Index i = 0; i < source.rows(); ++i) {
    const Eigen::Matrix<double, 3, 7> block =
        design_block(source(i, 0), source(i, 1), source(i, 2), result.params, result.model);
    // q = 1 - p' N^-1 p for each of the point's three rows p of the design matrix.
    const Eigen::Vector3d leverage =
        (block * result.normal_inverse).cwiseProduct(block).rowwise().sum();
    for (int c = 0; c < 3; ++c) {
      const double q = 1.0 - leverage(c);
      standardized(3 * i + c) = q > 0.0 ? residuals(3 * i + c) / (result.sigma0 * std::sqrt(q))
                                        : std::numeric_limits<double>::quiet_NaN();
    }
  }
  return standardized;
}

double pope_critical_value(int redundancy, double alpha) {
  if (redundancy < 2) return std::numeric_limits<double>::quiet_NaN();
  const double r = redundancy;
  const boost::math::students_t distribution(r - 1.0);
  const double t = boost::math::quantile(distribution, 1.0 - alpha / 2.0);
  return t * std::sqrt(r) / std::sqrt(r - 1.0 + t * t);
}

double per_component_alpha(double alpha, Eigen::Index points) {
  // Without the cancellation of 1 - (1 - alpha)^(1/k) for large k.
  return -std::expm1(std::log1p(-alpha) / static_cast<double>(3 * points));
}

std::vector<Eigen::Index> outlier_points(const Eigen::VectorXd& standardized,
                                         double critical_value) {
  std::vector<Eigen::Index> points;
  for (Eigen::Index i = 0; i < standardized.size(); ++i) {
    const bool over = std::fabs(standardized(i)) > critical_value;  // false for NaN
    if (over && (points.empty() || points.back() != i / 3)) points.push_back(i / 3);
  }
  return points;
}

ParameterVector origin_based_parameters(const ParameterVector& params,
                                        const Eigen::RowVector3d& ave_src,
                                        const Eigen::RowVector3d& ave_tar, RotationModel model) {
  // mapped = ave_tar + t + k R (x - ave_src) = k R x + (ave_tar + t - k R ave_src)
  const Eigen::RowVector3d rotated_centroid =
      transform_point(ave_src(0), ave_src(1), ave_src(2), without_translation(params), model);
  ParameterVector origin_based = params;
  origin_based.head<3>() = (ave_tar + params.head<3>().transpose() - rotated_centroid).transpose();
  return origin_based;
}

ParameterCovariance origin_based_covariance(const ParameterVector& params,
                                            const Eigen::RowVector3d& ave_src,
                                            const ParameterCovariance& covariance,
                                            RotationModel model) {
  // The origin translation is t - k R ave_src + const: its derivative is the identity
  // for t and minus the design block at ave_src for the angles and the scale.
  Eigen::Matrix<double, 7, 7> jacobian = Eigen::Matrix<double, 7, 7>::Identity();
  jacobian.block<3, 4>(0, 3) =
      -design_block(ave_src(0), ave_src(1), ave_src(2), params, model).rightCols<4>();
  return jacobian * covariance * jacobian.transpose();
}

Eigen::Matrix3d mapped_point_covariance(const Eigen::RowVector3d& centred_point,
                                        const ParameterVector& params,
                                        const ParameterCovariance& covariance,
                                        RotationModel model) {
  const Eigen::Matrix<double, 3, 7> block =
      design_block(centred_point(0), centred_point(1), centred_point(2), params, model);
  return block * covariance * block.transpose();
}

ParameterVector standard_errors(const ParameterCovariance& covariance) {
  return covariance.diagonal().array().sqrt();
}

ParameterCovariance correlations(const ParameterCovariance& covariance,
                                 const ParameterVector& errors) {
  return covariance.array() / (errors * errors.transpose()).array();
}

ParameterVector pivoted_parameters(const CentredTransformation& mapping) {
  // ave_tar + t + k R (p - ave_src) = (ave_tar - ave_src + t) + k R (p - P) + P
  ParameterVector pivoted = mapping.params;
  pivoted.head<3>() = (mapping.ave_tar - mapping.ave_src).transpose() + mapping.params.head<3>();
  return pivoted;
}

double small_angle_error(const ParameterVector& params, double distance) {
  return params.segment<3>(3).squaredNorm() * distance / 2.0;
}

Eigen::Matrix3d error_turn(const CentredTransformation& mapping, MappingDirection direction) {
  if (direction == MappingDirection::forward) return Eigen::Matrix3d::Identity();
  return model_matrix(mapping.params, mapping.model).inverse();
}

PointMatrix prediction_errors(const CentredTransformation& mapping,
                              const ParameterCovariance& covariance, const TestPoints& test) {
  const Eigen::Matrix3d turn = error_turn(mapping, test.direction);
  PointMatrix errors(test.points.rows(), 3);
  for (Eigen::Index i = 0; i < test.points.rows(); ++i) {
    const Eigen::RowVector3d centred = test.points.row(i) - mapping.ave_src;
    const Eigen::Matrix3d forward =
        mapped_point_covariance(centred, mapping.params, covariance, mapping.model);
    errors.row(i) = (turn * forward * turn.transpose()).diagonal().cwiseSqrt().transpose();
  }
  return errors;
}

FitStatistics fit_statistics(const AdjustmentResult& result, const CentredTransformation& mapping,
                             const PointMatrix& centred_source, Eigen::VectorXd residuals,
                             const TestPoints& test) {
  FitStatistics fit;
  fit.redundancy = redundancy(centred_source.rows());
  fit.extent = network_extent(centred_source);
  // In the correction parameters (the exact model's turn of the frame), as the
  // design blocks are; the angles' only where reported.
  const ParameterCovariance covariance = parameter_covariance(result);
  fit.covariance = reported_covariance(mapping.params, covariance, mapping.model);
  fit.origin =
      origin_based_parameters(mapping.params, mapping.ave_src, mapping.ave_tar, mapping.model);
  const ParameterCovariance origin_covariance =
      origin_based_covariance(mapping.params, mapping.ave_src, covariance, mapping.model);
  const ParameterCovariance origin_reported =
      reported_covariance(fit.origin, origin_covariance, mapping.model);
  fit.origin_errors = standard_errors(origin_reported);
  fit.origin_correlations = correlations(origin_reported, fit.origin_errors);
  fit.position_vector = position_vector_parameters(fit.origin, mapping.model);
  fit.position_vector_errors =
      position_vector_errors(fit.origin, origin_covariance, mapping.model);
  if (mapping.model == RotationModel::exact) set_exact_inverse(origin_covariance, fit);
  fit.pivoted = pivoted_parameters(mapping);
  fit.standardized = standardized_residuals(centred_source, residuals, result);
  fit.residuals = std::move(residuals);
  fit.alpha0 = per_component_alpha(kOutlierAlpha, centred_source.rows());
  fit.critical_value = pope_critical_value(static_cast<int>(fit.redundancy), fit.alpha0);
  fit.outliers = outlier_points(fit.standardized, fit.critical_value);
  for (const double w : fit.standardized) {
    if (std::isfinite(w)) fit.largest_w = std::max(fit.largest_w, std::fabs(w));
  }
  fit.rotation_error = standard_errors(covariance).segment<3>(3).maxCoeff();
  // Without overflow for test points far beyond the network.
  const PointMatrix centred_test = test.points.rowwise() - mapping.ave_src;
  const double farthest_test =
      centred_test.rows() == 0 ? 0.0 : centred_test.rowwise().stableNorm().maxCoeff();
  fit.farthest = std::max(fit.extent, farthest_test);
  fit.small_angle_error = small_angle_error(mapping.params, fit.farthest);
  fit.prediction_errors = prediction_errors(mapping, covariance, test);
  return fit;
}

}  // namespace helmert7
