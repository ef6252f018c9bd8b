// The thin layer that stands in for the operating system. The engine reaches
// files, time, locale and the process only through here; Unix/*.inc and
// Windows/*.inc hold the two backends. It is linked into the library alone:
// the console program has its own narrow interface, platform/Host.h.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vx {

// ---- Paths and command line -------------------------------------------------

#if defined(_WIN32)
constexpr char kPathSeparator = '\\';
constexpr bool kFileNamesCaseSensitive = false;
constexpr bool kSlashIntroducesSwitch = true;
#else
constexpr char kPathSeparator = '/';
constexpr bool kFileNamesCaseSensitive = true;
constexpr bool kSlashIntroducesSwitch = false;
#endif

// "/" is also a separator on Windows.
bool IsPathSeparator(char c);
// Characters that introduce a switch: "-" everywhere, "/" on Windows too.
// Inline: the program's SILENT test uses it without the platform layer.
constexpr bool IsSwitchChar(char c) { return c == '-' || (kSlashIntroducesSwitch && c == '/'); }
// Length of the folder part of a path: up to and including its last separator
// (or, on Windows, a drive colon). 0 when the path has no folder part.
std::size_t FolderPartLength(const std::string& path);

// The process command line as the system gives it (program name included).
std::string ProcessCommandLine();
// Expands %NAME% references; undefined ones stay as typed. Returns nullopt
// when the result does not fit the system's 1024-character buffer.
std::optional<std::string> ExpandEnvironment(const std::string& text);

// ---- Text encodings ---------------------------------------------------------

// The engine's own literals are written in UTF-8 in the sources; this turns
// them into the ANSI code page of the library's texts and log (identity on
// Linux).
std::string Utf8ToAnsi(const std::string& utf8);

// ---- Console ----------------------------------------------------------------

// The purge's notice for a folder that cannot be removed. Standard output is
// flushed first (the program writes through the C runtime's stdout, which
// both modules share), so the notice follows the names shown before it; waits
// for the user where that cannot block a batch run.
void ShowNotice(const std::string& text);

// ---- Time and locale --------------------------------------------------------

struct LocalDateTime {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, millisecond = 0;
};

LocalDateTime LocalNow();
// The user's short date and long time formats: "23/10/2003", "14:05:09".
std::string FormatShortDate(const LocalDateTime& t);
std::string FormatLongTime(const LocalDateTime& t);
// Converts a date text (optionally followed by a time) by the user's short
// date format into a day number. false when it does not convert.
bool ParseShortDate(const std::string& text, double& dayNumber);
// Base bias of the time zone in minutes (UTC = local standard time + bias).
int TimeZoneBiasMinutes();

// Day numbers: days since 30 December 1899, the fraction the time of day.
double EncodeDayNumber(const LocalDateTime& t);
// File time stamps are 100-ns ticks since 1 January 1601, UTC.
double FileTimeToDayNumber(int64_t fileTime);  // UTC calendar time, no bias
// Local time of a file time packed into DOS date (high 16 bits) and time.
int32_t FileTimeToPackedLocal(int64_t fileTime);

// ---- Files and folders ------------------------------------------------------

namespace attr {
constexpr uint32_t ReadOnly = 0x1;
constexpr uint32_t Hidden = 0x2;
constexpr uint32_t System = 0x4;
constexpr uint32_t Directory = 0x10;
constexpr uint32_t Archive = 0x20;
constexpr uint32_t Normal = 0x80;
constexpr uint32_t ReparsePoint = 0x400;  // a link; folders behind one are never entered
constexpr uint32_t Invalid = 0xFFFFFFFFu;
}  // namespace attr

struct DirEntry {
  std::string name;
  uint32_t attributes = 0;
  uint64_t size = 0;
  int64_t lastWrite = 0;  // file time
};

// An open file for reading: the stream of the MD5 digest.
class InputFile {
 public:
  virtual ~InputFile() = default;
  virtual int64_t Size() = 0;
  virtual int64_t Position() = 0;
  virtual bool Seek(int64_t position) = 0;
  // Bytes read, 0 at the end, -1 on a read error.
  virtual int64_t Read(void* buffer, std::size_t count) = 0;
};

enum class Sharing { None, Read, ReadWrite };

// Every file operation of the engine. RealFileSystem() is the system; tests
// derive from NativeFileSystem to provoke faults.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Entries matching pattern (folder + name mask with * and ?), folders
  // included, "." and ".." never. Hidden and system entries only with
  // includeHidden. FIFOs, sockets and devices are never returned. Sorted by
  // name on Linux, in the system's order on Windows. false when the folder
  // cannot be read or nothing matches.
  virtual bool FindFiles(const std::string& pattern, bool includeHidden,
                         std::vector<DirEntry>& entries) = 0;
  // One file (not a folder), hidden and system included: its size and time.
  virtual bool FindFile(const std::string& path, DirEntry& entry) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool DirectoryExists(const std::string& path) = 0;
  virtual uint32_t GetAttributes(const std::string& path) = 0;  // attr::Invalid on failure
  virtual bool SetAttributes(const std::string& path, uint32_t attributes) = 0;
  // Copies content, permission bits or attributes and last-write time over
  // an existing target (never over a read-only one), through a temporary file
  // in the target folder. Never copies a file onto itself.
  virtual bool CopyFile(const std::string& source, const std::string& target) = 0;
  // Renames; fails when the target exists or lies on another volume.
  virtual bool MoveFile(const std::string& source, const std::string& target) = 0;
  // Whether a rename from source to target can work (same drive or file system).
  virtual bool SameVolume(const std::string& source, const std::string& target) = 0;
  // Whether two existing paths name one and the same file.
  virtual bool SameFile(const std::string& a, const std::string& b) = 0;
  virtual bool DeleteFile(const std::string& path) = 0;  // fails on read-only files
  virtual bool CreateDirectories(const std::string& path) = 0;
  virtual bool RemoveDirectory(const std::string& path) = 0;  // empty folders only
  virtual std::string ShortPath(const std::string& path) = 0;
  // Absolute form against the current folder, "." and ".." folded lexically.
  virtual std::string FullPath(const std::string& path) = 0;
  virtual std::string CurrentDirectory() = 0;
  // Creation, last-access and last-write file times, opened with shared read
  // and write. false when the file cannot be opened.
  virtual bool GetFileTimes(const std::string& path, int64_t times[3]) = 0;
  // nullptr on failure, with the system's text for the error in error.
  virtual std::unique_ptr<InputFile> OpenForRead(const std::string& path, Sharing sharing,
                                                 std::string& error) = 0;
  // Whole-file text access for list files and the log. false with the
  // system's text in error.
  virtual bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error) = 0;
  virtual bool AppendToFile(const std::string& path, const std::string& bytes,
                            std::string& error) = 0;
  virtual bool RewriteFile(const std::string& path, const std::string& bytes,
                           std::string& error) = 0;

  // What a path names, telling "not there" apart from "could not be looked
  // at": nothing may be deleted on the strength of a failed look-up.
  enum class PathKind { Missing, File, Folder, Unknown };
  virtual PathKind Probe(const std::string& path) = 0;
  // Whether a folder's entries can be listed (an empty folder can).
  virtual bool CanListFolder(const std::string& path) = 0;
  // Removes a link to a folder itself, never what it points to.
  virtual bool RemoveLink(const std::string& path) = 0;
};

class NativeFileSystem : public FileSystem {
 public:
  bool FindFiles(const std::string& pattern, bool includeHidden,
                 std::vector<DirEntry>& entries) override;
  bool FindFile(const std::string& path, DirEntry& entry) override;
  bool FileExists(const std::string& path) override;
  bool DirectoryExists(const std::string& path) override;
  uint32_t GetAttributes(const std::string& path) override;
  bool SetAttributes(const std::string& path, uint32_t attributes) override;
  bool CopyFile(const std::string& source, const std::string& target) override;
  bool MoveFile(const std::string& source, const std::string& target) override;
  bool SameVolume(const std::string& source, const std::string& target) override;
  bool SameFile(const std::string& a, const std::string& b) override;
  bool DeleteFile(const std::string& path) override;
  bool CreateDirectories(const std::string& path) override;
  bool RemoveDirectory(const std::string& path) override;
  std::string ShortPath(const std::string& path) override;
  std::string FullPath(const std::string& path) override;
  std::string CurrentDirectory() override;
  bool GetFileTimes(const std::string& path, int64_t times[3]) override;
  std::unique_ptr<InputFile> OpenForRead(const std::string& path, Sharing sharing,
                                         std::string& error) override;
  bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error) override;
  bool AppendToFile(const std::string& path, const std::string& bytes,
                    std::string& error) override;
  bool RewriteFile(const std::string& path, const std::string& bytes,
                   std::string& error) override;
  PathKind Probe(const std::string& path) override;
  bool CanListFolder(const std::string& path) override;
  bool RemoveLink(const std::string& path) override;
};

// The file system the library uses; tests may install a double.
FileSystem& Files();
void SetFiles(FileSystem* fs);  // nullptr restores the real one

}  // namespace vx
