// SPDX-License-Identifier: MIT
// The test points mapped, with their console lines: the mapped list of a
// coordinate text, or the count of a point file's points streamed into the staged
// output file; then sigma0, the parameters' standard errors and the elapsed time.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <iostream>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "driver/steps.h"
#include "points/points.h"

namespace helmert7 {
namespace {

// Console labels, as GBK bytes whatever the console's code page.
const char kLabelPrediction[] = "\xC4\xA3\xD0\xCD\xD4\xA4\xB2\xE2\xBD\xE1\xB9\xFB\x3A\x20";
const char kLabelSigma0[] = "\xB5\xA5\xCE\xBB\xC8\xA8\xD6\xD0\xCE\xF3\xB2\xEE\x3A\x20";
const char kLabelSigmax[] = "\xB2\xCE\xCA\xFD\xD6\xD0\xCE\xF3\xB2\xEE\x3A";
const char kLabelElapsed[] = "\xCF\xFB\xBA\xC4\xCA\xB1\xBC\xE4\x3A\x20";

// "%g", as the default number format of an output stream writes a double.
std::string general_number(double value) { return format_general(value, 6); }

// The precision lines of a prediction run, after the predictions.
void print_precision(const Fit& fit, const Trace& trace) {
  print_sigma0(trace.out, fit.result.sigma0);
  trace.out << kLabelSigmax << std::endl;
  print_matrix(trace.out, "sigmax", fit.result.sigmax);
  const std::chrono::duration<double> elapsed =
      std::chrono::steady_clock::now() - trace.adjustment_started;
  trace.out << kLabelElapsed << general_number(elapsed.count()) << " s" << std::endl;
}

// The values of the rows of `points`, x, y, z for each.
std::vector<double> values_of(const PointMatrix& points) {
  std::vector<double> values;
  values.reserve(static_cast<std::size_t>(points.size()));
  for (Eigen::Index i = 0; i < points.rows(); ++i) {
    values.insert(values.end(), {points(i, 0), points(i, 1), points(i, 2)});
  }
  return values;
}

// Maps a chunk of test points, and surveys them in the source system: as given,
// or once mapped back for --direction inverse.
void map_and_survey(const Inputs& inputs, const Fit& fit, TestPointSurvey& survey, double* xyz,
                    std::size_t points) {
  if (inputs.inverse_direction) {
    map_back_in_place(fit.mapping, xyz, points);
    survey.add(xyz, points);
  } else {
    survey.add(xyz, points);
    map_in_place(fit.mapping, xyz, points);
  }
}

// Test points from a point file, mapped chunk by chunk into the output file.
void stream_test_points(const Invocation& invocation, Inputs& inputs, const Fit& fit,
                        Prediction& prediction) {
  prediction.streamed_file = std::make_unique<StagedFile>(
      invocation.output_path, "the output file " + in_quotes(invocation.output_path));
  const bool from_stdin = !inputs.test_file;
  StagedFile& output = *prediction.streamed_file;
  prediction.points.streamed = true;
  prediction.points.output_path = invocation.output_path;
  TestPointSurvey survey(fit);
  SharedWork helper;
  prediction.points.count = map_point_stream(
      from_stdin ? std::cin : *inputs.test_file, from_stdin ? "standard input" : inputs.test.path,
      [&fit, &inputs, &survey, &prediction, &helper, mapped = std::size_t{0}](
          double* xyz, std::size_t points, const std::string_view* names,
          const std::size_t* lines) mutable {
        const StreamedChunk chunk{xyz, points, names, lines, mapped + 1};
        const std::vector<ConvertedPoint> converted = chunk_to_geocentric(inputs, helper, chunk);
        map_and_survey(inputs, fit, survey, xyz, points);
        const std::ptrdiff_t worst = survey.worst() - static_cast<std::ptrdiff_t>(mapped);
        if (worst >= 0) prediction.points.worst_name = names[worst];
        chunk_to_target_form(inputs, helper, chunk, converted);
        mapped += points;
      },
      [&output](std::string_view text) { output.write(text); }, kPointBlockBytes,
      point_fields(inputs.test_forms.source), point_fields(inputs.test_forms.target));
  warn_far_test_points(inputs);
  prediction.points.farthest = survey.farthest();
  prediction.points.model_error = survey.model_error();
  prediction.points.errors = spread_of(survey.errors());
}

// "模型预测结果: 3 points -> out.txt"
void print_count(std::size_t count, const std::string& output_path, const Trace& trace) {
  trace.out << kLabelPrediction << count << " points -> " << output_path << std::endl;
}

}  // namespace

// A piece of shared work: the failure of work(begin, ...), if it failed.
struct SharedWork::Failed {
  std::size_t begin = std::numeric_limits<std::size_t>::max();
  std::exception_ptr failure;
};

struct SharedWork::State {
  std::mutex mutex;
  std::condition_variable wake, finished;
  const Work* work = nullptr;  // set while the helper is to start on it
  std::size_t count = 0;
  std::atomic<std::size_t> next{0};  // the first point of the next piece to take
  Failed helper_failed;
  bool done = false, stopping = false;
};

SharedWork::SharedWork() : state_(std::make_unique<State>()) {}

SharedWork::~SharedWork() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->stopping = true;
  }
  state_->wake.notify_one();
  thread_.join();
}

void SharedWork::share(std::size_t count, const Work& work) {
  if (count <= kSharedPoints) {
    work(0, count);
    return;
  }
  if (!thread_.joinable()) {
    try {
      thread_ = std::thread([this] { serve(); });
    } catch (const std::system_error&) {  // no thread to be had: all on this one
      work(0, count);
      return;
    }
  }
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->work = &work;
    state_->count = count;
    state_->next = 0;
    state_->done = false;
  }
  state_->wake.notify_one();
  Failed own = take_pieces(count, work);
  std::unique_lock<std::mutex> lock(state_->mutex);
  state_->finished.wait(lock, [this] { return state_->done; });
  Failed& first = own.begin <= state_->helper_failed.begin ? own : state_->helper_failed;
  if (first.failure) std::rethrow_exception(std::exchange(first.failure, nullptr));
}

SharedWork::Failed SharedWork::take_pieces(std::size_t count, const Work& work) {
  for (;;) {
    const std::size_t begin = state_->next.fetch_add(kSharedPoints);
    if (begin >= count) return {};
    try {
      work(begin, std::min(begin + kSharedPoints, count));
    } catch (...) {
      return {begin, std::current_exception()};
    }
  }
}

void SharedWork::serve() {
  std::unique_lock<std::mutex> lock(state_->mutex);
  for (;;) {
    state_->wake.wait(lock, [this] { return state_->stopping || state_->work != nullptr; });
    if (state_->stopping) return;
    const Work& work = *std::exchange(state_->work, nullptr);
    const std::size_t count = state_->count;
    lock.unlock();
    Failed failed = take_pieces(count, work);
    lock.lock();
    state_->helper_failed = std::move(failed);
    state_->done = true;
    state_->finished.notify_one();
  }
}

std::vector<ConvertedPoint> chunk_to_geocentric(Inputs& inputs, SharedWork& helper,
                                                const StreamedChunk& chunk) {
  if (!inputs.forms.convert()) return {};
  std::vector<ConvertedPoint> converted(chunk.points);
  helper.share(chunk.points, [&inputs, &chunk, &converted](std::size_t begin, std::size_t end) {
    test_points_to_geocentric(inputs, chunk.part(begin, end), converted.data() + begin);
  });
  note_far_test_points(inputs, chunk, converted.data());
  return converted;
}

void chunk_to_target_form(const Inputs& inputs, SharedWork& helper, const StreamedChunk& chunk,
                          const std::vector<ConvertedPoint>& converted) {
  if (converted.empty()) return;
  helper.share(chunk.points, [&inputs, &chunk, &converted](std::size_t begin, std::size_t end) {
    mapped_points_to_target_form(inputs, chunk.part(begin, end), converted.data() + begin);
  });
}

void print_sigma0(std::ostream& out, double sigma0) {
  out << kLabelSigma0 << general_number(sigma0) << std::endl;
}

Prediction predict(const Invocation& invocation, Inputs& inputs, const Fit& fit, Trace& trace) {
  Prediction prediction;
  prediction.points.asked = !inputs.test_list.empty() || !inputs.test.path.empty();
  prediction.points.back = inputs.inverse_direction;
  if (!prediction.points.asked) return prediction;
  if (!inputs.test.path.empty()) {
    stream_test_points(invocation, inputs, fit, prediction);
    print_count(prediction.points.count, invocation.output_path, trace);
  } else {
    const PointMatrix given = point_matrix(inputs.test_list);
    prediction.points.mapped = inputs.inverse_direction ? map_points_back(fit.mapping, given)
                                                            : map_points(fit.mapping, given);
    prediction.joined = inputs.forms.convert()
                            ? joined_in_target_form(inputs, prediction.points.mapped)
                            : join_numbers(values_of(prediction.points.mapped));
    if (trace.brief) {
      print_count(static_cast<std::size_t>(prediction.points.mapped.rows()), invocation.output_path,
                  trace);
    } else {
      trace.out << kLabelPrediction << prediction.joined << std::endl;
    }
  }
  if (!trace.brief) print_precision(fit, trace);
  return prediction;
}

}  // namespace helmert7
