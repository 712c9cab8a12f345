// SPDX-License-Identifier: MIT
// Point files streamed on two threads: the text of the stream on one, the work
// done in order in file order, and the first failure in file order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "points/points.h"

namespace helmert7 {
namespace {

// Lines `first` to `last` of a file whose line i is "P<i> <i> 0.25 -7 c<i>", and
// the same lines with 1000, 2000 and 3000 added to x, y and z.
struct Lines {
  std::string in, out;
};
Lines numbered(std::size_t first, std::size_t last) {
  Lines lines;
  for (std::size_t i = first; i <= last; ++i) {
    const std::string n = std::to_string(i);
    lines.in += "P" + n + " " + n + " 0.25 -7 c" + n + "\n";
    lines.out +=
        "P" + n + " " + std::to_string(i + 1000) + ".000000 2000.250000 2993.000000 c" + n + "\n";
  }
  return lines;
}

// Where the stream is made to fail (0: nowhere): the map throws "map failed at L"
// at the point lines `map_fails` and `map_fails_too`, makes x infinite at line
// `overflows`, and the `write_fails`th write throws "write failed".
struct Faults {
  std::size_t map_fails = 0, map_fails_too = 0, overflows = 0, write_fails = 0;
};

// What a shared stream wrote, its count and failure, and (before, points) of
// each chunk as the work it did in order saw them.
struct SharedRun {
  std::string out, failure;
  std::size_t count = 0;
  std::vector<std::pair<std::size_t, std::size_t>> in_order;
};

void map_chunk(const PointChunk& chunk, const Faults& faults) {
  for (std::size_t i = 0; i < chunk.points; ++i) {
    const std::size_t line = chunk.lines[i];
    if (line == faults.map_fails || line == faults.map_fails_too) {
      throw Failure("map failed at " + std::to_string(line));
    }
    chunk.xyz[3 * i] += line == faults.overflows ? HUGE_VAL : 1000;
    chunk.xyz[3 * i + 1] += 2000;
    chunk.xyz[3 * i + 2] += 3000;
  }
}

SharedRun shared(const std::string& text, std::size_t block, const Faults& faults = {}) {
  std::istringstream in(text);
  SharedRun result;
  std::size_t writes = 0;
  try {
    result.count = map_point_stream_shared(
        in, "map.txt",
        [&faults, &result](const PointChunk& chunk, const InOrder& in_order) {
          map_chunk(chunk, faults);
          in_order([&result, &chunk] { result.in_order.emplace_back(chunk.before, chunk.points); });
        },
        [&faults, &result, &writes](std::string_view text) {
          if (++writes == faults.write_fails) throw Failure("write failed");
          result.out.append(text);
        },
        block);
  } catch (const Failure& e) {
    result.failure = e.what();
  }
  return result;
}

// Whether the chunks' work in order came in file order: each chunk's points
// (none in a chunk of a header alone) following the ones before, `points` in all.
bool in_file_order(const std::vector<std::pair<std::size_t, std::size_t>>& chunks,
                   std::size_t points) {
  std::size_t before = 0;
  for (const auto& chunk : chunks) {
    if (chunk.first != before) return false;
    before += chunk.second;
  }
  return before == points;
}

constexpr std::size_t kBlocks[] = {1, 300, 4096, kPointBlockBytes};

// No chunk, one, two and many, in blocks that end chunks early and late: the
// text one thread writes, and every chunk's work in order in file order.
TEST(SharedPointStream, WritesWhatOneThreadWrites) {
  for (const std::size_t points :
       {std::size_t{0}, std::size_t{1}, kPointChunk, kPointChunk + 1, 2 * kPointChunk + 5}) {
    const Lines file = numbered(1, points);
    for (const std::size_t block : kBlocks) {
      const std::string what =
          std::to_string(points) + " points, blocks of " + std::to_string(block);
      const SharedRun result = shared("# header\n" + file.in, block);
      EXPECT_EQ(result.failure, "") << what;
      EXPECT_TRUE(result.out == "# header\n" + file.out) << what;
      EXPECT_EQ(result.count, points) << what;
      EXPECT_TRUE(in_file_order(result.in_order, points)) << what;
    }
  }
}

// The first failure in file order is the one reported, whether a line, the map, a
// point's value or a write fails, in one chunk or two, on either thread; what was
// written before it is the text of the lines before it.
TEST(SharedPointStream, ReportsTheFirstFailureInFileOrder) {
  constexpr std::size_t kLines = 3 * kPointChunk;
  constexpr std::size_t kBad = kPointChunk + 100;  // "Q 1 2 x": in the second chunk at most
  const Lines clean = numbered(1, kLines);
  const std::string with_bad =
      numbered(1, kBad - 1).in + "Q 1 2 x\n" + numbered(kBad + 1, kLines).in;
  const std::string bad_line = "map.txt:" + std::to_string(kBad) + ": 'x' is not a number (z)";
  const auto map_failed = [](std::size_t line) { return "map failed at " + std::to_string(line); };
  const auto overflow = [](std::size_t line) {
    return "map.txt:" + std::to_string(line) +
           ": the point maps to a non-finite coordinate (too large)";
  };
  const struct {
    const char* what;
    bool bad;  // with the bad line
    Faults faults;
    std::string failure;
    std::size_t line;  // of the failure; 0 for a write
  } cases[] = {
      {"a bad line", true, {}, bad_line, kBad},
      {"the map fails a chunk before",
       true,
       {kBad - kPointChunk},
       map_failed(kBad - kPointChunk),
       kBad - kPointChunk},
      {"the map fails after", true, {kBad + 1}, bad_line, kBad},
      {"the map fails in two chunks",
       false,
       {2 * kPointChunk + 7, kPointChunk + 3},
       map_failed(kPointChunk + 3),
       kPointChunk + 3},
      {"a point overflows before", true, {0, 0, 10}, overflow(10), 10},
      {"a point overflows after", true, {0, 0, kBad + 1}, bad_line, kBad},
      {"the map fails before an overflow",
       false,
       {kPointChunk + 5, 0, 2 * kPointChunk + 100},
       map_failed(kPointChunk + 5),
       kPointChunk + 5},
      {"an overflow before the map fails",
       false,
       {2 * kPointChunk + 100, 0, kPointChunk + 5},
       overflow(kPointChunk + 5),
       kPointChunk + 5},
      {"the first write fails", false, {0, 0, 0, 1}, "write failed", 1},
      {"a later write fails", false, {0, 0, 0, 2}, "write failed", kLines},
  };
  for (const std::size_t block : kBlocks) {
    for (const auto& c : cases) {
      const std::string what = c.what + (", blocks of " + std::to_string(block));
      const SharedRun result = shared(c.bad ? with_bad : clean.in, block, c.faults);
      EXPECT_EQ(result.failure, c.failure) << what;
      EXPECT_LT(static_cast<std::size_t>(std::count(result.out.begin(), result.out.end(), '\n')),
                c.line)
          << what;
      EXPECT_TRUE(clean.out.compare(0, result.out.size(), result.out) == 0) << what;
    }
  }
}

}  // namespace
}  // namespace helmert7
