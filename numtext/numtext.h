// SPDX-License-Identifier: MIT
// Number texts: coordinate texts ("1.5, 2, 3e2,...") become lists of doubles by
// the rules of std::stod in the C locale; doubles become the texts of C's "%f",
// "%.*g" and "%.*f", or the shortest text that reads back alike, to the byte what
// printf writes. Also the quoting of user input in messages, and Failure, the one
// error type of a run. Parsing throws std::invalid_argument or std::out_of_range;
// nothing here prints or touches files.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace helmert7 {

/// The numbers of one coordinate text in text order; read three at a time as x, y, z.
using CoordinateList = std::vector<double>;

/// Parses a coordinate text: blanks (0x20) are deleted everywhere, the comma is the
/// only separator, one trailing comma is allowed, and each piece is converted by
/// the rules of std::stod in the C locale; white space may stand before and after
/// the number, nothing else. An empty or all-blank text gives an empty list.
/// Throws std::invalid_argument ("invalid stod argument: ...") for a piece that is
/// not one number and std::out_of_range ("stod argument out of range: ...") for one
/// outside the range of double; the message goes on to name the 1-based value
/// number and the offending piece.
CoordinateList read_numbers(std::string text);

/// The pieces of a text between its commas: one piece for a text without a comma,
/// an empty piece before, between or after commas with nothing between them.
std::vector<std::string_view> comma_pieces(std::string_view text);

/// The piece without the white space (" \t\n\v\f\r") before and after it.
std::string_view trimmed(std::string_view piece);

/// Whether blanks or tabs stand between two digits ("1 2"): read_numbers would join
/// such values into one number or refuse them, so messages suggest commas.
bool has_blanks_between_digits(std::string_view text);

/// The text with control bytes written as \n, \t, \r or \xNN, so that a message
/// that quotes user input stays on one line.
std::string escape_control_bytes(std::string_view text);

/// The text between single quotes, its control bytes escaped, for messages.
std::string in_quotes(std::string_view text);

/// What a message quotes of a text that may be long: at most its first 40 bytes,
/// control bytes escaped, and whether bytes were left out.
struct Excerpt {
  std::string text;
  bool cut = false;
};
Excerpt excerpt_of(std::string_view text);

/// The excerpt between single quotes, "..." after them where bytes were left out.
std::string quoted_excerpt(std::string_view text);

/// A failure of a run that the user can mend (a text, a file, the command line, an
/// output that cannot be written, points that give no fit), thrown where it is
/// found with a message that names the input; the run catches it once.
class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The number text form of a value: what C's "%f" writes (six decimals, no exponent).
std::string format_number(double value);

/// Room for the number text form of any double: sign, 309 digits, point, six decimals.
constexpr std::size_t kNumberCapacity = 318;

/// Writes the number text form of `value` into `buffer` of kNumberCapacity bytes,
/// without a NUL; returns the length.
std::size_t put_number(char* buffer, double value);

/// Room for "%.*g" of any double with a precision of at most 17, sign and exponent
/// included ("-2.2250738585072014e-308").
constexpr std::size_t kGeneralCapacity = 32;

/// Writes `value` as "%.*g" with `precision` (1 to 17) writes it into `buffer` of
/// kGeneralCapacity bytes, without a NUL; returns the length.
std::size_t put_general(char* buffer, double value, int precision);

/// `value` as "%.*g" with `precision` writes it: "%g" is precision 6.
std::string format_general(double value, int precision);

/// The shortest text that reads back as the same double (std::to_chars without a
/// precision): "0.1", "-2.68e-07", "2261902.77"; "nan", "inf" and "-inf" as such.
std::string format_shortest(double value);

/// `value` with `decimals` digits after the point, as "%.*f" writes it.
std::string format_fixed(double value, int decimals);

/// The number text forms of all values, separated by "," with none at either end.
std::string join_numbers(const std::vector<double>& values);

}  // namespace helmert7
