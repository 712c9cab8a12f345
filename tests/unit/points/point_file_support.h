// SPDX-License-Identifier: MIT
// Shared by the point-file tests: a text read as the point file "pts.csv", and
// the message with which it is refused.
#pragma once

#include <sstream>
#include <string>

#include "numtext/numtext.h"
#include "points/points.h"

namespace helmert7::test {

inline PointFile read_text(const std::string& text, std::size_t block_bytes = kPointBlockBytes) {
  std::istringstream in(text);
  return read_point_file(in, "pts.csv", block_bytes);
}

/// The failure's message, or "(no failure)".
inline std::string failure_of(const std::string& text, std::size_t block_bytes = kPointBlockBytes) {
  try {
    read_text(text, block_bytes);
  } catch (const Failure& e) {
    return e.what();
  }
  return "(no failure)";
}

}  // namespace helmert7::test
