// SPDX-License-Identifier: MIT
// Points mapped from file to file, a chunk at a time: while a batch of mapped text
// is written on a thread of its own, the next is read, mapped and formatted. A
// mapped line is rebuilt from the original bytes around its three fields, so
// names, separators, trailing fields, headers and comments pass through unchanged.
#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <string>
#include <vector>

#include "points/points.h"
#include "points/point_lines.h"

namespace helmert7 {
namespace {

using MapPoints = std::function<void(double* xyz, std::size_t points)>;

// Text is written in batches of this size at least, so the writer wakes seldom.
constexpr std::size_t kWriteBytes = std::size_t{256} << 10;

// Text that grows only as far as the longest text it held; it starts with room
// for a batch and a chunk of usual lines, which no short file touches.
class TextBuffer {
 public:
  TextBuffer() : bytes_(2 * kWriteBytes) {}

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

// The line with its x, y, z fields replaced by the mapped values, and "\n".
void append_mapped(TextBuffer& out, const PointLine& line, const double* xyz) {
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

void append_line(TextBuffer& out, std::string_view text) {
  char* const start = out.room(text.size() + 1);
  std::copy(text.begin(), text.end(), start);
  start[text.size()] = '\n';
  out.add(text.size() + 1);
}

// The lines of one chunk, with its points' x, y, z and line numbers.
struct Chunk {
  std::vector<PointLine> lines = std::vector<PointLine>(2 * kPointChunk);
  std::vector<std::size_t> line_numbers = std::vector<std::size_t>(kPointChunk);
  std::vector<double> xyz = std::vector<double>(3 * kPointChunk);
  std::size_t count = 0, points = 0;
};

// Fills `chunk` with up to kPointChunk points (and twice as many lines); false
// when the lines ran out first.
bool read_chunk(LineCursor& lines, PointForm& form, Chunk& chunk) {
  chunk.count = chunk.points = 0;
  for (std::string_view text; chunk.points < kPointChunk && chunk.count < chunk.lines.size();) {
    if (!lines.next(text)) return false;
    PointLine& line = chunk.lines[chunk.count++];
    form.read(text, lines.number(), line, &chunk.xyz[3 * chunk.points]);
    if (line.is_point) chunk.line_numbers[chunk.points++] = lines.number();
  }
  return true;
}

// The chunk's lines as they stood, their points mapped.
void format_chunk(const Chunk& chunk, const PointForm& form, TextBuffer& out) {
  for (std::size_t i = 0, point = 0; i < chunk.count; ++i) {
    if (!chunk.lines[i].is_point) {
      append_line(out, chunk.lines[i].text);
      continue;
    }
    const double* xyz = &chunk.xyz[3 * point];
    if (!std::isfinite(xyz[0]) || !std::isfinite(xyz[1]) || !std::isfinite(xyz[2])) {
      throw Failure(form.where(chunk.line_numbers[point]) +
                       "the point maps to a non-finite coordinate (too large)");
    }
    append_mapped(out, chunk.lines[i], xyz);
    ++point;
  }
}

// Passes text to `write` on a thread of its own while the next text is read and
// formatted, so that copying into the file overlaps that work. One write is in
// flight at a time; its text must stay unchanged until the next start() or finish().
class WriteBehind {
 public:
  explicit WriteBehind(const std::function<void(std::string_view text)>& write)
      : write_(write), thread_([this] { serve(); }) {}

  ~WriteBehind() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();  // after the write in flight
  }

  void start(std::string_view text) {
    finish();
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      text_ = text;
      pending_ = true;
    }
    changed_.notify_all();
  }

  // Waits for the write in flight; throws what it threw.
  void finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !pending_; });
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
  }

 private:
  void serve() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return pending_ || stopping_; });
      if (!pending_) return;
      lock.unlock();
      std::exception_ptr failure;
      try {
        write_(text_);
      } catch (...) {
        failure = std::current_exception();
      }
      lock.lock();
      failure_ = failure;
      pending_ = false;
      changed_.notify_all();
    }
  }

  const std::function<void(std::string_view text)>& write_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string_view text_;
  bool pending_ = false, stopping_ = false;
  std::exception_ptr failure_;
  std::thread thread_;  // last: it starts once the members it uses are made
};

}  // namespace

std::size_t map_point_stream(std::istream& in, const std::string& shown_name, const MapPoints& map,
                             const std::function<void(std::string_view text)>& write) {
  BlockReader blocks(in, shown_name);
  PointForm form(shown_name);
  Chunk chunk;
  TextBuffer texts[2];  // one is written while the other is filled
  std::size_t filling = 0;
  WriteBehind writer(write);
  std::size_t total = 0;
  for (std::size_t first = 1; blocks.refill();) {  // first: the number of the block's first line
    LineCursor lines(blocks.whole_lines(), first);
    for (bool more = true; more;) {
      more = read_chunk(lines, form, chunk);
      if (chunk.count == 0) break;
      map(chunk.xyz.data(), chunk.points);
      format_chunk(chunk, form, texts[filling]);
      total += chunk.points;
      if (texts[filling].text().size() < kWriteBytes) continue;
      writer.start(texts[filling].text());
      filling ^= 1;
      texts[filling].clear();
    }
    first = lines.number() + 1;
  }
  writer.start(texts[filling].text());
  writer.finish();
  return total;
}

}  // namespace helmert7
