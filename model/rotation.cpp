// SPDX-License-Identifier: MIT
// The exact rotation: the matrix of three angles in the coordinate-frame
// convention, R = Rz(ez) Ry(ey) Rx(ex), built as PROJ's helmert +exact builds it;
// the exact adjustment corrects R by a small turn of the frame after it, so that
// every rotation is reached, and turns R into angles only to report them. Here
// too: the derivative by that turn, the angles of a given matrix and their
// derivative, and the closed-form similarity (Umeyama) from which it starts.
#include <Eigen/Geometry>
#include <cmath>

#include "model/model.h"

namespace helmert7 {
namespace {

enum : int { kEx = 3, kEy = 4, kEz = 5, kM = 6 };

// The coordinate-frame rotations about one axis: the frame turns, the point stays.
Eigen::Matrix3d about_x(double a) {
  Eigen::Matrix3d r;
  r << 1, 0, 0, 0, std::cos(a), std::sin(a), 0, -std::sin(a), std::cos(a);
  return r;
}

Eigen::Matrix3d about_y(double a) {
  Eigen::Matrix3d r;
  r << std::cos(a), 0, -std::sin(a), 0, 1, 0, std::sin(a), 0, std::cos(a);
  return r;
}

Eigen::Matrix3d about_z(double a) {
  Eigen::Matrix3d r;
  r << std::cos(a), std::sin(a), 0, -std::sin(a), std::cos(a), 0, 0, 0, 1;
  return r;
}

// A small turn `delta` of the coordinate frame, exp(-[delta]x), exactly: to first
// order I - [delta]x, the small model's matrix.
Eigen::Matrix3d frame_turn(const Eigen::Vector3d& delta) {
  const double angle = delta.norm();
  if (angle == 0.0) return Eigen::Matrix3d::Identity();
  return Eigen::AngleAxisd(-angle, delta / angle).toRotationMatrix();
}

// cos(ey) of a rotation matrix, from the two elements that hold it with ex.
double cos_ey(const Eigen::Matrix3d& r) { return std::hypot(r(2, 1), r(2, 2)); }

}  // namespace

Eigen::Matrix3d rotation_matrix(const ParameterVector& params) {
  return about_z(params(kEz)) * about_y(params(kEy)) * about_x(params(kEx));
}

Eigen::Vector3d rotation_angles(const Eigen::Matrix3d& r) {
  // r(2, 0) = sin(ey); r(2, 1) = -cos(ey) sin(ex), r(2, 2) = cos(ey) cos(ex). ex
  // comes from the last row; ez from r Rx(ex)' = Rz(ez) Ry(ey), whose elements
  // (0, 1) and (1, 1) are sin(ez) and cos(ez) whatever ey is, so that the angles
  // give r back to rounding even where ex itself is poorly determined. ey by
  // atan2 keeps its digits near +-90 degrees, where asin would lose half of them.
  const double c = cos_ey(r);
  const double ex = c > kGimbalLockFloor ? std::atan2(-r(2, 1), r(2, 2)) : 0.0;
  const double cx = std::cos(ex), sx = std::sin(ex);
  const double ez = std::atan2(r(0, 1) * cx + r(0, 2) * sx, r(1, 1) * cx + r(1, 2) * sx);
  return {ex, std::atan2(r(2, 0), c), ez};
}

double gimbal_lock_margin(const ParameterVector& params) {
  const Eigen::Matrix3d r = rotation_matrix(params);
  return std::atan2(cos_ey(r), std::fabs(r(2, 0)));
}

Eigen::Matrix3d angle_jacobian(const Eigen::Matrix3d& rotation) {
  // A turn d of the frame after R changes the angles by J d: d = G (dex, dey, dez)
  // with the columns of G the axes Rz Ry e_x, Rz e_y, e_z; J = G^-1. Where cos(ey)
  // vanishes ex is held at zero and ez carries the turn about the shared axis.
  const Eigen::Vector3d angles = rotation_angles(rotation);
  const double sy = rotation(2, 0), cy = cos_ey(rotation);
  const double cz = std::cos(angles(2)), sz = std::sin(angles(2));
  Eigen::Matrix3d jacobian;
  if (cy > kGimbalLockFloor) {
    jacobian << cz / cy, -sz / cy, 0, sz, cz, 0, -sy * cz / cy, sy * sz / cy, 1;
  } else {
    jacobian << 0, 0, 0, sz, cz, 0, 0, 0, 1;
  }
  return jacobian;
}

Eigen::Vector3d shared_angle_gradient(const Eigen::Matrix3d& rotation) {
  // The ez row of angle_jacobian plus the ex row times the sign s of sin(ey):
  // (1 - |sin ey|) / cos(ey) = cos(ey) / (1 + |sin ey|), without 0 / 0.
  const double sy = rotation(2, 0), cy = cos_ey(rotation);
  const double side = sy < 0 ? -1.0 : 1.0;
  const double ez = rotation_angles(rotation)(2);
  const double factor = cy / (1.0 + std::fabs(sy));
  return {side * std::cos(ez) * factor, -side * std::sin(ez) * factor, 1.0};
}

Eigen::RowVector3d exact_transform_point(const Eigen::Vector3d& point,
                                         const ParameterVector& params) {
  return (params.head<3>() + (1.0 + params(kM)) * (rotation_matrix(params) * point)).transpose();
}

Eigen::Matrix<double, 3, 7> exact_design_block(const Eigen::Vector3d& point,
                                               const ParameterVector& params) {
  // k Rturn(d) R x with Rturn(d) = I - [d]x to first order: the derivative by d is
  // k [R x]x, the small model's angle columns at the turned point.
  const double k = 1.0 + params(kM);
  const Eigen::Vector3d turned = rotation_matrix(params) * point;
  Eigen::Matrix<double, 3, 7> block;
  block.leftCols<3>().setIdentity();
  block.col(kEx) << 0, k * turned(2), -k * turned(1);
  block.col(kEy) << -k * turned(2), 0, k * turned(0);
  block.col(kEz) << k * turned(1), -k * turned(0), 0;
  block.col(kM) = turned;
  return block;
}

ParameterVector corrected_parameters(const ParameterVector& params,
                                     const ParameterVector& correction, RotationModel model) {
  if (model == RotationModel::small) return params + correction;
  ParameterVector corrected = params + correction;
  corrected.segment<3>(kEx) =
      rotation_angles(frame_turn(correction.segment<3>(kEx)) * rotation_matrix(params));
  return corrected;
}

ParameterCovariance reported_covariance(const ParameterVector& params,
                                        const ParameterCovariance& covariance,
                                        RotationModel model) {
  if (model == RotationModel::small) return covariance;
  Eigen::Matrix<double, 7, 7> jacobian = Eigen::Matrix<double, 7, 7>::Identity();
  jacobian.block<3, 3>(kEx, kEx) = angle_jacobian(rotation_matrix(params));
  return jacobian * covariance * jacobian.transpose();
}

ParameterVector closed_form_parameters(const PointMatrix& source, const PointMatrix& target) {
  // Umeyama's least-squares similarity: target ~ c R source + t, points as columns.
  const Eigen::Matrix4d similarity =
      Eigen::umeyama(source.transpose(), target.transpose(), true);
  const Eigen::Matrix3d scaled_rotation = similarity.topLeftCorner<3, 3>();
  const double scale = std::cbrt(scaled_rotation.determinant());
  ParameterVector params;
  params.head<3>() = similarity.topRightCorner<3, 1>();
  params.segment<3>(3) = rotation_angles(scaled_rotation / scale);
  params(kM) = scale - 1.0;
  return params;
}

ParameterVector position_vector_parameters(const ParameterVector& params, RotationModel model) {
  ParameterVector converted = params;
  if (model == RotationModel::small) {
    converted.segment<3>(3) = -params.segment<3>(3);
  } else {
    // PROJ applies the transposed matrix of the angles in the position-vector
    // convention: the angles whose matrix is the transpose of ours.
    converted.segment<3>(3) = rotation_angles(rotation_matrix(params).transpose());
  }
  return converted;
}

ParameterVector position_vector_errors(const ParameterVector& params,
                                       const ParameterCovariance& covariance, RotationModel model) {
  // The conversion changes only the angles: -1 each in the small model. In the
  // exact one a turn d after R is the turn -R'd after R', whose angles move by
  // angle_jacobian(R') (-R') d.
  Eigen::Matrix<double, 7, 7> jacobian = Eigen::Matrix<double, 7, 7>::Identity();
  if (model == RotationModel::small) {
    jacobian.block<3, 3>(kEx, kEx) = -Eigen::Matrix3d::Identity();
  } else {
    const Eigen::Matrix3d transposed = rotation_matrix(params).transpose();
    jacobian.block<3, 3>(kEx, kEx) = angle_jacobian(transposed) * -transposed;
  }
  return (jacobian * covariance * jacobian.transpose()).diagonal().cwiseSqrt();
}

}  // namespace helmert7
