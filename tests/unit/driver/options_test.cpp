// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "driver/steps.h"

namespace helmert7 {
namespace {

OptionMap options_of(const std::vector<std::string>& words) { return bind_words(words).options; }

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

TEST(OptionMap, ValuesWithNoOptionWaitingAreUnboundAndOptionsWithoutWordsAreListed) {
  const struct {
    std::vector<std::string> words;
    OptionMap options;
    std::vector<std::string> unbound, without_value;
  } cases[] = {
      {{"--inputsrc", "S", "T"}, {{"--inputsrc", "S"}}, {"T"}, {}},
      {{"S", "--inputsrc", "T"}, {{"--inputsrc", "T"}}, {"S"}, {}},
      {{"--INPUTSRC", "S"}, {}, {"--INPUTSRC", "S"}, {}},
      {{"--inputsrc=S"}, {}, {"--inputsrc=S"}, {}},
      {{"", "--outfile", "R", ""}, {{"--outfile", "R"}}, {}, {}},  // an empty word loses nothing
      {{"--inputsrc", "S", "--inputtest"}, {{"--inputsrc", "S"}, {"--inputtest", ""}}, {}, {"--inputtest"}},
      {{"--outfile", ""}, {{"--outfile", ""}}, {}, {}},  // an explicit empty word is a value word
      {{"--outfile", "R", "--outfile"}, {{"--outfile", ""}}, {}, {"--outfile"}},
      {{"--inputsrc", "--inputdes", "S", "T"}, {{"--inputdes", "S"}, {"--inputsrc", "T"}}, {}, {}},
      {{"--inputfile", "--inputtest", "P"}, {{"--inputfile", "P"}, {"--inputtest", ""}}, {}, {"--inputtest"}},
      // --trace comes last in key order, whatever the order of the words.
      {{"--trace", "--outfile", "brief", "R"}, {{"--outfile", "brief"}, {"--trace", "R"}}, {}, {}},
      {{"--trace", "brief", "--outfile"}, {{"--outfile", ""}, {"--trace", "brief"}}, {}, {"--outfile"}},
  };
  for (const auto& c : cases) {
    const CommandLine bound = bind_words(c.words);
    EXPECT_EQ(bound.options, c.options);
    EXPECT_EQ(bound.unbound, c.unbound);
    EXPECT_EQ(bound.without_value, c.without_value);
  }
}

TEST(OptionMap, RepeatedOptionLosesItsValueAndEmptyWordsKeepItWaiting) {
  EXPECT_EQ(options_of({"--inputsrc", "S", "--inputsrc"}), (OptionMap{{"--inputsrc", ""}}));
  EXPECT_EQ(options_of({"--outfile", "", "R"}), (OptionMap{{"--outfile", "R"}}));
}

TEST(OptionMap, EchoesEveryWordVerbatimOnItsOwnLine) {
  std::ostringstream echo;
  echo_words({"x", "--inputsrc", "%s%n", "", "dropped\xB0"}, echo);
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

// The usage text and the refusal of an unknown option name every option of the
// table, and the binding rule lists them in key order.
TEST(OptionTable, NamesEveryOptionInTheUsageAndTheRefusal) {
  std::ostringstream usage;
  ASSERT_TRUE(answer_help_or_version({"--help"}, usage));
  std::string refusal;
  try {
    check_command_line({"--bogus"}, CommandLine());
  } catch (const Failure& e) {
    refusal = e.what();
  }
  std::string previous;
  std::size_t previous_at = 0;
  for (const OptionSpec& option : kOptions) {
    EXPECT_NE(usage.str().find(std::string("\n  ") + option.name + " " + option.value + " "),
              std::string::npos)
        << option.name;
    EXPECT_NE(refusal.find(option.name), std::string::npos) << option.name;
    EXPECT_NE(options_of({option.name, "v"}).count(option.name), 0u) << option.name;
  }
  std::vector<std::string> names;
  for (const OptionSpec& option : kOptions) names.push_back(option.name);
  std::sort(names.begin(), names.end());
  const std::string text = usage.str();
  const std::size_t rule = text.find("in the order ");
  ASSERT_NE(rule, std::string::npos);
  for (const std::string& name : names) {
    const std::size_t at = text.find(name, rule);
    EXPECT_GT(at, previous_at) << name << " after " << previous;
    previous_at = at;
    previous = name;
  }
}

}  // namespace
}  // namespace helmert7
