// SPDX-License-Identifier: MIT
// The inputs of a run: the coordinate texts from the command line, replaced by the
// non-empty values of a configuration file when one is named, then parsed.
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <utility>
#include <vector>

#include "config/config.h"
#include "driver/steps.h"

namespace helmert7 {
namespace {

bool path_exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

// The configuration file as named, else beside the program.
std::string configuration_path(const std::string& named, const std::string& exe_dir) {
  if (named.empty()) throw InputError("--inputfile needs the name of a configuration file after it");
  if (path_exists(named)) return named;
  const std::string beside_program = exe_dir + named;
  if (path_exists(beside_program)) return beside_program;
  throw InputError("configuration file " + in_quotes(named) + " not found (tried " +
                   in_quotes(named) + " and " + in_quotes(beside_program) + ")");
}

ConfigRecordList configuration_records(const std::string& path) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    throw InputError("configuration file " + in_quotes(path) + " is a directory, not a file");
  }
  if (!std::ifstream(path)) throw InputError("cannot read configuration file " + in_quotes(path));
  return config_load_file(path.c_str());
}

// Lets the non-empty "src", "des" and "test" values of the configuration file's
// empty section replace the command-line texts.
void apply_configuration(const std::string& path, Inputs& inputs) {
  const ConfigRecordList records = configuration_records(path);
  for (const auto& [input, key] : {std::pair(&inputs.source, "src"),
                                   std::pair(&inputs.target, "des"), std::pair(&inputs.test, "test")}) {
    const ConfigRecord* record = config_find_record(records, "", key);
    // The value as a C string holds it: up to its first NUL.
    const std::string value = record ? std::string(record->value.c_str()) : std::string();
    if (!value.empty()) {
      input->text = value;
      input->origin = key + std::string(" in ") + in_quotes(path);
    }
  }
}

void check_present(const Inputs& inputs) {
  if (inputs.source.text.empty()) {
    throw InputError("no source points: give them as --inputsrc \"x1,y1,z1,x2,y2,z2,...\" "
                     "or as src=... in the file named by --inputfile");
  }
  if (inputs.target.text.empty()) {
    throw InputError("no target points: give them as --inputdes \"x1,y1,z1,x2,y2,z2,...\" "
                     "or as des=... in the file named by --inputfile");
  }
}

CoordinateList parsed(const CoordinateText& input) {
  try {
    return read_numbers(input.text);
  } catch (const std::logic_error& e) {  // std::invalid_argument, std::out_of_range
    const std::string what = e.what();
    // Blanks or tabs between two numbers are the likely cause.
    const bool hint = has_blanks_between_digits(input.text) &&
                      what.find("separate the values with commas") == std::string::npos;
    throw InputError(std::string("cannot read the ") + input.role + " points (" + input.origin +
                     "): " + what + (hint ? "; separate the values with commas" : ""));
  }
}

// The files of the run and what the run calls them; paths that name no file are left out.
std::vector<std::pair<std::string, std::string>> run_files(const Invocation& invocation,
                                                           const std::string& configuration) {
  std::vector<std::pair<std::string, std::string>> files;
  if (!configuration.empty()) files.emplace_back("the configuration file", configuration);
  if (!invocation.output_path.empty()) files.emplace_back("the output file", invocation.output_path);
  if (!invocation.report_path.empty()) files.emplace_back("the report file", invocation.report_path);
  return files;
}

// A run never writes over its input, nor one output over the other.
void check_distinct_files(const Invocation& invocation, const std::string& configuration) {
  const auto files = run_files(invocation, configuration);
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (std::size_t j = i + 1; j < files.size(); ++j) {
      if (!same_file(files[i].second, files[j].second)) continue;
      throw InputError(files[j].first + " " + in_quotes(files[j].second) + " is " +
                       files[i].first + " " + in_quotes(files[i].second) +
                       ": a run never writes over its own input or one output over another; "
                       "give each file its own name");
    }
  }
}

}  // namespace

Inputs read_inputs(const Invocation& invocation) {
  Inputs inputs;
  inputs.source = invocation.source;
  inputs.target = invocation.target;
  inputs.test = invocation.test;
  const std::string configuration =
      invocation.configuration ? configuration_path(*invocation.configuration, invocation.exe_dir)
                               : std::string();
  check_distinct_files(invocation, configuration);
  if (!configuration.empty()) apply_configuration(configuration, inputs);
  check_present(inputs);
  inputs.source_list = parsed(inputs.source);
  inputs.target_list = parsed(inputs.target);
  inputs.test_list = parsed(inputs.test);
  return inputs;
}

}  // namespace helmert7
