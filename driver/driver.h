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

namespace helmert7 {

/// Option name to value, ordered bytewise; holds only the five option names.
using OptionMap = std::map<std::string, std::string>;

/// The run's status after a report, and after every failure (a POSIX shell sees 255).
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = -1;

/// Runs the tool: `args` are the argument words, args[0] the program path. The trace
/// goes to `out`; a failure writes one line naming its cause to `err`. Returns
/// kExitSuccess or kExitFailure.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

/// argv[0] up to and including its last directory separator, or empty.
std::string exe_dir_of(const std::string& program_path);

/// Builds the OptionMap from the words after the program path, echoing every word
/// to `out` on a line of its own before it is interpreted. A value word goes to the
/// first option in key order whose value is still empty.
OptionMap build_option_map(const std::vector<std::string>& words, std::ostream& out);

/// Prints a matrix: its name, "[rows cols 1 1]", one line per row with every value
/// as "%.10g" right-aligned to the widest value after four blanks, then an empty line.
void print_matrix(std::ostream& out, const std::string& name, const Eigen::MatrixXd& matrix);

}  // namespace helmert7
