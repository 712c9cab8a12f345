// SPDX-License-Identifier: MIT
// The test points mapped, with their console lines: the mapped list of a
// coordinate text, or the count of a point file's points streamed into the staged
// output file; then sigma0, the parameters' standard errors and the elapsed time.
#include <iostream>

#include "driver/steps.h"
#include "points/points.h"

namespace helmert7 {
namespace {

// Console labels, as GBK bytes whatever the console's code page.
const char kLabelPrediction[] = "\xC4\xA3\xD0\xCD\xD4\xA4\xB2\xE2\xBD\xE1\xB9\xFB\x3A\x20";
const char kLabelSigma0[] = "\xB5\xA5\xCE\xBB\xC8\xA8\xD6\xD0\xCE\xF3\xB2\xEE\x3A\x20";
const char kLabelSigmax[] = "\xB2\xCE\xCA\xFD\xD6\xD0\xCE\xF3\xB2\xEE\x3A";
const char kLabelElapsed[] = "\xCF\xFB\xBA\xC4\xCA\xB1\xBC\xE4\x3A\x20";

// "%g", as the default number format of an output stream writes a double.
std::string general_number(double value) { return format_general(value, 6); }

// The precision lines of a prediction run, after the predictions.
void print_precision(const Fit& fit, const Trace& trace) {
  print_sigma0(trace.out, fit.result.sigma0);
  trace.out << kLabelSigmax << std::endl;
  print_matrix(trace.out, "sigmax", fit.result.sigmax);
  const std::chrono::duration<double> elapsed =
      std::chrono::steady_clock::now() - trace.adjustment_started;
  trace.out << kLabelElapsed << general_number(elapsed.count()) << " s" << std::endl;
}

// The values of the rows of `points`, x, y, z for each.
std::vector<double> values_of(const PointMatrix& points) {
  std::vector<double> values;
  values.reserve(static_cast<std::size_t>(points.size()));
  for (Eigen::Index i = 0; i < points.rows(); ++i) {
    values.insert(values.end(), {points(i, 0), points(i, 1), points(i, 2)});
  }
  return values;
}

// Test points from a point file, mapped chunk by chunk into the output file.
void stream_test_points(const Invocation& invocation, Inputs& inputs, const Fit& fit,
                        Prediction& prediction) {
  prediction.streamed_file = std::make_unique<StagedFile>(
      invocation.output_path, "the output file " + in_quotes(invocation.output_path));
  const bool from_stdin = !inputs.test_file;
  StagedFile& output = *prediction.streamed_file;
  prediction.points.streamed = true;
  prediction.points.output_path = invocation.output_path;
  TestPointSurvey survey(fit);
  prediction.points.count = map_point_stream(
      from_stdin ? std::cin : *inputs.test_file, from_stdin ? "standard input" : inputs.test.path,
      [&fit, &inputs, &survey, &prediction, mapped = std::size_t{0}](
          double* xyz, std::size_t points, const std::string_view* names,
          const std::size_t* lines) mutable {
        const StreamedChunk chunk{xyz, points, names, lines, mapped + 1};
        const std::vector<int> zones = test_points_to_geocentric(inputs, chunk);
        survey.add(xyz, points);
        const std::ptrdiff_t worst = survey.worst() - static_cast<std::ptrdiff_t>(mapped);
        if (worst >= 0) prediction.points.worst_name = names[worst];
        map_in_place(fit.mapping, xyz, points);
        mapped_points_to_target_form(inputs, zones, chunk);
        mapped += points;
      },
      [&output](std::string_view text) { output.write(text); }, kPointBlockBytes,
      point_fields(inputs.forms.source), point_fields(inputs.forms.target));
  warn_far_test_points(inputs);
  prediction.points.farthest = survey.farthest();
  prediction.points.model_error = survey.model_error();
  prediction.points.errors = spread_of(survey.errors());
}

// "模型预测结果: 3 points -> out.txt"
void print_count(std::size_t count, const std::string& output_path, const Trace& trace) {
  trace.out << kLabelPrediction << count << " points -> " << output_path << std::endl;
}

}  // namespace

void print_sigma0(std::ostream& out, double sigma0) {
  out << kLabelSigma0 << general_number(sigma0) << std::endl;
}

Prediction predict(const Invocation& invocation, Inputs& inputs, const Fit& fit, Trace& trace) {
  Prediction prediction;
  prediction.points.asked = !inputs.test_list.empty() || !inputs.test.path.empty();
  if (!prediction.points.asked) return prediction;
  if (!inputs.test.path.empty()) {
    stream_test_points(invocation, inputs, fit, prediction);
    print_count(prediction.points.count, invocation.output_path, trace);
  } else {
    prediction.points.mapped = map_points(fit.mapping, point_matrix(inputs.test_list));
    prediction.joined = inputs.forms.convert()
                            ? joined_in_target_form(inputs, prediction.points.mapped)
                            : join_numbers(values_of(prediction.points.mapped));
    if (trace.brief) {
      print_count(static_cast<std::size_t>(prediction.points.mapped.rows()), invocation.output_path,
                  trace);
    } else {
      trace.out << kLabelPrediction << prediction.joined << std::endl;
    }
  }
  if (!trace.brief) print_precision(fit, trace);
  return prediction;
}

}  // namespace helmert7
