#include "tests/unit/Recorder.h"

#include <cstring>

namespace vx::test {

namespace {

Recorder current;

void VX_STDCALL ShowError(const char* text) { current.errors.push_back(text); }
void VX_STDCALL SignalState(int32_t state) { current.states.push_back(state); }
void VX_STDCALL ShowFile(const char* text) { current.files.push_back(text); }
void VX_STDCALL ShowTotal(int32_t count) { current.totals.push_back(count); }
void VX_STDCALL ShowReport(int32_t kind, const char* text, void*) {
  current.reports.emplace_back(kind, text);
}
void VX_STDCALL ShowProgress(const char* path, int64_t done, int64_t total, int32_t phase, void*) {
  current.progress.push_back({path, done, total, phase});
}
int32_t VX_STDCALL AskUser(int32_t question, const char* text) {
  current.questions.emplace_back(question, text ? text : "");
  if (current.answers.empty()) return AnswerCancel;
  const int32_t answer = current.answers.front();
  current.answers.pop_front();
  return answer;
}

}  // namespace

Recorder& Recorder::Current() { return current; }

Callbacks Recorder::All() {
  current = Recorder();
  Callbacks callbacks;
  callbacks.showError = ShowError;
  callbacks.signalState = SignalState;
  callbacks.showFile = ShowFile;
  callbacks.askUser = AskUser;
  callbacks.showTotal = ShowTotal;
  callbacks.showReport = ShowReport;
  return callbacks;
}

ShowProgressProc Recorder::ProgressCallback() { return ShowProgress; }

CopyRec MakeOptions(const std::string& source, const std::string& destination) {
  CopyRec options;
  std::memset(&options, 0, sizeof options);
  std::strncpy(options.Source, source.c_str(), kMaxTextLength);
  std::strncpy(options.Destination, destination.c_str(), kMaxTextLength);
  options.NoDateFilter = 1;
  options.NoSizeFilter = 1;
  options.LogMode = 1;
  options.LogLines = -1;
  return options;
}

}  // namespace vx::test
