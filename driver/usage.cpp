// SPDX-License-Identifier: MIT
// The answers to --help and --version.
#include <algorithm>

#include "driver/invocation.h"

namespace helmert7 {
namespace {

const char kUsage[] =
    R"(Usage: helmert7 --inputsrc SRC --inputdes DES [--inputtest TEST] [--outfile OUT]
         [--reportfile FILE] [--rotation MODEL] [--direction WAY] [--trace LEVEL]
  or:  helmert7 --inputfile FILE [--outfile OUT] [--reportfile FILE]
         [--rotation MODEL] [--trace LEVEL]
  or:  helmert7 --help | -h | --version

Estimates the seven parameters of a similarity (Helmert) transformation between
two 3-D Cartesian systems from points known in both, by least squares, and
writes a parameter report or maps test points.

A coordinate text is numbers separated by commas, three to a point:
"x1,y1,z1,x2,y2,z2,...". Quote a text that holds blanks. A value that begins
with @ names a point file instead, "[name] x y z [more]" a line (@control.csv;
@- reads the test points from standard input).

Options:
)";

// After the options: how values bind, the outputs, the exit status.
const char kUsageEnd[] =
    R"(
Without test points the output file holds the parameter report (lines args=,
avesrc=, avetar=, residual=); with test points it holds the prediction report
(src=, des=, test=, output=), or the mapped point file when they come from one,
and the console shows the precision of the fit.

Exit status: 0 after a report; -1 (255 in a POSIX shell) on any failure, with
one line on standard error naming the cause.

The README describes the formats, the model and its conventions; it is
installed as share/doc/helmert7/README.md and shipped in the Windows zip.
)";

// "  --name VALUE      help", the help's further lines under its first.
std::string option_lines() {
  constexpr std::size_t kHelpColumn = 21;
  std::string lines;
  for (const OptionSpec& option : kOptions) {
    std::string head = std::string("  ") + option.name + " " + option.value;
    head.resize(std::max(kHelpColumn, head.size() + 2), ' ');
    std::string help = option.help;
    for (std::size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1)) {
      help.insert(at + 1, kHelpColumn, ' ');
    }
    lines += head + help + "\n";
  }
  return lines +
         "  -h, --help         print this text and exit\n"
         "  --version          print the version and exit\n";
}

// A paragraph broken at blanks into lines of at most `width` bytes.
std::string wrapped(const std::string& paragraph, std::size_t width) {
  std::string text, line;
  std::size_t start = 0;
  while (start <= paragraph.size()) {
    const std::size_t end = std::min(paragraph.find(' ', start), paragraph.size());
    const std::string word = paragraph.substr(start, end - start);
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      text += line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    start = end + 1;
  }
  return text + line + "\n";
}

// The binding rule, with the options in key order.
std::string binding_paragraph() {
  std::vector<std::string> names;
  for (const OptionSpec& option : kOptions) names.push_back(option.name);
  std::sort(names.begin(), names.end());
  std::string in_key_order;
  for (const std::string& name : names) in_key_order += name + ", ";
  return wrapped("A value word goes to the first option, in the order " + in_key_order +
                     "that has appeared and has no value yet: so write every option directly "
                     "before its value. An unknown option or a word that no option takes ends "
                     "the run with a message.",
                 80);
}

bool has_word(const std::vector<std::string>& words, const char* wanted) {
  return std::find(words.begin(), words.end(), wanted) != words.end();
}

}  // namespace

bool answer_help_or_version(const std::vector<std::string>& words, std::ostream& out) {
  if (has_word(words, "--help") || has_word(words, "-h")) {
    out << kUsage << option_lines() << '\n' << binding_paragraph() << kUsageEnd;
  } else if (has_word(words, "--version")) {
    out << "helmert7 " << HELMERT7_VERSION << '\n';
  } else {
    return false;
  }
  out.flush();
  return true;
}

}  // namespace helmert7
