// FillCopyRec: the argument text becomes a CopyRec, the mask lists and the
// options that have no field in the record.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/Error.h"
#include "core/CommandLine.h"
#include "core/EntryList.h"
#include "core/Parser.h"
#include "core/Text.h"

namespace vx {

namespace {

struct SwitchItem {
  std::string name;   // after the switch character, a to z upper-cased
  std::string typed;  // the same text as typed, for names of files
  char mark = '-';    // the switch character typed
};

// ---- Cutting and dequoting ----------------------------------------------------

bool IsItemEnd(char c) { return c == ' ' || c == '\r' || c == '\n'; }

// Spaces, CR and LF separate items outside quoted stretches; a double quote
// or an apostrophe opens a stretch that only the same character closes.
std::vector<std::string> CutItems(const std::string& text) {
  std::vector<std::string> items;
  std::size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && IsItemEnd(text[at])) ++at;
    if (at == text.size()) break;
    std::string item;
    char quote = 0;
    for (; at < text.size() && (quote || !IsItemEnd(text[at])); ++at) {
      const char c = text[at];
      if (quote && c == quote) quote = 0;
      else if (!quote && (c == '"' || c == '\'')) quote = c;
      item += c;
    }
    items.push_back(std::move(item));
  }
  return items;
}

// "a""b" gives a"b; the text after the closing quote is dropped; an item
// that would come out empty is kept as it is.
std::string Dequote(const std::string& item) {
  if (item.empty() || item[0] != '"') return item;
  std::string result;
  for (std::size_t i = 1; i < item.size(); ++i) {
    if (item[i] == '"') {
      if (i + 1 < item.size() && item[i + 1] == '"') {
        result += '"';
        ++i;
        continue;
      }
      break;
    }
    result += item[i];
  }
  return result.empty() ? item : result;
}

// ---- Conversions ---------------------------------------------------------------

[[noreturn]] void RaiseNotInteger(const std::string& text) {
  VX_RAISE("EConversion", "'" + text + Utf8ToAnsi("' n'est pas une valeur entière correcte"));
}

// A decimal text with an optional sign, within the signed 32-bit range.
int32_t ToInt32(const std::string& text) {
  std::size_t at = text.empty() || (text[0] != '+' && text[0] != '-') ? 0 : 1;
  if (at == text.size()) RaiseNotInteger(text);
  const bool negative = text[0] == '-';
  const int64_t limit = negative ? 2147483648LL : 2147483647LL;
  int64_t value = 0;
  for (; at < text.size(); ++at) {
    if (text[at] < '0' || text[at] > '9') RaiseNotInteger(text);
    value = value * 10 + (text[at] - '0');
    if (value > limit) RaiseNotInteger(text);
  }
  return static_cast<int32_t>(negative ? -value : value);
}

std::string DigitsOf(const std::string& text) {
  std::string digits;
  for (char c : text)
    if (c >= '0' && c <= '9') digits += c;
  return digits;
}

bool Has(const std::string& text, char c) { return text.find(c) != std::string::npos; }

// ---- Texts into fields -----------------------------------------------------------

// A longer text is refused rather than cut: a shortened path names another file.
void StoreText(char (&field)[kTextFieldSize], const std::string& text, const char* what) {
  if (text.size() > kMaxTextLength)
    VX_RAISE("ELongueur", Utf8ToAnsi("Texte trop long pour " + std::string(what) + " (" +
                                     std::to_string(text.size()) + " caractères, " +
                                     std::to_string(kMaxTextLength) + " au plus)."));
  std::memcpy(field, text.c_str(), text.size() + 1);
}

std::string Expanded(const std::string& text, const char* what) {
  ErrorOr<std::string> result = ExpandEnvironment(text);
  if (!result)
    VX_RAISE("ELongueur", Utf8ToAnsi("L'expansion des variables d'environnement de " +
                                     std::string(what) + " dépasse 1023 caractères."));
  return *result;
}

// Drops one trailing separator, but never the only character: "/" alone is
// the root, not an empty name. One only, unlike WithoutTrailingSeparators:
// the record has always stored the destination so, and hosts read it.
std::string WithoutTrailingSeparator(std::string path) {
  if (path.size() > 1 && path.back() == kPathSeparator) path.pop_back();
  return path;
}

void SettleDestination(FileSystem& fs, CopyRec& options, const std::string& destination) {
  std::string stored;
  if (destination.empty()) {
    // A current folder that cannot be named is still the current folder.
    ErrorOr<std::string> current = fs.CurrentDirectory();
    stored = WithoutTrailingSeparator(current ? *current : std::string("."));
  } else if (UpperAscii(destination) == "NUL") {
    stored = "NUL";
  } else {
    stored = WithoutTrailingSeparator(Expanded(destination, "la destination"));
  }
  StoreText(options.Destination, stored, "la destination");
}

// ---- The switches ------------------------------------------------------------------

class Switches {
 public:
  explicit Switches(std::vector<SwitchItem> items) : items_(std::move(items)) {}

  uint8_t Flag(const char* word) const {
    for (const SwitchItem& item : items_)
      if (item.name == word) return 1;
    return 0;
  }
  // The leftmost switch whose name begins with prefix.
  const SwitchItem* First(const char* prefix) const {
    for (const SwitchItem& item : items_)
      if (item.name.compare(0, std::strlen(prefix), prefix) == 0) return &item;
    return nullptr;
  }
  const std::vector<SwitchItem>& Items() const { return items_; }

 private:
  std::vector<SwitchItem> items_;
};

double TodayDayNumber() {
  LocalDateTime today = LocalNow();
  today.hour = today.minute = today.second = today.millisecond = 0;
  return EncodeDayNumber(today);
}

// D:+3 / D:-3 / D:=3 count days back from today; D:23/10/2003[suffix] is a
// date, where "+" means the later files: the two forms read the signs oppositely.
void ApplyDate(CopyRec& options, const std::string& name) {
  options.NoDateFilter = 0;
  const char sign = name.size() >= 3 ? name[2] : 0;
  if (sign == '+' || sign == '-' || sign == '=') {
    const int32_t days = ToInt32(DigitsOf(name.substr(3)));
    options.FilterDate = TodayDayNumber() - days;
    options.DateBefore = Has(name, '+');
    options.DateEqual = Has(name, '=');
    options.DateAfter = Has(name, '-');
    return;
  }
  const std::string dateText = name.size() > 2 ? name.substr(2, 10) : std::string();
  const ErrorOr<double> day = ParseShortDate(dateText);
  if (!day)
    VX_RAISE("EConversion",
             "'" + dateText + Utf8ToAnsi("' ne correspond pas à une date et une heure correctes"));
  options.FilterDate = *day;
  const std::string suffix = name.size() > 12 ? name.substr(12, 2) : std::string();
  options.DateBefore = name.size() > 12 ? Has(suffix, '-') : 0;
  options.DateEqual = name.size() > 12 ? Has(suffix, '=') : 1;
  options.DateAfter = name.size() > 12 ? Has(suffix, '+') : 1;
}

void ApplySize(CopyRec& options, const std::string& name) {
  options.NoSizeFilter = 0;
  const char sign = name.size() >= 6 ? name[5] : 0;
  if (sign != '+' && sign != '-' && sign != '=') return;
  options.FilterSize = ToInt32(DigitsOf(name.substr(6)));
  options.SizeAbove = Has(name, '+');
  options.SizeEqual = Has(name, '=');
  options.SizeBelow = Has(name, '-');
}

// Masks are matched against upper-cased names, so they are upper-cased; where
// file names are case-sensitive a "file:" entry keeps its list's name as typed.
std::string MasksText(const SwitchItem& item) {
  const std::size_t start = std::strlen("EXCLUDE:");
  if (item.name.size() <= start) return std::string();
  if (!kFileNamesCaseSensitive) return item.name.substr(start);
  std::string result;
  std::size_t at = start;
  for (;;) {
    const std::size_t end = item.typed.find(';', at);
    const std::string entry = item.typed.substr(at, end == std::string::npos ? end : end - at);
    // The list splitter trims blanks and control characters first.
    result += NamesListFile(TrimBlanks(entry)) ? entry : UpperAscii(entry);
    if (end == std::string::npos) return result;
    result += ';';
    at = end + 1;
  }
}

void ApplyMasks(FileSystem& fs, const SwitchItem& item, uint8_t& hasMasks,
                char (&field)[kTextFieldSize], EntryList& list, const char* what) {
  const std::string masks = MasksText(item);
  hasMasks = 1;
  StoreText(field, masks, what);
  SplitEntryList(fs, masks, ';', list);
}

// LOG:file[;mode[;lines]]: a line count needs a mode before it. The numbers
// come from the upper-cased text everywhere; where file names are
// case-sensitive the file name keeps its case as typed.
void ApplyLog(CopyRec& options, const SwitchItem& item) {
  const std::size_t start = std::min<std::size_t>(4, item.name.size());
  const std::string value = item.name.substr(start);
  const std::size_t modeStart = value.find(';');
  const std::string& file = kFileNamesCaseSensitive ? item.typed : item.name;
  StoreText(options.LogFile, file.substr(start, modeStart), "le fichier journal");
  if (modeStart == std::string::npos) return;
  std::string mode = value.substr(modeStart + 1);
  const std::size_t linesStart = mode.find(';');
  if (linesStart != std::string::npos) {
    options.LogLines = ToInt32(mode.substr(linesStart + 1));
    mode.erase(linesStart);
  }
  options.LogMode = static_cast<uint8_t>(ToInt32(mode) & 0xFF);
}

// The switches in their order of recognition: a failing one leaves those
// after it unset.
void ApplySwitches(FileSystem& fs, ParsedState& parsed, CopyRec& options, const Switches& s) {
  options.SyncMode = s.Flag("BISYNCHRONIZE") ? 2 : s.Flag("SYNCHRONIZE") ? 1 : 0;
  options.ArchiveOnly = s.Flag("A");
  options.ArchiveClear = s.Flag("M");
  if (const SwitchItem* d = s.First("D")) ApplyDate(options, d->name);
  if (const SwitchItem* size = s.First("SIZE")) ApplySize(options, size->name);
  if (const SwitchItem* x = s.First("EXCLUDE"))
    ApplyMasks(fs, *x, options.HasExclude, options.ExcludeMasks, parsed.exclusions,
               "les masques d'exclusion");
  if (const SwitchItem* i = s.First("INCLUDE"))
    ApplyMasks(fs, *i, options.HasInclude, options.IncludeMasks, parsed.inclusions,
               "les masques d'inclusion");
  options.PromptCreate = s.Flag("P");
  options.CopySubdirs = s.Flag("S");
  options.CopyEmptySubdirs = s.Flag("E");
  options.Verify = s.Flag("V");
  options.ConfirmStart = s.Flag("W");
  options.IgnoreErrors = s.Flag("C");
  options.SwitchI = s.Flag("I");
  options.Quiet = s.Flag("Q");
  options.ShowBothNames = s.Flag("F");
  options.ListOnly = s.Flag("L");
  options.CopyHidden = s.Flag("H");
  options.OverwriteReadOnly = s.Flag("R");
  options.TreeOnly = s.Flag("T");
  options.ExistingOnly = s.Flag("U");
  options.KeepAttributes = s.Flag("K");
  options.ShortNames = s.Flag("N");
  options.LogLines = -1;
  if (const SwitchItem* log = s.First("LOG")) ApplyLog(options, *log);
  options.Force = s.Flag("FORCE");
  options.DeleteSource = s.Flag("X");
  options.KeepSourceDirs = s.Flag("Y");
  options.Silent = s.Flag("SILENT");
}

// ---- Whole-word switches without a field --------------------------------------------

// The switches the parser knows. Whole words, the help words the program and
// NeedHelp answer to (--help and --version are "-" and a word), and the
// switches that carry a value, known by their beginning as ApplySwitches
// reads them (any D... is the date switch). A switch read above must be
// named here too, or -STRICT refuses it.
constexpr const char* kKnownWords[] = {
    "A", "C", "E", "F", "H", "I", "K", "L", "M", "N", "P", "Q", "R", "S", "T", "U", "V", "W",
    "X", "Y", "FORCE", "SILENT", "SYNCHRONIZE", "BISYNCHRONIZE", "OWNER", "XATTR", "HARDLINKS",
    "STRICT", "?", "HELP", "-HELP", "-VERSION"};
constexpr const char* kKnownPrefixes[] = {"D", "SIZE", "LOG", "EXCLUDE", "INCLUDE", "THREADS:"};

bool IsKnown(const std::string& name) {
  for (const char* word : kKnownWords)
    if (name == word) return true;
  for (const char* prefix : kKnownPrefixes)
    if (name.compare(0, std::strlen(prefix), prefix) == 0) return true;
  return false;
}

int32_t ThreadCount(const std::string& text) {
  const int32_t count = ToInt32(text);
  if (count < 1 || count > kMaxThreads)
    VX_RAISE("EConversion", "'" + text + Utf8ToAnsi("' n'est pas un nombre de threads correct (1 à ") +
                                std::to_string(kMaxThreads) + ")");
  return count;
}

ExtraOptions ReadExtraOptions(const Switches& s) {
  ExtraOptions extra;
  extra.keepOwner = s.Flag("OWNER");
  extra.copyXattrs = s.Flag("XATTR");
  extra.hardLinks = s.Flag("HARDLINKS");
  extra.strict = s.Flag("STRICT");
  if (const SwitchItem* threads = s.First("THREADS:"))
    extra.threads = ThreadCount(threads->name.substr(std::strlen("THREADS:")));
  return extra;
}

void Preset(CopyRec& options) {
  std::memset(options.Source, 0, sizeof options.Source);
  std::memset(options.Destination, 0, sizeof options.Destination);
  options.SyncMode = 0;
  options.NoDateFilter = 1;
  options.NoSizeFilter = 1;
  options.LogMode = 1;
  options.HasInclude = 0;
  options.HasExclude = 0;
}

}  // namespace

bool FillCopyRecFrom(FileSystem& fs, ParsedState& parsed, CopyRec& options, const char* arguments,
                     std::string* refusal) {
  // Every refusal comes before anything is stored in parsed: a refused
  // text may be parsed again for its reason.
  const auto refuse = [refusal](const std::string& reason) {
    if (refusal) *refusal = reason;
    return false;
  };
  Preset(options);
  std::vector<std::string> items = CutItems(arguments);
  if (items.empty()) return refuse(Utf8ToAnsi("Aucune source dans la ligne de commande."));
  if (IsSwitchChar(items[0][0]))
    return refuse(Utf8ToAnsi("La source doit précéder les options : ") + Quoted(items[0]) +
                  Utf8ToAnsi(" vient en premier."));
  for (std::string& item : items) item = Dequote(item);

  std::string destination;
  std::vector<SwitchItem> switches;
  for (std::size_t i = 1; i < items.size(); ++i) {
    if (IsSwitchChar(items[i][0]))
      switches.push_back({UpperAscii(items[i].substr(1)), items[i].substr(1), items[i][0]});
    else if (i == 1)
      destination = items[i];
    else
      return refuse(Utf8ToAnsi("Argument en trop : ") + Quoted(items[i]) +
                    Utf8ToAnsi(" (la destination suit directement la source)."));
  }
  const Switches given(std::move(switches));
  if (given.Flag("STRICT"))
    for (const SwitchItem& item : given.Items())
      if (!IsKnown(item.name))
        return refuse(Utf8ToAnsi("Option inconnue : ") + Quoted(item.mark + item.typed) + ".");

  StoreText(options.Source, Expanded(items[0], "la source"), "la source");
  SettleDestination(fs, options, destination);
  ApplySwitches(fs, parsed, options, given);
  parsed.extras = ReadExtraOptions(given);
  return true;
}

}  // namespace vx
