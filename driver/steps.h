// SPDX-License-Identifier: MIT
// The steps of a run after the command line, and the records that travel between
// them: the inputs (texts and their numbers), the network of common points, the
// fit. Each step throws InputError or NumericError; run() catches them.
#pragma once

#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "driver/invocation.h"
#include "model/model.h"
#include "numtext/numtext.h"

namespace helmert7 {

/// The three coordinate texts as the run takes them, and their numbers; the names
/// of the points where point files give them. Test points from a point file are
/// not read here but streamed into the output file.
struct Inputs {
  CoordinateText source, target, test;
  CoordinateList source_list, target_list, test_list;
  std::vector<std::string> source_names, target_names;
};

/// The common points as given, their centroids and the points centred on them.
struct Network {
  std::vector<std::string> names;     ///< of the points, when point files give them
  std::vector<std::string> warnings;  ///< names found in one file only
  PointMatrix source, target;
  Eigen::RowVector3d ave_src, ave_tar;
  PointMatrix centred_source, centred_target;
};

/// The converged adjustment and what both reports take from it.
struct Fit {
  AdjustmentResult result;
  CentredTransformation mapping;
  bool predicting = false;  ///< the test list holds values: a prediction run
  PointMatrix test_points;  ///< whole (x, y, z) triples of the test list
  PointMatrix predicted;    ///< the test points mapped
  Eigen::VectorXd residuals;  ///< mapped source minus target, interleaved
  FitStatistics statistics;
  std::vector<std::string> warnings;  ///< what the user should know of a successful fit
  std::chrono::steady_clock::time_point started;  ///< when the adjustment began
};

/// Takes the texts from the command line and, when one is named, the configuration
/// file, and parses them. Throws InputError when the configuration file cannot be
/// read, the source or target text is empty, or a text is not numbers.
Inputs read_inputs(const Invocation& invocation);

/// Checks the common points, builds their matrices and centroids, prints them,
/// and centres them.
Network form_network(const Inputs& inputs, std::ostream& out);

/// Runs the adjustment with its trace, then maps the test points and forms the
/// residuals. Throws NumericError when it does not converge.
Fit adjust(const Invocation& invocation, const Network& network, const Inputs& inputs,
          std::ostream& out);

/// The warnings of a fit: a rotation too large for the small-angle model, a scale
/// that mirrors or is far from 1, an outlier, a weak geometry, a low redundancy.
/// Each a line without its "warning: " prefix.
std::vector<std::string> fit_warnings(const Network& network, const Fit& fit);

/// What the reports call common point `index` (0-based): its name, else its number.
std::string point_label(const Network& network, Eigen::Index index);

/// The run's files, written beside their destinations; none is in place before
/// every one was written.
struct Outputs {
  std::unique_ptr<StagedFile> output_file;
  std::unique_ptr<StagedFile> report_file;
  std::size_t mapped_points = 0;  ///< streamed from a test point file
};

/// Writes the output file: the prediction report (with its console lines) when
/// there are test points, else the parameter report.
void stage_output_file(const Invocation& invocation, const Inputs& inputs, const Fit& fit,
                       std::ostream& out, Outputs& outputs);

/// Writes the adjustment report when --reportfile asked for one.
void stage_adjustment_report(const Invocation& invocation, const Network& network,
                             const Fit& fit, Outputs& outputs);

/// Puts every written file in place.
void put_outputs_in_place(const Invocation& invocation, Outputs& outputs);

/// Prints a matrix: its name, "[rows cols 1 1]", one line per row with every value
/// as "%.10g" right-aligned to the widest value after four blanks, then an empty line.
void print_matrix(std::ostream& out, const std::string& name, const Eigen::MatrixXd& matrix);

/// Whether the test points come from a point file.
bool streams_test_points(const Inputs& inputs);

/// The parameter report: "args=", "avesrc=", "avetar=" lines of clamped "%f" values
/// (|v| <= 1e-6 written as 0.000000) and, when `residuals` is not empty, the
/// "residual=" line.
std::string parameter_report_text(const CentredTransformation& mapping,
                                  const Eigen::VectorXd& residuals);

/// The prediction report: the three input texts as given, then "output=" + joined.
std::string prediction_report_text(const Inputs& inputs, const std::string& joined);

/// The adjustment report of --reportfile: summary, parameters of the centred model
/// and origin-based ones in both conventions with standard errors and correlations,
/// PROJ strings, residuals with Pope's outlier test, predicted points with standard
/// errors, warnings.
std::string adjustment_report_text(const Invocation& invocation, const Network& network,
                                   const Fit& fit, const Outputs& outputs);

/// The points of a list's whole (x, y, z) triples, one per row; a tail of one or
/// two values is no point.
PointMatrix point_matrix(const CoordinateList& values);

}  // namespace helmert7
