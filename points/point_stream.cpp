// SPDX-License-Identifier: MIT
// Points mapped from file to file, a chunk at a time: read, mapped, formatted and
// written in turn. A mapped line is rebuilt from the original bytes around its
// three fields, so names, separators, trailing fields, headers, comments and line
// ends pass through unchanged.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "geodesy/geodesy.h"
#include "points/point_lines.h"
#include "points/points.h"

namespace helmert7 {
namespace {

using MapPoints = std::function<void(double* xyz, std::size_t points, const std::string_view* names,
                                     const std::size_t* lines)>;

// Text that grows only as far as the longest text it held; it starts with room
// for a batch of usual lines, which no short file touches.
class TextBuffer {
 public:
  explicit TextBuffer(std::size_t bytes) : bytes_(bytes) {}

  // Room for `bytes` more at the returned address; add() them once written.
  char* room(std::size_t bytes) {
    if (bytes_.size() - used_ < bytes) {
      bytes_.grow(std::max(2 * bytes_.size(), used_ + bytes), used_);
    }
    return bytes_.data() + used_;
  }
  void add(std::size_t bytes) { used_ += bytes; }
  std::string_view text() const { return std::string_view(bytes_.data(), used_); }
  void clear() { used_ = 0; }

 private:
  ByteBuffer bytes_;
  std::size_t used_ = 0;
};

// The line end written for one that stood so: the output is written in text mode,
// which makes "\n" CR LF on Windows, so there CR LF goes as "\n".
std::string_view written_end(std::string_view end) {
#ifdef _WIN32
  if (end == "\r\n") return "\n";
#endif
  return end;
}

// A mapped angle in the style of the line's first field (the latitude it had).
std::size_t put_angle(char* p, const PointLine& line, double degrees) {
  const Field& first = line.coordinates[0];
  const std::string_view given = line.text.substr(first.begin, first.end - first.begin);
  const std::string text = geodesy::format_degrees(degrees, geodesy::angle_style_of(given));
  std::copy(text.begin(), text.end(), p);
  return text.size();
}

// The line with its x, y, z fields replaced by the mapped values, and its end;
// with `angles` the first two written as angles.
void append_mapped(TextBuffer& out, const PointLine& line, const double* xyz, bool angles) {
  const std::string_view end = written_end(line.end);
  char* const start = out.room(line.text.size() + 3 * kNumberCapacity + end.size());
  char* p = start;
  std::size_t copied = 0;
  for (int c = 0; c < 3; ++c) {
    const Field& field = line.coordinates[c];
    p = std::copy(line.text.data() + copied, line.text.data() + field.begin, p);
    p += angles && c < 2 ? put_angle(p, line, xyz[c]) : put_number(p, xyz[c]);
    copied = field.end;
  }
  p = std::copy(line.text.data() + copied, line.text.data() + line.text.size(), p);
  p = std::copy(end.begin(), end.end(), p);
  out.add(static_cast<std::size_t>(p - start));
}

void append_line(TextBuffer& out, const PointLine& line) {
  const std::string_view end = written_end(line.end);
  char* const start = out.room(line.text.size() + end.size());
  char* const p = std::copy(line.text.begin(), line.text.end(), start);
  out.add(static_cast<std::size_t>(std::copy(end.begin(), end.end(), p) - start));
}

// The lines of one chunk, with its points' x, y, z and line numbers.
struct Chunk {
  std::vector<PointLine> lines = std::vector<PointLine>(2 * kPointChunk);
  std::vector<std::size_t> line_numbers = std::vector<std::size_t>(kPointChunk);
  std::vector<std::string_view> names = std::vector<std::string_view>(kPointChunk);
  std::vector<double> xyz = std::vector<double>(3 * kPointChunk);
  std::size_t count = 0, points = 0;
};

// Fills `chunk` with up to kPointChunk points (and twice as many lines); false
// when the lines ran out first.
bool read_chunk(LineCursor& lines, PointForm& form, Chunk& chunk) {
  chunk.count = chunk.points = 0;
  while (chunk.points < kPointChunk && chunk.count < chunk.lines.size()) {
    const std::optional<PaddedView> text = lines.next();
    if (!text) return false;
    PointLine& line = chunk.lines[chunk.count++];
    form.read(*text, lines.number(), line, &chunk.xyz[3 * chunk.points]);
    line.end = lines.end();
    if (!line.is_point) continue;
    chunk.names[chunk.points] = line.text.substr(line.name.begin, line.name.end - line.name.begin);
    chunk.line_numbers[chunk.points++] = lines.number();
  }
  return true;
}

// The chunk's lines as they stood, their points mapped.
void format_chunk(const Chunk& chunk, const PointForm& form, PointFields written, TextBuffer& out) {
  for (std::size_t i = 0, point = 0; i < chunk.count; ++i) {
    if (!chunk.lines[i].is_point) {
      append_line(out, chunk.lines[i]);
      continue;
    }
    const double* xyz = &chunk.xyz[3 * point];
    if (!std::isfinite(xyz[0]) || !std::isfinite(xyz[1]) || !std::isfinite(xyz[2])) {
      throw Failure(form.where(chunk.line_numbers[point]) +
                    "the point maps to a non-finite coordinate (too large)");
    }
    append_mapped(out, chunk.lines[i], xyz, written.angles);
    ++point;
  }
}

}  // namespace

std::size_t map_point_stream(std::istream& in, const std::string& shown_name, const MapPoints& map,
                             const std::function<void(std::string_view text)>& write,
                             std::size_t block_bytes, PointFields read, PointFields written) {
  BlockReader blocks(in, shown_name, block_bytes);
  PointForm form(shown_name, read.angles);
  Chunk chunk;
  const std::size_t batch_bytes = block_bytes / 4;  // text is written in batches this large
  TextBuffer text(2 * batch_bytes);
  std::size_t total = 0;
  // first: the number of the block's first line
  for (std::size_t first = 1; blocks.refill(first);) {
    LineCursor lines(blocks.whole_lines(), first);
    for (bool more = true; more;) {
      more = read_chunk(lines, form, chunk);
      if (chunk.count == 0) break;
      map(chunk.xyz.data(), chunk.points, chunk.names.data(), chunk.line_numbers.data());
      format_chunk(chunk, form, written, text);
      total += chunk.points;
      if (text.text().size() < batch_bytes) continue;
      write(text.text());
      text.clear();
    }
    first = lines.number() + 1;
  }
  write(text.text());
  return total;
}

}  // namespace helmert7
