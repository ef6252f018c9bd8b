// What only the Win32 backend has to get right: held folders that refuse to
// be renamed, Wine's links that its own calls would follow, names the ANSI
// code page cannot hold, paths near MAX_PATH, a log shared by two runs,
// names compared as the file system compares them. Run under Wine.
#include <gtest/gtest.h>

#if defined(_WIN32)

#include <atomic>
#include <thread>

#include "platform/Platform.h"
#include "tests/unit/TempDir.h"
// After the interface: its CopyFile, MoveFile and DeleteFile are no macros.
#include <windows.h>
#include "platform/win32/ListingSteps.h"
#undef CopyFile
#undef MoveFile
#undef DeleteFile
#undef ReplaceFile

namespace vx {
namespace {

std::wstring Wide(const std::string& ansi) {
  const int n = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], n);
  return wide;
}

std::wstring Long(const std::string& path) { return L"\\\\?\\" + Wide(path); }

void WriteWide(const std::wstring& path, const std::string& bytes) {
  const HANDLE file =
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << ::GetLastError();
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
}

std::string ReadWide(const std::wstring& path) {
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  char buffer[4096];
  DWORD read = 0;
  ::ReadFile(file, buffer, sizeof buffer, &read, nullptr);
  ::CloseHandle(file);
  return std::string(buffer, read);
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::string> Names(const Listing& listing) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < listing.Count(); ++i) names.emplace_back(listing.At(i).name);
  std::sort(names.begin(), names.end());
  return names;
}

bool HoldsTemporaryFile(NativeFileSystem& fs, const Folder& folder) {
  ListOptions all;
  all.includeHidden = true;
  ErrorOr<Listing> listing = fs.List(folder, all);
  if (!listing) return true;
  for (std::size_t i = 0; i < listing->Count(); ++i)
    if (IsTemporaryName(listing->At(i).name)) return true;
  return false;
}

// Wine's symbolic links are Unix ones, made by a Unix program that Wine
// starts; a Unix program also renames what Wine holds, as a Linux user can.
// Empty where the system is not Wine.
class UnixLinks {
 public:
  UnixLinks() {
    unixName_ = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  }
  ~UnixLinks() {
    for (const auto& [unix, windows] : made_) {
      Run("rm", "-f \"" + unix + "\"");
      WaitFor(windows, false);
    }
  }
  bool available() const { return unixName_ != nullptr; }
  // A link at linkPath (Windows path) leading to target (Windows path).
  bool Make(const std::string& target, const std::string& linkPath) {
    const std::string to = Unix(target), at = Unix(linkPath);
    if (to.empty() || at.empty()) return false;
    Run("ln", "-s \"" + to + "\" \"" + at + "\"");
    made_.emplace_back(at, linkPath);
    return WaitFor(linkPath, true);
  }
  // Renames folder to aside and puts a link to target in its place.
  bool SwapForLink(const std::string& folder, const std::string& aside, const std::string& target) {
    const std::string from = Unix(folder), to = Unix(aside), led = Unix(target);
    if (from.empty() || to.empty() || led.empty()) return false;
    Run("sh", "-c \"mv '" + from + "' '" + to + "' && ln -s '" + led + "' '" + from + "'\"");
    made_.emplace_back(from, folder);
    return WaitFor(aside, true) && WaitFor(folder + "\\" + "outside.txt", true);
  }

 private:
  using UnixName = char*(CDECL*)(LPCWSTR);
  std::string Unix(const std::string& path) const {
    char* name = unixName_(Wide(path).c_str());
    if (!name) return std::string();
    std::string result = name;
    ::HeapFree(::GetProcessHeap(), 0, name);
    return result;
  }
  // Wine does not wait for the Unix programs it starts: the result is awaited.
  static bool WaitFor(const std::string& path, bool present) {
    for (int i = 0; i < 500; ++i) {
      WIN32_FIND_DATAW data;
      const HANDLE find = ::FindFirstFileW(Wide(path).c_str(), &data);
      if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
      if ((find != INVALID_HANDLE_VALUE) == present) return true;
      ::Sleep(10);
    }
    return false;
  }
  // Wine starts a Unix program named by its Windows path.
  static void Run(const std::string& tool, const std::string& arguments) {
    std::string command = "Z:\\bin\\" + tool + " " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
      return;
    ::WaitForSingleObject(process.hProcess, 10000);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  UnixName unixName_ = nullptr;
  std::vector<std::pair<std::string, std::string>> made_;  // Unix and Windows paths
};

TEST(WindowsFolders, HeldFolderRefusesRenameReplacementAndRemoval) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("tree/sub/file.txt", "x");
  dir.Write("evil/planted.txt", "y");
  ErrorOr<Folder> tree = fs.OpenRoot(dir / "tree");
  ASSERT_TRUE(tree) << tree.error().message();
  ErrorOr<Folder> sub = fs.OpenFolder(*tree, "sub");
  ASSERT_TRUE(sub) << sub.error().message();
  EXPECT_EQ(sub->Path(), dir / "tree/sub");

  // Neither renamed away nor replaced by another folder while held.
  EXPECT_FALSE(::MoveFileExW(Long(dir / "tree/sub").c_str(), Long(dir / "moved").c_str(), 0));
  EXPECT_FALSE(::MoveFileExW(Long(dir / "tree").c_str(), Long(dir / "moved").c_str(), 0));
  ASSERT_TRUE(::MoveFileExW(Long(dir / "tree/sub/file.txt").c_str(), Long(dir / "file.txt").c_str(), 0));
  EXPECT_FALSE(::RemoveDirectoryW(Long(dir / "tree/sub").c_str()));
  EXPECT_FALSE(::MoveFileExW(Long(dir / "evil").c_str(), Long(dir / "tree/sub").c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(ReadWide(Long(dir / "evil/planted.txt")), "y");

  // The engine closes a folder before removing it; one still held stays, cleanly.
  const std::error_code held = fs.RemoveFolder(*tree, "sub");
  EXPECT_TRUE(held);
  EXPECT_FALSE(IsMissing(held));
  EXPECT_TRUE(Exists(Long(dir / "tree/sub")));
  sub->Close();
  EXPECT_FALSE(fs.RemoveFolder(*tree, "sub"));
  EXPECT_FALSE(Exists(Long(dir / "tree/sub")));
  EXPECT_TRUE(IsMissing(fs.RemoveFolder(*tree, "sub")));
  tree->Close();
  EXPECT_TRUE(::MoveFileExW(Long(dir / "tree").c_str(), Long(dir / "moved").c_str(), 0));
}

TEST(WindowsFolders, IdentitiesAndTheChainOfParents) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("un dossier au nom long/inner/f.txt", "x");
  ErrorOr<Folder> top = fs.OpenRoot(dir.path());
  ErrorOr<Folder> byLong = fs.OpenRoot(dir / "un dossier au nom long");
  ErrorOr<std::string> shortPath = fs.ShortPath(dir / "un dossier au nom long");
  ASSERT_TRUE(top && byLong && shortPath);
  ErrorOr<Folder> byShort = fs.OpenRoot(*shortPath);
  ASSERT_TRUE(byShort) << *shortPath;
  EXPECT_EQ(byShort->Id(), byLong->Id());
  EXPECT_NE(byLong->Id(), top->Id());

  ErrorOr<Folder> inner = fs.OpenFolder(*byLong, "inner");
  ASSERT_TRUE(inner);
  ErrorOr<std::vector<FileId>> chain = fs.FolderAndParents(*inner);
  ASSERT_TRUE(chain) << chain.error().message();
  ASSERT_GE(chain->size(), 3u);
  EXPECT_EQ((*chain)[0], inner->Id());
  EXPECT_EQ((*chain)[1], byLong->Id());
  EXPECT_EQ((*chain)[2], top->Id());
  ErrorOr<Folder> root = fs.OpenRoot(dir.path().substr(0, 3));  // "C:\"
  ASSERT_TRUE(root);
  EXPECT_EQ(chain->back(), root->Id());

  // A file where a folder is expected is "no folder there"; a missing one is missing.
  EXPECT_EQ(fs.OpenRoot(dir / "un dossier au nom long/inner/f.txt").error(), SystemError(ERROR_DIRECTORY));
  EXPECT_TRUE(IsMissing(fs.OpenFolder(*inner, "f.txt").error()));
  EXPECT_TRUE(IsMissing(fs.OpenRoot(dir / "absent").error()));
}

// Cases that need Wine and its Unix programs; the links go before the folder.
class WindowsLinks : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!links.available()) GTEST_SKIP() << "not Wine: no Unix programs to start";
  }
  test::TempDir dir;
  UnixLinks links;
  NativeFileSystem fs;
};

TEST_F(WindowsLinks, WineLinksAreNeverActedThrough) {
  dir.Write("outside/precious.txt", "precious");
  dir.Write("outside/other.txt", "other");
  dir.Write("tree/plain.txt", "plain");
  dir.Write("dst/keep.txt", "keep");
  ASSERT_TRUE(links.Make(dir / "outside", dir / "tree/dirlink"));
  ASSERT_TRUE(links.Make(dir / "outside/precious.txt", dir / "tree/filelink"));
  ASSERT_TRUE(links.Make(dir / "outside/other.txt", dir / "dst/target.txt"));
  ErrorOr<Folder> tree = fs.OpenRoot(dir / "tree");
  ErrorOr<Folder> dst = fs.OpenRoot(dir / "dst");
  ASSERT_TRUE(tree && dst);

  ErrorOr<Listing> listing = fs.List(*tree, ListOptions());
  ASSERT_TRUE(listing);
  std::optional<ListedEntry> dirlink = listing->Find("dirlink");
  ASSERT_TRUE(dirlink);
  EXPECT_TRUE(dirlink->IsFolder());
  EXPECT_TRUE(dirlink->attributes & attr::ReparsePoint);

  // A folder link is never entered, nor taken for a folder to create.
  const std::error_code refused = fs.OpenFolder(*tree, "dirlink").error();
  EXPECT_TRUE(refused);
  EXPECT_FALSE(IsMissing(refused));
  EXPECT_FALSE(fs.CreateFolder(*tree, "dirlink", nullptr));
  ErrorOr<EntryInfo> look = fs.Look(*tree, "dirlink");
  ASSERT_TRUE(look);
  EXPECT_TRUE(look->link);
  EXPECT_TRUE(look->attributes & attr::ReparsePoint);

  // Wine would delete, write or remove what the link leads to: each is refused.
  EXPECT_TRUE(fs.DeleteFile(*tree, "filelink"));
  EXPECT_TRUE(fs.SetAttributes(*tree, "filelink", attr::ReadOnly | attr::Hidden));
  EXPECT_FALSE(fs.GetAttributes(*tree, "filelink"));
  EXPECT_TRUE(fs.RemoveLink(*tree, "dirlink"));
  EXPECT_TRUE(fs.RemoveFolder(*tree, "dirlink"));
  EXPECT_TRUE(MoveNeedsCopy(fs.MoveFile(*tree, "filelink", *dst, "moved.txt")));
  EXPECT_EQ(ReadWide(Long(dir / "outside/precious.txt")), "precious");
  EXPECT_EQ(ReadWide(Long(dir / "outside/other.txt")), "other");
  EXPECT_EQ(::GetFileAttributesW(Long(dir / "outside/precious.txt").c_str()) &
                (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
            0u);
  ErrorOr<EntryInfo> file = fs.Look(*tree, "filelink");
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->link);
  EXPECT_EQ(file->kind, EntryKind::File);

  // A link to a file is copied as the file's content; a link in the
  // target's place is replaced, never written through.
  EXPECT_FALSE(fs.CopyFile(*tree, "filelink", *dst, "copy.txt"));
  EXPECT_EQ(ReadWide(Long(dir / "dst/copy.txt")), "precious");
  EXPECT_FALSE(fs.CopyFile(*tree, "plain.txt", *dst, "target.txt"));
  EXPECT_EQ(ReadWide(Long(dir / "dst/target.txt")), "plain");
  EXPECT_EQ(ReadWide(Long(dir / "outside/other.txt")), "other");
  EXPECT_FALSE(HoldsTemporaryFile(fs, *dst));
}

TEST_F(WindowsLinks, AHeldFolderSwappedByALinuxUserIsStillTheOneActedIn) {
  dir.Write("src/a.txt", "copied");
  dir.Write("held/inside.txt", "inside");
  dir.Write("outside/outside.txt", "outside");
  dir.Write("outside/inside.txt", "bait");
  ErrorOr<Folder> src = fs.OpenRoot(dir / "src");
  ErrorOr<Folder> held = fs.OpenRoot(dir / "held");
  ASSERT_TRUE(src && held);
  ASSERT_FALSE(fs.List(*held, ListOptions())->Find("outside.txt"));  // its path noted while held
  // Wine's sharing rules bind Wine's programs only: a Linux program renames
  // the held folder and puts a link in its place.
  ASSERT_TRUE(links.SwapForLink(dir / "held", dir / "aside", dir / "outside"));

  // Listed and written through the held handle: the folder aside. (Wine then
  // has no path for a file made there, so the rename that would name the
  // copy fails and the temporary file stays: the copy fails, it never lands
  // outside.) Deleting what the stale path now leads to is refused.
  ErrorOr<Listing> listing = fs.List(*held, ListOptions());
  ASSERT_TRUE(listing);
  EXPECT_EQ(Names(*listing), (std::vector<std::string>{"inside.txt"}));
  if (!fs.CopyFile(*src, "a.txt", *held, "a.txt")) {
    EXPECT_EQ(ReadWide(Long(dir / "aside/a.txt")), "copied");
  }
  (void)fs.CreateFolder(*held, "sub", nullptr);
  EXPECT_TRUE(fs.DeleteFile(*held, "outside.txt"));
  EXPECT_TRUE(fs.DeleteFile(*held, "inside.txt"));
  EXPECT_TRUE(fs.SetAttributes(*held, "inside.txt", attr::Hidden));
  ErrorOr<Folder> outside = fs.OpenRoot(dir / "outside");
  ASSERT_TRUE(outside);
  ErrorOr<Listing> untouched = fs.List(*outside, ListOptions());
  ASSERT_TRUE(untouched);
  EXPECT_EQ(Names(*untouched), (std::vector<std::string>{"inside.txt", "outside.txt"}));
  EXPECT_EQ(ReadWide(Long(dir / "outside/outside.txt")), "outside");
  EXPECT_EQ(ReadWide(Long(dir / "outside/inside.txt")), "bait");
}

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
