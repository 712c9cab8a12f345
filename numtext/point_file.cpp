// SPDX-License-Identifier: MIT
// Point files: one point to a line, "[name] x y z [anything else]". A line is
// split into fields once, its x, y and z converted by std::from_chars, and a mapped
// line rebuilt from the original bytes around the three fields, so names,
// separators, trailing fields, headers and comments pass through unchanged.
#include <charconv>
#include <cmath>
#include <cstdint>
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

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

bool is_skipped(std::string_view line) {
  const std::string_view text = trimmed(line);
  return text.empty() || text.front() == '#';
}

Separator separator_of(std::string_view line) {
  if (line.find(';') != std::string_view::npos) return Separator::kSemicolon;
  if (line.find(',') != std::string_view::npos) return Separator::kComma;
  return Separator::kBlanks;
}

void split_fields(std::string_view line, Separator separator, std::vector<Field>& fields) {
  fields.clear();
  if (separator == Separator::kBlanks) {
    for (std::size_t i = 0; i < line.size();) {
      while (i < line.size() && is_blank(line[i])) ++i;
      const std::size_t begin = i;
      while (i < line.size() && !is_blank(line[i])) ++i;
      if (i > begin) fields.push_back({begin, i});
    }
    return;
  }
  const char mark = separator == Separator::kComma ? ',' : ';';
  for (std::size_t begin = 0;;) {
    std::size_t end = line.find(mark, begin);
    if (end == std::string_view::npos) end = line.size();
    std::size_t first = begin, last = end;  // the field without its blanks
    while (first < last && is_blank(line[first])) ++first;
    while (last > first && is_blank(line[last - 1])) --last;
    fields.push_back({first, last});
    if (end == line.size()) return;
    begin = end + 1;
  }
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

// One line of a point file, split.
struct PointLine {
  std::string text;
  std::vector<Field> fields;
  bool is_point = false;
  std::size_t first_coordinate = 0;  // index of the x field
};

// Reads lines and tells headers, comments and points apart; holds what the first
// point line decided for the whole file.
class PointReader {
 public:
  PointReader(std::istream& in, const std::string& shown_name) : in_(in), shown_name_(shown_name) {}

  // The next line, or false at the end. Throws InputError for a bad point line.
  bool next(PointLine& line, double* xyz) {
    if (!std::getline(in_, line.text)) return false;
    ++number_;
    if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
    if (number_ == 1 && line.text.rfind("\xEF\xBB\xBF", 0) == 0) bom_ = true;
    const std::string_view text = content(line.text);
    line.is_point = false;
    if (is_skipped(text)) return true;
    const bool first = !seen_line_;
    seen_line_ = true;
    if (first && is_header(text)) return true;
    if (!form_known_) decide_form(text);
    split_fields(text, separator_, line.fields);
    check_form(text, line.fields);
    line.first_coordinate = named_ ? 1 : 0;
    convert(text, line, xyz);
    line.is_point = true;
    return true;
  }

  // "points.csv:7: " for messages about the current line.
  std::string where() const { return shown_name_ + ":" + std::to_string(number_) + ": "; }
  int line_number() const { return number_; }
  bool named() const { return named_; }
  // The line without the byte-order mark of the file's first line.
  std::string_view content(const std::string& text) const {
    return number_ == 1 && bom_ ? std::string_view(text).substr(3) : std::string_view(text);
  }

 private:
  // A first line whose x, y and z fields are all no numbers: a header.
  bool is_header(std::string_view text) const {
    std::vector<Field> fields;
    split_fields(text, separator_of(text), fields);
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
    std::vector<Field> fields;
    split_fields(text, separator_, fields);
    named_ = fields.size() >= 4;
    form_known_ = true;
  }

  void check_form(std::string_view text, const std::vector<Field>& fields) const {
    const bool fits = named_ ? fields.size() >= 4 : fields.size() == 3;
    if (fits) return;
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

  void convert(std::string_view text, const PointLine& line, double* xyz) const {
    static const char* const kAxes[] = {"x", "y", "z"};
    for (int c = 0; c < 3; ++c) {
      const std::string_view field = text_of(text, line.fields[line.first_coordinate + c]);
      if (!parse_number(field, xyz[c])) {
        throw InputError(where() + "'" + excerpt_of(field).text + "' is not a number (" +
                         kAxes[c] + ")");
      }
    }
  }

  std::istream& in_;
  const std::string& shown_name_;
  int number_ = 0;
  bool bom_ = false;
  bool seen_line_ = false;
  bool form_known_ = false;
  bool named_ = false;
  Separator separator_ = Separator::kBlanks;
};

// The line with its x, y, z fields replaced by the mapped values, and "\n".
void append_mapped(std::string& out, std::string_view text, const PointLine& line,
                   const double* xyz) {
  char number[kNumberCapacity];
  std::size_t copied = 0;
  for (int c = 0; c < 3; ++c) {
    const Field& field = line.fields[line.first_coordinate + c];
    out.append(text.substr(copied, field.begin - copied));
    out.append(number, put_number(number, xyz[c]));
    copied = field.end;
  }
  out.append(text.substr(copied));
  out += '\n';
}

}  // namespace

PointFile read_point_file(std::istream& in, const std::string& shown_name) {
  PointReader reader(in, shown_name);
  PointFile file;
  std::unordered_map<std::string, int> first_line_of;
  PointLine line;
  double xyz[3];
  while (reader.next(line, xyz)) {
    if (!line.is_point) continue;
    file.coordinates.insert(file.coordinates.end(), xyz, xyz + 3);
    if (!reader.named()) continue;
    std::string name(text_of(reader.content(line.text), line.fields[0]));
    const auto [found, added] = first_line_of.emplace(name, reader.line_number());
    if (!added) {
      throw InputError(reader.where() + "the name '" + excerpt_of(name).text +
                       "' was given on line " + std::to_string(found->second) +
                       " already; a common point needs a name of its own");
    }
    file.names.push_back(std::move(name));
  }
  return file;
}

std::size_t map_point_stream(std::istream& in, const std::string& shown_name,
                             const std::function<void(double* xyz, std::size_t points)>& map,
                             const std::function<void(std::string_view text)>& write) {
  PointReader reader(in, shown_name);
  std::vector<PointLine> lines(2 * kPointChunk);
  std::vector<int> line_numbers(kPointChunk);
  std::vector<double> xyz(3 * kPointChunk);
  std::string out;
  std::size_t total = 0;
  for (bool more = true; more;) {
    std::size_t count = 0, points = 0;
    while (points < kPointChunk && count < lines.size() &&
           (more = reader.next(lines[count], &xyz[3 * points]))) {
      if (lines[count].is_point) line_numbers[points++] = reader.line_number();
      ++count;
    }
    map(xyz.data(), points);
    out.clear();
    for (std::size_t i = 0, point = 0; i < count; ++i) {
      const std::string_view text =
          total == 0 && i == 0 ? reader.content(lines[i].text) : std::string_view(lines[i].text);
      if (!lines[i].is_point) {
        out.append(lines[i].text).push_back('\n');
        continue;
      }
      if (!std::isfinite(xyz[3 * point]) || !std::isfinite(xyz[3 * point + 1]) ||
          !std::isfinite(xyz[3 * point + 2])) {
        throw InputError(shown_name + ":" + std::to_string(line_numbers[point]) +
                         ": the point maps to a non-finite coordinate (too large)");
      }
      append_mapped(out, text, lines[i], &xyz[3 * point++]);
    }
    total += points;
    write(out);
  }
  return total;
}

}  // namespace helmert7
