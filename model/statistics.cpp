// SPDX-License-Identifier: MIT
// The statistics of a converged adjustment: the covariance of the parameters,
// standardized residuals and Pope's tau test, the origin-based (Bursa-Wolf) form of
// the parameters, and the propagation of the covariance to mapped points.
#include <boost/math/distributions/students_t.hpp>
#include <cmath>
#include <limits>

#include "model/model.h"

namespace helmert7 {
namespace {

// The parameters with the translations set to zero: k R x alone.
ParameterVector without_translation(const ParameterVector& params) {
  ParameterVector rotation_and_scale = params;
  rotation_and_scale.head<3>().setZero();
  return rotation_and_scale;
}

}  // namespace

ParameterCovariance parameter_covariance(const AdjustmentResult& result) {
  return result.sigma0 * result.sigma0 * result.normal_inverse;
}

Eigen::VectorXd residual_vector(const PointMatrix& source, const PointMatrix& target,
                                const ParameterVector& params) {
  return -misclosure_vector(source, target, params);
}

Eigen::VectorXd standardized_residuals(const PointMatrix& source, const Eigen::VectorXd& residuals,
                                       const AdjustmentResult& result) {
  Eigen::VectorXd standardized(residuals.size());
  for (Eigen::Index i = 0; i < source.rows(); ++i) {
    const Eigen::Matrix<double, 3, 7> block =
        design_block(source(i, 0), source(i, 1), source(i, 2), result.params);
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

Eigen::Index outlier_point(const Eigen::VectorXd& standardized, double critical_value) {
  Eigen::Index worst = -1;
  double largest = 0.0;
  for (Eigen::Index i = 0; i < standardized.size(); ++i) {
    if (std::isfinite(standardized(i)) && std::fabs(standardized(i)) > largest) {
      largest = std::fabs(standardized(i));
      worst = i / 3;
    }
  }
  return largest > critical_value ? worst : -1;  // false for a NaN critical value
}

ParameterVector origin_based_parameters(const ParameterVector& params,
                                        const Eigen::RowVector3d& ave_src,
                                        const Eigen::RowVector3d& ave_tar) {
  // mapped = ave_tar + t + k R (x - ave_src) = k R x + (ave_tar + t - k R ave_src)
  const Eigen::RowVector3d rotated_centroid =
      transform_point(ave_src(0), ave_src(1), ave_src(2), without_translation(params));
  ParameterVector origin_based = params;
  origin_based.head<3>() = (ave_tar + params.head<3>().transpose() - rotated_centroid).transpose();
  return origin_based;
}

ParameterCovariance origin_based_covariance(const ParameterVector& params,
                                            const Eigen::RowVector3d& ave_src,
                                            const ParameterCovariance& covariance) {
  // The origin translation is t - k R ave_src + const: its derivative is the identity
  // for t and minus the design block at ave_src for the angles and the scale.
  Eigen::Matrix<double, 7, 7> jacobian = Eigen::Matrix<double, 7, 7>::Identity();
  jacobian.block<3, 4>(0, 3) =
      -design_block(ave_src(0), ave_src(1), ave_src(2), params).rightCols<4>();
  return jacobian * covariance * jacobian.transpose();
}

Eigen::Matrix3d mapped_point_covariance(const Eigen::RowVector3d& centred_point,
                                        const ParameterVector& params,
                                        const ParameterCovariance& covariance) {
  const Eigen::Matrix<double, 3, 7> block =
      design_block(centred_point(0), centred_point(1), centred_point(2), params);
  return block * covariance * block.transpose();
}

}  // namespace helmert7
