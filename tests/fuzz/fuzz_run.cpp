// SPDX-License-Identifier: MIT
// The whole run in-process on arbitrary argument words (the input split at NUL
// bytes): the status is 0 or -1, a failure writes exactly one line to the error
// stream, a success writes only warning lines, and no report holds a non-finite
// number. The harness owns the output path and drops the options that name files
// and the values that name point files ("@..."), so that no input can write or read
// files elsewhere or wait on standard input, and the words that ask for the usage
// text or the version instead of a run.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/invocation.h"
#include "fuzz_check.h"

namespace {

const std::string& output_path() {
  static const std::string path = fresh_scratch_folder("helmert7-fuzz-run-") + "/out.txt";
  return path;
}

// A word that names a file, or asks for help or the version.
bool is_dropped(const std::string& word) {
  for (const helmert7::OptionSpec& option : helmert7::kOptions) {
    if (option.names_file && word == option.name) return true;
  }
  return word == "--help" || word == "-h" || word == "--version" || word.rfind('@', 0) == 0;
}

std::vector<std::string> argument_words(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> words = {"helmert7", "--outfile", output_path()};
  std::string word;
  for (std::size_t i = 0; i <= size; ++i) {
    if (i < size && data[i] != '\0') {
      word.push_back(static_cast<char>(data[i]));
      continue;
    }
    if (!is_dropped(word)) words.push_back(word);
    word.clear();
  }
  return words;
}

// Every number the tool computed is a plain "%f" text. The prediction report repeats
// the input texts verbatim, line feeds and all, so there only its last line, the
// computed "output=", is certain to be a line of its own.
void check_report(const std::string& report) {
  static const std::regex computed_line(
      "(args|avesrc|avetar|residual|output)=(-?[0-9]+\\.[0-9]{6}(,-?[0-9]+\\.[0-9]{6})*)?");
  FUZZ_CHECK(!report.empty() && report.back() == '\n', "report ends with a line end");
  std::vector<std::string> lines;
  std::istringstream stream(report);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  if (report.rfind("src=", 0) == 0) {
    FUZZ_CHECK(lines.back().rfind("output=", 0) == 0, "prediction report ends with output=");
    lines = {lines.back()};
  }
  for (const std::string& line : lines) {
    FUZZ_CHECK(std::regex_match(line, computed_line), "report line of finite numbers: " + line);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::remove(output_path().c_str());
  std::ostringstream out, err;
  const int status = helmert7::run(argument_words(data, size), out, err);

  const std::string message = err.str();
  if (status == helmert7::kExitFailure) {
    FUZZ_CHECK(message.rfind("helmert7: ", 0) == 0, "failure message: " + message);
    FUZZ_CHECK(message.find('\n') == message.size() - 1, "one line: " + message);
    return 0;
  }
  FUZZ_CHECK(status == helmert7::kExitSuccess, "status is 0 or -1");
  std::istringstream lines(message);
  for (std::string line; std::getline(lines, line);) {
    FUZZ_CHECK(line.rfind("helmert7: warning: ", 0) == 0, "a success writes only warnings: " + line);
  }
  std::ifstream file(output_path());  // text mode: CR LF line ends read as LF on Windows
  FUZZ_CHECK(file.good(), "a success leaves the report");
  std::ostringstream report;
  report << file.rdbuf();
  check_report(report.str());
  return 0;
}
