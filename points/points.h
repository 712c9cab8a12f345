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

/// Bytes read from a file at a time (at most kLongestLine); tests pass smaller
/// blocks to cross their edges with short files.
constexpr std::size_t kPointBlockBytes = std::size_t{1} << 20;

/// A line that takes more than this with its line end (a last line without one:
/// this much) is refused: lines are held whole, so this bounds the memory a file
/// takes, whatever it holds.
constexpr std::size_t kLongestLine = std::size_t{1} << 20;

/// Reads a file of points, one to a line: "[name] x y z [anything else]", fields
/// separated by blanks or tabs, commas or semicolons: the first of ';' and ',' the
/// first point line holds, unless only blanks put numbers where x, y and z stand
/// ("T1 1 2 3 left,of,gate"); its form holds for the file. Blank lines and lines
/// beginning with '#' are skipped, and so is a first line that is no point and has
/// words, no numbers, up to its z field (a header). Three fields are x y z; four
/// or more a name, x, y, z and fields kept as they stand. CR LF and LF alike; a
/// UTF-8 byte-order mark is skipped. Numbers are decimal, finite. A name may not
/// repeat; a line may not reach 1 MiB; the file holds one point at least. Throws
/// Failure "FILE:LINE: what is wrong", FILE being `shown_name`.
PointFile read_point_file(std::istream& in, const std::string& shown_name,
                          std::size_t block_bytes = kPointBlockBytes);

/// Streams a file of points to map (names may repeat), read as read_point_file
/// reads it (no points is no fault): reads `block_bytes` of the file at a time,
/// lets `map` replace the x, y, z triples of at most kPointChunk points at a time
/// in place (given their names too, empty in a file without names), and passes
/// the rewritten text to `write` a batch at a time, in file order: every line as
/// it stood, its line end too (none after a last line that had none), a point line
/// with its x, y, z fields replaced by the mapped values in the number text form.
/// The text is for a file written in text mode: on Windows, where such a file gets
/// CR LF for "\n", a CR LF line end is passed as "\n". Memory does not grow with
/// the file. Returns the number of points.
/// Throws Failure as read_point_file does, also for a point that maps to a
/// non-finite coordinate, and passes on what `write` throws.
constexpr std::size_t kPointChunk = 4096;
std::size_t map_point_stream(std::istream& in, const std::string& shown_name,
                             const std::function<void(double* xyz, std::size_t points,
                                                      const std::string_view* names)>& map,
                             const std::function<void(std::string_view text)>& write,
                             std::size_t block_bytes = kPointBlockBytes);

/// Refuses a path to read points from that names a directory, a device or a
/// socket: "cannot read SHOWN: it is a directory, not a file of points". Files,
/// pipes and paths that name nothing (which opening them reports) pass.
void check_point_file_kind(const std::string& path, const std::string& shown);

}  // namespace helmert7
