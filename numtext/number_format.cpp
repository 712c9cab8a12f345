// SPDX-License-Identifier: MIT
// Doubles to their "%f" text. The buffer is sized by asking snprintf for the
// length first: "%f" never uses an exponent, so the largest doubles need over
// 300 characters and no fixed buffer is safe.
#include <cstdio>
#include <stdexcept>

#include "numtext/numtext.h"

namespace helmert7 {

std::string format_number(double value) {
  const int length = std::snprintf(nullptr, 0, "%f", value);
  if (length < 0)
    throw std::runtime_error("format_number: the C library could not format a double");
  std::string text(static_cast<std::size_t>(length) + 1, '\0');  // room for snprintf's NUL
  std::snprintf(&text[0], text.size(), "%f", value);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

std::string join_numbers(const std::vector<double>& values) {
  std::string joined;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) joined += ',';
    joined += format_number(values[i]);
  }
  return joined;
}

}  // namespace helmert7
