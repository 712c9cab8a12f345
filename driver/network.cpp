// SPDX-License-Identifier: MIT
// The common points: checked as the texts gave them, printed, and centred on their
// centroids.
#include <algorithm>
#include <unordered_map>

#include "driver/steps.h"

namespace helmert7 {
namespace {

const char kBlankHint[] = "; separate the values with commas, not blanks";

std::string values_counted(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " value" : " values");
}

// Said when a text gives too few points: blanks may have run its values together.
std::string blank_hint(const Inputs& inputs) {
  const bool blanks = has_blanks_between_digits(inputs.source.text) ||
                      has_blanks_between_digits(inputs.target.text);
  return blanks ? kBlankHint : "";
}

// A point is three values: a text whose count is no multiple of three lost or
// gained one.
void check_whole_points(const CoordinateText& input, const CoordinateList& values) {
  const std::size_t tail = values.size() % 3;
  if (tail == 0) return;
  throw Failure(
      std::string("the ") + input.role + " text holds " + values_counted(values.size()) +
      "; a point is three values: " +
      (tail == 2 ? "one is missing or two are extra" : "one is extra or two are missing") +
      (has_blanks_between_digits(input.text) ? kBlankHint : ""));
}

// Every source point needs its target point, and seven parameters three points.
void check_point_counts(const Inputs& inputs) {
  const std::size_t n_src = inputs.source_list.size() / 3, n_tar = inputs.target_list.size() / 3;
  if (n_src != n_tar) {
    throw Failure("the source text gives " + std::to_string(n_src) +
                  " points but the target text gives " + std::to_string(n_tar) +
                  " points; every source point needs its target point" +
                  (std::min(n_src, n_tar) < 3 ? blank_hint(inputs) : std::string()));
  }
  if (n_src < 3) {
    throw Failure(std::to_string(n_src) +
                  " common points are too few: the seven parameters need at least three "
                  "points that are not collinear; the source text gives " +
                  values_counted(inputs.source_list.size()) + " and the target text " +
                  values_counted(inputs.target_list.size()) + blank_hint(inputs));
  }
}

// The points that both files name, in the source file's order; the others are
// left out with a warning.
void match_by_name(const Inputs& inputs, Network& network) {
  std::unordered_map<std::string, std::size_t> target_index;
  for (std::size_t j = 0; j < inputs.target_names.size(); ++j)
    target_index[inputs.target_names[j]] = j;
  CoordinateList source, target;
  std::vector<std::string> source_only;
  std::unordered_map<std::string, bool> matched;
  for (std::size_t i = 0; i < inputs.source_names.size(); ++i) {
    const auto found = target_index.find(inputs.source_names[i]);
    if (found == target_index.end()) {
      source_only.push_back(inputs.source_names[i]);
      continue;
    }
    matched[found->first] = true;
    network.names.push_back(found->first);
    source.insert(source.end(), &inputs.source_list[3 * i], &inputs.source_list[3 * i + 3]);
    target.insert(target.end(), &inputs.target_list[3 * found->second],
                  &inputs.target_list[3 * found->second + 3]);
  }
  std::vector<std::string> target_only;
  for (const std::string& name : inputs.target_names) {
    if (!matched.count(name)) target_only.push_back(name);
  }
  network.pairing = {true, std::move(source_only), std::move(target_only)};
  if (network.names.size() < 3) {
    throw Failure(std::to_string(network.names.size()) + " names are common to " +
                  in_quotes(inputs.source.path) + " and " + in_quotes(inputs.target.path) +
                  ": the seven parameters need at least three common points");
  }
  network.source = point_matrix(source);
  network.target = point_matrix(target);
}

// The names of a comma-separated list, white space around each trimmed, each once.
std::vector<std::string> excluded_names(const FormText& exclude) {
  std::vector<std::string> names;
  for (const std::string_view piece : comma_pieces(exclude.text)) {
    const std::string name(trimmed(piece));
    if (name.empty()) {
      throw Failure(exclude.origin + " takes point names separated by commas, not " +
                    in_quotes(exclude.text) + ": a name is empty");
    }
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  return names;
}

// Moves the named points out of the fit into the network's check points; at
// least three common points stay in it.
void set_check_points(const Inputs& inputs, Network& network) {
  const std::vector<std::string> names = excluded_names(inputs.exclude);
  if (!network.pairing.by_name)
    throw Failure(inputs.exclude.origin + " names points, but only point files that both name "
                  "their points pair them by name; the common points here have no names");
  std::vector<Eigen::Index> kept, checked;
  for (const std::string& name : names) {
    const auto found = std::find(network.names.begin(), network.names.end(), name);
    if (found == network.names.end())
      throw Failure(inputs.exclude.origin + " names " + in_quotes(name) +
                    ", which is no common point of " + in_quotes(inputs.source.path) + " and " +
                    in_quotes(inputs.target.path));
    checked.push_back(found - network.names.begin());
  }
  std::vector<std::string> fitted_names;
  for (Eigen::Index i = 0; i < network.source.rows(); ++i) {
    if (std::find(checked.begin(), checked.end(), i) != checked.end()) continue;
    kept.push_back(i);
    fitted_names.push_back(network.names[static_cast<std::size_t>(i)]);
  }
  if (kept.size() < 3)
    throw Failure(inputs.exclude.origin + " leaves " + std::to_string(kept.size()) +
                  " of the " + std::to_string(network.source.rows()) +
                  " common points in the fit: the seven parameters need at least three");
  for (const Eigen::Index i : checked)
    network.checks.names.push_back(network.names[static_cast<std::size_t>(i)]);
  network.checks.source = network.source(checked, Eigen::all);
  network.checks.target = network.target(checked, Eigen::all);
  network.source = PointMatrix(network.source(kept, Eigen::all));
  network.target = PointMatrix(network.target(kept, Eigen::all));
  network.names = std::move(fitted_names);
}

// Prints a centroid under its label and its name.
void print_centroid(std::ostream& out, const char* name, const Eigen::RowVector3d& centroid) {
  out << name << ": " << std::endl;
  print_matrix(out, name, centroid);
}

// The common points and their centroids, each under its label; the brief trace
// gives only how many points there are.
void print_points(const Network& network, const Trace& trace) {
  std::ostream& out = trace.out;
  if (trace.brief) {
    out << "source_points: " << network.source.rows() << '\n'
        << "target_points: " << network.target.rows() << std::endl;
    return;
  }
  out << "source_points: " << std::endl;
  print_matrix(out, "source_points", network.source);
  out << "target_points: " << std::endl;
  print_matrix(out, "target_points", network.target);
  print_centroid(out, "ave_src", network.ave_src);
  print_centroid(out, "ave_tar", network.ave_tar);
}

}  // namespace

Network form_network(const Inputs& inputs, Trace& trace) {
  Network network;
  if (!inputs.source_names.empty() && !inputs.target_names.empty()) {
    match_by_name(inputs, network);
  } else {
    check_point_counts(inputs);
    check_whole_points(inputs.source, inputs.source_list);
    check_whole_points(inputs.target, inputs.target_list);
    network.source = point_matrix(inputs.source_list);
    network.target = point_matrix(inputs.target_list);
    network.names = inputs.source_names.empty() ? inputs.target_names : inputs.source_names;
  }
  if (!inputs.exclude.text.empty()) set_check_points(inputs, network);
  check_whole_points(inputs.test, inputs.test_list);
  // NaN and infinity are numbers to the parser but no coordinates.
  check_finite(network.source, "source");
  check_finite(network.target, "target");
  check_finite(network.checks.source, "source check");
  check_finite(network.checks.target, "target check");

  network.ave_src = network.source.colwise().mean();
  network.ave_tar = network.target.colwise().mean();
  print_points(network, trace);
  check_centroid(network.ave_src, "source");
  check_centroid(network.ave_tar, "target");

  network.centred_source = network.source.rowwise() - network.ave_src;
  network.centred_target = network.target.rowwise() - network.ave_tar;
  if (!trace.brief) {
    print_matrix(trace.out, "source_points", network.centred_source);
    print_matrix(trace.out, "target_points", network.centred_target);
  }
  return network;
}

}  // namespace helmert7
