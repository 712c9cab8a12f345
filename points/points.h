// SPDX-License-Identifier: MIT
// Point files: one point to a line, "[name] x y z [anything else]", read whole
// for the common points, or streamed for the points to map, whose lines are
// written back with only x, y and z replaced. Coordinates are decimal numbers in
// any unit, or on request latitude and longitude in degrees (decimal or d:m:s)
// before a height; names are kept as bytes. A header may name columns of a priori
// standard deviations in metres (sx sy sz, sn se su, or sigma), read with the
// common points. Failures throw Failure "FILE:LINE: what is wrong"; nothing here prints.
#pragma once

#include <cstddef>
#include <functional>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "numtext/numtext.h"

namespace helmert7 {

/// The axes of the standard deviations a file's header names: none; `cartesian`
/// for sx, sy, sz; `north_east_up` for sn, se, su (at each point); `all` for sigma,
/// one value for all three axes.
enum class SigmaAxes { none, cartesian, north_east_up, all };

/// A priori standard deviations from a file's columns, in metres: three per point
/// in file order, along the axes named (sigma's value three times); none without
/// such columns.
struct PointSigmas {
  SigmaAxes axes = SigmaAxes::none;
  std::vector<double> values;
};

/// The common points of a point file: x, y, z of each point in file order, the
/// line each stands on, their names when the file gives them (else `names` is
/// empty), and their standard deviations when its header names their columns.
struct PointFile {
  std::vector<double> coordinates;
  std::vector<std::size_t> lines;
  std::vector<std::string> names;
  PointSigmas sigmas;
};

/// What the x, y, z fields of a file's point lines hold: numbers (the default), or
/// with `angles` latitude and longitude in degrees and a height, the angles
/// decimal or d:m:s ("30:31:12.3456", a leading '-' for south or west). Written
/// angles take the style of the line's own first field: d:m:s with the seconds to
/// 6 decimals where it holds a ':', else decimal with 10 decimals.
struct PointFields {
  bool angles = false;
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
/// Failure "FILE:LINE: what is wrong", FILE being `shown_name`. With
/// `fields.angles` the first two coordinates may also be d:m:s angles.
/// Header fields named (in any case) sx, sy and sz, or sn, se and su, or sigma are
/// columns of standard deviations after z: every point gives each, positive and
/// finite; a header that names some of three, two kinds or a column twice is
/// refused. Other header names leave their fields trailing fields.
PointFile read_point_file(std::istream& in, const std::string& shown_name,
                          std::size_t block_bytes = kPointBlockBytes, PointFields fields = {});

/// Streams a file of points to map (names may repeat), read as read_point_file
/// reads it (no points is no fault): reads `block_bytes` of the file at a time,
/// lets `map` replace the x, y, z triples of at most kPointChunk points at a time
/// in place (given their names too, empty in a file without names, and their line
/// numbers), and passes
/// the rewritten text to `write` a batch at a time, in file order: every line as
/// it stood, its line end too (none after a last line that had none), a point line
/// with its x, y, z fields replaced by the mapped values in the number text form
/// (with `written.angles` the first two as angles, see PointFields). The fields
/// are read as `read` says.
/// The text is for a file written in text mode: on Windows, where such a file gets
/// CR LF for "\n", a CR LF line end is passed as "\n". Memory does not grow with
/// the file. Returns the number of points.
/// Throws Failure as read_point_file does, also for a point that maps to a
/// non-finite coordinate, and passes on what `write` throws.
constexpr std::size_t kPointChunk = 4096;
std::size_t map_point_stream(
    std::istream& in, const std::string& shown_name,
    const std::function<void(double* xyz, std::size_t points, const std::string_view* names,
                             const std::size_t* lines)>& map,
    const std::function<void(std::string_view text)>& write,
    std::size_t block_bytes = kPointBlockBytes, PointFields read = {}, PointFields written = {});

/// The points of one chunk of a streamed file: their x, y, z triples (to be
/// mapped in place), names and line numbers, and the number of points before them.
struct PointChunk {
  double* xyz;
  std::size_t points;
  const std::string_view* names;
  const std::size_t* lines;
  std::size_t before;
};

/// Runs the work it is given once every chunk before its own has had its turn.
using InOrder = std::function<void(const std::function<void()>& work)>;

/// map_point_stream for a map that costs more than reading and writing a point:
/// the file's chunks are read in turn and each mapped and formatted whole on one
/// of two threads (one for a file of one chunk, or when no second thread is to be
/// had), so `map` may run on two chunks at once; the work it passes to its
/// InOrder (once a chunk at most) runs for one chunk at a time, in file order.
/// Text is written a chunk at a time, in file order. Fails as map_point_stream
/// fails: with the first failure in file order, a chunk's failure to read coming
/// before what its map throws, and nothing written after it.
std::size_t map_point_stream_shared(
    std::istream& in, const std::string& shown_name,
    const std::function<void(const PointChunk& chunk, const InOrder& in_order)>& map,
    const std::function<void(std::string_view text)>& write,
    std::size_t block_bytes = kPointBlockBytes, PointFields read = {}, PointFields written = {});

/// Refuses a path to read points from that names a directory, a device or a
/// socket: "cannot read SHOWN: it is a directory, not a file of points". Files,
/// pipes and paths that name nothing (which opening them reports) pass.
void check_point_file_kind(const std::string& path, const std::string& shown);

}  // namespace helmert7
