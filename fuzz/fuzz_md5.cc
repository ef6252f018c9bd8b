// MD5 digests: the message cut into random chunks through DigestUpdate, in
// one piece, and read as a stream with short and failing reads, against a
// plain reference written from RFC 1321. The first 8 input bytes steer the
// chunking and the stream; the rest is the message.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fuzz/FuzzFiles.h"
#include "support/md5.h"

namespace {

using vx::fuzz::Check;

// ---- Reference: the RFC's loop, one block at a time ---------------------------

uint32_t RotateLeft(uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

std::vector<uint8_t> ReferenceMd5(const uint8_t* data, std::size_t size) {
  static const unsigned kShifts[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                       5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                       4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                       6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
  uint32_t k[64];
  for (int i = 0; i < 64; ++i)
    k[i] = static_cast<uint32_t>(std::floor(std::fabs(std::sin(i + 1.0)) * 4294967296.0));

  std::vector<uint8_t> message(data, data + size);
  message.push_back(0x80);
  while (message.size() % 64 != 56) message.push_back(0);
  const uint64_t bits = static_cast<uint64_t>(size) * 8;
  for (int i = 0; i < 8; ++i) message.push_back(static_cast<uint8_t>(bits >> (8 * i)));

  uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  for (std::size_t block = 0; block < message.size(); block += 64) {
    uint32_t w[16];
    for (int i = 0; i < 16; ++i) {
      const uint8_t* p = &message[block + 4 * i];
      w[i] = p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
    }
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
    for (int i = 0; i < 64; ++i) {
      uint32_t f;
      int g;
      if (i < 16) f = (b & c) | (~b & d), g = i;
      else if (i < 32) f = (d & b) | (~d & c), g = (5 * i + 1) % 16;
      else if (i < 48) f = b ^ c ^ d, g = (3 * i + 5) % 16;
      else f = c ^ (b | ~d), g = (7 * i) % 16;
      const uint32_t rotated = RotateLeft(a + f + k[i] + w[g], kShifts[i]);
      a = d;
      d = c;
      c = b;
      b = b + rotated;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d;
  }
  std::vector<uint8_t> digest;
  for (uint32_t word : h)
    for (int i = 0; i < 4; ++i) digest.push_back(static_cast<uint8_t>(word >> (8 * i)));
  return digest;
}

bool Same(const vx::Md5Digest& digest, const std::vector<uint8_t>& reference) {
  return std::memcmp(digest.bytes, reference.data(), 16) == 0;
}

// ---- A stream in memory whose reads come short and may fail -----------------------

class MemoryFile : public vx::InputFile {
 public:
  MemoryFile(const uint8_t* data, std::size_t size, std::minstd_rand& random, int64_t failAt)
      : data_(data), size_(static_cast<int64_t>(size)), random_(random), failAt_(failAt) {}

  vx::ErrorOr<int64_t> Size() override { return size_; }
  int64_t Position() override { return position_; }
  std::error_code Seek(int64_t position) override {
    if (position < 0 || position > size_) return std::make_error_code(std::errc::invalid_argument);
    position_ = position;
    return {};
  }
  vx::ErrorOr<std::size_t> Read(void* buffer, std::size_t count) override {
    if (failAt_ >= 0 && position_ >= failAt_) return std::make_error_code(std::errc::io_error);
    int64_t n = std::min<int64_t>(static_cast<int64_t>(count), size_ - position_);
    if (n > 1) n = 1 + static_cast<int64_t>(random_() % static_cast<uint64_t>(n));
    if (failAt_ >= 0) n = std::min(n, std::max<int64_t>(failAt_ - position_, 0));
    std::memcpy(buffer, data_ + position_, static_cast<std::size_t>(n));
    position_ += n;
    return static_cast<std::size_t>(n);
  }

 private:
  const uint8_t* data_;
  int64_t size_;
  int64_t position_ = 0;
  std::minstd_rand& random_;
  int64_t failAt_;
};

uint64_t SeedOf(const uint8_t* data) {
  uint64_t seed = 0;
  for (int i = 0; i < 8; ++i) seed = seed << 8 | data[i];
  return seed;
}

// Chunk lengths around the 64-byte block edges, now and then a large one.
std::size_t ChunkLength(std::minstd_rand& random, std::size_t left) {
  static const std::size_t kLimits[] = {1, 3, 63, 64, 65, 129, 1000, 70000};
  const std::size_t limit = kLimits[random() % 8];
  return std::min(left, static_cast<std::size_t>(random() % (limit + 1)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  std::minstd_rand random(static_cast<std::minstd_rand::result_type>(SeedOf(data) | 1));
  const uint8_t* message = data + 8;
  const std::size_t length = size - 8;
  const std::vector<uint8_t> reference = ReferenceMd5(message, length);

  vx::Md5Context whole;
  vx::DigestInit(whole);
  vx::DigestUpdate(whole, message, length);
  Check(Same(vx::DigestFinal(whole), reference), "one-shot digest differs from the reference");

  vx::Md5Context chunked;
  vx::DigestInit(chunked);
  for (std::size_t done = 0; done < length;) {
    const std::size_t n = ChunkLength(random, length - done);
    vx::DigestUpdate(chunked, message + done, n);
    done += n;
  }
  const vx::Md5Digest digest = vx::DigestFinal(chunked);
  Check(Same(digest, reference), "chunked digest differs from the reference");
  const std::string hex = vx::DigestToHex(digest);
  Check(hex.size() == 32 && hex.find_first_not_of("0123456789ABCDEF") == std::string::npos,
        "digest text is not 32 hexadecimal digits");

  // A stream read in short pieces from wherever it stood.
  const int64_t start = length ? static_cast<int64_t>(random() % (length + 1)) : 0;
  MemoryFile stream(message, length, random, -1);
  stream.Seek(start);
  Check(Same(vx::StreamDigest(stream), reference), "stream digest differs from the reference");
  Check(stream.Position() == start, "stream position not restored");

  // A read error ends the digest with what came before it.
  const int64_t failAt = length ? static_cast<int64_t>(random() % length) : 0;
  MemoryFile failing(message, length, random, failAt);
  failing.Seek(start);
  Check(Same(vx::StreamDigest(failing), ReferenceMd5(message, static_cast<std::size_t>(failAt))),
        "digest after a read error differs from the digest of what was read");
  Check(failing.Position() == start, "position not restored after a read error");
  return 0;
}
