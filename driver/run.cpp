// SPDX-License-Identifier: MIT
// The run: one call per step, every failure caught here once.
#include "driver/driver.h"
#include "driver/steps.h"

namespace helmert7 {
namespace {

// The trace is the only place that holds sigma0 and the standard errors: a trace
// that could not be written fails the run, after the files.
void check_console(std::ostream& out) {
  out.flush();
  if (!out) throw Failure("cannot write the trace to standard output (closed or full)");
}

void print_warnings(const std::vector<std::string>& warnings, std::ostream& err) {
  for (const std::string& warning : warnings) err << "helmert7: warning: " << warning << '\n';
  err.flush();
}

}  // namespace

int run(std::vector<std::string> args, std::ostream& out, std::ostream& err) {
  try {
    const Invocation invocation = read_invocation(std::move(args), out);
    if (invocation.answered) {
      check_console(out);
      return kExitSuccess;
    }
    Inputs inputs = read_inputs(invocation);
    Trace trace{out, invocation.brief_trace};
    const Network network = form_network(inputs, trace);
    const Fit fit = adjust(invocation, network, inputs, trace);
    Prediction prediction = predict(invocation, inputs, fit, trace);
    std::vector<std::string> warnings = inputs.form_warnings;
    for (std::string& warning : fit_warnings(network, fit, prediction.points)) {
      warnings.push_back(std::move(warning));
    }
    for (std::string& warning : height_warnings(network, inputs.forms)) {
      warnings.push_back(std::move(warning));
    }
    for (std::string& warning : check_point_warnings(network, fit)) {
      warnings.push_back(std::move(warning));
    }
    Outputs outputs = stage_output_file(invocation, inputs, fit, prediction);
    stage_adjustment_report(invocation, {network, fit, prediction.points, warnings, inputs.forms},
                            outputs);
    put_outputs_in_place(outputs);
    check_console(out);
    print_warnings(warnings, err);
    return kExitSuccess;
  } catch (const std::exception& e) {
    err << "helmert7: " << e.what() << std::endl;
    return kExitFailure;
  }
}

}  // namespace helmert7
