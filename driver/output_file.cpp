// SPDX-License-Identifier: MIT
// The output file: the parameter report, or the prediction report with its
// console lines.
#include <cmath>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>

#include "driver/steps.h"

namespace helmert7 {
namespace {

// Console labels, as GBK bytes whatever the console's code page.
const char kLabelPrediction[] = "\xC4\xA3\xD0\xCD\xD4\xA4\xB2\xE2\xBD\xE1\xB9\xFB\x3A\x20";
const char kLabelSigma0[] = "\xB5\xA5\xCE\xBB\xC8\xA8\xD6\xD0\xCE\xF3\xB2\xEE\x3A\x20";
const char kLabelSigmax[] = "\xB2\xCE\xCA\xFD\xD6\xD0\xCE\xF3\xB2\xEE\x3A";
const char kLabelElapsed[] = "\xCF\xFB\xBA\xC4\xCA\xB1\xBC\xE4\x3A\x20";

// Values that are numerically zero are written without sign or rounding noise.
std::string clamped(double value) { return format_number(std::fabs(value) > 1e-6 ? value : 0.0); }

std::string clamped_line(const char* key, const double* values, int count) {
  std::string line = key;
  for (int i = 0; i < count; ++i) {
    if (i > 0) line += ',';
    line += clamped(values[i]);
  }
  return line + '\n';
}

// "%g", as the default number format of an output stream writes a double.
std::string general_number(double value) { return format_general(value, 6); }

// The values of the rows of `points`, x, y, z for each.
std::vector<double> values_of(const PointMatrix& points) {
  std::vector<double> values;
  values.reserve(static_cast<std::size_t>(points.size()));
  for (Eigen::Index i = 0; i < points.rows(); ++i) {
    values.insert(values.end(), {points(i, 0), points(i, 1), points(i, 2)});
  }
  return values;
}

// The file written beside the output path; a failure names the path.
std::unique_ptr<StagedFile> staged(const std::string& path, const std::string& text) {
  try {
    auto file = std::make_unique<StagedFile>(path);
    file->write(text);
    return file;
  } catch (const FileError& e) {
    throw InputError("cannot write the output file " + in_quotes(path) + ": " + e.what());
  }
}

// The precision lines of a prediction run, after the predictions.
void write_precision(const Fit& fit, std::ostream& out) {
  out << kLabelSigma0 << general_number(fit.result.sigma0) << std::endl;
  out << kLabelSigmax << std::endl;
  print_matrix(out, "sigmax", fit.result.sigmax);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - fit.started;
  out << kLabelElapsed << general_number(elapsed.count()) << " s" << std::endl;
}

// Test points from a point file, mapped chunk by chunk into the output file.
std::size_t stream_test_points(const CoordinateText& test, const CentredTransformation& mapping,
                               StagedFile& output) {
  std::ifstream file;
  if (test.path != "-") {
    file.open(test.path, std::ios::binary);
    if (!file) {
      throw InputError("cannot read the test point file " + in_quotes(test.path) + ": " +
                       std::strerror(errno));
    }
  }
  std::istream& in = test.path == "-" ? std::cin : file;
  const std::string shown = test.path == "-" ? "standard input" : test.path;
  return map_point_stream(
      in, shown, [&mapping](double* xyz, std::size_t points) { map_in_place(mapping, xyz, points); },
      [&output](std::string_view text) { output.write(text); });
}

// The mapped point file; the console gives their count and the output path.
void stage_streamed_prediction(const Invocation& invocation, const Inputs& inputs, const Fit& fit,
                               std::ostream& out, Outputs& outputs) {
  try {
    outputs.output_file = std::make_unique<StagedFile>(invocation.output_path);
    outputs.mapped_points = stream_test_points(inputs.test, fit.mapping, *outputs.output_file);
  } catch (const FileError& e) {
    throw InputError("cannot write the output file " + in_quotes(invocation.output_path) + ": " +
                     e.what());
  }
  out << kLabelPrediction << outputs.mapped_points << " points -> " << invocation.output_path
      << std::endl;
  write_precision(fit, out);
}

// The prediction report. A file that cannot be written fails the run after the
// console lines.
void stage_prediction(const Invocation& invocation, const Inputs& inputs, const Fit& fit,
                      std::ostream& out, Outputs& outputs) {
  const std::string joined = join_numbers(values_of(fit.predicted));
  out << kLabelPrediction << joined << std::endl;
  std::exception_ptr unwritten;
  try {
    outputs.output_file = staged(invocation.output_path, prediction_report_text(inputs, joined));
  } catch (const InputError&) {
    unwritten = std::current_exception();
  }
  write_precision(fit, out);
  if (unwritten) std::rethrow_exception(unwritten);
}

}  // namespace

std::string parameter_report_text(const CentredTransformation& mapping,
                                  const Eigen::VectorXd& residuals) {
  std::string text = clamped_line("args=", mapping.params.data(), 7);
  text += clamped_line("avesrc=", mapping.ave_src.data(), 3);
  text += clamped_line("avetar=", mapping.ave_tar.data(), 3);
  if (residuals.size() > 0) {
    text += "residual=" +
            join_numbers(std::vector<double>(residuals.data(), residuals.data() + residuals.size())) +
            '\n';
  }
  return text;
}

std::string prediction_report_text(const Inputs& inputs, const std::string& joined) {
  return "src=" + inputs.source.text + "\ndes=" + inputs.target.text + "\ntest=" +
         inputs.test.text + "\noutput=" + joined + '\n';
}

void stage_output_file(const Invocation& invocation, const Inputs& inputs, const Fit& fit,
                       std::ostream& out, Outputs& outputs) {
  if (streams_test_points(inputs)) {
    stage_streamed_prediction(invocation, inputs, fit, out, outputs);
    return;
  }
  if (fit.predicting) {
    stage_prediction(invocation, inputs, fit, out, outputs);
    return;
  }
  outputs.output_file =
      staged(invocation.output_path, parameter_report_text(fit.mapping, fit.residuals));
}

void put_outputs_in_place(const Invocation& invocation, Outputs& outputs) {
  const std::pair<StagedFile*, std::string> files[] = {
      {outputs.output_file.get(), "the output file " + in_quotes(invocation.output_path)},
      {outputs.report_file.get(), "the report file " + in_quotes(invocation.report_path)}};
  for (const auto& [file, name] : files) {
    try {
      if (file) file->commit();
    } catch (const FileError& e) {
      throw InputError("cannot write " + name + ": " + e.what());
    }
  }
}

}  // namespace helmert7
