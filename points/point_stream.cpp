// SPDX-License-Identifier: MIT
// Points mapped from file to file, a chunk at a time: read, mapped, formatted and
// written in turn, on one thread or, for a costly map, on two. A mapped line is
// rebuilt from the original bytes around its three fields, so names, separators,
// trailing fields, headers, comments and line ends pass through unchanged.
#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <functional>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
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

// The chunks of a file, read one after another as map_point_stream reads them,
// each with the number of points before it.
class ChunkSource {
 public:
  ChunkSource(std::istream& in, const std::string& shown_name, std::size_t block_bytes,
              PointForm& form)
      : blocks_(in, shown_name, block_bytes), form_(form) {}

  // Fills `chunk` with the next chunk; false after the last, and after a line
  // that failed to read (whose failure it throws).
  bool next(Chunk& chunk, std::size_t& before) {
    try {
      while (!ended_ && (lines_ || start_block())) {
        if (!read_chunk(*lines_, form_, chunk)) end_block();
        if (chunk.count == 0) continue;
        before = std::exchange(points_, points_ + chunk.points);
        return true;
      }
    } catch (...) {
      ended_ = true;
      throw;
    }
    return false;
  }

  std::size_t points() const { return points_; }

 private:
  bool start_block() {
    ended_ = ended_ || !blocks_.refill(first_);
    if (!ended_) lines_.emplace(blocks_.whole_lines(), first_);
    return !ended_;
  }
  void end_block() {
    first_ = lines_->number() + 1;
    lines_.reset();
  }

  BlockReader blocks_;
  PointForm& form_;
  std::optional<LineCursor> lines_;  // the lines of the block being read, if any
  std::size_t first_ = 1;            // the number of the next block's first line
  std::size_t points_ = 0;           // read so far
  bool ended_ = false;
};

// A chunk read for one of the threads of a shared stream: its lines, with their
// text copied out of the block, which the other thread may refill meanwhile; its
// place in file order, the points before it, and what failed in it.
struct NumberedChunk {
  Chunk lines;
  ByteBuffer text;
  std::size_t number = 0, before = 0;
  std::exception_ptr failure;
};

// Moves the views of the chunk's lines and names into chunk.text, a copy of the
// bytes from its first line to its last line's end.
void keep_text(NumberedChunk& chunk) {
  const Chunk& lines = chunk.lines;
  const char* const begin = lines.lines[0].text.data();
  const PointLine& last = lines.lines[lines.count - 1];
  const std::size_t size = static_cast<std::size_t>(last.end.data() + last.end.size() - begin);
  if (chunk.text.size() < size) chunk.text = ByteBuffer(size);
  std::memcpy(chunk.text.data(), begin, size);
  const auto moved = [&chunk, begin](std::string_view view) {
    return std::string_view(chunk.text.data() + (view.data() - begin), view.size());
  };
  for (std::size_t i = 0; i < lines.count; ++i) {
    chunk.lines.lines[i].text = moved(lines.lines[i].text);
    chunk.lines.lines[i].end = moved(lines.lines[i].end);
  }
  for (std::size_t i = 0; i < lines.points; ++i) chunk.lines.names[i] = moved(lines.names[i]);
}

using SharedMap = std::function<void(const PointChunk& chunk, const InOrder& in_order)>;
using Write = std::function<void(std::string_view text)>;

// A stream whose chunks two threads take in turn: each reads the next chunk,
// maps and formats it, and writes it once every chunk before it is written. The
// work a map passes to InOrder and the writes go in file order, and the first
// failure in file order stops the stream: the one a single thread would meet.
class SharedStream {
 public:
  SharedStream(ChunkSource& source, const SharedMap& map, const Write& write, const PointForm& form,
               PointFields written)
      : source_(source), map_(map), write_(write), form_(form), written_(written) {}
  SharedStream(const SharedStream&) = delete;
  SharedStream& operator=(const SharedStream&) = delete;
  ~SharedStream() {
    if (helper_.joinable()) helper_.join();
  }

  // Runs the stream to its end; returns the number of points.
  std::size_t run(std::size_t text_bytes) {
    work(text_bytes);
    if (helper_.joinable()) helper_.join();
    if (failure_) std::rethrow_exception(failure_);
    return source_.points();
  }

 private:
  // The loop of either thread.
  void work(std::size_t text_bytes) {
    NumberedChunk chunk;
    TextBuffer text(text_bytes);
    while (read(chunk, text_bytes)) {
      map_and_format(chunk, text);
      if (!write_in_turn(chunk, text)) return;
    }
  }

  bool stopped() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopped_;
  }

  // Reads the next chunk and numbers it; false when there is none or the stream
  // stopped. The second chunk starts the second thread: a stream of one chunk
  // has nothing to share.
  bool read(NumberedChunk& chunk, std::size_t text_bytes) {
    std::lock_guard<std::mutex> lock(reading_);
    if (stopped()) return false;
    chunk.failure = nullptr;
    try {
      if (!source_.next(chunk.lines, chunk.before)) return false;
      keep_text(chunk);
    } catch (...) {
      chunk.failure = std::current_exception();
    }
    chunk.number = chunks_++;
    if (chunk.number == 1) start_helper(text_bytes);
    return true;
  }

  void start_helper(std::size_t text_bytes) {
    try {
      helper_ = std::thread([this, text_bytes] {
        try {
          work(text_bytes);
        } catch (const std::bad_alloc&) {
          // no room for its buffers, before it took a chunk: the stream stays on one thread
        }
      });
    } catch (const std::system_error&) {  // no thread to be had: the same on one thread
    }
  }

  void map_and_format(NumberedChunk& chunk, TextBuffer& text) {
    bool had_turn = false;
    if (!chunk.failure) {
      Chunk& lines = chunk.lines;
      try {
        const InOrder in_order = [this, &chunk, &had_turn](const std::function<void()>& work) {
          had_turn = true;
          take_turn(chunk.number, work);
        };
        map_({lines.xyz.data(), lines.points, lines.names.data(), lines.line_numbers.data(),
              chunk.before},
             in_order);
        format_chunk(lines, form_, written_, text);
      } catch (...) {
        chunk.failure = std::current_exception();
      }
    }
    if (!had_turn) take_turn(chunk.number, {});  // the next chunk's turn waits for it
  }

  // Runs `work` once every chunk before chunk `number` had its turn, unless the
  // stream stopped, and then gives the turn to the next.
  void take_turn(std::size_t number, const std::function<void()>& work) {
    std::unique_lock<std::mutex> lock(mutex_);
    turn_.wait(lock, [this, number] { return stopped_ || ordered_ == number; });
    if (stopped_) return;
    lock.unlock();
    std::exception_ptr failure;
    try {
      if (work) work();
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    ++ordered_;
    turn_.notify_all();
    if (failure) std::rethrow_exception(failure);
  }

  // Writes the chunk's text once every chunk before it is written, or stops the
  // stream with its failure; false when the stream stopped.
  bool write_in_turn(NumberedChunk& chunk, TextBuffer& text) {
    std::unique_lock<std::mutex> lock(mutex_);
    turn_.wait(lock, [this, &chunk] { return stopped_ || written_chunks_ == chunk.number; });
    if (stopped_) return false;
    if (!chunk.failure) {
      lock.unlock();
      try {
        write_(text.text());
      } catch (...) {
        chunk.failure = std::current_exception();
      }
      lock.lock();
    }
    text.clear();
    stopped_ = chunk.failure != nullptr;
    failure_ = chunk.failure;
    ++written_chunks_;
    turn_.notify_all();
    return !stopped_;
  }

  ChunkSource& source_;
  const SharedMap& map_;
  const Write& write_;
  const PointForm& form_;
  PointFields written_;
  std::thread helper_;
  std::mutex reading_;      // held while a chunk is read
  std::size_t chunks_ = 0;  // read so far
  std::mutex mutex_;        // over what follows
  std::condition_variable turn_;
  std::size_t ordered_ = 0;         // chunks past their turn to work in order
  std::size_t written_chunks_ = 0;  // chunks past their turn to write
  std::exception_ptr failure_;
  bool stopped_ = false;
};

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

std::size_t map_point_stream_shared(std::istream& in, const std::string& shown_name,
                                    const SharedMap& map, const Write& write,
                                    std::size_t block_bytes, PointFields read,
                                    PointFields written) {
  PointForm form(shown_name, read.angles);
  ChunkSource source(in, shown_name, block_bytes, form);
  SharedStream stream(source, map, write, form, written);
  return stream.run(block_bytes / 2);
}

}  // namespace helmert7
