// SPDX-License-Identifier: MIT
// Point files: one point to a line, "[name] x y z [anything else]". The file is
// read a block at a time and its lines taken from the block without copying; a
// line is split only as far as its z field, and its numbers are read exactly.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// HELMERT7_PORTABLE_SCAN compiles the scan that machines without SSE2 use, so
// that it is built and tested on those that have it too.
#if defined(__SSE2__) && !defined(HELMERT7_PORTABLE_SCAN)
#define HELMERT7_SSE2_SCAN 1
#include <emmintrin.h>
#endif

#ifdef _WIN32
#include <windows.h>
#endif

#include "geodesy/geodesy.h"
#include "points/point_lines.h"
#include "points/points.h"

namespace helmert7 {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool is_blank(char c) { return c == ' ' || c == '\t'; }

bool is_skipped(std::string_view line) {
  std::size_t first = 0;
  while (first < line.size() && is_blank(line[first])) ++first;
  return first == line.size() || line[first] == '#';
}

// ';' when the line holds one, else ',' when it holds one, else ' ' for blanks.
char separator_of(std::string_view line) {
  if (line.find(';') != std::string_view::npos) return ';';
  if (line.find(',') != std::string_view::npos) return ',';
  return ' ';
}

Field field(std::size_t begin, std::size_t end) {
  return {static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(end)};
}

// Splits off the first `most` fields at most, so that text after them is never
// scanned; returns how many were found.
std::size_t split_fields(std::string_view line, char separator, Field* fields, std::size_t most) {
  std::size_t count = 0;
  if (separator == ' ') {
    for (std::size_t i = 0; i < line.size() && count < most;) {
      while (i < line.size() && is_blank(line[i])) ++i;
      const std::size_t begin = i;
      while (i < line.size() && !is_blank(line[i])) ++i;
      if (i > begin) fields[count++] = field(begin, i);
    }
    return count;
  }
  for (std::size_t begin = 0; count < most;) {
    std::size_t end = line.find(separator, begin);
    if (end == std::string_view::npos) end = line.size();
    std::size_t first = begin, last = end;  // the field without its blanks
    while (first < last && is_blank(line[first])) ++first;
    while (last > first && is_blank(line[last - 1])) --last;
    fields[count++] = field(first, last);
    if (end == line.size()) break;
    begin = end + 1;
  }
  return count;
}

std::vector<Field> all_fields(std::string_view line, char separator) {
  std::vector<Field> fields(line.size() + 1);  // no line has more
  fields.resize(split_fields(line, separator, fields.data(), fields.size()));
  return fields;
}

std::string_view text_of(std::string_view line, const Field& field) {
  return line.substr(field.begin, field.end - field.begin);
}

// The digits are read eight bytes at a time as one integer whose lowest byte
// comes first in memory.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the digit scan needs a little-endian machine");

// The value of the first `count` (at most 8) of the 8 digits read at `p`: the
// digits moved to the top bytes behind zeros, then combined pairwise.
std::uint64_t digits_value(const char* p, int count) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  std::uint64_t bytes;
  std::memcpy(&bytes, p, 8);
  const int unused = 4 * (8 - count);  // shifted twice, as 64 bits at once would be undefined
  std::uint64_t digits = ((bytes & 0x0F * kOnes) << unused) << unused;
  digits = (digits * 10 + (digits >> 8)) & 0x00FF00FF00FF00FFULL;
  digits = (digits * 100 + (digits >> 16)) & 0x0000FFFF0000FFFFULL;
  return (digits * 10000 + (digits >> 32)) & 0xFFFFFFFFULL;
}

// How many of the 8 bytes at `p` are digits before the first other byte, with
// their value, taken in a few operations on all 8 bytes at once (the bytes in
// memory order of a little-endian machine).
int leading_digits(const char* p, std::uint64_t& value) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  std::uint64_t bytes;
  std::memcpy(&bytes, p, 8);
  // A byte is a digit when its high half is 3 and it stays so with 6 added; a byte
  // that carries into the next lies before it, so the carry changes no answer.
  const std::uint64_t odd = ((bytes & 0xF0 * kOnes) ^ 0x30 * kOnes) |
                            (((bytes + 0x06 * kOnes) & 0xF0 * kOnes) ^ 0x30 * kOnes);
  const std::uint64_t flags = (((odd & 0x7F * kOnes) + 0x7F * kOnes) | odd) & 0x80 * kOnes;
  const int count = flags != 0 ? __builtin_ctzll(flags) / 8 : 8;
  value = digits_value(p, count);
  return count;
}

constexpr std::uint64_t kTens[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// Appends the digits from `p` on to `mantissa`, eight at a time while eight bytes
// are left before `end`; returns the first byte after them. Past 19 digits the
// mantissa wraps, which the caller refuses. Inlined, so that the mantissa stays in
// a register.
inline __attribute__((always_inline)) const char* read_digits(const char* p, const char* end,
                                                             std::uint64_t& mantissa) {
  for (int count = 8; count == 8 && end - p >= 8; p += count) {
    std::uint64_t value = 0;
    count = leading_digits(p, value);
    mantissa = mantissa * kTens[count] + value;
  }
  for (; p != end && static_cast<unsigned char>(*p - '0') < 10; ++p) {
    mantissa = 10 * mantissa + static_cast<unsigned char>(*p - '0');
  }
  return p;
}

// The digits of a decimal: where they end, their value with the point left out,
// and how many stand before and after the point.
struct Digits {
  const char* end = nullptr;
  std::uint64_t mantissa = 0;
  std::ptrdiff_t whole = 0, decimals = 0;
};

// Bit i set when byte i of the 16 at `p` is no digit.
std::uint32_t non_digits(const char* p) {
#ifdef HELMERT7_SSE2_SCAN
  // Bytes moved down by '0' + 128 are digits when below -128 + 10, as signed.
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i moved = _mm_sub_epi8(bytes, _mm_set1_epi8(static_cast<char>('0' + 128)));
  const __m128i digits = _mm_cmplt_epi8(moved, _mm_set1_epi8(static_cast<char>(-128 + 10)));
  return ~static_cast<std::uint32_t>(_mm_movemask_epi8(digits)) & 0xFFFF;
#else
  std::uint32_t stops = 0;
  for (int i = 0; i < 16; ++i) {
    stops |= static_cast<std::uint32_t>(static_cast<unsigned char>(p[i] - '0') >= 10) << i;
  }
  return stops;
#endif
}

// Bytes that read_short_digits() may read from where the digits begin.
constexpr std::ptrdiff_t kShortReach = 24;
static_assert(kLineReadAhead >= kShortReach, "a line's numbers are read as short ones");

// The digits from `p` on found with one look at 16 bytes, so that where the
// number ends is known at once and the next number's reading need not wait for
// this one's value. For a number shorter than 16 bytes with at most 8 digits on
// either side of the point; false for any other. Reads kShortReach bytes; those
// from `end` on count as no digits.
bool read_short_digits(const char* p, const char* end, Digits& digits) {
  std::uint32_t stops = non_digits(p) | 0x10000;
  if (end - p < 16) stops |= ~std::uint32_t{0} << (end - p);
  const int whole = __builtin_ctz(stops);
  if (whole > 8) return false;
  int decimals = 0, length = whole;
  if (p + whole < end && p[whole] == '.') {
    decimals = __builtin_ctz(stops >> (whole + 1));
    length = whole + 1 + decimals;
  }
  if (length >= 16 || decimals > 8) return false;
  digits.mantissa = digits_value(p, whole) * kTens[decimals] + digits_value(p + whole + 1, decimals);
  digits.end = p + length;
  digits.whole = whole;
  digits.decimals = decimals;
  return true;
}

// The digits from `p` on, of any number of them.
Digits read_any_digits(const char* p, const char* end) {
  Digits digits;
  digits.end = read_digits(p, end, digits.mantissa);
  digits.whole = digits.end - p;
  if (digits.end != end && *digits.end == '.') {
    const char* const decimals_begin = digits.end + 1;
    digits.end = read_digits(decimals_begin, end, digits.mantissa);
    digits.decimals = digits.end - decimals_begin;
  }
  return digits;
}

// "-1234.567" from `p` on, up to the first byte that is no part of it: digits
// with at most one point, read exactly without a general parser. A mantissa m up
// to 2^53 and 10^k up to 10^22 are exact doubles, so m / 10^k is the correctly
// rounded value, as std::from_chars would give it (Clinger's fast path). Bytes up
// to `readable` (at least `end`) may be read, but only those before `end` count.
// Returns the end of the number, or nullptr when the number has another form (no
// digits, too many) and the general parser must read it.
const char* read_plain_decimal(const char* p, const char* end, const char* readable,
                               double& value) {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const bool negative = p != end && *p == '-';
  p += negative;
  Digits digits;
  if (readable - p < kShortReach || !read_short_digits(p, end, digits)) {
    digits = read_any_digits(p, end);
  }
  const std::ptrdiff_t count = digits.whole + digits.decimals;
  if (count == 0 || count > 19 || digits.mantissa > (std::uint64_t{1} << 53) ||
      digits.decimals > 22) {
    return nullptr;
  }
  value = static_cast<double>(digits.mantissa) / kPowers[digits.decimals];
  if (negative) value = -value;
  return digits.end;
}

bool parse_plain_decimal(std::string_view text, double& value) {
  const char* const end = text.data() + text.size();
  return read_plain_decimal(text.data(), end, end, value) == end;
}

// A decimal number, finite, filling the whole field ("-12.5", "+3", "1.25e3").
bool parse_number(std::string_view text, double& value) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return false;  // "+-5"
  }
  if (parse_plain_decimal(text, value)) return true;
  if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text.front())) ||
                        text.front() == '.' || text.front() == '-')) {
    return false;  // also "inf" and "nan", which from_chars would take
  }
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size() &&
         std::isfinite(value);
}

// A coordinate: a number, or where `angle` an angle in degrees, which only a
// field with a ':' can be beyond a number (d:m:s).
bool parse_coordinate(std::string_view text, bool angle, double& value) {
  if (parse_number(text, value)) return true;
  if (!angle || geodesy::angle_style_of(text) != geodesy::AngleStyle::dms) return false;
  try {
    value = geodesy::read_degrees(text);
    return true;
  } catch (const Failure&) {
    return false;
  }
}

// Whether a field holds a number, whole or as one of its blank-separated parts.
bool holds_number(std::string_view field) {
  double ignored;
  for (const Field& part : all_fields(field, ' ')) {
    if (parse_number(text_of(field, part), ignored)) return true;
  }
  return false;
}

// How a first point line is split, and whether it reads as a point that way.
struct LineForm {
  char separator = ' ';
  bool named = false;
  bool point = false;
};

LineForm split_form(std::string_view line, char separator, bool angles) {
  const std::vector<Field> fields = all_fields(line, separator);
  LineForm form{separator, fields.size() >= 4, fields.size() >= 3};
  double ignored;
  for (std::size_t i = form.named; form.point && i < form.named + 3u; ++i) {
    form.point = parse_coordinate(text_of(line, fields[i]), angles && i < form.named + 2u, ignored);
  }
  return form;
}

// The first of ';', ',' and blanks that the line holds under which it reads as a
// point, so that a trailing field may hold the others ("T1 1 2 3 left,of,gate");
// when none does, the first it holds, as the line is then refused.
LineForm form_of(std::string_view line, bool angles) {
  for (const char separator : {';', ',', ' '}) {
    if (separator != ' ' && line.find(separator) == std::string_view::npos) continue;
    const LineForm form = split_form(line, separator, angles);
    if (form.point) return form;
  }
  return split_form(line, separator_of(line), angles);
}

// A line with words where x, y and z stand and no number before them: "name,x,y,z",
// "Point;East (m);North (m);Height (m)".
bool is_header(std::string_view line) {
  const std::vector<Field> fields = all_fields(line, separator_of(line));
  if (fields.size() < 3) return false;
  const std::size_t z = fields.size() == 3 ? 2 : 3;
  for (std::size_t i = 0; i <= z; ++i) {
    if (holds_number(text_of(line, fields[i]))) return false;
  }
  return true;
}

// What a path names when it is no file of points: "a directory", "a device", "a
// socket"; nullptr for a file, a pipe, or no such file, which opening it reports.
const char* kind_refused(const std::string& path) {
  std::error_code error;
  switch (std::filesystem::status(path, error).type()) {
    case std::filesystem::file_type::directory:
      return "a directory";
    case std::filesystem::file_type::block:
    case std::filesystem::file_type::character:
      return "a device";
    case std::filesystem::file_type::socket:
      return "a socket";
    default:
      break;
  }
#ifdef _WIN32
  // NUL, CON, COM1 and their kin are devices that the file status does not tell
  // from files; the handle's type does.
  const DWORD any_sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const HANDLE handle = CreateFileA(path.c_str(), 0, any_sharing, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    const bool device = GetFileType(handle) == FILE_TYPE_CHAR;
    CloseHandle(handle);
    if (device) return "a device";
  }
#endif
  return nullptr;
}

std::string line_place(const std::string& shown_name, std::size_t number) {
  return shown_name + ":" + std::to_string(number) + ": ";
}

// The columns of a header that hold standard deviations: the header's field of
// each of the three values (sigma's one field three times), and the header's line.
struct SigmaColumns {
  SigmaAxes axes = SigmaAxes::none;
  std::size_t fields[3]{};
  std::string_view names[3];
  std::size_t header_line = 0;
};

// The names of the columns of each kind of standard deviations, as SigmaAxes orders them.
struct SigmaKind {
  SigmaAxes axes;
  std::string_view names[3];
};
constexpr SigmaKind kSigmaKinds[] = {{SigmaAxes::cartesian, {"sx", "sy", "sz"}},
                                     {SigmaAxes::north_east_up, {"sn", "se", "su"}},
                                     {SigmaAxes::all, {"sigma", "sigma", "sigma"}}};

bool same_name(std::string_view field, std::string_view name) {
  return std::equal(field.begin(), field.end(), name.begin(), name.end(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == b;
  });
}

// The header's field named `name`, or none; a name given twice is refused.
std::optional<std::size_t> column_of(std::string_view header, const std::vector<Field>& fields,
                                     std::string_view name, const std::string& where) {
  std::optional<std::size_t> found;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (!same_name(text_of(header, fields[i]), name)) continue;
    if (found) {
      throw Failure(where + "the header names the column '" + std::string(name) + "' twice");
    }
    found = i;
  }
  return found;
}

// The columns of standard deviations that a header line names: all three of one
// kind or none.
SigmaColumns sigma_columns(std::string_view header, std::size_t number, const std::string& where) {
  const std::vector<Field> fields = all_fields(header, separator_of(header));
  SigmaColumns columns;
  for (const SigmaKind& kind : kSigmaKinds) {
    std::string named, missing;
    for (int k = 0; k < 3; ++k) {
      const std::optional<std::size_t> found = column_of(header, fields, kind.names[k], where);
      if (found) columns.fields[k] = *found;
      const bool repeated = k > 0 && kind.axes == SigmaAxes::all;  // sigma is named once
      if (!repeated) (found ? named : missing) += " " + std::string(kind.names[k]);
    }
    if (named.empty()) continue;
    if (!missing.empty())
      throw Failure(where + "the header names" + named + " but not" + missing +
                    ": standard deviations along axes come three together");
    if (columns.axes != SigmaAxes::none)
      throw Failure(where +
                    "the header names standard deviations of two kinds; give sx sy sz, "
                    "sn se su or sigma");
    columns.axes = kind.axes;
    std::copy(kind.names, kind.names + 3, columns.names);
  }
  columns.header_line = number;
  return columns;
}

}  // namespace

void check_point_file_kind(const std::string& path, const std::string& shown) {
  if (const char* kind = kind_refused(path)) {
    throw Failure("cannot read " + shown + ": it is " + kind + ", not a file of points");
  }
}

BlockReader::BlockReader(std::istream& in, const std::string& shown_name, std::size_t block_bytes)
    : in_(in),
      shown_name_(shown_name),
      block_(std::clamp(block_bytes, std::size_t{1}, kLongestLine) + kLineReadAhead) {}

bool BlockReader::refill(std::size_t next_line) {
  if (at_end_) return false;
  std::memmove(block_.data(), block_.data() + lines_end_, filled_ - lines_end_);
  filled_ -= lines_end_;
  make_room(next_line);
  const std::size_t room = block_.size() - kLineReadAhead;
  in_.read(block_.data() + filled_, static_cast<std::streamsize>(room - filled_));
  filled_ += static_cast<std::size_t>(in_.gcount());
  if (in_.bad()) throw Failure(shown_name_ + ": the file cannot be read to its end");
  std::memset(block_.data() + filled_, 0, kLineReadAhead);
  at_end_ = in_.eof();
  lines_end_ = filled_;
  if (!at_end_) {
    while (lines_end_ > 0 && block_.data()[lines_end_ - 1] != '\n') --lines_end_;
  }
  return true;
}

// A line that fills the block makes it grow, up to kLongestLine.
void BlockReader::make_room(std::size_t next_line) {
  const std::size_t room = block_.size() - kLineReadAhead;
  if (filled_ < room) return;
  if (room >= kLongestLine) {
    throw Failure(line_place(shown_name_, next_line) +
                  "the line is 1 MiB long or longer; a point line is short: is this a point file?");
  }
  block_.grow(std::min(2 * room, kLongestLine) + kLineReadAhead, filled_);
}

std::optional<PaddedView> LineCursor::next() {
  const std::string_view rest = rest_.text();
  if (rest.empty()) return std::nullopt;
  const std::size_t after = std::min(rest.find('\n'), rest.size() - 1) + 1;  // the next line
  std::size_t size = rest[after - 1] == '\n' ? after - 1 : after;
  if (size > 0 && rest[size - 1] == '\r') --size;
  end_ = rest.substr(size, after - size);
  const PaddedView line = rest_.part(0, size);
  rest_ = rest_.part(after);
  ++number_;
  return line;
}

void PointForm::read(PaddedView text, std::size_t number, PointLine& line, double* xyz) {
  line.text = text.text();
  line.is_point = false;
  const std::size_t mark =
      number == 1 && line.text.rfind(kByteOrderMark, 0) == 0 ? kByteOrderMark.size() : 0;
  const PaddedView content = text.part(mark);
  if (is_skipped(content.text())) return;
  if (!form_known_ && !decide_form(content.text())) return;  // a header
  read_point(content, number, line, xyz);
  line.name = field(line.name.begin + mark, line.name.end + mark);
  for (Field& coordinate : line.coordinates) coordinate = field(coordinate.begin + mark, coordinate.end + mark);
  line.is_point = true;
}

std::string PointForm::where(std::size_t number) const { return line_place(shown_name_, number); }

// Takes the form of the first point line; false for a header, the first line
// when it is no point, which leaves the form to the next line.
bool PointForm::decide_form(std::string_view text) {
  const bool first = !seen_line_;
  seen_line_ = true;
  const LineForm form = form_of(text, angles_);
  if (!form.point && first && is_header(text)) return false;
  separator_ = form.separator;
  named_ = form.named;
  form_known_ = true;
  return true;
}

// The usual point line in one pass: the name split off, then each coordinate a
// plain decimal read up to where its field ends. False for any other line, which
// is then split and read field by field, as every line could be.
bool PointForm::read_plain_point(PaddedView padded, PointLine& line, double* xyz) const {
  const std::string_view text = padded.text();
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  const char* p = begin;
  if (named_) {
    split_fields(text, separator_, &line.name, 1);  // a point line is never blank
    p = begin + line.name.end;
    if (separator_ != ' ') {  // past the blanks after the name and the separator
      p = static_cast<const char*>(std::memchr(p, separator_, end - p));
      if (p == nullptr) return false;
      ++p;
    }
  }
  for (int c = 0; c < 3; ++c) {
    while (p != end && is_blank(*p)) ++p;
    // A padded line: bytes past `end` may be looked at.
    const char* const number_end = read_plain_decimal(p, end, end + kLineReadAhead, xyz[c]);
    if (number_end == nullptr) return false;
    line.coordinates[c] = field(p - begin, number_end - begin);
    p = number_end;
    if (separator_ == ' ') {
      if (p != end && !is_blank(*p)) return false;
      continue;
    }
    while (p != end && is_blank(*p)) ++p;
    const bool last = c == 2;
    if (p == end ? !last : *p != separator_ || (last && !named_)) return false;
    p += p != end;
  }
  while (!named_ && p != end && is_blank(*p)) ++p;  // a line without names ends after z
  return named_ || p == end;
}

void PointForm::read_point(PaddedView padded, std::size_t number, PointLine& line,
                           double* xyz) const {
  if (read_plain_point(padded, line, xyz)) return;
  const std::string_view text = padded.text();
  Field fields[4];  // enough to tell whether the line has the file's form
  const std::size_t found = split_fields(text, separator_, fields, 4);
  if (named_ ? found < 4 : found != 3) refuse_form(text, number);
  const std::size_t x = named_ ? 1 : 0;
  line.name = named_ ? fields[0] : Field{0, 0};
  std::copy(fields + x, fields + x + 3, line.coordinates);
  read_fields(text, line.coordinates, number, xyz);
}

// The three coordinates of a line split into fields.
void PointForm::read_fields(std::string_view text, const Field* fields, std::size_t number,
                            double* xyz) const {
  for (int c = 0; c < 3; ++c) {
    const std::string_view value = text_of(text, fields[c]);
    const bool angle = angles_ && c < 2;
    if (parse_coordinate(value, angle, xyz[c])) continue;
    if (angle && geodesy::angle_style_of(value) == geodesy::AngleStyle::dms) {
      refuse_angle(value, c, number);
    }
    refuse_number(text, fields[c], c, number);
  }
}

// What is wrong with a d:m:s angle, as the angle reader says it.
void PointForm::refuse_angle(std::string_view value, int axis, std::size_t number) const {
  try {
    geodesy::read_degrees(value);
  } catch (const Failure& failure) {
    throw Failure(where(number) + failure.what() + (axis == 0 ? " (latitude)" : " (longitude)"));
  }
}

// "'abc' is not a number (z)"; an empty field is named as such, with the
// separator that ends the line when it stands there.
void PointForm::refuse_number(std::string_view text, const Field& field, int axis,
                              std::size_t number) const {
  static const char* const kAxes[] = {"x", "y", "z"};
  const std::string_view value = text_of(text, field);
  if (!value.empty()) {
    throw Failure(where(number) + "'" + excerpt_of(value).text + "' is not a number (" +
                  kAxes[axis] + ")");
  }
  const std::size_t last = text.find_last_not_of(" \t");
  const bool at_end = text[last] == separator_ && field.begin > last;
  throw Failure(where(number) + "the " + kAxes[axis] + " field is empty" +
                (at_end ? std::string(": the line ends in '") + separator_ + "'" : std::string()));
}

void PointForm::refuse_form(std::string_view text, std::size_t number) const {
  const std::vector<Field> fields = all_fields(text, separator_);
  double ignored;
  std::size_t numbers = 0;
  for (const Field& each : fields) numbers += parse_number(text_of(text, each), ignored);
  const std::string found = numbers == fields.size()
                                ? std::to_string(numbers) + (numbers == 1 ? " number" : " numbers")
                                : std::to_string(fields.size()) +
                                      (fields.size() == 1 ? " field" : " fields");
  throw Failure(where(number) + (named_ ? "expected name x y z" : "expected x y z") +
                   ", found " + found +
                   (fields.size() >= 4 ? " (the first point line has no name)" : ""));
}

namespace {

// A header's columns of standard deviations, when line `number` is the header
// (the first line not skipped before any point).
void read_header(const PointLine& line, std::size_t number, const PointForm& form,
                 SigmaColumns& columns) {
  std::string_view text = line.text;
  if (number == 1 && text.rfind(kByteOrderMark, 0) == 0) text.remove_prefix(kByteOrderMark.size());
  if (is_skipped(text)) return;
  columns = sigma_columns(text, number, form.where(number));
}

// The standard deviations of a point line, from the fields the header's columns
// name, which stand after the line's z.
void read_point_sigmas(const PointLine& line, std::size_t number, const PointForm& form,
                       const SigmaColumns& columns, std::vector<double>& values) {
  const std::vector<Field> fields = all_fields(line.text, form.separator());
  const std::size_t z = form.named() ? 3 : 2;
  for (int k = 0; k < 3; ++k) {
    const std::size_t i = columns.fields[k];
    const auto column = [&columns, k] {
      return "the column '" + std::string(columns.names[k]) + "' (the header on line " +
             std::to_string(columns.header_line) + ")";
    };
    if (i <= z)
      throw Failure(form.where(number) + column() +
                    " stands where the points have their name or x, y, z");
    if (i >= fields.size() || fields[i].begin == fields[i].end)
      throw Failure(form.where(number) + "no standard deviation in " + column() +
                    ": give one for every point of the file");
    const std::string_view value = text_of(line.text, fields[i]);
    double sigma = 0;
    if (!parse_number(value, sigma) || !(sigma > 0))
      throw Failure(form.where(number) + "'" + excerpt_of(value).text +
                    "' is no standard deviation (" + std::string(columns.names[k]) +
                    "): it must be a positive, finite number of metres");
    values.push_back(sigma);
  }
}

}  // namespace

PointFile read_point_file(std::istream& in, const std::string& shown_name, std::size_t block_bytes,
                          PointFields fields) {
  BlockReader blocks(in, shown_name, block_bytes);
  PointForm form(shown_name, fields.angles);
  PointFile file;
  SigmaColumns columns;
  std::unordered_map<std::string, std::size_t> first_line_of;
  PointLine line;
  double xyz[3];
  // first: the number of the block's first line
  for (std::size_t first = 1; blocks.refill(first);) {
    LineCursor lines(blocks.whole_lines(), first);
    while (const std::optional<PaddedView> text = lines.next()) {
      form.read(*text, lines.number(), line, xyz);
      if (!line.is_point) {
        if (file.coordinates.empty()) read_header(line, lines.number(), form, columns);
        continue;
      }
      file.coordinates.insert(file.coordinates.end(), xyz, xyz + 3);
      file.lines.push_back(lines.number());
      if (columns.axes != SigmaAxes::none)
        read_point_sigmas(line, lines.number(), form, columns, file.sigmas.values);
      if (!form.named()) continue;
      std::string name(text_of(line.text, line.name));
      const auto [found, added] = first_line_of.emplace(name, lines.number());
      if (!added) {
        throw Failure(form.where(lines.number()) + "the name '" + excerpt_of(name).text +
                         "' was given on line " + std::to_string(found->second) +
                         " already; a common point needs a name of its own");
      }
      file.names.push_back(std::move(name));
    }
    first = lines.number() + 1;
  }
  if (file.coordinates.empty()) throw Failure(shown_name + ": the file holds no points");
  file.sigmas.axes = columns.axes;
  return file;
}

}  // namespace helmert7
