#include <gtest/gtest.h>

#include "core/Error.h"
#include "core/HolyCoreUnit.h"
#include "tests/unit/ListFilesDouble.h"
#include "tests/unit/MemoryFileSystem.h"

namespace vx {
namespace {

using test::ListFilesDouble;

EntryList Split(FileSystem& fs, const std::string& text) {
  EntryList list;
  SplitEntryList(fs, text, ';', list);
  return list;
}

TEST(SplitEntryList, EmptyEntriesAreKeptAndEntriesTrimmed) {
  ListFilesDouble files;
  EXPECT_EQ(Split(files, "a;;b"), (EntryList{"a", "", "b"}));
  EXPECT_EQ(Split(files, "a;"), (EntryList{"a", ""}));
  EXPECT_EQ(Split(files, ";"), (EntryList{"", ""}));
  EXPECT_EQ(Split(files, ""), (EntryList{""}));
  EXPECT_EQ(Split(files, "   "), (EntryList{""}));
  EXPECT_EQ(Split(files, " C:\\a ; C:\\b "), (EntryList{"C:\\a", "C:\\b"}));
  EXPECT_EQ(Split(files, "\tMes documents\r\n;x"), (EntryList{"Mes documents", "x"}));
  EXPECT_TRUE(files.opened.empty());
}

TEST(SplitEntryList, RefusesAFilledTarget) {
  ListFilesDouble files;
  EntryList list{"déjà"};
  try {
    SplitEntryList(files, "a;b", ';', list);
    FAIL() << "no failure raised";
  } catch (const VeltrixError& e) {
    EXPECT_EQ(e.what(), Utf8ToAnsi("Liste d'entrée non vide ... (HolyCoreUnit, ligne 78)"));
  }
  EXPECT_EQ(list, (EntryList{"déjà"}));
}

TEST(SplitEntryList, ListFilesGiveTheirLinesInPlace) {
  ListFilesDouble files;
  files.files["sources.txt"] = "un\r\ndeux\rtrois\nquatre";
  files.files["vide.txt"] = "";
  EXPECT_EQ(Split(files, "C:\\www;file:sources.txt;fin"),
            (EntryList{"C:\\www", "un", "deux", "trois", "quatre", "fin"}));
  EXPECT_EQ(Split(files, "FILE:sources.txt"), Split(files, "File:sources.txt"));
  EXPECT_EQ(Split(files, "file:vide.txt"), EntryList{});
  // The entry is trimmed before the prefix is looked for, not after.
  EXPECT_EQ(Split(files, "  file:vide.txt"), EntryList{});
  EXPECT_THROW(Split(files, "file: vide.txt"), VeltrixError);
  EXPECT_EQ(files.opened.back(), " vide.txt");
}

TEST(SplitEntryList, ListLinesAreTakenAsRead) {
  ListFilesDouble files;
  files.files["l.txt"] = "\xEF\xBB\xBF" "premier\r\n\r\n  blancs  \r\nfile:autre.txt\n\n";
  files.files["nul.txt"] = std::string("a\nb\0c\nd", 7);
  EXPECT_EQ(Split(files, "file:l.txt"),
            (EntryList{"\xEF\xBB\xBF" "premier", "", "  blancs  ", "file:autre.txt", ""}));
  EXPECT_EQ(Split(files, "file:nul.txt"), (EntryList{"a", "b"}));
  EXPECT_EQ(files.opened, (std::vector<std::string>{"l.txt", "nul.txt"}));  // no nesting
}

TEST(SplitEntryList, AMissingListFileIsRaisedAfterTheEarlierEntries) {
  ListFilesDouble files;
  EntryList list;
  try {
    SplitEntryList(files, "a;file:absent.txt;b", ';', list);
    FAIL() << "no failure raised";
  } catch (const VeltrixError& e) {
    EXPECT_EQ(e.what(), "Impossible d'ouvrir le fichier \"<dossier>absent.txt\". " +
                            std::make_error_code(std::errc::no_such_file_or_directory).message());
  }
  EXPECT_EQ(list, (EntryList{"a"}));
}

// A whole file system: a list file is read where its path leads.
TEST(SplitEntryList, ReadsARealListFile) {
  test::MemoryFileSystem files;
  test::MemoryDir dir(files);
  dir.Write("liste.txt", "x\r\ny\r\n");
  EXPECT_EQ(Split(files, "file:" + (dir / "liste.txt")), (EntryList{"x", "y"}));
  EXPECT_THROW(Split(files, "file:" + (dir / "absente.txt")), VeltrixError);
}

TEST(UpperAscii, ChangesOnlyAsciiLetters) {
  EXPECT_EQ(UpperAscii("abz-AZ09_\xE9t\xE9"), "ABZ-AZ09_\xE9T\xE9");
}

}  // namespace
}  // namespace vx
