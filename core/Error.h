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

// Raises a VeltrixError that records the caller's code address.
#define VX_RAISE(kind, message) \
  throw ::vx::VeltrixError((kind), (message), __builtin_return_address(0))

}  // namespace vx
