// MD5 digests (RFC 1321) of byte areas, streams and files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Platform.h"

namespace vx {

// Bytes asked for by each read of StreamDigest: one page, as the digest's
// definition reads. Measured with bench/md5_bench.sh, the digest still runs
// at about 0.95 times md5sum's throughput with it (1.1 times with 64 KiB).
constexpr std::size_t kDigestReadSize = 4096;

struct Md5Digest {
  uint8_t bytes[16];
};

struct Md5Context {
  uint32_t state[4];
  uint32_t count[2];  // message length in bits, low word first
  uint8_t buffer[64];
};

void DigestInit(Md5Context& context);
void DigestUpdate(Md5Context& context, const void* data, std::size_t length);
Md5Digest DigestFinal(Md5Context& context);
// Digest of the whole stream; its position is restored afterwards.
Md5Digest StreamDigest(InputFile& stream);
// The digests of two streams, each read as StreamDigest reads it. Where one
// of them is large (kDigestBothAtOnce bytes or more), both are read at once,
// the second on a thread of its own, so that a verified copy reads its two
// files on two cores. What either raises is raised here, the first's first.
constexpr int64_t kDigestBothAtOnce = int64_t{1} << 20;
// progress, where given, is told the bytes of first read so far, on the
// caller's thread.
void StreamDigests(InputFile& first, InputFile& second, Md5Digest& firstDigest,
                   Md5Digest& secondDigest,
                   const std::function<void(int64_t)>& progress = std::function<void(int64_t)>());
// The file name in folder, opened for its digest with no sharing; path
// names it in the message "Impossible d'ouvrir le fichier ..." raised when it
// cannot be opened.
std::unique_ptr<InputFile> OpenForDigest(FileSystem& fs, const Folder& folder,
                                         std::string_view name, const std::string& path);
// The same for a file opened already (or the error that kept it from being opened).
std::unique_ptr<InputFile> OpenForDigest(ErrorOr<std::unique_ptr<InputFile>> file,
                                         const std::string& path);
// Digest of that file.
Md5Digest FileDigest(FileSystem& fs, const Folder& folder, std::string_view name,
                     const std::string& path);
std::string DigestToHex(const Md5Digest& digest);
bool DigestsEqual(const Md5Digest& a, const Md5Digest& b);

}  // namespace vx
