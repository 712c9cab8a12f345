// SPDX-License-Identifier: MIT
// The conversions of a streamed chunk shared between two threads: every point
// once, the very bits of the one-point conversions, and the failure of the first
// point that fails, whatever the chunk's length.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "driver/steps.h"

namespace helmert7 {
namespace {

constexpr std::size_t kSizes[] = {0, 1, 2, 3, 255, 256, 257, 511, 1001, 4096};

std::string failure_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const Failure& failure) {
    return failure.what();
  }
  return "(no failure)";
}

TEST(SharedWork, EveryIndexOnceAtEveryLength) {
  SharedWork helper;
  for (const std::size_t count : kSizes) {
    std::vector<int> visits(count, 0);  // each piece writes its own indices only
    helper.share(count, [&visits](std::size_t begin, std::size_t end) {
      for (std::size_t i = begin; i < end; ++i) ++visits[i];
    });
    EXPECT_EQ(std::count(visits.begin(), visits.end(), 1), static_cast<std::ptrdiff_t>(count))
        << count;
  }
}

// Work that fails at some indices throws the failure of the first of them,
// whichever thread met it.
TEST(SharedWork, ThrowsTheFailureOfTheFirstIndexThatFails) {
  SharedWork helper;
  const std::vector<std::set<std::size_t>> cases = {
      {0}, {255}, {256}, {300, 2000}, {4095}, {1, 4000}, {700, 3000, 3001}};
  for (const std::set<std::size_t>& failing : cases) {
    const std::string failure = failure_of([&helper, &failing] {
      helper.share(4096, [&failing](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i)
          if (failing.count(i)) throw Failure("index " + std::to_string(i));
      });
    });
    EXPECT_EQ(failure, "index " + std::to_string(*failing.begin()));
  }
}

// Gauss-Krueger points of zone 36, spread over 200 km.
std::vector<double> grid_points(std::size_t count) {
  std::vector<double> xyz;
  for (std::size_t i = 0; i < count; ++i) {
    const double k = static_cast<double>(i);
    xyz.insert(xyz.end(), {3790000 + 90000 * std::sin(0.37 * k),
                           36500000 + 110000 * std::cos(0.71 * k), 500 + 200 * std::sin(1.13 * k)});
  }
  return xyz;
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

Inputs gk3_inputs() {
  Inputs inputs;
  inputs.test.role = "test";
  inputs.test.path = "points.txt";
  inputs.forms = read_forms({"gk3:iag1975", "--srccoords"}, {"gk3:cgcs2000", "--descoords"});
  inputs.test_forms = inputs.forms;
  return inputs;
}

// A streamed chunk of `xyz`: every point named and on a line of its own.
struct TestChunk {
  std::vector<double> xyz;
  std::vector<std::string_view> names;
  std::vector<std::size_t> lines;
  explicit TestChunk(std::vector<double> values)
      : xyz(std::move(values)), names(xyz.size() / 3, "P"), lines(xyz.size() / 3) {
    for (std::size_t i = 0; i < lines.size(); ++i) lines[i] = i + 2;
  }
  StreamedChunk streamed(std::size_t first) {
    return {xyz.data(), xyz.size() / 3, names.data(), lines.data(), first};
  }
};

TEST(SharedWork, ChunkConversionsGiveTheBitsOfTheOnePointConversions) {
  Inputs inputs = gk3_inputs();
  SharedWork helper;
  for (const std::size_t count : kSizes) {
    TestChunk shared(grid_points(count));
    std::vector<double> alone = shared.xyz;
    const std::vector<ConvertedPoint> converted =
        chunk_to_geocentric(inputs, helper, shared.streamed(1));
    ASSERT_EQ(converted.size(), count);
    for (std::size_t i = 0; i < count; ++i) {
      Eigen::Map<Eigen::Vector3d> point(&alone[3 * i]);
      point = geodesy::to_geocentric(inputs.forms.source, point);
      EXPECT_EQ(converted[i].zone, 36);
    }
    ASSERT_TRUE(same_bits(shared.xyz, alone)) << count;
    chunk_to_target_form(inputs, helper, shared.streamed(1), converted);
    for (std::size_t i = 0; i < count; ++i) {
      Eigen::Map<Eigen::Vector3d> point(&alone[3 * i]);
      point = geodesy::from_geocentric(inputs.forms.target, point, 36);
    }
    EXPECT_TRUE(same_bits(shared.xyz, alone)) << count;
  }
}

// The far points of a shared chunk are noted in file order, as one piece notes them.
TEST(SharedWork, ChunkNotesFarPointsAsOnePieceDoes) {
  Inputs shared_inputs = gk3_inputs(), alone_inputs = gk3_inputs();
  SharedWork helper;
  TestChunk shared(grid_points(4096));
  for (std::size_t i = 0; i < 4096; i += 997) shared.xyz[3 * i + 1] += 400000;  // about 4.5 degrees out
  TestChunk alone = shared;
  chunk_to_geocentric(shared_inputs, helper, shared.streamed(1));
  std::vector<ConvertedPoint> converted(4096);
  test_points_to_geocentric(alone_inputs, alone.streamed(1), converted.data());
  note_far_test_points(alone_inputs, alone.streamed(1), converted.data());
  EXPECT_GT(alone_inputs.far_test_points.count, 3u);
  EXPECT_EQ(shared_inputs.far_test_points.count, alone_inputs.far_test_points.count);
  EXPECT_EQ(shared_inputs.far_test_points.described, alone_inputs.far_test_points.described);
}

// A point without its zone prefix fails the chunk as it fails alone, with its number.
TEST(SharedWork, ChunkFailsAtItsFirstBadPointAsInOnePiece) {
  Inputs inputs = gk3_inputs();
  SharedWork helper;
  for (const std::size_t bad : {std::size_t{0}, std::size_t{700}, std::size_t{3000}}) {
    TestChunk shared(grid_points(4096));
    shared.xyz[3 * bad + 1] -= 36e6;
    shared.xyz[3 * 3500 + 1] -= 36e6;  // a later one, on the other thread as likely as not
    TestChunk alone = shared;
    std::vector<ConvertedPoint> converted(4096);
    const std::string expected = failure_of([&inputs, &alone, &converted] {
      test_points_to_geocentric(inputs, alone.streamed(11), converted.data());
    });
    EXPECT_NE(expected.find("the test point " + std::to_string(bad + 11) + " "), std::string::npos)
        << expected;
    EXPECT_EQ(failure_of([&inputs, &helper, &shared] {
                chunk_to_geocentric(inputs, helper, shared.streamed(11));
              }),
              expected);
  }
}

}  // namespace
}  // namespace helmert7
