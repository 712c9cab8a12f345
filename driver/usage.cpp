// SPDX-License-Identifier: MIT
// The answers to --help and --version.
#include <algorithm>

#include "driver/driver.h"

namespace helmert7 {
namespace {

const char kUsage[] =
    R"(Usage: helmert7 --inputsrc SRC --inputdes DES [--inputtest TEST] [--outfile OUT]
  or:  helmert7 --inputfile CONFIG [--outfile OUT]
  or:  helmert7 --help | -h | --version

Estimates the seven parameters of a small-angle similarity (Helmert)
transformation between two 3-D Cartesian systems from points known in both, by
least squares, and writes a parameter report or maps test points.

A coordinate text is numbers separated by commas, three to a point:
"x1,y1,z1,x2,y2,z2,...". Quote a text that holds blanks.

Options:
  --inputsrc SRC     the source points, a coordinate text
  --inputdes DES     the target points: the same points in the same order
  --inputtest TEST   test points to map into the target system (optional)
  --inputfile FILE   a configuration file whose keys src, des and test give the
                     texts; looked up as given, then beside the program
  --outfile OUT      the output file (default: out.txt beside the program)
  --reportfile FILE  also write an adjustment report: full-precision and
                     origin-based parameters, PROJ strings, outlier test
  -h, --help         print this text and exit
  --version          print the version and exit

A value word goes to the first option, in the order --inputdes, --inputfile,
--inputsrc, --inputtest, --outfile, --reportfile, that has appeared and has no
value yet: so write every option directly before its value. An unknown option or
a word that no option takes ends the run with a message.

Without test points the output file holds the parameter report (lines args=,
avesrc=, avetar=, residual=); with test points it holds the prediction report
(src=, des=, test=, output=) and the console shows the precision of the fit.

Exit status: 0 after a report; -1 (255 in a POSIX shell) on any failure, with
one line on standard error naming the cause.

The README describes the formats, the model and its conventions; it is
installed as share/doc/helmert7/README.md and shipped in the Windows zip.
)";

bool has_word(const std::vector<std::string>& words, const char* wanted) {
  return std::find(words.begin(), words.end(), wanted) != words.end();
}

}  // namespace

bool answer_help_or_version(const std::vector<std::string>& words, std::ostream& out) {
  if (has_word(words, "--help") || has_word(words, "-h")) {
    out << kUsage;
  } else if (has_word(words, "--version")) {
    out << "helmert7 " << HELMERT7_VERSION << '\n';
  } else {
    return false;
  }
  out.flush();
  return true;
}

}  // namespace helmert7
