// SPDX-License-Identifier: MIT
// The adjustment report's inverse transformation: from the target system back
// into the source, as parameters (exact model) and as matrix and translation,
// with PROJ strings that cct applies as they are.
#include "report/report.h"

namespace helmert7 {
namespace {

std::string inverse_parameter_lines(const ParameterVector& params) {
  const char* const names[] = {"tx", "ty", "tz", "ex", "ey", "ez"};
  std::string text;
  for (int j = 0; j < 3; ++j) {
    text += std::string(names[j]) + " = " + format_shortest(params(j)) + " m\n";
  }
  for (int j = 3; j < 6; ++j) {
    text += std::string(names[j]) + " = " + format_shortest(params(j) * kArcSecondsPerRadian) +
            " arc-seconds = " + format_shortest(params(j)) + " rad\n";
  }
  return text + "m = " + format_shortest(params(6) * 1e6) + " ppm\n";
}

std::string helmert_string(const ParameterVector& params, const char* convention) {
  return "+proj=helmert" + helmert_terms(params) + " +convention=" + convention + " +exact\n";
}

// The exact model's inverse as parameters, in both conventions.
std::string exact_inverse_text(const ParameterVector& origin) {
  const ParameterVector inverse = exact_inverse_parameters(origin);
  const ParameterVector position_vector =
      position_vector_parameters(inverse, RotationModel::exact);
  return "### origin-based parameters, coordinate-frame convention: R' = R^T, "
         "t' = -R^T t / (1 + m), 1 + m' = 1 / (1 + m)\n" +
         inverse_parameter_lines(inverse) +
         "### origin-based parameters, position-vector convention\n" +
         inverse_parameter_lines(position_vector) + "### PROJ (cct), both conventions\n" +
         helmert_string(inverse, "coordinate_frame") +
         helmert_string(position_vector, "position_vector");
}

std::string affine_string(const AffineMapping& mapping) {
  const char* const offsets[] = {" +xoff=", " +yoff=", " +zoff="};
  std::string text = "+proj=affine";
  for (int i = 0; i < 3; ++i) text += offsets[i] + format_shortest(mapping.translation(i));
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      text += " +s" + std::to_string(i + 1) + std::to_string(j + 1) + "=" +
              format_shortest(mapping.matrix(i, j));
    }
  }
  return text + "\n";
}

std::string matrix_text(const AffineMapping& mapping) {
  std::string text;
  for (int i = 0; i < 3; ++i) {
    text += format_shortest(mapping.matrix(i, 0)) + " " + format_shortest(mapping.matrix(i, 1)) +
            " " + format_shortest(mapping.matrix(i, 2)) + "   " +
            format_shortest(mapping.translation(i)) + "\n";
  }
  return text;
}

}  // namespace

std::string inverse_section(const Fit& fit) {
  const FitStatistics& statistics = fit.statistics;
  const bool exact = fit.mapping.model == RotationModel::exact;
  const AffineMapping back = inverse_mapping(affine_mapping(statistics.origin, fit.mapping.model));
  return "\n## Inverse transformation: target back into source, p = A^-1 (X - T0)\n" +
         (exact ? exact_inverse_text(statistics.origin)
                : std::string("the small-angle model's inverse is the inverse of its matrix "
                              "(1 + m)(I + [w]), which is no small-angle matrix: negating the "
                              "angles would miss by second-order terms; the matrix below is "
                              "exact\n")) +
         "### matrix A^-1 and translation -A^-1 T0 (rows: X, Y, Z)\n" + matrix_text(back) +
         "### PROJ (cct), the matrix as an affine\n" + affine_string(back);
}

}  // namespace helmert7
