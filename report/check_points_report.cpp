// SPDX-License-Identifier: MIT
// The check points of --exclude as the adjustment report and the warnings tell of
// them: each misclosure in metres, its standard errors and the 3-D test, and in
// north, east, up where the residuals have that frame.
#include <cmath>

#include "report/report.h"

namespace helmert7 {
namespace {

// What the test's standard error is made of, by the kind of fit.
std::string test_line(const Fit& fit) {
  return std::string("test: |d| <= 3 s, s = sqrt(sX^2 + sY^2 + sZ^2) of d: the mapped point's "
                     "covariance from the parameters' plus the target point's own, ") +
         (fit.weighted ? "its a priori covariance (both at the a priori variance factor 1; "
                         "the source point's own is left out)\n"
                       : "sigma0^2 on each axis\n");
}

double error_3d(const Fit& fit, Eigen::Index i) { return fit.checks.errors.row(i).norm(); }

std::string misclosure_rows(const Network& network, const Fit& fit) {
  const CheckPointTest& test = fit.checks;
  std::string text = "# point dx dy dz sX sY sZ |d| 3s\n";
  for (Eigen::Index i = 0; i < test.misclosures.rows(); ++i) {
    text += network.checks.names[static_cast<std::size_t>(i)];
    for (int c = 0; c < 3; ++c) text += " " + format_fixed(test.misclosures(i, c), 4);
    for (int c = 0; c < 3; ++c) text += " " + format_fixed(test.errors(i, c), 4);
    text += " " + format_fixed(test.misclosures.row(i).norm(), 4) + " " +
            format_fixed(kCheckPointSigmas * error_3d(fit, i), 4);
    text += test.within[static_cast<std::size_t>(i)] ? "\n" : " outside\n";
  }
  return text;
}

std::string local_rows(const Network& network, const Fit& fit,
                       const geodesy::Ellipsoid& ellipsoid) {
  const PointMatrix& d = fit.checks.misclosures;
  Eigen::VectorXd interleaved(3 * d.rows());
  for (Eigen::Index i = 0; i < d.rows(); ++i) interleaved.segment<3>(3 * i) = d.row(i).transpose();
  const PointMatrix local =
      geodesy::north_east_up_residuals(ellipsoid, network.checks.target, interleaved);
  std::string text = "### in the target's local frame on " + ellipsoid.name +
                     " (m): north, east, up\n# point dn de du\n";
  for (Eigen::Index i = 0; i < local.rows(); ++i) {
    text += network.checks.names[static_cast<std::size_t>(i)];
    for (int c = 0; c < 3; ++c) text += " " + format_fixed(local(i, c), 4);
    text += '\n';
  }
  return text;
}

}  // namespace

std::string check_point_section(const Network& network, const Fit& fit,
                                const geodesy::CoordinateForms& forms) {
  if (network.checks.source.rows() == 0) return "";
  std::string text = "\n## Check points, left out of the fit: d = mapped source minus target (m)\n" +
                     test_line(fit) + misclosure_rows(network, fit);
  const std::optional<geodesy::Ellipsoid> frame = local_frame_ellipsoid(network, forms);
  return frame ? text + local_rows(network, fit, *frame) : text;
}

std::vector<std::string> check_point_warnings(const Network& network, const Fit& fit) {
  std::vector<std::string> warnings;
  const CheckPointTest& test = fit.checks;
  for (Eigen::Index i = 0; i < test.misclosures.rows(); ++i) {
    if (test.within[static_cast<std::size_t>(i)]) continue;
    warnings.push_back("check point " + in_quotes(network.checks.names[static_cast<std::size_t>(i)]) +
                       " misses its target by " + format_fixed(test.misclosures.row(i).norm(), 4) +
                       " m, more than 3 times its standard error " +
                       format_fixed(error_3d(fit, i), 4) + " m");
  }
  return warnings;
}

}  // namespace helmert7
