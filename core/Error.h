// The one exception type of the system: an unexpected failure carrying its
// French message. Only the program's top-level handler catches it.
#pragma once

#include <stdexcept>
#include <string>

namespace vx {

class VeltrixError : public std::runtime_error {
 public:
  // kind names the sort of failure in the report ("EConversion", "EEntreeSortie", ...);
  // address is where it was raised, for the report's module and offset.
  VeltrixError(std::string kind, const std::string& message, const void* address = nullptr)
      : std::runtime_error(message), kind_(std::move(kind)), address_(address) {}
  const std::string& kind() const { return kind_; }
  const void* address() const { return address_; }

 private:
  std::string kind_;
  const void* address_;
};

// An address inside the code that raises: a call that is never inlined
// returns into the raising function (or whatever it was inlined into), so
// the report names the module that holds that code, not its caller's. Each
// module keeps its own hidden copy.
[[gnu::noinline]] inline const void* RaisingAddress() { return __builtin_return_address(0); }

// Raises a VeltrixError that records where it was raised.
#define VX_RAISE(kind, message) \
  throw ::vx::VeltrixError((kind), (message), ::vx::RaisingAddress())

}  // namespace vx
