// Digests one file and reports the throughput: with FileDigest as the engine
// does, or, given a read size, with reads of that many bytes.
// Usage: md5_bench FILE [READ_SIZE]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <vector>

#include "support/md5.h"

namespace {

// The engine's digest loop with another read size.
vx::Md5Digest DigestWithReads(vx::FileSystem& fs, const char* path, std::size_t readSize) {
  std::string error;
  const auto file = fs.OpenForRead(path, vx::Sharing::None, error);
  if (!file) throw std::runtime_error(error);
  vx::Md5Context context;
  vx::DigestInit(context);
  std::vector<uint8_t> buffer(readSize);
  for (;;) {
    const int64_t got = file->Read(buffer.data(), buffer.size());
    if (got <= 0) break;
    vx::DigestUpdate(context, buffer.data(), static_cast<std::size_t>(got));
  }
  return vx::DigestFinal(context);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: md5_bench FILE [READ_SIZE]\n");
    return 2;
  }
  try {
    vx::FileSystem& fs = vx::Files();
    const std::size_t readSize = argc == 3 ? std::strtoul(argv[2], nullptr, 10) : 0;
    const auto start = std::chrono::steady_clock::now();
    const vx::Md5Digest digest =
        readSize > 0 ? DigestWithReads(fs, argv[1], readSize) : vx::FileDigest(fs, argv[1]);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::string error;
    const auto file = fs.OpenForRead(argv[1], vx::Sharing::Read, error);
    const double mib = file ? static_cast<double>(file->Size()) / (1024.0 * 1024.0) : 0.0;
    std::printf("%s %.3f s %.1f MiB/s\n", vx::DigestToHex(digest).c_str(), elapsed.count(),
                mib / elapsed.count());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
