// SPDX-License-Identifier: MIT
// The residuals as a surveyor reads them: north, east and up in metres in the
// target's local frame at each common point, with their horizontal and vertical RMS.
#include <cmath>
#include <optional>

#include "report/report.h"

namespace helmert7 {
namespace {

using geodesy::FormKind;

// A side lies where a local frame means something: it has a form, or its points
// lie near the Earth's surface.
bool on_earth(const geodesy::CoordinateForm& form, const PointMatrix& points) {
  return form.kind != FormKind::xyz || geodesy::near_earth_surface(points);
}

// The target's ellipsoid; GRS80 for geocentric x y z.
geodesy::Ellipsoid frame_ellipsoid(const geodesy::CoordinateForm& target) {
  return target.kind == FormKind::xyz ? geodesy::ellipsoid_named("grs80") : target.ellipsoid;
}

std::string rms_lines(const PointMatrix& local) {
  const double count = static_cast<double>(local.rows());
  const double horizontal = std::sqrt(local.leftCols<2>().squaredNorm() / count);
  const double vertical = std::sqrt(local.col(2).squaredNorm() / count);
  return "horizontal RMS sqrt(mean(vn^2 + ve^2)): " + format_fixed(horizontal, 4) +
         " m\nvertical RMS sqrt(mean(vu^2)): " + format_fixed(vertical, 4) + " m\n";
}

}  // namespace

std::optional<geodesy::Ellipsoid> local_frame_ellipsoid(const Network& network,
                                                        const geodesy::CoordinateForms& forms) {
  if (!on_earth(forms.source, network.source) || !on_earth(forms.target, network.target)) {
    return std::nullopt;
  }
  return frame_ellipsoid(forms.target);
}

std::string local_residual_section(const Network& network, const Fit& fit,
                                   const geodesy::CoordinateForms& forms) {
  const std::optional<geodesy::Ellipsoid> frame = local_frame_ellipsoid(network, forms);
  if (!frame) return "";
  const geodesy::Ellipsoid& ellipsoid = *frame;
  const PointMatrix local =
      geodesy::north_east_up_residuals(ellipsoid, network.target, fit.statistics.residuals);
  std::string text = "\n## Residuals in the target's local frame (m): north, east, up at each "
                     "target point on " + ellipsoid.name +
                     (forms.target.kind == FormKind::xyz
                          ? " (its x y z, near the Earth's surface, taken as geocentric)"
                          : "") +
                     "\n# point vn ve vu\n";
  for (Eigen::Index i = 0; i < local.rows(); ++i) {
    text += point_label(network, i);
    for (int c = 0; c < 3; ++c) text += " " + format_fixed(local(i, c), 4);
    text += '\n';
  }
  return text + rms_lines(local);
}

}  // namespace helmert7
