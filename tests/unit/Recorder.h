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

  // The one recorder the callbacks write to; reset for every test.
  static Recorder& Current();
  static Callbacks All();
};

// A record as the parser leaves it for "source destination" and no switch.
CopyRec MakeOptions(const std::string& source, const std::string& destination);

}  // namespace vx::test
