// SPDX-License-Identifier: MIT
// The command-line tool: argument words in, console trace, output file, adjustment
// report and exit status out. The only component that touches argv, the console
// and exit codes; main() merely calls run(). Failures of every step are thrown
// (Failure, NumericError) and caught once in run(), which writes one line.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace helmert7 {

/// The run's status after a report, and after every failure (a POSIX shell sees 255).
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = -1;

/// Runs the tool: `args` are the argument words, args[0] the program path; taken by
/// value, so that a caller that moves them in has their texts copied only into the
/// options. The trace goes to `out`; a failure writes one line naming its cause to
/// `err`. Returns kExitSuccess or kExitFailure.
int run(std::vector<std::string> args, std::ostream& out, std::ostream& err);

}  // namespace helmert7
