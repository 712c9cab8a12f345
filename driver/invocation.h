// SPDX-License-Identifier: MIT
// The command line: the table of options, the OptionMap built from the words, and
// the invocation the run takes from them. No numerics here.
#pragma once

#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace helmert7 {

/// One option of the tool; every option takes one value word.
struct OptionSpec {
  const char* name;   ///< "--inputsrc"
  const char* value;  ///< what the usage text calls its value: "SRC"
  const char* help;   ///< one line per "\n", for the usage text
  const char* needs;  ///< what a refusal says it needs after it: "a coordinate text"
  bool names_file;    ///< its value is the path of a file the run reads or writes
};

/// Every option, in the order the usage text lists them.
extern const std::vector<OptionSpec> kOptions;

/// Option name to value, ordered bytewise; holds only names from kOptions.
using OptionMap = std::map<std::string, std::string>;

/// A coordinate text, the points it gives and where it came from, for messages.
struct CoordinateText {
  std::string text;
  const char* role = "";  ///< "source", "target" or "test"
  std::string origin;  ///< "--inputsrc", or "src in 'file.ini'"
  std::string folder;  ///< where a relative point file is found: the configuration's
  std::string path;    ///< of the point file that "@name" names, "-" for standard input
};

/// A coordinate form ("gk3:cgcs2000"; empty for xyz) or standard deviations
/// ("0.003,0.003,0.008") as given, and where they came from, for messages:
/// "--srccoords", or "srccoords in 'file.ini'".
struct FormText {
  std::string text;
  std::string origin;
};

/// What the command line asks for.
struct Invocation {
  bool answered = false;  ///< --help or --version was answered; nothing else to do
  std::string exe_dir;
  std::string output_path;
  std::string report_path;                   ///< empty: no adjustment report
  bool exact_rotation = false;               ///< --rotation exact
  bool brief_trace = false;                  ///< --trace brief
  std::optional<std::string> configuration;  ///< the value of --inputfile when given
  CoordinateText source, target, test;       ///< as the command line gives them
  FormText source_form, target_form;         ///< --srccoords, --descoords
  FormText source_sigma, target_sigma;       ///< --srcsigma, --dessigma
  FormText exclude;                          ///< --exclude: names of check points
  FormText direction;                        ///< --direction: forward or inverse
};

/// Answers --help and --version, else echoes the words (not for --trace brief) and
/// builds the invocation.
/// Throws Failure for an unknown option, a value word that no option takes and
/// --reportfile without a name.
Invocation read_invocation(std::vector<std::string> args, std::ostream& out);

/// When the words include "--help" or "-h", prints the usage text to `out`; else,
/// when they include "--version", prints "helmert7 <version>". Returns whether it
/// answered.
bool answer_help_or_version(const std::vector<std::string>& words, std::ostream& out);

/// argv[0] up to and including its last directory separator, or empty.
std::string exe_dir_of(const std::string& program_path);

/// The words bound to options, and those that found no place.
struct CommandLine {
  OptionMap options;
  std::vector<std::string> unbound;  ///< non-empty value words that no option took
  std::vector<std::string> without_value;  ///< options that no value word reached
};

/// Writes every word to `out` as raw bytes, each on a line of its own.
void echo_words(const std::vector<std::string>& words, std::ostream& out);

/// Binds the words after the program path. A value word goes to the first option
/// in key order whose value is still empty; an empty word keeps it waiting but
/// counts as its value word.
CommandLine bind_words(const std::vector<std::string>& words);

/// Throws Failure when the command line cannot be taken as given: a word
/// beginning with "--" that is no option name (with the nearest name when one or
/// two edits away), else the first unbound value word, else the first option that
/// no value word reached.
void check_command_line(const std::vector<std::string>& words, const CommandLine& command_line);

}  // namespace helmert7
