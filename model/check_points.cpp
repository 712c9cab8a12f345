// SPDX-License-Identifier: MIT
// Check points: common points left out of the fit, mapped with it and compared
// with their targets, each against its own standard error.
#include <cmath>

#include "model/model.h"

namespace helmert7 {
namespace {

// The covariance of one misclosure: the mapped point's from the parameters and
// the target point's own.
Eigen::Matrix3d misclosure_covariance(const Fit& fit, const Eigen::RowVector3d& source,
                                      const Eigen::Matrix3d& target_covariance) {
  const CentredTransformation& mapping = fit.mapping;
  const ParameterCovariance parameters =
      fit.weighted ? fit.result.normal_inverse : parameter_covariance(fit.result);
  const Eigen::RowVector3d centred = source - mapping.ave_src;
  return mapped_point_covariance(centred, mapping.params, parameters, mapping.model) +
         target_covariance;
}

}  // namespace

CheckPointTest check_point_test(const Fit& fit, const CheckPoints& checks,
                                const PointCovariances& target_covariances) {
  const Eigen::Index n = checks.source.rows();
  if (fit.weighted && target_covariances.size() != static_cast<std::size_t>(n))
    throw NumericError("a weighted check needs one target covariance per check point");
  CheckPointTest test;
  test.misclosures = map_points(fit.mapping, checks.source) - checks.target;
  test.errors.resize(n, 3);
  const double sigma0 = fit.result.sigma0;
  for (Eigen::Index i = 0; i < n; ++i) {
    if (!test.misclosures.row(i).allFinite())
      throw NumericError("the misclosure of check point " + std::to_string(i + 1) +
                         " is not finite (coordinates too large)");
    const Eigen::Matrix3d own = fit.weighted
                                    ? target_covariances[static_cast<std::size_t>(i)]
                                    : Eigen::Matrix3d(sigma0 * sigma0 * Eigen::Matrix3d::Identity());
    const Eigen::Matrix3d covariance = misclosure_covariance(fit, checks.source.row(i), own);
    test.errors.row(i) = covariance.diagonal().cwiseSqrt().transpose();
    test.within.push_back(test.misclosures.row(i).norm() <=
                          kCheckPointSigmas * std::sqrt(covariance.trace()));
  }
  return test;
}

}  // namespace helmert7
