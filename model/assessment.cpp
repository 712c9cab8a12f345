// SPDX-License-Identifier: MIT
// How far a fit can be trusted: its residuals against the rounding of the
// coordinates, the small-angle model against the exact similarity of the same
// points, the shape of the network, and the refusal of fits that are plainly
// wrong. Also the standard errors of test points mapped a chunk at a time.
#include <Eigen/Eigenvalues>
#include <Eigen/SVD>
#include <cmath>
#include <limits>

#include "model/model.h"

namespace helmert7 {
namespace {

constexpr double kRoundingUlps = 64.0;
// A model error below this share of the network's extent is no reason to refuse.
constexpr double kNegligibleShare = 1e-6;

double largest_magnitude(const Network& network) {
  return std::max(network.source.cwiseAbs().maxCoeff(), network.target.cwiseAbs().maxCoeff());
}

// The linear part of a mapping of centred points as a matrix acting on rows.
Eigen::Matrix3d linear_part(const ParameterVector& params, RotationModel model) {
  const Eigen::RowVector3d origin = transform_point(0, 0, 0, params, model);
  Eigen::Matrix3d rows;
  for (int k = 0; k < 3; ++k) {
    const Eigen::Vector3d e = Eigen::Vector3d::Unit(k);
    rows.row(k) = transform_point(e(0), e(1), e(2), params, model) - origin;
  }
  return rows;
}

double exact_sigma0(const Network& network, const ParameterVector& params) {
  double sum = 0.0;
  for (Eigen::Index i = 0; i < network.centred_source.rows(); ++i) {
    const Eigen::Vector3d p = network.centred_source.row(i).transpose();
    sum += (exact_transform_point(p, params) - network.centred_target.row(i)).squaredNorm();
  }
  return std::sqrt(sum / static_cast<double>(redundancy(network.centred_source.rows())));
}

double largest_difference(const FitAssessment& a, const PointMatrix& centred) {
  if (centred.rows() == 0) return 0.0;
  return ((centred * a.difference).rowwise() + a.offset).rowwise().stableNorm().maxCoeff();
}

// The small-angle fit against the exact similarity of the same points.
void compare_with_exact(const Network& network, const Fit& fit, const PointMatrix& test_points,
                        FitAssessment& a) {
  if (fit.mapping.model == RotationModel::exact) {
    a.exact_params = fit.result.params;
    a.exact_sigma0 = fit.result.sigma0;
    return;
  }
  a.exact_params = closed_form_parameters(network.centred_source, network.centred_target);
  a.exact_sigma0 = exact_sigma0(network, a.exact_params);
  a.difference = linear_part(fit.result.params, RotationModel::small) -
                 linear_part(a.exact_params, RotationModel::exact);
  a.offset = transform_point(0, 0, 0, fit.result.params, RotationModel::small) -
             transform_point(0, 0, 0, a.exact_params, RotationModel::exact);
  const PointMatrix centred_test = test_points.rowwise() - network.ave_src;
  a.small_model_worse = fit.result.sigma0 > a.exact_sigma0;
  a.model_error = largest_difference(a, network.centred_source);
  a.test_model_error = largest_difference(a, centred_test);
}

// The spreads of the network and the axis of its least determined rotation.
void describe_shape(const Network& network, const Fit& fit, FitAssessment& a) {
  const double n = static_cast<double>(network.centred_source.rows());
  a.spreads =
      Eigen::JacobiSVD<Eigen::MatrixXd>(network.centred_source / std::sqrt(n)).singularValues();
  const Eigen::Matrix3d angles = fit.statistics.covariance.block<3, 3>(3, 3);
  if (!angles.allFinite()) return;
  const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> solver(angles);
  a.weakest_axis = solver.eigenvectors().col(2);  // eigenvalues ascend
  if (a.weakest_axis.cwiseAbs().maxCoeff() != a.weakest_axis.maxCoeff()) a.weakest_axis *= -1.0;
}

// The length of a vector, without overflow for far points, and fast for the others.
double norm_of(const Eigen::RowVector3d& v) {
  const double norm = v.norm();
  return std::isfinite(norm) ? norm : v.stableNorm();
}

constexpr double kDegreesPerRadian = 57.295779513082320876;

// The angle of a rotation matrix, without the loss of acos near 0 and 180 degrees.
double rotation_angle(const Eigen::Matrix3d& r) {
  const Eigen::Vector3d axis(r(2, 1) - r(1, 2), r(0, 2) - r(2, 0), r(1, 0) - r(0, 1));
  return std::atan2(axis.norm() / 2.0, (r.trace() - 1.0) / 2.0);
}

std::string shown(double value) { return format_shortest(value); }

[[noreturn]] void refuse_unrelated(const Network& network, double sigma0, double extent) {
  const std::string pairing =
      network.pairing.by_name
          ? "they were paired by name: check that each name marks the same point in both files"
          : "they were paired by position (the i-th source point with the i-th target point): "
            "check that both lists hold the same points in the same order, or give both as "
            "named point files (@file) to pair them by name";
  throw NumericError("the source and target points do not belong together: sigma0 is " +
                     shown(sigma0) + ", " + format_fixed(100.0 * sigma0 / extent, 1) +
                     "% of the network's extent " + shown(extent) +
                     " (coordinate units), even for the exact similarity; " + pairing);
}

[[noreturn]] void refuse_small_angle(const Fit& fit) {
  const FitAssessment& a = fit.assessment;
  const double degrees = rotation_angle(rotation_matrix(a.exact_params)) * kDegreesPerRadian;
  const std::string why =
      1.0 + fit.result.params(6) <= 0.0
          ? "gives the scale factor 1 + m = " + shown(1.0 + fit.result.params(6)) + ", not positive"
          : "maps the points up to " + shown(a.model_error) +
                " coordinate units from the exact similarity, " +
                format_fixed(a.model_error / a.noise(), 0) + " times the noise (sigma0 " +
                shown(a.exact_sigma0) + " of the exact fit)";
  throw NumericError("the small-angle model cannot fit these points: it " + why +
                     "; the rotation of " + format_fixed(degrees, 3) +
                     " degrees is too large for it: run with --rotation exact");
}

}  // namespace

double FitAssessment::noise_within(double distance) const {
  return std::max(noise(), kRoundingUlps * std::numeric_limits<double>::epsilon() * distance);
}

Fit assess_fit(const Network& network, const AdjustmentResult& result,
               const TestPoints& test) {
  Fit fit;
  fit.result = result;
  fit.mapping = {result.params, network.ave_src, network.ave_tar, result.model};
  fit.statistics =
      fit_statistics(result, fit.mapping, network.centred_source,
                     mapped_residuals(fit.mapping, network.source, network.target), test);
  FitAssessment& a = fit.assessment;
  a.rounding_floor =
      kRoundingUlps * std::numeric_limits<double>::epsilon() * largest_magnitude(network);
  a.fits_to_rounding = result.sigma0 <= a.rounding_floor;
  if (a.fits_to_rounding) fit.statistics.outliers.clear();  // the residuals are rounding
  a.target_extent = network_extent(network.centred_target);
  compare_with_exact(network, fit, test.points, a);
  describe_shape(network, fit, a);
  return fit;
}

void check_plausible(const Network& network, const Fit& fit) {
  const FitAssessment& a = fit.assessment;
  const double fit_sigma0 = fit.weighted ? fit.weighted->residual_rms : fit.result.sigma0;
  const double best_sigma0 = std::min(fit_sigma0, a.exact_sigma0);
  if (best_sigma0 > kUnrelatedShare * a.target_extent) {
    refuse_unrelated(network, best_sigma0, a.target_extent);
  }
  if (fit.mapping.model != RotationModel::small) return;
  const bool far_beyond_noise = a.small_model_worse &&
                                a.model_error > kModelErrorRefusal * a.noise() &&
                                a.model_error > kNegligibleShare * a.target_extent;
  if (1.0 + fit.result.params(6) <= 0.0 || far_beyond_noise) refuse_small_angle(fit);
}

PositionVariance position_variance(const CentredTransformation& mapping,
                                   const ParameterCovariance& covariance,
                                   MappingDirection direction) {
  // The design block is [I | L(p)], L linear in p: L(p) = sum p_k G_k; the
  // variance is the trace of T A C A' T', T the error turn, that is of W A C A'
  // with W = T' T.
  const Eigen::Matrix3d turn = error_turn(mapping, direction);
  const Eigen::Matrix3d w = turn.transpose() * turn;
  Eigen::Matrix<double, 3, 4> g[3];
  for (int k = 0; k < 3; ++k) {
    const Eigen::Vector3d e = Eigen::Vector3d::Unit(k);
    g[k] = design_block(e(0), e(1), e(2), mapping.params, mapping.model).rightCols<4>();
  }
  const Eigen::Matrix<double, 4, 3> angles_translations = covariance.block<4, 3>(3, 0);
  const Eigen::Matrix4d angles = covariance.block<4, 4>(3, 3);
  PositionVariance variance;
  variance.constant = (w * covariance.block<3, 3>(0, 0)).trace();
  for (int k = 0; k < 3; ++k) {
    variance.linear(k) = 2.0 * (w * g[k] * angles_translations).trace();
    for (int l = 0; l < 3; ++l)
      variance.quadratic(k, l) = (w * g[k] * angles * g[l].transpose()).trace();
  }
  return variance;
}

// In the correction parameters, as the design blocks are (not the reported angles').
TestPointSurvey::TestPointSurvey(const Fit& fit, MappingDirection direction)
    : fit_(fit),
      variance_(position_variance(fit.mapping, parameter_covariance(fit.result), direction)) {}

void TestPointSurvey::add(const double* xyz, std::size_t points) {
  const FitAssessment& a = fit_.assessment;
  for (std::size_t i = 0; i < points; ++i) {
    const Eigen::RowVector3d p =
        Eigen::RowVector3d(xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]) - fit_.mapping.ave_src;
    farthest_ = std::max(farthest_, norm_of(p));
    model_error_ = std::max(model_error_, norm_of(p * a.difference + a.offset));
    errors_.push_back(static_cast<float>(std::sqrt(std::max(variance_.at(p), 0.0))));
    if (worst_ < 0 || errors_.back() > errors_[static_cast<std::size_t>(worst_)]) {
      worst_ = static_cast<std::ptrdiff_t>(errors_.size()) - 1;
    }
  }
}

ErrorSpread spread_of(std::vector<float> errors) {
  ErrorSpread spread;
  if (errors.empty()) return spread;
  const auto largest = std::max_element(errors.begin(), errors.end());
  spread.worst = largest - errors.begin();
  spread.largest = *largest;
  spread.smallest = *std::min_element(errors.begin(), errors.end());
  const auto middle = errors.begin() + static_cast<std::ptrdiff_t>(errors.size() / 2);
  std::nth_element(errors.begin(), middle, errors.end());
  spread.median = *middle;
  if (errors.size() % 2 == 0) {  // the mean of the two middle values
    spread.median = (spread.median + *std::max_element(errors.begin(), middle)) / 2.0;
  }
  return spread;
}

}  // namespace helmert7
