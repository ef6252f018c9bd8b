// The platform layer: what both backends share, then the backend itself.
#include "platform/Platform.h"

#include <algorithm>
#include <cstring>
#include <random>

namespace vx {

// ---- Held folders and listings ------------------------------------------------------

std::string Folder::PathOf(std::string_view name) const {
  std::string path = path_;
  if (path.empty() || !IsPathSeparator(path.back())) path += kPathSeparator;
  path.append(name.data(), name.size());
  return path;
}

namespace {
constexpr uint8_t kLinkFlag = 1;
constexpr uint8_t kAttributesReadFlag = 2;
}  // namespace

void Listing::Reserve(std::size_t entries, std::size_t nameBytes, std::size_t entriesWithStatus) {
  records_.reserve(entries);
  arena_.reserve(nameBytes);
  status_.reserve(entriesWithStatus);
}

void Listing::Add(std::string_view name, std::string_view shortName, const ListedEntry& data) {
  Record record;
  record.nameOffset = static_cast<uint32_t>(arena_.size());
  record.nameLength = static_cast<uint16_t>(std::min<std::size_t>(name.size(), 0xFFFF));
  record.shortLength = static_cast<uint8_t>(std::min<std::size_t>(shortName.size(), 0xFF));
  record.flags = static_cast<uint8_t>((data.link ? kLinkFlag : 0) |
                                      (data.attributesRead ? kAttributesReadFlag : 0));
  record.attributes = data.attributes;
  record.status = kNoStatus;
  if (data.statusRead) {
    record.status = static_cast<uint32_t>(status_.size());
    status_.push_back(Status{data.size, data.lastWrite, data.fileIndex});
  }
  arena_.append(name.data(), record.nameLength);
  arena_ += '\0';
  if (record.shortLength > 0) {
    arena_.append(shortName.data(), record.shortLength);
    arena_ += '\0';
  }
  records_.push_back(record);
  sortedByName_ = false;
  byName_.clear();
}

ListedEntry Listing::At(std::size_t i) const {
  const Record& r = records_[i];
  ListedEntry entry;
  entry.name = NameAt(r);
  if (r.shortLength > 0)
    entry.shortName = std::string_view(arena_.data() + r.nameOffset + r.nameLength + 1, r.shortLength);
  entry.attributes = r.attributes;
  entry.link = (r.flags & kLinkFlag) != 0;
  entry.attributesRead = (r.flags & kAttributesReadFlag) != 0;
  entry.statusRead = r.status != kNoStatus;
  if (entry.statusRead) {
    const Status& status = status_[r.status];
    entry.size = status.size;
    entry.lastWrite = status.lastWrite;
    entry.fileIndex = status.fileIndex;
  }
  return entry;
}

void Listing::SortByName() {
  std::sort(records_.begin(), records_.end(),
            [this](const Record& a, const Record& b) { return NameAt(a) < NameAt(b); });
  sortedByName_ = true;
  byName_.clear();
}

std::optional<ListedEntry> Listing::Find(std::string_view name) const {
  std::size_t cursor = 0;
  if (sortedByName_ && kFileNamesCaseSensitive) {
    // Byte order is the file system's own order where names keep their
    // case: the sorted records are searched as they are.
    const auto found = std::lower_bound(
        records_.begin(), records_.end(), name,
        [this](const Record& r, std::string_view wanted) { return NameAt(r) < wanted; });
    cursor = static_cast<std::size_t>(found - records_.begin());
    return FindNext(name, cursor);
  }
  if (byName_.size() != records_.size()) {
    byName_.resize(records_.size());
    for (uint32_t i = 0; i < byName_.size(); ++i) byName_[i] = i;
    std::sort(byName_.begin(), byName_.end(), [this](uint32_t a, uint32_t b) {
      return CompareFileNames(NameAt(records_[a]), NameAt(records_[b])) < 0;
    });
  }
  const auto found = std::lower_bound(
      byName_.begin(), byName_.end(), name, [this](uint32_t i, std::string_view wanted) {
        return CompareFileNames(NameAt(records_[i]), wanted) < 0;
      });
  if (found == byName_.end() || CompareFileNames(NameAt(records_[*found]), name) != 0)
    return std::nullopt;
  return At(*found);
}

std::optional<ListedEntry> Listing::FindNext(std::string_view name, std::size_t& cursor) const {
  if (!sortedByName_ || !kFileNamesCaseSensitive) return Find(name);
  while (cursor < records_.size() && NameAt(records_[cursor]) < name) ++cursor;
  if (cursor < records_.size() && NameAt(records_[cursor]) == name) return At(cursor);
  return std::nullopt;
}

std::size_t Listing::BytesUsed() const {
  return arena_.capacity() + records_.capacity() * sizeof(Record) +
         status_.capacity() * sizeof(Status) + byName_.capacity() * sizeof(uint32_t);
}

ErrorOr<uint32_t> FileSystem::ListedAttributes(const Folder& folder, const ListedEntry& entry) {
  if (entry.attributesRead || entry.link) return entry.attributes;
  return GetAttributes(folder, entry.name);
}

std::error_code FileSystem::CopyFile(const Folder& from, std::string_view name, const Folder& to,
                                     std::string_view targetName, const CopyAttributes& attributes) {
  if (const std::error_code error = CopyFile(from, name, to, targetName)) return error;
  if (attributes.drop == 0) return {};
  // As a failed attribute change anywhere: the copy stands.
  ErrorOr<uint32_t> had = GetAttributes(to, targetName);
  if (had && attributes.For(*had) != *had) (void)SetAttributes(to, targetName, attributes.For(*had));
  return {};
}

ErrorOr<FileId> FileSystem::MountTop(const Folder& folder) {
  ErrorOr<std::vector<FileId>> chain = FolderAndParents(folder);
  if (!chain) return chain.error();
  return chain->back();
}

std::error_code FileSystem::RemoveRoot(Folder& folder) {
  const std::string& path = folder.Path();
  const std::size_t part = FolderPartLength(path);
  const std::string name = path.substr(part);
  if (name.empty() || name == "." || name == "..")
    return std::make_error_code(std::errc::invalid_argument);
  ErrorOr<Folder> parent = OpenRoot(part == 0 ? std::string(".") : path.substr(0, part));
  if (!parent) return parent.error();
  // Held, the parent keeps this name where it is; the name must still lead
  // to the folder the run emptied.
  ErrorOr<EntryInfo> entry = Look(*parent, name);
  if (!entry) return entry.error();
  if (entry->kind != EntryKind::Folder || entry->link || entry->id != folder.Id())
    return std::make_error_code(std::errc::no_such_file_or_directory);
  folder.Close();
  return RemoveFolder(*parent, name);
}

// ---- Temporary names --------------------------------------------------------------

namespace {
constexpr char kTemporaryAlphabet[] = "abcdefghijklmnopqrstuvwxyz234567";  // base 32
}  // namespace

bool IsTemporaryName(std::string_view name) {
  const std::size_t prefix = sizeof kTemporaryPrefix - 1, suffix = sizeof kTemporarySuffix - 1;
  if (name.size() != prefix + kTemporaryRandomLength + suffix) return false;
  if (name.substr(0, prefix) != kTemporaryPrefix || name.substr(name.size() - suffix) != kTemporarySuffix)
    return false;
  const std::string_view random = name.substr(prefix, kTemporaryRandomLength);
  return random.find_first_not_of(kTemporaryAlphabet) == std::string_view::npos;
}

std::string NewTemporaryName() {
  // Seeded once from the system's entropy source: names differ between runs
  // and between the programs that write into one folder at once.
  static std::mt19937_64 generator = [] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device()};
    return std::mt19937_64(seed);
  }();
  std::string name = kTemporaryPrefix;
  uint64_t bits = generator();
  for (std::size_t i = 0; i < kTemporaryRandomLength; ++i, bits >>= 5)
    name += kTemporaryAlphabet[bits & 31];
  name += kTemporarySuffix;
  return name;
}

// Days from 30 December 1899 for a proleptic Gregorian date.
static int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468 + 25569;  // 25569: 1899-12-30 to 1970-01-01
}

// A day number from whole days and the milliseconds into that day. Before
// day 0 the fraction still counts forward in time, as in the day-number convention.
static double DayNumberOf(int64_t days, int64_t millisecondOfDay) {
  const double fraction = static_cast<double>(millisecondOfDay) / 86400000.0;
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

double EncodeDayNumber(const LocalDateTime& t) {
  const int64_t millisecond =
      ((int64_t{t.hour} * 60 + t.minute) * 60 + t.second) * 1000 + t.millisecond;
  return DayNumberOf(DaysFromCivil(t.year, t.month, t.day), millisecond);
}

int64_t FileTimeFromUnix(int64_t seconds, int64_t nanoseconds) {
  constexpr int64_t kTicksPerSecond = 10000000;
  constexpr int64_t kUnixEpochTicks = 116444736000000000LL;  // 1 January 1970 as a file time
  constexpr int64_t kEarliest = -kUnixEpochTicks / kTicksPerSecond;  // 1 January 1601
  constexpr int64_t kLatest = (INT64_MAX - kUnixEpochTicks) / kTicksPerSecond;
  if (seconds < kEarliest || seconds > kLatest || nanoseconds < 0 || nanoseconds >= 1000000000)
    return kNoFileTime;
  const int64_t whole = kUnixEpochTicks + seconds * kTicksPerSecond;
  const int64_t ticks = nanoseconds / 100;
  return whole > INT64_MAX - ticks ? kNoFileTime : whole + ticks;
}

bool FileTimeToDayNumber(int64_t fileTime, int biasMinutes, double& dayNumber) {
  constexpr int64_t kMillisecondsPerDay = 86400000;
  constexpr int64_t kDaysBefore1899 = 109205;  // 1 January 1601 to 30 December 1899
  if (fileTime < 0) return false;
  // Whole milliseconds before any division into days: a double count of
  // days cannot tell the last ticks of a day from the next midnight.
  const int64_t local = fileTime / 10000 - int64_t{biasMinutes} * 60000;
  int64_t days = local / kMillisecondsPerDay;
  int64_t millisecond = local % kMillisecondsPerDay;
  if (millisecond < 0) {
    millisecond += kMillisecondsPerDay;
    --days;
  }
  dayNumber = DayNumberOf(days - kDaysBefore1899, millisecond);
  return true;
}

}  // namespace vx

#if defined(_WIN32)
#include "platform/Windows/FileIO.inc"
#include "platform/Windows/FileOps.inc"
#include "platform/Windows/Links.inc"
#include "platform/Windows/Locale.inc"
#include "platform/Windows/Process.inc"
#else
#include "platform/Unix/FileIO.inc"
#include "platform/Unix/FileOps.inc"
#include "platform/Unix/Links.inc"
#include "platform/Unix/Locale.inc"
#include "platform/Unix/Process.inc"
#endif
