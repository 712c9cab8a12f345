// SPDX-License-Identifier: MIT
// The report's texts of the coordinate forms: PROJ definitions and words for each
// form, the order of the pipeline's steps, the note on heights of 0 and when the
// residuals are given in north, east, up. That cct maps points through these
// texts as the tool does is checked end to end (tests/e2e/report_forms.sh).
#include <gtest/gtest.h>

#include <string>

#include "report/report.h"

namespace helmert7 {
namespace {

// The geocentric place of latitude 34.3, longitude 108.9 on the form's ellipsoid.
Eigen::RowVector3d near_xian(const geodesy::CoordinateForm& form) {
  return geodesy::geocentric_from_geodetic(form.ellipsoid, {34.3, 108.9, 400}).transpose();
}

TEST(FormTexts, DefinitionsAndWordsNameTheGridEllipsoidAndZone) {
  const struct {
    const char* form;
    const char* definition;
    const char* words;  // a part of form_in_words
  } cases[] = {
      {"gk3:iag1975",
       "+proj=tmerc +lat_0=0 +lon_0=108 +k=1 +x_0=36500000 +y_0=0 +a=6378140 +rf=298.257 "
       "+units=m +axis=neu",
       "3-degree zones, x (north), y (east) with the zone number in front (m) and h; the PROJ "
       "definition holds zone 36 (central meridian 108, false easting 36500000 m)"},
      {"gk6:krassovsky",
       "+proj=tmerc +lat_0=0 +lon_0=111 +k=1 +x_0=19500000 +y_0=0 +a=6378245 +rf=298.3 "
       "+units=m +axis=neu",
       "zone 19 (central meridian 111, false easting 19500000 m), that of the network's "
       "centroid, on krassovsky (a = 6378245 m, 1/f = 298.3)"},
      {"gk:cgcs2000:114",
       "+proj=tmerc +lat_0=0 +lon_0=114 +k=1 +x_0=500000 +y_0=0 +a=6378137 +rf=298.257222101 "
       "+units=m +axis=neu",
       "central meridian 114, scale 1, false easting 500000 m, on cgcs2000"},
      {"utm:33S:wgs84", "+proj=utm +zone=33 +south +a=6378137 +rf=298.257223563 +units=m",
       "UTM zone 33S, easting, northing (m) and h: transverse Mercator, scale 0.9996, false "
       "easting 500000 m, false northing 10000000 m, on wgs84"},
      {"utm:50N:grs80", "+proj=utm +zone=50 +a=6378137 +rf=298.257222101 +units=m",
       "UTM zone 50N, easting, northing (m) and h: transverse Mercator, scale 0.9996, false "
       "easting 500000 m, on grs80"},
      {"geodetic:6378140/298.257", "+proj=longlat +a=6378140 +rf=298.257",
       "latitude, longitude (degrees) and ellipsoidal height h (m) on 6378140/298.257 (a = "
       "6378140 m, 1/f = 298.257)"},
      {"xyz", "", "Cartesian x, y, z"},
  };
  for (const auto& c : cases) {
    const geodesy::CoordinateForm form = geodesy::parse_form(c.form);
    const ZonedForm side = zoned_form(form, near_xian(form));
    EXPECT_EQ(proj_definition(side), c.definition) << c.form;
    EXPECT_NE(form_in_words(side).find(c.words), std::string::npos)
        << c.form << ": " << form_in_words(side);
  }
}

TEST(FormTexts, PipelineStepsRunFromTheSourceFormToTheTargetForm) {
  const char kHelmert[] = "+proj=helmert +x=1";
  const struct {
    const char* source;
    const char* target;
    const char* pipeline;
  } cases[] = {
      {"geodetic:krassovsky", "gk:grs80:117",
       "+proj=pipeline +step +proj=axisswap +order=2,1 +step +proj=cart +a=6378245 +rf=298.3 "
       "+step +proj=helmert +x=1 +step +inv +proj=cart +a=6378137 +rf=298.257222101 +step "
       "+proj=tmerc +lat_0=0 +lon_0=117 +k=1 +x_0=500000 +y_0=0 +a=6378137 +rf=298.257222101 "
       "+units=m +axis=neu"},
      {"utm:49N:wgs84", "geodetic:wgs84",
       "+proj=pipeline +step +inv +proj=utm +zone=49 +a=6378137 +rf=298.257223563 +units=m "
       "+step +proj=cart +a=6378137 +rf=298.257223563 +step +proj=helmert +x=1 +step +inv "
       "+proj=cart +a=6378137 +rf=298.257223563 +step +proj=axisswap +order=2,1"},
      {"xyz", "geodetic:wgs84",
       "+proj=pipeline +step +proj=helmert +x=1 +step +inv +proj=cart +a=6378137 "
       "+rf=298.257223563 +step +proj=axisswap +order=2,1"},
      {"gk:wgs84:117", "xyz",
       "+proj=pipeline +step +inv +proj=tmerc +lat_0=0 +lon_0=117 +k=1 +x_0=500000 +y_0=0 "
       "+a=6378137 +rf=298.257223563 +units=m +axis=neu +step +proj=cart +a=6378137 "
       "+rf=298.257223563 +step +proj=helmert +x=1"},
  };
  for (const auto& c : cases) {
    const geodesy::CoordinateForm source = geodesy::parse_form(c.source);
    const geodesy::CoordinateForm target = geodesy::parse_form(c.target);
    EXPECT_EQ(proj_pipeline(zoned_form(source, near_xian(source)),
                            zoned_form(target, near_xian(target)), kHelmert),
              c.pipeline)
        << c.source << " to " << c.target;
  }
}

// Nine common points around Xi'an within 20 km, at `height` (plus 100 m times a
// pattern where `relief`), the target shifted by 100 m.
Network network_at(const geodesy::Ellipsoid& ellipsoid, double height, bool relief) {
  Network network;
  network.source.resize(9, 3);
  for (int i = 0; i < 9; ++i) {
    const double h = height + (relief ? 100.0 * (i % 4) : 0.0);
    network.source.row(i) = geodesy::geocentric_from_geodetic(
                                ellipsoid, {34.2 + 0.08 * (i / 3), 108.8 + 0.09 * (i % 3), h})
                                .transpose();
  }
  network.target = network.source.rowwise() + Eigen::RowVector3d(100, 0, 0);
  network.ave_src = network.source.colwise().mean();
  network.ave_tar = network.target.colwise().mean();
  return network;
}

TEST(FormTexts, HeightsOfZeroMakeTheFitTwoDimensionalAndNameWhatStaysOpen) {
  const geodesy::CoordinateForm gk3 = geodesy::parse_form("gk3:iag1975");
  const geodesy::CoordinateForm xyz = geodesy::parse_form("xyz");
  const struct {
    double height;
    bool relief;
    const geodesy::CoordinateForm& source;
    const char* note;  // the beginning of flat_heights_note; empty for none
  } cases[] = {
      {0, false, gk3, "every height of the source points is 0: the fit is two-dimensional"},
      {0, true, gk3, ""},
      {0, false, xyz, ""},
      {20, false, gk3, ""},
  };
  for (const auto& c : cases) {
    const Network network = network_at(gk3.ellipsoid, c.height, c.relief);
    const geodesy::CoordinateForms forms{c.source, xyz};
    const std::string note = flat_heights_note(network, forms);
    EXPECT_EQ(note.substr(0, std::string(c.note).size()), c.note) << note;
    EXPECT_EQ(note.empty(), std::string(c.note).empty()) << note;
    EXPECT_EQ(height_warnings(network, forms).size(), note.empty() ? 0u : 1u);
    if (!note.empty()) {
      EXPECT_NE(note.find("leave the shift along the up direction, the turn about the north "
                          "axis, the turn about the east axis and the scale at the network's "
                          "centroid poorly determined"),
                std::string::npos)
          << note;
    }
  }
}

TEST(FormTexts, LocalResidualsWhereTheNetworkLiesOnTheEarth) {
  const geodesy::CoordinateForm xyz = geodesy::parse_form("xyz");
  const geodesy::CoordinateForm geodetic = geodesy::parse_form("geodetic:cgcs2000");
  Network on_earth = network_at(geodetic.ellipsoid, 0, true);
  Network in_a_room = on_earth;
  in_a_room.source /= 1000;
  in_a_room.target /= 1000;
  Fit fit;
  fit.statistics.residuals = Eigen::VectorXd::Zero(27);
  // 2 mm up at the first point (latitude 34.2, longitude 108.8)
  fit.statistics.residuals.head<3>() = geodesy::north_east_up(34.2, 108.8).row(2).transpose() * 0.002;
  const struct {
    const Network& network;
    const geodesy::CoordinateForm& target;
    const char* says;  // empty for no section
  } cases[] = {
      {on_earth, xyz, "on grs80 (its x y z, near the Earth's surface, taken as geocentric)"},
      {on_earth, geodetic, "on cgcs2000\n# point vn ve vu\n1 "},
      {on_earth, geodetic, " 0.0000 0.0020\n2 0.0000 0.0000 0.0000\n"},
      {on_earth, geodetic, "\nhorizontal RMS sqrt(mean(vn^2 + ve^2)): 0.0000 m\nvertical RMS "
                           "sqrt(mean(vu^2)): 0.0007 m\n"},
      {in_a_room, xyz, ""},
  };
  for (const auto& c : cases) {
    const std::string text = local_residual_section(c.network, fit, {xyz, c.target});
    EXPECT_EQ(text.empty(), std::string(c.says).empty()) << text;
    EXPECT_NE(text.find(c.says), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace helmert7
