// SPDX-License-Identifier: MIT
// The steps of a run after the command line, and the records that travel between
// them, each made by one step and read by the later ones: the inputs (texts, their
// numbers, the opened test point file), the network of common points, the fit, the
// prediction of the test points and the staged outputs. Each step throws Failure
// where it finds one; run() catches it.
#pragma once

#include <chrono>
#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "driver/invocation.h"
#include "files/files.h"
#include "geodesy/geodesy.h"
#include "model/model.h"
#include "points/points.h"
#include "report/report.h"

namespace helmert7 {

/// The coordinate forms of the two sides; xyz for both unless --srccoords,
/// --descoords or the configuration's keys srccoords, descoords name others.
using CoordinateForms = geodesy::CoordinateForms;

/// Streamed test points more than 3.5 degrees from their central meridian: the
/// first few described, the rest only counted, for one warning line.
struct FarPoints {
  std::vector<std::string> described;
  std::size_t count = 0;
};

/// The three coordinate texts as the run takes them, and their numbers; the names
/// of the points and their lines where point files give them. Test points from a point file are
/// not read here: the file is opened, to be streamed into the output file. Where
/// the forms convert, the lists hold geocentric coordinates.
struct Inputs {
  CoordinateText source, target, test;
  CoordinateForms forms;
  MappingDirection direction = MappingDirection::forward;  ///< back: --direction inverse
  /// The forms the test points are given in (its source) and mapped into (its
  /// target): the run's forms, swapped for --direction inverse.
  CoordinateForms test_forms;
  std::vector<std::string> form_warnings;  ///< grid points far from their central meridian
  std::vector<int> test_zones;  ///< the zone prefix each mapped test point keeps (0: its own zone)
  /// The style of each test point's latitude in a coordinate text (geodetic sources).
  std::vector<geodesy::AngleStyle> test_styles;
  FarPoints far_test_points;  ///< of a streamed test point file
  CoordinateList source_list, target_list, test_list;
  std::vector<std::string> source_names, target_names;
  std::vector<std::size_t> source_lines, target_lines;  ///< the line of each point in its file
  /// The meridian convergence of each point of a grid side, in list order (degrees).
  std::vector<double> source_convergences, target_convergences;
  std::unique_ptr<std::istream> test_file;  ///< the test point file; null for standard input
  FormText source_sigma, target_sigma;      ///< standard deviations as given, and their origins
  FormText exclude;  ///< the names of the check points as given, and their origin
  std::optional<Eigen::Vector3d> source_sigmas, target_sigmas;  ///< metres, the side's own axes
  PointSigmas source_file_sigmas, target_file_sigmas;           ///< of the point files' columns
};

/// The console trace, and when the adjustment began: the full trace ends with the
/// time since then. The brief trace holds the counts, the parameters, sigma0 and
/// what became of the test points.
struct Trace {
  std::ostream& out;
  bool brief = false;
  std::chrono::steady_clock::time_point adjustment_started{};
};

/// The test points mapped: what the report says of them, the console's and the
/// output file's list of a coordinate text, or the output file they were streamed into.
struct Prediction {
  MappedPoints points;
  std::string joined;                          ///< the mapped values, "%f" joined by commas
  std::unique_ptr<StagedFile> streamed_file;   ///< written, not yet in place
};

/// The run's files, written beside their destinations; none is in place before
/// every one was written.
struct Outputs {
  std::unique_ptr<StagedFile> output_file, report_file;
};

/// Takes the texts from the command line and, when one is named, the configuration
/// file; reads the point files and opens the test point file. Throws Failure when a
/// file cannot be read, the source or target text is empty, a text is not numbers,
/// or two of the run's files are one.
Inputs read_inputs(const Invocation& invocation);

/// Reads the forms of --srccoords and --descoords (or of the configuration file's
/// srccoords and descoords); an empty text is xyz. Throws Failure naming the origin.
CoordinateForms read_forms(const FormText& source, const FormText& target);

/// The standard deviations of --srcsigma or --dessigma (or the configuration's
/// srcsigma, dessigma): one value for all three axes or three, comma-separated;
/// none for an empty text. Throws Failure naming the origin for any other text and
/// for a value that is not positive and finite.
std::optional<Eigen::Vector3d> read_sigmas(const FormText& given);

/// Reads the standard deviations of both sides into `inputs`. Throws Failure as
/// read_sigmas does.
void read_standard_deviations(Inputs& inputs);

/// Checks the standard deviations of both sides once the point files' columns are
/// read: a side takes them from its file's columns or from --srcsigma, --dessigma
/// (or the configuration), not both; sn, se, su need a side of a geodetic or grid
/// form. Throws Failure for these, and when only the source points have them.
void check_standard_deviations(const Inputs& inputs);

/// Whether the run is weighted: the target points, at least, have standard deviations.
bool is_weighted(const Inputs& inputs);

/// Each common point's a priori covariance in geocentric axes, from the sides'
/// standard deviations (the target's at least) and forms.
PointPrecision point_precision(const Inputs& inputs, const Network& network);

/// Takes the source, target and test lists to geocentric coordinates by their
/// forms, warning of grid points more than 3.5 degrees from their central
/// meridian. Throws Failure naming the point and what cannot be a coordinate.
void convert_to_geocentric(Inputs& inputs);

/// A coordinate text of `form` as read_numbers reads it: a geodetic form's d:m:s
/// latitudes and longitudes written as decimals, the style of each point's
/// latitude added to `styles`; other forms' texts as they stand. Throws Failure
/// naming the text's origin and the point for a bad d:m:s angle.
std::string angles_as_decimals(const CoordinateText& input, const geodesy::CoordinateForm& form,
                               std::vector<geodesy::AngleStyle>& styles);

/// Whether the point files' fields of `form` hold angles (geodetic latitude and longitude).
PointFields point_fields(const geodesy::CoordinateForm& form);

/// The mapped test points (geocentric) in the target's form, joined by commas:
/// latitude and longitude in the style of the test point's own latitude (10
/// decimals, or d:m:s), grid coordinates and heights "%f".
std::string joined_in_target_form(const Inputs& inputs, const PointMatrix& mapped);

/// What the conversion of a streamed test point found: the zone prefix it keeps
/// in the target's form (0: the zone that holds it), and for grid forms the
/// central meridian of its grid and its longitude's offset from it, in degrees,
/// where that may pass 3.5 degrees (0 for a point surely nearer).
struct ConvertedPoint {
  int zone = 0;
  double central_meridian = 0;
  double offset = 0;
};

/// Takes a chunk's triples in place from the source's form to geocentric
/// coordinates, with what it found of each in `converted` (one a point). Throws
/// Failure "FILE:LINE: the test point ...: ...".
void test_points_to_geocentric(const Inputs& inputs, const PointChunk& chunk,
                               ConvertedPoint* converted);

/// Notes in inputs.far_test_points the chunk's grid points far from their
/// central meridian, in file order.
void note_far_test_points(Inputs& inputs, const PointChunk& chunk,
                          const ConvertedPoint* converted);

/// Adds the one warning for the far streamed test points, when there are any.
void warn_far_test_points(Inputs& inputs);

/// Warns where both sides are xyz and look like latitude and longitude in degrees.
void warn_degrees_as_xyz(Inputs& inputs);

/// Takes a chunk's mapped geocentric triples in place into the target's form,
/// each keeping the zone test_points_to_geocentric found for it.
void mapped_points_to_target_form(const Inputs& inputs, const PointChunk& chunk,
                                  const ConvertedPoint* converted);

/// Checks the common points, pairs them (by name when both files name them),
/// builds their matrices and centroids, prints them, and centres them.
Network form_network(const Inputs& inputs, Trace& trace);

/// Runs the adjustment with its trace and assesses the fit. Throws NumericError
/// when it does not converge.
Fit adjust(const Invocation& invocation, const Network& network, const Inputs& inputs,
           Trace& trace);

/// Maps the test points, with their console lines: a coordinate text's points one
/// by one, a test point file's into a staged output file; then the precision lines.
Prediction predict(const Invocation& invocation, Inputs& inputs, const Fit& fit, Trace& trace);

/// Writes the output file beside its destination: the streamed test points, the
/// prediction report or the parameter report.
Outputs stage_output_file(const Invocation& invocation, const Inputs& inputs, const Fit& fit,
                          Prediction& prediction);

/// Writes the adjustment report beside its destination when --reportfile asked for one.
void stage_adjustment_report(const Invocation& invocation, const ReportContent& content,
                             Outputs& outputs);

/// Puts every written file in place.
void put_outputs_in_place(Outputs& outputs);

/// Prints sigma0 under its label, "%g" as the trace has always shown it.
void print_sigma0(std::ostream& out, double sigma0);

/// Prints a matrix: its name, "[rows cols 1 1]", one line per row with every value
/// as "%.10g" right-aligned to the widest value after four blanks, then an empty line.
void print_matrix(std::ostream& out, const std::string& name, const Eigen::MatrixXd& matrix);

}  // namespace helmert7
