// SPDX-License-Identifier: MIT
// The run: inputs, gate, points and centroids, adjustment, report, exit status.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <utility>

#include "config/config.h"
#include "driver/driver.h"

namespace helmert7 {
namespace {

// Console labels, as GBK bytes whatever the console's code page.
const char kLabelParameters[] = "\xC6\xDF\xB2\xCE\xCA\xFD\xCA\xE4\xB3\xF6\x3A\x20";
const char kLabelPrediction[] = "\xC4\xA3\xD0\xCD\xD4\xA4\xB2\xE2\xBD\xE1\xB9\xFB\x3A\x20";
const char kLabelSigma0[] = "\xB5\xA5\xCE\xBB\xC8\xA8\xD6\xD0\xCE\xF3\xB2\xEE\x3A\x20";
const char kLabelSigmax[] = "\xB2\xCE\xCA\xFD\xD6\xD0\xCE\xF3\xB2\xEE\x3A";
const char kLabelElapsed[] = "\xCF\xFB\xBA\xC4\xCA\xB1\xBC\xE4\x3A\x20";

// One coordinate text, what it holds and where it came from, for messages.
struct CoordinateText {
  std::string text;
  const char* role;
  std::string origin;
};

std::string parse_failure(const CoordinateText& input, const std::exception& e) {
  return std::string("cannot read the ") + input.role + " points (" + input.origin +
         "): " + e.what();
}

int fail(std::ostream& err, const std::string& message) {
  err << "helmert7: " << message << std::endl;
  return kExitFailure;
}

// "%g", as the default number format of an output stream writes a double.
std::string general_number(double value) { return format_general(value, 6); }

std::string option_value(const OptionMap& options, const char* name) {
  const auto found = options.find(name);
  return found == options.end() ? std::string() : found->second;
}

bool path_exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

// Lets the non-empty "src", "des" and "test" values of the configuration file's
// empty section replace the command-line texts. Returns a failure message, or empty.
std::string apply_configuration(const std::string& named, const std::string& exe_dir,
                                CoordinateText& source, CoordinateText& target,
                                CoordinateText& test) {
  if (named.empty()) return "--inputfile needs the name of a configuration file after it";
  std::string path = named;
  if (!path_exists(path)) {
    path = exe_dir + named;
    if (!path_exists(path)) {
      return "configuration file " + in_quotes(named) + " not found (tried " + in_quotes(named) +
             " and " + in_quotes(path) + ")";
    }
  }
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    return "configuration file " + in_quotes(path) + " is a directory, not a file";
  }
  if (!std::ifstream(path)) return "cannot read configuration file " + in_quotes(path);

  std::vector<char> buffer(kConfigValueCapacity);
  for (const auto& [input, key] :
       {std::pair(&source, "src"), std::pair(&target, "des"), std::pair(&test, "test")}) {
    std::fill(buffer.begin(), buffer.end(), '\0');
    config_get_string(path.c_str(), "", key, buffer.data(), buffer.size(), "");
    if (buffer[0] != '\0') {
      input->text = buffer.data();
      input->origin = key + std::string(" in ") + in_quotes(path);
    }
  }
  return {};
}

// "1 2 3": blanks between digits, which join them into one number.
bool has_blanks_between_digits(const std::string& text) {
  const auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!is_digit(text[i])) continue;
    std::size_t next = i + 1;
    while (next < text.size() && (text[next] == ' ' || text[next] == '\t')) ++next;
    if (next > i + 1 && next < text.size() && is_digit(text[next])) return true;
  }
  return false;
}

std::string values_counted(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " value" : " values");
}

// Said when a text gives too few points: blanks may have run its values together.
std::string blank_hint(const CoordinateText& source, const CoordinateText& target) {
  if (!has_blanks_between_digits(source.text) && !has_blanks_between_digits(target.text)) return {};
  return "; separate the values with commas, not blanks";
}

// The checks between parsing and the trace: a failure message, or empty.
std::string problem_with_points(const CoordinateText& source_text, const double* source,
                                std::size_t source_count, const CoordinateText& target_text,
                                const double* target, std::size_t target_count) {
  const std::size_t n_src = source_count / 3, n_tar = target_count / 3;
  if (n_src != n_tar) {
    return "the source text gives " + std::to_string(n_src) + " points but the target text gives " +
           std::to_string(n_tar) + " points; every source point needs its target point" +
           (std::min(n_src, n_tar) < 3 ? blank_hint(source_text, target_text) : std::string());
  }
  if (n_src < 3) {
    return std::to_string(n_src) +
           " common points are too few: the seven parameters need at least three points that "
           "are not collinear; the source text gives " +
           values_counted(source_count) + " and the target text " + values_counted(target_count) +
           blank_hint(source_text, target_text);
  }
  // NaN and infinity are numbers to the parser but no coordinates.
  for (const auto& [values, role] : {std::pair(source, "source"), std::pair(target, "target")}) {
    for (std::size_t i = 0; i < 3 * n_src; ++i) {
      if (!std::isfinite(values[i])) {
        return role + (" point " + std::to_string(i / 3 + 1)) + " has a NaN or infinite coordinate";
      }
    }
  }
  return {};
}

PointMatrix point_matrix(const double* values, std::size_t count) {
  const Eigen::Index n = static_cast<Eigen::Index>(count / 3);
  PointMatrix points(n, 3);
  for (Eigen::Index i = 0; i < n; ++i) {
    points.row(i) << values[3 * i], values[3 * i + 1], values[3 * i + 2];
  }
  return points;
}

// The gate: a failure message when the source or target text is empty, or empty.
std::string missing_text(const CoordinateText& source, const CoordinateText& target) {
  if (source.text.empty()) {
    return "no source points: give them as --inputsrc \"x1,y1,z1,x2,y2,z2,...\" "
           "or as src=... in the file named by --inputfile";
  }
  if (target.text.empty()) {
    return "no target points: give them as --inputdes \"x1,y1,z1,x2,y2,z2,...\" "
           "or as des=... in the file named by --inputfile";
  }
  return {};
}

// Parses the three texts into lists, and source and target through their counted
// form into point matrices; one pass over each text serves both. Returns a
// failure message, or empty.
std::string parse_texts(const CoordinateText& source, const CoordinateText& target,
                        const CoordinateText& test, CoordinateList& source_list,
                        CoordinateList& target_list, CoordinateList& test_list,
                        PointMatrix& source_points, PointMatrix& target_points) {
  std::unique_ptr<double[]> source_block, target_block;
  std::size_t source_count = 0, target_count = 0;
  const CoordinateText* parsing = &source;
  try {
    source_list = read_numbers(source.text);
    parsing = &target;
    target_list = read_numbers(target.text);
    parsing = &test;
    test_list = read_numbers(test.text);
  } catch (const std::invalid_argument& e) {
    return parse_failure(*parsing, e);
  } catch (const std::out_of_range& e) {
    return parse_failure(*parsing, e);
  }
  source_block = counted_block(source_list, source_count);
  target_block = counted_block(target_list, target_count);
  const std::string problem = problem_with_points(source, source_block.get(), source_count, target,
                                                  target_block.get(), target_count);
  if (!problem.empty()) return problem;
  source_points = point_matrix(source_block.get(), source_count);
  target_points = point_matrix(target_block.get(), target_count);
  return {};
}

// Prints both point sets and their centroids, then centres both sets and prints
// them again. Returns a failure message when a centroid overflows, or empty.
std::string trace_and_centre(std::ostream& out, PointMatrix& source_points,
                             PointMatrix& target_points, Eigen::RowVector3d& ave_src,
                             Eigen::RowVector3d& ave_tar) {
  out << "source_points: " << std::endl;
  print_matrix(out, "source_points", source_points);
  out << "target_points: " << std::endl;
  print_matrix(out, "target_points", target_points);

  ave_src = source_points.colwise().mean();
  out << "ave_src: " << std::endl;
  print_matrix(out, "ave_src", ave_src);
  ave_tar = target_points.colwise().mean();
  out << "ave_tar: " << std::endl;
  print_matrix(out, "ave_tar", ave_tar);
  for (const auto& [centroid, role] :
       {std::pair(&ave_src, "source"), std::pair(&ave_tar, "target")}) {
    if (!centroid->allFinite()) {
      return std::string("the centroid of the ") + role +
             " points overflows: the coordinates are too large";
    }
  }

  source_points.rowwise() -= ave_src;
  print_matrix(out, "source_points", source_points);
  target_points.rowwise() -= ave_tar;
  print_matrix(out, "target_points", target_points);
  return {};
}

// The report of the output file, with the prediction report's console lines;
// `predicted` holds the test points mapped, and the elapsed time counts from
// `started`. Returns a failure message when the file could not be written
// completely, or empty.
std::string write_report(std::ostream& out, const std::string& output_path,
                         const CoordinateText& source, const CoordinateText& target,
                         const CoordinateText& test, const CoordinateList& source_list,
                         const CoordinateList& target_list, const CoordinateList& test_list,
                         const std::vector<double>& predicted, const Eigen::RowVector3d& ave_src,
                         const Eigen::RowVector3d& ave_tar, const AdjustmentResult& result,
                         std::chrono::steady_clock::time_point started) {
  bool written = false;
  std::string write_problem;
  if (test_list.empty()) {
    const std::string text =
        parameter_report_text(result.params, ave_src, ave_tar, source_list, target_list);
    written = write_text_file(output_path, text, write_problem);
  } else {
    const std::string joined = join_numbers(predicted);
    out << kLabelPrediction << joined << std::endl;
    written = write_text_file(output_path,
                              prediction_report_text(source.text, target.text, test.text, joined),
                              write_problem);
    out << kLabelSigma0 << general_number(result.sigma0) << std::endl;
    out << kLabelSigmax << std::endl;
    print_matrix(out, "sigmax", result.sigmax);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    out << kLabelElapsed << general_number(elapsed.count()) << " s" << std::endl;
  }
  if (written) return {};
  return "cannot write the output file " + in_quotes(output_path) + ": " + write_problem;
}

}  // namespace

std::string in_quotes(const std::string& text) { return "'" + escape_control_bytes(text) + "'"; }

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const std::string exe_dir = args.empty() ? std::string() : exe_dir_of(args[0]);
  const std::vector<std::string> words =
      args.empty() ? args : std::vector<std::string>(args.begin() + 1, args.end());
  if (answer_help_or_version(words, out)) return kExitSuccess;
  std::vector<std::string> unbound;
  const OptionMap options = build_option_map(words, out, &unbound);
  out.flush();
  const std::string refusal = command_line_problem(words, unbound);
  if (!refusal.empty()) return fail(err, refusal);

  const std::string output_path =
      options.count("--outfile") ? options.at("--outfile") : exe_dir + "out.txt";
  const bool wants_adjustment_report = options.count("--reportfile") > 0;
  const std::string report_path = option_value(options, "--reportfile");
  if (wants_adjustment_report && report_path.empty()) {
    return fail(err, "--reportfile needs the name of the report file after it");
  }
  CoordinateText source{option_value(options, "--inputsrc"), "source", "--inputsrc"};
  CoordinateText target{option_value(options, "--inputdes"), "target", "--inputdes"};
  CoordinateText test{option_value(options, "--inputtest"), "test", "--inputtest"};
  if (options.count("--inputfile")) {
    const std::string problem =
        apply_configuration(options.at("--inputfile"), exe_dir, source, target, test);
    if (!problem.empty()) return fail(err, problem);
  }
  const std::string missing = missing_text(source, target);
  if (!missing.empty()) return fail(err, missing);

  CoordinateList source_list, target_list, test_list;
  PointMatrix source_points, target_points;
  const std::string unreadable = parse_texts(source, target, test, source_list, target_list,
                                             test_list, source_points, target_points);
  if (!unreadable.empty()) return fail(err, unreadable);

  try {
    Eigen::RowVector3d ave_src, ave_tar;
    const std::string overflow =
        trace_and_centre(out, source_points, target_points, ave_src, ave_tar);
    if (!overflow.empty()) return fail(err, overflow);

    const auto started = std::chrono::steady_clock::now();
    const AdjustmentResult result = estimate_parameters(
        source_points, target_points,
        [&out](const ParameterVector& params) { print_matrix(out, "Args", params); });
    if (!result.converged) {
      return fail(err, "the adjustment did not converge within " +
                           std::to_string(kIterationBudget) + " iterations");
    }
    out << kLabelParameters << std::endl;
    print_matrix(out, "Args", result.params);

    // A file that cannot be written fails the run, after the console lines.
    const std::vector<double> predicted = map_points(test_list, ave_src, ave_tar, result.params);
    const std::string unwritten =
        write_report(out, output_path, source, target, test, source_list, target_list, test_list,
                     predicted, ave_src, ave_tar, result, started);
    if (!unwritten.empty()) return fail(err, unwritten);
    if (wants_adjustment_report) {
      const std::string text = adjustment_report_text(source_points, target_points, result, ave_src,
                                                      ave_tar, test_list, predicted);
      std::string reason;
      if (!write_text_file(report_path, text, reason)) {
        return fail(err, "cannot write the report file " + in_quotes(report_path) + ": " + reason);
      }
    }
  } catch (const NumericError& e) {
    return fail(err, e.what());
  }
  return kExitSuccess;
}

}  // namespace helmert7
