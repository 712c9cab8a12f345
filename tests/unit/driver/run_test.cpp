// SPDX-License-Identifier: MIT
// The run in-process: inputs far beyond what one argument word may carry on Linux
// (128 KiB), and the degenerate argument lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "../test_support.h"
#include "driver/driver.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace helmert7 {
namespace {

// Regression: the point count was once a 16-bit number, so texts of more than
// 65,535 values lost points.
TEST(Run, HundredThousandValuesInOneText) {
  constexpr int kPoints = 33334;  // 100,002 values
  const double ez = 2e-5, m = 3e-6;
  std::string source, target;
  char buffer[128];
  for (int i = 0; i < kPoints; ++i) {
    const double x = 1000.0 * std::sin(i), y = 1000.0 * std::cos(0.7 * i), z = 0.37 * (i % 1000);
    std::snprintf(buffer, sizeof buffer, "%.17g,%.17g,%.17g,", x, y, z);
    source += buffer;
    // The model with only ez and m: X = k(x + ez y), Y = k(-ez x + y), Z = k z.
    std::snprintf(buffer, sizeof buffer, "%.17g,%.17g,%.17g,", (1 + m) * (x + ez * y),
                  (1 + m) * (-(ez * x) + y), (1 + m) * z);
    target += buffer;
  }
  ASSERT_GT(source.size(), 128u * 1024);

  const std::string path =
      (std::filesystem::temp_directory_path() / "helmert7_run_test_report.txt").string();
  std::ostringstream out, err;
  ASSERT_EQ(
      run({"helmert7", "--inputsrc", source, "--inputdes", target, "--outfile", path}, out, err),
      kExitSuccess)
      << err.str();
  EXPECT_EQ(err.str(), "");
  EXPECT_NE(out.str().find("source_points\n[33334 3 1 1]\n"), std::string::npos);

  const std::string report = test::read_bytes(path);
  std::remove(path.c_str());
  // ez and m are 0.000020 and 0.000003 at six decimals; the rest is zero.
  EXPECT_EQ(
      report.substr(0, report.find('\n') + 1),
      test::in_text_mode("args=0.000000,0.000000,0.000000,0.000000,0.000000,0.000020,0.000003\n"));
  const std::size_t residual_values =
      std::count(report.begin() + report.find("residual="), report.end(), ',') + 1;
  EXPECT_EQ(residual_values, 3u * kPoints);
}

TEST(Run, NoArgumentsAtAllIsAFailureWithAMessage) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, std::vector<std::string>{"helmert7"}}) {
    std::ostringstream out, err;
    EXPECT_EQ(run(args, out, err), kExitFailure);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str().rfind("helmert7: no source points", 0), 0u) << err.str();
  }
}

#ifdef _WIN32
// A report held open by a viewer that lets no one rename it fails the run when it
// is put in place, after the output file: the output goes back as it was.
TEST(Run, AReportThatCannotBeReplacedLeavesTheOutputAsItWas) {
  test::ScratchDir scratch;
  const std::string output = scratch.path("out.txt"), report = scratch.path("report.txt");
  test::write_bytes(output, "old output\n");
  test::write_bytes(report, "old report\n");
  const HANDLE viewer =
      CreateFileA(report.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(viewer, INVALID_HANDLE_VALUE);
  std::ostringstream out, err;
  const int status = run({"helmert7", "--inputsrc", "0,0,0, 100,0,0, 0,100,0, 0,0,100", "--inputdes",
                          "10,20,30, 110,20,30, 10,120,30, 10,20,130", "--outfile", output,
                          "--reportfile", report},
                         out, err);
  CloseHandle(viewer);
  EXPECT_EQ(status, kExitFailure);
  // The system's words follow: "Sharing violation" under Wine.
  const std::string prefix = "helmert7: cannot write the report file '" + report + "': ";
  const std::string message = err.str();
  EXPECT_EQ(message.rfind(prefix, 0), 0u) << message;
  EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
  EXPECT_EQ(test::read_bytes(output), "old output\n");
  EXPECT_EQ(test::read_bytes(report), "old report\n");
  EXPECT_EQ(scratch.entries(), (std::vector<std::string>{"out.txt", "report.txt"}));
}
#endif

}  // namespace
}  // namespace helmert7
