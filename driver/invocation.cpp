// SPDX-License-Identifier: MIT
// The command line: the options, program directory, the OptionMap, the words it
// refuses, and the invocation taken from it.
#include "driver/invocation.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <utility>

#include "numtext/numtext.h"

namespace helmert7 {

const std::vector<OptionSpec> kOptions = {
    {"--inputsrc", "SRC", "the source points: a coordinate text or @FILE", "a coordinate text",
     false},
    {"--inputdes", "DES",
     "the target points: the same points as SRC, in the same\n"
     "order, or matched by name when both are named point files",
     "a coordinate text", false},
    {"--inputtest", "TEST", "test points to map into the target system (optional)",
     "a coordinate text", false},
    {"--inputfile", "FILE",
     "a configuration file whose keys src, des and test give the\n"
     "texts; looked up as given, then beside the program",
     "the name of a configuration file", true},
    {"--outfile", "OUT", "the output file (default: out.txt beside the program)",
     "the name of the output file", true},
    {"--reportfile", "FILE",
     "also write an adjustment report: full-precision and\n"
     "origin-based parameters, PROJ strings, outlier test",
     "the name of the report file", true},
    {"--rotation", "MODEL",
     "small (the default: small angles) or exact (any rotation;\n"
     "for local grids and anything beyond a few arc-minutes)",
     "small or exact", false},
    {"--direction", "WAY",
     "forward (the default: test points from the source into the\n"
     "target system) or inverse (from the target back into the\n"
     "source, with the same fit: test points in the target's\n"
     "form, mapped points in the source's)",
     "forward or inverse", false},
    {"--srccoords", "FORM",
     "the coordinate form of the source and test points: xyz (the\n"
     "default), geodetic:ELLIPSOID, gk:ELLIPSOID:LON0, gk3:ELLIPSOID,\n"
     "gk6:ELLIPSOID or utm:ZONE:ELLIPSOID (see the README)",
     "a coordinate form such as geodetic:wgs84", false},
    {"--descoords", "FORM",
     "the coordinate form of the target points, as for --srccoords;\n"
     "the test points are mapped into it",
     "a coordinate form such as gk3:cgcs2000", false},
    {"--srcsigma", "S",
     "a priori standard deviations of the source points (metres):\n"
     "one for all three axes or three in the form's own axes, as\n"
     "0.003,0.003,0.008; with --dessigma the fit weighs both sides",
     "standard deviations such as 0.005", false},
    {"--dessigma", "S",
     "a priori standard deviations of the target points, as for\n"
     "--srcsigma: the fit is weighted, with the global test and\n"
     "Baarda's data snooping",
     "standard deviations such as 0.005", false},
    {"--exclude", "NAMES",
     "common points to leave out of the fit, comma-separated names:\n"
     "the report checks each against the fit of the others",
     "point names such as P4,P7", false},
    {"--trace", "LEVEL",
     "full (the default: the points and every matrix of the\n"
     "adjustment) or brief (the counts, the parameters, sigma0)",
     "full or brief", false},
};

namespace {

const OptionSpec* option_named(const std::string& word) {
  for (const OptionSpec& option : kOptions) {
    if (word == option.name) return &option;
  }
  return nullptr;
}

bool is_option_name(const std::string& word) { return option_named(word) != nullptr; }

// "--outfile needs the name of the output file after it"
std::string needs_value(const std::string& name) {
  return name + " needs " + option_named(name)->needs + " after it";
}

// Edits between two words: insertions, deletions, substitutions and swaps of two
// neighbouring bytes ("--inputtset" is one edit from "--inputtest").
std::size_t edit_distance(const std::string& a, const std::string& b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t substitution = d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, substitution});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

std::string lower_case(std::string word) {
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return word;
}

// The option name nearest to `word`, letter case and an "=value" aside, when at
// most two edits away; otherwise empty.
std::string nearest_option(const std::string& word) {
  const std::string lowered = lower_case(word.substr(0, word.find('=')));
  std::string nearest;
  std::size_t best = 3;
  for (const OptionSpec& option : kOptions) {
    const std::size_t distance = edit_distance(lowered, option.name);
    if (distance < best) {
      best = distance;
      nearest = option.name;
    }
  }
  return nearest;
}

// "--a, --b and --c", in the order of the usage text.
std::string option_list() {
  std::string list;
  for (std::size_t i = 0; i < kOptions.size(); ++i) {
    if (i > 0) list += i + 1 == kOptions.size() ? " and " : ", ";
    list += kOptions[i].name;
  }
  return list;
}

const std::string& option_value(const OptionMap& options, const char* name) {
  static const std::string none;
  const auto found = options.find(name);
  return found == options.end() ? none : found->second;
}

// The value of a text option, moved out of the map: the texts can be long.
std::string text_value(OptionMap& options, const char* name) {
  const auto found = options.find(name);
  return found == options.end() ? std::string() : std::move(found->second);
}

std::optional<std::string> report_path(const OptionMap& options) {
  const auto found = options.find("--reportfile");
  if (found == options.end()) return std::nullopt;
  if (found->second.empty()) throw Failure(needs_value("--reportfile"));
  return found->second;
}

// Whether --rotation asks for the exact model; only "small" and "exact" are models.
bool exact_rotation(const OptionMap& options) {
  const std::string model = option_value(options, "--rotation");
  if (model.empty() || model == "small") return false;
  if (model == "exact") return true;
  throw Failure("--rotation takes small or exact, not " + quoted_excerpt(model));
}

// Whether --trace asks for the brief trace; only "full" and "brief" are levels.
bool brief_trace(const OptionMap& options) {
  const std::string level = option_value(options, "--trace");
  if (level.empty() || level == "full") return false;
  if (level == "brief") return true;
  throw Failure("--trace takes full or brief, not " + quoted_excerpt(level));
}

// The paths and texts that the option map gives; the default output file lies
// beside the program.
Invocation invocation_of(OptionMap options, const std::string& exe_dir) {
  Invocation invocation;
  invocation.exe_dir = exe_dir;
  invocation.output_path =
      options.count("--outfile") ? options.at("--outfile") : exe_dir + "out.txt";
  invocation.report_path = report_path(options).value_or("");
  invocation.exact_rotation = exact_rotation(options);
  invocation.brief_trace = brief_trace(options);
  if (options.count("--inputfile")) invocation.configuration = options.at("--inputfile");
  invocation.source_form = {option_value(options, "--srccoords"), "--srccoords"};
  invocation.target_form = {option_value(options, "--descoords"), "--descoords"};
  invocation.source_sigma = {option_value(options, "--srcsigma"), "--srcsigma"};
  invocation.target_sigma = {option_value(options, "--dessigma"), "--dessigma"};
  invocation.exclude = {option_value(options, "--exclude"), "--exclude"};
  invocation.direction = {option_value(options, "--direction"), "--direction"};
  invocation.source = {text_value(options, "--inputsrc"), "source", "--inputsrc", "", ""};
  invocation.target = {text_value(options, "--inputdes"), "target", "--inputdes", "", ""};
  invocation.test = {text_value(options, "--inputtest"), "test", "--inputtest", "", ""};
  return invocation;
}

}  // namespace

std::string exe_dir_of(const std::string& program_path) {
#ifdef _WIN32
  const char separator = '\\';
#else
  const char separator = '/';
#endif
  const std::size_t last = program_path.rfind(separator);
  return last == std::string::npos ? std::string() : program_path.substr(0, last + 1);
}

void echo_words(const std::vector<std::string>& words, std::ostream& out) {
  for (const std::string& word : words) {
    out.write(word.data(), static_cast<std::streamsize>(word.size()));
    out.put('\n');
  }
}

CommandLine bind_words(const std::vector<std::string>& words) {
  CommandLine bound;
  std::map<std::string, bool> reached;  // whether a value word went to the option
  for (const std::string& word : words) {
    if (is_option_name(word)) {
      bound.options[word].clear();  // a repeated option waits for a value again
      reached[word] = false;
      continue;
    }
    // A value goes to the first option in key order that still waits for one.
    const auto waiting = std::find_if(bound.options.begin(), bound.options.end(),
                                      [](const auto& entry) { return entry.second.empty(); });
    if (waiting != bound.options.end()) {
      waiting->second = word;
      reached[waiting->first] = true;
    } else if (!word.empty()) {
      bound.unbound.push_back(word);
    }
  }
  for (const auto& [name, value_word] : reached) {
    if (!value_word) bound.without_value.push_back(name);
  }
  return bound;
}

void check_command_line(const std::vector<std::string>& words, const CommandLine& command_line) {
  for (const std::string& word : words) {
    if (word.rfind("--", 0) != 0 || is_option_name(word)) continue;
    std::string message = "unknown option " + quoted_excerpt(word);
    const std::string nearest = nearest_option(word);
    if (!nearest.empty()) message += " (did you mean " + nearest + "?)";
    throw Failure(message + "; the options are " + option_list());
  }
  if (!command_line.unbound.empty()) {
    throw Failure("the word " + quoted_excerpt(command_line.unbound.front()) +
                  " is no option's value: every option before it already has one; a "
                  "coordinate text that holds blanks must be quoted, as in --inputsrc "
                  "\"1, 2, 3, ...\"");
  }
  if (!command_line.without_value.empty()) {
    throw Failure(needs_value(command_line.without_value.front()));
  }
}

Invocation read_invocation(std::vector<std::string> args, std::ostream& out) {
  const std::string exe_dir = args.empty() ? std::string() : exe_dir_of(args.front());
  if (!args.empty()) args.erase(args.begin());  // moves the words, copies no text
  const std::vector<std::string>& words = args;
  if (answer_help_or_version(words, out)) {
    Invocation answered;
    answered.answered = true;
    return answered;
  }
  CommandLine command_line = bind_words(words);
  // Every word shows, even one that is refused, unless the trace is to be brief.
  if (option_value(command_line.options, "--trace") != "brief") echo_words(words, out);
  out.flush();
  check_command_line(words, command_line);
  return invocation_of(std::move(command_line.options), exe_dir);
}

}  // namespace helmert7
