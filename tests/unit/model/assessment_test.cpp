// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model_test_support.h"

namespace helmert7 {
namespace {

// A network as the run forms it from points given as they are (not centred).
Network network_of(const PointMatrix& source, const PointMatrix& target) {
  Network network;
  network.source = source;
  network.target = target;
  network.ave_src = source.colwise().mean();
  network.ave_tar = target.colwise().mean();
  network.centred_source = source.rowwise() - network.ave_src;
  network.centred_target = target.rowwise() - network.ave_tar;
  return network;
}

Fit fit_of(const Network& network, RotationModel model,
           const PointMatrix& test_points = PointMatrix(0, 3)) {
  AdjustmentOptions options;
  options.model = model;
  return assess_fit(network,
                    estimate_parameters(network.centred_source, network.centred_target, {}, options),
                    {test_points});
}

ParameterVector rotation_about_z(double radians, double ppm = 0) {
  ParameterVector params;
  params << 30, -20, 10, 0, 0, radians, ppm * 1e-6;
  return params;
}

// The message of check_plausible's refusal, or "" when it accepts the fit.
std::string refusal_of(const Network& network, const Fit& fit) {
  try {
    check_plausible(network, fit);
    return "";
  } catch (const NumericError& e) {
    return e.what();
  }
}

// Which fits are plainly wrong: a small-angle fit far from the exact similarity,
// points that do not belong together; and which are only worth a warning or sound.
TEST(CheckPlausible, RefusesOnlyPlainlyWrongFits) {
  const struct {
    const char* name;
    double extent, rotation, noise;
    RotationModel model;
    bool shuffled;
    const char* refusal;  // "" when accepted
  } cases[] = {
      {"135 degrees, small model", 1000, 2.356, 0.005, RotationModel::small, false,
       "run with --rotation exact"},
      {"135 degrees, exact model", 1000, 2.356, 0.005, RotationModel::exact, false, ""},
      {"1 degree over 1 km without noise", 1000, 0.01745, 0, RotationModel::small, false,
       "the small-angle model cannot fit these points"},
      {"10 arc-seconds over 1000 km without noise", 1e6, 10 * test::kArcSecond, 0,
       RotationModel::small, false, ""},
      {"20 arc-minutes over 1 km, 5 mm noise", 1000, 1200 * test::kArcSecond, 0.005,
       RotationModel::small, false, ""},
      {"points paired wrongly", 1e5, 1e-5, 0.005, RotationModel::small, true,
       "paired by position"},
      {"points paired wrongly, exact model", 1e5, 1e-5, 0.005, RotationModel::exact, true,
       "do not belong together"},
  };
  for (const auto& c : cases) {
    test::Gauss gauss(5);
    const PointMatrix source = test::random_network(12, c.extent, gauss);
    PointMatrix target =
        test::noisy_images(source, rotation_about_z(c.rotation), RotationModel::exact, c.noise, gauss);
    if (c.shuffled) target.row(0).swap(target.row(7)), target.row(3).swap(target.row(9));
    const Network network = network_of(source, target);
    const std::string refusal = refusal_of(network, fit_of(network, c.model));
    if (std::string(c.refusal).empty()) {
      EXPECT_EQ(refusal, "") << c.name;
    } else {
      EXPECT_NE(refusal.find(c.refusal), std::string::npos) << c.name << ": " << refusal;
    }
  }
}

// Points made by the small-angle model itself fit it better than the exact
// similarity: the difference between the two is then no error of the small model.
TEST(CheckPlausible, AcceptsPointsMadeByTheSmallModel) {
  test::Gauss gauss(7);
  const PointMatrix source = test::random_network(10, 1000, gauss);
  const PointMatrix target =
      test::noisy_images(source, rotation_about_z(0.01745), RotationModel::small, 0, gauss);
  const Network network = network_of(source, target);
  const Fit fit = fit_of(network, RotationModel::small);
  EXPECT_FALSE(fit.assessment.small_model_worse);
  EXPECT_GT(fit.assessment.model_error, 1e-3);
  EXPECT_EQ(refusal_of(network, fit), "");
}

// The model error is the small mapping minus the exact one, at the points: compare
// with the two mappings applied point by point.
TEST(Assessment, ModelErrorIsTheLargestDifferenceOfTheTwoMappings) {
  test::Gauss gauss(9);
  const PointMatrix source = test::random_network(10, 2000, gauss);
  const PointMatrix target = test::noisy_images(source, rotation_about_z(0.01, 20),
                                                RotationModel::exact, 0.002, gauss);
  const Network network = network_of(source, target);
  const Fit fit = fit_of(network, RotationModel::small);
  const FitAssessment& a = fit.assessment;
  double largest = 0;
  for (Eigen::Index i = 0; i < source.rows(); ++i) {
    const Eigen::RowVector3d p = network.centred_source.row(i);
    const Eigen::RowVector3d small = transform_point(p(0), p(1), p(2), fit.result.params);
    const Eigen::RowVector3d exact = exact_transform_point(p.transpose(), a.exact_params);
    largest = std::max(largest, (small - exact).norm());
  }
  EXPECT_NEAR(a.model_error, largest, 1e-12 * largest);
  EXPECT_GT(a.model_error, 0.01 * 0.01 * 1000 / 2 * 0.5);  // about |w|^2 d / 2
  EXPECT_NEAR(a.exact_sigma0, 0.002, 0.001);
}

TEST(Assessment, NoiseFreePointsFitToRoundingAndTestNothing) {
  test::Gauss gauss(3);
  const Eigen::RowVector3d far_away(4e6, 1e6, 4.7e6);
  const PointMatrix source = test::random_network(9, 1e5, gauss).rowwise() + far_away;
  PointMatrix target =
      test::noisy_images(source, rotation_about_z(3e-6, 4), RotationModel::exact, 0, gauss);
  target = target.rowwise() + far_away;
  const Fit clean = fit_of(network_of(source, target), RotationModel::exact);
  EXPECT_TRUE(clean.assessment.fits_to_rounding) << clean.result.sigma0;
  EXPECT_TRUE(clean.statistics.outliers.empty());

  target(4, 0) += 0.001;  // one millimetre is no rounding
  const Fit blundered = fit_of(network_of(source, target), RotationModel::exact);
  EXPECT_FALSE(blundered.assessment.fits_to_rounding);
}

// Every point over tau is named, not only the worst.
TEST(Assessment, NamesEveryPointOverTau) {
  test::Gauss gauss(17);
  const PointMatrix source = test::random_network(14, 5000, gauss);
  PointMatrix target =
      test::noisy_images(source, rotation_about_z(1e-5, 3), RotationModel::small, 0.005, gauss);
  target(2, 0) += 0.10;
  target(9, 2) -= 0.10;
  const Fit fit = fit_of(network_of(source, target), RotationModel::small);
  EXPECT_EQ(fit.statistics.outliers, (std::vector<Eigen::Index>{2, 9}));
}

// The shape of the network: spreads along its principal axes, and the rotation
// axis with the largest variance lies along the longest spread of a flat network.
TEST(Assessment, ShapeOfANearlyCollinearNetwork) {
  test::Gauss gauss(21);
  PointMatrix source(8, 3);
  for (int i = 0; i < 8; ++i) source.row(i) << 200.0 * i, gauss(1.0), gauss(1.0);
  const PointMatrix target =
      test::noisy_images(source, rotation_about_z(1e-5), RotationModel::small, 0.01, gauss);
  const Fit fit = fit_of(network_of(source, target), RotationModel::small);
  const FitAssessment& a = fit.assessment;
  EXPECT_GT(a.spreads(0), 100 * a.spreads(1));
  EXPECT_GT(std::fabs(a.weakest_axis(0)), 0.99) << a.weakest_axis.transpose();
}

// The quadratic form of the position variance equals the trace of the propagated
// covariance A C A' at any point, for both models.
TEST(PositionVariance, EqualsTheTraceOfTheMappedPointCovariance) {
  test::Gauss gauss(13);
  for (const RotationModel model : {RotationModel::small, RotationModel::exact}) {
    const PointMatrix source = test::random_network(9, 3000, gauss);
    const PointMatrix target =
        test::noisy_images(source, rotation_about_z(0.3, 15), RotationModel::exact, 0.01, gauss);
    const Fit fit = fit_of(network_of(source, target), model);
    const PositionVariance variance =
        position_variance(fit.mapping, fit.statistics.covariance, MappingDirection::forward);
    for (int k = 0; k < 20; ++k) {
      const Eigen::RowVector3d p(gauss(1e4), gauss(1e4), gauss(1e4));
      const double expected =
          mapped_point_covariance(p, fit.mapping.params, fit.statistics.covariance, model).trace();
      EXPECT_NEAR(variance.at(p), expected, 1e-10 * expected);
    }
  }
}

TEST(ErrorSpread, LargestMedianSmallestAndTheWorstPoint) {
  const struct {
    std::vector<float> errors;
    double largest, median, smallest;
    std::ptrdiff_t worst;
  } cases[] = {
      {{3, 1, 2}, 3, 2, 1, 0},
      {{1, 4, 2, 3}, 4, 2.5, 1, 1},
      {{5}, 5, 5, 5, 0},
  };
  for (const auto& c : cases) {
    const ErrorSpread spread = spread_of(c.errors);
    EXPECT_EQ(spread.largest, c.largest);
    EXPECT_EQ(spread.median, c.median);
    EXPECT_EQ(spread.smallest, c.smallest);
    EXPECT_EQ(spread.worst, c.worst);
  }
  EXPECT_EQ(spread_of({}).worst, -1);
}

// x, y, z triples in point order, as a streamed chunk holds them.
std::vector<double> triples_of(const PointMatrix& points) {
  std::vector<double> xyz;
  for (Eigen::Index i = 0; i < points.rows(); ++i) {
    xyz.insert(xyz.end(), {points(i, 0), points(i, 1), points(i, 2)});
  }
  return xyz;
}

// The survey of streamed points agrees with the errors and the model error
// computed for the same points given whole.
TEST(TestPointSurvey, AgreesWithThePointsGivenWhole) {
  test::Gauss gauss(29);
  const PointMatrix source = test::random_network(10, 1000, gauss);
  const PointMatrix target =
      test::noisy_images(source, rotation_about_z(0.002, 5), RotationModel::exact, 0.003, gauss);
  const PointMatrix test_points = test::random_network(25, 20000, gauss);
  const Fit fit = fit_of(network_of(source, target), RotationModel::small, test_points);
  TestPointSurvey survey(fit, MappingDirection::forward);
  const std::vector<double> xyz = triples_of(test_points);
  survey.add(xyz.data(), 10);
  survey.add(xyz.data() + 30, 15);
  EXPECT_NEAR(survey.model_error(), fit.assessment.test_model_error,
              1e-9 * fit.assessment.test_model_error);
  ASSERT_EQ(survey.errors().size(), 25u);
  EXPECT_EQ(survey.worst(), spread_of(survey.errors()).worst);
  for (Eigen::Index i = 0; i < test_points.rows(); ++i) {
    const double expected = fit.statistics.prediction_errors.row(i).norm();
    EXPECT_NEAR(survey.errors()[static_cast<std::size_t>(i)], expected, 1e-6 * expected);
  }
}

// The errors of x = f^-1(X, p) by central differences in the (correction)
// parameters, at each target point X: sX, sY, sZ per row.
PointMatrix errors_of_the_mapping_back(const CentredTransformation& mapping,
                                       const ParameterCovariance& covariance,
                                       const PointMatrix& found) {
  PointMatrix errors(found.rows(), 3);
  for (Eigen::Index i = 0; i < found.rows(); ++i) {
    Eigen::Matrix<double, 3, 7> jacobian;
    for (int k = 0; k < 7; ++k) {
      const double step = k < 3 ? 1.0 : k < 6 ? 1e-6 : 1e-6 * (1.0 + mapping.params(6));
      CentredTransformation plus = mapping, minus = mapping;
      plus.params = corrected_parameters(mapping.params, step * ParameterVector::Unit(k),
                                         mapping.model);
      minus.params = corrected_parameters(mapping.params, -step * ParameterVector::Unit(k),
                                          mapping.model);
      jacobian.col(k) = (map_points_back(plus, found.row(i)) -
                         map_points_back(minus, found.row(i))).transpose() / (2.0 * step);
    }
    errors.row(i) = (jacobian * covariance * jacobian.transpose()).diagonal().cwiseSqrt();
  }
  return errors;
}

// Points found by mapping target points back carry the errors of the mapping
// back, not those of the forward mapping at the points found: with a large
// rotation or a scale far from 1 (here millimetres into metres, and a turn of
// about 2.4 rad) the two differ by far. The streamed survey agrees in both
// directions, the exact model's included.
TEST(PredictionErrors, PointsMappedBackCarryTheErrorsOfTheMappingBack) {
  const struct {
    RotationModel model;
    ParameterVector truth;
  } cases[] = {
      {RotationModel::small, test::params_of(0.03, -0.02, 0.01, 0.001, -0.002, 0.0015, -0.999)},
      {RotationModel::exact, test::params_of(30, -20, 10, 0.4, 1.1, 2.0, 3.0)},
  };
  test::Gauss gauss(31);
  for (const auto& c : cases) {
    const double scale = 1.0 + c.truth(6);
    const PointMatrix source = test::random_network(9, 1000, gauss);
    const Network network =
        network_of(source, test::noisy_images(source, c.truth, c.model, 1e-3 * scale, gauss));
    AdjustmentOptions options;
    options.model = c.model;
    const AdjustmentResult result =
        estimate_parameters(network.centred_source, network.centred_target, {}, options);
    const CentredTransformation mapping{result.params, network.ave_src, network.ave_tar, c.model};
    const PointMatrix found = test::random_network(6, 3000 * scale, gauss);
    const PointMatrix back = map_points_back(mapping, found);

    const Fit fit = assess_fit(network, result, {back, MappingDirection::back});
    const PointMatrix expected =
        errors_of_the_mapping_back(mapping, parameter_covariance(result), found);
    const PointMatrix forward = assess_fit(network, result, {back}).statistics.prediction_errors;
    const std::vector<double> xyz = triples_of(back);
    for (const MappingDirection direction : {MappingDirection::forward, MappingDirection::back}) {
      const bool is_back = direction == MappingDirection::back;
      TestPointSurvey survey(fit, direction);
      survey.add(xyz.data(), found.rows());
      for (Eigen::Index i = 0; i < found.rows(); ++i) {
        const double whole = (is_back ? fit.statistics.prediction_errors : forward).row(i).norm();
        EXPECT_NEAR(survey.errors()[static_cast<std::size_t>(i)], whole, 1e-6 * whole);
      }
    }
    for (Eigen::Index i = 0; i < found.rows(); ++i) {
      for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(fit.statistics.prediction_errors(i, k), expected(i, k),
                    1e-6 * expected.row(i).norm())
            << "point " << i << " axis " << k;
      }
      EXPECT_GT((forward.row(i) - expected.row(i)).norm(), 0.1 * expected.row(i).norm());
    }
  }
}

}  // namespace
}  // namespace helmert7
