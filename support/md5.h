// MD5 digests (RFC 1321) of byte areas, streams and files.
#pragma once

#include <cstddef>
#include <cstdint>
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
// Digest of the file name in folder, opened with no sharing; path names it
// in the message "Impossible d'ouvrir le fichier ..." raised when it cannot be opened.
Md5Digest FileDigest(FileSystem& fs, const Folder& folder, std::string_view name,
                     const std::string& path);
std::string DigestToHex(const Md5Digest& digest);
bool DigestsEqual(const Md5Digest& a, const Md5Digest& b);

}  // namespace vx
