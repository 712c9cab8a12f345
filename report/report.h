// SPDX-License-Identifier: MIT
// The texts a run writes: the output file's parameter and prediction reports (C's
// "%f" values joined by commas, as stored files and callers read them), the
// adjustment report of --reportfile (UTF-8, full precision, for surveyors) and the
// warnings of a successful fit, with the report's texts of the coordinate forms
// (PROJ definitions and pipeline, residuals in north, east, up). Lengths are in the
// unit of the coordinates (metres with forms), angles in arc-seconds and radians,
// scale in ppm. Texts only: nothing here prints or touches files.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "geodesy/geodesy.h"
#include "model/model.h"

namespace helmert7 {

/// Arc-seconds in a radian: 180 * 3600 / pi.
constexpr double kArcSecondsPerRadian = 206264.80624709636;

/// The seven parameters with their standard errors, a line each: "tx = v m
/// (standard error s m)", the angles in arc-seconds and radians, m in ppm.
std::string parameter_lines(const ParameterVector& params, const ParameterVector& errors);

/// PROJ's helmert terms of origin-based parameters: " +x=... +y=... +z=... +rx=...
/// +ry=... +rz=... +s=...", turns in arc-seconds and scale in ppm, shortest texts.
std::string helmert_terms(const ParameterVector& params);

/// The parameter report: "args=", "avesrc=", "avetar=" lines of clamped "%f" values
/// (|v| <= 1e-6 written as 0.000000) and, when `residuals` is not empty, the
/// "residual=" line.
std::string parameter_report_text(const CentredTransformation& mapping,
                                  const Eigen::VectorXd& residuals);

/// The three coordinate texts of a run as they were given.
struct GivenTexts {
  std::string_view source, target, test;
};

/// The prediction report: the three texts as given, then "output=" + `mapped`.
std::string prediction_report_text(const GivenTexts& texts, const std::string& mapped);

/// The test points of a run as the adjustment report tells of them: mapped one by
/// one (with their errors in the fit's statistics), or streamed from a point file
/// into the output file and counted.
struct MappedPoints {
  bool asked = false;      ///< the run was given test points
  PointMatrix mapped;      ///< the mapped test points of a coordinate text
  bool streamed = false;   ///< they came from a point file
  bool back = false;       ///< mapped from the target back into the source (--direction inverse)
  std::size_t count = 0;   ///< of the streamed points
  std::string output_path;  ///< where the streamed points went
  double farthest = 0;      ///< of a streamed point from the source centroid
  double model_error = 0;   ///< the small-angle model's error at the streamed points
  ErrorSpread errors;       ///< the streamed points' 3-D standard errors
  std::string worst_name;   ///< of the point with the largest, when the file names points
};

/// The warnings of a fit: names found in one point file only, a small-angle model
/// whose error (at the common and the test points) exceeds the noise, a scale that mirrors or is far from 1, an
/// outlier, a weak geometry, a low redundancy. Each a line without a prefix.
std::vector<std::string> fit_warnings(const Network& network, const Fit& fit,
                                      const MappedPoints& points);

/// What the adjustment report is made of.
struct ReportContent {
  const Network& network;
  const Fit& fit;
  const MappedPoints& points;
  const std::vector<std::string>& warnings;
  const geodesy::CoordinateForms& forms;  ///< of the two sides; with xyz alone, any unit
};

/// The weighted adjustment's section of the adjustment report: the global test,
/// data snooping with Baarda's w, redundancy numbers, minimal detectable biases and
/// their effects, the residuals of both sides and the standard errors at the a
/// priori variance factor; empty for an unweighted fit.
std::string weighted_report_section(const Network& network, const Fit& fit);

/// The adjustment report's inverse transformation (target back into source): for
/// the exact model its parameters in both conventions and PROJ helmert +exact
/// strings; for either model the inverse matrix and translation as PROJ's affine.
std::string inverse_section(const Fit& fit);

/// The adjustment report of --reportfile: summary, the coordinate forms (where a
/// side has one), parameters of the centred model and origin-based ones in both
/// conventions with standard errors and correlations, PROJ strings (and the
/// pipeline between the forms), residuals with Pope's outlier test (and in north,
/// east, up near the Earth's surface), predicted points with standard errors,
/// warnings.
std::string adjustment_report_text(const ReportContent& content);

// ---- Coordinate forms -------------------------------------------------------

/// A side's coordinate form with the zone of a gk3 or gk6 form that its PROJ
/// definition holds (0 for the other forms).
struct ZonedForm {
  geodesy::CoordinateForm form;
  int zone = 0;
};

/// The form of a side whose points have the geocentric centroid `centroid`: gk3 and
/// gk6 take the zone that holds it.
ZonedForm zoned_form(const geodesy::CoordinateForm& form, const Eigen::RowVector3d& centroid);

/// "Gauss-Krueger, 3-degree zones, ... on iag1975 (a = 6378140 m, 1/f = 298.257)".
std::string form_in_words(const ZonedForm& side);

/// PROJ's definition of the form ("+proj=tmerc +lat_0=0 +lon_0=108 ..."); empty for xyz.
std::string proj_definition(const ZonedForm& side);

/// The PROJ pipeline from the source's form to the target's: inverse projection
/// (or the swap of latitude and longitude), cart on the source's ellipsoid,
/// `helmert` (a +proj=helmert string), inverse cart, projection. Points go in and
/// come out in the columns the tool reads and writes, angles in degrees.
std::string proj_pipeline(const ZonedForm& source, const ZonedForm& target,
                          const std::string& helmert);

/// Where every ellipsoidal height of a side with heights is 0: that the fit is
/// two-dimensional in effect and which local motions the points leave poorly
/// determined; empty otherwise.
std::string flat_heights_note(const Network& network, const geodesy::CoordinateForms& forms);

/// The report's section on the coordinate forms: each in words and in PROJ, what
/// heights must be, flat_heights_note; empty where both sides are xyz.
std::string forms_section(const Network& network, const geodesy::CoordinateForms& forms);

/// The report's section with proj_pipeline and the columns it takes; empty where
/// both sides are xyz.
std::string pipeline_section(const Network& network, const geodesy::CoordinateForms& forms,
                             const std::string& helmert);

/// The report's residuals in north, east, up at each target point with their
/// horizontal and vertical RMS, where both sides have forms or lie near the
/// Earth's surface (xyz taken as geocentric on GRS80); else empty.
std::string local_residual_section(const Network& network, const Fit& fit,
                                   const geodesy::CoordinateForms& forms);

/// The ellipsoid of the target's local frame where local_residual_section gives
/// north, east, up (GRS80 for xyz near the Earth's surface); none elsewhere.
std::optional<geodesy::Ellipsoid> local_frame_ellipsoid(const Network& network,
                                                        const geodesy::CoordinateForms& forms);

/// The report's section on the check points (--exclude): each one's misclosure,
/// its standard errors and the 3-D test, and in north, east, up where
/// local_frame_ellipsoid gives a frame; empty without check points.
std::string check_point_section(const Network& network, const Fit& fit,
                                const geodesy::CoordinateForms& forms);

/// A warning line for each check point that fails its test.
std::vector<std::string> check_point_warnings(const Network& network, const Fit& fit);

/// The warning lines of the forms' heights (flat_heights_note, with advice).
std::vector<std::string> height_warnings(const Network& network,
                                         const geodesy::CoordinateForms& forms);

}  // namespace helmert7
