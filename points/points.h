// SPDX-License-Identifier: MIT
// Point files: one point to a line, "[name] x y z [anything else]", read whole
// for the common points, or streamed for the points to map, whose lines are
// written back with only x, y and z replaced. Coordinates are decimal numbers in
// any unit; names are kept as bytes. Failures throw Failure "FILE:LINE: what is
// wrong"; nothing here prints.
#pragma once

#include <cstddef>
#include <functional>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "numtext/numtext.h"

namespace helmert7 {

/// The common points of a point file: x, y, z of each point in file order, and
/// their names when the file gives them (else `names` is empty).
struct PointFile {
  std::vector<double> coordinates;
  std::vector<std::string> names;
};

/// Reads a file of points, one to a line: "[name] x y z [anything else]", fields
/// separated by blanks or tabs, commas or semicolons (the first point line's
/// separator holds for the file). Blank lines and lines beginning with '#' are
/// skipped, and so is a first line whose x, y and z fields are no numbers (a
/// header). Three fields are x y z; four or more a name, x, y, z and fields kept as
/// they stand; every point line has the form of the first. CR LF and LF alike; a
/// UTF-8 byte-order mark is skipped. Numbers are decimal, finite. A name may not
/// repeat. Throws Failure "FILE:LINE: what is wrong", FILE being `shown_name`.
PointFile read_point_file(std::istream& in, const std::string& shown_name);

/// Streams a file of points to map (names may repeat): reads kPointBlockBytes of
/// the file at a time, lets `map` replace the x, y, z triples of at most
/// kPointChunk points at a time in place, and passes the rewritten text to
/// `write`, in file order: every line as it stood (line end "\n"), a point line
/// with its x, y, z fields replaced by the mapped values in the number text form.
/// `write` runs on a thread of its own, one call at a time. Memory does not grow
/// with the file. Returns the number of points. Throws Failure as
/// read_point_file does, also for a point that maps to a non-finite coordinate.
constexpr std::size_t kPointBlockBytes = std::size_t{1} << 20;
constexpr std::size_t kPointChunk = 4096;
std::size_t map_point_stream(std::istream& in, const std::string& shown_name,
                             const std::function<void(double* xyz, std::size_t points)>& map,
                             const std::function<void(std::string_view text)>& write);

}  // namespace helmert7
