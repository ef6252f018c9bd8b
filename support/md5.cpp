// MD5 (RFC 1321). The transform is unrolled and reads its words straight
// from the input: it is the cost of every verified copy.
#include "support/md5.h"

#include <cstring>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>

#include "core/Error.h"

namespace vx {

namespace {

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
inline uint32_t LoadWord(const uint8_t* p) {
  uint32_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}
#else
inline uint32_t LoadWord(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
#endif

inline void StoreWord(uint8_t* p, uint32_t word) {
  p[0] = uint8_t(word);
  p[1] = uint8_t(word >> 8);
  p[2] = uint8_t(word >> 16);
  p[3] = uint8_t(word >> 24);
}

inline uint32_t Rotate(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// The four auxiliary functions, in forms that need the fewest operations.
inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return z ^ (x & (y ^ z)); }
// (x & z) and (y & ~z) share no bit, so G's OR is a sum: the part that does
// not wait for the previous step's result is added first.
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return (y & ~z) + (x & z); }
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
inline uint32_t I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

// The word and constant are added first: they do not wait for the previous step.
#define VX_MD5_STEP(f, a, b, c, d, k, s, t)    \
  a += LoadWord(block + 4 * (k)) + (t);       \
  a += f(b, c, d);                            \
  a = Rotate(a, s) + b

// Advances state over `blocks` consecutive 64-byte blocks. Words are loaded
// where they are used, so no decoded copy of a block is left behind.
void Transform(uint32_t state[4], const uint8_t* block, std::size_t blocks) {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; blocks > 0; --blocks, block += 64) {
    const uint32_t a0 = a, b0 = b, c0 = c, d0 = d;

    VX_MD5_STEP(F, a, b, c, d, 0, 7, 0xd76aa478);
    VX_MD5_STEP(F, d, a, b, c, 1, 12, 0xe8c7b756);
    VX_MD5_STEP(F, c, d, a, b, 2, 17, 0x242070db);
    VX_MD5_STEP(F, b, c, d, a, 3, 22, 0xc1bdceee);
    VX_MD5_STEP(F, a, b, c, d, 4, 7, 0xf57c0faf);
    VX_MD5_STEP(F, d, a, b, c, 5, 12, 0x4787c62a);
    VX_MD5_STEP(F, c, d, a, b, 6, 17, 0xa8304613);
    VX_MD5_STEP(F, b, c, d, a, 7, 22, 0xfd469501);
    VX_MD5_STEP(F, a, b, c, d, 8, 7, 0x698098d8);
    VX_MD5_STEP(F, d, a, b, c, 9, 12, 0x8b44f7af);
    VX_MD5_STEP(F, c, d, a, b, 10, 17, 0xffff5bb1);
    VX_MD5_STEP(F, b, c, d, a, 11, 22, 0x895cd7be);
    VX_MD5_STEP(F, a, b, c, d, 12, 7, 0x6b901122);
    VX_MD5_STEP(F, d, a, b, c, 13, 12, 0xfd987193);
    VX_MD5_STEP(F, c, d, a, b, 14, 17, 0xa679438e);
    VX_MD5_STEP(F, b, c, d, a, 15, 22, 0x49b40821);

    VX_MD5_STEP(G, a, b, c, d, 1, 5, 0xf61e2562);
    VX_MD5_STEP(G, d, a, b, c, 6, 9, 0xc040b340);
    VX_MD5_STEP(G, c, d, a, b, 11, 14, 0x265e5a51);
    VX_MD5_STEP(G, b, c, d, a, 0, 20, 0xe9b6c7aa);
    VX_MD5_STEP(G, a, b, c, d, 5, 5, 0xd62f105d);
    VX_MD5_STEP(G, d, a, b, c, 10, 9, 0x02441453);
    VX_MD5_STEP(G, c, d, a, b, 15, 14, 0xd8a1e681);
    VX_MD5_STEP(G, b, c, d, a, 4, 20, 0xe7d3fbc8);
    VX_MD5_STEP(G, a, b, c, d, 9, 5, 0x21e1cde6);
    VX_MD5_STEP(G, d, a, b, c, 14, 9, 0xc33707d6);
    VX_MD5_STEP(G, c, d, a, b, 3, 14, 0xf4d50d87);
    VX_MD5_STEP(G, b, c, d, a, 8, 20, 0x455a14ed);
    VX_MD5_STEP(G, a, b, c, d, 13, 5, 0xa9e3e905);
    VX_MD5_STEP(G, d, a, b, c, 2, 9, 0xfcefa3f8);
    VX_MD5_STEP(G, c, d, a, b, 7, 14, 0x676f02d9);
    VX_MD5_STEP(G, b, c, d, a, 12, 20, 0x8d2a4c8a);

    VX_MD5_STEP(H, a, b, c, d, 5, 4, 0xfffa3942);
    VX_MD5_STEP(H, d, a, b, c, 8, 11, 0x8771f681);
    VX_MD5_STEP(H, c, d, a, b, 11, 16, 0x6d9d6122);
    VX_MD5_STEP(H, b, c, d, a, 14, 23, 0xfde5380c);
    VX_MD5_STEP(H, a, b, c, d, 1, 4, 0xa4beea44);
    VX_MD5_STEP(H, d, a, b, c, 4, 11, 0x4bdecfa9);
    VX_MD5_STEP(H, c, d, a, b, 7, 16, 0xf6bb4b60);
    VX_MD5_STEP(H, b, c, d, a, 10, 23, 0xbebfbc70);
    VX_MD5_STEP(H, a, b, c, d, 13, 4, 0x289b7ec6);
    VX_MD5_STEP(H, d, a, b, c, 0, 11, 0xeaa127fa);
    VX_MD5_STEP(H, c, d, a, b, 3, 16, 0xd4ef3085);
    VX_MD5_STEP(H, b, c, d, a, 6, 23, 0x04881d05);
    VX_MD5_STEP(H, a, b, c, d, 9, 4, 0xd9d4d039);
    VX_MD5_STEP(H, d, a, b, c, 12, 11, 0xe6db99e5);
    VX_MD5_STEP(H, c, d, a, b, 15, 16, 0x1fa27cf8);
    VX_MD5_STEP(H, b, c, d, a, 2, 23, 0xc4ac5665);

    VX_MD5_STEP(I, a, b, c, d, 0, 6, 0xf4292244);
    VX_MD5_STEP(I, d, a, b, c, 7, 10, 0x432aff97);
    VX_MD5_STEP(I, c, d, a, b, 14, 15, 0xab9423a7);
    VX_MD5_STEP(I, b, c, d, a, 5, 21, 0xfc93a039);
    VX_MD5_STEP(I, a, b, c, d, 12, 6, 0x655b59c3);
    VX_MD5_STEP(I, d, a, b, c, 3, 10, 0x8f0ccc92);
    VX_MD5_STEP(I, c, d, a, b, 10, 15, 0xffeff47d);
    VX_MD5_STEP(I, b, c, d, a, 1, 21, 0x85845dd1);
    VX_MD5_STEP(I, a, b, c, d, 8, 6, 0x6fa87e4f);
    VX_MD5_STEP(I, d, a, b, c, 15, 10, 0xfe2ce6e0);
    VX_MD5_STEP(I, c, d, a, b, 6, 15, 0xa3014314);
    VX_MD5_STEP(I, b, c, d, a, 13, 21, 0x4e0811a1);
    VX_MD5_STEP(I, a, b, c, d, 4, 6, 0xf7537e82);
    VX_MD5_STEP(I, d, a, b, c, 11, 10, 0xbd3af235);
    VX_MD5_STEP(I, c, d, a, b, 2, 15, 0x2ad7d2bb);
    VX_MD5_STEP(I, b, c, d, a, 9, 21, 0xeb86d391);

    a += a0;
    b += b0;
    c += c0;
    d += d0;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

#undef VX_MD5_STEP

// Puts the stream back where it was, also when the digest is left by a failure.
class PositionGuard {
 public:
  PositionGuard(InputFile& stream, int64_t position) : stream_(stream), position_(position) {}
  ~PositionGuard() { stream_.Seek(position_); }
  PositionGuard(const PositionGuard&) = delete;
  PositionGuard& operator=(const PositionGuard&) = delete;

 private:
  InputFile& stream_;
  int64_t position_;
};

}  // namespace

void DigestInit(Md5Context& context) {
  context.state[0] = 0x67452301;
  context.state[1] = 0xefcdab89;
  context.state[2] = 0x98badcfe;
  context.state[3] = 0x10325476;
  context.count[0] = context.count[1] = 0;
  std::memset(context.buffer, 0, sizeof context.buffer);
}

void DigestUpdate(Md5Context& context, const void* data, std::size_t length) {
  const uint8_t* input = static_cast<const uint8_t*>(data);
  std::size_t used = (context.count[0] >> 3) & 63;

  // The bit count is 64 bits in two words; the length may exceed 32 bits too.
  const uint64_t bits = (uint64_t(context.count[1]) << 32 | context.count[0]) + uint64_t(length) * 8;
  context.count[0] = uint32_t(bits);
  context.count[1] = uint32_t(bits >> 32);

  if (used > 0) {
    const std::size_t room = 64 - used;
    if (length < room) {
      std::memcpy(context.buffer + used, input, length);
      return;
    }
    std::memcpy(context.buffer + used, input, room);
    Transform(context.state, context.buffer, 1);
    input += room;
    length -= room;
  }
  const std::size_t whole = length / 64;
  if (whole > 0) Transform(context.state, input, whole);
  input += whole * 64;
  length -= whole * 64;
  if (length > 0) std::memcpy(context.buffer, input, length);
}

Md5Digest DigestFinal(Md5Context& context) {
  uint8_t lengthBytes[8];
  StoreWord(lengthBytes, context.count[0]);
  StoreWord(lengthBytes + 4, context.count[1]);

  // Pad to 56 bytes modulo 64: one 0x80 byte, then zeros, then the length.
  static const uint8_t kPadding[64] = {0x80};
  const std::size_t used = (context.count[0] >> 3) & 63;
  const std::size_t padLength = used < 56 ? 56 - used : 120 - used;
  DigestUpdate(context, kPadding, padLength);
  DigestUpdate(context, lengthBytes, sizeof lengthBytes);

  Md5Digest digest;
  for (int i = 0; i < 4; ++i) StoreWord(digest.bytes + 4 * i, context.state[i]);
  std::memset(&context, 0, sizeof context);
  return digest;
}

namespace {

// Where the size is known, the digest stops there even if the file grows.
Md5Digest DigestOfSize(InputFile& stream, const ErrorOr<int64_t>& size,
                       const std::function<void(int64_t)>& progress = {}) {
  Md5Context context;
  DigestInit(context);
  PositionGuard guard(stream, stream.Position());
  stream.Seek(0);

  // One page on the stack: the digest is a leaf of the walk, and a verified
  // copy of many small files allocates nothing for it.
  static_assert(kDigestReadSize <= 65536, "the read buffer lives on the stack");
  alignas(64) uint8_t block[kDigestReadSize];
  int64_t total = 0;
  for (;;) {
    // A failed read ends the digest with what was read before it.
    const ErrorOr<std::size_t> got = stream.Read(block, kDigestReadSize);
    if (!got || *got == 0) break;
    total += static_cast<int64_t>(*got);
    DigestUpdate(context, block, *got);
    // Every 16 reads: the digest is told often enough, the host not too often.
    if (progress && (total & ((int64_t{kDigestReadSize} << 4) - 1)) < static_cast<int64_t>(*got))
      progress(total);
    if (size && total == *size) break;
  }
  return DigestFinal(context);
}

}  // namespace

Md5Digest StreamDigest(InputFile& stream) { return DigestOfSize(stream, stream.Size()); }

void StreamDigests(InputFile& first, InputFile& second, Md5Digest& firstDigest,
                   Md5Digest& secondDigest, const std::function<void(int64_t)>& progress) {
  const ErrorOr<int64_t> firstSize = first.Size(), secondSize = second.Size();
  const bool large = (firstSize && *firstSize >= kDigestBothAtOnce) ||
                     (secondSize && *secondSize >= kDigestBothAtOnce);
  std::exception_ptr secondFailure;
  std::thread other;
  if (large) {
    try {
      other = std::thread([&] {
        try {
          secondDigest = DigestOfSize(second, secondSize);
        } catch (...) {
          secondFailure = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      // No thread to be had: one after the other.
    }
  }
  std::exception_ptr firstFailure;
  try {
    firstDigest = DigestOfSize(first, firstSize, progress);
  } catch (...) {
    firstFailure = std::current_exception();
  }
  if (other.joinable()) {
    other.join();
  } else if (!firstFailure) {
    secondDigest = DigestOfSize(second, secondSize);
  }
  if (firstFailure) std::rethrow_exception(firstFailure);
  if (secondFailure) std::rethrow_exception(secondFailure);
}

std::unique_ptr<InputFile> OpenForDigest(FileSystem& fs, const Folder& folder,
                                         std::string_view name, const std::string& path) {
  return OpenForDigest(fs.OpenForRead(folder, name, Sharing::None), path);
}

std::unique_ptr<InputFile> OpenForDigest(ErrorOr<std::unique_ptr<InputFile>> file,
                                         const std::string& path) {
  if (!file) {
    VX_RAISE("EFOpen", Utf8ToAnsi("Impossible d'ouvrir le fichier \"") + path + "\". " +
                           file.error().message());
  }
  return std::move(*file);
}

Md5Digest FileDigest(FileSystem& fs, const Folder& folder, std::string_view name,
                     const std::string& path) {
  return StreamDigest(*OpenForDigest(fs, folder, name, path));
}

std::string DigestToHex(const Md5Digest& digest) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(32);
  for (uint8_t byte : digest.bytes) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

bool DigestsEqual(const Md5Digest& a, const Md5Digest& b) {
  return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}

}  // namespace vx
