// SPDX-License-Identifier: MIT
// Number texts and the output file: coordinate texts ("1.5, 2, 3e2,...") become
// lists of doubles, doubles become "%f" texts joined by commas, and a finished
// text is written to a file. Parsing throws std::invalid_argument or
// std::out_of_range; nothing here prints.
#pragma once

#include <cstddef>
#include <functional>
#include <istream>
#include <memory>
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

/// Whether blanks or tabs stand between two digits ("1 2"): read_numbers would join
/// such values into one number or refuse them, so messages suggest commas.
bool has_blanks_between_digits(std::string_view text);

/// The text with control bytes written as \n, \t, \r or \xNN, so that a message
/// that quotes user input stays on one line.
std::string escape_control_bytes(std::string_view text);

/// What a message quotes of a text that may be long: at most its first 40 bytes,
/// control bytes escaped, and whether bytes were left out.
struct Excerpt {
  std::string text;
  bool cut = false;
};
Excerpt excerpt_of(std::string_view text);

/// A failure of the input as given (a text, a file, the command line), thrown
/// where it is found; its message names the input.
class InputError : public std::runtime_error {
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
/// repeat. Throws InputError "FILE:LINE: what is wrong", FILE being `shown_name`.
PointFile read_point_file(std::istream& in, const std::string& shown_name);

/// Streams a file of points to map (names may repeat): reads kPointBlockBytes of
/// the file at a time, lets `map` replace the x, y, z triples of at most
/// kPointChunk points at a time in place, and passes the rewritten text to
/// `write`, in file order: every line as it stood (line end "\n"), a point line
/// with its x, y, z fields replaced by the mapped values in the number text form.
/// `write` runs on a thread of its own, one call at a time. Memory does not grow
/// with the file. Returns the number of points. Throws InputError as
/// read_point_file does, also for a point that maps to a non-finite coordinate.
constexpr std::size_t kPointBlockBytes = std::size_t{1} << 20;
constexpr std::size_t kPointChunk = 4096;
std::size_t map_point_stream(std::istream& in, const std::string& shown_name,
                             const std::function<void(double* xyz, std::size_t points)>& map,
                             const std::function<void(std::string_view text)>& write);

/// Whether two paths name the same file: the same device and inode (on Windows,
/// volume and file index) when both exist, else the same absolute path once the
/// links of its existing part are resolved. Neither file is changed.
bool same_file(const std::string& a, const std::string& b);

/// A file that cannot be written; the message is the system's reason ("No such
/// file or directory").
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// A file written beside its destination and put in place whole. write() appends
/// text (in text mode: CR LF line ends on Windows) to a temporary file in the
/// destination's folder; commit() makes it durable and renames it over the
/// destination, keeping the old file's owner, group and mode (a new file gets the
/// usual mode). Symbolic links are followed and the file they name replaced. A
/// file with several hard links is rewritten in place at commit() and restored if
/// that fails; a device or pipe is written at commit(). Until commit() succeeds the
/// destination is untouched, and a StagedFile destroyed uncommitted removes its
/// temporary file. Every failure throws FileError.
class StagedFile {
 public:
  explicit StagedFile(const std::string& path);
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  void write(std::string_view text);
  void commit();

  struct State;

 private:
  std::unique_ptr<State> state_;
};

/// Replaces the file at `path` by `text` through a StagedFile. Returns true when it
/// is in place; otherwise false with the system's reason in `reason`.
bool write_text_file(const std::string& path, const std::string& text, std::string& reason);

/// Makes a file-size limit (ulimit -f) a write error instead of a signal that ends
/// the process.
void treat_file_size_limit_as_error();

}  // namespace helmert7
