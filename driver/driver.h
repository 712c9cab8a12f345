// SPDX-License-Identifier: MIT
// The command-line tool: argument words in, console trace, output file and exit
// status out. The only component that touches argv, the console and exit codes;
// main() merely calls run().
#pragma once

#include <Eigen/Dense>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "model/model.h"
#include "numtext/numtext.h"

namespace helmert7 {

/// Option name to value, ordered bytewise; holds only the six option names.
using OptionMap = std::map<std::string, std::string>;

/// The run's status after a report, and after every failure (a POSIX shell sees 255).
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = -1;

/// Runs the tool: `args` are the argument words, args[0] the program path. The trace
/// goes to `out`; a failure writes one line naming its cause to `err`. Returns
/// kExitSuccess or kExitFailure.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

/// When the words include "--help" or "-h", prints the usage text to `out`; else,
/// when they include "--version", prints "helmert7 <version>". Returns whether it
/// answered, in which case the run ends there with status 0.
bool answer_help_or_version(const std::vector<std::string>& words, std::ostream& out);

/// argv[0] up to and including its last directory separator, or empty.
std::string exe_dir_of(const std::string& program_path);

/// Builds the OptionMap from the words after the program path, echoing every word
/// to `out` on a line of its own before it is interpreted. A value word goes to the
/// first option in key order whose value is still empty; a non-empty value word that
/// no option takes is appended to `unbound` when given.
OptionMap build_option_map(const std::vector<std::string>& words, std::ostream& out,
                           std::vector<std::string>* unbound = nullptr);

/// Why the command line cannot be taken as given, or empty: a word beginning with
/// "--" that is no option name (with the nearest name when one or two edits away),
/// else the first of the `unbound` value words.
std::string command_line_problem(const std::vector<std::string>& words,
                                 const std::vector<std::string>& unbound);

/// The text between single quotes, its control bytes escaped, for messages.
std::string in_quotes(const std::string& text);

/// Prints a matrix: its name, "[rows cols 1 1]", one line per row with every value
/// as "%.10g" right-aligned to the widest value after four blanks, then an empty line.
void print_matrix(std::ostream& out, const std::string& name, const Eigen::MatrixXd& matrix);

/// Maps the whole (x, y, z) triples of `points` from the source into the target
/// system: subtract ave_src, transform_point, add ave_tar. A tail of one or two
/// values is no point and is ignored. Throws NumericError for a non-finite result.
std::vector<double> map_points(const CoordinateList& points, const Eigen::RowVector3d& ave_src,
                               const Eigen::RowVector3d& ave_tar, const ParameterVector& params);

/// The parameter report: "args=", "avesrc=", "avetar=" lines of clamped "%f" values
/// (|v| <= 1e-6 written as 0.000000) and, when both lists have the same length, the
/// "residual=" line of mapped source minus target points.
std::string parameter_report_text(const ParameterVector& params, const Eigen::RowVector3d& ave_src,
                                  const Eigen::RowVector3d& ave_tar, const CoordinateList& source,
                                  const CoordinateList& target);

/// The adjustment report of --reportfile, from the centred common points, the
/// converged result, the centroids, the test list (empty in a parameter run) and
/// the test points as map_points gives them:
/// summary, parameters of the centred model and origin-based ones in both
/// conventions with standard errors and correlations, PROJ strings, residuals with
/// Pope's outlier test, predicted points with standard errors, warnings.
std::string adjustment_report_text(const PointMatrix& source, const PointMatrix& target,
                                   const AdjustmentResult& result,
                                   const Eigen::RowVector3d& ave_src,
                                   const Eigen::RowVector3d& ave_tar, const CoordinateList& test,
                                   const std::vector<double>& predicted);

/// The prediction report: the three input texts as given, then "output=" + joined.
std::string prediction_report_text(const std::string& source_text, const std::string& target_text,
                                   const std::string& test_text, const std::string& joined);

}  // namespace helmert7
