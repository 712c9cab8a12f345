// SPDX-License-Identifier: MIT
// Coordinate texts to numbers. The text is scanned once from front to back, so a
// text of any length parses in linear time. A plain decimal piece is converted
// in place by std::from_chars; any other piece is copied into a string of its
// own, because strtod needs a terminating NUL.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "numtext/numtext.h"

namespace helmert7 {
namespace {

std::string failure_message(const char* what, std::size_t value_number, std::string_view piece) {
  const Excerpt shown = excerpt_of(piece);
  return std::string(what) + ": value " + std::to_string(value_number) + " is \"" + shown.text +
         (shown.cut ? "...\"" : "\"");
}

bool is_white_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Converts one piece by strtod's rules, white space allowed before and after the
// number. No number at all, anything else after it (two numbers run together
// across a line end, "1.5abc") or a range error (overflow or underflow as strtod
// reports it) is refused. `piece` must hold nothing beyond the piece itself.
double convert_with_strtod(const std::string& piece, std::size_t value_number) {
  const char* begin = piece.c_str();
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(begin, &end);
  if (end == begin)
    throw std::invalid_argument(failure_message("invalid stod argument", value_number, piece));
  const char* const piece_end = begin + piece.size();  // past an embedded NUL too
  const char* rest = end;
  while (rest != piece_end && is_white_space(*rest)) ++rest;
  if (rest != piece_end) {
    const bool across_line_end = std::any_of(static_cast<const char*>(end), rest,
                                             [](char c) { return c == '\n' || c == '\r'; });
    throw std::invalid_argument(
        failure_message("invalid stod argument", value_number, piece) +
        (across_line_end ? ": separate the values with commas, also at the end of a line"
                         : ": only white space may follow the number"));
  }
  if (errno == ERANGE)
    throw std::out_of_range(failure_message("stod argument out of range", value_number, piece));
  return value;
}

// The common piece, a decimal number and nothing else ("-2261902.771"), read by
// from_chars, which rounds as strtod does. Everything else goes to strtod with
// its own rules: white space, "+", hexadecimal, inf and nan, and the subnormal or
// out-of-range values that strtod reports as range errors.
double convert_piece(std::string_view piece, std::string& scratch, std::size_t value_number) {
  const char* const begin = piece.data();
  const char* const end = begin + piece.size();
  const bool plain_start = !piece.empty() && (std::isdigit(static_cast<unsigned char>(*begin)) ||
                                              *begin == '-' || *begin == '.');
  if (plain_start) {  // "0x10" reads as 0 and stops at the x: strtod takes it
    double value = 0.0;
    const auto result = std::from_chars(begin, end, value);
    if (result.ec == std::errc() && result.ptr == end && (std::isnormal(value) || value == 0.0)) {
      return value;
    }
  }
  scratch.assign(piece);
  return convert_with_strtod(scratch, value_number);
}

// The length of an invisible blank in UTF-8 at the start of `text` (no-break,
// figure and narrow spaces, zero-width space, ideographic space, byte-order mark),
// or 0: such a character looks like a blank in a message but is none.
std::size_t invisible_blank_length(std::string_view text) {
  static const std::string_view kBlanks[] = {
      "\xC2\xA0",     "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82", "\xE2\x80\x83",
      "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
      "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\x8B", "\xE2\x80\xAF", "\xE2\x81\x9F",
      "\xE3\x80\x80", "\xEF\xBB\xBF"};
  for (const std::string_view blank : kBlanks) {
    if (text.substr(0, blank.size()) == blank) return blank.size();
  }
  return 0;
}

void append_escaped(std::string& shown, unsigned char byte) {
  char escaped[5];
  std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(byte));
  shown += escaped;
}

}  // namespace

std::string in_quotes(std::string_view text) { return "'" + escape_control_bytes(text) + "'"; }

std::string escape_control_bytes(std::string_view text) {
  std::string shown;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto byte = static_cast<unsigned char>(c);
    if (const std::size_t blank = invisible_blank_length(text.substr(i))) {
      for (std::size_t k = 0; k < blank; ++k) append_escaped(shown, static_cast<unsigned char>(text[i + k]));
      i += blank - 1;
    } else if (c == '\n') {
      shown += "\\n";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (c == '\r') {
      shown += "\\r";
    } else if (byte < 0x20 || byte == 0x7F) {
      append_escaped(shown, byte);
    } else {
      shown += c;
    }
  }
  return shown;
}

std::vector<std::string_view> comma_pieces(std::string_view text) {
  std::vector<std::string_view> pieces;
  for (std::size_t start = 0;;) {
    const std::size_t comma = text.find(',', start);
    pieces.push_back(text.substr(start, comma - start));
    if (comma == std::string_view::npos) return pieces;
    start = comma + 1;
  }
}

std::string_view trimmed(std::string_view piece) {
  const char* const blanks = " \t\n\v\f\r";
  const std::size_t first = piece.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return piece.substr(first, piece.find_last_not_of(blanks) + 1 - first);
}

bool has_blanks_between_digits(std::string_view text) {
  const auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!is_digit(text[i])) continue;
    std::size_t next = i + 1;
    while (next < text.size() && (text[next] == ' ' || text[next] == '\t')) ++next;
    if (next > i + 1 && next < text.size() && is_digit(text[next])) return true;
  }
  return false;
}

Excerpt excerpt_of(std::string_view text) {
  constexpr std::size_t kShownBytes = 40;
  if (text.size() <= kShownBytes) return {escape_control_bytes(text), false};
  return {escape_control_bytes(text.substr(0, kShownBytes)), true};
}

std::string quoted_excerpt(std::string_view text) {
  const Excerpt shown = excerpt_of(text);
  return "'" + shown.text + "'" + (shown.cut ? "..." : "");
}

CoordinateList read_numbers(std::string text) {
  // Blanks are decoration wherever they stand, also inside a number.
  text.erase(std::remove(text.begin(), text.end(), ' '), text.end());

  CoordinateList values;
  values.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), ',')) + 1);

  const std::string_view whole(text);
  std::string scratch;  // reused, so long texts do not allocate per value
  std::size_t start = 0;
  for (std::size_t comma = whole.find(','); comma != std::string_view::npos;
       comma = whole.find(',', start)) {
    values.push_back(convert_piece(whole.substr(start, comma - start), scratch, values.size() + 1));
    start = comma + 1;
  }
  // What follows the last comma; nothing at all there is the allowed trailing comma.
  if (start < whole.size()) {
    values.push_back(convert_piece(whole.substr(start), scratch, values.size() + 1));
  }
  return values;
}

}  // namespace helmert7
