// Win32 backend: files read, copied, moved and deleted inside held folders,
// and whole files named by path.
#include "platform/win32/Win32.h"

#include <winioctl.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vx::win {

namespace {

// Repeats an open while another program holds the file against it, for a
// short while: two runs that share a log take turns instead of failing.
template <typename Open>
HANDLE OpenShared(Open open) {
  const ULONGLONG deadline = ::GetTickCount64() + 2000;
  DWORD pause = 1;
  for (;;) {
    const HANDLE handle = open();
    if (handle != INVALID_HANDLE_VALUE) return handle;
    const DWORD error = ::GetLastError();
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) ||
        ::GetTickCount64() >= deadline)
      return handle;
    ::Sleep(pause);
    pause = std::min<DWORD>(pause * 2, 50);
    ::SetLastError(error);
  }
}

// Whether a copy may take the place of what stands at targetName: never a
// folder, the source itself, or a read-only file unless asked (see
// ClearReadOnly). A link is replaced itself (the rename takes its name),
// unless it leads to the source.
std::error_code MayReplace(const Folder& to, std::string_view targetName, const FileId& source,
                           bool replaceReadOnly) {
  ErrorOr<OpenedEntry> target = OpenEntry(to, targetName, 0, kShareAll);
  if (!target) return IsMissing(target.error()) ? std::error_code() : target.error();
  if (target->reached == Reached::ThroughLink) {
    // The handle holds what the link leads to.
    ErrorOr<FileId> led = FullIdOf(target->handle.get());
    return led && *led == source ? Error(ERROR_FILE_EXISTS) : std::error_code();
  }
  if (target->reached == Reached::ReparsePoint && target->IsLinkTag()) {
    if (target->IsFolder()) return Error(ERROR_ACCESS_DENIED);
    ErrorOr<EntryInfo> led = DescribeLink(to, *WideName(targetName));
    return led && led->id == source ? Error(ERROR_FILE_EXISTS) : std::error_code();
  }
  if (target->IsFolder() || ((target->facts.attributes & FILE_ATTRIBUTE_READONLY) && !replaceReadOnly))
    return Error(ERROR_ACCESS_DENIED);
  if (target->IdIn(to) == source) return Error(ERROR_FILE_EXISTS);
  return {};
}


// Windows replaces or deletes no read-only file: the bit is cleared first
// through the entry's own handle, and only on a file with a single link (a
// second link would carry the change to a file outside the trees). Returns
// the attributes to put back should the replacement or deletion fail.
ErrorOr<DWORD> ClearReadOnly(const OpenedEntry& entry) {
  const DWORD had = entry.facts.attributes;
  if (!(had & FILE_ATTRIBUTE_READONLY)) return had;
  ErrorOr<DWORD> links = LinkCount(entry.handle.get());
  if (!links) return links.error();
  if (*links != 1) return Error(ERROR_ACCESS_DENIED);
  if (const std::error_code error =
          SetHandleAttributes(entry.handle.get(), had & ~FILE_ATTRIBUTE_READONLY, nullptr))
    return error;
  return had;
}

ErrorOr<SourceState> StateOf(HANDLE handle) {
  ErrorOr<FILE_BASIC_INFO> basic = BasicOf(handle);
  if (!basic) return basic.error();
  FILE_STANDARD_INFO standard;
  if (!::GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard)) return LastError();
  ErrorOr<FileId> id = FullIdOf(handle);
  if (!id) return id.error();
  SourceState state;
  state.id = *id;
  state.size = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
  state.change = basic->ChangeTime.QuadPart;
  return state;
}

bool SameState(const SourceState& a, const SourceState& b) {
  return a.id == b.id && a.size == b.size && a.change == b.change;
}

// Whether a block holds only zero bytes.
bool AllZero(const char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i)
    if (data[i] != 0) return false;
  return true;
}

// The bytes of in from at for length (to its end when length is negative),
// written at the same place in out. A block of zeros is passed over rather
// than written: in a sparse copy it stays a hole, elsewhere the system
// fills it with zeros all the same. end tells how far the source went.
// progress hears the position reached.
std::error_code CopyRange(HANDLE in, HANDLE out, int64_t at, int64_t length, int64_t& end,
                          const std::function<void(int64_t)>& progress) {
  // One buffer per thread, kept: a fresh megabyte per file costs more than
  // copying a small file.
  constexpr DWORD kSize = 1 << 20;
  static thread_local std::unique_ptr<char[]> buffer(new char[kSize]);
  LARGE_INTEGER position;
  position.QuadPart = at;
  if (!::SetFilePointerEx(in, position, nullptr, FILE_BEGIN)) return LastError();
  end = at;
  bool placed = false;  // out's pointer stands at end
  while (length < 0 || end < at + length) {
    const DWORD want = length < 0 ? kSize : static_cast<DWORD>(std::min<int64_t>(kSize, at + length - end));
    DWORD read = 0;
    if (!::ReadFile(in, buffer.get(), want, &read, nullptr)) return LastError();
    if (read == 0) break;
    // In pieces of 64 KiB: a hole is passed over where a piece is all zeros.
    constexpr DWORD kPiece = 1 << 16;
    for (DWORD piece = 0; piece < read; piece += kPiece) {
      const DWORD count = std::min(kPiece, read - piece);
      const char* data = buffer.get() + piece;
      if (AllZero(data, count)) {
        placed = false;
        continue;
      }
      if (!placed) {
        position.QuadPart = end + piece;
        if (!::SetFilePointerEx(out, position, nullptr, FILE_BEGIN)) return LastError();
      }
      if (!WriteAll(out, data, count)) return LastError();
      placed = true;
    }
    end += read;
    if (progress) progress(end);
  }
  return {};
}

// The whole content of in, into out. A sparse source gives a sparse copy:
// only its allocated ranges are read. The size is set at the end, so a
// trailing run of zeros costs nothing.
std::error_code CopyContent(HANDLE in, HANDLE out, DWORD sourceAttributes,
                            const std::function<void(int64_t)>& progress) {
  int64_t end = 0;
  std::vector<FILE_ALLOCATED_RANGE_BUFFER> ranges;
  LARGE_INTEGER size;
  if ((sourceAttributes & FILE_ATTRIBUTE_SPARSE_FILE) && ::GetFileSizeEx(in, &size)) {
    DWORD returned = 0;
    // Refused where the volume has no sparse files: the copy is then whole.
    const bool sparse = ::DeviceIoControl(out, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    FILE_ALLOCATED_RANGE_BUFFER query;
    query.FileOffset.QuadPart = 0;
    query.Length = size;
    ranges.resize(64);
    for (;;) {
      const DWORD bytes = static_cast<DWORD>(ranges.size() * sizeof ranges[0]);
      if (sparse && ::DeviceIoControl(in, FSCTL_QUERY_ALLOCATED_RANGES, &query, sizeof query, ranges.data(),
                                      bytes, &returned, nullptr)) {
        ranges.resize(returned / sizeof ranges[0]);
        break;
      }
      if (sparse && ::GetLastError() == ERROR_MORE_DATA) {
        ranges.resize(ranges.size() * 4);
        continue;
      }
      ranges.clear();
      break;
    }
    if (sparse && !ranges.empty()) {
      for (const FILE_ALLOCATED_RANGE_BUFFER& range : ranges) {
        if (const std::error_code error =
                CopyRange(in, out, range.FileOffset.QuadPart, range.Length.QuadPart, end, progress))
          return error;
      }
      end = size.QuadPart;
    } else if (const std::error_code error = CopyRange(in, out, 0, -1, end, progress)) {
      return error;
    }
  } else if (const std::error_code error = CopyRange(in, out, 0, -1, end, progress)) {
    return error;
  }
  FILE_END_OF_FILE_INFO eof;
  eof.EndOfFile.QuadPart = end;
  if (!::SetFileInformationByHandle(out, FileEndOfFileInfo, &eof, sizeof eof)) return LastError();
  return {};
}

// Positions are kept here: each read says where it reads.
class Win32InputFile : public InputFile {
 public:
  explicit Win32InputFile(HANDLE file) : file_(file) {}
  ErrorOr<int64_t> Size() override {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file_.get(), &size)) return LastError();
    return static_cast<int64_t>(size.QuadPart);
  }
  int64_t Position() override { return position_; }
  std::error_code Seek(int64_t position) override {
    if (position < 0) return Error(ERROR_NEGATIVE_SEEK);
    position_ = position;
    return {};
  }
  ErrorOr<std::size_t> Read(void* buffer, std::size_t count) override {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(position_);
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(position_) >> 32);
    DWORD read = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    if (!::ReadFile(file_.get(), buffer, chunk, &read, &at)) {
      if (::GetLastError() != ERROR_HANDLE_EOF) return LastError();
      read = 0;
    }
    position_ += read;
    return static_cast<std::size_t>(read);
  }

 private:
  Handle file_;
  int64_t position_ = 0;
};

// A second handle to the same open file, for a reader of its own.
ErrorOr<std::unique_ptr<InputFile>> ReaderOf(HANDLE handle) {
  HANDLE copy = INVALID_HANDLE_VALUE;
  const HANDLE self = ::GetCurrentProcess();
  if (!::DuplicateHandle(self, handle, self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) return LastError();
  return std::unique_ptr<InputFile>(std::make_unique<Win32InputFile>(copy));
}

// A file held open to give it more names.
class Win32HeldFile : public HeldFile {
 public:
  Win32HeldFile(Handle handle, const FileId& id) : handle_(std::move(handle)) { id_ = id; }
  HANDLE get() const { return handle_.get(); }

 private:
  Handle handle_;
};

class Win32PreparedCopy : public PreparedCopy {
 public:
  Win32PreparedCopy(NativeFileSystem& fs, Handle in, const SourceState& source, TemporaryFile out, Handle copy, const Folder& to,
                    std::string target, bool replaceReadOnly)
      : fs_(fs), in_(std::move(in)), out_(std::move(out)), copy_(std::move(copy)), to_(to), target_(std::move(target)),
        replaceReadOnly_(replaceReadOnly) {
    source_ = source;
  }
  ErrorOr<std::unique_ptr<InputFile>> ReadSource() override { return ReaderOf(in_.get()); }
  ErrorOr<std::unique_ptr<InputFile>> ReadCopy() override { return ReaderOf(copy_.get()); }
  ErrorOr<bool> SourceUnchanged() override {
    ErrorOr<SourceState> now = StateOf(in_.get());
    if (!now) return now.error();
    return SameState(*now, source_);
  }
  ErrorOr<std::unique_ptr<HeldFile>> HoldCopy() override {
    HANDLE held = INVALID_HANDLE_VALUE;
    const HANDLE self = ::GetCurrentProcess();
    if (!::DuplicateHandle(self, copy_.get(), self, &held, 0, FALSE, DUPLICATE_SAME_ACCESS)) return LastError();
    Handle handle(held);
    ErrorOr<FileId> id = FullIdOf(handle.get());
    if (!id) return id.error();
    return std::unique_ptr<HeldFile>(std::make_unique<Win32HeldFile>(std::move(handle), *id));
  }
  ErrorOr<SourceState> SourceNow() override { return StateOf(in_.get()); }
  // The target is looked at only when its name is taken.
  std::error_code Commit() override {
    std::error_code error = out_.Commit(target_, false);
    if (error != Error(ERROR_FILE_EXISTS)) return error;
    error = MayReplace(to_, target_, source_.id, replaceReadOnly_);
    if (error) return error;
    DWORD had = 0;
    {
      ErrorOr<OpenedEntry> old = OpenEntry(to_, target_, FILE_WRITE_ATTRIBUTES, kShareAll);
      if (old && old->reached == Reached::Entry && (old->facts.attributes & FILE_ATTRIBUTE_READONLY)) {
        ErrorOr<DWORD> cleared = ClearReadOnly(*old);
        if (!cleared) return cleared.error();
        had = *cleared;
      }
    }  // closed: Wine replaces no file that is open
    error = out_.Commit(target_, true);
    if (error && had) (void)fs_.SetAttributes(to_, target_, had);
    return error;
  }

 private:
  NativeFileSystem& fs_;
  Handle in_;
  TemporaryFile out_;
  Handle copy_;  // the copy, open for reading after its commit too
  const Folder& to_;
  std::string target_;
  bool replaceReadOnly_;
};

DWORD ShareMode(Sharing sharing) {
  switch (sharing) {
    case Sharing::None: return 0;
    case Sharing::Read: return FILE_SHARE_READ;
    case Sharing::ReadWrite: return FILE_SHARE_READ | FILE_SHARE_WRITE;
  }
  return 0;
}

}  // namespace

ErrorOr<DWORD> LinkCount(HANDLE handle) {
  FILE_STANDARD_INFO standard;
  if (!::GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard)) return LastError();
  return standard.NumberOfLinks;
}

bool WriteAll(HANDLE file, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
    DWORD written = 0;
    if (!::WriteFile(file, data, chunk, &written, nullptr)) return false;
    if (written == 0) {
      ::SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

// Never a device, pipe or console: those are not files to copy, read or log to.
std::error_code RequireDiskFile(HANDLE file) {
  return ::GetFileType(file) == FILE_TYPE_DISK ? std::error_code() : Error(ERROR_NOT_SUPPORTED);
}

// Opens a file for reading; a link to a file gives the file. Never a folder,
// device or pipe.
ErrorOr<Handle> OpenDiskFileForRead(const Folder& folder, std::string_view name, DWORD share) {
  ErrorOr<std::wstring> wide = WideName(name);
  if (!wide) return wide.error();
  ErrorOr<Handle> file =
      OpenRelative(Native(folder), *wide, GENERIC_READ, share, FILE_OPEN, kOpenFile | FILE_SEQUENTIAL_ONLY);
  if (!file) return file.error();
  if (const std::error_code error = RequireDiskFile(file->get())) return error;
  return file;
}

}  // namespace vx::win

namespace vx {

using namespace win;

ErrorOr<std::unique_ptr<PreparedCopy>> NativeFileSystem::PrepareCopy(const Folder& from, std::string_view name,
                                                                     const Folder& to,
                                                                     std::string_view targetName,
                                                                     const CopyRequest& request) {
  if (ErrorOr<std::wstring> target = WideName(targetName); !target) return target.error();
  // Shared as the system's own copy shares its source: others may read it,
  // not write it meanwhile.
  ErrorOr<Handle> in = OpenDiskFileForRead(from, name, FILE_SHARE_READ | FILE_SHARE_DELETE);
  if (!in) return in.error();
  ErrorOr<FILE_BASIC_INFO> basic = BasicOf(in->get());
  if (!basic) return basic.error();
  ErrorOr<SourceState> state = StateOf(in->get());
  if (!state) return state.error();
  const int64_t lastWrite = basic->LastWriteTime.QuadPart;
  ErrorOr<TemporaryFile> out = TemporaryFile::Create(to);
  if (!out) return out.error();
  const HANDLE outHandle = reinterpret_cast<HANDLE>(out->NativeHandle());
  HANDLE copy = INVALID_HANDLE_VALUE;
  const HANDLE self = ::GetCurrentProcess();
  if (!::DuplicateHandle(self, outHandle, self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) return LastError();
  Handle copyHandle(copy);
  if (const std::error_code error = CopyContent(in->get(), outHandle, basic->FileAttributes, request.progress))
    return error;
  // The attributes and last-write time, set after the last write.
  const uint32_t attributes = request.attributes.For(basic->FileAttributes);
  if (const std::error_code error = SetHandleAttributes(outHandle, attributes, &lastWrite)) return error;
  if (const std::error_code error = KeepSecurityOf(in->get(), outHandle, request.keep, false)) return error;
  return std::unique_ptr<PreparedCopy>(std::make_unique<Win32PreparedCopy>(
      *this, std::move(*in), *state, std::move(*out), std::move(copyHandle), to, std::string(targetName),
      request.replaceReadOnly));
}

namespace {

// The entry name opened with access to be deleted; nothing when it was a
// link to a file, which went itself at once (what it leads to stays; a
// folder link is RemoveLink's). Wine follows its own links even to delete
// them, so that the link would stay and what it leads to would go: refused.
ErrorOr<std::optional<OpenedEntry>> OpenToDelete(const Folder& folder, std::string_view name, DWORD access) {
  ErrorOr<OpenedEntry> entry = OpenEntry(folder, name, access, kShareAll);
  if (!entry) return entry.error();
  switch (entry->reached) {
    case Reached::ThroughLink:
      return Error(ERROR_CANT_ACCESS_FILE);
    case Reached::ReparsePoint:
      if (entry->IsFolder() || !entry->IsLinkTag()) return LinkRefused(*entry);
      if (const std::error_code error = DeleteHandle(entry->handle.get())) return error;
      return std::optional<OpenedEntry>();
    case Reached::Entry:
      break;
  }
  return std::optional<OpenedEntry>(std::move(*entry));
}

}  // namespace

std::error_code NativeFileSystem::DeleteSource(const Folder& folder, std::string_view name,
                                               const SourceState* expected) {
  ErrorOr<std::optional<OpenedEntry>> opened = OpenToDelete(folder, name, DELETE | FILE_WRITE_ATTRIBUTES);
  if (!opened) return opened.error();
  if (!*opened) return {};
  OpenedEntry* entry = &**opened;
  if (entry->IsFolder() || ::GetFileType(entry->handle.get()) != FILE_TYPE_DISK)
    return expected ? SourceChangedError() : Error(ERROR_ACCESS_DENIED);
  if (expected) {
    ErrorOr<SourceState> now = StateOf(entry->handle.get());
    if (!now) return now.error();
    // Saved anew, appended to or replaced since it was copied: its newer
    // version exists nowhere else.
    if (!SameState(*now, *expected)) return SourceChangedError();
  }
  ErrorOr<DWORD> had = ClearReadOnly(*entry);
  if (!had) return had.error();
  const std::error_code error = DeleteHandle(entry->handle.get());
  if (error && (*had & FILE_ATTRIBUTE_READONLY)) (void)SetHandleAttributes(entry->handle.get(), *had, nullptr);
  return error;
}

ErrorOr<std::unique_ptr<HeldFile>> NativeFileSystem::HoldFile(const Folder& folder, std::string_view name) {
  ErrorOr<OpenedEntry> entry = OpenEntry(folder, name, FILE_READ_ATTRIBUTES, kShareAll);
  if (!entry) return entry.error();
  if (entry->reached != Reached::Entry) return Error(ERROR_CANT_ACCESS_FILE);
  if (entry->IsFolder()) return Error(ERROR_ACCESS_DENIED);
  if (::GetFileType(entry->handle.get()) != FILE_TYPE_DISK) return Error(ERROR_NOT_SUPPORTED);
  const FileId id = entry->IdIn(folder);
  return std::unique_ptr<HeldFile>(std::make_unique<Win32HeldFile>(std::move(entry->handle), id));
}

std::error_code NativeFileSystem::LinkFile(const HeldFile& file, const Folder& to, std::string_view targetName,
                                           bool replaceReadOnly) {
  ErrorOr<std::wstring> target = WideName(targetName);
  if (!target) return target.error();
  const HANDLE held = static_cast<const Win32HeldFile&>(file).get();
  std::error_code error = LinkHandle(held, to, *target);
  if (error != Error(ERROR_FILE_EXISTS)) return error;
  // The name is taken: by this very file, or by what a copy may replace.
  {
    ErrorOr<OpenedEntry> old = OpenEntry(to, targetName, 0, kShareAll);
    if (old && old->reached == Reached::Entry && old->IdIn(to) == file.Id()) return {};
  }
  if (const std::error_code refused = MayReplace(to, targetName, file.Id(), replaceReadOnly)) return refused;
  std::wstring temporary;
  for (int attempt = 0;; ++attempt) {
    temporary = Widen(NewTemporaryName());
    error = LinkHandle(held, to, temporary);
    if (!error) break;
    if (error != Error(ERROR_FILE_EXISTS) || attempt == 100) return error;
  }
  ErrorOr<OpenedEntry> made = OpenEntry(to, Narrow(temporary), DELETE, kShareAll);
  if (!made) return made.error();
  DWORD had = 0;
  {
    ErrorOr<OpenedEntry> old = OpenEntry(to, targetName, FILE_WRITE_ATTRIBUTES, kShareAll);
    if (old && old->reached == Reached::Entry && (old->facts.attributes & FILE_ATTRIBUTE_READONLY)) {
      ErrorOr<DWORD> cleared = ClearReadOnly(*old);
      if (!cleared) error = cleared.error();
      else had = *cleared;
    }
  }  // closed: Wine replaces no file that is open
  if (!error) error = RenameHandle(made->handle.get(), to, *target, true);
  if (error) {
    (void)DeleteHandle(made->handle.get());
    if (had) (void)SetAttributes(to, targetName, had);
  }
  return error;
}

std::error_code NativeFileSystem::MoveFile(const Folder& from, std::string_view name, const Folder& to,
                                           std::string_view targetName) {
  ErrorOr<std::wstring> target = WideName(targetName);
  if (!target) return target.error();
  ErrorOr<OpenedEntry> entry = OpenEntry(from, name, DELETE, kShareAll);
  if (!entry) return entry.error();
  // A link is never renamed: the caller copies what it leads to.
  if (entry->reached != Reached::Entry) return Error(ERROR_NOT_SAME_DEVICE);
  if (entry->IsFolder()) return Error(ERROR_ACCESS_DENIED);
  if (::GetFileType(entry->handle.get()) != FILE_TYPE_DISK) return Error(ERROR_NOT_SUPPORTED);
  if (from.Id().device != to.Id().device) return Error(ERROR_NOT_SAME_DEVICE);
  // Nor is a file with other links, which may lie outside the trees: the
  // moved file would get the attributes of a copy, and they with it.
  ErrorOr<DWORD> links = LinkCount(entry->handle.get());
  if (!links) return links.error();
  if (*links > 1) return Error(ERROR_NOT_SAME_DEVICE);
  return RenameHandle(entry->handle.get(), to, *target, false);
}

std::error_code NativeFileSystem::DeleteFile(const Folder& folder, std::string_view name) {
  ErrorOr<std::optional<OpenedEntry>> opened = OpenToDelete(folder, name, DELETE);
  if (!opened) return opened.error();
  if (!*opened) return {};
  const OpenedEntry* entry = &**opened;
  if (entry->IsFolder()) return Error(ERROR_ACCESS_DENIED);
  if (entry->facts.attributes & FILE_ATTRIBUTE_READONLY) return Error(ERROR_ACCESS_DENIED);
  if (::GetFileType(entry->handle.get()) != FILE_TYPE_DISK) return Error(ERROR_NOT_SUPPORTED);
  return DeleteHandle(entry->handle.get());
}

ErrorOr<std::unique_ptr<InputFile>> NativeFileSystem::OpenForRead(const Folder& folder,
                                                                  std::string_view name,
                                                                  Sharing sharing) {
  ErrorOr<Handle> file = OpenDiskFileForRead(folder, name, ShareMode(sharing));
  if (!file) return file.error();
  return std::unique_ptr<InputFile>(std::make_unique<Win32InputFile>(file->release()));
}

ErrorOr<std::string> NativeFileSystem::ReadWholeFile(const std::string& path) {
  ErrorOr<std::wstring> wide = LongPath(path);
  if (!wide) return wide.error();
  // Others may write and even trim it meanwhile: a log shared by two runs.
  Handle file(OpenShared([&] {
    return ::CreateFileW(wide->c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  }));
  if (!file.valid()) return LastError();
  if (const std::error_code error = RequireDiskFile(file.get())) return error;
  std::string bytes;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
      return LastError();
    if (read == 0) return bytes;
    bytes.append(buffer.data(), read);
  }
}

}  // namespace vx
