// SPDX-License-Identifier: MIT
// The test points mapped, with their console lines: the mapped list of a
// coordinate text, or the count of a point file's points streamed into the staged
// output file; then sigma0, the parameters' standard errors and the elapsed time.
#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

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

// The chunk's points, as given, added to the survey; the name of the largest
// standard error so far when it is in the chunk.
void survey_chunk(TestPointSurvey& survey, const PointChunk& chunk, std::string& worst_name) {
  survey.add(chunk.xyz, chunk.points);
  const std::ptrdiff_t worst = survey.worst() - static_cast<std::ptrdiff_t>(chunk.before);
  if (worst >= 0) worst_name = chunk.names[worst];
}

// Maps a chunk with the same fit, forward or back (--direction inverse), and
// surveys its points in the source system: before they are mapped forward, after
// they are mapped back.
template <typename Survey>
void map_surveyed(const Inputs& inputs, const Fit& fit, const PointChunk& chunk,
                  const Survey& survey) {
  if (inputs.direction == MappingDirection::back) {
    map_back_in_place(fit.mapping, chunk.xyz, chunk.points);
    survey();
  } else {
    survey();
    map_in_place(fit.mapping, chunk.xyz, chunk.points);
  }
}

// Maps test points from a point file chunk by chunk into `output`: xyz points on
// this thread, points in forms, whose conversions cost more than reading and
// writing them, shared with a second. The survey and the notes of far points
// take the chunks in file order. Returns the number of points.
std::size_t stream_into(Inputs& inputs, const Fit& fit, TestPointSurvey& survey,
                        std::string& worst_name, StagedFile& output) {
  const bool from_stdin = !inputs.test_file;
  std::istream& in = from_stdin ? std::cin : *inputs.test_file;
  const std::string& shown = from_stdin ? "standard input" : inputs.test.path;
  const auto write = [&output](std::string_view text) { output.write(text); };
  const PointFields read = point_fields(inputs.test_forms.source);
  const PointFields written = point_fields(inputs.test_forms.target);
  if (!inputs.forms.convert()) {
    return map_point_stream(
        in, shown,
        [&inputs, &fit, &survey, &worst_name, mapped = std::size_t{0}](
            double* xyz, std::size_t points, const std::string_view* names,
            const std::size_t* lines) mutable {
          const PointChunk chunk{xyz, points, names, lines, mapped};
          map_surveyed(inputs, fit, chunk, [&] { survey_chunk(survey, chunk, worst_name); });
          mapped += points;
        },
        write, kPointBlockBytes, read, written);
  }
  return map_point_stream_shared(
      in, shown,
      [&inputs, &fit, &survey, &worst_name](const PointChunk& chunk, const InOrder& in_order) {
        std::vector<ConvertedPoint> converted(chunk.points);
        test_points_to_geocentric(inputs, chunk, converted.data());
        map_surveyed(inputs, fit, chunk, [&] {
          in_order([&inputs, &chunk, &converted, &survey, &worst_name] {
            note_far_test_points(inputs, chunk, converted.data());
            survey_chunk(survey, chunk, worst_name);
          });
        });
        mapped_points_to_target_form(inputs, chunk, converted.data());
      },
      write, kPointBlockBytes, read, written);
}

// Test points from a point file, mapped chunk by chunk into the output file.
void stream_test_points(const Invocation& invocation, Inputs& inputs, const Fit& fit,
                        Prediction& prediction) {
  prediction.streamed_file = std::make_unique<StagedFile>(
      invocation.output_path, "the output file " + in_quotes(invocation.output_path));
  prediction.points.streamed = true;
  prediction.points.output_path = invocation.output_path;
  TestPointSurvey survey(fit, inputs.direction);
  prediction.points.count =
      stream_into(inputs, fit, survey, prediction.points.worst_name, *prediction.streamed_file);
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
  prediction.points.back = inputs.direction == MappingDirection::back;
  if (!prediction.points.asked) return prediction;
  if (!inputs.test.path.empty()) {
    stream_test_points(invocation, inputs, fit, prediction);
    print_count(prediction.points.count, invocation.output_path, trace);
  } else {
    const PointMatrix given = point_matrix(inputs.test_list);
    prediction.points.mapped = prediction.points.back ? map_points_back(fit.mapping, given)
                                                      : map_points(fit.mapping, given);
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
