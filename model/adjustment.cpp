// SPDX-License-Identifier: MIT
// Gauss-Newton estimation of the seven parameters and their precision.
// Each iteration evaluates the design matrix P and the misclosure vector Q at the
// current parameters, inverts the normal matrix N = P'P explicitly (the same
// inverse gives the precision after the last iteration) and applies the correction
// (N^-1 P') Q: added, or in the exact model as a small turn of R. The inputs and
// the normal matrix are checked first, so that a degenerate point set is refused
// with a message rather than giving NaN.
#include <Eigen/Eigenvalues>
#include <Eigen/LU>
#include <algorithm>
#include <limits>
#include <cmath>
#include <sstream>
#include <string>

#include "model/model.h"

namespace helmert7 {

void check_point_counts(const PointMatrix& source, const PointMatrix& target) {
  if (source.rows() != target.rows())
    throw NumericError("the source and target point counts differ (" +
                       std::to_string(source.rows()) + " source points, " +
                       std::to_string(target.rows()) +
                       " target points); give every common point in both sets");
  if (source.rows() < 3)
    throw NumericError("seven parameters need at least three common points, got " +
                       std::to_string(source.rows()));
}

namespace {

using NormalMatrix = Eigen::Matrix<double, 7, 7>;

// How far the farthest common point moves in the target system: per unit of a
// translation 1, per radian of a turn |k| R, per unit of m R, R the source
// extent and k the scale factor at which the design matrix was built.
struct Reach {
  double turn, scale;
};

Reach reach_at(const ParameterVector& params, double source_extent) {
  return {std::fabs(1.0 + params(6)) * source_extent, source_extent};
}

// The reciprocal condition number of N with the translation columns as they are
// and the rotation and scale columns divided by their reach: S N S with
// S = diag(1, 1, 1, 1/turn, 1/turn, 1/turn, 1/scale), as if the angles and the
// scale were the displacements that they cause in the target system. All seven
// then weigh alike whatever the orientation of the network and the scale between
// the systems, so a ratio of eigenvalues below 1e-12 means that the points lie
// within about a millionth of the extent of one line. (Scaling by N's own
// diagonal would turn a nearly singular rotation column back into a unit one when
// the points lie along a coordinate axis.) Zero for a network without extent,
// never below zero, which rounding can give for an exactly singular matrix.
double scaled_reciprocal_condition(const NormalMatrix& normal, const Reach& reach) {
  const bool measurable = reach.turn > 0.0 && std::isfinite(reach.turn) && reach.scale > 0.0 &&
                          std::isfinite(reach.scale);
  if (!measurable || !normal.allFinite()) return 0.0;
  Eigen::Matrix<double, 7, 1> scale = Eigen::Matrix<double, 7, 1>::Ones();
  scale.segment<3>(3).setConstant(1.0 / reach.turn);
  scale(6) = 1.0 / reach.scale;
  const NormalMatrix scaled = scale.asDiagonal() * normal * scale.asDiagonal();
  const Eigen::SelfAdjointEigenSolver<NormalMatrix> solver(scaled, Eigen::EigenvaluesOnly);
  if (solver.info() != Eigen::Success) return 0.0;
  const auto& eigenvalues = solver.eigenvalues();  // ascending
  const double ratio = eigenvalues(0) / eigenvalues(6);
  return ratio < 0.0 ? 0.0 : ratio;  // NaN passes through and is refused
}

void check_rank(const NormalMatrix& normal, const Reach& reach) {
  if (!normal.allFinite()) {
    throw NumericError(
        "the normal matrix overflows: the common points lie too far apart for double "
        "precision (their squared distances exceed 1e308); give them in a larger unit");
  }
  const double rcond = scaled_reciprocal_condition(normal, reach);
  if (rcond >= kMinReciprocalCondition)  // false for NaN as well
    return;
  std::ostringstream message;
  message.precision(3);
  message << "the normal matrix is rank-deficient (reciprocal condition number " << rcond
          << ", below " << kMinReciprocalCondition
          << "): the common points are collinear or coincident, or too few for seven"
             " parameters";
  throw NumericError(message.str());
}

void check_precision(const AdjustmentResult& result) {
  if (!std::isfinite(result.sigma0) || !result.sigmax.allFinite() || !result.params.allFinite())
    throw NumericError(
        "the adjustment converged but its parameters or standard errors are not finite;"
        " check the common points for gross errors or a near-degenerate geometry");
}

}  // namespace

ParameterVector gauss_newton_correction(const Eigen::Matrix<double, 7, 7>& normal_inverse,
                                        const Eigen::MatrixXd& design,
                                        const Eigen::VectorXd& misclosure) {
  // Eigen forms (N^-1 P') Q coefficient by coefficient, each a sum from the first
  // column of N^-1 P' to the last, one term after the other. The same sums, run
  // over N^-1 P' one slice of columns at a time, give the same bits, while
  // N^-1 P', as large as P, never exists whole.
  constexpr Eigen::Index kSlice = 16 * 1024;
  ParameterVector correction = ParameterVector::Zero();
  // N^-1 P' of one slice, allocated once
  Eigen::Matrix<double, 7, Eigen::Dynamic> weighted(7, std::min(kSlice, design.rows()));
  for (Eigen::Index start = 0; start < design.rows(); start += kSlice) {
    const Eigen::Index length = std::min(kSlice, design.rows() - start);
    weighted.leftCols(length).noalias() =
        normal_inverse * design.middleRows(start, length).transpose();
    for (Eigen::Index k = 0; k < length; ++k) {
      const double q = misclosure(start + k);
      for (int i = 0; i < 7; ++i) {
        const double term = weighted(i, k) * q;
        correction(i) = start + k == 0 ? term : correction(i) + term;
      }
    }
  }
  return correction;
}

namespace {

// What every Gauss-Newton step reads: the centred points, the model and the
// extents of both point sets, which scale the rank test and the stopping rule.
struct Problem {
  const PointMatrix& source;
  const PointMatrix& target;
  RotationModel model;
  double source_extent, target_extent;
};

// The buffers of one Gauss-Newton step, allocated once for all iterations: fresh
// pages of this size cost more than the arithmetic done in them.
struct Step {
  Eigen::VectorXd misclosure;
  Eigen::MatrixXd design;
  NormalMatrix normal;
  NormalMatrix normal_inverse = NormalMatrix::Zero();
};

// The correction at `params`. The geometry is judged in the first iteration only,
// where the design matrix holds the points and the starting scale: later iterates
// of the small model at a large scale pass through angles of many radians, whose
// scale column leans on the angle columns whatever the points.
ParameterVector correction_at(const Problem& problem, const ParameterVector& params, Step& step,
                              bool first) {
  fill_design_matrix(problem.source, params, step.design, problem.model);
  fill_misclosure_vector(problem.source, problem.target, params, step.misclosure, problem.model);
  step.normal.noalias() = step.design.transpose() * step.design;
  if (first) check_rank(step.normal, reach_at(params, problem.source_extent));
  step.normal_inverse = step.normal.inverse();
  return gauss_newton_correction(step.normal_inverse, step.design, step.misclosure);
}

// The largest correction as the displacement it causes in the target system.
double largest_displacement(const ParameterVector& correction, const Reach& reach) {
  return std::max({correction.head<3>().cwiseAbs().maxCoeff(),
                   correction.segment<3>(3).cwiseAbs().maxCoeff() * reach.turn,
                   std::fabs(correction(6)) * reach.scale});
}

// Converged: the corrections are negligible, or they stopped shrinking at the
// rounding floor, where the translations jitter by about eps times the target
// extent.
bool has_converged(const ParameterVector& correction, const Reach& reach, double target_extent,
                   double& previous_largest) {
  const double largest = largest_displacement(correction, reach);
  const bool stalled = largest <= kStallTolerance * target_extent && largest >= previous_largest;
  previous_largest = largest;
  return correction.cwiseAbs().sum() <= kConvergenceTolerance || stalled;
}

// Gauss-Newton from result.params until converged or out of budget; result.params,
// iterations and converged are updated, `step` holds the last iteration's buffers.
void iterate(const Problem& problem, int budget,
             const std::function<void(const ParameterVector&)>& on_iteration,
             AdjustmentResult& result, Step& step) {
  double previous_largest = std::numeric_limits<double>::infinity();
  bool done = false;
  // A correction that first meets the tolerance in the last allowed iteration
  // still counts as exhausting the budget.
  while (!done && result.iterations < budget) {
    ++result.iterations;
    const ParameterVector correction =
        correction_at(problem, result.params, step, result.iterations == 1);
    if (!correction.allFinite())
      throw NumericError("iteration " + std::to_string(result.iterations) +
                         " gave a non-finite correction; the normal equations could"
                         " not be solved for these points");
    const Reach reach = reach_at(result.params, problem.source_extent);
    result.params = corrected_parameters(result.params, correction, problem.model);
    if (on_iteration) on_iteration(result.params);
    done = has_converged(correction, reach, problem.target_extent, previous_largest);
  }
  result.converged = done && result.iterations < budget;
}

// Where ex and ez of the exact model share one degree of freedom: ey within
// rounding, or within its own standard error, of +-90 degrees; and the angle
// that stays determined there, with its standard error from the turn's N^-1.
void set_gimbal_lock(const NormalMatrix& normal_inverse, AdjustmentResult& result) {
  if (result.model != RotationModel::exact) return;
  result.lock_margin = gimbal_lock_margin(result.params);
  result.angles_shared = result.lock_margin <= std::max(kGimbalLockFloor, result.sigmax(4));
  const double side = result.params(4) < 0 ? -1.0 : 1.0;
  result.shared_angle =
      std::remainder(result.params(5) + side * result.params(3), 2 * std::acos(-1.0));
  const Eigen::Vector3d gradient = shared_angle_gradient(rotation_matrix(result.params));
  result.shared_angle_error =
      result.sigma0 *
      std::sqrt(gradient.dot(normal_inverse.block<3, 3>(3, 3) * gradient));
}

// sigma0 from the residuals of the final parameters, and sigmax with the N^-1 of
// the last iteration, built before its (negligible) correction was added. The
// redundancy is 3n - 7.
void set_precision(const Problem& problem, Step& step, AdjustmentResult& result) {
  fill_misclosure_vector(problem.source, problem.target, result.params, step.misclosure,
                         problem.model);
  result.sigma0 = std::sqrt(step.misclosure.squaredNorm() /
                            static_cast<double>(redundancy(problem.source.rows())));
  const ParameterCovariance reported =
      reported_covariance(result.params, step.normal_inverse, problem.model);
  result.sigmax = result.sigma0 * reported.diagonal().array().sqrt();
  check_precision(result);
  set_gimbal_lock(step.normal_inverse, result);
}

}  // namespace

AdjustmentResult estimate_parameters(
    const PointMatrix& source, const PointMatrix& target,
    const std::function<void(const ParameterVector&)>& on_iteration,
    const AdjustmentOptions& options) {
  check_point_counts(source, target);
  check_finite(source, "source");
  check_finite(target, "target");
  const Problem problem{source, target, options.model, network_extent(source),
                        network_extent(target)};

  AdjustmentResult result;
  result.model = options.model;
  // The exact model starts from the closed-form solution, the small one from zero.
  result.params = options.model == RotationModel::exact ? closed_form_parameters(source, target)
                                                        : ParameterVector::Zero();
  Step step;
  iterate(problem, options.budget, on_iteration, result, step);
  result.normal_inverse = step.normal_inverse;
  if (result.converged) set_precision(problem, step, result);
  return result;
}

void check_normal_matrix(const Eigen::Matrix<double, 7, 7>& normal, const ParameterVector& params,
                         double source_extent) {
  check_rank(normal, reach_at(params, source_extent));
}

StoppingRule::StoppingRule(double source_extent, double target_extent)
    : source_extent_(source_extent), target_extent_(target_extent) {}

bool StoppingRule::converged(const ParameterVector& correction, const ParameterVector& params) {
  return has_converged(correction, reach_at(params, source_extent_), target_extent_,
                       previous_largest_);
}

void describe_gimbal_lock(AdjustmentResult& result) {
  set_gimbal_lock(result.normal_inverse, result);
}

}  // namespace helmert7
