// SPDX-License-Identifier: MIT
// estimate_parameters in-process on n synthetic points (n from the command line):
// the time of the adjustment, its iterations and the process's peak memory.
// Prints one line: "n seconds iterations peak_MiB".
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "model/model.h"

int main(int argc, char** argv) {
  using namespace helmert7;
  const long n = argc > 1 ? std::atol(argv[1]) : 10000;
  ParameterVector truth;
  truth << 0.02, -0.01, 0.03, 8.7e-6, -1.2e-5, 1.5e-5, 4.2e-6;
  PointMatrix source(n, 3), target(n, 3);
  for (long i = 0; i < n; ++i) {
    const double t = static_cast<double>(i);
    source.row(i) << 20000.0 * std::sin(0.37 * t), 20000.0 * std::cos(0.71 * t),
        500.0 * std::sin(1.13 * t);
    // A millimetre of deterministic scatter, so that the fit is not exact.
    target.row(i) = transform_point(source(i, 0), source(i, 1), source(i, 2), truth).array() +
                    0.001 * std::sin(2.9 * t);
  }
  source.rowwise() -= source.colwise().mean();
  target.rowwise() -= target.colwise().mean();

  const auto started = std::chrono::steady_clock::now();
  const AdjustmentResult result = estimate_parameters(source, target);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%ld %.3f %d %.1f\n", n, elapsed.count(), result.iterations,
              static_cast<double>(usage.ru_maxrss) / 1024.0);
  return result.converged ? 0 : 1;
}
