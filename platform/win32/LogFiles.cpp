// Win32 backend: the log, appended to and trimmed by runs that may share it.
#include "platform/win32/Win32.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vx::win {

namespace {

// The log, named by path: its folder is held (reached as the user named it,
// through links), the log itself is a name in it, never followed. Refused:
// a link, a file with other hard links (which would carry the lines
// elsewhere), a folder or device. Appends and the trim take turns on one
// byte far past any end, each on the file that the name gives once it holds
// the byte: a trim that replaced the file meanwhile sends an append to the
// new one.
struct LogFile {
  Folder folder;
  std::string name;
  Handle file;
  DWORD attributes = FILE_ATTRIBUTE_NORMAL;
  OVERLAPPED turn = {};
  bool locked = false;
  void Unlock() {
    if (locked) ::UnlockFileEx(file.get(), 0, 1, 0, &turn);
    locked = false;
  }
};

// What a trim appends, in its turn, to the log it is about to replace.
// Windows replaces no open file, so the trim must give up its turn before
// its rename: a run that then finds the log ending so waits for the new one
// instead of writing a line that would go with the old. A trim killed in
// between leaves it as a line of its own, waited for only a few seconds.
constexpr char kBeingReplaced[] = "[journal en cours de remplacement]\r\n";
constexpr DWORD kBeingReplacedLength = sizeof kBeingReplaced - 1;

// Whether the file of size bytes ends as a trim leaves the log it replaces;
// the file's position is back at its start after.
ErrorOr<bool> BeingReplaced(HANDLE file, int64_t size) {
  if (size < kBeingReplacedLength) return false;
  LARGE_INTEGER at;
  at.QuadPart = size - kBeingReplacedLength;
  char tail[kBeingReplacedLength];
  DWORD read = 0;
  if (!::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) || !::ReadFile(file, tail, kBeingReplacedLength, &read, nullptr))
    return LastError();
  at.QuadPart = 0;
  if (!::SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) return LastError();
  return read == kBeingReplacedLength && std::memcmp(tail, kBeingReplaced, kBeingReplacedLength) == 0;
}

ErrorOr<LogFile> OpenLog(FileSystem& fs, const std::string& path, DWORD access, bool create) {
  ErrorOr<std::string> full = fs.FullPath(path);
  if (!full) return full.error();
  const std::string trimmed = WithoutTrailingSeparators(*full);
  const std::size_t folderLength = FolderPartLength(trimmed);
  LogFile log;
  log.name = trimmed.substr(folderLength);
  if (folderLength == 0 || log.name.empty()) return Error(ERROR_INVALID_NAME);
  ErrorOr<std::wstring> wide = WideName(log.name);
  if (!wide) return wide.error();
  ErrorOr<Folder> folder = fs.OpenRoot(trimmed.substr(0, folderLength));
  if (!folder) return folder.error();
  log.folder = std::move(*folder);
  ULONGLONG deadline = ::GetTickCount64() + 2000;
  // The marked log last seen, and until when it is waited for.
  std::pair<uint64_t, int64_t> marked{0, -1};
  ULONGLONG stale = 0;
  for (DWORD pause = 1;; pause = std::min<DWORD>(pause * 2, 50)) {
    if (::GetTickCount64() >= deadline) return Error(ERROR_SHARING_VIOLATION);
    ErrorOr<OpenedEntry> entry = OpenEntry(log.folder, log.name, access | FILE_READ_DATA | SYNCHRONIZE, kShareAll);
    if (entry) {
      if (entry->reached != Reached::Entry) return LinkRefused(*entry);
      if (entry->IsFolder()) return Error(ERROR_ACCESS_DENIED);
      if (const std::error_code error = RequireDiskFile(entry->handle.get())) return error;
      log.attributes = entry->facts.attributes;
      log.file = std::move(entry->handle);
    } else if (create && IsMissing(entry.error())) {
      ErrorOr<Handle> made = OpenRelative(Native(log.folder), *wide, access | FILE_READ_ATTRIBUTES, kShareAll,
                                          FILE_CREATE, kOpenFile);
      if (!made && (made.error() == Error(ERROR_FILE_EXISTS) || made.error() == Error(ERROR_ALREADY_EXISTS)))
        continue;  // made by another run meanwhile
      if (!made) return made.error();
      log.file = std::move(*made);
    } else if (entry.error() == Error(ERROR_SHARING_VIOLATION)) {
      // Another program holds it for a moment: two runs share a log.
      ::Sleep(pause);
      continue;
    } else {
      return entry.error();
    }
    log.turn.Offset = 0;
    log.turn.OffsetHigh = 0x7FFFFFFF;
    log.locked = ::LockFileEx(log.file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &log.turn) != 0;
    FILE_STANDARD_INFO standard;
    if (!::GetFileInformationByHandleEx(log.file.get(), FileStandardInfo, &standard, sizeof standard)) {
      const std::error_code error = LastError();
      log.Unlock();
      return error;
    }
    if (standard.NumberOfLinks > 1) {
      log.Unlock();
      return Error(ERROR_TOO_MANY_LINKS);
    }
    if (standard.NumberOfLinks == 1 && !standard.DeletePending) {
      ErrorOr<bool> replaced = BeingReplaced(log.file.get(), standard.EndOfFile.QuadPart);
      if (!replaced) {
        log.Unlock();
        return replaced.error();
      }
      BY_HANDLE_FILE_INFORMATION facts;
      if (!*replaced || !::GetFileInformationByHandle(log.file.get(), &facts)) return log;
      const std::pair<uint64_t, int64_t> now{(uint64_t{facts.nFileIndexHigh} << 32) | facts.nFileIndexLow,
                                             standard.EndOfFile.QuadPart};
      if (now != marked) {
        marked = now;
        stale = ::GetTickCount64() + 5000;
      } else if (::GetTickCount64() >= stale) {
        return log;
      }
      // A trim is renaming its new log over this one: wait for that one.
      log.Unlock();
      log.file = Handle();
      deadline = std::max(deadline, ::GetTickCount64() + 2000);
      ::Sleep(std::max<DWORD>(pause, 10));
      continue;
    }
    // Replaced by a trim while this waited for its turn.
    log.Unlock();
  }
}

}  // namespace

}  // namespace vx::win

namespace vx {

using namespace win;

std::error_code NativeFileSystem::AppendToFile(const std::string& path, const std::string& bytes) {
  // Append rights alone make each write land at the end, whatever others
  // wrote since the open.
  ErrorOr<LogFile> log = OpenLog(*this, path, FILE_APPEND_DATA | FILE_READ_DATA, true);
  if (!log) return log.error();
  const bool written = WriteAll(log->file.get(), bytes.data(), bytes.size());
  const DWORD error = written ? 0 : ::GetLastError();
  log->Unlock();
  if (!written) return Error(error);
  if (!::CloseHandle(log->file.release())) return LastError();
  return {};
}

namespace {

// The trim's rename over the log: another run that found the log before
// the mark holds it for a moment.
std::error_code CommitLog(TemporaryFile& temporary, const LogFile& log) {
  const ULONGLONG deadline = ::GetTickCount64() + 2000;
  for (DWORD pause = 1;; pause = std::min<DWORD>(pause * 2, 50)) {
    const std::error_code committed = temporary.Commit(log.name, true);
    if (!committed || (committed != Error(ERROR_SHARING_VIOLATION) && committed != Error(ERROR_ACCESS_DENIED)) ||
        ::GetTickCount64() >= deadline)
      return committed;
    ::Sleep(pause);
  }
}

// A trim that could not replace the log takes its mark back, in its turn,
// where nothing was appended after it; the log stays as it was.
void WithoutReplacedMark(const LogFile& log, int64_t size) {
  ErrorOr<OpenedEntry> entry = OpenEntry(log.folder, log.name, FILE_READ_DATA | FILE_WRITE_DATA | SYNCHRONIZE, kShareAll);
  if (!entry || entry->reached != Reached::Entry) return;
  const HANDLE file = entry->handle.get();
  OVERLAPPED turn = {};
  turn.OffsetHigh = 0x7FFFFFFF;
  if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn)) return;
  LARGE_INTEGER now;
  ErrorOr<bool> marked = ::GetFileSizeEx(file, &now) && now.QuadPart == size + kBeingReplacedLength
                             ? BeingReplaced(file, now.QuadPart)
                             : ErrorOr<bool>(false);
  if (marked && *marked) {
    FILE_END_OF_FILE_INFO end;
    end.EndOfFile.QuadPart = size;
    (void)::SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end);
  }
  ::UnlockFileEx(file, 0, 1, 0, &turn);
}

}  // namespace

std::error_code NativeFileSystem::RewriteFile(const std::string& path,
                                              const std::function<std::string(const std::string&)>& rewrite) {
  ErrorOr<LogFile> log = OpenLog(*this, path, FILE_READ_DATA | FILE_APPEND_DATA, false);
  if (!log) return log.error();
  std::string bytes;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(log->file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
      const std::error_code error = LastError();
      log->Unlock();
      return error;
    }
    if (read == 0) break;
    bytes.append(buffer.data(), read);
  }
  const std::string kept = rewrite(bytes);
  std::error_code error = [&]() -> std::error_code {
    ErrorOr<TemporaryFile> temporary = TemporaryFile::Create(log->folder);
    if (!temporary) return temporary.error();
    const HANDLE handle = reinterpret_cast<HANDLE>(temporary->NativeHandle());
    if (const std::error_code failed = temporary->Write(kept.data(), kept.size())) return failed;
    // The old log's attributes go to the new one.
    if (const std::error_code failed = SetHandleAttributes(handle, log->attributes, nullptr)) return failed;
    // Whole on disk before it takes the old file's place.
    if (!::FlushFileBuffers(handle)) return LastError();
    // Windows (and Wine) replace no file that is open, this handle's
    // included: the lock goes with it just before the rename, and the old
    // log says so to the runs that come meanwhile.
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(log->file.get(), &size)) return LastError();
    if (!WriteAll(log->file.get(), kBeingReplaced, kBeingReplacedLength)) return LastError();
    log->Unlock();
    log->file = Handle();
    const std::error_code renamed = CommitLog(*temporary, *log);
    if (renamed) WithoutReplacedMark(*log, size.QuadPart);
    return renamed;
  }();
  log->Unlock();
  return error;
}

}  // namespace vx
