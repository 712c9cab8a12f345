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
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace helmert7 {

/// Byte offsets of one field in its line, which holds less than kLongestLine bytes.
struct Field {
  std::uint32_t begin, end;
};

/// One line of a point file, as it stood without its line end; for a point line
/// also the offsets of its name (empty in a file without names) and of x, y, z.
struct PointLine {
  std::string_view text;
  std::string_view end;  // the line end as it stood: "\n", "\r\n", or none after a last line
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

/// Text after whose end kLineReadAhead bytes more may be read, as simdjson's padded
/// strings: only a BlockReader makes one, and every part of it is one too, since
/// what follows a part lies in the text or its padding.
class PaddedView {
 public:
  std::string_view text() const { return text_; }
  PaddedView part(std::size_t begin, std::size_t size = std::string_view::npos) const {
    return PaddedView(text_.substr(begin, size));
  }

 private:
  friend class BlockReader;
  explicit PaddedView(std::string_view text) : text_(text) {}

  std::string_view text_;
};

/// Reads a stream in blocks of `block_bytes` and offers each block's whole lines;
/// a line longer than the block makes the block grow, up to kLongestLine.
class BlockReader {
 public:
  BlockReader(std::istream& in, const std::string& shown_name, std::size_t block_bytes);

  /// Keeps the unfinished last line, reads on and returns true; false at the end.
  /// `next_line` is the number of the unfinished line, named when it is too long.
  /// Throws Failure when the stream fails or the line reaches kLongestLine.
  bool refill(std::size_t next_line);

  /// The whole lines of the block, line ends included; at the end of the stream
  /// also a last line without a line end. Valid until the next refill().
  PaddedView whole_lines() const { return PaddedView({block_.data(), lines_end_}); }

 private:
  void make_room(std::size_t next_line);

  std::istream& in_;
  const std::string& shown_name_;
  ByteBuffer block_;
  std::size_t filled_ = 0, lines_end_ = 0;
  bool at_end_ = false;
};

/// The lines of a text of whole lines, one at a time, numbered from `first`.
class LineCursor {
 public:
  LineCursor(PaddedView text, std::size_t first) : rest_(text), number_(first - 1) {}

  /// The next line without its line end; none after the last.
  std::optional<PaddedView> next();

  /// The number of the line given last, and its line end as it stood.
  std::size_t number() const { return number_; }
  std::string_view end() const { return end_; }

 private:
  PaddedView rest_;
  std::size_t number_;
  std::string_view end_;
};

/// The form of a point file's lines, decided by its first lines and then held.
class PointForm {
 public:
  PointForm(const std::string& shown_name, bool angles)
      : shown_name_(shown_name), angles_(angles) {}

  /// Reads line `number` into `line`; a point's x, y, z go to `xyz`. Throws
  /// Failure "FILE:LINE: ..." for a bad point line.
  void read(PaddedView text, std::size_t number, PointLine& line, double* xyz);

  /// Whether the file's points have names, once the first point line is read.
  bool named() const { return named_; }

  /// What separates the fields of the file's point lines, once the first is read:
  /// ' ' for blanks and tabs, ',' or ';'.
  char separator() const { return separator_; }

  /// "points.csv:7: " for messages about line `number`.
  std::string where(std::size_t number) const;

 private:
  bool decide_form(std::string_view text);
  bool read_plain_point(PaddedView text, PointLine& line, double* xyz) const;
  void read_point(PaddedView text, std::size_t number, PointLine& line, double* xyz) const;
  void read_fields(std::string_view text, const Field* fields, std::size_t number,
                   double* xyz) const;
  void refuse_angle(std::string_view value, int axis, std::size_t number) const;
  [[noreturn]] void refuse_number(std::string_view text, const Field& field, int axis,
                                  std::size_t number) const;
  [[noreturn]] void refuse_form(std::string_view text, std::size_t number) const;

  const std::string& shown_name_;
  bool angles_;  // latitude and longitude may be d:m:s
  bool seen_line_ = false;
  bool form_known_ = false;
  bool named_ = false;
  char separator_ = ' ';  // ' ' for blanks and tabs, ',' or ';'
};

}  // namespace helmert7
