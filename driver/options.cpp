// SPDX-License-Identifier: MIT
// The command line: program directory, the OptionMap and the words it refuses.
#include <algorithm>
#include <array>
#include <cctype>

#include "driver/driver.h"

namespace helmert7 {
namespace {

const std::array<const char*, 6> kOptionNames = {"--inputdes",  "--inputfile", "--inputsrc",
                                                 "--inputtest", "--outfile",   "--reportfile"};

bool is_option_name(const std::string& word) {
  for (const char* name : kOptionNames) {
    if (word == name) return true;
  }
  return false;
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
  for (const char* name : kOptionNames) {
    const std::size_t distance = edit_distance(lowered, name);
    if (distance < best) {
      best = distance;
      nearest = name;
    }
  }
  return nearest;
}

// A word as a message quotes it: the half of a split coordinate text can be long.
std::string shown_word(const std::string& word) {
  constexpr std::size_t kShownBytes = 40;
  if (word.size() <= kShownBytes) return in_quotes(word);
  return in_quotes(word.substr(0, kShownBytes)) + "...";
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

OptionMap build_option_map(const std::vector<std::string>& words, std::ostream& out,
                           std::vector<std::string>* unbound) {
  OptionMap options;
  for (const std::string& word : words) {
    // Echo first, as raw bytes, so every word shows even when it is dropped.
    out.write(word.data(), static_cast<std::streamsize>(word.size()));
    out.put('\n');

    if (is_option_name(word)) {
      options[word].clear();  // a repeated option waits for a value again
      continue;
    }
    // A value goes to the first option in key order that still waits for one.
    const auto waiting = std::find_if(options.begin(), options.end(),
                                      [](const auto& entry) { return entry.second.empty(); });
    if (waiting != options.end()) {
      waiting->second = word;
    } else if (unbound != nullptr && !word.empty()) {
      unbound->push_back(word);
    }
  }
  return options;
}

std::string command_line_problem(const std::vector<std::string>& words,
                                 const std::vector<std::string>& unbound) {
  for (const std::string& word : words) {
    if (word.rfind("--", 0) != 0 || is_option_name(word)) continue;
    std::string message = "unknown option " + shown_word(word);
    const std::string nearest = nearest_option(word);
    if (!nearest.empty()) message += " (did you mean " + nearest + "?)";
    return message +
           "; the options are --inputsrc, --inputdes, --inputtest, --inputfile, --outfile and "
           "--reportfile";
  }
  if (!unbound.empty()) {
    return "the word " + shown_word(unbound.front()) +
           " is no option's value: every option before it already has one; a coordinate "
           "text that holds blanks must be quoted, as in --inputsrc \"1, 2, 3, ...\"";
  }
  return {};
}

}  // namespace helmert7
