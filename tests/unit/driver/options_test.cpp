// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <sstream>

#include "driver/steps.h"

namespace helmert7 {
namespace {

OptionMap options_of(const std::vector<std::string>& words) {
  std::ostringstream echo;
  return build_option_map(words, echo);
}

// The separator is the platform's: the backslash on Windows, "/" elsewhere.
TEST(ExeDir, KeepsEverythingUpToTheLastSeparator) {
#ifdef _WIN32
  EXPECT_EQ(exe_dir_of("C:\\tools\\helmert7.exe"), "C:\\tools\\");
  EXPECT_EQ(exe_dir_of("D:\\bin\\sub\\helmert7.exe"), "D:\\bin\\sub\\");
  EXPECT_EQ(exe_dir_of("/opt/tools/bin/helmert7"), "");
#else
  EXPECT_EQ(exe_dir_of("/opt/tools/bin/helmert7"), "/opt/tools/bin/");
  EXPECT_EQ(exe_dir_of("./helmert7"), "./");
  EXPECT_EQ(exe_dir_of("C:\\tools\\helmert7.exe"), "");
#endif
  EXPECT_EQ(exe_dir_of("helmert7"), "");
  EXPECT_EQ(exe_dir_of(""), "");
}

TEST(OptionMap, BindsValuesToTheFirstWaitingOptionInKeyOrder) {
  EXPECT_EQ(options_of({"--inputsrc", "S", "--inputdes", "T"}),
            (OptionMap{{"--inputdes", "T"}, {"--inputsrc", "S"}}));
  EXPECT_EQ(options_of({"--inputsrc", "--inputdes", "S", "T"}),
            (OptionMap{{"--inputdes", "S"}, {"--inputsrc", "T"}}));
  EXPECT_EQ(options_of({"--outfile", "R", "--inputfile", "C"}),
            (OptionMap{{"--inputfile", "C"}, {"--outfile", "R"}}));
  EXPECT_EQ(options_of({"--inputfile", "--inputtest", "P"}),
            (OptionMap{{"--inputfile", "P"}, {"--inputtest", ""}}));
}

TEST(OptionMap, ValuesWithNoOptionWaitingAreUnbound) {
  const struct {
    std::vector<std::string> words;
    OptionMap options;
    std::vector<std::string> unbound;
  } cases[] = {
      {{"--inputsrc", "S", "T"}, {{"--inputsrc", "S"}}, {"T"}},
      {{"S", "--inputsrc", "T"}, {{"--inputsrc", "T"}}, {"S"}},
      {{"--INPUTSRC", "S"}, {}, {"--INPUTSRC", "S"}},
      {{"--inputsrc=S"}, {}, {"--inputsrc=S"}},
      {{"", "--outfile", "R", ""}, {{"--outfile", "R"}}, {}},  // an empty word loses nothing
  };
  for (const auto& c : cases) {
    std::ostringstream echo;
    std::vector<std::string> unbound;
    EXPECT_EQ(build_option_map(c.words, echo, &unbound), c.options);
    EXPECT_EQ(unbound, c.unbound);
  }
}

TEST(OptionMap, RepeatedOptionLosesItsValueAndEmptyWordsKeepItWaiting) {
  EXPECT_EQ(options_of({"--inputsrc", "S", "--inputsrc"}), (OptionMap{{"--inputsrc", ""}}));
  EXPECT_EQ(options_of({"--outfile", "", "R"}), (OptionMap{{"--outfile", "R"}}));
}

TEST(OptionMap, EchoesEveryWordVerbatimOnItsOwnLine) {
  std::ostringstream echo;
  build_option_map({"x", "--inputsrc", "%s%n", "", "dropped\xB0"}, echo);
  EXPECT_EQ(echo.str(), "x\n--inputsrc\n%s%n\n\ndropped\xB0\n");
}

TEST(MatrixPrint, RightAlignsTenSignificantDigitsToTheWidestValue) {
  std::ostringstream out;
  Eigen::MatrixXd m(2, 3);
  m << 1.5, -2.25, 3, 1234567.891234, 0.0001, -0.0;
  print_matrix(out, "name", m);
  EXPECT_EQ(out.str(),
            "name\n[2 3 1 1]\n"
            // Every cell is four blanks and the width of "1234567.891", 15 bytes.
            "            1.5          -2.25              3\n"
            "    1234567.891         0.0001             -0\n"
            "\n");
}

TEST(MatrixPrint, EmptyMatrixHasNoRows) {
  std::ostringstream out;
  print_matrix(out, "e", Eigen::MatrixXd(0, 3));
  EXPECT_EQ(out.str(), "e\n[0 3 1 1]\n\n");
}

}  // namespace
}  // namespace helmert7
