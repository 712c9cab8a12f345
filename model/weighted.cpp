// SPDX-License-Identifier: MIT
// The weighted adjustment: Gauss-Newton with the a priori covariances of the
// target points, and, with source covariances too, the Gauss-Helmert model that
// propagates them through the current rotation and scale at each iteration and
// linearises at the adjusted source points. With target covariances only the
// source residuals stay zero and the two are one iteration.
#include <Eigen/Cholesky>
#include <Eigen/LU>
#include <cmath>
#include <string>

#include "model/model.h"

namespace helmert7 {
namespace {

using NormalMatrix = Eigen::Matrix<double, 7, 7>;

constexpr double kSymmetryTolerance = 1e-12;

void check_covariances(const PointCovariances& blocks, Eigen::Index points, const char* role) {
  if (static_cast<Eigen::Index>(blocks.size()) != points)
    throw NumericError(std::string("the ") + role + " standard deviations are given for " +
                       std::to_string(blocks.size()) + " of " + std::to_string(points) +
                       " common points");
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const Eigen::Matrix3d& block = blocks[i];
    // Blocks turned into Cartesian axes are symmetric to rounding only.
    const double asymmetry = (block - block.transpose()).cwiseAbs().maxCoeff();
    const bool usable = block.allFinite() &&
                        asymmetry <= kSymmetryTolerance * block.cwiseAbs().maxCoeff() &&
                        Eigen::LLT<Eigen::Matrix3d>(block).info() == Eigen::Success;
    if (!usable)
      throw NumericError(std::string("the a priori covariance of ") + role + " point " +
                         std::to_string(i + 1) + " is not finite, symmetric and positive definite");
  }
}

// What one iteration reads: the observations, their covariances and the model.
struct Problem {
  const PointMatrix& source;
  const PointMatrix& target;
  const PointPrecision& precision;
  RotationModel model;
};

// A point's covariance M of its discrepancy at the current Jacobian.
Eigen::Matrix3d discrepancy_covariance(const Problem& problem, Eigen::Index i,
                                       const Eigen::Matrix3d& jacobian) {
  const auto at = static_cast<std::size_t>(i);
  Eigen::Matrix3d covariance = problem.precision.target[at];
  if (!problem.precision.source.empty())
    covariance.noalias() += jacobian * problem.precision.source[at] * jacobian.transpose();
  return covariance;
}

// The normal equations at `params`, linearised at the adjusted source points.
struct Linearisation {
  Eigen::Matrix3d jacobian;  // of the mapped point by the source point: the model's matrix
  Eigen::MatrixXd design;  // at the adjusted source points
  NormalMatrix normal = NormalMatrix::Zero();
  ParameterVector right = ParameterVector::Zero();  // A' M^-1 (X - f(x))
  Eigen::VectorXd misclosure;                       // X - f(x), interleaved
  PointCovariances weights;                         // M^-1
  double weighted_sum = 0;                          // misclosure' M^-1 misclosure
};

Linearisation linearise(const Problem& problem, const PointMatrix& adjusted_source,
                        const ParameterVector& params) {
  const Eigen::Index n = problem.source.rows();
  Linearisation l;
  l.jacobian = model_matrix(params, problem.model);
  fill_misclosure_vector(problem.source, problem.target, params, l.misclosure, problem.model);
  fill_design_matrix(adjusted_source, params, l.design, problem.model);
  l.weights.resize(static_cast<std::size_t>(n));
  for (Eigen::Index i = 0; i < n; ++i) {
    const Eigen::Matrix3d weight = discrepancy_covariance(problem, i, l.jacobian).inverse();
    const Eigen::Matrix<double, 3, 7> block = l.design.middleRows<3>(3 * i);
    const Eigen::Vector3d misclosure = l.misclosure.segment<3>(3 * i);
    const Eigen::Matrix<double, 7, 3> weighted_block = block.transpose() * weight;
    l.normal.noalias() += weighted_block * block;
    l.right.noalias() += weighted_block * misclosure;
    l.weighted_sum += misclosure.dot(weight * misclosure);
    l.weights[static_cast<std::size_t>(i)] = weight;
  }
  return l;
}

// The source residuals vS = Ss J' M^-1 e of the misclosures e that remain after
// the correction (in the linearised model); zero without source covariances.
PointMatrix source_residuals(const Problem& problem, const Linearisation& l,
                             const ParameterVector& correction) {
  const Eigen::Index n = problem.source.rows();
  PointMatrix residuals = PointMatrix::Zero(n, 3);
  if (problem.precision.source.empty()) return residuals;
  for (Eigen::Index i = 0; i < n; ++i) {
    const auto at = static_cast<std::size_t>(i);
    const Eigen::Vector3d remaining =
        l.misclosure.segment<3>(3 * i) - l.design.middleRows<3>(3 * i) * correction;
    residuals.row(i) =
        (problem.precision.source[at] * l.jacobian.transpose() * (l.weights[at] * remaining))
            .transpose();
  }
  return residuals;
}

// Gauss-Newton (Gauss-Helmert with source covariances) from result.params until
// converged or out of budget; `adjusted` holds the adjusted source points.
void iterate(const Problem& problem, int budget,
             const std::function<void(const ParameterVector&)>& on_iteration,
             WeightedAdjustment& out) {
  StoppingRule rule(network_extent(problem.source), network_extent(problem.target));
  AdjustmentResult& result = out.result;
  bool done = false;
  while (!done && result.iterations < budget) {
    ++result.iterations;
    const Linearisation l = linearise(problem, out.adjusted_source, result.params);
    if (result.iterations == 1)
      check_normal_matrix(l.normal, result.params, network_extent(problem.source));
    const ParameterVector correction = l.normal.inverse() * l.right;
    if (!correction.allFinite())
      throw NumericError("iteration " + std::to_string(result.iterations) +
                         " gave a non-finite correction; the weighted normal equations could"
                         " not be solved for these points");
    out.adjusted_source = problem.source + source_residuals(problem, l, correction);
    done = rule.converged(correction, result.params);
    result.params = corrected_parameters(result.params, correction, problem.model);
    if (on_iteration) on_iteration(result.params);
  }
  result.converged = done && result.iterations < budget;
}

// The residuals of both sides, v'Pv and the precision at the final parameters:
// with the discrepancy d = -e, vT = St M^-1 d and vS = -Ss J' M^-1 d.
void set_weighted_precision(const Problem& problem, WeightedAdjustment& out) {
  AdjustmentResult& result = out.result;
  const Linearisation l = linearise(problem, out.adjusted_source, result.params);
  const Eigen::Index n = problem.source.rows();
  out.discrepancies = -l.misclosure;
  out.target_residuals.resize(n, 3);
  out.source_residuals = PointMatrix::Zero(n, 3);
  for (Eigen::Index i = 0; i < n; ++i) {
    const auto at = static_cast<std::size_t>(i);
    const Eigen::Vector3d weighted = l.weights[at] * out.discrepancies.segment<3>(3 * i);
    out.target_residuals.row(i) = (problem.precision.target[at] * weighted).transpose();
    if (!problem.precision.source.empty())
      out.source_residuals.row(i) =
          -(problem.precision.source[at] * l.jacobian.transpose() * weighted).transpose();
  }
  out.weights = l.weights;
  out.weighted_sum = l.weighted_sum;
  result.normal_inverse = l.normal.inverse();
  result.sigma0 = std::sqrt(l.weighted_sum / static_cast<double>(redundancy(n)));
  result.sigmax =
      result.sigma0 * reported_covariance(result.params, result.normal_inverse, problem.model)
                          .diagonal()
                          .array()
                          .sqrt();
  if (!std::isfinite(result.sigma0) || !result.sigmax.allFinite() || !result.params.allFinite())
    throw NumericError(
        "the weighted adjustment converged but its parameters or standard errors are not"
        " finite; check the common points and their standard deviations");
  describe_gimbal_lock(result);
}

}  // namespace

WeightedAdjustment estimate_weighted(
    const PointMatrix& source, const PointMatrix& target, const PointPrecision& precision,
    const AdjustmentOptions& options,
    const std::function<void(const ParameterVector&)>& on_iteration) {
  check_point_counts(source, target);
  check_finite(source, "source");
  check_finite(target, "target");
  check_covariances(precision.target, source.rows(), "target");
  if (!precision.source.empty()) check_covariances(precision.source, source.rows(), "source");
  const Problem problem{source, target, precision, options.model};
  WeightedAdjustment out;
  out.result.model = options.model;
  out.result.params = options.model == RotationModel::exact ? closed_form_parameters(source, target)
                                                            : ParameterVector::Zero();
  out.adjusted_source = source;
  out.source_errors = !precision.source.empty();
  iterate(problem, options.budget, on_iteration, out);
  if (out.result.converged) set_weighted_precision(problem, out);
  return out;
}

}  // namespace helmert7
