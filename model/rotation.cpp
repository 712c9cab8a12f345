// SPDX-License-Identifier: MIT
// The exact rotation: the matrix of three angles in the coordinate-frame
// convention, R = Rz(ez) Ry(ey) Rx(ex), built as PROJ's helmert +exact builds it,
// its derivatives, the angles of a given matrix, and the closed-form similarity
// (Umeyama) from which the exact adjustment starts.
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

// Their derivatives with respect to the angle.
Eigen::Matrix3d about_x_derivative(double a) {
  Eigen::Matrix3d r;
  r << 0, 0, 0, 0, -std::sin(a), std::cos(a), 0, -std::cos(a), -std::sin(a);
  return r;
}

Eigen::Matrix3d about_y_derivative(double a) {
  Eigen::Matrix3d r;
  r << -std::sin(a), 0, -std::cos(a), 0, 0, 0, std::cos(a), 0, -std::sin(a);
  return r;
}

Eigen::Matrix3d about_z_derivative(double a) {
  Eigen::Matrix3d r;
  r << -std::sin(a), std::cos(a), 0, -std::cos(a), -std::sin(a), 0, 0, 0, 0;
  return r;
}

}  // namespace

Eigen::Matrix3d rotation_matrix(const ParameterVector& params) {
  return about_z(params(kEz)) * about_y(params(kEy)) * about_x(params(kEx));
}

Eigen::Vector3d rotation_angles(const Eigen::Matrix3d& r) {
  // r(2, 0) = sin(ey); r(2, 1) = -cos(ey) sin(ex), r(2, 2) = cos(ey) cos(ex);
  // r(1, 0) = -sin(ez) cos(ey), r(0, 0) = cos(ez) cos(ey).
  const double ey = std::asin(std::clamp(r(2, 0), -1.0, 1.0));
  return {std::atan2(-r(2, 1), r(2, 2)), ey, std::atan2(-r(1, 0), r(0, 0))};
}

Eigen::RowVector3d exact_transform_point(const Eigen::Vector3d& point,
                                         const ParameterVector& params) {
  return (params.head<3>() + (1.0 + params(kM)) * (rotation_matrix(params) * point)).transpose();
}

Eigen::Matrix<double, 3, 7> exact_design_block(const Eigen::Vector3d& point,
                                               const ParameterVector& params) {
  const double k = 1.0 + params(kM);
  const Eigen::Matrix3d rx = about_x(params(kEx)), ry = about_y(params(kEy)),
                        rz = about_z(params(kEz));
  Eigen::Matrix<double, 3, 7> block;
  block.leftCols<3>().setIdentity();
  block.col(kEx) = k * (rz * ry * about_x_derivative(params(kEx)) * point);
  block.col(kEy) = k * (rz * about_y_derivative(params(kEy)) * rx * point);
  block.col(kEz) = k * (about_z_derivative(params(kEz)) * ry * rx * point);
  block.col(kM) = rz * ry * rx * point;
  return block;
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
  // The conversion changes only the angles: its derivative is the identity but for
  // them, -1 each in the small model, by central differences in the exact one.
  Eigen::Matrix<double, 7, 7> jacobian = Eigen::Matrix<double, 7, 7>::Identity();
  for (int j = kEx; j <= kEz; ++j) {
    if (model == RotationModel::small) {
      jacobian(j, j) = -1.0;
      continue;
    }
    constexpr double kStep = 1e-6;
    ParameterVector up = params, down = params;
    up(j) += kStep;
    down(j) -= kStep;
    jacobian.col(j) =
        (position_vector_parameters(up, model) - position_vector_parameters(down, model)) /
        (2 * kStep);
  }
  return (jacobian * covariance * jacobian.transpose()).diagonal().cwiseSqrt();
}

}  // namespace helmert7
