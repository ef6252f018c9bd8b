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
vx::Md5Digest DigestWithReads(vx::FileSystem& fs, const vx::Folder& folder, const std::string& name,
                              std::size_t readSize) {
  auto file = fs.OpenForRead(folder, name, vx::Sharing::None);
  if (!file) throw std::runtime_error(file.error().message());
  vx::Md5Context context;
  vx::DigestInit(context);
  std::vector<uint8_t> buffer(readSize);
  for (;;) {
    const auto got = (*file)->Read(buffer.data(), buffer.size());
    if (!got || *got == 0) break;
    vx::DigestUpdate(context, buffer.data(), *got);
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
    vx::NativeFileSystem fs;
    const std::string path = argv[1];
    const std::size_t cut = vx::FolderPartLength(path);
    auto folder = fs.OpenRoot(cut == 0 ? std::string(".") : path.substr(0, cut));
    if (!folder) throw std::runtime_error(folder.error().message());
    const std::string name = path.substr(cut);
    const std::size_t readSize = argc == 3 ? std::strtoul(argv[2], nullptr, 10) : 0;
    const auto start = std::chrono::steady_clock::now();
    const vx::Md5Digest digest = readSize > 0 ? DigestWithReads(fs, *folder, name, readSize)
                                              : vx::FileDigest(fs, *folder, name, path);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    auto file = fs.OpenForRead(*folder, name, vx::Sharing::Read);
    const auto size = file ? (*file)->Size() : vx::ErrorOr<int64_t>(file.error());
    const double mib = size ? static_cast<double>(*size) / (1024.0 * 1024.0) : 0.0;
    std::printf("%s %.3f s %.1f MiB/s\n", vx::DigestToHex(digest).c_str(), elapsed.count(),
                mib / elapsed.count());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
