// Sets an environment variable for the length of a test and puts the old
// value back. An empty value stands for an unset variable where it matters.
#pragma once

#include <cstdlib>
#include <list>
#include <string>

namespace vx::test {

class ScopedEnv {
 public:
  ScopedEnv(const std::string& name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name.c_str());
    old_ = old ? old : "";
    Put(value);
  }
  ~ScopedEnv() { Put(old_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  // putenv keeps the pointer it is given, so every assignment stays alive.
  void Put(const std::string& value) {
    static std::list<std::string> assignments;
    assignments.push_back(name_ + "=" + value);
    putenv(&assignments.back()[0]);
  }

  std::string name_;
  std::string old_;
};

}  // namespace vx::test
