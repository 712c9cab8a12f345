// SPDX-License-Identifier: MIT
// Angles in degrees: decimal and d:m:s texts, their limits, and trigonometry that
// is exact at the quadrant points.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include "geodesy/directions.h"
#include "numtext/numtext.h"

namespace helmert7::geodesy {
namespace {

constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180;
constexpr long long kMicroArcSecondsPerMinute = 60LL * 1000000;
constexpr long long kMicroArcSecondsPerDegree = 60 * kMicroArcSecondsPerMinute;

[[noreturn]] void refuse_angle(std::string_view text, const std::string& why) {
  throw Failure("angle " + in_quotes(text) + ": " + why);
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A field of digits with at most one point and no sign; false for anything else.
bool read_unsigned(std::string_view field, bool allow_point, double& value) {
  if (field.empty() || !is_digit(field.front()) || !is_digit(field.back())) return false;
  const char* end = field.data() + field.size();
  const auto [stop, error] = std::from_chars(field.data(), end, value, std::chars_format::fixed);
  return error == std::errc() && stop == end &&
         (allow_point || field.find('.') == std::string_view::npos);
}

double read_dms(std::string_view text) {
  const bool negative = text.front() == '-';
  const std::vector<std::string_view> fields = split_colons(text.substr(negative ? 1 : 0));
  double degrees = 0, minutes = 0, seconds = 0;
  if (fields.size() != 3 || !read_unsigned(fields[0], false, degrees) ||
      !read_unsigned(fields[1], false, minutes) || !read_unsigned(fields[2], true, seconds))
    refuse_angle(text, "expected d:m:s such as 30:31:12.3456, a '-' in front for south or west");
  if (minutes >= 60 || seconds >= 60) refuse_angle(text, "minutes and seconds must be below 60");
  const double value = degrees + minutes / 60 + seconds / 3600;
  return negative ? -value : value;
}

}  // namespace

std::vector<std::string_view> split_colons(std::string_view text) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (std::size_t colon; (colon = text.find(':', start)) != std::string_view::npos;
       start = colon + 1)
    fields.push_back(text.substr(start, colon - start));
  fields.push_back(text.substr(start));
  return fields;
}

AngleStyle angle_style_of(std::string_view text) {
  return text.find(':') == std::string_view::npos ? AngleStyle::decimal : AngleStyle::dms;
}

double read_degrees(std::string_view text) {
  if (text.empty()) refuse_angle(text, "empty");
  if (angle_style_of(text) == AngleStyle::dms) return read_dms(text);
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end || !std::isfinite(value))
    refuse_angle(text, "not a number of degrees");
  return value;
}

std::string format_degrees(double degrees, AngleStyle style) {
  if (style == AngleStyle::decimal) return format_fixed(degrees, 10);
  // Rounded once, to whole micro-seconds of arc, so that 59.9999999 s carries over.
  const long long total = std::llround(std::fabs(degrees) * kMicroArcSecondsPerDegree);
  const long long minutes = total % kMicroArcSecondsPerDegree / kMicroArcSecondsPerMinute;
  const long long micro_seconds = total % kMicroArcSecondsPerMinute;
  char text[64];
  std::snprintf(text, sizeof text, "%s%lld:%02lld:%02lld.%06lld",
                degrees < 0 && total != 0 ? "-" : "", total / kMicroArcSecondsPerDegree, minutes,
                micro_seconds / 1000000, micro_seconds % 1000000);
  return text;
}

void check_latitude(double degrees) {
  if (!(std::fabs(degrees) <= 90))
    throw Failure("latitude " + format_shortest(degrees) + " lies beyond -90..90 degrees");
}

void check_longitude(double degrees) {
  if (!(std::fabs(degrees) <= 360))
    throw Failure("longitude " + format_shortest(degrees) + " lies beyond -360..360 degrees");
}

double offset_from_meridian(double longitude, double central_meridian) {
  const double offset = std::remainder(longitude - central_meridian, 360.0);
  return offset == -180 ? 180 : offset;
}

SinCos sincos_degrees(double degrees) {
  int quadrant = 0;
  // remquo is exact: degrees = 90 quadrant + rest, |rest| <= 45.
  const double rest = std::remquo(degrees, 90.0, &quadrant) * kRadiansPerDegree;
  const double s = std::sin(rest), c = std::cos(rest);
  switch (static_cast<unsigned>(quadrant) & 3u) {
    case 0:
      return {s, c};
    case 1:
      return {c, -s};
    case 2:
      return {-s, -c};
    default:
      return {-c, s};
  }
}

namespace detail {

SinCos meridian_sincos(double degrees) {
  // Multiples of 3 degrees from -360 to 360, as sincos_degrees gives them.
  constexpr int kSteps = 240;
  static const std::array<SinCos, kSteps + 1> table = [] {
    std::array<SinCos, kSteps + 1> sines{};
    for (int i = 0; i <= kSteps; ++i) sines[i] = sincos_degrees(3.0 * i - 360);
    return sines;
  }();
  const double step = degrees / 3 + kSteps / 2;  // exact where degrees is a multiple of 3
  if (step >= 0 && step <= kSteps && step == std::floor(step))
    return table[static_cast<std::size_t>(step)];
  return sincos_degrees(degrees);
}

}  // namespace detail
}  // namespace helmert7::geodesy
