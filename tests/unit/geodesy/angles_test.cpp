// SPDX-License-Identifier: MIT
// Degrees as texts, their limits, and the trigonometry in degrees.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "../test_support.h"
#include "geodesy/geodesy.h"
#include "numtext/numtext.h"

namespace helmert7::geodesy {
namespace {

TEST(ReadDegrees, DecimalAndDegreesMinutesSeconds) {
  const std::pair<const char*, double> cases[] = {
      {"30.52", 30.52},
      {"-117.5", -117.5},
      {"1e1", 10},
      {"30:31:12.3456", 30 + 31 / 60.0 + 12.3456 / 3600},
      {"-117:30:00", -117.5},
      {"-0:00:01.5", -1.5 / 3600},
      {"359:59:59.999999", 359 + 59 / 60.0 + 59.999999 / 3600},
      {"090:05:00", 90 + 5 / 60.0},
  };
  for (const auto& [text, degrees] : cases) {
    EXPECT_DOUBLE_EQ(read_degrees(text), degrees) << text;
    EXPECT_EQ(angle_style_of(text), std::string(text).find(':') == std::string::npos
                                        ? AngleStyle::decimal
                                        : AngleStyle::dms);
  }
}

TEST(ReadDegrees, RefusesWithTheText) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "angle '': empty"},
      {"north", "angle 'north': not a number of degrees"},
      {"30.5N", "angle '30.5N': not a number of degrees"},
      {"inf", "angle 'inf': not a number of degrees"},
      {"30:31", "angle '30:31': expected d:m:s such as 30:31:12.3456"},
      {"30:31:12:5", "expected d:m:s"},
      {"+30:31:12", "expected d:m:s"},
      {"30:-1:12", "expected d:m:s"},
      {"30:1.5:12", "expected d:m:s"},
      {"30.5:1:12", "expected d:m:s"},
      {"30:31:", "expected d:m:s"},
      {"30:31:.5", "expected d:m:s"},
      {"30:60:00", "angle '30:60:00': minutes and seconds must be below 60"},
      {"30:00:60", "minutes and seconds must be below 60"},
  };
  for (const auto& [text, message] : cases) {
    std::string failure;
    try {
      read_degrees(text);
    } catch (const Failure& f) {
      failure = f.what();
    }
    EXPECT_NE(failure.find(message), std::string::npos) << text << " gave: " << failure;
  }
}

TEST(FormatDegrees, TenDecimalsOrSecondsToSixDecimals) {
  const std::tuple<double, AngleStyle, const char*> cases[] = {
      {30.52, AngleStyle::decimal, "30.5200000000"},
      {-117.123456789049, AngleStyle::decimal, "-117.1234567890"},
      {30 + 31 / 60.0 + 12.3456 / 3600, AngleStyle::dms, "30:31:12.345600"},
      {-117.5, AngleStyle::dms, "-117:30:00.000000"},
      {-1.5 / 3600, AngleStyle::dms, "-0:00:01.500000"},
      {5 + 59 / 60.0 + 59.9999996 / 3600, AngleStyle::dms, "6:00:00.000000"},  // carries
      {-1e-12, AngleStyle::dms, "0:00:00.000000"},                             // no sign on a zero
      {0, AngleStyle::dms, "0:00:00.000000"},
  };
  for (const auto& [degrees, style, text] : cases) EXPECT_EQ(format_degrees(degrees, style), text);
}

TEST(FormatDegrees, ReadsBackWithinHalfTheLastDigit) {
  for (double degrees = -359.9; degrees < 360; degrees += 7.123456789) {
    EXPECT_NEAR(read_degrees(format_degrees(degrees, AngleStyle::dms)), degrees, 0.5e-6 / 3600);
    EXPECT_NEAR(read_degrees(format_degrees(degrees, AngleStyle::decimal)), degrees, 0.5e-10);
  }
}

TEST(AngleLimits, LatitudeToNinetyLongitudeToThreeHundredSixty) {
  EXPECT_NO_THROW(check_latitude(-90));
  EXPECT_NO_THROW(check_latitude(90));
  EXPECT_THROW(check_latitude(90.000001), Failure);
  EXPECT_NO_THROW(check_longitude(-360));
  EXPECT_THROW(check_longitude(-360.5), Failure);
  EXPECT_THROW(check_longitude(NAN), Failure);
}

TEST(OffsetFromMeridian, IntoMinus180To180) {
  const std::tuple<double, double, double> cases[] = {
      {117, 117, 0},   {121.5, 117, 4.5}, {-178, 177, 5}, {178, -177, -5},
      {297, 117, 180}, {-63, 117, 180},   {359, 0, -1},
  };
  for (const auto& [longitude, meridian, offset] : cases)
    EXPECT_EQ(offset_from_meridian(longitude, meridian), offset) << longitude << " " << meridian;
}

TEST(SinCosDegrees, ExactAtQuadrantsAndCloseElsewhere) {
  for (int k = -8; k <= 8; ++k) {
    const SinCos sc = sincos_degrees(90.0 * k);
    EXPECT_EQ(sc.sin, std::round(std::sin(k * test::kPi / 2))) << k;
    EXPECT_EQ(sc.cos, std::round(std::cos(k * test::kPi / 2))) << k;
  }
  // The reference loses a few bits to the product degrees * pi / 180.
  for (double degrees = -720; degrees <= 720; degrees += 13.7) {
    const SinCos sc = sincos_degrees(degrees);
    EXPECT_NEAR(sc.sin, std::sin(degrees * test::kPi / 180), 5e-15) << degrees;
    EXPECT_NEAR(sc.cos, std::cos(degrees * test::kPi / 180), 5e-15) << degrees;
  }
}

}  // namespace
}  // namespace helmert7::geodesy
