// SPDX-License-Identifier: MIT
// The seven-parameter similarity (Helmert) transformation and its estimation by
// Gauss-Newton least squares, with the statistics of the fit. Pure numerics:
// nothing here prints or touches files; failures throw NumericError.
//
// Two rotation models, both in the coordinate-frame convention (the frame turns;
// the position-vector convention turns the point, which flips the sign of the
// angles), with k = 1 + m:
//   exact:       X = t + k R x,  R = Rz(ez) Ry(ey) Rx(ex), as PROJ's helmert
//                +exact builds it; Rx(a) = [1 0 0; 0 cos a sin a; 0 -sin a cos a]
//   small-angle: R replaced by its first-order terms, I + [0 ez -ey; -ez 0 ex;
//                ey -ex 0], which is PROJ's helmert +approx:
//     X = tx + k*((x + ez*y) - ey*z)
//     Y = ty + k*((-(ez*x) + y) + ex*z)
//     Z = tz + k*((ey*x - ex*y) + z)
//   the small model's error at distance d from the centroid is about |w|^2 d / 2,
//   |w| the length of (ex, ey, ez).
// The exact adjustment corrects R by a small turn of the frame, so it reaches every
// rotation; near ey = +-90 degrees ex and ez turn about one axis (gimbal lock).
// Angles in radians, m a unitless scale difference, translations and coordinates
// in the unit of the coordinates (any unit; metres for geodetic work). The model
// is applied to centred coordinates: subtract the source centroid before, add the
// target centroid after. Points are rows of a PointMatrix; residuals and their
// derivatives interleave X, Y, Z point by point.
#pragma once

#include <Eigen/Core>
#include <algorithm>
#include <limits>
#include <cstddef>
#include <functional>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "numtext/numtext.h"

namespace helmert7 {

/// tx, ty, tz, ex, ey, ez, m in this order.
using ParameterVector = Eigen::Matrix<double, 7, 1>;
/// n points, one per row, columns X, Y, Z.
using PointMatrix = Eigen::Matrix<double, Eigen::Dynamic, 3>;

/// The rotation of the model: the small-angle form above (the first-order terms of
/// R), or the exact rotation R = Rz(ez) Ry(ey) Rx(ex) of the coordinate-frame
/// convention, as PROJ's helmert +exact builds it: mapped = t + (1 + m) R x.
/// Exact angles come back with ex and ez in (-pi, pi] and ey in [-pi/2, pi/2].
enum class RotationModel { small, exact };

/// A numeric failure: rank-deficient normal matrix, non-finite values, bad shapes.
class NumericError : public Failure {
 public:
  using Failure::Failure;
};

struct AdjustmentResult {
  RotationModel model = RotationModel::small;  ///< the model adjusted
  bool converged = false;                      ///< met the tolerance with iterations left
  ParameterVector params;                      ///< parameters after the last update
  /// inverse normal matrix of the last iteration, in the correction parameters
  /// (the exact model's: see exact_design_block)
  Eigen::Matrix<double, 7, 7> normal_inverse;
  double sigma0 = 0;       ///< unit-weight standard error sqrt(v'v / (3n - 7)), v at params
  ParameterVector sigmax;  ///< standard errors of the parameters as reported (angles)
  int iterations = 0;      ///< iterations run
  /// exact model: pi/2 - |ey| (radians); NaN for the small model
  double lock_margin = std::numeric_limits<double>::quiet_NaN();
  /// exact model: ey within rounding or its standard error of +-90 degrees, where
  /// ex and ez turn about one axis and only ex + ez (ey > 0) or ez - ex (ey < 0) is
  /// determined; their own values and standard errors then mean little
  bool angles_shared = false;
  /// exact model: the angle that the lock leaves determined, ex + ez (ey > 0) or
  /// ez - ex (ey < 0), in (-pi, pi], and its standard error (radians)
  double shared_angle = std::numeric_limits<double>::quiet_NaN();
  double shared_angle_error = std::numeric_limits<double>::quiet_NaN();
};

/// Iteration budget; the adjustment stops when the sum of |correction| is at most
/// kConvergenceTolerance, or when the largest correction, as the displacement it
/// causes in the target system (angles times the scale factor and the source
/// extent, m times the source extent), is at most kStallTolerance of the target
/// extent and no smaller than the one before: the corrections have reached the
/// rounding floor, whatever the scale between the systems.
constexpr int kIterationBudget = 500;
constexpr double kConvergenceTolerance = 1e-10;
constexpr double kStallTolerance = 1e-12;
/// How to adjust: the rotation model and the iteration budget.
struct AdjustmentOptions {
  RotationModel model = RotationModel::small;
  int budget = kIterationBudget;
};

/// A 7-by-7 covariance matrix of parameters in ParameterVector order.
using ParameterCovariance = Eigen::Matrix<double, 7, 7>;

/// Smallest reciprocal condition number accepted for the normal matrix whose
/// rotation and scale columns are divided by the displacement they cause at the
/// network's extent (the largest distance of a centred source point from the
/// centroid): the rotation columns by the scale factor times the extent, the
/// scale column by the extent; below it the points are treated as collinear or
/// coincident, whatever the scale between the systems.
constexpr double kMinReciprocalCondition = 1e-12;

/// Maps one (centred) source point into the target system; returns a 1-by-3 row.
Eigen::RowVector3d transform_point(const double& x, const double& y, const double& z,
                                   const ParameterVector& params,
                                   RotationModel model = RotationModel::small);

/// The 3-by-7 derivative of transform_point with respect to the parameters.
Eigen::Matrix<double, 3, 7> design_block(const double& x, const double& y, const double& z,
                                         const ParameterVector& params,
                                         RotationModel model = RotationModel::small);

/// The (3n)-by-7 design matrix into `design`, whose storage is reused when its size
/// fits: rows 3i..3i+2 are the X, Y, Z rows of point i.
void fill_design_matrix(const PointMatrix& points, const ParameterVector& params,
                        Eigen::MatrixXd& design, RotationModel model = RotationModel::small);

/// Target minus model, point by point with X, Y, Z interleaved ((3n)-by-1), into
/// `misclosure`, whose storage is reused when its size fits. Throws NumericError
/// when `target` has fewer rows than `source`.
void fill_misclosure_vector(const PointMatrix& source, const PointMatrix& target,
                            const ParameterVector& params, Eigen::VectorXd& misclosure,
                            RotationModel model = RotationModel::small);

/// The exact rotation matrix of the angles of `params` (coordinate frame).
Eigen::Matrix3d rotation_matrix(const ParameterVector& params);

/// The angles (ex, ey, ez) whose exact rotation matrix is `rotation`, which they
/// give back to rounding at any ey (ex is zero where cos(ey) < kGimbalLockFloor).
Eigen::Vector3d rotation_angles(const Eigen::Matrix3d& rotation);

/// Below this cos(ey) the exact model's ex and ez turn about one axis: ex is held
/// at zero and ez carries their sum (ey = +90 degrees) or difference (ey = -90).
constexpr double kGimbalLockFloor = 0x1p-50;

/// The exact model's mapping of one centred point.
Eigen::RowVector3d exact_transform_point(const Eigen::Vector3d& point,
                                         const ParameterVector& params);

/// The exact model's 3-by-7 derivative in its correction parameters: t, a small
/// turn d of the frame after R (R <- (I - [d]x) R to first order, the small
/// model's matrix) and m. The exact adjustment's design and normal matrices, and
/// the covariances built from them, are in these parameters, which reach every
/// rotation; reported_covariance turns them into the angles'.
Eigen::Matrix<double, 3, 7> exact_design_block(const Eigen::Vector3d& point,
                                               const ParameterVector& params);

/// The parameters after a Gauss-Newton correction: added in the small model; in
/// the exact one the angles are those of exp(-[d]x) R, d the correction's angles.
ParameterVector corrected_parameters(const ParameterVector& params,
                                     const ParameterVector& correction, RotationModel model);

/// The derivative of rotation_angles at `rotation` by a small turn d of the frame
/// after it (3-by-3, rows ex, ey, ez). It grows as 1/cos(ey) near ey = +-90
/// degrees; below kGimbalLockFloor its ex row is zero (ex held at zero).
Eigen::Matrix3d angle_jacobian(const Eigen::Matrix3d& rotation);

/// A covariance of the correction parameters (`covariance`, at `params`) as that of
/// the reported parameters: the same in the small model; the angles' through
/// angle_jacobian in the exact one.
ParameterCovariance reported_covariance(const ParameterVector& params,
                                        const ParameterCovariance& covariance,
                                        RotationModel model);

/// The derivative of ex + ez (ey > 0) or ez - ex (ey < 0) of rotation_angles at
/// `rotation` by a small turn of the frame after it; finite at the lock.
Eigen::Vector3d shared_angle_gradient(const Eigen::Matrix3d& rotation);

/// How far ey of the exact rotation of `params` is from +-90 degrees (radians,
/// pi/2 - |ey|, with its digits where ey is near the lock).
double gimbal_lock_margin(const ParameterVector& params);

/// The closed-form least-squares similarity of centred points (Umeyama, 1991) as
/// exact-model parameters: the start of the exact adjustment.
ParameterVector closed_form_parameters(const PointMatrix& source, const PointMatrix& target);

/// The standard errors of position_vector_parameters, propagated from `covariance`
/// (of the correction parameters at `params`) through the derivative of the
/// conversion.
ParameterVector position_vector_errors(const ParameterVector& params,
                                       const ParameterCovariance& covariance, RotationModel model);

/// The same mapping in the position-vector convention: the small model's angles
/// change sign; the exact model's are those of the transposed rotation matrix, so
/// that PROJ's +convention=position_vector +exact with them maps alike.
ParameterVector position_vector_parameters(const ParameterVector& params, RotationModel model);

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
    const std::function<void(const ParameterVector&)>& on_iteration = {},
    const AdjustmentOptions& options = {});

/// Throws NumericError for differing source and target point counts or fewer than
/// three points.
void check_point_counts(const PointMatrix& source, const PointMatrix& target);

/// Throws NumericError when a normal matrix built at `params` for centred source
/// points of extent `source_extent` overflows or is rank-deficient (see
/// kMinReciprocalCondition); the adjustment judges its first iteration so.
void check_normal_matrix(const Eigen::Matrix<double, 7, 7>& normal, const ParameterVector& params,
                         double source_extent);

/// The adjustment's stopping rule (kConvergenceTolerance, kStallTolerance) over the
/// iterations of one adjustment.
class StoppingRule {
 public:
  StoppingRule(double source_extent, double target_extent);
  /// Whether the iteration ends with `correction`, computed at `params`.
  bool converged(const ParameterVector& correction, const ParameterVector& params);

 private:
  double source_extent_, target_extent_;
  double previous_largest_ = std::numeric_limits<double>::infinity();
};

/// Sets the exact model's gimbal-lock fields of a result whose params, sigma0,
/// sigmax and normal_inverse are final; nothing for the small model.
void describe_gimbal_lock(AdjustmentResult& result);

/// A mapping by a general matrix: mapped = matrix p + translation.
struct AffineMapping {
  Eigen::Matrix3d matrix;
  Eigen::Vector3d translation;
};

/// The model's matrix (1 + m) R: the exact rotation or the small model's
/// first-order matrix, of the angles and scale of `params`.
Eigen::Matrix3d model_matrix(const ParameterVector& params, RotationModel model);

/// The origin-based parameters (origin_based_parameters) as matrix and translation.
AffineMapping affine_mapping(const ParameterVector& origin, RotationModel model);

/// The mapping back: the inverse matrix and -inverse * translation. For the small
/// model this is not the small model with its angles negated (that differs by
/// second-order terms). Throws NumericError for a singular matrix.
AffineMapping inverse_mapping(const AffineMapping& forward);

/// The exact model's inverse of origin-based parameters, again exact-model
/// parameters in the coordinate-frame convention: the angles of R', translation
/// -R' t / (1 + m), 1 + m' = 1 / (1 + m).
ParameterVector exact_inverse_parameters(const ParameterVector& origin);

/// The covariance of exact_inverse_parameters, propagated from `covariance`, that
/// of the origin-based parameters `origin` in the correction parameters (as
/// origin_based_covariance gives it); again in the correction parameters, at the
/// inverse parameters.
ParameterCovariance exact_inverse_covariance(const ParameterVector& origin,
                                             const ParameterCovariance& covariance);

/// The covariance of the estimated parameters, sigma0^2 N^-1, in the correction
/// parameters (reported_covariance gives the exact model's angles').
ParameterCovariance parameter_covariance(const AdjustmentResult& result);

/// The residuals (mapped_residuals at the estimated parameters) divided by their
/// standard errors, v / (sigma0 sqrt(q)), q the matching diagonal element of
/// I - P N^-1 P' (P at the estimated parameters); NaN where q is not positive (a
/// component that the fit reproduces exactly).
Eigen::VectorXd standardized_residuals(const PointMatrix& source, const Eigen::VectorXd& residuals,
                                       const AdjustmentResult& result);

/// Pope's critical value for the largest |standardized residual| with redundancy r
/// and significance alpha per component: t sqrt(r) / sqrt(r - 1 + t^2), t the
/// quantile of Student's t at 1 - alpha/2 with r - 1 degrees of freedom. NaN for r < 2.
double pope_critical_value(int redundancy, double alpha);

/// The points (0-based, in order) with a component whose |standardized residual|
/// exceeds `critical_value`; none for a NaN critical value.
std::vector<Eigen::Index> outlier_points(const Eigen::VectorXd& standardized,
                                         double critical_value);

/// The same mapping with translations from the origin of the source system:
/// mapped = T0 + (1 + m) R x. Angles and scale are those of `params`.
ParameterVector origin_based_parameters(const ParameterVector& params,
                                        const Eigen::RowVector3d& ave_src,
                                        const Eigen::RowVector3d& ave_tar,
                                        RotationModel model = RotationModel::small);

/// The covariance of origin_based_parameters, propagated from the covariance of the
/// centred model's parameters.
ParameterCovariance origin_based_covariance(const ParameterVector& params,
                                            const Eigen::RowVector3d& ave_src,
                                            const ParameterCovariance& covariance,
                                            RotationModel model = RotationModel::small);

/// The covariance of a point mapped with the estimated parameters: A C A', A the
/// design block at the centred point.
Eigen::Matrix3d mapped_point_covariance(const Eigen::RowVector3d& centred_point,
                                        const ParameterVector& params,
                                        const ParameterCovariance& covariance,
                                        RotationModel model = RotationModel::small);

/// The redundancy of an adjustment of n common points: 3n - 7.
Eigen::Index redundancy(Eigen::Index points);

/// The network's extent: the largest distance of a centred point from the centroid.
double network_extent(const PointMatrix& centred);

/// Throws NumericError naming `role` ("source") and the 1-based point when a
/// coordinate is NaN or infinite.
void check_finite(const PointMatrix& points, const char* role);

/// Throws NumericError naming `role` when the centroid of its points overflowed.
void check_centroid(const Eigen::RowVector3d& centroid, const char* role);

/// The centred model and the centroids it is applied between:
/// mapped = ave_tar + T(p - ave_src).
struct CentredTransformation {
  ParameterVector params;
  Eigen::RowVector3d ave_src;
  Eigen::RowVector3d ave_tar;
  RotationModel model = RotationModel::small;
};

/// Maps points, one per row, from the source into the target system: subtract
/// ave_src, transform_point, add ave_tar. Throws NumericError naming the 1-based
/// point whose result is not finite.
PointMatrix map_points(const CentredTransformation& mapping, const PointMatrix& points);

/// Maps points, one per row, from the target back into the source system with the
/// same fit: ave_src + A^-1 (q - ave_tar - t), A = model_matrix. Throws
/// NumericError for a singular matrix or a result that is not finite.
PointMatrix map_points_back(const CentredTransformation& mapping, const PointMatrix& points);

/// Maps `points` (x, y, z) triples in place as map_points does; a result that is
/// not finite is left for the caller to find.
void map_in_place(const CentredTransformation& mapping, double* xyz, std::size_t points);

/// Maps `points` (x, y, z) triples in place as map_points_back does, a result
/// that is not finite left for the caller to find. Throws NumericError for a
/// singular matrix.
void map_back_in_place(const CentredTransformation& mapping, double* xyz, std::size_t points);

/// Mapped source minus target point by point, X, Y, Z interleaved: (3n)-by-1, from
/// the points as given. Throws NumericError for a non-finite residual.
Eigen::VectorXd mapped_residuals(const CentredTransformation& mapping, const PointMatrix& source,
                                 const PointMatrix& target);

/// The square roots of the covariance's diagonal.
ParameterVector standard_errors(const ParameterCovariance& covariance);

/// The correlation matrix of a covariance: C(i, j) / (s(i) s(j)), s the given errors.
ParameterCovariance correlations(const ParameterCovariance& covariance,
                                 const ParameterVector& errors);

/// The Molodensky-Badekas form about the source centroid P:
/// mapped = T + (1 + m) R (p - P) + P; angles and scale as in the centred model.
ParameterVector pivoted_parameters(const CentredTransformation& mapping);

/// How far the small-angle model is from a true rotation at `distance` from the
/// centroid: |w|^2 distance / 2, |w| the length of the rotation vector (ex, ey, ez).
double small_angle_error(const ParameterVector& params, double distance);

/// Which way test points are mapped: given in the source system and mapped into
/// the target, or found in the target and mapped back into the source.
enum class MappingDirection { forward, back };

/// Test points in the source system (as given, or as found by mapping back) and
/// the direction whose errors they carry.
struct TestPoints {
  PointMatrix points = PointMatrix(0, 3);
  MappingDirection direction = MappingDirection::forward;
};

/// What turns the covariance of a point mapped forward into that of the point in
/// the given direction: the identity, or back the inverse of the model's matrix M
/// (from f(x, p) = X: dx = -M^-1 A dp, A the design block at x).
Eigen::Matrix3d error_turn(const CentredTransformation& mapping, MappingDirection direction);

/// The standard errors of the mapped test points (sX, sY, sZ per row, in the axes
/// of the system mapped into): the square roots of the diagonal of
/// mapped_point_covariance at each centred point, turned by error_turn.
PointMatrix prediction_errors(const CentredTransformation& mapping,
                              const ParameterCovariance& covariance, const TestPoints& test);

/// The family-wise significance of the outlier test: the chance that a network
/// without gross errors raises an alarm.
constexpr double kOutlierAlpha = 0.05;

/// The significance per component that gives the family-wise `alpha` over the 3n
/// standardized residuals of n points: 1 - (1 - alpha)^(1/(3n)) (Sidak).
double per_component_alpha(double alpha, Eigen::Index points);

/// What the adjustment report derives from a converged adjustment, each computed once.
struct FitStatistics {
  Eigen::Index redundancy = 0;              ///< 3n - 7
  double extent = 0;                        ///< of the centred source points
  ParameterCovariance covariance;           ///< of the centred model's parameters, angles
  ParameterVector origin;                   ///< origin-based parameters
  ParameterVector origin_errors;            ///< their standard errors
  ParameterCovariance origin_correlations;  ///< their correlations
  ParameterVector position_vector;          ///< origin-based, position-vector convention
  ParameterVector position_vector_errors;   ///< their standard errors
  /// The exact model's only: the inverse (exact_inverse_parameters of origin) in
  /// both conventions, with their standard errors
  ParameterVector inverse, inverse_errors, inverse_position_vector, inverse_position_vector_errors;
  ParameterVector pivoted;                  ///< about the source centroid
  Eigen::VectorXd residuals;                ///< mapped source minus target, interleaved
  Eigen::VectorXd standardized;             ///< residuals / (sigma0 sqrt(q))
  double alpha0 = 0;                        ///< the outlier test's level per component
  double critical_value = 0;                ///< Pope's tau at alpha0; NaN when r < 2
  std::vector<Eigen::Index> outliers;       ///< 0-based points over tau
  double largest_w = 0;                     ///< the largest finite |standardized residual|
  double rotation_error = 0;                ///< the largest standard error of a turn (rad)
  double farthest = 0;                      ///< of a common or test point from ave_src
  double small_angle_error = 0;             ///< metres at the farthest point
  PointMatrix prediction_errors;            ///< sX, sY, sZ of each test point
};

/// The statistics of a converged adjustment of the centred common points, whose
/// residuals `residuals` (mapped_residuals) were formed already, with the errors
/// of the test points (not centred).
FitStatistics fit_statistics(const AdjustmentResult& result, const CentredTransformation& mapping,
                             const PointMatrix& centred_source, Eigen::VectorXd residuals,
                             const TestPoints& test);

// Weighted adjustment. The coordinates are observations with a priori covariances
// (a priori variance factor 1): one 3-by-3 block per point, in the unit of the
// coordinates squared, in Cartesian axes. Target points only: Gauss-Newton with the
// weights. Source points too: the Gauss-Helmert model of the conditions
// X + vT - f(x + vS) = 0; each iteration weights a point's discrepancy by M^-1,
// M = St + J Ss J', J = df/dx = k R (exact) or k times the small model's matrix at
// the current parameters, and linearises at the adjusted source points x + vS.
// A blunder in either system shows only as a discrepancy d = f(x) - X (mapped
// source minus target, target axes, covariance M), so the redundancy numbers,
// Baarda's w and the minimal detectable biases are per discrepancy component; with
// target weights only these are the target coordinates' own.

/// A priori covariances, one 3-by-3 block per common point.
using PointCovariances = std::vector<Eigen::Matrix3d>;

/// The a priori precision of the common points.
struct PointPrecision {
  PointCovariances target;  ///< one per point
  PointCovariances source;  ///< one per point, or none: source points free of errors
};

/// A converged weighted adjustment. result.normal_inverse is the weighted N^-1 (the
/// parameters' covariance at variance factor 1, correction parameters),
/// result.sigma0 the a posteriori sqrt(v'Pv / (3n - 7)), result.sigmax scaled by it.
struct WeightedAdjustment {
  AdjustmentResult result;
  double weighted_sum = 0;        ///< v'Pv of the residuals of both sides
  PointMatrix adjusted_source;    ///< the source points plus their residuals
  PointMatrix target_residuals;   ///< adjusted minus observed, one row per point
  PointMatrix source_residuals;   ///< zero without source covariances
  Eigen::VectorXd discrepancies;  ///< d = f(x) - X, X, Y, Z interleaved
  PointCovariances weights;       ///< M^-1 of each point at the final parameters
  bool source_errors = false;     ///< source covariances given: the Gauss-Helmert model
};

/// Estimates the parameters from centred common points and their `precision`.
/// Returns result.converged = false when the budget runs out. Throws NumericError as
/// estimate_parameters does, and for a covariance count that is not the point count
/// or a block that is not finite, symmetric and positive definite.
/// Calls `on_iteration` with the parameters after each update.
WeightedAdjustment estimate_weighted(
    const PointMatrix& source, const PointMatrix& target, const PointPrecision& precision,
    const AdjustmentOptions& options = {},
    const std::function<void(const ParameterVector&)>& on_iteration = {});

/// The global test of v'Pv against chi-square with 3n - 7 degrees of freedom, both
/// tails, at kGlobalTestAlpha: sigma0 a posteriori against the a priori 1.
struct GlobalTest {
  double statistic = 0;         ///< v'Pv, (3n - 7) sigma0^2
  double lower = 0, upper = 0;  ///< the chi-square quantiles alpha/2 and 1 - alpha/2
  bool passed = false;          ///< lower <= statistic <= upper
};
constexpr double kGlobalTestAlpha = 0.05;
GlobalTest global_test(double weighted_sum, Eigen::Index redundancy);

/// The power with which data snooping finds a bias of the minimal detectable size.
constexpr double kDetectionPower = 0.8;

/// The critical |w| of a component at level alpha0: the normal quantile 1 - alpha0/2.
double baarda_critical_value(double alpha0);

/// The non-centrality of the minimal detectable bias: the normal quantiles
/// 1 - alpha0/2 and kDetectionPower added.
double detection_noncentrality(double alpha0);

/// What the weighted report derives from a converged weighted adjustment. Per
/// discrepancy component (X, Y, Z interleaved): Baarda's w = g / sqrt(h), g the
/// component of M^-1 d and h the diagonal element of M^-1 Qdd M^-1 (Qdd = M - A N^-1 A'
/// of the point), with the a priori variance factor; the redundancy number, diagonal of
/// Qdd M^-1; the minimal detectable bias delta0 / sqrt(h); and that bias's effect.
struct WeightedStatistics {
  Eigen::Index redundancy = 0;
  GlobalTest global;
  double alpha0 = 0;          ///< per component, Sidak from kOutlierAlpha
  double critical_value = 0;  ///< of |w|
  double noncentrality = 0;   ///< delta0
  Eigen::VectorXd w, redundancy_numbers, mdb;
  std::vector<Eigen::Index> outliers;  ///< 0-based points with a |w| over the critical value
  /// each component's minimal detectable bias moves the reported parameters by a row
  Eigen::Matrix<double, Eigen::Dynamic, 7> parameter_effects;
  /// and a point mapped at the centroid, and at the farthest common point, this far
  Eigen::VectorXd centroid_effects, edge_effects;
  ParameterCovariance covariance;       ///< reported parameters, scaled by sigma0^2
  ParameterCovariance unit_covariance;  ///< the same at the a priori variance factor 1
  PointMatrix prediction_errors, unit_prediction_errors;  ///< of the test points, so scaled
};

/// The statistics of `adjustment`, whose mapping is `mapping`, with the prediction
/// errors of the test points (not centred).
WeightedStatistics weighted_statistics(const WeightedAdjustment& adjustment,
                                       const CentredTransformation& mapping,
                                       const TestPoints& test);

/// How the source and target points were paired: by the names of two point
/// files, or by their places in the texts; the names found in one file only.
struct Pairing {
  bool by_name = false;
  std::vector<std::string> source_only, target_only;
};

/// Common points left out of the fit to check it, as given, with their names.
struct CheckPoints {
  std::vector<std::string> names;
  PointMatrix source, target;
};

/// The common points as given, their centroids and the points centred on them.
struct Network {
  std::vector<std::string> names;  ///< of the points, when point files give them
  Pairing pairing;
  PointMatrix source, target;
  Eigen::RowVector3d ave_src, ave_tar;
  PointMatrix centred_source, centred_target;
  CheckPoints checks;  ///< excluded from the fit; none unless asked
};

/// What messages and reports call common point `index` (0-based): its name, else
/// its 1-based number.
std::string point_label(const Network& network, Eigen::Index index);

/// The points of a list of (x, y, z) triples, one per row; a tail of one or two
/// values is no point.
PointMatrix point_matrix(const std::vector<double>& values);

/// How far a fit can be trusted, in the unit of the coordinates: its noise against
/// the rounding of coordinates this large, the small-angle model against the exact
/// similarity of the same points (Umeyama's closed form, the exact least-squares
/// fit), and the shape of the network.
struct FitAssessment {
  double rounding_floor = 0;  ///< 64 ulps of the largest |coordinate|: residuals below are rounding
  bool fits_to_rounding = false;  ///< sigma0 at or below the rounding floor
  double exact_sigma0 = 0;        ///< of the exact similarity (the fit's own for the exact model)
  ParameterVector exact_params = ParameterVector::Zero();  ///< of the exact similarity
  /// The small-angle mapping minus the exact one, an affine map of the centred
  /// point p (a row): p difference + offset; zero for the exact model.
  Eigen::Matrix3d difference = Eigen::Matrix3d::Zero();
  Eigen::RowVector3d offset = Eigen::RowVector3d::Zero();
  double model_error = 0;     ///< largest |difference| at the common points
  double test_model_error = 0;  ///< largest |difference| at the test points of a text
  double target_extent = 0;   ///< of the centred target points
  Eigen::Vector3d spreads = Eigen::Vector3d::Zero();  ///< RMS of the centred source along its principal axes, largest first
  Eigen::Vector3d weakest_axis = Eigen::Vector3d::UnitX();  ///< of the rotation least well determined
  /// The noise the model error is measured against: the exact fit's sigma0, at
  /// least the rounding floor.
  double noise() const { return std::max(exact_sigma0, rounding_floor); }
  /// The noise at points up to `distance` from the centroid, where the rounding of
  /// the mapping itself grows with the distance.
  double noise_within(double distance) const;
  /// Whether the small-angle fit is the worse of the two: only then can its
  /// difference from the exact similarity be its error (points made by the
  /// small-angle model itself fit it better).
  bool small_model_worse = false;
};

/// What a weighted fit adds: the adjustment with both sides' residuals, and its
/// statistics.
struct WeightedFit {
  WeightedAdjustment adjustment;
  WeightedStatistics statistics;
  /// sqrt(d'd / (3n - 7)) of the discrepancies d, in the unit of the coordinates:
  /// what sigma0 is without weights, for the checks of rounding and plausibility
  double residual_rms = 0;
};

/// The check points' misclosures d = mapped source minus target, one row per point,
/// and the covariance each is tested with: the mapped point's (A C A') plus the
/// target point's own, sigma0^2 per axis unweighted; weighted, both at the a priori
/// variance factor 1, the target's a priori covariance (the source's left out).
/// A point passes when |d| <= kCheckPointSigmas sqrt(trace), the 3-D test.
struct CheckPointTest {
  PointMatrix misclosures;
  PointMatrix errors;        ///< sX, sY, sZ of each misclosure
  std::vector<bool> within;  ///< the 3-D test passed
};
constexpr double kCheckPointSigmas = 3.0;

/// A converged adjustment, the mapping it gives, its statistics and assessment.
struct Fit {
  AdjustmentResult result;
  CentredTransformation mapping;
  FitStatistics statistics;  ///< residuals included
  FitAssessment assessment;
  std::optional<WeightedFit> weighted;  ///< a weighted adjustment's own statistics
  CheckPointTest checks;                ///< of the network's check points
};

/// The test of `checks` by `fit`; `target_covariances` (one per check point) for a
/// weighted fit, else none. Throws NumericError for a non-finite misclosure.
CheckPointTest check_point_test(const Fit& fit, const CheckPoints& checks,
                                const PointCovariances& target_covariances);

/// The fit of `network` by a converged `result`, with the prediction errors of
/// the test points. Throws NumericError for a non-finite residual.
Fit assess_fit(const Network& network, const AdjustmentResult& result, const TestPoints& test);

/// The fit of `network` by a converged weighted adjustment: as assess_fit, with the
/// weighted statistics, whose Baarda's w, critical value and outliers take the
/// place of the standardized residuals and Pope's test.
Fit assess_weighted_fit(const Network& network, const WeightedAdjustment& adjustment,
                        const TestPoints& test);

/// The small-angle model's error at the common points is far beyond the noise when
/// it exceeds this many times the noise and one millionth of the network's extent.
constexpr double kModelErrorRefusal = 20.0;
/// It is worth a warning beyond this many times the noise.
constexpr double kModelErrorWarning = 2.0;
/// Points whose sigma0 exceeds this share of the network's extent are not the same points.
constexpr double kUnrelatedShare = 0.01;

/// Throws NumericError for a fit that is plainly wrong: points that do not belong
/// together (sigma0 above 1% of the extent even for the exact similarity), or a
/// small-angle fit far from the exact one (scale not positive, or mapping the
/// points many times the noise away from it).
void check_plausible(const Network& network, const Fit& fit);

/// sX^2 + sY^2 + sZ^2 of a test point mapped with the estimated parameters in a
/// direction, a quadratic in the centred point p (in the source system):
/// p quadratic p' + linear p + constant (exact: the design block is linear in p).
struct PositionVariance {
  Eigen::Matrix3d quadratic;
  Eigen::RowVector3d linear;
  double constant = 0;
  double at(const Eigen::RowVector3d& p) const {
    return (p * quadratic).dot(p) + linear.dot(p) + constant;
  }
};
PositionVariance position_variance(const CentredTransformation& mapping,
                                   const ParameterCovariance& covariance,
                                   MappingDirection direction);

/// The largest, median and smallest of standard errors, and the (0-based) place of
/// the largest; NaN and -1 for none.
struct ErrorSpread {
  double largest = std::numeric_limits<double>::quiet_NaN();
  double median = std::numeric_limits<double>::quiet_NaN();
  double smallest = std::numeric_limits<double>::quiet_NaN();
  std::ptrdiff_t worst = -1;
};
ErrorSpread spread_of(std::vector<float> errors);

/// What a run learns of test points mapped a chunk at a time: how far they lie
/// from the source centroid, the small-angle model's error there, and each
/// point's 3-D standard error sqrt(sX^2 + sY^2 + sZ^2) in `direction`.
class TestPointSurvey {
 public:
  TestPointSurvey(const Fit& fit, MappingDirection direction);
  /// Takes `points` (x, y, z) triples in the source system: as given, or as
  /// found by mapping back.
  void add(const double* xyz, std::size_t points);

  double farthest() const { return farthest_; }
  double model_error() const { return model_error_; }
  /// The standard errors in point order, as floats to keep memory small.
  const std::vector<float>& errors() const { return errors_; }
  /// The (0-based) place of the largest standard error so far; -1 before any.
  std::ptrdiff_t worst() const { return worst_; }

 private:
  const Fit& fit_;
  PositionVariance variance_;
  double farthest_ = 0, model_error_ = 0;
  std::vector<float> errors_;
  std::ptrdiff_t worst_ = -1;
};

}  // namespace helmert7
