// The names of temporary files: the same pattern on every platform.
#include <random>

#include "platform/Platform.h"

namespace vx {

namespace {
constexpr char kTemporaryAlphabet[] = "abcdefghijklmnopqrstuvwxyz234567";  // base 32
}  // namespace

bool IsTemporaryName(std::string_view name) {
  const std::size_t prefix = sizeof kTemporaryPrefix - 1, suffix = sizeof kTemporarySuffix - 1;
  if (name.size() != prefix + kTemporaryRandomLength + suffix) return false;
  if (name.substr(0, prefix) != kTemporaryPrefix || name.substr(name.size() - suffix) != kTemporarySuffix)
    return false;
  const std::string_view random = name.substr(prefix, kTemporaryRandomLength);
  return random.find_first_not_of(kTemporaryAlphabet) == std::string_view::npos;
}

std::string NewTemporaryName() {
  // Seeded once from the system's entropy source: names differ between runs
  // and between the programs that write into one folder at once.
  static std::mt19937_64 generator = [] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device()};
    return std::mt19937_64(seed);
  }();
  std::string name = kTemporaryPrefix;
  uint64_t bits = generator();
  for (std::size_t i = 0; i < kTemporaryRandomLength; ++i, bits >>= 5)
    name += kTemporaryAlphabet[bits & 31];
  name += kTemporarySuffix;
  return name;
}

}  // namespace vx
