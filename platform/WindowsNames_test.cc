// Names and paths on the Win32 backend: names the ANSI code page cannot hold,
// names compared as the file system compares them, paths near MAX_PATH,
// temporary files, listings, a log shared by two runs, system errors. Run
// under Wine.
#include <gtest/gtest.h>

#if defined(_WIN32)

#include <atomic>
#include <thread>

#include "platform/Platform.h"
#include "tests/unit/TempDir.h"
#include "platform/WindowsTestTools.h"
#include "platform/win32/ListingSteps.h"

namespace vx {
namespace {

using namespace test;  // NOLINT: the shared Windows test tools

TEST(WindowsNames, NamesTheCodePageCannotHoldFailInsteadOfStandingForOthers) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("src/Omega.txt", "latin");
  dir.Write("dst/keep.txt", "keep");
  WriteWide(Long(dir / "src") + L"\\\x03A9mega.txt", "greek");
  WriteWide(Long(dir / "src") + L"\\\x65E5\x672C.txt", "japanese");
  ErrorOr<Folder> src = fs.OpenRoot(dir / "src");
  ErrorOr<Folder> dst = fs.OpenRoot(dir / "dst");
  ASSERT_TRUE(src && dst);

  ErrorOr<Listing> listing = fs.List(*src, ListOptions());
  ASSERT_TRUE(listing);
  // Never a look-alike ("Omega.txt" twice): the lost characters show as "?".
  EXPECT_EQ(Names(*listing), (std::vector<std::string>{"??.txt", "?mega.txt", "Omega.txt"}));
  EXPECT_EQ(listing->Find("Omega.txt")->size, 5u);

  for (const char* lost : {"?mega.txt", "??.txt"}) {
    const std::error_code copy = fs.CopyFile(*src, lost, *dst, lost);
    EXPECT_TRUE(copy) << lost;
    EXPECT_FALSE(IsMissing(copy)) << lost;
    EXPECT_EQ(copy, std::errc::illegal_byte_sequence);
    EXPECT_FALSE(fs.Look(*src, lost)) << lost;
    EXPECT_FALSE(IsMissing(fs.Look(*src, lost).error())) << lost;
    EXPECT_TRUE(fs.DeleteFile(*src, lost)) << lost;
    EXPECT_TRUE(fs.MoveFile(*src, lost, *dst, "moved.txt")) << lost;
  }
  EXPECT_EQ(Names(*fs.List(*dst, ListOptions())), (std::vector<std::string>{"keep.txt"}));
  EXPECT_EQ(ReadWide(Long(dir / "src") + L"\\\x03A9mega.txt"), "greek");

  // The short name, where the volume gives one, names the right file.
  for (std::size_t i = 0; i < listing->Count(); ++i) {
    const ListedEntry entry = listing->At(i);
    if (entry.name != "?mega.txt" || entry.shortName.empty() ||
        entry.shortName.find('?') != std::string_view::npos)
      continue;
    const std::string shortName(entry.shortName);
    EXPECT_FALSE(fs.CopyFile(*src, shortName, *dst, shortName));
    EXPECT_EQ(ReadWide(Long(dir / "dst/" + shortName)), "greek");
  }
}

TEST(WindowsNames, ComparedAsTheFileSystemComparesThem) {
  // Every pair of ANSI characters orders as the system's ordinal comparison
  // ignoring case does, which is how the volume matches names.
  int disagreements = 0;
  for (int i = 1; i < 256; ++i) {
    for (int j = 1; j < 256; ++j) {
      const char a[2] = {static_cast<char>(i), 'x'}, b[2] = {static_cast<char>(j), 'x'};
      const std::wstring wa = Wide(std::string(a, 2)), wb = Wide(std::string(b, 2));
      const int system = ::CompareStringOrdinal(wa.data(), 2, wb.data(), 2, TRUE) - CSTR_EQUAL;
      const int ours = CompareFileNames(std::string_view(a, 2), std::string_view(b, 2));
      disagreements += (ours < 0 ? -1 : ours > 0) != system;
    }
  }
  EXPECT_EQ(disagreements, 0);
  EXPECT_EQ(CompareFileNames("caf\xE9.TXT", "CAF\xC9.txt"), 0);
  EXPECT_LT(CompareFileNames("a", "ab"), 0);
  EXPECT_GT(CompareFileNames("Z_", "za"), 0);  // '_' sorts after 'A' once both are upper case

  test::TempDir dir;
  NativeFileSystem fs;
  WriteWide(Long(dir.path()) + L"\\caf\x00E9.txt", "x");
  ErrorOr<Folder> folder = fs.OpenRoot(dir.path());
  ASSERT_TRUE(folder);
  ErrorOr<Listing> listing = fs.List(*folder, ListOptions());
  ASSERT_TRUE(listing);
  EXPECT_TRUE(listing->Find("CAF\xC9.TXT"));
  EXPECT_FALSE(listing->Find("CAFE.TXT"));
}

TEST(WindowsPaths, TargetsNearMaxPathAndLongNamesCopyWithoutLeftovers) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("src/a.txt", "short name");
  const std::string longName = std::string(246, 'n') + ".txt";
  WriteWide(Long(dir / "src/") + Wide(longName), "long name");
  ErrorOr<Folder> src = fs.OpenRoot(dir / "src");
  ASSERT_TRUE(src);
  // Targets of 253 to 259 characters: the temporary name beside them is longer than "a.txt".
  for (std::size_t length = 253; length <= 259; ++length) {
    const std::size_t folderLength = length - 1 - 5;
    ASSERT_GT(folderLength, dir.path().size() + 1);
    const std::string folder = dir.path() + "\\" + std::string(folderLength - dir.path().size() - 1, 'd');
    ASSERT_FALSE(fs.CreateDirectories(folder)) << length;
    ErrorOr<Folder> to = fs.OpenRoot(folder);
    ASSERT_TRUE(to) << length << ": " << to.error().message();
    EXPECT_EQ(to->PathOf("a.txt").size(), length);
    EXPECT_FALSE(fs.CopyFile(*src, "a.txt", *to, "a.txt")) << length;
    EXPECT_EQ(ReadWide(Long(folder + "\\a.txt")), "short name") << length;
    EXPECT_FALSE(HoldsTemporaryFile(fs, *to)) << length;
  }
  // A 250-character name copies, and a failed copy removes its temporary file.
  ErrorOr<Folder> dst = fs.CreateRoot(dir / "dst", nullptr);
  ASSERT_TRUE(dst);
  EXPECT_FALSE(fs.CopyFile(*src, longName, *dst, longName));
  EXPECT_EQ(ReadWide(Long(dir / "dst/") + Wide(longName)), "long name");
  ASSERT_FALSE(fs.SetAttributes(*dst, longName, attr::ReadOnly));
  EXPECT_EQ(fs.CopyFile(*src, "a.txt", *dst, longName), std::errc::permission_denied);
  EXPECT_EQ(ReadWide(Long(dir / "dst/") + Wide(longName)), "long name");
  EXPECT_FALSE(HoldsTemporaryFile(fs, *dst));
  EXPECT_FALSE(fs.SetAttributes(*dst, longName, attr::Normal));
}

TEST(WindowsPaths, DevicesAndDotsInsideAFolderAreNames) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("src/x.txt", "x");
  ErrorOr<Folder> src = fs.OpenRoot(dir / "src");
  ASSERT_TRUE(src);
  // The ANSI calls take "NUL" inside a folder for the device and "copy" into nothing.
  EXPECT_FALSE(fs.CopyFile(*src, "x.txt", *src, "NUL"));
  EXPECT_EQ(ReadWide(Long(dir / "src/NUL")), "x");
  EXPECT_FALSE(fs.DeleteFile(*src, "NUL"));
  for (const char* bad : {"", ".", "..", "a\\b", "a/b", "a:b"}) {
    EXPECT_TRUE(fs.CopyFile(*src, "x.txt", *src, bad)) << bad;
    EXPECT_TRUE(fs.Look(*src, bad).error()) << bad;
  }
}

TEST(WindowsTemporaryFiles, ExclusiveHiddenRemovedUnlessCommitted) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("taken.txt", "user's");
  ErrorOr<Folder> folder = fs.OpenRoot(dir.path());
  ASSERT_TRUE(folder);
  std::string name;
  {
    ErrorOr<TemporaryFile> temporary = TemporaryFile::Create(*folder);
    ASSERT_TRUE(temporary);
    name = temporary->Name();
    EXPECT_TRUE(IsTemporaryName(name));
    const DWORD attributes = ::GetFileAttributesW(Long(dir / name).c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
    ASSERT_FALSE(temporary->Write("new", 3));
    EXPECT_EQ(temporary->Commit("taken.txt", false), SystemError(ERROR_FILE_EXISTS));
    EXPECT_EQ(ReadWide(Long(dir / "taken.txt")), "user's");
  }
  EXPECT_FALSE(Exists(Long(dir / name)));  // removed: never committed
  {
    ErrorOr<TemporaryFile> temporary = TemporaryFile::Create(*folder);
    ASSERT_TRUE(temporary);
    name = temporary->Name();
    ASSERT_FALSE(temporary->Write("new", 3));
    EXPECT_FALSE(temporary->Commit("taken.txt", true));
  }
  EXPECT_EQ(ReadWide(Long(dir / "taken.txt")), "new");
  EXPECT_FALSE(Exists(Long(dir / name)));
}

TEST(WindowsListing, FailurePartWayIsAnErrorNotTheEnd) {
  test::TempDir dir;
  NativeFileSystem fs;
  for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt", "f.txt"}) dir.Write(name, "x");
  ErrorOr<Folder> folder = fs.OpenRoot(dir.path());
  ASSERT_TRUE(folder);
  ASSERT_EQ(fs.List(*folder, ListOptions())->Count(), 6u);

  // The first read of the folder gives its entries, the next one fails.
  static std::atomic<int> reads;
  reads = 0;
  const win::ReadFolderStep real = win::readFolder;
  win::readFolder = [](HANDLE folder, FILE_INFO_BY_HANDLE_CLASS step, LPVOID buffer, DWORD size) -> BOOL {
    if (++reads > 1) {
      ::SetLastError(ERROR_IO_DEVICE);
      return FALSE;
    }
    return ::GetFileInformationByHandleEx(folder, step, buffer, size);
  };
  ErrorOr<Listing> partial = fs.List(*folder, ListOptions());
  win::readFolder = real;
  ASSERT_FALSE(partial);
  EXPECT_EQ(partial.error(), SystemError(ERROR_IO_DEVICE));
  EXPECT_FALSE(IsMissing(partial.error()));
}

TEST(WindowsLog, SharedByTwoRunsAndReplacedWhole) {
  test::TempDir dir;
  NativeFileSystem fs;
  const std::string log = dir / "JOURNAL.LOG";
  ASSERT_FALSE(fs.AppendToFile(log, "one\r\n"));
  {
    // Another run holds the log for its own line: both write.
    const HANDLE other = ::CreateFileW(Long(log).c_str(), FILE_APPEND_DATA,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(other, "two\r\n", 5, &written, nullptr);
    EXPECT_FALSE(fs.AppendToFile(log, "three\r\n"));
    ::CloseHandle(other);
  }
  {
    // A program that holds it without sharing for a moment is waited for.
    const HANDLE locker = ::CreateFileW(Long(log).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locker, INVALID_HANDLE_VALUE);
    std::thread release([locker] {
      ::Sleep(100);
      ::CloseHandle(locker);
    });
    EXPECT_FALSE(fs.AppendToFile(log, "four\r\n"));
    release.join();
  }
  EXPECT_EQ(*fs.ReadWholeFile(log), "one\r\ntwo\r\nthree\r\nfour\r\n");

  // The trim takes the log's place whole, or not at all.
  ASSERT_FALSE(fs.ReplaceFile(log, "four\r\n"));
  EXPECT_EQ(*fs.ReadWholeFile(log), "four\r\n");
  const HANDLE keeper = ::CreateFileW(Long(log).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(keeper, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(fs.ReplaceFile(log, "lost\r\n"));
  ::CloseHandle(keeper);
  EXPECT_EQ(*fs.ReadWholeFile(log), "four\r\n");
  ErrorOr<Folder> folder = fs.OpenRoot(dir.path());
  ASSERT_TRUE(folder);
  EXPECT_FALSE(HoldsTemporaryFile(fs, *folder));
}

TEST(WindowsErrors, SystemTextsAndPortableConditions) {
  const std::string text = SystemError(ERROR_SHARING_VIOLATION).message();
  EXPECT_FALSE(text.empty());
  EXPECT_NE(text.back(), '\n');
  if (PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_FRENCH) {
    EXPECT_EQ(text, "Violation de partage.");
  }
  EXPECT_EQ(SystemError(ERROR_FILE_EXISTS), std::errc::file_exists);
  EXPECT_EQ(SystemError(ERROR_ALREADY_EXISTS), std::errc::file_exists);
  EXPECT_EQ(SystemError(ERROR_NOT_SAME_DEVICE), std::errc::cross_device_link);
  EXPECT_TRUE(MoveNeedsCopy(SystemError(ERROR_NOT_SAME_DEVICE)));
  for (DWORD missing : {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_INVALID_NAME, ERROR_DIRECTORY})
    EXPECT_TRUE(IsMissing(SystemError(static_cast<int>(missing)))) << missing;
  for (DWORD other : {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_NO_UNICODE_TRANSLATION, ERROR_IO_DEVICE})
    EXPECT_FALSE(IsMissing(SystemError(static_cast<int>(other)))) << other;
}

}  // namespace
}  // namespace vx

#endif  // _WIN32
