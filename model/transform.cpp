// SPDX-License-Identifier: MIT
// The seven-parameter model, its derivative and its misclosures; the small-angle
// form here, the exact rotation in rotation.cpp.
// The inner brackets of the model are written once, below, and used both by
// transform_point and by the scale column of design_block, in the same order
// of operations, so the two agree to the last bit.
#include <string>

#include "model/model.h"

namespace helmert7 {
namespace {

enum : int { kTx, kTy, kTz, kEx, kEy, kEz, kM };

double bracket_x(double x, double y, double z, const ParameterVector& p) {
  return (x + p(kEz) * y) - p(kEy) * z;
}

double bracket_y(double x, double y, double z, const ParameterVector& p) {
  return (-(p(kEz) * x) + y) + p(kEx) * z;
}

double bracket_z(double x, double y, double z, const ParameterVector& p) {
  return (p(kEy) * x - p(kEx) * y) + z;
}

}  // namespace

Eigen::RowVector3d transform_point(const double& x, const double& y, const double& z,
                                   const ParameterVector& params, RotationModel model) {
  if (model == RotationModel::exact) return exact_transform_point({x, y, z}, params);
  // k = 1 + m is formed anew for each coordinate; it scales the rotated point,
  // and the translation is added after scaling.
  Eigen::RowVector3d point;
  point(0) = (1.0 + params(kM)) * bracket_x(x, y, z, params) + params(kTx);
  point(1) = (1.0 + params(kM)) * bracket_y(x, y, z, params) + params(kTy);
  point(2) = (1.0 + params(kM)) * bracket_z(x, y, z, params) + params(kTz);
  return point;
}

Eigen::Matrix<double, 3, 7> design_block(const double& x, const double& y, const double& z,
                                         const ParameterVector& params, RotationModel model) {
  if (model == RotationModel::exact) return exact_design_block({x, y, z}, params);
  const double m = params(kM);
  Eigen::Matrix<double, 3, 7> block = Eigen::Matrix<double, 3, 7>::Zero();
  block.leftCols<3>().setIdentity();
  // Negative entries negate (1 + m) first and then multiply by the coordinate.
  block(0, kEy) = -(1.0 + m) * z;
  block(0, kEz) = (1.0 + m) * y;
  block(0, kM) = bracket_x(x, y, z, params);
  block(1, kEx) = (1.0 + m) * z;
  block(1, kEz) = -(1.0 + m) * x;
  block(1, kM) = bracket_y(x, y, z, params);
  block(2, kEx) = -(1.0 + m) * y;
  block(2, kEy) = (1.0 + m) * x;
  block(2, kM) = bracket_z(x, y, z, params);
  return block;
}

namespace {

// The translation columns: the identity in each point's three rows.
void fill_translation_columns(Eigen::Index points, Eigen::MatrixXd& design) {
  for (int j = kTx; j <= kTz; ++j) {
    double* column = design.col(j).data();
    for (Eigen::Index i = 0; i < points; ++i) {
      column[3 * i] = j == kTx ? 1.0 : 0.0;
      column[3 * i + 1] = j == kTy ? 1.0 : 0.0;
      column[3 * i + 2] = j == kTz ? 1.0 : 0.0;
    }
  }
}

// The three angle columns of the small model; negative entries negate (1 + m)
// first and then multiply by the coordinate, as design_block does.
void fill_angle_columns(const PointMatrix& points, double m, Eigen::MatrixXd& design) {
  const double* x = points.col(0).data();
  const double* y = points.col(1).data();
  const double* z = points.col(2).data();
  double* ex = design.col(kEx).data();
  double* ey = design.col(kEy).data();
  double* ez = design.col(kEz).data();
  for (Eigen::Index i = 0; i < points.rows(); ++i) {
    ex[3 * i] = 0.0;
    ex[3 * i + 1] = (1.0 + m) * z[i];
    ex[3 * i + 2] = -(1.0 + m) * y[i];
  }
  for (Eigen::Index i = 0; i < points.rows(); ++i) {
    ey[3 * i] = -(1.0 + m) * z[i];
    ey[3 * i + 1] = 0.0;
    ey[3 * i + 2] = (1.0 + m) * x[i];
  }
  for (Eigen::Index i = 0; i < points.rows(); ++i) {
    ez[3 * i] = (1.0 + m) * y[i];
    ez[3 * i + 1] = -(1.0 + m) * x[i];
    ez[3 * i + 2] = 0.0;
  }
}

// The scale column of the small model: the inner brackets of transform_point.
void fill_scale_column(const PointMatrix& points, const ParameterVector& params,
                       Eigen::MatrixXd& design) {
  const double* x = points.col(0).data();
  const double* y = points.col(1).data();
  const double* z = points.col(2).data();
  double* scale = design.col(kM).data();
  for (Eigen::Index i = 0; i < points.rows(); ++i) {
    scale[3 * i] = bracket_x(x[i], y[i], z[i], params);
    scale[3 * i + 1] = bracket_y(x[i], y[i], z[i], params);
    scale[3 * i + 2] = bracket_z(x[i], y[i], z[i], params);
  }
}

}  // namespace

void fill_design_matrix(const PointMatrix& points, const ParameterVector& params,
                        Eigen::MatrixXd& design, RotationModel model) {
  design.resize(3 * points.rows(), 7);
  if (model == RotationModel::exact) {
    for (Eigen::Index i = 0; i < points.rows(); ++i) {
      design.middleRows<3>(3 * i) = exact_design_block(points.row(i).transpose(), params);
    }
    return;
  }
  // Column by column, each written front to back: the entries of design_block, in
  // the same operations, without a 3-by-7 block per point or strided writes.
  fill_translation_columns(points.rows(), design);
  fill_angle_columns(points, params(kM), design);
  fill_scale_column(points, params, design);
}

void fill_misclosure_vector(const PointMatrix& source, const PointMatrix& target,
                            const ParameterVector& params, Eigen::VectorXd& misclosure,
                            RotationModel model) {
  if (target.rows() < source.rows())
    throw NumericError("the target set has " + std::to_string(target.rows()) +
                       " points but the source set has " + std::to_string(source.rows()) +
                       "; every source point needs its target point");
  misclosure.resize(3 * source.rows());
  for (Eigen::Index i = 0; i < source.rows(); ++i) {
    const Eigen::RowVector3d mapped =
        transform_point(source(i, 0), source(i, 1), source(i, 2), params, model);
    misclosure.segment<3>(3 * i) = (target.row(i) - mapped).transpose();
  }
}

}  // namespace helmert7
