// The session log: one line appended per call, the file opened and closed
// around each line, trimmed to its newest lines at the end of a session.
#include <utility>
#include <vector>

#include "core/Error.h"
#include "core/Log.h"
#include "core/Text.h"

namespace vx {

namespace {

std::string LogPath(const CopyRec& options) { return FieldText(options.LogFile); }

[[noreturn]] void RaiseLogFailure(const std::string& path, std::error_code error) {
  // A link would send root's lines to a file elsewhere: written through
  // none, and said so in words of its own.
  if (error == std::errc::too_many_symbolic_link_levels || error == std::errc::too_many_links)
    VX_RAISE("EEntreeSortie", Utf8ToAnsi("Le fichier journal \"") + path +
                                  Utf8ToAnsi("\" est un lien ou a d'autres liens physiques : il n'est pas écrit."));
  VX_RAISE("EEntreeSortie", Utf8ToAnsi("Erreur d'entrée/sortie sur le fichier \"") + path +
                                "\". " + error.message());
}

// Missing folders are created quietly, and only when the line finds none:
// the log's folder is not looked at again for every line. If creating them
// fails, the second try reports the failure.
std::error_code AppendLine(FileSystem& fs, const std::string& path, const std::string& line) {
  const std::error_code error = fs.AppendToFile(path, line);
  if (!IsMissing(error)) return error;
  const std::string folder = path.substr(0, FolderPartLength(path));
  if (folder.empty()) return error;
  (void)fs.CreateDirectories(folder);
  return fs.AppendToFile(path, line);
}

}  // namespace

std::string DateTimeText(const LocalDateTime& moment) {
  // A format the system cannot give is left empty.
  const ErrorOr<std::string> date = FormatShortDate(moment);
  std::string text = date ? *date : std::string();
  if (moment.hour != 0 || moment.minute != 0 || moment.second != 0) {
    const ErrorOr<std::string> time = FormatLongTime(moment);
    text += " " + (time ? *time : std::string());
  }
  return text;
}

std::string DateTimeText() { return DateTimeText(LocalNow()); }

std::string LogName(const std::string& name) {
  std::string result = name;
  for (char& c : result) {
    if (c == '\r' || c == '\n') c = '?';
  }
  return result;
}

bool LogNamed(const CopyRec& options) { return options.LogFile[0] != '\0'; }

void WriteLog(FileSystem& fs, const CopyRec& options, const std::string& text, bool stamped) {
  const std::string path = LogPath(options);
  if (path.empty()) return;

  std::string line;
  if (stamped) line = "  " + DateTimeText() + " : ";
  line += text;
  line += "\r\n";
  if (const std::error_code error = AppendLine(fs, path, line)) RaiseLogFailure(path, error);
}

void TrimLog(FileSystem& fs, const CopyRec& options) {
  const std::string path = LogPath(options);
  // -1 means no limit; lower values are taken the same way rather than
  // emptying the file. Without a log name there is nothing to trim.
  if (path.empty() || options.LogLines < 0) return;

  const std::size_t keep = static_cast<std::size_t>(options.LogLines);
  // Read and replaced under the lock that appends take: a line another run
  // appends meanwhile waits, and lands in the new file. Written beside the
  // log and renamed over it: a kill or a full disk leaves the old log whole,
  // never an empty or partial one.
  const std::error_code error = fs.RewriteFile(path, [keep](const std::string& bytes) {
    const std::vector<std::string_view> lines = SplitLines(bytes);
    const std::size_t first = lines.size() > keep ? lines.size() - keep : 0;
    std::string kept;
    for (std::size_t i = first; i < lines.size(); ++i) {
      kept.append(lines[i]);
      kept += "\r\n";
    }
    return kept;
  });
  if (error) RaiseLogFailure(path, error);
}

}  // namespace vx
