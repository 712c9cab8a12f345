// SPDX-License-Identifier: MIT
// The inputs of a run: the coordinate texts from the command line, replaced by the
// non-empty values of a configuration file when one is named, then parsed.
#include <filesystem>
#include <initializer_list>
#include <stdexcept>
#include <utility>
#include <vector>

#include "config/config.h"
#include "driver/steps.h"
#include "points/points.h"

namespace helmert7 {
namespace {

bool path_exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

// The configuration file as named, else beside the program.
std::string configuration_path(const std::string& named, const std::string& exe_dir) {
  if (named.empty()) throw Failure("--inputfile needs the name of a configuration file after it");
  if (path_exists(named)) return named;
  const std::string beside_program = exe_dir + named;
  if (path_exists(beside_program)) return beside_program;
  throw Failure("configuration file " + in_quotes(named) + " not found (tried " + in_quotes(named) +
                " and " + in_quotes(beside_program) + ")");
}

const char* const kCoordinateKeys[] = {"src", "des", "test"};

// Whether the file's key names a text, as the library matches names ("SRC" is "src").
bool is_coordinate_key(const std::string& key) {
  for (const char* wanted : kCoordinateKeys) {
    const ConfigRecordList one = {ConfigRecord{0, "", key, "", 0}};
    if (config_find_record(one, "", wanted)) return true;
  }
  return false;
}

// "p.ini:7: "
std::string file_line(const std::string& path, int line) {
  return escape_control_bytes(path) + ":" + std::to_string(line) + ": ";
}

// What to do about a line the loader could not take as it stands.
std::string remedy(const ConfigIssue& issue) {
  switch (issue.kind) {
    case ConfigIssue::Kind::length:
      return "; a value holds at most 32,767 bytes on one line: give large point sets in a "
             "point file (" +
             issue.key + " = @points.csv)";
    case ConfigIssue::Kind::byte:
      return "; a value is numbers, commas and blanks on one line: remove the byte";
    default:
      return "";
  }
}

// A line of the file that would silently change or lose one of the three texts.
void check_issues(const std::string& path, const ConfigDocument& document) {
  for (const ConfigIssue& issue : document.issues) {
    if (is_coordinate_key(issue.key)) {
      throw Failure(file_line(path, issue.line) + issue.what + " (key " + issue.key + ")" +
                    remedy(issue));
    }
  }
  // A line without "=" right after a coordinate key: a value continued on the next line.
  for (const ConfigRecord& record : document.records) {
    for (const ConfigIssue& issue : document.issues) {
      if (issue.kind == ConfigIssue::Kind::syntax && issue.line == record.line + 1 &&
          is_coordinate_key(record.key)) {
        throw Failure(file_line(path, issue.line) + "a line without '=' after " + record.key +
                      ": a value must stand on one line; give the points of many lines "
                      "in a point file (" +
                      record.key + " = @points.csv)");
      }
    }
  }
}

ConfigDocument configuration_document(const std::string& path) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    throw Failure("configuration file " + in_quotes(path) + " is a directory, not a file");
  }
  ConfigDocument document;
  std::string reason;
  if (!config_read_document(path.c_str(), document, reason)) {
    throw Failure("cannot read configuration file " + in_quotes(path) + ": " + reason);
  }
  check_issues(path, document);
  return document;
}

// The forms and the direction as given, before they are read.
struct RunTexts {
  FormText source_form, target_form, direction;
};

// The way the test points are mapped; only "forward" and "inverse" are directions.
MappingDirection mapping_direction(const FormText& given) {
  if (given.text.empty() || given.text == "forward") return MappingDirection::forward;
  if (given.text == "inverse") return MappingDirection::back;
  throw Failure(given.origin + " takes forward or inverse, not " + quoted_excerpt(given.text));
}

// Lets the non-empty values of `keys` in the configuration file's empty section
// replace the texts of the command line.
void apply_configured_texts(const std::string& path, const ConfigDocument& document,
                            std::initializer_list<std::pair<FormText*, const char*>> keys) {
  for (const auto& [form, key] : keys) {
    const ConfigRecord* record = config_find_record(document.records, "", key);
    if (record && !record->value.empty())
      *form = {record->value, key + std::string(" in ") + in_quotes(path)};
  }
}

// Lets the non-empty "srccoords" and "descoords" values of the configuration
// file's empty section replace the forms of the command line.
void apply_configured_forms(const std::string& path, const ConfigDocument& document,
                            FormText& source_form, FormText& target_form) {
  apply_configured_texts(
      path, document, {std::pair(&source_form, "srccoords"), std::pair(&target_form, "descoords")});
}

// And its "srcsigma" and "dessigma" values the standard deviations.
void apply_configured_sigmas(const std::string& path, const ConfigDocument& document,
                             Inputs& inputs) {
  apply_configured_texts(
      path, document,
      {std::pair(&inputs.source_sigma, "srcsigma"), std::pair(&inputs.target_sigma, "dessigma")});
}

// Lets the non-empty "src", "des" and "test" values of the configuration file's
// empty section replace the command-line texts, and its forms, standard
// deviations, check points ("exclude") and direction theirs.
void apply_configuration(const std::string& path, Inputs& inputs, RunTexts& texts) {
  const ConfigDocument document = configuration_document(path);
  apply_configured_forms(path, document, texts.source_form, texts.target_form);
  apply_configured_sigmas(path, document, inputs);
  apply_configured_texts(path, document,
                         {std::pair(&inputs.exclude, "exclude"),
                          std::pair(&texts.direction, "direction")});
  for (const auto& [input, key] :
       {std::pair(&inputs.source, "src"), std::pair(&inputs.target, "des"),
        std::pair(&inputs.test, "test")}) {
    const ConfigRecord* record = config_find_record(document.records, "", key);
    if (record && !record->value.empty()) {
      input->text = record->value;
      input->origin = key + std::string(" in ") + in_quotes(path);
      input->folder = std::filesystem::path(path).parent_path().string();
    }
  }
}

void check_present(const Inputs& inputs) {
  if (inputs.source.text.empty()) {
    throw Failure(
        "no source points: give them as --inputsrc \"x1,y1,z1,x2,y2,z2,...\" "
        "or as src=... in the file named by --inputfile");
  }
  if (inputs.target.text.empty()) {
    throw Failure(
        "no target points: give them as --inputdes \"x1,y1,z1,x2,y2,z2,...\" "
        "or as des=... in the file named by --inputfile");
  }
}

// The point file that "@name" named, opened for reading.
std::unique_ptr<std::istream> open_point_file(const CoordinateText& input) {
  const std::string shown =
      std::string("the ") + input.role + " point file " + in_quotes(input.path);
  check_point_file_kind(input.path, shown);
  return open_for_reading(input.path, shown);
}

// Where a side's points from a point file go besides their coordinates.
struct PointFileParts {
  std::vector<std::string>& names;
  std::vector<std::size_t>& lines;
  PointSigmas& sigmas;
};

// The common points of a point file of `form`, with their lines, their names when
// it gives them, and the standard deviations of its columns.
CoordinateList read_points(const CoordinateText& input, const geodesy::CoordinateForm& form,
                           const PointFileParts& parts) {
  PointFile points =
      read_point_file(*open_point_file(input), input.path, kPointBlockBytes, point_fields(form));
  parts.names = std::move(points.names);
  parts.lines = std::move(points.lines);
  parts.sigmas = std::move(points.sigmas);
  return std::move(points.coordinates);
}

// The numbers of a coordinate text of `form`; the style of each point's latitude
// goes to `styles` where the form is geodetic.
CoordinateList parsed(const CoordinateText& input, const geodesy::CoordinateForm& form,
                      std::vector<geodesy::AngleStyle>& styles) {
  try {
    return read_numbers(angles_as_decimals(input, form, styles));
  } catch (const std::logic_error& e) {  // std::invalid_argument, std::out_of_range
    const std::string what = e.what();
    // Blanks or tabs between two numbers are the likely cause.
    const bool hint = has_blanks_between_digits(input.text) &&
                      what.find("separate the values with commas") == std::string::npos;
    throw Failure(std::string("cannot read the ") + input.role + " points (" + input.origin +
                  "): " + what + (hint ? "; separate the values with commas" : ""));
  }
}

// "@name" names a point file: as given on the command line, from the configuration
// file's folder in it; "@-" is standard input, for the test points only.
void resolve_point_file(CoordinateText& input) {
  if (input.text.empty() || input.text.front() != '@') return;
  const std::string name = input.text.substr(1);
  if (name.empty())
    throw Failure(std::string("no file after '@' for the ") + input.role + " points");
  if (name == "-" && std::string(input.role) != "test") {
    throw Failure(std::string("standard input (@-) can give only the test points, not the ") +
                  input.role + " points");
  }
  const std::filesystem::path given(name);
  input.path = name == "-" || input.folder.empty() || given.is_absolute()
                   ? name
                   : (std::filesystem::path(input.folder) / given).string();
}

// The files of the run and what the run calls them; paths that name no file are left out.
struct RunFile {
  std::string shown, path;
  bool written;
};

std::vector<RunFile> run_files(const Invocation& invocation, const Inputs& inputs,
                               const std::string& configuration) {
  std::vector<RunFile> files;
  if (!configuration.empty()) files.push_back({"the configuration file", configuration, false});
  for (const CoordinateText* input : {&inputs.source, &inputs.target, &inputs.test}) {
    if (!input->path.empty() && input->path != "-") {
      files.push_back({std::string("the ") + input->role + " point file", input->path, false});
    }
  }
  if (!invocation.output_path.empty()) {
    files.push_back({"the output file", invocation.output_path, true});
  }
  if (!invocation.report_path.empty()) {
    files.push_back({"the report file", invocation.report_path, true});
  }
  return files;
}

// Test points read from standard input (@-) that is a file the run would replace.
void check_not_standard_input(const Invocation& invocation) {
  for (const auto& [shown, path] : {std::pair("the output file", &invocation.output_path),
                                    std::pair("the report file", &invocation.report_path)}) {
    if (path->empty() || !is_standard_input(*path)) continue;
    throw Failure(std::string(shown) + " " + in_quotes(*path) +
                  " is the file standard input reads the test points from (@-): a run never "
                  "writes over its own input; give the output its own name");
  }
}

// A run never writes over its input, nor one output over the other; an input read
// twice (test points that are the control points themselves) is no hazard.
void check_distinct_files(const Invocation& invocation, const Inputs& inputs,
                          const std::string& configuration) {
  const auto files = run_files(invocation, inputs, configuration);
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (std::size_t j = i + 1; j < files.size(); ++j) {
      if (!files[j].written || !same_file(files[i].path, files[j].path)) continue;
      throw Failure(files[j].shown + " " + in_quotes(files[j].path) + " is " + files[i].shown +
                    " " + in_quotes(files[i].path) +
                    ": a run never writes over its own input or one output over another; "
                    "give each file its own name");
    }
  }
  if (inputs.test.path == "-") check_not_standard_input(invocation);
}

// The source and target points, from their texts or point files.
void read_sides(Inputs& inputs) {
  std::vector<geodesy::AngleStyle> unused;
  inputs.source_list =
      inputs.source.path.empty()
          ? parsed(inputs.source, inputs.forms.source, unused)
          : read_points(inputs.source, inputs.forms.source,
                        {inputs.source_names, inputs.source_lines, inputs.source_file_sigmas});
  inputs.target_list =
      inputs.target.path.empty()
          ? parsed(inputs.target, inputs.forms.target, unused)
          : read_points(inputs.target, inputs.forms.target,
                        {inputs.target_names, inputs.target_lines, inputs.target_file_sigmas});
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
  RunTexts texts{invocation.source_form, invocation.target_form, invocation.direction};
  inputs.source_sigma = invocation.source_sigma;
  inputs.target_sigma = invocation.target_sigma;
  inputs.exclude = invocation.exclude;
  if (!configuration.empty()) apply_configuration(configuration, inputs, texts);
  inputs.forms = read_forms(texts.source_form, texts.target_form);
  inputs.direction = mapping_direction(texts.direction);
  inputs.test_forms = inputs.direction == MappingDirection::back
                          ? CoordinateForms{inputs.forms.target, inputs.forms.source}
                          : inputs.forms;
  read_standard_deviations(inputs);
  for (CoordinateText* input : {&inputs.source, &inputs.target, &inputs.test}) {
    resolve_point_file(*input);
  }
  check_distinct_files(invocation, inputs, configuration);
  check_present(inputs);
  read_sides(inputs);
  check_standard_deviations(inputs);
  if (inputs.test.path.empty()) {
    inputs.test_list = parsed(inputs.test, inputs.test_forms.source, inputs.test_styles);
  } else if (inputs.test.path != "-") {
    inputs.test_file = open_point_file(inputs.test);
  }
  if (inputs.forms.convert()) convert_to_geocentric(inputs);
  warn_degrees_as_xyz(inputs);
  return inputs;
}

}  // namespace helmert7
