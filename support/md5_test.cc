#include "support/md5.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include "core/Error.h"
#include "tests/unit/PathFiles.h"
#include "tests/unit/TempDir.h"

namespace vx {
namespace {

std::string HexOf(const std::string& bytes) {
  Md5Context context;
  DigestInit(context);
  DigestUpdate(context, bytes.data(), bytes.size());
  return DigestToHex(DigestFinal(context));
}

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// md5sum's digest of a file in uppercase, or nullopt where md5sum cannot run
// (the Windows build under Wine).
std::optional<std::string> Md5sumOf(const std::string& path) {
  static bool unavailable = false;  // each failed start costs a shell under Wine
  if (unavailable) return std::nullopt;
  const std::string out = path + ".md5sum";
  const std::string command = "md5sum '" + path + "' > '" + out + "' 2>/dev/null";
  if (std::system(command.c_str()) != 0) {
    unavailable = true;
    return std::nullopt;
  }
  std::ifstream in(out);
  std::string hex;
  in >> hex;
  std::filesystem::remove(out);
  if (hex.size() != 32) return std::nullopt;
  for (char& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return hex;
}

TEST(Md5, Rfc1321SuiteInUppercaseHex) {
  EXPECT_EQ(HexOf(""), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(HexOf("a"), "0CC175B9C0F1B6A831C399E269772661");
  EXPECT_EQ(HexOf("abc"), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(HexOf("message digest"), "F96B697D7CB7938D525A2F31AAF161D0");
  EXPECT_EQ(HexOf("abcdefghijklmnopqrstuvwxyz"), "C3FCD3D76192E4007DFB496CCA67E13B");
  EXPECT_EQ(HexOf("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "D174AB98D277D9F5A5611C2C9F419D9F");
  EXPECT_EQ(HexOf("1234567890123456789012345678901234567890"
                  "1234567890123456789012345678901234567890"),
            "57EDF4A22BE3C955AC49DA2E2107B67A");
}

// Lengths around the padding's boundaries: the length field fits after the
// 0x80 byte up to 55 bytes into a block, from 56 on it needs another block.
TEST(Md5, PaddingBoundaries) {
  const std::pair<std::size_t, const char*> known[] = {
      {55, "EF1772B6DFF9A122358552954AD0DF65"},  {56, "3B0C8AC703F828B04C6C197006D17218"},
      {57, "652B906D60AF96844EBD21B674F35E93"},  {63, "B06521F39153D618550606BE297466D5"},
      {64, "014842D480B571495A4A0363793F7367"},  {119, "8A7BD0732ED6A28CE75F6DABC90E1613"},
      {120, "5F61C0CCAD4CAC44C75FF505E1F1E537"}, {121, "F6ACFCA2D47C87F2B14CA038234D3614"}};
  for (const auto& [length, digest] : known)
    EXPECT_EQ(HexOf(std::string(length, 'a')), digest) << length << " bytes of 'a'";
}

TEST(Md5, PiecewiseUpdatesEqualOneUpdate) {
  // Pieces that straddle, fill and skip the context's 64-byte buffer.
  const std::string bytes = RandomBytes(1000, 7);
  const std::string whole = HexOf(bytes);
  for (std::size_t piece : {1u, 3u, 55u, 56u, 63u, 64u, 65u, 127u, 200u}) {
    Md5Context context;
    DigestInit(context);
    DigestUpdate(context, bytes.data(), 0);
    for (std::size_t at = 0; at < bytes.size(); at += piece)
      DigestUpdate(context, bytes.data() + at, std::min(piece, bytes.size() - at));
    EXPECT_EQ(DigestToHex(DigestFinal(context)), whole) << "pieces of " << piece;
  }
}

TEST(Md5, BitCountCarriesIntoItsHighWord) {
  Md5Context context;
  DigestInit(context);
  context.count[0] = 0xFFFFFC00u;  // 1024 bytes short of 512 MiB
  std::string bytes(1024 + 3, 'x');
  DigestUpdate(context, bytes.data(), bytes.size());
  EXPECT_EQ(context.count[1], 1u);
  EXPECT_EQ(context.count[0], 0x1C00u + 24u);
}

TEST(Md5, HexAndEquality) {
  Md5Digest digest;
  for (int i = 0; i < 16; ++i) digest.bytes[i] = static_cast<uint8_t>(i * 17 + (i == 0 ? 10 : 0));
  EXPECT_EQ(DigestToHex(digest), "0A112233445566778899AABBCCDDEEFF");
  EXPECT_TRUE(DigestsEqual(digest, digest));
  Md5Digest other = digest;
  other.bytes[15] ^= 1;
  EXPECT_FALSE(DigestsEqual(digest, other));
  other = digest;
  other.bytes[0] ^= 0x80;
  EXPECT_FALSE(DigestsEqual(digest, other));
}

// An in-memory stream that records its reads and can fail on request.
class MemoryStream : public InputFile {
 public:
  explicit MemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}
  ErrorOr<int64_t> Size() override { return static_cast<int64_t>(bytes_.size()); }
  int64_t Position() override { return position_; }
  std::error_code Seek(int64_t position) override {
    position_ = position;
    return {};
  }
  ErrorOr<std::size_t> Read(void* buffer, std::size_t count) override {
    if (static_cast<int>(reads.size()) == failAtRead) return std::make_error_code(std::errc::io_error);
    if (static_cast<int>(reads.size()) == throwAtRead) VX_RAISE("ETest", "lecture");
    const std::size_t left = bytes_.size() - static_cast<std::size_t>(position_);
    const std::size_t n = std::min(count, left);
    std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += static_cast<int64_t>(n);
    reads.push_back(n);
    return n;
  }

  std::vector<std::size_t> reads;
  int failAtRead = -1;
  int throwAtRead = -1;

 private:
  std::string bytes_;
  int64_t position_ = 0;
};

TEST(Md5Stream, ReadsInWholeBlocksAndStopsAtTheSize) {
  struct Case {
    std::size_t size;
    std::vector<std::size_t> reads;
  };
  const std::size_t b = kDigestReadSize;
  for (const Case& c : {Case{0, {0}}, Case{b / 2 + 1, {b / 2 + 1}}, Case{b - 1, {b - 1}}, Case{b, {b}},
                        Case{b + 1, {b, 1}}, Case{2 * b, {b, b}}}) {
    const std::string bytes = RandomBytes(c.size, 3);
    MemoryStream stream(bytes);
    EXPECT_EQ(DigestToHex(StreamDigest(stream)), HexOf(bytes)) << c.size;
    EXPECT_EQ(stream.reads, c.reads) << c.size;
  }
}

TEST(Md5Stream, DigestsTheWholeStreamAndRestoresItsPosition) {
  const std::string bytes = RandomBytes(kDigestReadSize + 10000, 5);
  MemoryStream stream(bytes);
  stream.Seek(5000);
  EXPECT_EQ(DigestToHex(StreamDigest(stream)), HexOf(bytes));
  EXPECT_EQ(stream.Position(), 5000);
}

TEST(Md5Stream, AFailedReadEndsTheDigestWithWhatWasRead) {
  const std::string bytes = RandomBytes(2 * kDigestReadSize + 100, 9);
  MemoryStream stream(bytes);
  stream.failAtRead = 1;
  EXPECT_EQ(DigestToHex(StreamDigest(stream)), HexOf(bytes.substr(0, kDigestReadSize)));
}

TEST(Md5Stream, PositionIsRestoredWhenAReadRaises) {
  MemoryStream stream(RandomBytes(2 * kDigestReadSize + 100, 11));
  stream.Seek(1234);
  stream.throwAtRead = 1;
  EXPECT_THROW(StreamDigest(stream), VeltrixError);
  EXPECT_EQ(stream.Position(), 1234);
}

// Two streams digested at once give each its own digest, read as alone;
// what the second raises comes out, and both positions are restored.
TEST(Md5Stream, TwoLargeStreamsAtOnce) {
  const std::string large = RandomBytes(static_cast<std::size_t>(kDigestBothAtOnce) + 5000, 21);
  const std::string small = RandomBytes(3 * kDigestReadSize, 22);
  MemoryStream a(large), b(small), alone(large);
  Md5Digest first, second;
  StreamDigests(a, b, first, second);
  EXPECT_EQ(DigestToHex(first), HexOf(large));
  EXPECT_EQ(DigestToHex(second), HexOf(small));
  StreamDigest(alone);
  EXPECT_EQ(a.reads, alone.reads);
  EXPECT_EQ(b.reads, (std::vector<std::size_t>{kDigestReadSize, kDigestReadSize, kDigestReadSize}));

  MemoryStream c(large), d(large);
  c.Seek(7);
  d.Seek(9);
  d.throwAtRead = 2;
  EXPECT_THROW(StreamDigests(c, d, first, second), VeltrixError);
  EXPECT_EQ(DigestToHex(first), HexOf(large));
  EXPECT_EQ(c.Position(), 7);
  EXPECT_EQ(d.Position(), 9);
}

// The engine's digest of a file named by path: its folder held, then the name.
Md5Digest DigestOf(FileSystem& fs, const std::string& path) {
  const auto [folder, name] = test::SplitPath(path);
  ErrorOr<Folder> held = fs.OpenRoot(folder);
  EXPECT_TRUE(held);
  const Folder none;
  return FileDigest(fs, held ? *held : none, name, path);
}

TEST(Md5File, SmallFilesMatchMd5sum) {
  test::TempDir dir;
  NativeFileSystem fs;
  for (std::size_t size : {0u, 1u, 4095u, 4096u, 4097u, 65536u, 65537u, 200000u}) {
    const std::string name = "f" + std::to_string(size);
    const std::string bytes = RandomBytes(size, static_cast<unsigned>(size));
    dir.Write(name, bytes);
    const std::string hex = DigestToHex(DigestOf(fs, dir / name));
    EXPECT_EQ(hex, HexOf(bytes)) << size;
    if (const auto expected = Md5sumOf(dir / name)) {
      EXPECT_EQ(hex, *expected) << size;
    }
  }
}

TEST(Md5File, AFileThatCannotBeOpenedRaisesWithItsPathAndTheSystemText) {
  test::TempDir dir;
  NativeFileSystem fs;
  const std::string path = dir / "absent.bin";
  try {
    DigestOf(fs, path);
    FAIL() << "no failure raised";
  } catch (const VeltrixError& e) {
    const std::string prefix = "Impossible d'ouvrir le fichier \"" + path + "\". ";
    const std::string message = e.what();
    EXPECT_EQ(message.compare(0, prefix.size(), prefix), 0) << message;
    EXPECT_GT(message.size(), prefix.size()) << "the system's text is missing";
  }
}

#ifdef NDEBUG
constexpr bool kOptimisedBuild = true;
#else
constexpr bool kOptimisedBuild = false;
#endif

TEST(Md5File, FilesOver4GiBMatchMd5sum) {
  if (!kOptimisedBuild && !std::getenv("VELTRIX_LARGE_TESTS"))
    GTEST_SKIP() << "4 GiB take most of a minute unoptimised; set VELTRIX_LARGE_TESTS=1 to run";
  test::TempDir dir;
  dir.Write("probe", "x");
  if (!Md5sumOf(dir / "probe")) GTEST_SKIP() << "md5sum is not available (Windows build)";

  // Sparse: 4 GiB of holes, then a short tail, so sizes and bit counts pass 32 bits.
  const std::string path = dir / "big.bin";
  std::filesystem::resize_file(dir / "probe", 0);
  std::filesystem::rename(dir / "probe", path);
  std::filesystem::resize_file(path, uint64_t(1) << 32);
  std::ofstream(path, std::ios::binary | std::ios::app) << "fin du fichier";
  ASSERT_EQ(std::filesystem::file_size(path), (uint64_t(1) << 32) + 14);

  // Two cores: md5sum runs beside our digest.
  auto expected = std::async(std::launch::async, [&] { return Md5sumOf(path); });
  NativeFileSystem fs;
  const std::string hex = DigestToHex(DigestOf(fs, path));
  const auto reference = expected.get();
  ASSERT_TRUE(reference.has_value());
  EXPECT_EQ(hex, *reference);
}

}  // namespace
}  // namespace vx
