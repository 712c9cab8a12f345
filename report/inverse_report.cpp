// SPDX-License-Identifier: MIT
// The adjustment report's inverse transformation: from the target system back
// into the source, as parameters (exact model) and as matrix and translation,
// with PROJ strings that cct applies as they are.
#include "report/report.h"

namespace helmert7 {
namespace {

std::string helmert_string(const ParameterVector& params, const char* convention) {
  return "+proj=helmert" + helmert_terms(params) + " +convention=" + convention + " +exact\n";
}

// The exact model's inverse as parameters with their standard errors, in both
// conventions.
std::string exact_inverse_text(const FitStatistics& statistics) {
  return "### origin-based parameters, coordinate-frame convention: R' = R^T, "
         "t' = -R^T t / (1 + m), 1 + m' = 1 / (1 + m)\n" +
         parameter_lines(statistics.inverse, statistics.inverse_errors) +
         "### origin-based parameters, position-vector convention\n" +
         parameter_lines(statistics.inverse_position_vector,
                         statistics.inverse_position_vector_errors) +
         "### PROJ (cct), both conventions\n" +
         helmert_string(statistics.inverse, "coordinate_frame") +
         helmert_string(statistics.inverse_position_vector, "position_vector");
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
         (exact ? exact_inverse_text(statistics)
                : std::string("the small-angle model's inverse is the inverse of its matrix "
                              "(1 + m)(I + [w]), which is no small-angle matrix: negating the "
                              "angles would miss by second-order terms; the matrix below is "
                              "exact\n")) +
         "### matrix A^-1 and translation -A^-1 T0 (rows: X, Y, Z)\n" + matrix_text(back) +
         "### PROJ (cct), the matrix as an affine\n" + affine_string(back);
}

}  // namespace helmert7
