// Test double of the console: records what is written and answers from a script.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Console.h"

namespace vx::test {

class ScriptedConsole : public ConsoleStreams {
 public:
  std::string out;
  std::string err;  // what went to standard error
  bool terminal = false;  // whether it plays a terminal
  int flushes = 0;
  int flushesBeforeRead = 0;  // reads that found the prompt flushed

  void Script(std::vector<std::string> lines) {
    lines_ = std::move(lines);
    next_ = 0;
    flushesBeforeRead = 0;
  }
  std::size_t Remaining() const { return lines_.size() - next_; }

  void Write(const std::string& bytes) override {
    out += bytes;
    unflushed_ = true;
  }
  void WriteError(const std::string& bytes) override { err += bytes; }
  void Flush() override {
    ++flushes;
    unflushed_ = false;
  }
  bool IsTerminal() override { return terminal; }
  void ShowStatus(const std::string& text) override { status = text; }
  void EraseStatus() override { status.clear(); }
  std::string status;  // the status line shown, if any
  bool ReadLine(std::string& line) override {
    if (!unflushed_) ++flushesBeforeRead;
    if (next_ >= lines_.size()) return false;
    line = lines_[next_++];
    return true;
  }

 private:
  std::vector<std::string> lines_;
  std::size_t next_ = 0;
  bool unflushed_ = false;
};

// Fixture base that installs a scripted console for each test.
class WithScriptedConsole : public ::testing::Test {
 protected:
  void SetUp() override { SetConsole(&console); }
  void TearDown() override { SetConsole(nullptr); }
  ScriptedConsole console;
};

}  // namespace vx::test
