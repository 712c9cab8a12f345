// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
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

}  // namespace
}  // namespace helmert7
