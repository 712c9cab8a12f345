// SPDX-License-Identifier: MIT
// The matrix print of the console trace.
#include <cstdio>
#include <string>
#include <vector>

#include "driver/driver.h"

namespace helmert7 {

void print_matrix(std::ostream& out, const std::string& name, const Eigen::MatrixXd& matrix) {
  std::vector<std::string> cells;
  cells.reserve(static_cast<std::size_t>(matrix.size()));
  std::size_t width = 0;
  for (Eigen::Index r = 0; r < matrix.rows(); ++r) {
    for (Eigen::Index c = 0; c < matrix.cols(); ++c) {
      char buffer[32];  // "%.10g" of any double, sign and exponent included, is under 20
      std::snprintf(buffer, sizeof buffer, "%.10g", matrix(r, c));
      cells.emplace_back(buffer);
      if (cells.back().size() > width) width = cells.back().size();
    }
  }

  out << name << '\n' << '[' << matrix.rows() << ' ' << matrix.cols() << " 1 1]\n";
  std::size_t next = 0;
  for (Eigen::Index r = 0; r < matrix.rows(); ++r) {
    for (Eigen::Index c = 0; c < matrix.cols(); ++c) {
      const std::string& cell = cells[next++];
      out << std::string(4 + width - cell.size(), ' ') << cell;
    }
    out << '\n';
  }
  out << std::endl;
}

}  // namespace helmert7
