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
  if (!out) throw InputError("cannot write the trace to standard output (closed or full)");
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  try {
    const Invocation invocation = read_invocation(args, out);
    if (invocation.answered) {
      check_console(out);
      return kExitSuccess;
    }
    const Inputs inputs = read_inputs(invocation);
    const Network network = form_network(inputs, out);
    const Fit fit = adjust(invocation, network, inputs, out);
    Outputs outputs;
    stage_output_file(invocation, inputs, fit, out, outputs);
    stage_adjustment_report(invocation, network, fit, outputs);
    put_outputs_in_place(invocation, outputs);
    check_console(out);
    for (const std::string& warning : fit.warnings) err << "helmert7: warning: " << warning << '\n';
    err.flush();
    return kExitSuccess;
  } catch (const std::exception& e) {
    err << "helmert7: " << e.what() << std::endl;
    return kExitFailure;
  }
}

}  // namespace helmert7
