// SPDX-License-Identifier: MIT
// The matrix print of the console trace. Every cell is formatted once into one
// buffer, and the whole print goes to the stream in one write.
#include <memory>
#include <string>
#include <vector>

#include "driver/steps.h"

namespace helmert7 {

void print_matrix(std::ostream& out, const std::string& name, const Eigen::MatrixXd& matrix) {
  const std::size_t cells = static_cast<std::size_t>(matrix.size());
  // Left unzeroed: each cell's bytes are written before they are read.
  const std::unique_ptr<char[]> digits(new char[cells * kGeneralCapacity]);
  std::vector<unsigned char> lengths(cells);
  std::size_t width = 0;
  for (std::size_t k = 0; k < cells; ++k) {  // row by row, as the lines are written
    const Eigen::Index r = static_cast<Eigen::Index>(k) / matrix.cols();
    const Eigen::Index c = static_cast<Eigen::Index>(k) % matrix.cols();
    const std::size_t length = put_general(&digits[k * kGeneralCapacity], matrix(r, c), 10);
    lengths[k] = static_cast<unsigned char>(length);
    if (length > width) width = length;
  }

  std::string text = name + "\n[" + std::to_string(matrix.rows()) + ' ' +
                     std::to_string(matrix.cols()) + " 1 1]\n";
  text.reserve(text.size() + cells * (4 + width) + static_cast<std::size_t>(matrix.rows()) + 1);
  for (std::size_t k = 0; k < cells; ++k) {
    text.append(4 + width - lengths[k], ' ');
    text.append(&digits[k * kGeneralCapacity], lengths[k]);
    if ((k + 1) % static_cast<std::size_t>(matrix.cols()) == 0) text += '\n';
  }
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out << std::endl;
}

}  // namespace helmert7
