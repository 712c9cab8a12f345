// SPDX-License-Identifier: MIT
// Point files, one rule a row: separators, headers, comments, byte-order mark, CR
// LF, numeric names, trailing fields, and each refusal with its FILE:LINE message;
// the streamed mapping keeps every byte but x, y and z, in bounded chunks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "points/points.h"
#include "point_file_support.h"

namespace helmert7 {
namespace {

using test::failure_of;
using test::read_text;

TEST(PointFile, ReadsEveryFormOfLine) {
  const struct {
    const char* rule;
    std::string text;
    std::vector<double> coordinates;
    std::vector<std::string> names;
  } cases[] = {
      {"blanks and tabs", "P1 1 2 3\nP2\t4  5\t6\n", {1, 2, 3, 4, 5, 6}, {"P1", "P2"}},
      {"commas, blanks around fields", "P1, 1,2 ,3\nP2,4,5,6\n", {1, 2, 3, 4, 5, 6}, {"P1", "P2"}},
      {"semicolons", "P1;1;2;3\n", {1, 2, 3}, {"P1"}},
      {"no names", "1 2 3\n4 5 6\n", {1, 2, 3, 4, 5, 6}, {}},
      {"header", "name,x,y,z\nA,1,2,3\n", {1, 2, 3}, {"A"}},
      {"header with semicolons", "Point;E;N;H\nA;1;2;3\n", {1, 2, 3}, {"A"}},
      {"header of three fields", "x y z\n1 2 3\n", {1, 2, 3}, {}},
      {"comments and blank lines", "# survey\n\n  # more\nA 1 2 3\n\n", {1, 2, 3}, {"A"}},
      {"byte-order mark", "\xEF\xBB\xBFname,x,y,z\nA,1,2,3\n", {1, 2, 3}, {"A"}},
      {"byte-order mark before a point", "\xEF\xBB\xBF" "A 1 2 3\n", {1, 2, 3}, {"A"}},
      {"CR LF", "A 1 2 3\r\nB 4 5 6\r\n", {1, 2, 3, 4, 5, 6}, {"A", "B"}},
      {"numeric names", "1001 1 2 3\n1002 4 5 6\n", {1, 2, 3, 4, 5, 6}, {"1001", "1002"}},
      {"trailing fields", "A 1 2 3 pillar north\n", {1, 2, 3}, {"A"}},
      {"number forms", "A -12.5 1.25e3 +3\nB .5 -0 7.\n", {-12.5, 1250, 3, 0.5, -0.0, 7}, {"A", "B"}},
      {"names as bytes", "\xE6\x8E\xA7\xE5\x88\xB6\xE7\x82\xB9" "1 1 2 3\n\xBF\xD8 4 5 6\n",
       {1, 2, 3, 4, 5, 6}, {"\xE6\x8E\xA7\xE5\x88\xB6\xE7\x82\xB9" "1", "\xBF\xD8"}},
      {"no last line end", "A 1 2 3", {1, 2, 3}, {"A"}},
      // a trailing field may hold the separators the point does not use
      {"a remark with commas", "T1 -2249013.947 5023788.792 3211739.362 left,of,gate\nT2 1 2 3 x\n",
       {-2249013.947, 5023788.792, 3211739.362, 1, 2, 3}, {"T1", "T2"}},
      {"a remark with semicolons", "T1,1,2,3,left;right\n", {1, 2, 3}, {"T1"}},
      {"header with units", "Point;East (m);North (m);Height (m)\nA;1;2;3\n", {1, 2, 3}, {"A"}},
  };
  for (const auto& c : cases) {
    const PointFile file = read_text(c.text);
    EXPECT_EQ(file.coordinates, c.coordinates) << c.rule;
    EXPECT_EQ(file.names, c.names) << c.rule;
  }
}

// Plain decimals take a short path; it must give the very doubles that
// std::from_chars gives, also near the limits of that path.
TEST(PointFile, PlainDecimalsReadAsFromCharsReadsThem) {
  std::mt19937_64 random(42);
  std::string text;
  std::vector<double> expected;
  const char* const edges[] = {"9007199254740992", "9007199254740993", "0.1", "-0.0000001",
                               "4000834.7876543219", "123456789012345678.9", "0.0000000000000000000001",
                               "1.0000000000000000000000001", "-4503599627370497.5",
                               // numbers of 15, 16 and 17 bytes, 8 and 9 digits on a side
                               "1234567.1234567", "12345678.123456", "12345678.1234567",
                               "1234567.12345678", "12345678.12345678", "123456789.5",
                               "0.123456789", ".12345678", "12345678.", "-99999999.9999999"};
  std::vector<std::string> numbers(std::begin(edges), std::end(edges));
  for (int i = 0; i < 20000; ++i) {
    const std::string digits = std::to_string(random() % 100000000000000000ULL);
    const std::size_t point = random() % (digits.size() + 1);
    numbers.push_back((i % 2 ? "-" : "") + digits.substr(0, point) + "." + digits.substr(point));
  }
  for (const std::string& number : numbers) {
    double value = 0;
    std::from_chars(number.data(), number.data() + number.size(), value);
    text += number + " 0 0\n";
    expected.insert(expected.end(), {value, 0, 0});
  }
  const PointFile file = read_text(text);
  ASSERT_EQ(file.coordinates.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); i += 3) {
    EXPECT_EQ(file.coordinates[i], expected[i]) << numbers[i / 3];
  }
}

// Maps by adding 1000 to x, 2000 to y, 3000 to z.
std::string mapped(const std::string& text, std::size_t* points = nullptr,
                   std::size_t block_bytes = kPointBlockBytes) {
  std::istringstream in(text);
  std::string out;
  const std::size_t count = map_point_stream(
      in, "map.txt",
      [](double* xyz, std::size_t n, const std::string_view*, const std::size_t*) {
        for (std::size_t i = 0; i < n; ++i) {
          xyz[3 * i] += 1000;
          xyz[3 * i + 1] += 2000;
          xyz[3 * i + 2] += 3000;
        }
      },
      [&out](std::string_view chunk) { out.append(chunk); }, block_bytes);
  if (points) *points = count;
  return out;
}

// A line read the plain way, field by field, to check the reader's one pass over
// usual lines against: whether it is refused, its name, x, y, z, and the line with
// x, y, z replaced by `shifted` (1000, 2000, 3000 added, as mapped() does).
struct Reading {
  bool refused = false;
  std::string name;
  std::vector<double> xyz;
  std::string shifted;
};

bool reference_number(std::string_view text, double& value) {
  if (!text.empty() && text[0] == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text[0] == '-') return false;
  }
  if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '.' ||
                        text[0] == '-')) {
    return false;
  }
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size() &&
         std::isfinite(value);
}

Reading reference_reading(const std::string& line, bool named, char separator) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  std::vector<std::pair<std::size_t, std::size_t>> fields;  // begin, end
  if (separator == ' ') {
    for (std::size_t i = 0; i < line.size();) {
      while (i < line.size() && blank(line[i])) ++i;
      const std::size_t begin = i;
      while (i < line.size() && !blank(line[i])) ++i;
      if (i > begin) fields.emplace_back(begin, i);
    }
  } else {
    for (std::size_t begin = 0;;) {
      const std::size_t end = std::min(line.find(separator, begin), line.size());
      std::size_t first = begin, last = end;
      while (first < last && blank(line[first])) ++first;
      while (last > first && blank(line[last - 1])) --last;
      fields.emplace_back(first, last);
      if (end == line.size()) break;
      begin = end + 1;
    }
  }
  Reading reading, refused;
  refused.refused = true;
  if (named ? fields.size() < 4 : fields.size() != 3) return refused;
  const std::size_t x = named ? 1 : 0;
  if (named) reading.name = line.substr(fields[0].first, fields[0].second - fields[0].first);
  std::size_t copied = 0;
  for (std::size_t c = 0; c < 3; ++c) {
    const auto [begin, end] = fields[x + c];
    double value = 0;
    if (!reference_number(std::string_view(line).substr(begin, end - begin), value)) return refused;
    reading.xyz.push_back(value);
    reading.shifted += line.substr(copied, begin - copied) + format_number(value + 1000.0 * (c + 1));
    copied = end;
  }
  reading.shifted += line.substr(copied) + "\n";
  return reading;
}

// A field that is, or is nearly, a plain decimal: signs, points, exponents,
// digit runs past 8, 19 and 22, bytes that end a run of digits.
std::string random_number(std::mt19937_64& random) {
  static const char* const kOdd[] = {"+", "-", ".", "e3", "E-2", "x", ":", "/", "\xC3\xA9",
                                     "inf", "nan", "+-", "--", "0x"};
  std::string text;
  if (random() % 4 == 0) text += random() % 2 ? "-" : "+";
  const int digits = static_cast<int>(random() % 24);
  for (int i = 0; i < digits; ++i) text += static_cast<char>('0' + random() % 10);
  if (random() % 3 != 0) text += '.';
  const int decimals = static_cast<int>(random() % (random() % 6 == 0 ? 26 : 7));
  for (int i = 0; i < decimals; ++i) text += static_cast<char>('0' + random() % 10);
  if (random() % 8 == 0) text.insert(random() % (text.size() + 1), kOdd[random() % std::size(kOdd)]);
  return text;
}

std::string random_blanks(std::mt19937_64& random) {
  static const char* const kBlanks[] = {"", "", "", " ", "  ", "\t", " \t "};
  return kBlanks[random() % std::size(kBlanks)];
}

std::string random_gap(std::mt19937_64& random, char separator) {
  std::string gap = random_blanks(random);
  if (separator != ' ') gap += separator + random_blanks(random);
  if (gap.empty() || random() % 50 == 0) gap += " ;,"[random() % 3];  // at times a stray one
  return gap;
}

// Lines of every shape read in one pass must read as the plain way reads them,
// in each form of file: same refusals, names, doubles and rewritten bytes.
TEST(PointFile, UsualLinesReadAsTheyReadFieldByField) {
  const struct {
    const char* first_line;
    bool named;
    char separator;
  } forms[] = {{"Q 1 2 3", true, ' '}, {"Q,1,2,3", true, ','}, {"Q;1;2;3", true, ';'},
               {"1 2 3", false, ' '}, {"1,2,3", false, ','}};
  std::mt19937_64 random(15);
  for (const auto& form : forms) {
    std::string accepted_in, accepted_out;
    for (int i = 0; i < 3000; ++i) {
      std::string line = random() % 5 == 0 ? random_gap(random, form.separator) : random_blanks(random);
      if (form.named) line += std::string(1, "ABC-1 "[random() % 6]) + random_gap(random, form.separator);
      const int fields = 2 + static_cast<int>(random() % 3);
      for (int f = 0; f < fields; ++f) {
        line += random_number(random);
        if (f + 1 < fields || random() % 3 == 0) line += random_gap(random, form.separator);
      }
      if (random() % 5 == 0) line += "code";
      const Reading expected = reference_reading(line, form.named, form.separator);
      const std::string text = std::string(form.first_line) + "\n" + line + "\n";
      PointFile file;
      bool refused = false;
      try {
        file = read_text(text);
      } catch (const Failure&) {
        refused = true;
      }
      ASSERT_EQ(refused, expected.refused) << line;
      if (refused) continue;
      ASSERT_EQ(file.coordinates.size(), 6u) << line;
      for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(std::memcmp(&file.coordinates[3 + c], &expected.xyz[c], sizeof(double)), 0)
            << line << " axis " << c;
      }
      if (form.named) {
        EXPECT_EQ(file.names[1], expected.name) << line;
      }
      accepted_in += line + "\n";
      accepted_out += expected.shifted;
    }
    EXPECT_GT(accepted_in.size(), 10000u) << form.first_line;  // most lines are points
    const std::string header = std::string(form.first_line) + "\n";
    EXPECT_EQ(mapped(header + accepted_in), mapped(header) + accepted_out) << form.first_line;
  }
}

TEST(PointFile, RefusesABadLineWithFileAndLine) {
  const struct {
    std::string text;
    const char* message;
  } cases[] = {
      {"A,1,2,3\nB,4,5\n", "pts.csv:2: expected name x y z, found 3 fields"},
      {"name,x,y,z\nA,1,2,3\nB,4\n", "pts.csv:3: expected name x y z, found 2 fields"},
      {"1 2 3\n4 5\n", "pts.csv:2: expected x y z, found 2 numbers"},
      {"1 2 3\nB 4 5 6\n", "pts.csv:2: expected x y z, found 4 fields (the first point line has no name)"},
      {"A 1 2 abc\n", "pts.csv:1: 'abc' is not a number (z)"},
      {"A 1 nan 3\n", "pts.csv:1: 'nan' is not a number (y)"},
      {"A inf 2 3\n", "pts.csv:1: 'inf' is not a number (x)"},
      {"A 1 2 1e999\n", "pts.csv:1: '1e999' is not a number (z)"},
      {"A 0x10 2 3\n", "pts.csv:1: '0x10' is not a number (x)"},
      {"A +-5 2 3\n", "pts.csv:1: '+-5' is not a number (x)"},
      {"A 1 2 3\n# c\nA 4 5 6\n", "pts.csv:3: the name 'A' was given on line 1 already; a common point needs a name of its own"},
      // bytes that end a run of digits within the first eight of a field
      {"A 1234567:9 2 3\n", "pts.csv:1: '1234567:9' is not a number (x)"},
      {"A 12/45678 2 3\n", "pts.csv:1: '12/45678' is not a number (x)"},
      {"A 1 2345678\xFA\xFF" "1 3\n", "pts.csv:1: '2345678\xFA\xFF" "1' is not a number (y)"},
      {"A 1 2 1234567\xC3\xA9\n", "pts.csv:1: '1234567\xC3\xA9' is not a number (z)"},
      // empty fields are named as such, not as '' that is no number
      {"0,0,0,\n", "pts.csv:1: the z field is empty: the line ends in ','"},
      {"A;1;2;3\nB;4;5; \t\n", "pts.csv:2: the z field is empty: the line ends in ';'"},
      {"A,1,,3\n", "pts.csv:1: the y field is empty"},
      // numbers before words make no header: the line is a point, and a bad one
      {"T1 -22 50 abc left,of,gate\n", "pts.csv:1: 'T1 -22 50 abc left' is not a number (x)"},
      {"name 1,x,y,z\nA,1,2,3\n", "pts.csv:1: 'x' is not a number (x)"},
      // a file without points
      {"", "pts.csv: the file holds no points"},
      {"name,x,y,z\n# none yet\n\n", "pts.csv: the file holds no points"},
  };
  for (const auto& c : cases) EXPECT_EQ(failure_of(c.text), c.message) << c.text;
}

// A line is held whole, so its length is capped: memory stays bounded whatever
// the file holds, with blocks of any size.
TEST(PointFile, RefusesALineOfAMebibyteOrMore) {
  const std::string refused =
      "pts.csv:2: the line is 1 MiB long or longer; a point line is short: is this a point file?";
  const std::string just_under = "B 4 5 6 " + std::string(kLongestLine - 9, 'c') + "\n";
  const std::string too_long = "B 4 5 6 " + std::string(kLongestLine, 'c') + "\n";
  const std::string no_line_end(2 * kLongestLine, '\0');
  for (const std::size_t block : {std::size_t{64}, kPointBlockBytes}) {
    EXPECT_EQ(read_text("A 1 2 3\n" + just_under + "C 7 8 9\n", block).names.size(), 3u) << block;
    EXPECT_EQ(failure_of("A 1 2 3\n" + too_long, block), refused) << block;
    EXPECT_EQ(failure_of("A 1 2 3\n" + no_line_end, block), refused) << block;
  }
}

// The line end of a CR LF line as map_point_stream passes it on: the output file
// is written in text mode, which makes "\n" CR LF on Windows.
#ifdef _WIN32
const std::string kCrLfPassed = "\n";
#else
const std::string kCrLfPassed = "\r\n";
#endif

TEST(PointStream, KeepsEveryByteButTheCoordinates) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"# site grid\nname;E;N;H\nA; 1;2 ;3;pillar\r\nA;4;5;6\n",  // names may repeat
       "# site grid\nname;E;N;H\nA; 1001.000000;2002.000000 ;3003.000000;pillar" + kCrLfPassed +
           "A;1004.000000;2005.000000;3006.000000\n"},
      {"  P1\t0.5  0.25 0.125  code 7\n\n", "  P1\t1000.500000  2000.250000 3000.125000  code 7\n\n"},
      {"\xEF\xBB\xBFP 1 2 3\n", "\xEF\xBB\xBFP 1001.000000 2002.000000 3003.000000\n"},
      {"T1 1 2 3 left,of,gate\n", "T1 1001.000000 2002.000000 3003.000000 left,of,gate\n"},
      // line ends as they stood: none after a last line without one, CR LF, a lone CR
      {"1,2,3", "1001.000000,2002.000000,3003.000000"},
      {"# c\r\nx y z\r\n1 2 3\r\n\r\n4 5 6", "# c" + kCrLfPassed + "x y z" + kCrLfPassed +
           "1001.000000 2002.000000 3003.000000" + kCrLfPassed + kCrLfPassed +
           "1004.000000 2005.000000 3006.000000"},
      {"1 2 3\n4 5 6\r\n# end\r", "1001.000000 2002.000000 3003.000000\n1004.000000 2005.000000 "
                                   "3006.000000" + kCrLfPassed + "# end\r"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(mapped(c.in), c.out) << c.in;
}

// The names of a chunk's points reach the mapping, in file order; a file without
// names gives empty ones, and lines that are no points give none.
TEST(PointStream, GivesEachPointItsName) {
  const struct {
    const char* text;
    std::vector<std::string> names;
  } cases[] = {
      {"# name x y z\nT1 1 2 3\n\nT2;x 4 5 6 pillar\n", {"T1", "T2;x"}},
      {"name,x,y,z\r\nA,1,2,3\r\nB,4,5,6", {"A", "B"}},
      {"1 2 3\n4 5 6\n", {"", ""}},
  };
  for (const auto& c : cases) {
    std::istringstream in(c.text);
    std::vector<std::string> names;
    map_point_stream(
        in, "map.txt",
        [&names](double*, std::size_t n, const std::string_view* given, const std::size_t*) {
          names.insert(names.end(), given, given + n);
        },
        [](std::string_view) {}, 7);
    EXPECT_EQ(names, c.names) << c.text;
  }
}

TEST(PointStream, RefusesABadLineAndANonFiniteResult) {
  EXPECT_THROW(mapped("A 1 2 3\nB 1 2\n"), Failure);
  std::istringstream in("A 1 2 3\n");
  try {
    map_point_stream(
        in, "map.txt",
        [](double* xyz, std::size_t, const std::string_view*, const std::size_t*) {
          xyz[1] = HUGE_VAL;
        },
        [](std::string_view) {});
    FAIL() << "no failure";
  } catch (const Failure& e) {
    EXPECT_EQ(std::string(e.what()), "map.txt:1: the point maps to a non-finite coordinate (too large)");
  }
}

// Lines made on demand: the stream never holds the file, nor does the mapping.
class GeneratedPoints : public std::streambuf {
 public:
  explicit GeneratedPoints(std::size_t lines) : lines_(lines) {}

 private:
  int_type underflow() override {
    if (made_ == lines_) return traits_type::eof();
    line_ = "P" + std::to_string(made_) + " " + std::to_string(made_) + ".5 2 3 c\n";
    ++made_;
    setg(&line_[0], &line_[0], &line_[0] + line_.size());
    return traits_type::to_int_type(line_[0]);
  }
  std::size_t lines_, made_ = 0;
  std::string line_;
};

TEST(PointStream, LargeInputsGoThroughInChunks) {
  constexpr std::size_t kLines = 4 * kPointChunk + 7;  // about 340 kB, in blocks of 128 kB
  GeneratedPoints source(kLines);
  std::istream in(&source);
  std::size_t calls = 0, largest_call = 0, writes = 0, largest_write = 0, written = 0, lines = 0;
  std::string last;
  const std::size_t count = map_point_stream(
      in, "generated",
      [&](double*, std::size_t n, const std::string_view*, const std::size_t*) {
        ++calls;
        largest_call = std::max(largest_call, n);
      },
      [&](std::string_view chunk) {
        ++writes;
        largest_write = std::max(largest_write, chunk.size());
        written += chunk.size();
        lines += static_cast<std::size_t>(std::count(chunk.begin(), chunk.end(), '\n'));
        if (!chunk.empty()) last = std::string(chunk.substr(chunk.rfind('\n', chunk.size() - 2) + 1));
      },
      std::size_t{128} << 10);
  EXPECT_EQ(count, kLines);
  EXPECT_EQ(lines, kLines);
  EXPECT_EQ(largest_call, kPointChunk);
  EXPECT_GE(calls, kLines / kPointChunk);
  EXPECT_GE(writes, 3u);
  EXPECT_LT(largest_write, written / 2);  // a batch of chunks, not the file
  EXPECT_EQ(last, "P" + std::to_string(kLines - 1) + " " + std::to_string(kLines - 1) +
                      ".500000 2.000000 3.000000 c\n");
}

// A file of `lines` points "<prefix><i> <i> 0.25 -7 c<i>", mapped line by line.
struct Numbered {
  std::string in, out;
};
Numbered numbered_points(std::size_t lines, const std::string& line_end = "\n",
                         const std::string& prefix = "P") {
  Numbered file;
  for (std::size_t i = 1; i <= lines; ++i) {
    const std::string n = std::to_string(i);
    file.in += prefix + n + " " + n + " 0.25 -7 c" + n + line_end;
    const std::string end = line_end == "\r\n" ? kCrLfPassed : line_end;
    file.out += prefix + n + " " + std::to_string(i + 1000) + ".000000 2000.250000 2993.000000 c" +
                n + end;
  }
  return file;
}

// The lines of `text`, the last one also when it has no line end.
std::size_t line_count(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) +
         (!text.empty() && text.back() != '\n');
}

// Lines cross the edges of the blocks the file is read in, of several sizes; one
// line is longer than a block. Every line comes out in order, numbered on, as it
// went in.
TEST(PointStream, LinesAcrossBlocksComeOutWhole) {
  const Numbered plain = numbered_points(1200);  // about 30 kB
  const Numbered crlf = numbered_points(1200, "\r\n");
  const Numbered after = numbered_points(100, "\n", "R");
  const std::string long_code(5000, 'x');
  const struct {
    const char* what;
    std::string in, out;
  } cases[] = {
      {"LF", plain.in, plain.out},
      {"CR LF", crlf.in, crlf.out},
      {"no last line end", plain.in.substr(0, plain.in.size() - 1),
       plain.out.substr(0, plain.out.size() - 1)},
      {"a line longer than a block", plain.in + "Q 1 2 3 " + long_code + "\n" + after.in,
       plain.out + "Q 1001.000000 2002.000000 3003.000000 " + long_code + "\n" + after.out},
  };
  for (const std::size_t block : {std::size_t{1}, std::size_t{17}, std::size_t{4096}}) {
    for (const auto& c : cases) {
      const std::string what = c.what + (", blocks of " + std::to_string(block));
      std::size_t points = 0;
      EXPECT_TRUE(mapped(c.in, &points, block) == c.out) << what;
      EXPECT_EQ(points, line_count(c.out)) << what;
      EXPECT_EQ(read_text(c.in, block).coordinates.size(), 3 * points) << what;
    }
  }
}

TEST(PointStream, NamesALineFarIntoTheFileByItsNumber) {
  constexpr std::size_t kBlock = 1000;  // the bad line in the 29th block
  const std::string text = numbered_points(1000).in + "Q 1 2\n" + numbered_points(10).in;
  try {
    mapped(text, nullptr, kBlock);
    ADD_FAILURE() << "no failure";
  } catch (const Failure& e) {
    EXPECT_EQ(std::string(e.what()), "map.txt:1001: expected name x y z, found 3 fields");
  }
  EXPECT_EQ(failure_of(numbered_points(1000).in + "P7 1 2 3\n", kBlock),
            "pts.csv:1001: the name 'P7' was given on line 7 already; "
            "a common point needs a name of its own");
}

// A failed write, or a bad line read after some text was written, reaches the
// caller, and nothing is written after it.
TEST(PointStream, AFailedWriteEndsTheStream) {
  constexpr std::size_t kBlock = 4096;  // written a kilobyte and more at a time
  const std::string text = numbered_points(2000).in;
  for (const std::size_t failing : {0, 1, 3}) {
    std::istringstream in(text);
    std::size_t calls = 0;
    try {
      map_point_stream(
          in, "map.txt", [](double*, std::size_t, const std::string_view*, const std::size_t*) {},
          [&](std::string_view) {
            if (calls++ == failing) throw Failure("No space left on device");
          },
          kBlock);
      ADD_FAILURE() << "no failure";
    } catch (const Failure& e) {
      EXPECT_EQ(std::string(e.what()), "No space left on device");
    }
    EXPECT_EQ(calls, failing + 1) << "writes after a failure";
  }
  std::istringstream bad(text + "Q 1 2 x\n");
  std::size_t writes = 0, lines = 0;
  EXPECT_THROW(
      map_point_stream(
          bad, "map.txt", [](double*, std::size_t, const std::string_view*, const std::size_t*) {},
          [&](std::string_view chunk) {
            ++writes;
            lines += static_cast<std::size_t>(std::count(chunk.begin(), chunk.end(), '\n'));
          },
          kBlock),
      Failure);
  EXPECT_GT(writes, 3u);
  EXPECT_LT(lines, 2000u);
}

// Directories, devices and sockets are refused before they are opened; files,
// pipes and missing files (which opening reports) pass.
TEST(PointFileKind, RefusesWhatIsNoFileOfPoints) {
  namespace fs = std::filesystem;
  const fs::path folder =
      fs::path(testing::TempDir()) / ("helmert7-kind-" + std::to_string(std::random_device()()));
  fs::create_directories(folder);
  std::ofstream((folder / "p.txt").string()) << "1 2 3\n";
  const std::string dir = folder.string(), file = (folder / "p.txt").string();
  const struct {
    std::string path;
    const char* refusal;  // nullptr: passes
  } cases[] = {
      {dir, "it is a directory, not a file of points"},
      {file, nullptr},
      {(folder / "missing.txt").string(), nullptr},
#ifdef _WIN32
      {"NUL", "it is a device, not a file of points"},
#else
      {"/dev/zero", "it is a device, not a file of points"},
      {"/dev/null", "it is a device, not a file of points"},
#endif
  };
  for (const auto& c : cases) {
    std::string message = "(passes)";
    try {
      check_point_file_kind(c.path, "the source point file");
    } catch (const Failure& e) {
      message = e.what();
    }
    EXPECT_EQ(message, c.refusal ? std::string("cannot read the source point file: ") + c.refusal
                                 : "(passes)") << c.path;
  }
#ifndef _WIN32
  const std::string fifo = (folder / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_NO_THROW(check_point_file_kind(fifo, "the test point file"));
#endif
  fs::remove_all(folder);
}

}  // namespace
}  // namespace helmert7
