// SPDX-License-Identifier: MIT
// Doubles to their "%f" and shortest texts. The fixed-point buffer is sized by
// asking snprintf for the length first: "%f" never uses an exponent, so the
// largest doubles need over 300 characters and no fixed buffer is safe.
#include <charconv>
#include <cstdio>
#include <stdexcept>

#include "numtext/numtext.h"

namespace helmert7 {

std::string format_number(double value) { return format_fixed(value, 6); }  // "%f" is "%.6f"

std::string format_shortest(double value) {
  char buffer[32];  // the longest shortest form, "-2.2250738585072014e-308", has 24
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string format_fixed(double value, int decimals) {
  const int length = std::snprintf(nullptr, 0, "%.*f", decimals, value);
  if (length < 0) throw std::runtime_error("format_fixed: the C library could not format a double");
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(&text[0], text.size(), "%.*f", decimals, value);
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
