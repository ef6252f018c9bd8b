// Callbacks for tests: they record what the engine tells its host and answer
// questions from a script.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "core/HolyCoreUnit.h"

namespace vx::test {

struct Recorder {
  std::vector<std::string> errors, files;
  std::vector<int32_t> states, totals;
  std::vector<std::pair<int32_t, std::string>> questions;
  std::deque<int32_t> answers;  // AnswerCancel once exhausted
  std::vector<std::pair<int32_t, std::string>> reports;  // ShowReport's kind and text
  struct Progress {
    std::string path;
    int64_t done, total;
    int32_t phase;
  };
  std::vector<Progress> progress;  // when asked for (ShowProgress)

  // The one recorder the callbacks write to; reset for every test.
  static Recorder& Current();
  static Callbacks All();
  static ShowProgressProc ProgressCallback();
};

// A record as the parser leaves it for "source destination" and no switch.
CopyRec MakeOptions(const std::string& source, const std::string& destination);

}  // namespace vx::test
