// The top-level handler: the only place that catches an unexpected failure.
#include <cstdio>
#include <exception>

#include "Console.h"
#include "core/Error.h"
#include "platform/Host.h"

namespace vx {

namespace {

// Where a failure arose, as module file name and offset; a failure that
// carries no address is placed in the handler's own module.
void LocateFailure(const void* address, std::string& module, std::uintptr_t& offset) {
  if (host::DescribeCodeAddress(address, module, offset)) return;
  offset = 0;
  if (!host::DescribeCodeAddress(reinterpret_cast<const void*>(&RunReportingFailures), module, offset))
    module = "?";
  offset = 0;
}

int ReportFailure(const std::string& kind, const void* address, const std::string& message) {
  try {
    Console().EraseStatus();
    host::FlushStdout();
  } catch (...) {
    // Standard output is already broken; the report goes to standard error anyway.
  }
  std::string module;
  std::uintptr_t offset = 0;
  LocateFailure(address, module, offset);
  host::WriteStderr(host::AnsiToOem(FailureReport(kind, module, offset, message)));
  return 1;
}

}  // namespace

std::string FailureReport(const std::string& kind, const std::string& module,
                          std::uintptr_t offset, const std::string& message) {
  char address[32];
  std::snprintf(address, sizeof address, "%08llX", static_cast<unsigned long long>(offset));
  const bool needsStop = !message.empty() && message.back() != '.';
  const std::string lineEnd = host::ConsoleLineEnd();
  return "Exception " + kind + " dans le module " + module + " dans " + address + "." + lineEnd +
         message + (needsStop ? "." : "") + lineEnd + lineEnd;
}

int RunReportingFailures(int (*body)()) {
  try {
    const int code = body();
    host::FlushStdout();
    return code;
  } catch (const VeltrixError& failure) {
    return ReportFailure(failure.kind(), failure.address(), failure.what());
  } catch (const std::exception& failure) {
    return ReportFailure("Exception", nullptr, failure.what());
  } catch (...) {
    return ReportFailure("Exception", nullptr, std::string());
  }
}

}  // namespace vx
