// SPDX-License-Identifier: MIT
// One prediction run of n points (default 2,000) split into its stages, each
// timed in-process as the run does them: parsing the texts, the trace prints, the
// adjustment, and the report (mapping, formatting, writing the file). Prints the
// median over 21 repetitions of each stage in milliseconds.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <vector>

#include "driver/steps.h"

namespace {

using namespace helmert7;
using Clock = std::chrono::steady_clock;

std::string coordinate_text(long n, double shift) {
  std::string text;
  char buffer[96];
  for (long i = 0; i < n; ++i) {
    const double t = static_cast<double>(i);
    std::snprintf(buffer, sizeof buffer, "%.3f,%.3f,%.3f,",
                  -2260000.0 + 20000.0 * std::sin(0.37 * t),
                  5020000.0 + 20000.0 * std::cos(0.71 * t) + shift,
                  3200000.0 + 20000.0 * std::sin(1.13 * t) - shift);
    text += buffer;
  }
  return text;
}

double median_ms(const std::function<void()>& stage) {
  std::vector<double> times;
  for (int repetition = 0; repetition < 21; ++repetition) {
    const auto started = Clock::now();
    stage();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
  }
  std::nth_element(times.begin(), times.begin() + 10, times.end());
  return times[10];
}

}  // namespace

int main(int argc, char** argv) {
  const long n = argc > 1 ? std::atol(argv[1]) : 2000;
  const std::string source_text = coordinate_text(n, 0.0), target_text = coordinate_text(n, 50.0),
                    test_text = coordinate_text(n, 7.0);
  std::ofstream trace("/dev/null");

  CoordinateList source_list, target_list, test_list;
  PointMatrix source(n, 3), target(n, 3);
  const double parse = median_ms([&] {
    source_list = read_numbers(source_text);
    target_list = read_numbers(target_text);
    test_list = read_numbers(test_text);
    source = point_matrix(source_list);
    target = point_matrix(target_list);
  });
  const Eigen::RowVector3d ave_src = source.colwise().mean(), ave_tar = target.colwise().mean();
  const PointMatrix centred_source = source.rowwise() - ave_src;
  const PointMatrix centred_target = target.rowwise() - ave_tar;

  const double prints = median_ms([&] {
    for (const PointMatrix& points : {source, target, centred_source, centred_target}) {
      print_matrix(trace, "points", points);
    }
  });
  AdjustmentResult result;
  const double adjustment =
      median_ms([&] { result = estimate_parameters(centred_source, centred_target); });
  const GivenTexts texts{source_text, target_text, test_text};
  const PointMatrix test_points = point_matrix(test_list);
  const double report = median_ms([&] {
    const PointMatrix mapped = map_points({result.params, ave_src, ave_tar}, test_points);
    std::vector<double> values;
    for (Eigen::Index i = 0; i < mapped.rows(); ++i) {
      values.insert(values.end(), {mapped(i, 0), mapped(i, 1), mapped(i, 2)});
    }
    const std::string joined = join_numbers(values);
    trace << joined << '\n';
    StagedFile output("/dev/null", "/dev/null");
    output.write(prediction_report_text(texts, joined));
    output.commit();
  });
  std::printf(
      "n = %ld, milliseconds: parsing %.2f, trace prints %.2f, adjustment %.2f, report %.2f\n", n,
      parse, prints, adjustment, report);
  return 0;
}
