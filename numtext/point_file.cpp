// SPDX-License-Identifier: MIT
// Point files: one point to a line, "[name] x y z [anything else]". The file is
// read a block at a time and its lines taken from the block without copying; a
// line is split only as far as its z field, and a mapped line is rebuilt from the
// original bytes around the three fields, so names, separators, trailing fields,
// headers and comments pass through unchanged.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "numtext/numtext.h"

namespace helmert7 {
namespace {

enum class Separator { kBlanks, kComma, kSemicolon };

// Byte offsets of one field in its line.
struct Field {
  std::size_t begin, end;
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

bool is_skipped(std::string_view line) {
  const std::size_t first = line.find_first_not_of(" \t");
  return first == std::string_view::npos || line[first] == '#';
}

Separator separator_of(std::string_view line) {
  if (line.find(';') != std::string_view::npos) return Separator::kSemicolon;
  if (line.find(',') != std::string_view::npos) return Separator::kComma;
  return Separator::kBlanks;
}

// Splits off the first `most` fields at most, so that text after them is never
// scanned; returns how many were found.
std::size_t split_fields(std::string_view line, Separator separator, Field* fields,
                         std::size_t most) {
  std::size_t count = 0;
  if (separator == Separator::kBlanks) {
    for (std::size_t i = 0; i < line.size() && count < most;) {
      while (i < line.size() && is_blank(line[i])) ++i;
      const std::size_t begin = i;
      while (i < line.size() && !is_blank(line[i])) ++i;
      if (i > begin) fields[count++] = {begin, i};
    }
    return count;
  }
  const char mark = separator == Separator::kComma ? ',' : ';';
  for (std::size_t begin = 0; count < most;) {
    std::size_t end = line.find(mark, begin);
    if (end == std::string_view::npos) end = line.size();
    std::size_t first = begin, last = end;  // the field without its blanks
    while (first < last && is_blank(line[first])) ++first;
    while (last > first && is_blank(line[last - 1])) --last;
    fields[count++] = {first, last};
    if (end == line.size()) break;
    begin = end + 1;
  }
  return count;
}

std::vector<Field> all_fields(std::string_view line, Separator separator) {
  std::vector<Field> fields(line.size() + 1);  // no line has more
  fields.resize(split_fields(line, separator, fields.data(), fields.size()));
  return fields;
}

std::string_view text_of(std::string_view line, const Field& field) {
  return line.substr(field.begin, field.end - field.begin);
}

// "-1234.567": digits with at most one point, read exactly without a general
// parser. A mantissa m up to 2^53 and 10^k up to 10^22 are exact doubles, so m / 10^k
// is the correctly rounded value, as std::from_chars would give it (Clinger's fast
// path). False for any other form, which the general parser then reads.
bool parse_plain_decimal(std::string_view text, double& value) {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  std::uint64_t mantissa = 0;
  int digits = 0, decimals = 0;
  bool point = false;
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      if (++digits > 19) return false;  // the mantissa could overflow
      mantissa = 10 * mantissa + static_cast<unsigned>(c - '0');
      decimals += point;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (digits == 0 || mantissa > (std::uint64_t{1} << 53) || decimals > 22) return false;
  value = static_cast<double>(mantissa) / kPowers[decimals];
  if (negative) value = -value;
  return true;
}

// A decimal number, finite, filling the whole field ("-12.5", "+3", "1.25e3").
bool parse_number(std::string_view text, double& value) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (parse_plain_decimal(text, value)) return true;
  if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text.front())) ||
                        text.front() == '.' || text.front() == '-')) {
    return false;  // also "inf" and "nan", which from_chars would take
  }
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size() &&
         std::isfinite(value);
}

// The lines of a stream, a block at a time. A line is a view into the block and
// stays valid until the next refill().
class LineSource {
 public:
  LineSource(std::istream& in, const std::string& shown_name)
      : in_(in), shown_name_(shown_name), block_(kBlockSize) {}

  // The next whole line of the block without its line end ("\n" or "\r\n"); false
  // when the block holds none, then refill() reads on.
  bool next(std::string_view& line) {
    const char* start = block_.data() + taken_;
    const auto* end = static_cast<const char*>(std::memchr(start, '\n', filled_ - taken_));
    if (!end && !(at_end_ && taken_ < filled_)) return false;
    const std::size_t length = end ? static_cast<std::size_t>(end - start) : filled_ - taken_;
    taken_ += length + (end ? 1 : 0);
    line = std::string_view(start, length);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++number_;
    return true;
  }

  // Keeps the unfinished line and reads more of the stream; false at its end.
  bool refill() {
    if (at_end_) return false;
    std::memmove(block_.data(), block_.data() + taken_, filled_ - taken_);
    filled_ -= taken_;
    taken_ = 0;
    if (filled_ == block_.size()) block_.resize(2 * block_.size());  // a very long line
    in_.read(block_.data() + filled_, static_cast<std::streamsize>(block_.size() - filled_));
    filled_ += static_cast<std::size_t>(in_.gcount());
    if (in_.bad()) throw InputError(shown_name_ + ": the file cannot be read to its end");
    at_end_ = in_.eof();
    return true;
  }

  // The number of the line given last, from 1.
  int line_number() const { return number_; }

 private:
  static constexpr std::size_t kBlockSize = 1 << 20;
  std::istream& in_;
  const std::string& shown_name_;
  std::vector<char> block_;
  std::size_t taken_ = 0, filled_ = 0;
  bool at_end_ = false;
  int number_ = 0;
};

// One line of a point file: the fields of a point line, offsets in `text`.
struct PointLine {
  std::string_view text;  // as it stood, without its line end
  bool is_point = false;
  Field name{};           // empty in a file without names
  Field coordinates[3]{};
};

// Reads point lines: tells headers, comments and points apart, and holds what the
// first point line decided for the whole file.
class PointReader {
 public:
  PointReader(std::istream& in, const std::string& shown_name)
      : lines_(in, shown_name), shown_name_(shown_name) {}

  // The next line of the block, a point's x, y, z put in `xyz`; false when the block
  // is used up, then refill() reads on. Throws InputError for a bad point line.
  bool next(PointLine& line, double* xyz) {
    if (!lines_.next(line.text)) return false;
    line.is_point = false;
    const std::size_t mark = lines_.line_number() == 1 && line.text.rfind(kByteOrderMark, 0) == 0
                                 ? kByteOrderMark.size()
                                 : 0;
    const std::string_view content = line.text.substr(mark);
    if (is_skipped(content)) return true;
    const bool first = !seen_line_;
    seen_line_ = true;
    if (first && is_header(content)) return true;
    if (!form_known_) decide_form(content);
    read_point(content, line, xyz);
    line.name.begin += mark;
    line.name.end += mark;
    for (Field& field : line.coordinates) field.begin += mark, field.end += mark;
    line.is_point = true;
    return true;
  }

  bool refill() { return lines_.refill(); }

  // "points.csv:7: " for messages about the current line.
  std::string where() const {
    return shown_name_ + ":" + std::to_string(lines_.line_number()) + ": ";
  }
  int line_number() const { return lines_.line_number(); }
  bool named() const { return named_; }

 private:
  static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

  // A first line whose x, y and z fields are all no numbers: a header.
  static bool is_header(std::string_view text) {
    const std::vector<Field> fields = all_fields(text, separator_of(text));
    if (fields.size() < 3) return false;
    const std::size_t x = fields.size() == 3 ? 0 : 1;
    double ignored;
    for (std::size_t i = x; i < x + 3; ++i) {
      if (parse_number(text_of(text, fields[i]), ignored)) return false;
    }
    return true;
  }

  void decide_form(std::string_view text) {
    separator_ = separator_of(text);
    named_ = all_fields(text, separator_).size() >= 4;
    form_known_ = true;
  }

  void read_point(std::string_view text, PointLine& line, double* xyz) const {
    static const char* const kAxes[] = {"x", "y", "z"};
    Field fields[4];  // enough to tell whether the line has the file's form
    const std::size_t found = split_fields(text, separator_, fields, 4);
    if (named_ ? found < 4 : found != 3) refuse_form(text);
    const std::size_t x = named_ ? 1 : 0;
    line.name = named_ ? fields[0] : Field{0, 0};
    for (int c = 0; c < 3; ++c) {
      line.coordinates[c] = fields[x + c];
      const std::string_view field = text_of(text, fields[x + c]);
      if (!parse_number(field, xyz[c])) {
        throw InputError(where() + "'" + excerpt_of(field).text + "' is not a number (" +
                         kAxes[c] + ")");
      }
    }
  }

  [[noreturn]] void refuse_form(std::string_view text) const {
    const std::vector<Field> fields = all_fields(text, separator_);
    double ignored;
    std::size_t numbers = 0;
    for (const Field& field : fields) numbers += parse_number(text_of(text, field), ignored);
    const std::string found = numbers == fields.size()
                                  ? std::to_string(numbers) + (numbers == 1 ? " number" : " numbers")
                                  : std::to_string(fields.size()) +
                                        (fields.size() == 1 ? " field" : " fields");
    throw InputError(where() + (named_ ? "expected name x y z" : "expected x y z") + ", found " +
                     found + (fields.size() >= 4 ? " (the first point line has no name)" : ""));
  }

  LineSource lines_;
  const std::string& shown_name_;
  bool seen_line_ = false;
  bool form_known_ = false;
  bool named_ = false;
  Separator separator_ = Separator::kBlanks;
};

// Text built chunk by chunk in one buffer that grows only with the longest chunk.
class ChunkText {
 public:
  // Room for `bytes` more at the returned address; add() them once written.
  char* room(std::size_t bytes) {
    if (bytes_.size() - used_ < bytes) bytes_.resize(std::max(2 * bytes_.size(), used_ + bytes));
    return bytes_.data() + used_;
  }
  void add(std::size_t bytes) { used_ += bytes; }
  std::string_view text() const { return std::string_view(bytes_.data(), used_); }
  void clear() { used_ = 0; }

 private:
  std::vector<char> bytes_;
  std::size_t used_ = 0;
};

// The line with its x, y, z fields replaced by the mapped values, and "\n".
void append_mapped(ChunkText& out, const PointLine& line, const double* xyz) {
  char* const start = out.room(line.text.size() + 3 * kNumberCapacity + 1);
  char* p = start;
  std::size_t copied = 0;
  for (int c = 0; c < 3; ++c) {
    const Field& field = line.coordinates[c];
    p = std::copy(line.text.data() + copied, line.text.data() + field.begin, p);
    p += put_number(p, xyz[c]);
    copied = field.end;
  }
  p = std::copy(line.text.data() + copied, line.text.data() + line.text.size(), p);
  *p++ = '\n';
  out.add(static_cast<std::size_t>(p - start));
}

void append_line(ChunkText& out, std::string_view text) {
  char* const start = out.room(text.size() + 1);
  std::copy(text.begin(), text.end(), start);
  start[text.size()] = '\n';
  out.add(text.size() + 1);
}

void check_finite(const double* xyz, const std::string& shown_name, int line_number) {
  if (!std::isfinite(xyz[0]) || !std::isfinite(xyz[1]) || !std::isfinite(xyz[2])) {
    throw InputError(shown_name + ":" + std::to_string(line_number) +
                     ": the point maps to a non-finite coordinate (too large)");
  }
}

}  // namespace

PointFile read_point_file(std::istream& in, const std::string& shown_name) {
  PointReader reader(in, shown_name);
  PointFile file;
  std::unordered_map<std::string, int> first_line_of;
  PointLine line;
  double xyz[3];
  do {
    while (reader.next(line, xyz)) {
      if (!line.is_point) continue;
      file.coordinates.insert(file.coordinates.end(), xyz, xyz + 3);
      if (!reader.named()) continue;
      std::string name(text_of(line.text, line.name));
      const auto [found, added] = first_line_of.emplace(name, reader.line_number());
      if (!added) {
        throw InputError(reader.where() + "the name '" + excerpt_of(name).text +
                         "' was given on line " + std::to_string(found->second) +
                         " already; a common point needs a name of its own");
      }
      file.names.push_back(std::move(name));
    }
  } while (reader.refill());
  return file;
}

// A chunk is the lines of one block up to kPointChunk points (and twice as many
// lines), so that its lines stay in the block while it is mapped and written.
std::size_t map_point_stream(std::istream& in, const std::string& shown_name,
                             const std::function<void(double* xyz, std::size_t points)>& map,
                             const std::function<void(std::string_view text)>& write) {
  PointReader reader(in, shown_name);
  std::vector<PointLine> lines(2 * kPointChunk);
  std::vector<int> line_numbers(kPointChunk);
  std::vector<double> xyz(3 * kPointChunk);
  ChunkText out;
  std::size_t total = 0;
  do {
    for (bool block_left = true; block_left;) {
      std::size_t count = 0, points = 0;
      while (points < kPointChunk && count < lines.size() &&
             (block_left = reader.next(lines[count], &xyz[3 * points]))) {
        if (lines[count].is_point) line_numbers[points++] = reader.line_number();
        ++count;
      }
      if (count == 0) break;
      map(xyz.data(), points);
      out.clear();
      for (std::size_t i = 0, point = 0; i < count; ++i) {
        if (!lines[i].is_point) {
          append_line(out, lines[i].text);
          continue;
        }
        check_finite(&xyz[3 * point], shown_name, line_numbers[point]);
        append_mapped(out, lines[i], &xyz[3 * point++]);
      }
      total += points;
      write(out.text());
    }
  } while (reader.refill());
  return total;
}

}  // namespace helmert7
