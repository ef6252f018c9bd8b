// Digests one file with FileDigest and reports the throughput.
// Usage: md5_bench FILE
#include <chrono>
#include <cstdio>
#include <exception>

#include "support/md5.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: md5_bench FILE\n");
    return 2;
  }
  try {
    vx::FileSystem& fs = vx::Files();
    const auto start = std::chrono::steady_clock::now();
    const vx::Md5Digest digest = vx::FileDigest(fs, argv[1]);
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
