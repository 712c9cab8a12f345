// SPDX-License-Identifier: MIT
// The run's files: staged beside their destinations, then put in place together.
#include "driver/steps.h"

namespace helmert7 {
namespace {

std::unique_ptr<StagedFile> staged(const std::string& path, const std::string& shown,
                                   const std::string& text) {
  auto file = std::make_unique<StagedFile>(path, shown + " " + in_quotes(path));
  file->write(text);
  return file;
}

}  // namespace

Outputs stage_output_file(const Invocation& invocation, const Inputs& inputs, const Fit& fit,
                          Prediction& prediction) {
  Outputs outputs;
  if (prediction.streamed_file) {
    outputs.output_file = std::move(prediction.streamed_file);
  } else if (prediction.points.asked) {
    const GivenTexts texts{inputs.source.text, inputs.target.text, inputs.test.text};
    outputs.output_file = staged(invocation.output_path, "the output file",
                                 prediction_report_text(texts, prediction.joined));
  } else {
    outputs.output_file = staged(invocation.output_path, "the output file",
                                 parameter_report_text(fit.mapping, fit.statistics.residuals));
  }
  return outputs;
}

void stage_adjustment_report(const Invocation& invocation, const ReportContent& content,
                             Outputs& outputs) {
  if (invocation.report_path.empty()) return;
  outputs.report_file =
      staged(invocation.report_path, "the report file", adjustment_report_text(content));
}

// All or none: when the report cannot be put in place, the output goes back too.
void put_outputs_in_place(Outputs& outputs) {
  commit_together({outputs.output_file.get(), outputs.report_file.get()});
}

}  // namespace helmert7
