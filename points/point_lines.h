// SPDX-License-Identifier: MIT
// Inside points: the lines of point files. A BlockReader reads a stream a block
// at a time and hands out its whole lines, which a LineCursor takes one by one;
// a PointForm tells headers, comments and point lines apart and reads a point's
// fields, holding what the first point line decided for the whole file.
#pragma once

#include <cstdint>
#include <cstring>
#include <istream>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace helmert7 {

/// Byte offsets of one field in its line, which holds less than 4 GiB.
struct Field {
  std::uint32_t begin, end;
};

/// One line of a point file, as it stood without its line end; for a point line
/// also the offsets of its name (empty in a file without names) and of x, y, z.
struct PointLine {
  std::string_view text;
  Field name{};
  Field coordinates[3]{};
  bool is_point = false;
};

/// Bytes not zeroed when allocated, so that a page of a large buffer is first
/// touched when something is written to it: a short file costs no more memory
/// than its text.
class ByteBuffer {
 public:
  explicit ByteBuffer(std::size_t size = 0) : bytes_(new char[size]), size_(size) {}

  char* data() { return bytes_.get(); }
  const char* data() const { return bytes_.get(); }
  std::size_t size() const { return size_; }

  /// Grows to `size` bytes, keeping the first `kept`.
  void grow(std::size_t size, std::size_t kept) {
    std::unique_ptr<char[]> grown(new char[size]);
    std::memcpy(grown.get(), bytes_.get(), kept);
    bytes_ = std::move(grown);
    size_ = size;
  }

 private:
  std::unique_ptr<char[]> bytes_;
  std::size_t size_;
};

/// Bytes after the end of every line a BlockReader offers that may be read: the
/// next lines, or zeros after the last. Numbers are scanned 16 bytes at a time.
constexpr std::size_t kLineReadAhead = 32;

/// Reads a stream in blocks of at least kPointBlockBytes and offers each block's
/// whole lines; a line longer than the block makes the block grow.
class BlockReader {
 public:
  BlockReader(std::istream& in, const std::string& shown_name);

  /// Keeps the unfinished last line, reads on and returns true; false at the end.
  /// Throws Failure when the stream fails.
  bool refill();

  /// The whole lines of the block, line ends included; at the end of the stream
  /// also a last line without a line end. Valid until the next refill().
  std::string_view whole_lines() const { return {block_.data(), lines_end_}; }

 private:
  std::istream& in_;
  const std::string& shown_name_;
  ByteBuffer block_;
  std::size_t filled_ = 0, lines_end_ = 0;
  bool at_end_ = false;
};

/// The lines of a text of whole lines, one at a time, numbered from `first`.
class LineCursor {
 public:
  LineCursor(std::string_view text, std::size_t first) : rest_(text), number_(first - 1) {}

  /// The next line without its "\n" or "\r\n"; false after the last.
  bool next(std::string_view& line);

  /// The number of the line given last.
  std::size_t number() const { return number_; }

 private:
  std::string_view rest_;
  std::size_t number_;
};

/// The form of a point file's lines, decided by its first lines and then held.
class PointForm {
 public:
  explicit PointForm(const std::string& shown_name) : shown_name_(shown_name) {}

  /// Reads line `number` into `line`; a point's x, y, z go to `xyz`. Throws
  /// Failure "FILE:LINE: ..." for a bad point line. kLineReadAhead bytes after
  /// `text` may be read, as after every line of a BlockReader.
  void read(std::string_view text, std::size_t number, PointLine& line, double* xyz);

  /// Whether the first point line has been read: from then on every line is read
  /// alike, so lines may be read in any order, by copies of this form.
  bool known() const { return form_known_; }
  bool named() const { return named_; }

  /// "points.csv:7: " for messages about line `number`.
  std::string where(std::size_t number) const;

 private:
  bool is_header(std::string_view text) const;
  void decide_form(std::string_view text);
  bool read_plain_point(std::string_view text, PointLine& line, double* xyz) const;
  void read_point(std::string_view text, std::size_t number, PointLine& line, double* xyz) const;
  [[noreturn]] void refuse_form(std::string_view text, std::size_t number) const;

  const std::string& shown_name_;
  bool seen_line_ = false;
  bool form_known_ = false;
  bool named_ = false;
  char separator_ = ' ';  // ' ' for blanks and tabs, ',' or ';'
};

}  // namespace helmert7
