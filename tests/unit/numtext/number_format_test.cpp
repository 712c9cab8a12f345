// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "numtext/numtext.h"

namespace helmert7 {
namespace {

TEST(FormatNumber, SixDecimalsRoundedAsTheCLibraryRounds) {
  EXPECT_EQ(format_number(1), "1.000000");
  EXPECT_EQ(format_number(-2.5), "-2.500000");
  EXPECT_EQ(format_number(0.000001), "0.000001");
  EXPECT_EQ(format_number(123456789.123456789), "123456789.123457");
  // The doubles nearest 5e-7 and 2.5e-7 lie below a half unit of the last
  // place; the one nearest 1.5e-6 lies above.
  EXPECT_EQ(format_number(0.0000005), "0.000000");
  EXPECT_EQ(format_number(2.5e-7), "0.000000");
  EXPECT_EQ(format_number(0.0000015), "0.000002");
  // Exact binary ties (1/128, 3/128) go to the even digit.
  EXPECT_EQ(format_number(0.0078125), "0.007812");
  EXPECT_EQ(format_number(0.0234375), "0.023438");
}

TEST(FormatNumber, SignKeptForNegativeZeroAndValuesRoundingToZero) {
  EXPECT_EQ(format_number(0.0000004), "0.000000");
  EXPECT_EQ(format_number(-0.0000004), "-0.000000");
  EXPECT_EQ(format_number(-0.0), "-0.000000");
  EXPECT_EQ(format_number(0.0), "0.000000");
}

TEST(FormatNumber, NeverAnExponentHoweverLarge) {
  EXPECT_EQ(format_number(1e20), "100000000000000000000.000000");

  // The largest double is (2^53 - 1) * 2^971, an integer of 309 digits.
  const std::string largest =
      "17976931348623157081452742373170435679807056752584499659891747680315726078002853876058955"
      "86327668781715404589535143824642343213268894641827684675467035375169860499105765512820762"
      "45490090389328944075868508455133942304583236903222948165808559332123348274797826204144723"
      "168738177180919299881250404026184124858368";
  ASSERT_EQ(largest.size(), 309u);
  EXPECT_EQ(format_number(std::numeric_limits<double>::max()), largest + ".000000");
  EXPECT_EQ(format_number(-std::numeric_limits<double>::max()), "-" + largest + ".000000");
  EXPECT_EQ(format_number(-std::numeric_limits<double>::max()).size(), 317u);
}

TEST(FormatNumber, SameTextAsToString) {
  for (const double value : {0.1, -1234.5678905, 6378137.0, 1e300, -4.9e-324, 0.5e-6})
    EXPECT_EQ(format_number(value), std::to_string(value)) << value;
}

TEST(JoinNumbers, CommasOnlyBetweenValues) {
  EXPECT_EQ(join_numbers({}), "");
  EXPECT_EQ(join_numbers({1}), "1.000000");
  EXPECT_EQ(join_numbers({1, -2.5}), "1.000000,-2.500000");
  EXPECT_EQ(join_numbers({-0.0, 1e20, 0.0000004}),
            "-0.000000,100000000000000000000.000000,0.000000");
}

TEST(JoinNumbers, ReadsBackToTheSameValues) {
  // Multiples of 1/64 print exactly in six decimals, so the round trip is exact.
  std::vector<double> values;
  for (int i = 0; i < 1000; ++i) values.push_back(i / 64.0 - 7.5);
  const std::string joined = join_numbers(values);
  EXPECT_EQ(std::count(joined.begin(), joined.end(), ','), 999);
  EXPECT_EQ(std::count(joined.begin(), joined.end(), '.'), 1000);
  EXPECT_EQ(read_numbers(joined), values);
}

// What the C library's printf writes for `format` and `precision`. A NaN with its
// sign bit set is "-nan" in glibc but "nan" in MinGW-w64's printf; the tool writes
// glibc's form on both platforms.
std::string printf_text(const char* format, int precision, double value) {
#ifdef _WIN32
  if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
#endif
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, precision, value);
  return buffer;
}

// The formatting goes through std::to_chars for speed; it must write the very
// bytes that printf writes, for every format the reports and the trace use.
void expect_printf_bytes(double value) {
  ASSERT_EQ(format_number(value), printf_text("%.*f", 6, value)) << value;
  for (const int decimals : {2, 4, 6}) {
    ASSERT_EQ(format_fixed(value, decimals), printf_text("%.*f", decimals, value)) << value;
  }
  for (const int precision : {1, 6, 10, 17, 19}) {
    ASSERT_EQ(format_general(value, precision), printf_text("%.*g", precision, value)) << value;
  }
}

TEST(FormatLikePrintf, EdgesGiveTheBytesOfPrintf) {
  const double edges[] = {0.0, -0.0, DBL_MIN, -DBL_MIN, DBL_TRUE_MIN, DBL_MAX, -DBL_MAX,
                          std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(),
                          std::numeric_limits<double>::quiet_NaN(),
                          // the %g switch to exponents below 1e-4 and at 10^precision
                          1e-5, 9.9999999999e-5, 1e-4, 0.000099999995, 999999.5, 1e6, 9999999999.5,
                          1e10, 123456.5, 1234567.5,
                          // half-way cases in binary: exact ties of the last printed digit
                          0.5, 1.5, 2.5, 0.0078125, 0.0234375, 0.125, 0.375, 1e15 + 0.5,
                          // values that round up to the next power of ten
                          9.9999995, 0.9999999999949, 99999.99999999,
                          // "%f" from 64-bit integers up to 2^64 millionths, wider beyond
                          0.0000005, 0.0000015, 0.9999995, 9999999.9999995, 18446744073709.55,
                          18446744073709.551, 18446744073709.553, 18446744073710.0,
                          // the whole part in one group of eight digits or two
                          99999999.9999995, 99999999.999999, 100000000.0, 123456789.0123455,
                          1234567890123.25, 10000000.0000005};
  for (const double value : edges) {
    expect_printf_bytes(value);
    expect_printf_bytes(-value);
  }
}

TEST(FormatLikePrintf, RandomDoublesGiveTheBytesOfPrintf) {
  std::mt19937_64 random(2026);
  std::uniform_real_distribution<double> metres(-1e7, 1e7), exponent(-320.0, 308.0);
  for (int i = 0; i < 20000; ++i) {
    // Every bit pattern, so subnormals, NaN payloads and all exponents come up.
    const std::uint64_t bits = random();
    double any;
    std::memcpy(&any, &bits, sizeof any);
    expect_printf_bytes(any);
    expect_printf_bytes(metres(random));
    expect_printf_bytes(std::pow(10.0, exponent(random)));
  }
}

// Exact ties of the last decimal kept by "%.2f", "%.4f" and "%.6f" (odd multiples
// of 2^-3, 2^-5, 2^-7), at every magnitude up to 2^53: they round to the even
// digit whichever way the exact value is divided.
TEST(FormatLikePrintf, ExactTiesAtEveryMagnitudeGoToTheEvenDigit) {
  std::mt19937_64 random(11);
  for (int bits = 1; bits <= 53; ++bits) {
    for (int i = 0; i < 20; ++i) {
      const std::uint64_t odd = (random() >> (64 - bits)) | 1;
      for (const int power : {3, 5, 7}) expect_printf_bytes(std::ldexp(static_cast<double>(odd), -power));
    }
  }
}

// Decimals that end in a 5 just past the last digit kept: the doubles nearest them
// lie a little above or below the half-way point, or on it.
TEST(FormatLikePrintf, NearlyHalfWayValuesGiveTheBytesOfPrintf) {
  std::mt19937_64 random(7);
  std::uniform_int_distribution<long long> mantissa(0, 9999999999LL);
  std::uniform_int_distribution<int> scale(-12, 12);
  for (int i = 0; i < 20000; ++i) {
    const double m = static_cast<double>(mantissa(random)) * 10.0 + 5.0;
    expect_printf_bytes(m / 1e3);                            // x.xx5 for "%.2f"
    expect_printf_bytes(m / 1e7);                            // for "%.6f"
    expect_printf_bytes(m * std::pow(10.0, scale(random)));  // 11 digits for "%.10g"
  }
}

}  // namespace
}  // namespace helmert7
