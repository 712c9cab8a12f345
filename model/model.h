// SPDX-License-Identifier: MIT
// The seven-parameter similarity (Helmert) transformation in its small-angle form
// and its estimation by Gauss-Newton least squares.
//
// Model, in the coordinate-frame rotation convention (the position-vector
// convention differs only by the sign of the three angles), with k = 1 + m:
//   X = tx + k*((x + ez*y) - ey*z)
//   Y = ty + k*((-(ez*x) + y) + ex*z)
//   Z = tz + k*((ey*x - ex*y) + z)
// Angles in radians, m a unitless scale difference, translations in the unit of
// the coordinates. The model is applied to centred coordinates: subtract the source
// centroid before, add the target centroid after.
// Also the statistics of a converged adjustment: covariance, standardized residuals
// and Pope's tau test, origin-based parameters and the errors of mapped points.
// Pure numerics: nothing here prints or touches files. Failures throw NumericError.
#pragma once

#include <Eigen/Dense>
#include <functional>
#include <stdexcept>
#include <string>

namespace helmert7 {

/// tx, ty, tz, ex, ey, ez, m in this order.
using ParameterVector = Eigen::Matrix<double, 7, 1>;
/// n points, one per row, columns X, Y, Z.
using PointMatrix = Eigen::Matrix<double, Eigen::Dynamic, 3>;

/// A numeric failure: rank-deficient normal matrix, non-finite values, bad shapes.
class NumericError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct AdjustmentResult {
  bool converged = false;                      ///< met the tolerance with iterations left
  ParameterVector params;                      ///< parameters after the last update
  Eigen::Matrix<double, 7, 7> normal_inverse;  ///< inverse normal matrix of the last iteration
  Eigen::VectorXd misclosure;                  ///< misclosure vector of the last iteration
  double sigma0 = 0;                           ///< unit-weight standard error, sqrt(Q'Q / (3n - 7))
  ParameterVector sigmax;                      ///< standard errors of the parameters
  int iterations = 0;                          ///< iterations run
};

/// A 7-by-7 covariance matrix of parameters in ParameterVector order.
using ParameterCovariance = Eigen::Matrix<double, 7, 7>;

/// Iteration budget and convergence tolerance on the sum of |correction|.
constexpr int kIterationBudget = 500;
constexpr double kConvergenceTolerance = 1e-10;
/// Smallest reciprocal condition number accepted for the normal matrix whose
/// rotation and scale columns are divided by the network's extent (the largest
/// distance of a centred source point from the centroid); below it the points are
/// treated as collinear or coincident.
constexpr double kMinReciprocalCondition = 1e-12;

/// Maps one (centred) source point into the target system; returns a 1-by-3 row.
Eigen::RowVector3d transform_point(const double& x, const double& y, const double& z,
                                   const ParameterVector& params);

/// The 3-by-7 derivative of transform_point with respect to the parameters.
Eigen::Matrix<double, 3, 7> design_block(const double& x, const double& y, const double& z,
                                         const ParameterVector& params);

/// The (3n)-by-7 design matrix: rows 3i..3i+2 are the X, Y, Z rows of point i.
Eigen::MatrixXd design_matrix(const PointMatrix& points, const ParameterVector& params);

/// design_matrix into `design`, whose storage is reused when its size fits.
void fill_design_matrix(const PointMatrix& points, const ParameterVector& params,
                        Eigen::MatrixXd& design);

/// Target minus model, point by point with X, Y, Z interleaved: (3n)-by-1.
/// Throws NumericError when `target` has fewer rows than `source`.
Eigen::VectorXd misclosure_vector(const PointMatrix& source, const PointMatrix& target,
                                  const ParameterVector& params);

/// misclosure_vector into `misclosure`, whose storage is reused when its size fits.
void fill_misclosure_vector(const PointMatrix& source, const PointMatrix& target,
                            const ParameterVector& params, Eigen::VectorXd& misclosure);

/// The Gauss-Newton correction (N^-1 P') Q, in that order of products and to the
/// bit what Eigen gives for the whole expression, without forming N^-1 P' whole.
ParameterVector gauss_newton_correction(const Eigen::Matrix<double, 7, 7>& normal_inverse,
                                        const Eigen::MatrixXd& design,
                                        const Eigen::VectorXd& misclosure);

/// Estimates the parameters from centred common points (row i of source and of
/// target are the same point). Calls `on_iteration` with the parameters after each
/// update. Returns converged = false when the budget runs out. Throws NumericError
/// for fewer than three points, differing point counts, non-finite coordinates, a
/// rank-deficient normal matrix, or a non-finite correction or precision.
AdjustmentResult estimate_parameters(
    const PointMatrix& source, const PointMatrix& target,
    const std::function<void(const ParameterVector&)>& on_iteration = {});

/// The covariance of the estimated parameters, sigma0^2 N^-1.
ParameterCovariance parameter_covariance(const AdjustmentResult& result);

/// Mapped source minus target point by point, X, Y, Z interleaved: (3n)-by-1.
Eigen::VectorXd residual_vector(const PointMatrix& source, const PointMatrix& target,
                                const ParameterVector& params);

/// The residuals (residual_vector at the estimated parameters) divided by their
/// standard errors, v / (sigma0 sqrt(q)), q the matching diagonal element of
/// I - P N^-1 P' (P at the estimated parameters); NaN where q is not positive (a
/// component that the fit reproduces exactly).
Eigen::VectorXd standardized_residuals(const PointMatrix& source, const Eigen::VectorXd& residuals,
                                       const AdjustmentResult& result);

/// Pope's critical value for the largest |standardized residual| with redundancy r
/// and significance alpha per component: t sqrt(r) / sqrt(r - 1 + t^2), t the
/// quantile of Student's t at 1 - alpha/2 with r - 1 degrees of freedom. NaN for r < 2.
double pope_critical_value(int redundancy, double alpha);

/// The point (0-based) whose component has the largest |standardized residual|,
/// when that exceeds `critical_value`; otherwise -1. Only one point is named: the
/// others are tested again once it is taken out.
Eigen::Index outlier_point(const Eigen::VectorXd& standardized, double critical_value);

/// The same mapping with translations from the origin of the source system:
/// mapped = T0 + (1 + m) R x. Angles and scale are those of `params`.
ParameterVector origin_based_parameters(const ParameterVector& params,
                                        const Eigen::RowVector3d& ave_src,
                                        const Eigen::RowVector3d& ave_tar);

/// The covariance of origin_based_parameters, propagated from the covariance of the
/// centred model's parameters.
ParameterCovariance origin_based_covariance(const ParameterVector& params,
                                            const Eigen::RowVector3d& ave_src,
                                            const ParameterCovariance& covariance);

/// The covariance of a point mapped with the estimated parameters: A C A', A the
/// design block at the centred point.
Eigen::Matrix3d mapped_point_covariance(const Eigen::RowVector3d& centred_point,
                                        const ParameterVector& params,
                                        const ParameterCovariance& covariance);

}  // namespace helmert7
